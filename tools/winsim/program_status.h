// The control in which each program's main dialog tells the user where it stands.
#pragma once

#include "tools/winsim/program_placeholder.h"

namespace winsim {

int StatusControlId(ProgramKind kind);

}  // namespace winsim
