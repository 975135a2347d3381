// PathInfo on any text: the parts it splits out compose the path it was given (quotes
// dropped, slashes of the directory turned, the extension's dot and a trailing dot of
// the name's the only text lost), or, for a text that is no path that fits MAX_PATH,
// nothing at all: a found path must never come back as another file's path.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "file_search/path_info.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/win32.h"

namespace {

// The C run-time's part buffers hold 255 characters each.
constexpr size_t kLongestPart = 255;

[[noreturn]] void Fail(const std::string& what, const std::string& text) {
  std::fprintf(stderr, "path_info_fuzz: %s, for \"%s\"\n", what.c_str(), text.c_str());
  std::abort();
}

void Check(bool condition, const std::string& what, const std::string& text) {
  if (!condition) Fail(what, text);
}

// PathUnquoteSpacesA needs a running process.
void EnsureProcess() {
  static std::unique_ptr<sim::Machine> machine = [] {
    std::string error;
    auto made = sim::MachineFromEdition("xp", &error);
    if (!made) Fail("no xp machine: " + error, "");
    return made;
  }();
  static sim::ProcessScope scope(*machine);
}

bool HasSeparator(const std::string& s) { return s.find_first_of("\\/") != std::string::npos; }

bool NoParts(PathInfo& info) {
  return info.drive.empty() && info.directory.empty() && info.name.empty() &&
         info.extension.empty() && std::string(info.GetPathText()).empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EnsureProcess();
  const std::string text(reinterpret_cast<const char*>(data), size);
  PathInfo info(text);
  Check(info.sourceText == text, "the source text changed", text);

  if (text.size() > MAX_PATH - 1 || text.find('\0') != std::string::npos) {
    Check(NoParts(info), "a text that is no path that fits gave parts", text);
    return 0;
  }
  // Quotes around the whole text go; a lone quote counts as both of them.
  std::string path = text;
  if (!path.empty() && path.front() == '"' && path.back() == '"')
    path = path.size() == 1 ? "" : path.substr(1, path.size() - 2);

  const std::string drive = path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : "";
  const std::string rest = path.substr(drive.size());
  const size_t lastSeparator = rest.find_last_of("\\/");
  const size_t fileStart = lastSeparator == std::string::npos ? 0 : lastSeparator + 1;
  std::string directory = rest.substr(0, fileStart);
  for (char& c : directory)
    if (c == '/') c = '\\';
  const std::string file = rest.substr(fileStart);
  const size_t dot = file.rfind('.');
  const std::string name = file.substr(0, dot);
  const std::string extension = dot == std::string::npos ? "" : file.substr(dot + 1);

  if (directory.size() > kLongestPart || name.size() > kLongestPart ||
      file.size() - name.size() > kLongestPart) {
    // A part the run-time would cut: no part rather than a shortened path.
    Check(NoParts(info), "a part too long for the run-time gave parts", text);
    return 0;
  }
  Check(info.drive == drive, "wrong drive " + info.drive, text);
  Check(info.directory == directory, "wrong directory " + info.directory, text);
  Check(info.name == name, "wrong name " + info.name, text);
  Check(info.extension == (name.empty() ? "" : extension), "wrong extension " + info.extension,
        text);
  Check(!HasSeparator(info.name) && !HasSeparator(info.extension) &&
            info.extension.find('.') == std::string::npos,
        "a separator or dot in the name's parts", text);

  // What composes again: the path, with the directory's slashes turned; lost are the
  // extension of a name that is only an extension (".inf"), and a name's trailing dot.
  std::string expected = drive + directory;
  if (!name.empty()) expected += extension.empty() ? name : name + "." + extension;
  const std::string composed = info.GetPathText();
  Check(expected == composed, "composed \"" + composed + "\"", text);
  Check(expected == info.GetPathText(), "a second composition differs", text);
  Check(composed.size() <= MAX_PATH - 1, "a composed path beyond MAX_PATH", text);
  return 0;
}
