// Small helpers every simulated Win32 call shares; ApiCall (api_call.h) and Fail, which
// sets the last error (sdk/last_error.h), come with them.
#pragma once

#include <cstdint>

#include "platform/sim/machine/process.h"
#include "platform/sim/win32/api_call.h"
#include "platform/sim/sdk/last_error.h"
#include "platform/sim/sdk/win32_sim.h"

namespace sim {

inline uint64_t Ticks(const FILETIME& t) {
  return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

inline FILETIME ToFileTime(uint64_t ticks) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(ticks & 0xffffffffu);
  t.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return t;
}

}  // namespace sim
