// What the files of a machine folder share: lines of a text, messages that name a
// file and line, the names the folder can hold, and depth-first walks of a key tree
// and of a drive with their paths.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/sim/machine/filesystem.h"
#include "platform/sim/machine/registry.h"

namespace sim {
namespace folder_walks {

inline std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

inline std::string Located(std::string_view file, int line, const std::string& what) {
  return std::string(file) + ":" + std::to_string(line) + ": " + what;
}

// Splits text into lines without their line ends; the index + 1 is the line number.
inline std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

inline bool PrintableName(std::string_view name) {
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  return !name.empty();
}

// A name Windows accepts for a file or folder.
inline bool ValidFileName(std::string_view name) {
  if (!PrintableName(name) || name == "." || name == "..") return false;
  return name.find_first_of("\\/:*?\"<>|") == std::string_view::npos;
}

// Depth-first walk of a key tree with full paths, without recursion. Each pending
// key notes the length of its parent's path, which is always the start of the path
// built last.
template <typename Fn>
bool WalkKeys(const RegKey& root, Fn&& fn) {
  std::vector<std::pair<const RegKey*, size_t>> stack;
  stack.emplace_back(&root, 0);
  std::string path;
  std::vector<const RegKey*> children;
  while (!stack.empty()) {
    const auto [key, parentPath] = stack.back();
    stack.pop_back();
    if (key == &root) {
      path = root.name;
    } else {
      path.resize(parentPath);
      path += '\\';
      path += key->name;
    }
    if (!fn(*key, static_cast<const std::string&>(path))) return false;
    children.clear();
    key->subkeys.ForEach([&](const std::string&, const std::shared_ptr<RegKey>& child) {
      children.push_back(child.get());
    });
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      stack.emplace_back(*it, path.size());
    }
  }
  return true;
}

// Depth-first walk of a drive with paths below its root ("" for the root).
template <typename Fn>
bool WalkFiles(const FsNode& root, Fn&& fn) {
  std::vector<std::pair<const FsNode*, std::string>> stack;
  stack.emplace_back(&root, std::string());
  std::vector<const FsNode*> children;
  while (!stack.empty()) {
    auto [node, path] = std::move(stack.back());
    stack.pop_back();
    if (!fn(*node, path)) return false;
    children.clear();
    node->children.ForEach([&](const std::string&, const std::shared_ptr<FsNode>& child) {
      children.push_back(child.get());
    });
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      stack.emplace_back(*it, path + "\\" + (*it)->name);
    }
  }
  return true;
}

}  // namespace folder_walks
}  // namespace sim
