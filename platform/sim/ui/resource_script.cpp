// The reader works in two passes. The first lexes the script and its included headers into
// one token list, obeying the preprocessor lines and replacing defined names by their
// values; every token keeps the file and line it came from, for messages. The second
// walks the tokens statement by statement. Errors are thrown inside as ScriptError and
// turned into the false/message result at the boundary, so a refused script leaves no
// partial set behind.
#include "platform/sim/ui/resource_script.h"

#include <cctype>
#include <cstdint>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace sim {
namespace {

// ---- SDK names -------------------------------------------------------------------------

const std::map<std::string, uint32_t>& KnownNames() {
  static const std::map<std::string, uint32_t> names = {
      // window styles
      {"WS_OVERLAPPED", 0x00000000},
      {"WS_TILED", 0x00000000},
      {"WS_POPUP", 0x80000000},
      {"WS_CHILD", 0x40000000},
      {"WS_CHILDWINDOW", 0x40000000},
      {"WS_MINIMIZE", 0x20000000},
      {"WS_ICONIC", 0x20000000},
      {"WS_VISIBLE", 0x10000000},
      {"WS_DISABLED", 0x08000000},
      {"WS_CLIPSIBLINGS", 0x04000000},
      {"WS_CLIPCHILDREN", 0x02000000},
      {"WS_MAXIMIZE", 0x01000000},
      {"WS_CAPTION", 0x00C00000},
      {"WS_BORDER", 0x00800000},
      {"WS_DLGFRAME", 0x00400000},
      {"WS_VSCROLL", 0x00200000},
      {"WS_HSCROLL", 0x00100000},
      {"WS_SYSMENU", 0x00080000},
      {"WS_THICKFRAME", 0x00040000},
      {"WS_SIZEBOX", 0x00040000},
      {"WS_GROUP", 0x00020000},
      {"WS_TABSTOP", 0x00010000},
      {"WS_MINIMIZEBOX", 0x00020000},
      {"WS_MAXIMIZEBOX", 0x00010000},
      {"WS_OVERLAPPEDWINDOW", 0x00CF0000},
      {"WS_TILEDWINDOW", 0x00CF0000},
      {"WS_POPUPWINDOW", 0x80880000},
      // extended window styles
      {"WS_EX_DLGMODALFRAME", 0x00000001},
      {"WS_EX_NOPARENTNOTIFY", 0x00000004},
      {"WS_EX_TOPMOST", 0x00000008},
      {"WS_EX_ACCEPTFILES", 0x00000010},
      {"WS_EX_TRANSPARENT", 0x00000020},
      {"WS_EX_MDICHILD", 0x00000040},
      {"WS_EX_TOOLWINDOW", 0x00000080},
      {"WS_EX_WINDOWEDGE", 0x00000100},
      {"WS_EX_CLIENTEDGE", 0x00000200},
      {"WS_EX_CONTEXTHELP", 0x00000400},
      {"WS_EX_RIGHT", 0x00001000},
      {"WS_EX_LEFT", 0x00000000},
      {"WS_EX_RTLREADING", 0x00002000},
      {"WS_EX_LTRREADING", 0x00000000},
      {"WS_EX_LEFTSCROLLBAR", 0x00004000},
      {"WS_EX_RIGHTSCROLLBAR", 0x00000000},
      {"WS_EX_CONTROLPARENT", 0x00010000},
      {"WS_EX_STATICEDGE", 0x00020000},
      {"WS_EX_APPWINDOW", 0x00040000},
      {"WS_EX_OVERLAPPEDWINDOW", 0x00000300},
      {"WS_EX_PALETTEWINDOW", 0x00000188},
      // dialog styles
      {"DS_ABSALIGN", 0x0001},
      {"DS_SYSMODAL", 0x0002},
      {"DS_3DLOOK", 0x0004},
      {"DS_FIXEDSYS", 0x0008},
      {"DS_NOFAILCREATE", 0x0010},
      {"DS_LOCALEDIT", 0x0020},
      {"DS_SETFONT", 0x0040},
      {"DS_MODALFRAME", 0x0080},
      {"DS_NOIDLEMSG", 0x0100},
      {"DS_SETFOREGROUND", 0x0200},
      {"DS_CONTROL", 0x0400},
      {"DS_CENTER", 0x0800},
      {"DS_CENTERMOUSE", 0x1000},
      {"DS_CONTEXTHELP", 0x2000},
      {"DS_SHELLFONT", 0x0048},
      // button styles
      {"BS_PUSHBUTTON", 0x0000},
      {"BS_DEFPUSHBUTTON", 0x0001},
      {"BS_CHECKBOX", 0x0002},
      {"BS_AUTOCHECKBOX", 0x0003},
      {"BS_RADIOBUTTON", 0x0004},
      {"BS_3STATE", 0x0005},
      {"BS_AUTO3STATE", 0x0006},
      {"BS_GROUPBOX", 0x0007},
      {"BS_USERBUTTON", 0x0008},
      {"BS_AUTORADIOBUTTON", 0x0009},
      {"BS_OWNERDRAW", 0x000B},
      {"BS_LEFTTEXT", 0x0020},
      {"BS_RIGHTBUTTON", 0x0020},
      {"BS_TEXT", 0x0000},
      {"BS_ICON", 0x0040},
      {"BS_BITMAP", 0x0080},
      {"BS_LEFT", 0x0100},
      {"BS_RIGHT", 0x0200},
      {"BS_CENTER", 0x0300},
      {"BS_TOP", 0x0400},
      {"BS_BOTTOM", 0x0800},
      {"BS_VCENTER", 0x0C00},
      {"BS_PUSHLIKE", 0x1000},
      {"BS_MULTILINE", 0x2000},
      {"BS_NOTIFY", 0x4000},
      {"BS_FLAT", 0x8000},
      // static styles
      {"SS_LEFT", 0x0000},
      {"SS_CENTER", 0x0001},
      {"SS_RIGHT", 0x0002},
      {"SS_ICON", 0x0003},
      {"SS_BLACKRECT", 0x0004},
      {"SS_GRAYRECT", 0x0005},
      {"SS_WHITERECT", 0x0006},
      {"SS_BLACKFRAME", 0x0007},
      {"SS_GRAYFRAME", 0x0008},
      {"SS_WHITEFRAME", 0x0009},
      {"SS_USERITEM", 0x000A},
      {"SS_SIMPLE", 0x000B},
      {"SS_LEFTNOWORDWRAP", 0x000C},
      {"SS_OWNERDRAW", 0x000D},
      {"SS_BITMAP", 0x000E},
      {"SS_ENHMETAFILE", 0x000F},
      {"SS_ETCHEDHORZ", 0x0010},
      {"SS_ETCHEDVERT", 0x0011},
      {"SS_ETCHEDFRAME", 0x0012},
      {"SS_TYPEMASK", 0x001F},
      {"SS_REALSIZECONTROL", 0x0040},
      {"SS_NOPREFIX", 0x0080},
      {"SS_NOTIFY", 0x0100},
      {"SS_CENTERIMAGE", 0x0200},
      {"SS_RIGHTJUST", 0x0400},
      {"SS_REALSIZEIMAGE", 0x0800},
      {"SS_SUNKEN", 0x1000},
      {"SS_EDITCONTROL", 0x2000},
      {"SS_ENDELLIPSIS", 0x4000},
      {"SS_PATHELLIPSIS", 0x8000},
      {"SS_WORDELLIPSIS", 0xC000},
      {"SS_ELLIPSISMASK", 0xC000},
      // edit styles
      {"ES_LEFT", 0x0000},
      {"ES_CENTER", 0x0001},
      {"ES_RIGHT", 0x0002},
      {"ES_MULTILINE", 0x0004},
      {"ES_UPPERCASE", 0x0008},
      {"ES_LOWERCASE", 0x0010},
      {"ES_PASSWORD", 0x0020},
      {"ES_AUTOVSCROLL", 0x0040},
      {"ES_AUTOHSCROLL", 0x0080},
      {"ES_NOHIDESEL", 0x0100},
      {"ES_OEMCONVERT", 0x0400},
      {"ES_READONLY", 0x0800},
      {"ES_WANTRETURN", 0x1000},
      {"ES_NUMBER", 0x2000},
      // progress bar styles
      {"PBS_SMOOTH", 0x01},
      {"PBS_VERTICAL", 0x04},
      // dialog box command ids
      {"IDOK", 1},
      {"IDCANCEL", 2},
      {"IDABORT", 3},
      {"IDRETRY", 4},
      {"IDIGNORE", 5},
      {"IDYES", 6},
      {"IDNO", 7},
      {"IDCLOSE", 8},
      {"IDHELP", 9},
      // languages
      {"LANG_NEUTRAL", 0x00},
      {"LANG_ENGLISH", 0x09},
      {"SUBLANG_NEUTRAL", 0x00},
      {"SUBLANG_DEFAULT", 0x01},
      {"SUBLANG_SYS_DEFAULT", 0x02},
      {"SUBLANG_ENGLISH_US", 0x01},
      {"SUBLANG_ENGLISH_UK", 0x02},
      // resource types and ids
      {"RT_MANIFEST", 24},
      {"CREATEPROCESS_MANIFEST_RESOURCE_ID", 1},
      {"VS_VERSION_INFO", 1},
  };
  return names;
}

// The SDK headers a script may include; their names are the known names above.
bool IsSystemHeader(const std::string& name) {
  static const std::set<std::string> headers = {"windows.h",  "winresrc.h", "winres.h", "winuser.h",
                                                "commctrl.h", "winver.h",   "afxres.h"};
  std::string lower;
  for (char c : name)
    lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return headers.count(lower) != 0;
}

// ---- errors and tokens -----------------------------------------------------------------

struct Location {
  std::shared_ptr<const std::string> file;
  int line = 0;
};

struct ScriptError {
  std::string message;
};

[[noreturn]] void Throw(const Location& at, const std::string& what) {
  throw ScriptError{(at.file ? *at.file : std::string("?")) + ":" + std::to_string(at.line) + ": " +
                    what};
}

struct Token {
  enum Kind { kName, kNumber, kString, kPunct } kind = kPunct;
  std::string text;     // the name, the punctuation, or the string's raw body (unescaped)
  uint32_t number = 0;  // kNumber
  Location at;
};

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Turns the escapes of a quoted text into characters: "" is a quote; \n \t \r \\ and \a
// (which the resource compiler reads as a backspace); octal \ooo and hex \xhh. A NUL is
// refused: the compiled template would end the text there.
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

// ---- the preprocessing lexer -----------------------------------------------------------

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

// ---- the statement parser --------------------------------------------------------------

// The classes Windows registers for dialogs, as a template names them whatever the case.
std::string CanonicalClassName(const std::string& name) {
  static const char* const kStandard[] = {"Button",  "Edit",      "Static",
                                          "ListBox", "ScrollBar", "ComboBox"};
  for (const char* standard : kStandard) {
    std::string s = standard;
    if (s.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < s.size() && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(s[i])) ==
             std::tolower(static_cast<unsigned char>(name[i]));
    }
    if (same) return s;
  }
  return name;
}

