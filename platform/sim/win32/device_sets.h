// Device information sets as handles of a simulated process, so that tests can count
// the sets a program left open.
#pragma once

#include <cstddef>

#include "platform/sim/machine/process.h"

namespace sim {

// The handle-table object behind every HDEVINFO.
struct DeviceSetObject : HandleObject {};

// Device sets the process built and has not destroyed.
size_t OpenDeviceSets(const Process& process);

}  // namespace sim
