// The text of the package's ports INF as the installer's steps read it: plain text,
// searched for keys case-sensitively by their first occurrence.
#pragma once

#include <cstddef>
#include <string>

// How much of Sabrelune.inf the installer reads and searches.
constexpr size_t kPortsInfReadLimit = 20000;

// At most the first 20000 bytes of Sabrelune.inf in the current folder, up to the first
// zero byte. Shows "GetCurrentDirectory failed!" when the folder cannot be taken (the
// open is then tried with the file name alone) and "CreateFile failed" when the file
// cannot be opened; false in that case.
bool ReadPortsInf(std::string* text);

// The text the steps search, from the file's bytes: at most the first kPortsInfReadLimit
// bytes, up to the first zero byte among them.
std::string PortsInfText(const std::string& fileBytes);

// Where a value was cut from: the first positions of the key and of the end key (-1
// when missing), the substring taken (start and length after clamping) and the value.
struct ValueCut {
  long keyAt = -1;
  long endAt = -1;
  long first = 0;
  long count = 0;
  std::string value;
};
ValueCut CutValueAt(const std::string& text, const std::string& key, const std::string& endKey);
// The value of key K, ending where end key E starts; see CutValueAt's rule in the .cpp.
std::string CutValue(const std::string& text, const std::string& key, const std::string& endKey);

// The ID window of a VID_PID_NAMEn line: where the name stands, where its 17-character
// window starts (clamped to the text's end) and what it holds, and the ID it yields.
struct SupportedIdWindow {
  size_t nameAt = 0;
  size_t windowAt = 0;
  std::string window;
  std::string id;
  bool defaulted = false;  // nothing was left of the window: the id is the card's own
};
constexpr size_t kSupportedIdWindowOffset = 3;
constexpr size_t kSupportedIdWindowLength = 17;
constexpr char kDefaultSupportedId[] = "VEN_6A3C&DEV_5E17";
// False when `name` does not occur in `text`.
bool FindSupportedIdWindow(const std::string& text, const std::string& name,
                           SupportedIdWindow* found);
// The PCI ID in the 17 characters that start 3 after the end of `name`'s first
// occurrence, without commas and surrounding white space; "VEN_6A3C&DEV_5E17" when
// nothing is left. False when `name` does not occur.
bool FindSupportedId(const std::string& text, const std::string& name, std::string* id);

// Why `name` cannot be one Windows file or folder name, or null when it can: none of
// \ / : * ? " < > |, no control characters (DEL and C1 included), not "." or "..", not
// ending in a dot or a blank, 1 to 255 long, and at most 255 bytes in UTF-8, in which
// Wine's and the simulator's hosts keep file names.
const char* FileNameFault(const std::string& name);
bool IsSafeFileName(const std::string& name);
// Why `name` cannot be one registry key name, or null: no backslash, 1 to 255 characters.
const char* KeyNameFault(const std::string& name);
bool IsSafeKeyName(const std::string& name);
