// What the reader and the writer of registry files agree on: the first line, the value
// types whose data is text, and the characters written as themselves inside quotes.
#pragma once

#include <cstdint>
#include <string_view>

namespace sim {
namespace reg_file_format {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
// The registry editor's ANSI export (regedit /a), and the files of Windows 95 and NT 4.
constexpr std::string_view kAnsiHeader = "REGEDIT4";
constexpr uint32_t kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4, kRegMultiSz = 7;

inline bool IsStringType(uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// A character that regedit writes as itself inside quotes and reads back unchanged:
// no control characters, and none of the bytes code page 1252 leaves undefined.
inline bool IsPrintable(unsigned char c) {
  if (c < 0x20 || c == 0x7F) return false;
  return c != 0x81 && c != 0x8D && c != 0x8F && c != 0x90 && c != 0x9D;
}

}  // namespace reg_file_format
}  // namespace sim
