// Path text helpers of the file search: the closing separator of a folder path, and
// a found path split into its parts and composed again in a normalised form.
#pragma once

#include <string>

// `path` with a slash (useForwardSlash non-zero) or a backslash appended, unless it is
// empty or its last byte already is a backslash or a slash.
std::string IncludeTrailingSeparator(const std::string& path, int useForwardSlash);

// One path split into drive, directory, file name and extension. Enclosing double
// quotes are dropped before the split; slashes in the directory become backslashes.
// A text longer than MAX_PATH - 1, holding a zero byte, or with a part longer than the
// run-time's 255 characters has no parts (and composes to an empty path).
class PathInfo {
 public:
  explicit PathInfo(const std::string& text);
  virtual ~PathInfo() = default;

  // drive + directory + name, then "." + extension when there is one. The text stays
  // valid until the next call or the object's end.
  const char* GetPathText();

  std::string sourceText;  // the text the object was built from, unchanged
  std::string drive;       // "C:", or empty
  std::string directory;   // "\WINDOWS\inf\": leading and trailing separators kept
  std::string name;        // file name without extension
  std::string extension;   // without the dot; only when `name` is not empty
  std::string composed;    // what GetPathText handed out last
};
