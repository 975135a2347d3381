#include "tools/winsim/program_status.h"

// The two programs' resource headers give their controls the same names.
#include "resources/kestrolin_resource.h"
constexpr int kInstallerStatus = IDC_STATUS_TEXT;
#undef IDC_STATUS_TEXT
#include "resources/wendmarrow_resource.h"
constexpr int kUninstallerStatus = IDC_STATUS_TEXT;

namespace winsim {

int StatusControlId(ProgramKind kind) {
  return kind == ProgramKind::kInstaller ? kInstallerStatus : kUninstallerStatus;
}

}  // namespace winsim
