// What the two passes of the resource-script reader share (resource_script.cpp describes
// them): tokens with the file and line they came from, the error a refusal throws inside,
// and the pieces each pass takes from the other files.
#pragma once

#include <cctype>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/ui/resource_script.h"

namespace sim {
namespace script_reader {

struct Location {
  std::shared_ptr<const std::string> file;
  int line = 0;
};

struct ScriptError {
  std::string message;
};

[[noreturn]] void Throw(const Location& at, const std::string& what);

struct Token {
  enum Kind { kName, kNumber, kString, kPunct } kind = kPunct;
  std::string text;     // the name, the punctuation, or the string's raw body (unescaped)
  uint32_t number = 0;  // kNumber
  Location at;
};

inline bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
inline bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Turns the escapes of a quoted text into characters: "" is a quote; \n \t \r \\ and \a
// (which the resource compiler reads as a backspace); octal \ooo and hex \xhh. A NUL is
// refused: the compiled template would end the text there.
std::string Unescape(const Token& token);

// The SDK headers a script may include; their names are ResourceScriptKnownNames().
bool IsSystemHeader(const std::string& name);

// The first pass: the script and its included headers as one token list, the
// preprocessor lines obeyed and defined names replaced by their values.
std::vector<Token> Preprocess(std::string_view text, const std::string& fileName,
                              const ResourceIncludeReader& readInclude);

}  // namespace script_reader
}  // namespace sim
