// The scenario scripts: one reader for the simulator's script front end
// (platform/sim/ui/front_end_script.h, where the steps are described) and the Wine test
// driver (tools/wine_driver). The driver also reads
//
//   screenshot NAME ["CAPTION"]   saves the program's top window (or the one so captioned)
//                                 as NAME.bmp
//
// which the simulator, having no screen to take, refuses. This reader depends on nothing
// but the standard library, so it builds in every tree, for Windows and natively.
#pragma once

#include <string>
#include <vector>

namespace scenario {

struct ScriptStep {
  enum class Kind {
    Expect,
    ExpectText,
    ExpectState,
    ExpectFocus,
    ExpectProgress,
    Press,
    Key,
    Close,
    SysMenu,
    Box,
    WaitClosed,
    Timeout,
    Screenshot
  };
  Kind kind = Kind::Expect;
  int line = 0;
  std::string source;  // the step as written, for reports
  std::string text;    // TEXT, CAPTION, key name or screenshot name
  int id = 0;          // control id, command, answer, position or milliseconds
  bool byCaption = false;
  std::string state;   // enabled, disabled, visible, hidden
  std::string window;  // the window a key goes to, or a screenshot shows
};

struct ParseOptions {
  // False where no picture can be taken: a screenshot step is then an unknown step.
  bool screenshots = true;
};

// Appends the script's steps; false, with `error` as "<file>:<line>: <what>", when a step
// does not parse.
bool ParseScript(const std::string& text, const std::string& fileName,
                 std::vector<ScriptStep>* steps, std::string* error,
                 const ParseOptions& options = {});

// TEXT matching of the scripts: whole, or by beginning when the pattern ends in "...".
bool TextMatches(const std::string& pattern, const std::string& text);
// The same, also trying the text without its mnemonic marks ("&Install" as "Install").
bool CaptionMatches(const std::string& pattern, const std::string& caption);
// A caption without its mnemonic marks: "E&xit" -> "Exit", "&&" -> "&".
std::string WithoutMnemonics(const std::string& text);

// A text as a script writes it, in quotes with \n, \" and \\ escaped: for reports.
std::string Quoted(const std::string& text);

// The answer button id of a box step's word (OK 1, Cancel 2, ...); 0 when unknown.
int AnswerId(const std::string& word);

// Enter, Esc, Tab, Shift+Tab, Space, Alt+X or X (X a letter or digit).
bool IsKeyName(const std::string& word);

// A screenshot name becomes a file name: letters, digits, '-', '_' and '.' only, not
// starting with '.', at most 64 characters.
bool IsSafeShotName(const std::string& name);

}  // namespace scenario
