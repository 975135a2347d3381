// The files of a machine folder besides the registry files, and the hooks the
// crash-safety tests use. LoadMachine and SaveMachine (machine.h) put them together:
//
//   machine.ini                 [identity]: every OsIdentity field; [machine]: clock,
//                               restart requests
//   HKLM.reg, HKCU.reg, HKU.reg registry files (reg_file.h), UTF-16LE as regedit writes
//                               them; HKU only when it holds something
//   HKLM.security, ...          "[key path]" lines, each followed by one access-list line
//   drives/C/...                the drive's folders and files, names in UTF-8 on the host
//   drives/C.meta               per entry: attributes, creation, last-write and
//                               last-access time, path below the drive root
//
// Each of these files ends with the line kMachineFileEndLine (a comment to every reader
// of these formats, regedit included), so that a file cut short at a line boundary is
// refused. The files are read only when they are regular files, not through links.
//
// Every parser names the file and the 1-based line of the first fault.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/machine/filesystem.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/registry.h"

namespace sim {

constexpr char kMachineFileEndLine[] = "; end of machine file";

// machine.ini. Strings are taken verbatim after '='; numbers are decimal or 0x hex;
// flags are true/false (or 1/0). Every identity key must be present exactly once.
bool FormatMachineIni(const Machine& machine, std::string* text, std::string* error);
bool ParseMachineIni(std::string_view text, std::string_view fileName, Machine* machine,
                     std::string* error);

// Key security: the hive root always, and every key whose security is not the
// default (unprotected, no explicit entries), depth-first in enumeration order.
bool FormatKeySecurity(const RegKey& root, std::string* out, std::string* error);
// Applies a security file to the keys below `root`; every key named must exist.
bool ParseKeySecurity(std::string_view text, std::string_view fileName, RegKey* root,
                      std::string* error);

// Drive sidecar, one line per entry: "0x00000020 <creation> <last-write> <last-access>
// \path\below\root" (the root itself is "\"), depth-first in enumeration order. A
// junction's line ends in " -> C:\target" ('>' is in no Windows name).
struct DriveMetaEntry {
  uint32_t attributes = 0;
  uint64_t creationTime = 0, lastWriteTime = 0, lastAccessTime = 0;
  std::string path;
  std::string junctionTarget;
  int line = 0;
};
std::string FormatDriveMeta(const FsNode& driveRoot);
bool ParseDriveMeta(std::string_view text, std::string_view fileName,
                    std::vector<DriveMetaEntry>* entries, std::string* error);

// Decimal or 0x hex digits only, at most `max`.
bool ParseFolderNumber(std::string_view text, uint64_t max, uint64_t* value);

// Host names are UTF-8; simulated names are code page 1252.
std::string Cp1252ToUtf8(std::string_view ansi);
bool Utf8ToCp1252(std::string_view utf8, std::string* ansi);

// For the crash-safety tests. A save counts its write steps (a folder made, a file
// written, a flush, a rename, a removal); when stopAfterStep > 0 it stops dead right
// after that step, leaving the disk as a killed process would. `withoutExchange`
// makes it use the two-rename fallback instead of RENAME_EXCHANGE. `killProcess` makes
// the process kill itself (SIGKILL) at that step instead, so that nothing after it runs.
struct SaveTestHooks {
  int stopAfterStep = 0;
  bool withoutExchange = false;
  bool killProcess = false;
};
void SetSaveTestHooks(const SaveTestHooks& hooks);
int StepsOfLastSave();

}  // namespace sim
