// The text of the package's ports INF as the installer's steps read it: plain text,
// searched for keys case-sensitively by their first occurrence.
#pragma once

#include <string>

// At most the first 20000 bytes of Sabrelune.inf in the current folder, up to the first
// zero byte. Shows "GetCurrentDirectory failed!" when the folder cannot be taken (the
// open is then tried with the file name alone) and "CreateFile failed" when the file
// cannot be opened; false in that case.
bool ReadPortsInf(std::string* text);

// The value of key K, ending where end key E starts; see CutValue's rule in the .cpp.
std::string CutValue(const std::string& text, const std::string& key, const std::string& endKey);

// The PCI ID in the 17 characters that start 3 after the end of `name`'s first
// occurrence, without commas and surrounding white space; "VEN_6A3C&DEV_5E17" when
// nothing is left. False when `name` does not occur.
bool FindSupportedId(const std::string& text, const std::string& name, std::string* id);

// A name usable as one Windows file or folder name: none of \ / : * ? " < > |, no
// control characters, not "." or "..", not ending in a dot or a blank, 1 to 255 long.
bool IsSafeFileName(const std::string& name);
// A name usable as one registry key name: no backslash, 1 to 255 characters.
bool IsSafeKeyName(const std::string& name);