constexpr uint32_t kWsPopup = 0x80000000;
constexpr uint32_t kWsChild = 0x40000000;
constexpr uint32_t kWsVisible = 0x10000000;
constexpr uint32_t kWsCaption = 0x00C00000;
constexpr uint32_t kWsBorder = 0x00800000;
constexpr uint32_t kWsSysMenu = 0x00080000;
constexpr uint32_t kWsGroup = 0x00020000;
constexpr uint32_t kWsTabStop = 0x00010000;
constexpr uint32_t kDsSetFont = 0x40;

class Parser {
 public:
  Parser(std::vector<Token> tokens, Location end) : tokens_(std::move(tokens)), end_(end) {}

  ResourceSet Parse() {
    ResourceSet set;
    while (!AtEnd()) Statement(set);
    return set;
  }

 private:
  bool AtEnd() const { return pos_ >= tokens_.size(); }
  const Location& Here() const { return AtEnd() ? end_ : tokens_[pos_].at; }
  const Token& Peek() const {
    if (AtEnd()) Throw(end_, "unexpected end of script");
    return tokens_[pos_];
  }
  const Token& Next() {
    const Token& t = Peek();
    ++pos_;
    return t;
  }
  bool PeekIs(const char* text) const {
    return !AtEnd() && tokens_[pos_].kind != Token::kString && tokens_[pos_].text == text;
  }
  bool Accept(const char* text) {
    if (!PeekIs(text)) return false;
    ++pos_;
    return true;
  }
  void Expect(const char* text) {
    if (!Accept(text)) Throw(Here(), std::string("expected '") + text + "'" + Found());
  }
  std::string Found() const {
    if (AtEnd()) return ", found the end of the script";
    const Token& t = tokens_[pos_];
    return t.kind == Token::kString ? ", found a text" : ", found '" + t.text + "'";
  }
  bool AcceptBegin() { return Accept("BEGIN") || Accept("{"); }
  bool AcceptEnd() { return Accept("END") || Accept("}"); }
  void ExpectBegin() {
    if (!AcceptBegin()) Throw(Here(), "expected BEGIN" + Found());
  }
  std::string ExpectString() {
    if (AtEnd() || Peek().kind != Token::kString) Throw(Here(), "expected a text" + Found());
    // Adjacent texts are one text, as the compiler joins them.
    std::string text = Unescape(Next());
    while (!AtEnd() && Peek().kind == Token::kString) text += Unescape(Next());
    return text;
  }

