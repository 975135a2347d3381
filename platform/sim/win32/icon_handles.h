// Icon handles of the simulated Windows. LoadIconA hands out shared icons, which are
// never destroyed, so a handle is a fixed value derived from the icon rather than an
// entry of the process's handle table: the same icon gives the same handle every time,
// and loading icons leaves nothing open.
#pragma once

#include <optional>

#include "platform/sim/sdk/win32_sim.h"

namespace sim {

struct IconHandleInfo {
  bool system = false;  // one of Windows' own icons (IDI_APPLICATION, ...)
  int resourceId = 0;   // the program's icon resource id, or the IDI_ value
};

HICON IconHandleFor(const IconHandleInfo& icon);

// What a handle stands for; nothing for a value that is no icon handle.
std::optional<IconHandleInfo> DescribeIconHandle(HICON icon);

}  // namespace sim
