// Host names: the host keeps file names in UTF-8; the simulated Windows sees code page
// 1252.
#include <string>
#include <string_view>

#include "platform/sim/storage/machine_folder.h"
#include "platform/sim/storage/reg_file.h"

namespace sim {

std::string Cp1252ToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char ch : ansi) {
    const uint32_t u = Cp1252ToUnicode(static_cast<unsigned char>(ch));
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

bool Utf8ToCp1252(std::string_view utf8, std::string* ansi) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char b = static_cast<unsigned char>(utf8[i]);
    uint32_t u;
    size_t len;
    if (b < 0x80) {
      u = b;
      len = 1;
    } else if ((b & 0xE0) == 0xC0) {
      u = b & 0x1F;
      len = 2;
    } else if ((b & 0xF0) == 0xE0) {
      u = b & 0x0F;
      len = 3;
    } else {
      return false;  // four-byte forms lie outside code page 1252 anyway
    }
    if (i + len > utf8.size()) return false;
    for (size_t k = 1; k < len; ++k) {
      const unsigned char c = static_cast<unsigned char>(utf8[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      u = (u << 6) | (c & 0x3F);
    }
    const uint32_t shortest = len == 1 ? 0 : len == 2 ? 0x80 : 0x800;
    if (u < shortest) return false;  // overlong
    char c;
    if (!UnicodeToCp1252(u, &c)) return false;
    out += c;
    i += len;
  }
  *ansi = std::move(out);
  return true;
}

}  // namespace sim
