// A text file carried inside the binary (written at build time by embed_text.cmake).
#pragma once

#include <cstddef>

struct EmbeddedTextFile {
  const char* name;  // base name, as the script includes it; null ends a table
  const char* text;
  size_t size;
};
