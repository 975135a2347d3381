// Deletions that Windows carries out at its next start (MoveFileExA with
// MOVEFILE_DELAY_UNTIL_REBOOT, kept in the session manager's PendingFileRenameOperations).
// Such a deletion names a path, not a file: whatever stands at that path at the next start
// goes. So the uninstaller never leaves the name of its own copy there, and the installer
// drops any deletion of a name it is about to write.
#pragma once

#include <string>

// Deletes `path` now. When it is still there afterwards (the image of the running
// uninstaller, which Windows will not delete), renames it within its folder to a name that
// no installation writes and has Windows delete that name at its next start, so that a
// copy installed at `path` before then stays. Where the rename is refused, `path` itself
// is left to the next start. `atRestart` is the same file's name as the system will see
// it then, without WOW64's redirection.
void DeleteNowOrAtRestart(const std::string& path, const std::string& atRestart);

// Removes from the deletions left to the next start every one of exactly `path` (letter
// case aside, as Windows compares names); renames and other names stay, in their order.
// Returns false when the list could not be read or written back (it is then as it was).
bool DropPendingDeletion(const std::string& path);
