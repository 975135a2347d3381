// Commands on a driver package of the host: check.
#include <algorithm>
#include <cctype>
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
  std::string supported, unsupported, unshipped;
  for (const EditionPlan& e : check.editions) {
    if (e.supported && !e.shipped) {
      unshipped += " " + e.edition;
      continue;
    }
    std::string& list = e.supported ? supported : unsupported;
    std::string note;
    if (e.supported) note = e.platformFolder.substr(1);
    if (e.supported && e.uninstallRefused) note += "; installs, uninstall refused";
    list += " " + e.edition + (note.empty() ? "" : " (" + note + ")");
  }
  std::string platforms;
  for (const std::string& p : check.platforms) platforms += (platforms.empty() ? "" : ",") + p;
  std::printf("platform folders shipped: %s\n", platforms.empty() ? "none" : platforms.c_str());
  std::printf("supported editions (platform folder):%s\n", supported.c_str());
  if (!unshipped.empty()) {
    std::printf("refused, their platform folder is not shipped (the installer aborts there):%s\n",
                unshipped.c_str());
  }
  std::printf("not supported, the installer stops there:%s\n", unsupported.c_str());
  for (const UninstallerChoice& u : check.uninstallers) {
    std::printf("  uninstaller from %s: %s\n", u.platformFolder.c_str(),
                u.fileName.empty() ? "none" : Shown(u.fileName).c_str());
  }
}

// With `strict`, warnings are errors.
void PrintFindings(const PackageCheck& check, bool strict) {
  for (const Finding& f : check.findings) {
    const std::string where = f.line > 0 ? f.file + ":" + std::to_string(f.line) : f.file;
    const bool error = f.severity == Severity::kError || strict;
    std::printf("%s: %s: %s\n", where.c_str(), error ? "error" : "warning", Shown(f.text).c_str());
  }
}

// "X86,AMD64" into the platform folders; false with `error` for an unknown one.
bool ParsePlatforms(const std::string& list, CheckOptions* options, std::string* error) {
  if (list == "present") {
    options->platformsPresent = true;
    return true;
  }
  std::vector<std::string>* platforms = &options->platforms;
  size_t at = 0;
  while (at <= list.size()) {
    const size_t comma = std::min(list.find(',', at), list.size());
    std::string p = list.substr(at, comma - at);
    for (char& c : p) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (p != "X86" && p != "AMD64" && p != "IA64") {
      *error = "--platforms takes X86, AMD64 and IA64, separated by commas, or present, not '" +
               list.substr(at, comma - at) + "'";
      return false;
    }
    platforms->push_back(p);
    at = comma + 1;
  }
  return true;
}

int Check(const std::vector<std::string>& args) {
  const ParsedArgs parsed = ParseArgs(args, {"platforms"}, {"strict", "shipping"});
  if (!parsed.error.empty()) return BadUsage("check", parsed.error);
  if (parsed.positional.size() != 1) return BadUsage("check", "expected one package folder");
  std::error_code ec;
  if (!std::filesystem::is_directory(parsed.positional[0], ec)) {
    return BadUsage("check", "'" + parsed.positional[0] + "' is not a folder");
  }
  CheckOptions options;
  options.shipping = parsed.Has("shipping");
  if (const std::string* platforms = parsed.Option("platforms")) {
    std::string error;
    if (!ParsePlatforms(*platforms, &options, &error)) return BadUsage("check", error);
  }
  const bool strict = parsed.Has("strict");
  const PackageCheck check = CheckPackage(parsed.positional[0], options);
  std::printf("package %s\n", check.package.c_str());
  PrintValues(check);
  PrintEditions(check);
  PrintFindings(check, strict);
  const int warningCount = check.Count(Severity::kWarning);
  const int errors = check.Count(Severity::kError) + (strict ? warningCount : 0);
  const std::string warnings = Counted(strict ? 0 : warningCount, "warning");
  if (errors == 0) {
    std::printf("%s: clean: installs on every supported edition%s (%s)\n", check.package.c_str(),
                check.platforms.size() < 3 ? " whose platform folder it ships" : "",
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
      {"check", "PACKAGE_DIR [--platforms X86,AMD64,IA64|present] [--strict] [--shipping]",
       "read a driver package as the installer will; exit 0 only when it installs cleanly "
       "(--platforms: the platform folders shipped, or those present; --strict: warnings are "
       "errors; "
       "--shipping: a driver file that is no Windows image is an error)",
       Check},
  };
}

}  // namespace winsim
