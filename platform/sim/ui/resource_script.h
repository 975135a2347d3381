// Resource scripts (.rc), read the way the resource compiler reads the subset our programs
// use, into the resource set a simulated program carries: dialog templates with the style
// bits the compiler gives each statement, the string table, and the icon ids. Version
// information and manifests are passed over; anything else is refused.
//
// The subset: #include (a "header" through the reader; <system> headers are known names),
// #define NAME value, #undef, #ifdef/#ifndef/#else/#endif, #pragma code_page; comments;
// LANGUAGE; DIALOG and DIALOGEX with STYLE, EXSTYLE, CAPTION, FONT; the controls
// PUSHBUTTON, DEFPUSHBUTTON, LTEXT, CTEXT, RTEXT, GROUPBOX, ICON and CONTROL; NOT in style
// lists; STRINGTABLE; ICON, VERSIONINFO and RT_MANIFEST resources. Resource and control
// ids must be numbers (or names defined as numbers).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sim/ui/dialog_template.h"

namespace sim {

// Returns the text of an included file, named as the script names it, or nothing when
// there is no such file.
using ResourceIncludeReader = std::function<std::optional<std::string>(const std::string& name)>;

// Parses a script. On failure `out` is left as it was and `error` reads
// "<file>:<line>: <what>" (the file is the script's or an included header's name).
bool ParseResourceScript(std::string_view text, std::string_view fileName,
                         const ResourceIncludeReader& readInclude, ResourceSet* out,
                         std::string* error);

// The same for a script on disk; its includes are read from the script's folder.
bool ParseResourceScriptFile(const std::string& path, ResourceSet* out, std::string* error);

// The SDK names (window, dialog, control styles, language ids, ...) a script may use
// without defining them, with the SDK's values.
const std::map<std::string, uint32_t>& ResourceScriptKnownNames();

}  // namespace sim