  // Numeric expressions: | lowest, then &, then + -, then * /, then unary - ~ and ( ).
  uint32_t Primary() {
    const Token& t = Next();
    if (t.kind == Token::kNumber) return t.number;
    if (t.kind == Token::kName) {
      const auto& names = KnownNames();
      auto known = names.find(t.text);
      if (known != names.end()) return known->second;
      Throw(t.at, "unknown name " + t.text);
    }
    if (t.text == "(") {
      uint32_t v = Expression();
      Expect(")");
      return v;
    }
    if (t.text == "-") return 0u - Primary();
    if (t.text == "+") return Primary();
    if (t.text == "~") return ~Primary();
    Throw(t.at, t.kind == Token::kString ? "expected a number, found a text"
                                         : "expected a number, found '" + t.text + "'");
  }
  uint32_t Term() {
    uint32_t v = Primary();
    for (;;) {
      if (Accept("*")) {
        v *= Primary();
      } else if (PeekIs("/")) {
        Location at = Here();
        ++pos_;
        uint32_t d = Primary();
        if (d == 0) Throw(at, "division by zero");
        v = static_cast<uint32_t>(static_cast<int32_t>(v) / static_cast<int32_t>(d));
      } else {
        return v;
      }
    }
  }
  uint32_t Sum() {
    uint32_t v = Term();
    for (;;) {
      if (Accept("+")) {
        v += Term();
      } else if (Accept("-")) {
        v -= Term();
      } else {
        return v;
      }
    }
  }
  uint32_t And() {
    uint32_t v = Sum();
    while (Accept("&")) v &= Sum();
    return v;
  }
  uint32_t Expression() {
    uint32_t v = And();
    while (Accept("|")) v |= And();
    return v;
  }
  int SignedExpression() { return static_cast<int32_t>(Expression()); }
  // A coordinate or size: a 16-bit signed field of the template.
  int Coordinate() {
    Location at = Here();
    int v = SignedExpression();
    if (v < -32768 || v > 32767) Throw(at, "value " + std::to_string(v) + " exceeds 16 bits");
    return v;
  }
  // A resource or string id: 16 bits without sign.
  int ResourceId(const char* what) {
    Location at = Here();
    if (!AtEnd() && Peek().kind == Token::kName && !KnownNames().count(Peek().text)) {
      Throw(at, std::string(what) + " " + Peek().text + " is not a defined number");
    }
    uint32_t v = Expression();
    if (v > 0xFFFF) Throw(at, std::string(what) + " " + std::to_string(v) + " exceeds 16 bits");
    return static_cast<int>(v);
  }

