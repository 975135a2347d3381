// The resources of the two programs for the simulated Windows: each program's resource
// script and header, built into the binary and parsed on first use (once, also when
// several threads ask at the same time). A process gets them through
// ProcessOptions::resources.
#pragma once

#include "platform/sim/ui/dialog_template.h"

const sim::ResourceSet& KestrolinResources();
const sim::ResourceSet& WendmarrowResources();
