// One canonical text for a resource set: every dialog with its controls, every string and
// every icon id, in id order, numbers in a fixed form. Two sets are equal when their
// texts are, and a difference shows as the first differing line.
#pragma once

#include <string>

#include "platform/sim/ui/dialog_template.h"

namespace resdump {

std::string FormatResourceSet(const sim::ResourceSet& set);

}  // namespace resdump