  // A style list: terms joined by |, each ORed into `value`, or with NOT taken out of it.
  uint32_t Style(uint32_t value) {
    do {
      if (Accept("NOT")) {
        value &= ~And();
      } else {
        value |= And();
      }
    } while (Accept("|"));
    return value;
  }

  void SkipLanguage() {
    Expression();
    Expect(",");
    Expression();
  }

  void SkipMemoryOptions() {
    static const std::set<std::string> options = {"DISCARDABLE", "MOVEABLE", "FIXED",
                                                  "PURE",        "IMPURE",   "PRELOAD",
                                                  "LOADONCALL",  "SHARED",   "NONSHARED"};
    while (!AtEnd() && Peek().kind == Token::kName && options.count(Peek().text)) ++pos_;
  }

  // Skips a BEGIN ... END block with what it nests (version information).
  void SkipBlock() {
    Location at = Here();
    ExpectBegin();
    int depth = 1;
    while (depth > 0) {
      if (AtEnd()) Throw(at, "BEGIN without END");
      if (AcceptBegin()) {
        ++depth;
      } else if (AcceptEnd()) {
        --depth;
      } else {
        ++pos_;
      }
    }
  }

  void Statement(ResourceSet& set) {
    const Token& first = Peek();
    if (first.kind == Token::kName && first.text == "LANGUAGE") {
      ++pos_;
      SkipLanguage();
      return;
    }
    if (first.kind == Token::kName && first.text == "STRINGTABLE") {
      ++pos_;
      StringTable(set);
      return;
    }
    Location at = first.at;
    int id = ResourceId("resource name");
    if (AtEnd()) Throw(at, "resource " + std::to_string(id) + " has no type");
    const Token& type = Peek();
    if (type.kind == Token::kName && (type.text == "DIALOG" || type.text == "DIALOGEX")) {
      ++pos_;
      if (set.dialogs.count(id)) Throw(at, "dialog " + std::to_string(id) + " defined twice");
      set.dialogs[id] = Dialog(id, type.text == "DIALOGEX");
      return;
    }
    if (type.kind == Token::kName && type.text == "ICON") {
      ++pos_;
      SkipMemoryOptions();
      ExpectString();
      if (!set.icons.insert(id).second) Throw(at, "icon " + std::to_string(id) + " defined twice");
      return;
    }
    if (type.kind == Token::kName && type.text == "VERSIONINFO") {
      ++pos_;
      // The fixed part (FILEVERSION 1,0,0,1 ...) runs up to the block.
      while (!AtEnd() && !PeekIs("BEGIN") && !PeekIs("{")) ++pos_;
      SkipBlock();
      return;
    }
    if (type.kind == Token::kNumber ||
        (type.kind == Token::kName && KnownNames().count(type.text))) {
      Location typeAt = type.at;
      uint32_t typeId = Expression();
      if (typeId != 24) {
        Throw(typeAt, "resource type " + std::to_string(typeId) + " is not supported here");
      }
      SkipMemoryOptions();
      ExpectString();  // the manifest's file name
      return;
    }
    Throw(type.at, type.kind == Token::kString
                       ? "expected a resource type, found a text"
                       : "resource type " + type.text + " is not supported here");
  }

