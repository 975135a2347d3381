// Commands on a driver package of the host: check.
#include <cstdio>
#include <string>
#include <vector>

#include <filesystem>
#include <system_error>

#include "installer/ports_inf.h"
#include "platform/sim/storage/machine_folder.h"
#include "tools/winsim/commands.h"
#include "tools/winsim/package_check.h"

namespace winsim {

namespace {

// The INF's texts are ANSI (code page 1252); the terminal's are UTF-8.
std::string Shown(const std::string& ansi) { return sim::Cp1252ToUtf8(ansi); }

std::string Counted(int n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

void PrintValues(const PackageCheck& check) {
  if (check.portsInfRead) {
    std::printf(
        "Sabrelune.inf: %zu bytes, of which the installer reads the first %zu\n",
        check.portsInfBytes,
        check.portsInfBytes < kPortsInfReadLimit ? check.portsInfBytes : kPortsInfReadLimit);
  }
  const std::string* const resolved[] = {&check.values.customerName, &check.values.providerName,
                                         &check.values.displayName};
  for (size_t i = 0; i < check.read.size() && i < 3; ++i) {
    const ReadValue& r = check.read[i];
    std::printf("  %-15s %s", r.key.c_str(), Shown(ShownText(*resolved[i])).c_str());
    if (r.defaulted) {
      std::printf("  (default: %s)", r.reason.empty() ? "empty value" : r.reason.c_str());
    } else if (!r.reason.empty()) {
      std::printf("  (%s)", r.reason.c_str());
    } else {
      std::printf("  (line %d)", r.line);
    }
    std::printf("\n");
  }
  std::printf("  %-15s %s\n", "uninstaller",
              Shown(ShownText(check.values.uninstallerName + ".exe")).c_str());
  for (const ReadId& id : check.ids) {
    std::printf("  %-15s %s  (line %d", id.name.c_str(), Shown(QuotedText(id.id)).c_str(), id.line);
    if (id.window != id.id) std::printf(", window %s", Shown(QuotedText(id.window)).c_str());
    std::printf(")\n");
  }
}

void PrintEditions(const PackageCheck& check) {
  std::string supported, unsupported;
  for (const EditionPlan& e : check.editions) {
    std::string& list = e.supported ? supported : unsupported;
    list += " " + e.edition + (e.supported ? " (" + e.platformFolder.substr(1) + ")" : "");
  }
  std::printf("supported editions (platform folder):%s\n", supported.c_str());
  std::printf("not supported, the installer stops there:%s\n", unsupported.c_str());
  for (const UninstallerChoice& u : check.uninstallers) {
    std::printf("  uninstaller from %s: %s\n", u.platformFolder.c_str(),
                u.fileName.empty() ? "none" : Shown(u.fileName).c_str());
  }
}

void PrintFindings(const PackageCheck& check) {
  for (const Finding& f : check.findings) {
    const std::string where = f.line > 0 ? f.file + ":" + std::to_string(f.line) : f.file;
    std::printf("%s: %s: %s\n", where.c_str(), f.severity == Severity::kError ? "error" : "warning",
                Shown(f.text).c_str());
  }
}

int Check(const std::vector<std::string>& args) {
  const ParsedArgs parsed = ParseArgs(args, {});
  if (!parsed.error.empty()) return BadUsage("check", parsed.error);
  if (parsed.positional.size() != 1) return BadUsage("check", "expected one package folder");
  std::error_code ec;
  if (!std::filesystem::is_directory(parsed.positional[0], ec)) {
    return BadUsage("check", "'" + parsed.positional[0] + "' is not a folder");
  }
  const PackageCheck check = CheckPackage(parsed.positional[0]);
  std::printf("package %s\n", check.package.c_str());
  PrintValues(check);
  PrintEditions(check);
  PrintFindings(check);
  const int errors = check.Count(Severity::kError);
  const std::string warnings = Counted(check.Count(Severity::kWarning), "warning");
  if (errors == 0) {
    std::printf("%s: clean: installs on every supported edition (%s)\n", check.package.c_str(),
                warnings.c_str());
    return kOk;
  }
  std::printf("%s: %s, %s: does not install cleanly\n", check.package.c_str(),
              Counted(errors, "error").c_str(), warnings.c_str());
  return kFailed;
}

}  // namespace

std::vector<Command> CheckCommands() {
  return {
      {"check", "PACKAGE_DIR",
       "read a driver package as the installer will; exit 0 only when it installs cleanly", Check},
  };
}

}  // namespace winsim
