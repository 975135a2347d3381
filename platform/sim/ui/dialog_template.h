// A program's resources as the simulated Windows holds them: the dialog templates,
// string table and icon ids of its resource script, read from the same .rc file that
// the Windows build compiles, so both builds show the same dialogs and texts.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace sim {

// One control line of a DIALOG/DIALOGEX template, with the style bits the resource
// compiler would give it (the statement's implied class and defaults included).
struct ControlTemplate {
  std::string className;  // "Button", "Static", "Edit", "msctls_progress32", ...
  std::string text;       // the caption; for an icon control, the icon's name or "#128"
  int id = -1;            // -1 for IDC_STATIC
  uint32_t style = 0;     // WS_CHILD | WS_VISIBLE | the statement's and the line's bits
  uint32_t exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
};

struct DialogTemplate {
  int id = 0;
  bool extended = false;  // DIALOGEX
  uint32_t style = 0;
  uint32_t exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  std::string caption;
  std::string fontName;
  int fontPointSize = 0;
  int fontWeight = 0;  // DIALOGEX only, as its FONT statement gives them
  bool fontItalic = false;
  int fontCharset = 0;
  std::vector<ControlTemplate> controls;  // in the script's order (the tab order)
};

struct ResourceSet {
  std::map<int, DialogTemplate> dialogs;
  std::map<unsigned, std::string> strings;  // STRINGTABLE, escapes resolved
  std::set<int> icons;                      // ids of ICON resources
};

}  // namespace sim
