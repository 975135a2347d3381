#include "platform/sim/ui/resource_script_tokens.h"

namespace sim {
namespace script_reader {

[[noreturn]] void Throw(const Location& at, const std::string& what) {
  throw ScriptError{(at.file ? *at.file : std::string("?")) + ":" + std::to_string(at.line) + ": " +
                    what};
}

std::string Unescape(const Token& token) {
  const std::string& raw = token.text;
  std::string out;
  for (size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '"') {  // the lexer lets only doubled quotes through
      out.push_back('"');
      ++i;
      continue;
    }
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (++i >= raw.size()) Throw(token.at, "a text ends in a lone backslash");
    char e = raw[i];
    uint32_t code = 0;
    switch (e) {
      case 'n':
        out.push_back('\n');
        continue;
      case 't':
        out.push_back('\t');
        continue;
      case 'r':
        out.push_back('\r');
        continue;
      case 'a':
        out.push_back('\b');
        continue;
      case '\\':
        out.push_back('\\');
        continue;
      case '"':
        Throw(token.at, "write a quote inside a text as \"\", not \\\"");
      case 'x':
      case 'X': {
        int digits = 0;
        while (digits < 2 && i + 1 < raw.size() &&
               std::isxdigit(static_cast<unsigned char>(raw[i + 1]))) {
          char h = raw[++i];
          code = code * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(h))
                                                       ? h - '0'
                                                       : std::tolower(h) - 'a' + 10);
          ++digits;
        }
        if (digits == 0) Throw(token.at, "\\x without hex digits");
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          code = static_cast<uint32_t>(e - '0');
          for (int digits = 1;
               digits < 3 && i + 1 < raw.size() && raw[i + 1] >= '0' && raw[i + 1] <= '7';
               ++digits) {
            code = code * 8 + static_cast<uint32_t>(raw[++i] - '0');
          }
          if (code > 0xFF) Throw(token.at, "octal escape above \\377");
          break;
        }
        Throw(token.at, std::string("unknown escape \\") + e);
    }
    if (code == 0) Throw(token.at, "a NUL character inside a text");
    out.push_back(static_cast<char>(code));
  }
  return out;
}

}  // namespace script_reader
}  // namespace sim