  void StringTable(ResourceSet& set) {
    SkipMemoryOptions();
    while (PeekIs("LANGUAGE") || PeekIs("CHARACTERISTICS") || PeekIs("VERSION")) {
      if (Next().text == "LANGUAGE") {
        SkipLanguage();
      } else {
        Expression();
      }
    }
    ExpectBegin();
    while (!AcceptEnd()) {
      Location at = Here();
      int id = ResourceId("string id");
      Accept(",");
      std::string text = ExpectString();
      if (!set.strings.emplace(static_cast<unsigned>(id), text).second) {
        Throw(at, "string " + std::to_string(id) + " defined twice");
      }
    }
  }

  DialogTemplate Dialog(int id, bool extended) {
    DialogTemplate d;
    d.id = id;
    d.extended = extended;
    SkipMemoryOptions();
    d.x = Coordinate();
    Expect(",");
    d.y = Coordinate();
    Expect(",");
    d.cx = Coordinate();
    Expect(",");
    d.cy = Coordinate();
    if (PeekIs(",")) Throw(Here(), "a dialog's help id is not supported here");
    // Without STYLE a dialog is a bordered popup with a system menu; STYLE replaces that,
    // and CAPTION and FONT add their bits wherever they stand.
    d.style = kWsPopup | kWsBorder | kWsSysMenu;
    bool hasCaption = false, hasFont = false;
    for (;;) {
      if (AtEnd()) Throw(Here(), "dialog " + std::to_string(id) + " has no BEGIN");
      const Token& t = Peek();
      if (t.kind != Token::kName || t.text == "BEGIN") break;
      ++pos_;
      if (t.text == "STYLE") {
        d.style = Style(0);
      } else if (t.text == "EXSTYLE") {
        d.exStyle = Style(0);
      } else if (t.text == "CAPTION") {
        d.caption = ExpectString();
        hasCaption = true;
      } else if (t.text == "FONT") {
        Location fontAt = t.at;
        uint32_t size = Expression();
        if (size > 0xFFFF) Throw(fontAt, "font size exceeds 16 bits");
        d.fontPointSize = static_cast<int>(size);
        Expect(",");
        d.fontName = ExpectString();
        d.fontCharset = extended ? 1 : 0;  // DEFAULT_CHARSET unless the statement says
        if (extended && Accept(",")) {
          d.fontWeight = static_cast<int>(Expression() & 0xFFFF);
          Expect(",");
          d.fontItalic = (Expression() & 0xFF) != 0;
          Expect(",");
          d.fontCharset = static_cast<int>(Expression() & 0xFF);
        }
        hasFont = true;
      } else if (t.text == "LANGUAGE") {
        SkipLanguage();
      } else if (t.text == "CHARACTERISTICS" || t.text == "VERSION") {
        Expression();
      } else {
        Throw(t.at, t.text + " is not supported in a dialog here");
      }
    }
    if (hasCaption) d.style |= kWsCaption;
    if (hasFont) d.style |= kDsSetFont;
    ExpectBegin();
    while (!AcceptEnd()) d.controls.push_back(Control());
    return d;
  }

