// The reader works in two passes. The first lexes the script and its included headers into
// one token list, obeying the preprocessor lines and replacing defined names by their
// values; every token keeps the file and line it came from, for messages. The second
// walks the tokens statement by statement. Errors are thrown inside as ScriptError and
// turned into the false/message result at the boundary, so a refused script leaves no
// partial set behind.
//
// This file is the second pass; the first is resource_script_preprocessor.cpp, the names a
// script may use without defining them are resource_script_names.cpp, and what the passes
// share is resource_script_tokens.h.
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

#include "platform/sim/ui/resource_script_tokens.h"

namespace sim {

using namespace script_reader;

namespace {

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
      const auto& names = ResourceScriptKnownNames();
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
    if (!AtEnd() && Peek().kind == Token::kName && !ResourceScriptKnownNames().count(Peek().text)) {
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
        (type.kind == Token::kName && ResourceScriptKnownNames().count(type.text))) {
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
    std::string name(fileName);
    std::vector<Token> tokens = Preprocess(text, name, readInclude);
    int lines = 1;
    for (char c : text) lines += c == '\n';
    Location end{std::make_shared<const std::string>(name), lines};
    Parser parser(std::move(tokens), end);
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

}  // namespace sim
