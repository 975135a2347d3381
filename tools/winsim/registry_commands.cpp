// Commands on a machine's registry: import.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/sim/reg_file.h"
#include "tools/winsim/commands.h"

namespace winsim {

namespace {

bool ReadWholeFile(const std::string& path, std::string* content, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *error = path + ": cannot open: " + std::strerror(errno);
    return false;
  }
  std::string data;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) {
    *error = path + ": cannot read: " + std::strerror(errno);
    return false;
  }
  *content = std::move(data);
  return true;
}

int Import(const std::vector<std::string>& args) {
  const ParsedArgs parsed = ParseArgs(args, {});
  if (!parsed.error.empty()) return BadUsage("import", parsed.error);
  if (parsed.positional.size() != 2) {
    return BadUsage("import", "expected a machine folder and a .reg file");
  }
  const std::string& dir = parsed.positional[0];
  const std::string& file = parsed.positional[1];
  std::string text, error;
  if (!ReadWholeFile(file, &text, &error)) return Fail(error);
  // The whole file is checked before the machine is touched.
  std::vector<sim::RegFileOp> ops;
  if (!sim::ParseRegFile(text, file, &ops, &error)) return Fail(error);
  std::unique_ptr<sim::Machine> machine = sim::LoadMachine(dir, &error);
  if (!machine) return Fail(error);
  sim::ApplyRegFile(ops, &machine->registry);
  if (!sim::SaveMachine(*machine, dir, &error)) return Fail(error);
  std::printf("%s: applied %zu statements of %s\n", dir.c_str(), ops.size(), file.c_str());
  return kOk;
}

}  // namespace

std::vector<Command> RegistryCommands() {
  return {
      {"import", "DIR FILE.reg", "apply a registry file to a machine's registry and save it",
       Import},
  };
}

}  // namespace winsim