  // The text of a control line: a quoted text, or for ICON and CONTROL a number that names
  // a resource ("#128").
  std::string ControlText(bool numberAllowed) {
    if (!AtEnd() && Peek().kind == Token::kString) return ExpectString();
    if (!numberAllowed) Throw(Here(), "expected a text" + Found());
    return "#" + std::to_string(ResourceId("resource"));
  }

  int ControlId() {
    Location at = Here();
    int v = SignedExpression();
    if (v < -32768 || v > 65535) Throw(at, "control id " + std::to_string(v) + " exceeds 16 bits");
    return v > 32767 ? v - 65536 : v;  // 0xFFFF is IDC_STATIC, -1
  }

  void Rect(ControlTemplate& c) {
    c.x = Coordinate();
    Expect(",");
    c.y = Coordinate();
    Expect(",");
    c.cx = Coordinate();
    Expect(",");
    c.cy = Coordinate();
  }

  void NoHelpId() {
    if (PeekIs(",")) Throw(Here(), "a control's help id is not supported here");
  }

  ControlTemplate Control() {
    const Token& keyword = Next();
    if (keyword.kind != Token::kName)
      Throw(keyword.at,
            "expected a control statement" + std::string(keyword.kind == Token::kString
                                                             ? ", found a text"
                                                             : ", found '" + keyword.text + "'"));
    const std::string& k = keyword.text;
    ControlTemplate c;
    uint32_t base = kWsChild | kWsVisible;
    if (k == "CONTROL") {
      c.text = ControlText(true);
      Expect(",");
      c.id = ControlId();
      Expect(",");
      if (!AtEnd() && Peek().kind == Token::kString) {
        c.className = CanonicalClassName(ExpectString());
      } else {
        Throw(Here(), "expected the control's class name as a text" + Found());
      }
      Expect(",");
      c.style = Style(base);
      Expect(",");
      Rect(c);
      if (Accept(",")) c.exStyle = Style(0);
      NoHelpId();
      return c;
    }
    struct Kind {
      const char* keyword;
      const char* className;
      uint32_t style;
    };
    static const Kind kinds[] = {
        {"PUSHBUTTON", "Button", kWsTabStop | 0x0},     // BS_PUSHBUTTON
        {"DEFPUSHBUTTON", "Button", kWsTabStop | 0x1},  // BS_DEFPUSHBUTTON
        {"LTEXT", "Static", kWsGroup | 0x0},            // SS_LEFT
        {"CTEXT", "Static", kWsGroup | 0x1},            // SS_CENTER
        {"RTEXT", "Static", kWsGroup | 0x2},            // SS_RIGHT
        {"GROUPBOX", "Button", 0x7},                    // BS_GROUPBOX
        {"ICON", "Static", 0x3},                        // SS_ICON
    };
    const Kind* kind = nullptr;
    for (const Kind& candidate : kinds) {
      if (k == candidate.keyword) kind = &candidate;
    }
    if (!kind) Throw(keyword.at, k + " is not a supported control statement");
    c.className = kind->className;
    bool isIcon = k == "ICON";
    c.text = ControlText(isIcon);
    Expect(",");
    c.id = ControlId();
    Expect(",");
    c.style = base | kind->style;
    if (isIcon) {
      // The compiler keeps an icon's place but not its size: the icon sizes the control.
      c.x = Coordinate();
      Expect(",");
      c.y = Coordinate();
      if (Accept(",")) {
        Coordinate();
        Expect(",");
        Coordinate();
        if (Accept(",")) {
          c.style = Style(c.style);
          if (Accept(",")) c.exStyle = Style(0);
        }
      }
      NoHelpId();
      return c;
    }
    Rect(c);
    if (Accept(",")) {
      c.style = Style(c.style);
      if (Accept(",")) c.exStyle = Style(0);
    }
    NoHelpId();
    return c;
  }

