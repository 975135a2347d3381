// Commands on a machine's drives: ls.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/sim/machine/machine.h"
#include "platform/sim/storage/machine_folder.h"
#include "platform/sim/machine/path_resolution.h"
#include "platform/win32.h"
#include "tools/winsim/commands.h"

namespace winsim {

namespace {

// "RHSDA" as the attrib command shows them, '-' where one is not set.
std::string AttributeLetters(uint32_t attributes) {
  const struct {
    uint32_t bit;
    char letter;
  } kLetters[] = {{FILE_ATTRIBUTE_READONLY, 'R'},
                  {FILE_ATTRIBUTE_HIDDEN, 'H'},
                  {FILE_ATTRIBUTE_SYSTEM, 'S'},
                  {FILE_ATTRIBUTE_DIRECTORY, 'D'},
                  {FILE_ATTRIBUTE_ARCHIVE, 'A'}};
  std::string text;
  for (const auto& l : kLetters) text += (attributes & l.bit) ? l.letter : '-';
  return text;
}

std::string EntryLine(const sim::FsNode& node, const std::string& name) {
  char size[32];
  if (node.isDirectory) {
    std::snprintf(size, sizeof size, "%12s", "<DIR>");
  } else {
    std::snprintf(size, sizeof size, "%12zu", node.content.size());
  }
  return AttributeLetters(node.attributes) + " " + size + "  " + sim::Cp1252ToUtf8(name) + "\n";
}

// The path is looked up as it is stored: on a 64-bit Windows, System32 is the native
// folder and the 32-bit programs' files are in SysWOW64.
int Ls(const std::vector<std::string>& args) {
  const ParsedArgs parsed = ParseArgs(args, {});
  if (!parsed.error.empty()) return BadUsage("ls", parsed.error);
  if (parsed.positional.size() != 2) {
    return BadUsage("ls", "expected a machine folder and a Windows path");
  }
  const std::string& windowsPath = parsed.positional[1];
  std::string ansi, full, error;
  const bool hasDrive = windowsPath.size() >= 3 && windowsPath[1] == ':' &&
                        (windowsPath[2] == '\\' || windowsPath[2] == '/');
  if (!sim::Utf8ToCp1252(windowsPath, &ansi) || !hasDrive ||
      !sim::FullPathName(ansi, "C:\\", &full)) {
    return BadUsage("ls", "'" + windowsPath + "' is not a full Windows path (such as C:\\WINDOWS)");
  }
  std::unique_ptr<sim::Machine> machine = sim::LoadMachine(parsed.positional[0], &error);
  if (!machine) return Fail(error);
  // A trailing separator names the same folder.
  while (full.size() > 3 && full.back() == '\\') full.pop_back();
  const std::shared_ptr<sim::FsNode> node = machine->files.Find(full);
  if (!node) return Fail(sim::Cp1252ToUtf8(full) + ": no such file or folder on the machine");
  std::string text;
  if (!node->isDirectory) {
    text = EntryLine(*node, node->FullPath());
  } else {
    node->children.ForEach([&](const std::string& name, const std::shared_ptr<sim::FsNode>& child) {
      text += EntryLine(*child, name);
    });
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  return kOk;
}

}  // namespace

std::vector<Command> FileCommands() {
  return {
      {"ls", "DIR WINPATH", "list a folder's entries (attributes, size, name) or one file", Ls},
  };
}

}  // namespace winsim
