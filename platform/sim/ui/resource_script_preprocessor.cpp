// The first pass of the resource-script reader: the preprocessing lexer.
#include <cctype>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/ui/resource_script_tokens.h"

namespace sim {
namespace script_reader {

namespace {

class Preprocessor {
 public:
  explicit Preprocessor(const ResourceIncludeReader& readInclude) : readInclude_(readInclude) {}

  void Run(std::string_view text, const std::string& fileName) { LexFile(text, fileName, 0); }
  std::vector<Token> TakeTokens() { return std::move(tokens_); }

 private:
  struct Conditional {
    bool active;        // this branch's lines are read
    bool parentActive;  // the enclosing branch's lines are read
    bool seenElse;
    Location at;
  };

  bool Active() const { return conditionals_.empty() || conditionals_.back().active; }

  // Lexes `text` from `pos` to the end of the current line (or of the text) into tokens;
  // comments are dropped, a /* comment may run across lines (the line count follows).
  // Returns the position after the line's end.
  size_t LexLine(std::string_view text, size_t pos, Location& at, std::vector<Token>* out) {
    while (pos < text.size()) {
      char c = text[pos];
      if (c == '\n') return pos + 1;
      if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
        ++pos;
        continue;
      }
      if (c == '/' && pos + 1 < text.size() && text[pos + 1] == '/') {
        while (pos < text.size() && text[pos] != '\n') ++pos;
        continue;
      }
      if (c == '/' && pos + 1 < text.size() && text[pos + 1] == '*') {
        Location start = at;
        pos += 2;
        while (pos + 1 < text.size() && !(text[pos] == '*' && text[pos + 1] == '/')) {
          if (text[pos] == '\n') ++at.line;
          ++pos;
        }
        if (pos + 1 >= text.size()) Throw(start, "comment not closed");
        pos += 2;
        continue;
      }
      Token token;
      token.at = at;
      if (c == '"') {
        token.kind = Token::kString;
        ++pos;
        for (;;) {
          if (pos >= text.size() || text[pos] == '\n') Throw(token.at, "text not closed");
          if (text[pos] == '"') {
            if (pos + 1 < text.size() && text[pos + 1] == '"') {
              token.text += "\"\"";
              pos += 2;
              continue;
            }
            ++pos;
            break;
          }
          if (text[pos] == '\\' && pos + 1 < text.size() && text[pos + 1] != '\n') {
            token.text.push_back(text[pos++]);
          }
          token.text.push_back(text[pos++]);
        }
      } else if (std::isdigit(static_cast<unsigned char>(c))) {
        token.kind = Token::kNumber;
        size_t begin = pos;
        while (pos < text.size() && IsNameChar(text[pos])) ++pos;
        token.text = std::string(text.substr(begin, pos - begin));
        token.number = ParseNumber(token);
      } else if (IsNameStart(c)) {
        token.kind = Token::kName;
        size_t begin = pos;
        while (pos < text.size() && IsNameChar(text[pos])) ++pos;
        token.text = std::string(text.substr(begin, pos - begin));
      } else if (std::string("{}(),|&+-*/~").find(c) != std::string::npos) {
        token.kind = Token::kPunct;
        token.text = std::string(1, c);
        ++pos;
      } else {
        Throw(at, std::string("unexpected character '") + c + "'");
      }
      out->push_back(std::move(token));
    }
    return pos;
  }

  static uint32_t ParseNumber(const Token& token) {
    std::string digits = token.text;
    while (!digits.empty() && (digits.back() == 'L' || digits.back() == 'l' ||
                               digits.back() == 'U' || digits.back() == 'u')) {
      digits.pop_back();
    }
    int base = 10;
    size_t start = 0;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
      base = 16;
      start = 2;
    }
    if (start >= digits.size()) Throw(token.at, "bad number " + token.text);
    uint64_t value = 0;
    for (size_t i = start; i < digits.size(); ++i) {
      unsigned char d = static_cast<unsigned char>(digits[i]);
      int v;
      if (std::isdigit(d)) {
        v = d - '0';
      } else if (base == 16 && std::isxdigit(d)) {
        v = std::tolower(d) - 'a' + 10;
      } else {
        Throw(token.at, "bad number " + token.text);
      }
      value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(v);
      if (value > 0xFFFFFFFFull) Throw(token.at, "number " + token.text + " exceeds 32 bits");
    }
    return static_cast<uint32_t>(value);
  }

  // Appends `token`, or what its defined name stands for, to the output.
  void Emit(const Token& token, std::vector<std::string>* expanding) {
    if (token.kind == Token::kName) {
      auto macro = macros_.find(token.text);
      if (macro != macros_.end()) {
        for (const std::string& name : *expanding) {
          if (name == token.text) Throw(token.at, "name " + token.text + " refers to itself");
        }
        expanding->push_back(token.text);
        for (Token body : macro->second) {
          body.at = token.at;  // messages point at the use
          Emit(body, expanding);
        }
        expanding->pop_back();
        return;
      }
    }
    tokens_.push_back(token);
  }

