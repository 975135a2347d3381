// Commands on a machine's registry: import, reg export and reg query.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/storage/host_file.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/storage/machine_folder.h"
#include "platform/sim/storage/reg_file.h"
#include "tools/winsim/commands.h"
#include "tools/winsim/customer_machine.h"
#include "tools/winsim/registry_text.h"

namespace winsim {

namespace {

// The registry editor's export of a whole machine (or of some of its keys), read as
// winsim preview --registry reads it.
int ImportMachineExport(const std::string& dir, const std::string& file) {
  std::string error;
  std::unique_ptr<sim::Machine> machine = sim::LoadMachineToChange(dir, &error);
  if (!machine) return Fail(error);
  // A bad line leaves the machine in memory half-changed: it is dropped, never saved.
  ExportRead read;
  if (!ImportMachineExport(file, machine.get(), &read, nullptr, &error)) return Fail(error);
  if (!sim::SaveMachine(*machine, dir, &error)) return Fail(error);
  std::printf("%s: imported the export %s (%s): %zu keys, %zu values\n", dir.c_str(), file.c_str(),
              sim::Cp1252ToUtf8(read.form).c_str(), read.keys, read.values);
  std::fputs(ExportLossesText(read).c_str(), stdout);
  return kOk;
}

int Import(const std::vector<std::string>& args) {
  const ParsedArgs parsed = ParseArgs(args, {}, {"machine-export"});
  if (!parsed.error.empty()) return BadUsage("import", parsed.error);
  if (parsed.positional.size() != 2) {
    return BadUsage("import", "expected a machine folder and a .reg file");
  }
  const std::string& dir = parsed.positional[0];
  const std::string& file = parsed.positional[1];
  if (parsed.Has("machine-export")) return ImportMachineExport(dir, file);
  std::string text, error;
  // The user names the file: a link is followed, but a FIFO or a device is not read.
  sim::HostFileRead how;
  how.followLinks = true;
  if (!sim::ReadHostFile(file, how, &text, &error)) return Fail(file + ": " + error);
  // The whole file is checked before the machine is touched.
  std::vector<sim::RegFileOp> ops;
  if (!sim::ParseRegFile(text, file, &ops, &error)) return Fail(error);
  std::unique_ptr<sim::Machine> machine = sim::LoadMachineToChange(dir, &error);
  if (!machine) return Fail(error);
  sim::ApplyRegFile(ops, &machine->registry);
  if (!sim::SaveMachine(*machine, dir, &error)) return Fail(error);
  std::printf("%s: applied %zu statements of %s\n", dir.c_str(), ops.size(), file.c_str());
  return kOk;
}

bool WriteWholeFile(const std::string& path, const std::string& content, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    *error = path + ": cannot be written: " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  if (std::fclose(f) != 0 || !written) {
    *error = path + ": cannot be written: " + std::strerror(errno);
    return false;
  }
  return true;
}

// Code page 1252 text with CRLF line ends as a terminal shows it: UTF-8, LF.
std::string ForTerminal(const std::string& text) {
  std::string lf;
  lf.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lf += text[i];
  }
  return sim::Cp1252ToUtf8(lf);
}

// The key as written on the command line: "HKEY_LOCAL_MACHINE\..." or "HKLM\..." (also
// HKCU, HKU, HKCR). The machine's registry is shown as it is stored: on a 64-bit Windows
// the 32-bit programs' keys stand under SOFTWARE\Wow6432Node.
int Reg(const std::vector<std::string>& args) {
  const ParsedArgs parsed = ParseArgs(args, {});
  if (!parsed.error.empty()) return BadUsage("reg", parsed.error);
  const auto& p = parsed.positional;
  if (p.size() < 3) return BadUsage("reg", "expected a machine folder, export or query, and a key");
  const std::string& dir = p[0];
  const std::string& action = p[1];
  const std::string& keyPath = p[2];
  if (action != "export" && action != "query") {
    return BadUsage("reg", "unknown action '" + action + "'; expected export or query");
  }
  if (p.size() > (action == "export" ? 4u : 3u)) return BadUsage("reg", "too many arguments");
  std::string ansiKeyPath, error;
  if (!sim::Utf8ToCp1252(keyPath, &ansiKeyPath)) return Fail(keyPath + ": not code page 1252 text");
  std::unique_ptr<sim::Machine> machine = sim::LoadMachine(dir, &error);
  if (!machine) return Fail(error);
  const std::shared_ptr<sim::RegKey> key = machine->registry.FindFull(ansiKeyPath);
  if (!key) return Fail(keyPath + ": no such key on the machine");

  if (action == "query") {
    const std::string text = sim::Cp1252ToUtf8(QueryText(*key));
    std::fwrite(text.data(), 1, text.size(), stdout);
    return kOk;
  }
  const bool toFile = p.size() == 4;
  // A file or a pipe gets the bytes regedit writes; a terminal gets them as text.
  const bool asText = !toFile && isatty(STDOUT_FILENO);
  std::string exported;
  if (!sim::FormatRegExport(*key,
                            asText ? sim::RegFileEncoding::kCp1252 : sim::RegFileEncoding::kUtf16Le,
                            &exported, &error)) {
    return Fail(error);
  }
  if (toFile) return WriteWholeFile(p[3], exported, &error) ? kOk : Fail(error);
  if (asText) exported = ForTerminal(exported);
  std::fwrite(exported.data(), 1, exported.size(), stdout);
  return kOk;
}

}  // namespace

std::vector<Command> RegistryCommands() {
  return {
      {"import", "DIR FILE.reg [--machine-export]",
       "apply a registry file to a machine's registry and save it (--machine-export: a "
       "registry editor's export, whose keys replace the machine's)",
       Import},
      {"reg", "DIR query KEY", "print a key's values and subkeys (KEY: HKLM\\... or HKEY_...)",
       Reg},
      {"reg", "DIR export KEY [FILE.reg]",
       "write a key and its subtree as the registry editor exports it", Reg},
  };
}

}  // namespace winsim
