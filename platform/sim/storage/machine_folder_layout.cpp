#include "platform/sim/storage/machine_folder_layout.h"

namespace sim {
namespace folder_layout {

namespace {

// The end line, as the file's encoding writes it: UTF-16LE after a byte-order mark.
std::string Encoded(std::string_view ansi, bool utf16) {
  if (!utf16) return std::string(ansi);
  std::string out;
  for (char c : ansi) {
    out += c;
    out += '\0';
  }
  return out;
}

bool EndsWith(std::string_view bytes, std::string_view tail) {
  return bytes.size() >= tail.size() && bytes.substr(bytes.size() - tail.size()) == tail;
}

}  // namespace

bool IsUtf16(std::string_view bytes) {
  return bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
}

std::string EndLine(const char* lineEnd, bool utf16) {
  return Encoded(std::string(kMachineFileEndLine) + lineEnd, utf16);
}

void AddEndLine(std::string* bytes, const char* lineEnd) {
  *bytes += EndLine(lineEnd, IsUtf16(*bytes));
}

bool HasEndLine(std::string_view bytes, bool utf16) {
  for (const char* lineEnd : {"\r\n", "\n"}) {
    const std::string line = Encoded(std::string("\n") + kMachineFileEndLine + lineEnd, utf16);
    if (EndsWith(bytes, line)) return true;
  }
  return false;
}

}  // namespace folder_layout
}  // namespace sim
