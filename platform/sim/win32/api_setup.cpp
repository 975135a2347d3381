// SETUPAPI's INF staging in the simulated Windows: SetupCopyOEMInfA copies an INF into
// %windir%\inf as the next free oemN.inf and writes its precompiled oemN.pnf beside
// it. The simulated PNF holds the INF's text as 16-bit little-endian characters.
#include <cstring>
#include <memory>
#include <string>

#include "platform/sim/win32/api_support.h"
#include "platform/sim/machine/path_resolution.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/machine/code_page.h"
#include "platform/sim/sdk/win32_sim.h"

BOOL WINAPI SetupCopyOEMInfA(PCSTR SourceInfFileName, PCSTR OEMSourceMediaLocation,
                             DWORD OEMSourceMediaType, DWORD CopyStyle, PSTR DestinationInfFileName,
                             DWORD DestinationInfFileNameSize, PDWORD RequiredSize,
                             PSTR* DestinationInfFileNameComponent) {
  sim::ApiCall call("SetupCopyOEMInfA", SourceInfFileName ? SourceInfFileName : "");
  (void)OEMSourceMediaLocation;
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  if (!SourceInfFileName || OEMSourceMediaType > SPOST_URL ||
      (!DestinationInfFileName && DestinationInfFileNameSize)) {
    return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
  }
  sim::Process& p = call.process();
  sim::ResolvedPath path;
  uint32_t error = 0;
  if (!sim::ResolvePath(p, SourceInfFileName, &path, &error)) return sim::Fail(error), FALSE;
  const sim::PathLookup source = sim::LookUp(p.machine.files, path);
  if (!source.wayExists) return sim::Fail(ERROR_PATH_NOT_FOUND), FALSE;
  if (!source.node || source.node->isDirectory) return sim::Fail(ERROR_FILE_NOT_FOUND), FALSE;

  sim::FileSystem& files = p.machine.files;
  const std::string infFolder = p.machine.os.windowsFolder + "\\inf";
  std::shared_ptr<sim::FsNode> folder = files.MakeDirectories(infFolder);
  if (!folder) return sim::Fail(ERROR_PATH_NOT_FOUND), FALSE;

  // An INF staged before with the same text is not staged twice: its name is reported.
  std::string name;
  bool existing = false;
  for (int n = 0; name.empty(); ++n) {
    const std::string candidate = "oem" + std::to_string(n) + ".inf";
    const std::shared_ptr<sim::FsNode>* there = folder->children.Find(candidate);
    if (!there) {
      name = candidate;
    } else if (!(*there)->isDirectory && (*there)->content == source.node->content) {
      name = (*there)->name;
      existing = true;
    }
  }
  const std::string destination = infFolder + "\\" + name;
  if (RequiredSize) *RequiredSize = static_cast<DWORD>(destination.size() + 1);
  if (DestinationInfFileName && DestinationInfFileNameSize <= destination.size()) {
    return sim::Fail(ERROR_INSUFFICIENT_BUFFER), FALSE;
  }
  if (existing && (CopyStyle & SP_COPY_NOOVERWRITE)) {
    if (DestinationInfFileName) {
      std::memcpy(DestinationInfFileName, destination.c_str(), destination.size() + 1);
    }
    return sim::Fail(ERROR_FILE_EXISTS), FALSE;
  }
  if (!existing) {
    const std::string text = source.node->content;
    files.WriteFile(destination, text, FILE_ATTRIBUTE_ARCHIVE);
    files.WriteFile(destination.substr(0, destination.size() - 3) + "pnf", sim::AnsiToUtf16Le(text),
                    FILE_ATTRIBUTE_ARCHIVE);
    folder->lastWriteTime = p.machine.Now();
  }
  if (DestinationInfFileName) {
    std::memcpy(DestinationInfFileName, destination.c_str(), destination.size() + 1);
    if (DestinationInfFileNameComponent) {
      *DestinationInfFileNameComponent = DestinationInfFileName + infFolder.size() + 1;
    }
  }
  sim::Fail(ERROR_SUCCESS);
  return TRUE;
}