  void Directive(std::vector<Token>& words, const Location& at, int depth) {
    if (words.empty()) Throw(at, "empty # line");
    const std::string& name = words[0].text;
    auto need = [&](size_t count) {
      if (words.size() < count || words[1].kind != Token::kName) {
        Throw(at, "#" + name + " needs a name");
      }
    };
    if (name == "ifdef" || name == "ifndef") {
      need(2);
      bool defined = macros_.count(words[1].text) != 0;
      bool active = Active() && (name == "ifdef" ? defined : !defined);
      conditionals_.push_back({active, Active(), false, at});
      return;
    }
    if (name == "else") {
      if (conditionals_.empty() || conditionals_.back().seenElse) Throw(at, "#else without #if");
      Conditional& c = conditionals_.back();
      c.active = c.parentActive && !c.active;
      c.seenElse = true;
      return;
    }
    if (name == "endif") {
      if (conditionals_.empty()) Throw(at, "#endif without #if");
      conditionals_.pop_back();
      return;
    }
    if (!Active()) return;
    if (name == "define") {
      need(2);
      std::vector<Token> body(words.begin() + 2, words.end());
      macros_[words[1].text] = std::move(body);
      return;
    }
    if (name == "undef") {
      need(2);
      macros_.erase(words[1].text);
      return;
    }
    if (name == "pragma") {
      if (words.size() >= 2 && words[1].text == "code_page") return;
      Throw(at, "#pragma other than code_page");
    }
    if (name == "include") {
      if (words.size() == 2 && words[1].kind == Token::kString) {
        std::string file = words[1].text;
        if (IsSystemHeader(file)) return;
        std::optional<std::string> text = readInclude_(file);
        if (!text) Throw(at, "cannot open include file \"" + file + "\"");
        if (depth >= 16) Throw(at, "includes nested too deep");
        LexFile(*text, file, depth + 1);
        return;
      }
      Throw(at, "#include needs \"file\" or <file>");
    }
    Throw(at, "#" + name + " is not supported here");
  }

  void LexFile(std::string_view text, const std::string& fileName, int depth) {
    Location at{std::make_shared<const std::string>(fileName), 1};
    size_t conditionalsAtStart = conditionals_.size();
    size_t pos = 0;
    while (pos < text.size()) {
      // Find the line's first non-blank character, to spot a # line.
      size_t first = pos;
      while (first < text.size() && (text[first] == ' ' || text[first] == '\t')) ++first;
      if (first < text.size() && text[first] == '#') {
        Location lineAt = at;
        // <file> is not a token: a system include is taken apart here.
        size_t end = text.find('\n', first);
        std::string_view line =
            text.substr(first + 1, (end == std::string_view::npos ? text.size() : end) - first - 1);
        size_t word = line.find_first_not_of(" \t");
        if (word != std::string_view::npos && line.substr(word, 7) == "include") {
          size_t open = line.find_first_not_of(" \t", word + 7);
          if (open != std::string_view::npos && line[open] == '<') {
            size_t close = line.find('>', open);
            if (close == std::string_view::npos) Throw(lineAt, "#include <file> not closed");
            std::string header(line.substr(open + 1, close - open - 1));
            if (Active() && !IsSystemHeader(header)) {
              Throw(lineAt, "unknown system header <" + header + ">");
            }
            pos = end == std::string_view::npos ? text.size() : end + 1;
            ++at.line;
            continue;
          }
        }
        std::vector<Token> words;
        pos = LexLine(text, first + 1, at, &words);
        Directive(words, lineAt, depth);
        ++at.line;
        continue;
      }
      std::vector<Token> lineTokens;
      pos = LexLine(text, pos, at, &lineTokens);
      if (Active()) {
        std::vector<std::string> expanding;
        for (const Token& t : lineTokens) Emit(t, &expanding);
      }
      ++at.line;
    }
    if (conditionals_.size() != conditionalsAtStart) {
      Throw(conditionals_.back().at, "#if" + std::string(" without #endif"));
    }
  }

  const ResourceIncludeReader& readInclude_;
  std::map<std::string, std::vector<Token>> macros_;
  std::vector<Conditional> conditionals_;
  std::vector<Token> tokens_;
};

}  // namespace

std::vector<Token> Preprocess(std::string_view text, const std::string& fileName,
                              const ResourceIncludeReader& readInclude) {
  Preprocessor pre(readInclude);
  pre.Run(text, fileName);
  return pre.TakeTokens();
}

}  // namespace script_reader
}  // namespace sim