  std::vector<Token> tokens_;
  Location end_;
  size_t pos_ = 0;
};

}  // namespace

bool ParseResourceScript(std::string_view text, std::string_view fileName,
                         const ResourceIncludeReader& readInclude, ResourceSet* out,
                         std::string* error) {
  try {
    Preprocessor pre(readInclude);
    std::string name(fileName);
    pre.Run(text, name);
    int lines = 1;
    for (char c : text) lines += c == '\n';
    Location end{std::make_shared<const std::string>(name), lines};
    Parser parser(pre.TakeTokens(), end);
    *out = parser.Parse();
    return true;
  } catch (const ScriptError& e) {
    *error = e.message;
    return false;
  }
}

bool ParseResourceScriptFile(const std::string& path, ResourceSet* out, std::string* error) {
  auto read = [](const std::string& file) -> std::optional<std::string> {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  };
  std::optional<std::string> text = read(path);
  if (!text) {
    *error = path + ": cannot read";
    return false;
  }
  size_t slash = path.find_last_of('/');
  std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  ResourceIncludeReader readInclude = [&](const std::string& name) {
    if (name.empty() || name[0] == '/' || name.find("..") != std::string::npos) {
      return std::optional<std::string>();  // only files beside the script
    }
    return read(folder + name);
  };
  return ParseResourceScript(*text, path, readInclude, out, error);
}

const std::map<std::string, uint32_t>& ResourceScriptKnownNames() { return KnownNames(); }

}  // namespace sim
