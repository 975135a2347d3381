#include "framework/resource_string.h"

std::string LoadResourceString(UINT id) {
  // A string table entry holds at most 65535 characters; the texts here are short, and
  // one that fills the buffer is read again with room to spare.
  for (int size = 256; size <= 65536; size *= 4) {
    std::string text(static_cast<size_t>(size), '\0');
    const int length = LoadStringA(GetModuleHandleA(nullptr), id, &text[0], size);
    if (length <= 0) return std::string();
    if (length < size - 1) {
      text.resize(static_cast<size_t>(length));
      return text;
    }
  }
  return std::string();
}
