// USER32's access to the program's own resources on the simulated Windows: strings of the
// string table and icons, from the resource set the process carries. A null instance or
// the executable's module handle means the program; the resources of other modules are
// not kept, so asking for them fails as for a module without resources.
//
// The errors follow the resource lookup underneath (FindResource): a module without any
// resources gives ERROR_RESOURCE_DATA_NOT_FOUND, one without resources of the type
// ERROR_RESOURCE_TYPE_NOT_FOUND, a missing id ERROR_RESOURCE_NAME_NOT_FOUND.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "platform/sim/win32/api_support.h"
#include "platform/sim/win32/icon_handles.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/sdk/win32_sim.h"

namespace sim {
namespace {

// The executable's module handle, as GetModuleHandleA(NULL) gives it.
constexpr uintptr_t kExeModule = 0x00400000;
constexpr uintptr_t kProgramIconBase = 0x00A00000;
constexpr uintptr_t kSystemIconBase = 0x00B00000;
constexpr int kFirstSystemIcon = 32512;  // IDI_APPLICATION
constexpr int kLastSystemIcon = 32517;   // IDI_WINLOGO

bool IsProgramInstance(HINSTANCE instance) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(instance);
  return value == 0 || value == kExeModule;
}

// A resource name as the SDK passes it: an ordinal (MAKEINTRESOURCE) or a text, where
// "#128" also names ordinal 128. Nothing for a text name, which our resources never use.
std::optional<int> ResourceOrdinal(LPCSTR name) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(name);
  if ((value >> 16) == 0) return static_cast<int>(value);
  if (name[0] != '#' || name[1] == '\0') return std::nullopt;
  int ordinal = 0;
  for (const char* p = name + 1; *p; ++p) {
    if (*p < '0' || *p > '9' || ordinal > 0xFFFF) return std::nullopt;
    ordinal = ordinal * 10 + (*p - '0');
  }
  if (ordinal > 0xFFFF) return std::nullopt;
  return ordinal;
}

}  // namespace

HICON IconHandleFor(const IconHandleInfo& icon) {
  const uintptr_t base = icon.system ? kSystemIconBase : kProgramIconBase;
  return reinterpret_cast<HICON>(base + static_cast<uintptr_t>(icon.resourceId & 0xFFFF));
}

std::optional<IconHandleInfo> DescribeIconHandle(HICON icon) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(icon);
  IconHandleInfo info;
  if (value >= kProgramIconBase && value <= kProgramIconBase + 0xFFFF) {
    info.resourceId = static_cast<int>(value - kProgramIconBase);
    return info;
  }
  if (value >= kSystemIconBase + kFirstSystemIcon && value <= kSystemIconBase + kLastSystemIcon) {
    info.system = true;
    info.resourceId = static_cast<int>(value - kSystemIconBase);
    return info;
  }
  return std::nullopt;
}

}  // namespace sim

// Copies string `uID` into the buffer, cut to cchBufferMax - 1 characters and always ended
// by a NUL, and returns the characters copied. A string the table does not hold gives 0;
// when its whole block of sixteen is missing, FindResource's error is set as well, while
// an empty slot in a present block leaves the last error alone, as on Windows. A buffer
// of no size gets nothing written and gives 0 (Wine answers -1 there).
int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
  sim::ApiCall call("LoadStringA", std::to_string(uID & 0xFFFF));
  if (call.fault()) return sim::Fail(*call.fault()), 0;
  if (cchBufferMax <= 0) return 0;
  if (!lpBuffer) return sim::Fail(ERROR_NOACCESS), 0;
  lpBuffer[0] = '\0';
  const sim::ResourceSet* resources = call.process().resources;
  if (!sim::IsProgramInstance(hInstance) || !resources) {
    return sim::Fail(ERROR_RESOURCE_DATA_NOT_FOUND), 0;
  }
  if (resources->strings.empty()) return sim::Fail(ERROR_RESOURCE_TYPE_NOT_FOUND), 0;
  const unsigned id = uID & 0xFFFF;  // string ids are 16-bit; Windows reads the low word
  auto found = resources->strings.find(id);
  if (found == resources->strings.end()) {
    const unsigned blockStart = id & ~0xFu;
    auto neighbour = resources->strings.lower_bound(blockStart);
    const bool blockPresent =
        neighbour != resources->strings.end() && neighbour->first < blockStart + 16;
    if (!blockPresent) sim::Fail(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
  }
  const std::string& text = found->second;
  const size_t copied = std::min(text.size(), static_cast<size_t>(cchBufferMax) - 1);
  std::memcpy(lpBuffer, text.data(), copied);
  lpBuffer[copied] = '\0';
  return static_cast<int>(copied);
}

// A shared icon: the program's icon resource, or with a null instance one of Windows' own
// icons (IDI_APPLICATION ...). The same icon gives the same handle every time.
HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
  const uintptr_t nameValue = reinterpret_cast<uintptr_t>(lpIconName);
  sim::ApiCall call("LoadIconA", (nameValue >> 16) == 0 ? "#" + std::to_string(nameValue)
                                                        : std::string(lpIconName));
  if (call.fault()) return sim::Fail(*call.fault()), nullptr;
  const std::optional<int> ordinal = sim::ResourceOrdinal(lpIconName);
  if (!hInstance) {
    if (ordinal && *ordinal >= sim::kFirstSystemIcon && *ordinal <= sim::kLastSystemIcon) {
      return sim::IconHandleFor({true, *ordinal});
    }
    // The program's own icons are found through its instance handle only.
    return sim::Fail(ERROR_RESOURCE_NAME_NOT_FOUND), nullptr;
  }
  const sim::ResourceSet* resources = call.process().resources;
  if (!sim::IsProgramInstance(hInstance) || !resources) {
    return sim::Fail(ERROR_RESOURCE_DATA_NOT_FOUND), nullptr;
  }
  if (resources->icons.empty()) return sim::Fail(ERROR_RESOURCE_TYPE_NOT_FOUND), nullptr;
  if (!ordinal || resources->icons.count(*ordinal) == 0) {
    return sim::Fail(ERROR_RESOURCE_NAME_NOT_FOUND), nullptr;
  }
  return sim::IconHandleFor({false, *ordinal});
}
