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
  // Paths are limited to MAX_PATH - 1 characters; a longer text is cut there.
  char buffer[MAX_PATH] = {};
  const size_t length = std::min(text.size(), sizeof buffer - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  PathUnquoteSpacesA(buffer);
  if (buffer[0] == '\0') return;

  char drivePart[256] = {}, dirPart[256] = {}, namePart[256] = {}, extPart[256] = {};
  _splitpath(buffer, drivePart, dirPart, namePart, extPart);
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
