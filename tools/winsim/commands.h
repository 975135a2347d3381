// The commands of winsim. Each command family lives in its own file and hands its
// commands to main through a function declared here.
#pragma once

#include <string>
#include <vector>

namespace winsim {

// Exit codes.
constexpr int kOk = 0;
constexpr int kFailed = 1;    // the command ran and failed (a machine that cannot load...)
constexpr int kBadUsage = 2;  // the command line itself is wrong

struct Command {
  const char* name;
  const char* arguments;  // shown after the name in the usage text
  const char* summary;
  // Arguments after the command name.
  int (*run)(const std::vector<std::string>& args);
};

std::vector<Command> MachineCommands();   // editions, new, create, show
std::vector<Command> RegistryCommands();  // import, reg
std::vector<Command> FileCommands();      // ls
std::vector<Command> RunCommands();       // run
std::vector<Command> DemoCommands();      // demo
std::vector<Command> PreviewCommands();   // preview
std::vector<Command> CheckCommands();     // check

// Messages on stderr, prefixed with "winsim: "; they return the exit code to use.
int Fail(const std::string& message);
int BadUsage(const char* commandName, const std::string& message);

// Splits "--name value" options off the positional arguments. Options listed in
// `known` take a value, those in `flags` stand alone; anything else starting with "--"
// is a usage error, and so is an option given twice unless it is `repeatable`.
struct ParsedArgs {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> options;  // a flag's value is empty
  std::string error;
  const std::string* Option(const std::string& name) const;
  bool Has(const std::string& name) const { return Option(name) != nullptr; }
  // Every value of a repeatable option, in command-line order.
  std::vector<std::string> Values(const std::string& name) const;
};
ParsedArgs ParseArgs(const std::vector<std::string>& args, const std::vector<std::string>& known,
                     const std::vector<std::string>& flags = {},
                     const std::vector<std::string>& repeatable = {});

}  // namespace winsim
