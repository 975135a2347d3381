// The file-name rules on any name, against a reading of Windows' documented rules made
// here on its own: a name is refused exactly when it is empty, longer than 255, "." or
// "..", holds a control character (DEL and code page 1252's C1 bytes included) or one of
// \ / : * ? " < > |, ends in a dot or a blank, names a device (CON, PRN, AUX, NUL,
// COM1-9, LPT1-9 with the superscript digits, any case, before an extension or blanks)
// or is longer than 255 bytes in UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <regex>
#include <string>

#include "file_search/file_name_rules.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"

namespace {

void EnsureProcess() {
  static std::unique_ptr<sim::Machine> machine = [] {
    std::string error;
    auto made = sim::MachineFromEdition("xp", &error);
    if (!made) std::abort();
    return made;
  }();
  static sim::ProcessScope scope(*machine);
}

// The UTF-8 length of code page 1252's byte `c` from 0x80 to 0x9F (the euro sign and
// the typographic letters), or 0 for the five it leaves undefined (C1 controls then).
size_t Utf8Of1252High(unsigned char c) {
  static const unsigned char kLength[32] = {3, 0, 3, 2, 3, 3, 3, 3, 2, 3, 2, 3, 2, 0, 2, 0,
                                            0, 3, 3, 3, 3, 3, 3, 3, 2, 3, 2, 3, 2, 0, 2, 2};
  return kLength[c - 0x80];
}

bool Refused(const std::string& name) {
  if (name.empty() || name.size() > 255 || name == "." || name == "..") return true;
  size_t utf8 = 0;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) return true;
    if (c >= 0x80 && c <= 0x9F && Utf8Of1252High(c) == 0) return true;
    if (std::string("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string::npos) return true;
    utf8 += c < 0x80 ? 1 : c <= 0x9F ? Utf8Of1252High(c) : 2;
  }
  if (name.back() == '.' || name.back() == ' ') return true;
  static const std::regex device("(con|prn|aux|nul|(com|lpt)[1-9\\xB9\\xB2\\xB3]) *(\\..*)?",
                                 std::regex::icase);
  if (std::regex_match(name, device)) return true;
  return utf8 > 255;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EnsureProcess();
  const std::string name(reinterpret_cast<const char*>(data), size);
  const char* fault = FileNameFault(name);
  if ((fault != nullptr) != Refused(name)) {
    std::fprintf(stderr, "file_name_fuzz: \"%s\": the rules say %s, the reference %s\n",
                 name.c_str(), fault ? fault : "usable", Refused(name) ? "refused" : "usable");
    std::abort();
  }
  return 0;
}
