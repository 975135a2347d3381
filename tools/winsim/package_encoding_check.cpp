// How the ports INF is encoded and laid out, named rather than guessed at: a UTF-16
// file, which the installer reads as 8-bit text; names written in UTF-8, which it reads
// as code page 1252; lines ended by CR alone, which the device installer does not end.
#include <algorithm>
#include <string>

#include "platform/sim/storage/machine_folder.h"
#include "tools/winsim/package_check.h"

namespace winsim {

namespace {

// Every second byte of the first ones zero: UTF-16 text of the Latin letters an INF
// begins with. `first` is the parity of the zero bytes (1 little-endian, 0 big-endian).
bool ZeroEverySecondByte(const std::string& bytes, size_t from, size_t first) {
  const size_t end = std::min(bytes.size(), from + 64);
  if (end - from < 8) return false;
  for (size_t i = from; i < end; ++i) {
    const bool zero = bytes[i] == '\0';
    if (zero != ((i - from) % 2 == first)) return false;
  }
  return true;
}

}  // namespace

std::string Utf16Form(const std::string& bytes) {
  if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0) {
    return "UTF-16 (little-endian, with a byte order mark)";
  }
  if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFE\xFF") == 0) {
    return "UTF-16 (big-endian, with a byte order mark)";
  }
  if (ZeroEverySecondByte(bytes, 0, 1)) return "UTF-16 (little-endian, without a byte order mark)";
  if (ZeroEverySecondByte(bytes, 0, 0)) return "UTF-16 (big-endian, without a byte order mark)";
  return std::string();
}

bool LineEndsAreCrAlone(const std::string& bytes) {
  return bytes.find('\r') != std::string::npos && bytes.find('\n') == std::string::npos;
}

void CheckLineEnds(const std::string& bytes, const std::string& file, PackageCheck* check) {
  if (!LineEndsAreCrAlone(bytes)) return;
  check->Add(file, 0, Severity::kError,
             "its lines end in CR alone, without a line feed (lines are counted at each CR "
             "here): the device installer ends an INF line only at a line feed (CR LF or LF), "
             "so it reads the whole file as its first line and finds no section; save it with "
             "CR LF line ends");
}

void CheckUtf8Values(const std::string& file, PackageCheck* check) {
  for (const ReadValue& r : check->read) {
    if (r.defaulted || r.finding >= 0) continue;
    bool high = false;
    for (unsigned char c : r.value) high = high || c >= 0x80;
    std::string meant;
    if (!high || !sim::Utf8ToCp1252(r.value, &meant)) continue;
    // The texts of a finding are code page 1252: `meant` shows as written, the value as
    // the installer takes its bytes.
    check->Add(file, r.line, Severity::kWarning,
               "the value of " + r.key + " is written in UTF-8: " + ShownText(meant) +
                   " is read as code page 1252, " + ShownText(r.value) +
                   ", and so it stands in the program folder, the registry keys and the "
                   "Uninstall entry; save the file as code page 1252 (ANSI)");
  }
}

}  // namespace winsim
