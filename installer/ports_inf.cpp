#include "installer/ports_inf.h"

#include <vector>

#include "framework/app_services.h"
#include "installer/win32_helpers.h"

namespace {

constexpr DWORD kMaxInfBytes = 20000;
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
  size_t length = 0;
  while (length < read && buffer[length] != '\0') ++length;
  text->assign(buffer.data(), length);
  return true;
}

// k and e are the first positions of K and E (-1 when missing); the value is the
// substring at k + length(K) + 1 of e - k - length(K) - 1 characters, clamped to the
// text, without double quotes and surrounding white space. The + 1 passes over the
// character after the equals sign: the opening quote in a well-formed file.
std::string CutValue(const std::string& text, const std::string& key, const std::string& endKey) {
  const long k = Position(text, key);
  const long e = Position(text, endKey);
  const long keyLength = static_cast<long>(key.size());
  long first = k + keyLength + 1;
  long count = e - k - keyLength - 1;
  if (first < 0) first = 0;
  if (count < 0) count = 0;
  const long size = static_cast<long>(text.size());
  if (first > size) return std::string();
  if (count > size - first) count = size - first;
  return Strip(Without(text.substr(first, count), '"'));
}

bool FindSupportedId(const std::string& text, const std::string& name, std::string* id) {
  const size_t at = text.find(name);
  if (at == std::string::npos) return false;
  const size_t first = at + name.size() + 3;
  const std::string window = first < text.size() ? text.substr(first, 17) : std::string();
  *id = Strip(Without(window, ','));
  if (id->empty()) *id = "VEN_6A3C&DEV_5E17";
  return true;
}

bool IsSafeFileName(const std::string& name) {
  if (name.empty() || name.size() > kMaxNameLength || name == "." || name == "..") return false;
  for (unsigned char c : name) {
    if (c < 0x20) return false;
    for (const char* bad = "\\/:*?\"<>|"; *bad; ++bad)
      if (c == static_cast<unsigned char>(*bad)) return false;
  }
  const char last = name.back();
  return last != '.' && last != ' ';
}

bool IsSafeKeyName(const std::string& name) {
  return !name.empty() && name.size() <= kMaxNameLength && name.find('\\') == std::string::npos;
}
