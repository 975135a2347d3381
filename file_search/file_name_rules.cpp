#include "file_search/file_name_rules.h"

#include <cstring>

namespace {

constexpr size_t kMaxNameLength = 255;

}  // namespace

const char* FileNameFault(const std::string& name) {
  if (name.empty()) return "it is empty";
  if (name.size() > kMaxNameLength) return "it is longer than 255 characters";
  if (name == "." || name == "..") return "it names a folder itself or the one above";
  for (unsigned char c : name) {
    if (c < 0x20) return "it holds a control character";
    if (std::strchr("\\/:*?\"<>|", c)) return "it holds one of \\ / : * ? \" < > |";
  }
  const char last = name.back();
  if (last == '.') return "it ends in a dot";
  if (last == ' ') return "it ends in a blank";
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
