// Whether a text can stand as one Windows file or folder name, or as one registry key
// name. Names composed from a package's values or from a program's own file name pass
// these rules before anything is built from them.
#pragma once

#include <string>

// Why `name` cannot be one Windows file or folder name, or null when it can: none of
// \ / : * ? " < > |, no control characters (DEL and C1 included), not "." or "..", not
// ending in a dot or a blank, no device name (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to
// LPT9, with or without an extension, any letter case), 1 to 255 long, and at most 255 bytes in
// UTF-8, in which Wine's and the simulator's hosts keep file names.
const char* FileNameFault(const std::string& name);
bool IsSafeFileName(const std::string& name);
// Why `name` cannot be one registry key name, or null: no backslash, 1 to 255 characters.
const char* KeyNameFault(const std::string& name);
bool IsSafeKeyName(const std::string& name);
