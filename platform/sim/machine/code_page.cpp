#include "platform/sim/machine/code_page.h"

#include <cstdio>
#include <utility>

namespace sim {

namespace {

// Code points of 0x80..0x9F in code page 1252; the undefined ones map to themselves,
// as MultiByteToWideChar maps them.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

void EncodeUtf16Le(std::string_view ansi, char* out) {
  for (const char c : ansi) {
    const unsigned char b = static_cast<unsigned char>(c);
    const uint32_t u = b < 0x80 ? b : Cp1252ToUnicode(b);
    *out++ = static_cast<char>(u & 0xFF);
    *out++ = static_cast<char>(u >> 8);
  }
}

uint32_t Cp1252ToUnicode(unsigned char c) {
  return (c >= 0x80 && c < 0xA0) ? kCp1252High[c - 0x80] : c;
}

bool UnicodeToCp1252(uint32_t codePoint, char* out) {
  if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) {
    *out = static_cast<char>(codePoint);
    return true;
  }
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == codePoint) {
      *out = static_cast<char>(0x80 + i);
      return true;
    }
  }
  return false;
}

std::string AnsiToUtf16Le(std::string_view ansi) {
  std::string out(ansi.size() * 2, '\0');
  EncodeUtf16Le(ansi, &out[0]);
  return out;
}

bool Utf16LeToAnsi(std::string_view utf16, std::string* ansi, std::string* error) {
  if (utf16.size() % 2) {
    if (error) *error = "string data of odd length (UTF-16 takes two bytes a character)";
    return false;
  }
  std::string out;
  out.reserve(utf16.size() / 2);
  for (size_t i = 0; i < utf16.size(); i += 2) {
    const uint32_t u = static_cast<unsigned char>(utf16[i]) |
                       static_cast<uint32_t>(static_cast<unsigned char>(utf16[i + 1])) << 8;
    char c;
    if (!UnicodeToCp1252(u, &c)) {
      if (error) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(u));
        *error = std::string("character ") + hex + " has no code page 1252 form";
      }
      return false;
    }
    out.push_back(c);
  }
  *ansi = std::move(out);
  return true;
}

}  // namespace sim
