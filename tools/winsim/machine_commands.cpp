// Commands on whole machines: editions, new, create, show.
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/sim/machine/machine.h"
#include "platform/sim/storage/machine_folder.h"
#include "platform/sim/storage/reg_file.h"
#include "platform/sim/machine/path_resolution.h"
#include "tools/winsim/commands.h"
#include "tools/winsim/machine_setup.h"

namespace winsim {

namespace {

int Editions(const std::vector<std::string>& args) {
  if (!args.empty()) return BadUsage("editions", "takes no arguments");
  for (const std::string& name : sim::EditionNames()) std::printf("%s\n", name.c_str());
  return kOk;
}

// A drive ("C:") or a full folder path ("C:\Package"), normalised, without a trailing
// backslash.
bool FullPackageFolder(const std::string& input, std::string* folder) {
  const bool hasDrive =
      input.size() >= 2 && std::isalpha(static_cast<unsigned char>(input[0])) && input[1] == ':';
  if (!hasDrive) return false;
  if (input.size() == 2 || input == input.substr(0, 2) + "\\") {
    *folder =
        std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(input[0])))) + ":";
    return true;
  }
  std::string full;
  if (input[2] != '\\' || !sim::FullPathName(input, "C:\\", &full) ||
      full.size() > sim::kMaxFullPath)
    return false;
  while (full.size() > 3 && full.back() == '\\') full.pop_back();
  *folder = full;
  return true;
}

// `new` and `create`: a fresh machine folder; create also takes --package.
int MakeFolder(const char* command, const std::vector<std::string>& args, bool takesPackage) {
  const ParsedArgs parsed = takesPackage ? ParseArgs(args, {"edition", "package", "package-at"})
                                         : ParseArgs(args, {"edition"});
  if (!parsed.error.empty()) return BadUsage(command, parsed.error);
  if (parsed.positional.size() != 1) return BadUsage(command, "expected one machine folder");
  const std::string* edition = parsed.Option("edition");
  if (!edition) return BadUsage(command, "--edition is required (see: winsim editions)");
  if (!IsEdition(*edition)) return BadUsage(command, UnknownEditionMessage(*edition));
  const std::string& dir = parsed.positional[0];
  struct stat st;
  if (::lstat(dir.c_str(), &st) == 0) {
    return Fail(dir + ": already exists; winsim " + command + " makes a fresh machine folder");
  }
  const std::string* package = parsed.Option("package");
  const std::string* at = parsed.Option("package-at");
  if (at && !package) return BadUsage(command, "--package-at goes with --package");
  std::string place = std::string(1, kPackageDrive) + ":";
  if (at && !FullPackageFolder(*at, &place)) {
    return BadUsage(command,
                    "--package-at needs a drive or a full folder path (C:\\Package), not " + *at);
  }
  std::string error;
  std::unique_ptr<sim::Machine> machine =
      NewMachine(*edition, package ? *package : "", &error, place);
  if (!machine) return Fail(error);
  if (!sim::SaveMachine(*machine, dir, &error)) return Fail(error);
  std::printf("%s: new %s machine%s\n", dir.c_str(), edition->c_str(),
              package ? (", package " + *package + " in " + place).c_str() : "");
  return kOk;
}

int New(const std::vector<std::string>& args) { return MakeFolder("new", args, false); }
int Create(const std::vector<std::string>& args) { return MakeFolder("create", args, true); }

// Registry text as a terminal wants it: LF line ends.
std::string WithLf(const std::string& crlf) {
  std::string out;
  out.reserve(crlf.size());
  for (size_t i = 0; i < crlf.size(); ++i) {
    if (crlf[i] == '\r' && i + 1 < crlf.size() && crlf[i + 1] == '\n') continue;
    out += crlf[i];
  }
  return out;
}

int Show(const std::vector<std::string>& args) {
  const ParsedArgs parsed = ParseArgs(args, {});
  if (!parsed.error.empty()) return BadUsage("show", parsed.error);
  if (parsed.positional.size() != 1) return BadUsage("show", "expected one machine folder");
  std::string error;
  std::unique_ptr<sim::Machine> machine = sim::LoadMachine(parsed.positional[0], &error);
  if (!machine) return Fail(error);
  std::string identity, registry;
  if (!sim::FormatMachineIni(*machine, &identity, &error)) return Fail(error);
  std::vector<const sim::RegKey*> roots = {machine->registry.LocalMachine().get(),
                                           machine->registry.CurrentUser().get()};
  const auto users = machine->registry.Root("HKEY_USERS");
  if (!users->subkeys.Empty() || !users->values.Empty()) roots.push_back(users.get());
  if (!sim::FormatRegFile(roots, sim::RegFileEncoding::kCp1252, &registry, &error)) {
    return Fail(error);
  }
  // The terminal reads UTF-8; the machine's names and texts are code page 1252.
  const std::string text = sim::Cp1252ToUtf8(identity) + "\n" + sim::Cp1252ToUtf8(WithLf(registry));
  std::fwrite(text.data(), 1, text.size(), stdout);
  return kOk;
}

}  // namespace

std::vector<Command> MachineCommands() {
  return {
      {"editions", "", "list the editions a new machine can be made from", Editions},
      {"new", "DIR --edition NAME", "write a fresh machine folder for an edition", New},
      {"create", "DIR --edition NAME [--package HOSTDIR [--package-at FOLDER]]",
       "the same, with a host package folder on D: or in FOLDER (and Kestrolin.exe beside it)",
       Create},
      {"show", "DIR", "print a machine's identity and its registry (.reg text)", Show},
  };
}

}  // namespace winsim
