// Functions that some supported Windows versions lack are found by name at run time,
// so that the programs still start where they are missing.
#pragma once

#include "platform/win32.h"

// A function found by name, typed as the caller declares it; null when the module or
// the function is missing.
template <typename Function>
Function FindFunction(HMODULE module, const char* name) {
  if (!module) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
