#include "installer/ports_inf.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "framework/app_services.h"
#include "installer/win32_helpers.h"

namespace {

constexpr DWORD kMaxInfBytes = kPortsInfReadLimit;
constexpr size_t kMaxNameLength = 255;
constexpr char kWhiteSpace[] = " \t\n\v\f\r";

std::string Strip(const std::string& s) {
  const size_t first = s.find_first_not_of(kWhiteSpace);
  if (first == std::string::npos) return std::string();
  const size_t last = s.find_last_not_of(kWhiteSpace);
  return s.substr(first, last - first + 1);
}

std::string Without(std::string s, char c) {
  std::string out;
  for (char x : s)
    if (x != c) out += x;
  return out;
}

long Position(const std::string& text, const std::string& what) {
  const size_t at = text.find(what);
  return at == std::string::npos ? -1 : static_cast<long>(at);
}

}  // namespace

bool ReadPortsInf(std::string* text) {
  text->clear();
  std::string folder;
  if (!CurrentFolder(&folder)) {
    ShowMessage("GetCurrentDirectory failed!");
    folder.clear();
  }
  const std::string path = folder + "\\Sabrelune.inf";
  // A path that does not fit the buffer is never opened cut short: it counts as a
  // file that cannot be opened.
  ScopedFile file(FitsMaxPath(path) ? CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr,
                                                  OPEN_EXISTING, 0, nullptr)
                                    : INVALID_HANDLE_VALUE);
  if (!file.valid()) {
    ShowMessage("CreateFile failed");
    return false;
  }
  std::vector<char> buffer(kMaxInfBytes);
  DWORD read = 0;
  if (!ReadFile(file.get(), buffer.data(), kMaxInfBytes, &read, nullptr)) read = 0;
  if (read > kMaxInfBytes) read = kMaxInfBytes;
  *text = PortsInfText(std::string(buffer.data(), read));
  return true;
}

std::string PortsInfText(const std::string& fileBytes) {
  const std::string read = fileBytes.substr(0, kPortsInfReadLimit);
  return read.substr(0, read.find('\0'));
}

// k and e are the first positions of K and E (-1 when missing); the value is the
// substring at k + length(K) + 1 of e - k - length(K) - 1 characters, clamped to the
// text, without double quotes and surrounding white space. The + 1 passes over the
// character after the equals sign: the opening quote in a well-formed file.
ValueCut CutValueAt(const std::string& text, const std::string& key, const std::string& endKey) {
  ValueCut cut;
  cut.keyAt = Position(text, key);
  cut.endAt = Position(text, endKey);
  const long keyLength = static_cast<long>(key.size());
  long first = cut.keyAt + keyLength + 1;
  long count = cut.endAt - cut.keyAt - keyLength - 1;
  if (first < 0) first = 0;
  if (count < 0) count = 0;
  const long size = static_cast<long>(text.size());
  if (first > size) {
    cut.first = size;
    return cut;
  }
  if (count > size - first) count = size - first;
  cut.first = first;
  cut.count = count;
  cut.value = Strip(Without(text.substr(first, count), '"'));
  return cut;
}

std::string CutValue(const std::string& text, const std::string& key, const std::string& endKey) {
  return CutValueAt(text, key, endKey).value;
}

bool FindSupportedIdWindow(const std::string& text, const std::string& name,
                           SupportedIdWindow* found) {
  const size_t at = text.find(name);
  if (at == std::string::npos) return false;
  found->nameAt = at;
  found->windowAt = std::min(at + name.size() + kSupportedIdWindowOffset, text.size());
  found->window = text.substr(found->windowAt, kSupportedIdWindowLength);
  found->id = Strip(Without(found->window, ','));
  found->defaulted = found->id.empty();
  if (found->defaulted) found->id = kDefaultSupportedId;
  return true;
}

bool FindSupportedId(const std::string& text, const std::string& name, std::string* id) {
  SupportedIdWindow found;
  if (!FindSupportedIdWindow(text, name, &found)) return false;
  *id = found.id;
  return true;
}

namespace {

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
