// The file operations Windows carries out at its next start: MoveFileExA with
// MOVEFILE_DELAY_UNTIL_REBOOT records them for the session manager in the multi-string
// HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\PendingFileRenameOperations,
// as pairs of NT names: the source, then the target ("!" in front when it may be
// replaced) or an empty string for a deletion.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/machine/machine.h"

namespace sim {

constexpr char kSessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingFileOperations[] = "PendingFileRenameOperations";

struct PendingFileOperation {
  std::string source;  // a full Windows path, "\??\" taken off
  std::string target;  // empty for a deletion
  bool replace = false;
};

// Appends one operation to the list, as Windows' MoveFileExA does.
void RecordPendingFileOperation(Registry& registry, const PendingFileOperation& operation);

// The operations recorded, in order; an unreadable remainder of the list is left out.
std::vector<PendingFileOperation> PendingFileOperations(const Machine& machine);

// What the session manager does at the start of Windows: carries out each operation on
// the machine's files (one whose source is gone, or whose target is taken without
// leave to replace it, is passed over, as Windows does) and removes the list. Returns
// one line per operation: "deleted PATH", "moved PATH to PATH" or "not carried out: ...".
std::vector<std::string> CarryOutPendingFileOperations(Machine& machine);

// The machine's next start, as far as the simulator keeps what Windows does then: the
// pending file operations carried out and the restart requests answered. Returns the
// lines of CarryOutPendingFileOperations, then one line for the requests, if any.
std::vector<std::string> Restart(Machine& machine);

}  // namespace sim
