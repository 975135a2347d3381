// A registry key as people read it, in the layout of Windows' "reg query": the key's
// path, one line per value (name, type, data), then the paths of its subkeys.
#pragma once

#include <string>

#include "platform/sim/machine/registry.h"

namespace winsim {

// Text in code page 1252, LF line ends. The default value shows as "(Default)"; a
// string shows up to its first NUL (the terminators the programs write are not text);
// a multi-string's parts are joined with "\0"; a DWORD is 0x hex; other types are hex
// bytes.
std::string QueryText(const sim::RegKey& key);

// A value type's name ("REG_SZ"); "REG_TYPE_0x..." for a type Windows does not name.
std::string TypeText(uint32_t type);

// One value's data as QueryText shows it.
std::string ValueText(const sim::RegValue& value);

}  // namespace winsim
