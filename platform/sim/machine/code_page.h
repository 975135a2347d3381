// The simulated Windows' ANSI code page, 1252, and the UTF-16LE form in which Windows
// stores strings: what MultiByteToWideChar converts, what the device installer writes
// into a PNF file and what registry files hold for string values written as hex.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

// Code page 1252 <-> Unicode, byte for byte. The five bytes 1252 leaves undefined map
// to U+0081.. as MultiByteToWideChar does, so every byte has a code point.
uint32_t Cp1252ToUnicode(unsigned char c);
bool UnicodeToCp1252(uint32_t codePoint, char* out);

// ANSI bytes <-> the UTF-16LE bytes Windows stores for a string value.
std::string AnsiToUtf16Le(std::string_view ansi);
bool Utf16LeToAnsi(std::string_view utf16, std::string* ansi, std::string* error);

// AnsiToUtf16Le into room the caller has: two bytes a character at `out`.
void EncodeUtf16Le(std::string_view ansi, char* out);

}  // namespace sim
