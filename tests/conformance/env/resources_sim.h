// The conformance program's resources on the simulator: conformance_resources.rc, built
// into the binary and parsed once, as the Windows build carries its compiled form.
#pragma once

#include "platform/sim/ui/dialog_template.h"

namespace conformance {

const sim::ResourceSet* ConformanceResources();

}  // namespace conformance
