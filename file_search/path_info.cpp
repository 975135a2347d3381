#include "file_search/path_info.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/win32.h"

std::string IncludeTrailingSeparator(const std::string& path, int useForwardSlash) {
  if (path.empty() || path.back() == '\\' || path.back() == '/') return path;
  return path + (useForwardSlash ? '/' : '\\');
}

PathInfo::PathInfo(const std::string& text) : sourceText(text) {
  // A text that is no path within MAX_PATH - 1 characters has no parts: cut short at
  // the buffer's end or at a zero byte it would name another file, and the finder's
  // user deletes what the parts name.
  char buffer[MAX_PATH] = {};
  if (text.size() > sizeof buffer - 1 || text.find('\0') != std::string::npos) return;
  std::memcpy(buffer, text.data(), text.size());
  PathUnquoteSpacesA(buffer);
  if (buffer[0] == '\0') return;

  char drivePart[256] = {}, dirPart[256] = {}, namePart[256] = {}, extPart[256] = {};
  _splitpath(buffer, drivePart, dirPart, namePart, extPart);
  // The run-time cuts a part longer than its buffer (a directory of 256 characters and
  // more fits a path of 259): such a path has no parts either.
  if (std::strlen(drivePart) + std::strlen(dirPart) + std::strlen(namePart) +
          std::strlen(extPart) !=
      std::strlen(buffer))
    return;
  drive = drivePart;
  directory = dirPart;
  std::replace(directory.begin(), directory.end(), '/', '\\');
  name = namePart;
  if (!name.empty()) {
    extension = extPart;
    extension.erase(std::remove(extension.begin(), extension.end(), '.'), extension.end());
  }
}

const char* PathInfo::GetPathText() {
  composed = drive + directory + name;
  if (!extension.empty()) composed += "." + extension;
  return composed.c_str();
}
