// The simulator's reading of resource scripts: the styles each statement implies, NOT,
// dialog styles, texts and their escapes, the preprocessor subset, what is passed over,
// and refusals with file and line. The expected styles are what windres writes for the
// same lines (measured with tools/resdump).
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/sim/ui/resource_script.h"
#include "platform/win32.h"

namespace {

using Files = std::map<std::string, std::string>;

bool Parse(const std::string& script, sim::ResourceSet* set, std::string* error,
           const Files& headers = {}) {
  sim::ResourceIncludeReader reader = [&headers](const std::string& name) {
    auto f = headers.find(name);
    return f == headers.end() ? std::optional<std::string>() : f->second;
  };
  return sim::ParseResourceScript(script, "t.rc", reader, set, error);
}

// One dialog around the given control lines.
std::string DialogWith(const std::string& controls) {
  return "1 DIALOGEX 0, 0, 100, 50\nBEGIN\n" + controls + "\nEND\n";
}

sim::ControlTemplate OnlyControl(const std::string& line) {
  sim::ResourceSet set;
  std::string error;
  EXPECT_TRUE(Parse(DialogWith(line), &set, &error)) << error;
  if (set.dialogs.count(1) == 0 || set.dialogs[1].controls.size() != 1) return {};
  return set.dialogs[1].controls[0];
}

constexpr uint32_t kChild = WS_CHILD | WS_VISIBLE;

TEST(SimResourceScript, EachControlStatementHasItsClassAndDefaultStyle) {
  struct Case {
    const char* line;
    const char* className;
    uint32_t style;
    int cx, cy;
  } cases[] = {
      {"PUSHBUTTON \"a\", 5, 1, 2, 3, 4", "Button", kChild | WS_TABSTOP | BS_PUSHBUTTON, 3, 4},
      {"DEFPUSHBUTTON \"a\", 5, 1, 2, 3, 4", "Button", kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 3,
       4},
      {"LTEXT \"a\", 5, 1, 2, 3, 4", "Static", kChild | WS_GROUP | SS_LEFT, 3, 4},
      {"CTEXT \"a\", 5, 1, 2, 3, 4", "Static", kChild | WS_GROUP | SS_CENTER, 3, 4},
      {"RTEXT \"a\", 5, 1, 2, 3, 4", "Static", kChild | WS_GROUP | SS_RIGHT, 3, 4},
      {"GROUPBOX \"a\", 5, 1, 2, 3, 4", "Button", kChild | BS_GROUPBOX, 3, 4},
      // An icon keeps its place, not its size; with or without one given.
      {"ICON 7, 5, 1, 2", "Static", kChild | SS_ICON, 0, 0},
      {"ICON 7, 5, 1, 2, 20, 20", "Static", kChild | SS_ICON, 0, 0},
      {"ICON 7, 5, 1, 2, 20, 20, SS_CENTERIMAGE", "Static", kChild | SS_ICON | SS_CENTERIMAGE, 0,
       0},
      // CONTROL adds only WS_CHILD | WS_VISIBLE; standard class names take one spelling.
      {"CONTROL \"a\", 5, \"button\", BS_AUTOCHECKBOX, 1, 2, 3, 4", "Button",
       kChild | BS_AUTOCHECKBOX, 3, 4},
      {"CONTROL \"a\", 5, \"STATIC\", SS_LEFT, 1, 2, 3, 4", "Static", kChild, 3, 4},
      {"CONTROL \"\", 5, \"msctls_progress32\", WS_BORDER, 1, 2, 3, 4", "msctls_progress32",
       kChild | WS_BORDER, 3, 4},
      // Style lists: added to the defaults, NOT takes a default away.
      {"PUSHBUTTON \"a\", 5, 1, 2, 3, 4, WS_GROUP", "Button",
       kChild | WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 3, 4},
      {"PUSHBUTTON \"a\", 5, 1, 2, 3, 4, NOT WS_TABSTOP", "Button", kChild, 3, 4},
      {"PUSHBUTTON \"a\", 5, 1, 2, 3, 4, NOT WS_VISIBLE | WS_DISABLED", "Button",
       WS_CHILD | WS_DISABLED | WS_TABSTOP, 3, 4},
      {"LTEXT \"a\", 5, 1, 2, 3, 4, NOT WS_GROUP", "Static", kChild, 3, 4},
      {"CONTROL \"a\", 5, \"Static\", SS_LEFT | NOT WS_VISIBLE, 1, 2, 3, 4", "Static", WS_CHILD, 3,
       4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    sim::ControlTemplate control = OnlyControl(c.line);
    EXPECT_EQ(control.className, c.className);
    EXPECT_EQ(control.style, c.style) << std::hex << control.style;
    EXPECT_EQ(control.id, 5);
    EXPECT_EQ(control.x, 1);
    EXPECT_EQ(control.y, 2);
    EXPECT_EQ(control.cx, c.cx);
    EXPECT_EQ(control.cy, c.cy);
    EXPECT_EQ(control.exStyle, 0u);
  }
}

TEST(SimResourceScript, ControlTextsIdsAndExtendedStyles) {
  EXPECT_EQ(OnlyControl("ICON 128, -1, 1, 2").text, "#128");
  EXPECT_EQ(OnlyControl("ICON \"APP\", -1, 1, 2").text, "APP");
  EXPECT_EQ(OnlyControl("CONTROL 128, -1, \"Static\", SS_ICON, 1, 2, 3, 4").text, "#128");
  EXPECT_EQ(OnlyControl("LTEXT \"a\", -1, 1, 2, 3, 4").id, -1);
  EXPECT_EQ(OnlyControl("LTEXT \"a\", 65535, 1, 2, 3, 4").id, -1);  // the same 16 bits
  EXPECT_EQ(OnlyControl("LTEXT \"a\", (1000 + 2), 1, 2, 3, 4").id, 1002);
  EXPECT_EQ(OnlyControl("LTEXT \"a\", 5, 1, 2, 3, 4, 0, WS_EX_CLIENTEDGE").exStyle,
            static_cast<uint32_t>(WS_EX_CLIENTEDGE));
  EXPECT_EQ(OnlyControl("CONTROL \"a\", 5, \"Edit\", 0, 1, 2, 3, 4, WS_EX_STATICEDGE").exStyle,
            static_cast<uint32_t>(WS_EX_STATICEDGE));
  sim::ControlTemplate negative = OnlyControl("LTEXT \"a\", 5, -4, 2*3, 3|4, 0x10 - 1");
  EXPECT_EQ(negative.x, -4);
  EXPECT_EQ(negative.y, 6);
  EXPECT_EQ(negative.cx, 7);
  EXPECT_EQ(negative.cy, 15);
}

TEST(SimResourceScript, DialogStyleStatements) {
  struct Case {
    const char* head;  // the lines between the DIALOGEX line and BEGIN
    uint32_t style;
  } cases[] = {
      {"", WS_POPUP | WS_BORDER | WS_SYSMENU},
      {"CAPTION \"c\"", WS_POPUP | WS_BORDER | WS_SYSMENU | WS_CAPTION},
      {"FONT 8, \"MS Sans Serif\"", WS_POPUP | WS_BORDER | WS_SYSMENU | DS_SETFONT},
      // STYLE replaces the default; CAPTION and FONT add their bits wherever they stand.
      {"STYLE DS_MODALFRAME | WS_POPUP", DS_MODALFRAME | WS_POPUP},
      {"CAPTION \"c\"\nSTYLE DS_MODALFRAME | WS_POPUP", DS_MODALFRAME | WS_POPUP | WS_CAPTION},
      {"FONT 8, \"x\"\nSTYLE WS_POPUP", WS_POPUP | DS_SETFONT},
      {"STYLE NOT WS_SYSMENU", 0},
      {"STYLE WS_POPUP | NOT WS_VISIBLE | WS_VISIBLE", WS_POPUP | WS_VISIBLE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.head);
    sim::ResourceSet set;
    std::string error;
    ASSERT_TRUE(
        Parse(std::string("1 DIALOGEX 0, 0, 1, 2\n") + c.head + "\nBEGIN\nEND\n", &set, &error))
        << error;
    EXPECT_EQ(set.dialogs[1].style, c.style) << std::hex << set.dialogs[1].style;
  }
}

TEST(SimResourceScript, DialogFontsAndHeader) {
  sim::ResourceSet set;
  std::string error;
  ASSERT_TRUE(Parse(
      "1 DIALOGEX DISCARDABLE 5, 6, 7, 8\nEXSTYLE WS_EX_APPWINDOW\nFONT 8, \"MS Sans Serif\"\n"
      "BEGIN\nEND\n"
      "2 DIALOGEX 0, 0, 1, 1\nFONT 9, \"Tahoma\", 700, 1, 0\nBEGIN\nEND\n"
      "3 DIALOG 0, 0, 1, 1\nFONT 8, \"MS Sans Serif\"\nBEGIN\nEND\n",
      &set, &error))
      << error;
  const sim::DialogTemplate& d = set.dialogs[1];
  EXPECT_TRUE(d.extended);
  EXPECT_EQ(d.x, 5);
  EXPECT_EQ(d.y, 6);
  EXPECT_EQ(d.cx, 7);
  EXPECT_EQ(d.cy, 8);
  EXPECT_EQ(d.exStyle, static_cast<uint32_t>(WS_EX_APPWINDOW));
  EXPECT_EQ(d.fontCharset, 1);  // DEFAULT_CHARSET when DIALOGEX's FONT does not say
  EXPECT_EQ(set.dialogs[2].fontName, "Tahoma");
  EXPECT_EQ(set.dialogs[2].fontPointSize, 9);
  EXPECT_EQ(set.dialogs[2].fontWeight, 700);
  EXPECT_TRUE(set.dialogs[2].fontItalic);
  EXPECT_EQ(set.dialogs[2].fontCharset, 0);
  EXPECT_FALSE(set.dialogs[3].extended);
  EXPECT_EQ(set.dialogs[3].fontCharset, 0);
}

TEST(SimResourceScript, TextEscapes) {
  struct Case {
    const char* literal;  // as written in the script
    std::string text;
  } cases[] = {
      {R"("plain")", "plain"},
      {R"("say ""hi""")", "say \"hi\""},
      {R"("a\nb\tc\\d\re")", "a\nb\tc\\d\re"},
      {R"("\a")", "\b"},  // the resource compiler's \a is a backspace
      {R"("\101\x42")", "AB"},
      {R"("joined " "texts")", "joined texts"},
      {R"("")", ""},
      {R"("trailing blank ")", "trailing blank "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.literal);
    sim::ResourceSet set;
    std::string error;
    ASSERT_TRUE(
        Parse(std::string("STRINGTABLE\nBEGIN\n  7, ") + c.literal + "\nEND\n", &set, &error))
        << error;
    EXPECT_EQ(set.strings[7], c.text);
  }
}

TEST(SimResourceScript, PreprocessorAndPassedOverStatements) {
  const Files headers = {
      {"ids.h",
       "// ids\n#define IDD_MAIN 102\n#define IDC_STATIC (-1)\n#include \"more.h\"\n"
       "#ifndef IDS_FIRST\n#define IDS_FIRST 101\n#endif\n"},
      {"more.h", "/* nested */\n#define IDC_BAR (IDC_BASE + 2)\n#define IDC_BASE 1000\n"},
  };
  const std::string script =
      "#include <windows.h>\n"
      "#include <commctrl.h>\n"
      "#include \"ids.h\"\n"
      "#pragma code_page(1252)\n"
      "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\n"
      "#ifdef NOT_DEFINED\n"
      "this line is not read\n"
      "#ifndef NOT_DEFINED\n#else\nnor this one as its branch is inside one not read\n#endif\n"
      "#else\n"
      "128 ICON \"card.ico\"\n"
      "#endif\n"
      "/* a comment\n over lines */ IDD_MAIN DIALOGEX 0, 0, 10, 10\n"
      "BEGIN\n"
      "  CONTROL \"\", IDC_BAR, \"msctls_progress32\", PBS_SMOOTH, 1, 2, 3, 4 // bar\n"
      "  LTEXT \"x\", IDC_STATIC, 1, 2, 3, 4\n"
      "END\n"
      "VS_VERSION_INFO VERSIONINFO\n FILEVERSION 1,0,0,1\n FILEFLAGSMASK 0x3fL\n"
      "BEGIN\n BLOCK \"StringFileInfo\"\n BEGIN\n  BLOCK \"040904b0\"\n  BEGIN\n"
      "   VALUE \"FileVersion\", \"1.0\\0\"\n  END\n END\nEND\n"
      "CREATEPROCESS_MANIFEST_RESOURCE_ID RT_MANIFEST \"app.manifest\"\n"
      "STRINGTABLE DISCARDABLE\n{\n  IDS_FIRST \"first\"\n}\n";
  sim::ResourceSet set;
  std::string error;
  ASSERT_TRUE(Parse(script, &set, &error, headers)) << error;
  ASSERT_EQ(set.dialogs.count(102), 1u);
  ASSERT_EQ(set.dialogs[102].controls.size(), 2u);
  EXPECT_EQ(set.dialogs[102].controls[0].id, 1002);  // defined after its use in a define
  EXPECT_EQ(set.dialogs[102].controls[0].style, kChild | PBS_SMOOTH);
  EXPECT_EQ(set.dialogs[102].controls[1].id, -1);
  EXPECT_EQ(set.icons, std::set<int>{128});
  EXPECT_EQ(set.strings, (std::map<unsigned, std::string>{{101, "first"}}));
  EXPECT_EQ(set.dialogs.size(), 1u);
}

// Each refusal names the file and line, and leaves the caller's set as it was.
TEST(SimResourceScript, RefusesWithFileAndLine) {
  const Files headers = {{"bad.h", "#define A 1\n/* not closed\n"}, {"ok.h", "#define B 2\n"}};
  struct Case {
    const char* script;
    const char* error;
  } cases[] = {
      {"1 DIALOGEX 0, 0, 1, 1\nSTYLE WS_BOGUS\nBEGIN\nEND\n", "t.rc:2: unknown name WS_BOGUS"},
      {"STRINGTABLE\nBEGIN\n  1 \"open\nEND\n", "t.rc:3: text not closed"},
      {"STRINGTABLE\nBEGIN\n  1 \"a\\\"b\"\nEND\n",
       "t.rc:3: write a quote inside a text as \"\", not \\\""},
      {"STRINGTABLE\nBEGIN\n  1 \"a\\qb\"\nEND\n", "t.rc:3: unknown escape \\q"},
      {"STRINGTABLE\nBEGIN\n  1 \"a\\0b\"\nEND\n", "t.rc:3: a NUL character inside a text"},
      {"STRINGTABLE\nBEGIN\n  1 \"a\"\n  1 \"b\"\nEND\n", "t.rc:4: string 1 defined twice"},
      {"STRINGTABLE\nBEGIN\n  1 \"a\"\n", "t.rc:4: unexpected end of script"},
      {"IDD_MISSING DIALOGEX 0, 0, 1, 1\nBEGIN\nEND\n",
       "t.rc:1: resource name IDD_MISSING is not a defined number"},
      {"1 DIALOGEX 0, 0, 1, 1\nBEGIN\nEND\n1 DIALOG 0, 0, 1, 1\nBEGIN\nEND\n",
       "t.rc:4: dialog 1 defined twice"},
      {"1 DIALOGEX 0, 0, 1, 1\nBEGIN\n  LTEXT \"a\", 1, 70000, 0, 1, 1\nEND\n",
       "t.rc:3: value 70000 exceeds 16 bits"},
      {"1 DIALOGEX 0, 0, 1, 1\nBEGIN\n  EDITTEXT 1, 0, 0, 1, 1\nEND\n",
       "t.rc:3: EDITTEXT is not a supported control statement"},
      {"1 DIALOGEX 0, 0, 1, 1\nBEGIN\n  LTEXT \"a\" 1, 0, 0, 1, 1\nEND\n",
       "t.rc:3: expected ',', found '1'"},
      {"1 DIALOGEX 0, 0, 1, 1\nMENU 5\nBEGIN\nEND\n",
       "t.rc:2: MENU is not supported in a dialog here"},
      {"1 DIALOGEX 0, 0, 1, 1, 99\nBEGIN\nEND\n",
       "t.rc:1: a dialog's help id is not supported here"},
      {"1 MENU\nBEGIN\nEND\n", "t.rc:1: resource type MENU is not supported here"},
      {"1 2 \"x.bin\"\n", "t.rc:1: resource type 2 is not supported here"},
      {"1 DIALOGEX 0, 0, 1, 1 / 0\nBEGIN\nEND\n", "t.rc:1: division by zero"},
      {"STRINGTABLE\nBEGIN\n  99999999999 \"a\"\nEND\n",
       "t.rc:3: number 99999999999 exceeds 32 bits"},
      {"#include \"missing.h\"\n", "t.rc:1: cannot open include file \"missing.h\""},
      {"\n#include <secret.h>\n", "t.rc:2: unknown system header <secret.h>"},
      {"#include \"ok.h\"\n#include \"bad.h\"\n", "bad.h:2: comment not closed"},
      {"/* two\nlines */\n1 ZAP\n", "t.rc:3: resource type ZAP is not supported here"},
      {"#if 1\n#endif\n", "t.rc:1: #if is not supported here"},
      {"#ifdef X\n", "t.rc:1: #if without #endif"},
      {"#endif\n", "t.rc:1: #endif without #if"},
      {"#define A B\n#define B A\nSTRINGTABLE\nBEGIN\n A \"x\"\nEND\n",
       "t.rc:5: name A refers to itself"},
      {"1 VERSIONINFO\nBEGIN\n BLOCK \"x\"\n BEGIN\nEND\n", "t.rc:2: BEGIN without END"},
      {"1 DIALOGEX 0, 0, 1, 1\nBEGIN\n  LTEXT \"a\", 1, 0, 0, 1, 1 @\nEND\n",
       "t.rc:3: unexpected character '@'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    sim::ResourceSet set;
    set.strings[42] = "kept";
    std::string error;
    EXPECT_FALSE(Parse(c.script, &set, &error, headers));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(set.strings, (std::map<unsigned, std::string>{{42, "kept"}}));
    EXPECT_TRUE(set.dialogs.empty());
  }
}

// A script cut anywhere is read or refused with a message, never more.
TEST(SimResourceScript, EveryPrefixOfARealScriptIsReadOrRefused) {
  const std::string script =
      DialogWith(
          "  DEFPUSHBUTTON \"&Install\", IDOK, 58, 64, 62, 17, NOT WS_TABSTOP | WS_GROUP\n"
          "  CONTROL \"\", 1002, \"msctls_progress32\", WS_BORDER, 16, 43, 186, 10\n"
          "  ICON 128, -1, 21, 17 /* icon */\n") +
      "STRINGTABLE\nBEGIN\n  101 \"say \"\"x\"\"\\n\"\nEND\n";
  size_t refused = 0;
  for (size_t n = 0; n <= script.size(); ++n) {
    sim::ResourceSet set;
    std::string error;
    if (!Parse(script.substr(0, n), &set, &error)) {
      ++refused;
      EXPECT_EQ(error.rfind("t.rc:", 0), 0u) << error;
    }
  }
  EXPECT_GT(refused, script.size() / 2);
  sim::ResourceSet whole;
  std::string error;
  EXPECT_TRUE(Parse(script, &whole, &error)) << error;
}

TEST(SimResourceScript, ReadsAScriptFromDiskWithItsHeader) {
  sim::ResourceSet set;
  std::string error;
  EXPECT_FALSE(sim::ParseResourceScriptFile("/nonexistent/x.rc", &set, &error));
  EXPECT_EQ(error, "/nonexistent/x.rc: cannot read");
  ASSERT_TRUE(sim::ParseResourceScriptFile(
      std::string(KESTROLIN_SOURCE_DIR) + "/resources/kestrolin.rc", &set, &error))
      << error;
  EXPECT_EQ(set.dialogs.size(), 2u);
}

}  // namespace
