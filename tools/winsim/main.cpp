// winsim: creates, inspects and changes simulated Windows machines (machine folders).
#include <cstdio>
#include <string>
#include <vector>

#include "tools/winsim/commands.h"

namespace winsim {

namespace {

std::vector<Command> AllCommands() {
  std::vector<Command> all;
  for (auto family : {MachineCommands, RegistryCommands, FileCommands, RunCommands, DemoCommands,
                      CheckCommands, PreviewCommands}) {
    for (const Command& c : family()) all.push_back(c);
  }
  return all;
}

void PrintUsage(std::FILE* out) {
  std::fprintf(out, "usage: winsim COMMAND [ARGUMENTS]\n\ncommands:\n");
  std::fprintf(out, "  %-48s %s\n", "help", "print this text");
  for (const Command& c : AllCommands()) {
    const std::string line = std::string(c.name) + " " + c.arguments;
    std::fprintf(out, "  %-48s %s\n", line.c_str(), c.summary);
  }
  std::fprintf(out, "\nexit status: 0 done, 1 the command failed, 2 the command line is wrong\n");
}

}  // namespace

int Fail(const std::string& message) {
  std::fprintf(stderr, "winsim: %s\n", message.c_str());
  return kFailed;
}

int BadUsage(const char* commandName, const std::string& message) {
  std::fprintf(stderr, "winsim %s: %s\n", commandName, message.c_str());
  for (const Command& c : AllCommands()) {
    if (std::string(c.name) == commandName) {
      std::fprintf(stderr, "usage: winsim %s%s%s\n", c.name, *c.arguments ? " " : "", c.arguments);
    }
  }
  return kBadUsage;
}

const std::string* ParsedArgs::Option(const std::string& name) const {
  for (const auto& [key, value] : options) {
    if (key == name) return &value;
  }
  return nullptr;
}

std::vector<std::string> ParsedArgs::Values(const std::string& name) const {
  std::vector<std::string> values;
  for (const auto& [key, value] : options) {
    if (key == name) values.push_back(value);
  }
  return values;
}

ParsedArgs ParseArgs(const std::vector<std::string>& args, const std::vector<std::string>& known,
                     const std::vector<std::string>& flags,
                     const std::vector<std::string>& repeatable) {
  ParsedArgs parsed;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      const std::string name = a.substr(2);
      bool takesValue = false, isFlag = false;
      for (const auto& k : known) takesValue = takesValue || k == name;
      for (const auto& f : flags) isFlag = isFlag || f == name;
      if (!takesValue && !isFlag) {
        parsed.error = "unknown option " + a;
        return parsed;
      }
      if (takesValue && i + 1 >= args.size()) {
        parsed.error = "option " + a + " needs a value";
        return parsed;
      }
      bool repeats = false;
      for (const auto& r : repeatable) repeats = repeats || r == name;
      if (parsed.Option(name) && !repeats) {
        parsed.error = "option " + a + " given twice";
        return parsed;
      }
      parsed.options.emplace_back(name, takesValue ? args[++i] : std::string());
    } else {
      parsed.positional.push_back(a);
    }
  }
  return parsed;
}

}  // namespace winsim

int main(int argc, char** argv) {
  using namespace winsim;
  if (argc < 2) {
    PrintUsage(stderr);
    return kBadUsage;
  }
  const std::string name = argv[1];
  if (name == "help" || name == "--help" || name == "-h") {
    PrintUsage(stdout);
    return kOk;
  }
  const std::vector<std::string> args(argv + 2, argv + argc);
  for (const Command& c : AllCommands()) {
    if (name == c.name) return c.run(args);
  }
  std::fprintf(stderr, "winsim: unknown command '%s'\n\n", name.c_str());
  PrintUsage(stderr);
  return kBadUsage;
}
