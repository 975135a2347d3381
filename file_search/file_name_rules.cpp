#include "file_search/file_name_rules.h"

#include <cstring>
#include <vector>

#include "platform/win32.h"

namespace {

constexpr size_t kMaxNameLength = 255;

// The name as Windows keeps it: UTF-16 converted from the ANSI code page.
std::vector<WCHAR> WideForm(const std::string& name) {
  const int size = static_cast<int>(name.size());
  const int n = size ? MultiByteToWideChar(CP_ACP, 0, name.data(), size, nullptr, 0) : 0;
  std::vector<WCHAR> wide(n > 0 ? static_cast<size_t>(n) : 0);
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, name.data(), size, wide.data(), n);
  return wide;
}

// C0 controls, DEL and the C1 controls (code page 1252 maps its five undefined bytes
// there): a registry file cannot write them in the customer's key name.
bool HoldsControlCharacter(const std::vector<WCHAR>& wide) {
  for (WCHAR c : wide) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
  }
  return false;
}

// Bytes of the UTF-8 form: hosts that keep file names in UTF-8 (Wine's on Linux, the
// simulator's machine folders) hold at most 255 of them in one name.
size_t Utf8Length(const std::vector<WCHAR>& wide) {
  size_t bytes = 0;
  for (WCHAR c : wide) {
    const bool surrogate = c >= 0xD800 && c <= 0xDFFF;  // each half of a pair: 2 of 4 bytes
    bytes += c < 0x80 ? 1 : (c < 0x800 || surrogate) ? 2 : 3;
  }
  return bytes;
}

// Windows opens a device, not a file or folder, for CON, PRN, AUX, NUL, COM1 to COM9 and
// LPT1 to LPT9 in any letter case, also followed by an extension or by blanks (the
// documented file-naming rules; the digits include the code page's superscripts 1, 2
// and 3, which Windows takes as digits there).
bool NamesDevice(const std::string& name) {
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (base.size() == 3) {
    for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
      if (_stricmp(base.c_str(), device) == 0) return true;
    }
    return false;
  }
  if (base.size() != 4) return false;
  const unsigned char digit = static_cast<unsigned char>(base[3]);
  const bool isDigit =
      (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  return isDigit &&
         (_strnicmp(base.c_str(), "COM", 3) == 0 || _strnicmp(base.c_str(), "LPT", 3) == 0);
}

}  // namespace

const char* FileNameFault(const std::string& name) {
  if (name.empty()) return "it is empty";
  if (name.size() > kMaxNameLength) return "it is longer than 255 characters";
  if (name == "." || name == "..") return "it names a folder itself or the one above";
  const std::vector<WCHAR> wide = WideForm(name);
  if (HoldsControlCharacter(wide)) return "it holds a control character";
  for (unsigned char c : name) {
    if (std::strchr("\\/:*?\"<>|", c)) return "it holds one of \\ / : * ? \" < > |";
  }
  const char last = name.back();
  if (last == '.') return "it ends in a dot";
  if (last == ' ') return "it ends in a blank";
  if (NamesDevice(name)) {
    return "it names a device on Windows (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, "
           "also with an extension), not a file or folder";
  }
  if (Utf8Length(wide) > kMaxNameLength) {
    return "its UTF-8 form, in which Wine's and the simulator's hosts keep file names, is "
           "longer than 255 bytes";
  }
  return nullptr;
}

bool IsSafeFileName(const std::string& name) { return FileNameFault(name) == nullptr; }

const char* KeyNameFault(const std::string& name) {
  if (name.empty()) return "it is empty";
  if (name.size() > kMaxNameLength) return "it is longer than 255 characters";
  if (name.find('\\') != std::string::npos) return "it holds a backslash";
  return nullptr;
}

bool IsSafeKeyName(const std::string& name) { return KeyNameFault(name) == nullptr; }
