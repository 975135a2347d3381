#include "platform/sim/machine/filesystem.h"

#include <vector>

namespace sim {

namespace {

// "C:\a\b" -> drive 'C' and {"a", "b"}; false when there is no drive letter.
bool SplitAbsolute(std::string_view path, char* drive, std::vector<std::string>* parts) {
  parts->clear();
  if (path.size() < 2 || path[1] != ':') return false;
  *drive = static_cast<char>(UpperAscii(static_cast<unsigned char>(path[0])));
  size_t start = 2;
  while (start < path.size()) {
    size_t end = path.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts->emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

bool CompareNodes(const FsNode& a, const FsNode& b, std::string* diff) {
  auto fail = [&](const std::string& what) {
    if (diff) *diff = a.FullPath() + ": " + what;
    return false;
  };
  if (a.name != b.name) return fail("name differs");
  if (a.isDirectory != b.isDirectory) return fail("kind differs");
  if (a.attributes != b.attributes) return fail("attributes differ");
  if (a.creationTime != b.creationTime || a.lastWriteTime != b.lastWriteTime ||
      a.lastAccessTime != b.lastAccessTime)
    return fail("time stamps differ");
  if (a.content != b.content) return fail("contents differ");
  if (a.junctionTarget != b.junctionTarget) return fail("junction targets differ");
  if (a.children.Size() != b.children.Size()) return fail("number of entries differs");
  for (size_t i = 0; i < a.children.Size(); ++i) {
    if (!CompareNodes(**a.children.At(i).second, **b.children.At(i).second, diff)) return false;
  }
  return true;
}

void MarkDeleted(FsNode& node) {
  node.deleted = true;
  node.parent = nullptr;
  node.children.ForEach(
      [](const std::string&, std::shared_ptr<FsNode>& child) { MarkDeleted(*child); });
}

}  // namespace

std::string FsNode::FullPath() const {
  std::vector<const FsNode*> chain;
  const FsNode* n = this;
  for (; n->parent; n = n->parent) chain.push_back(n);
  std::string path = n->name + ":\\";
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (it != chain.rbegin()) path += '\\';
    path += (*it)->name;
  }
  return path;
}

std::shared_ptr<FsNode> FileSystem::Drive(char letter) const {
  const char name[2] = {static_cast<char>(UpperAscii(static_cast<unsigned char>(letter))), 0};
  const auto* d = drives_.Find(name);
  return d ? *d : nullptr;
}

std::shared_ptr<FsNode> FileSystem::AddDrive(char letter) {
  if (auto existing = Drive(letter)) return existing;
  auto root = NewFsNode();
  root->name = std::string(1, static_cast<char>(UpperAscii(static_cast<unsigned char>(letter))));
  root->isDirectory = true;
  root->attributes = 0x10;  // FILE_ATTRIBUTE_DIRECTORY
  root->creationTime = root->lastWriteTime = root->lastAccessTime = now;
  drives_.Put(root->name, root);
  return root;
}

std::vector<char> FileSystem::DriveLetters() const {
  std::vector<char> letters;
  drives_.ForEach(
      [&](const std::string& name, const std::shared_ptr<FsNode>&) { letters.push_back(name[0]); });
  return letters;
}

std::shared_ptr<FsNode> FileSystem::Find(std::string_view absolutePath) const {
  char drive;
  std::vector<std::string> parts;
  if (!SplitAbsolute(absolutePath, &drive, &parts)) return nullptr;
  std::shared_ptr<FsNode> node = Drive(drive);
  for (const auto& part : parts) {
    if (!node || !node->isDirectory) return nullptr;
    const auto* child = node->children.Find(part);
    node = child ? *child : nullptr;
  }
  return node;
}

std::shared_ptr<FsNode> FileSystem::MakeDirectories(std::string_view absolutePath) {
  char drive;
  std::vector<std::string> parts;
  if (!SplitAbsolute(absolutePath, &drive, &parts)) return nullptr;
  std::shared_ptr<FsNode> node = AddDrive(drive);
  for (const auto& part : parts) {
    if (!node->isDirectory) return nullptr;
    if (auto* child = node->children.Find(part)) {
      node = *child;
      continue;
    }
    auto fresh = NewFsNode();
    fresh->name = part;
    fresh->isDirectory = true;
    fresh->attributes = 0x10;
    fresh->creationTime = fresh->lastWriteTime = fresh->lastAccessTime = now;
    fresh->parent = node.get();
    node->children.Put(part, fresh);
    node = fresh;
  }
  return node;
}

std::shared_ptr<FsNode> FileSystem::WriteFile(std::string_view absolutePath, std::string content,
                                              uint32_t attributes) {
  const size_t sep = absolutePath.find_last_of("\\/");
  if (sep == std::string_view::npos || sep < 2) return nullptr;
  auto folder = MakeDirectories(absolutePath.substr(0, sep));
  const std::string name(absolutePath.substr(sep + 1));
  if (!folder || name.empty()) return nullptr;
  std::shared_ptr<FsNode> file;
  if (auto* existing = folder->children.Find(name)) {
    file = *existing;
    if (file->isDirectory) return nullptr;
  } else {
    file = NewFsNode();
    file->name = name;
    file->parent = folder.get();
    file->creationTime = now;
    folder->children.Put(name, file);
  }
  file->content = std::move(content);
  file->attributes = attributes;
  file->lastWriteTime = file->lastAccessTime = now;
  return file;
}

void FileSystem::Detach(const std::shared_ptr<FsNode>& node) {
  if (!node || node->deleted) return;
  std::shared_ptr<FsNode> keep = node;
  if (node->parent) node->parent->children.Erase(node->name);
  MarkDeleted(*keep);
}

std::shared_ptr<FsNode> FileSystem::MakeJunction(std::string_view absolutePath,
                                                 std::string target) {
  auto node = MakeDirectories(absolutePath);
  if (!node) return nullptr;
  node->attributes |= 0x400;  // FILE_ATTRIBUTE_REPARSE_POINT
  node->junctionTarget = std::move(target);
  return node;
}

std::shared_ptr<FsNode> FileSystem::Through(std::shared_ptr<FsNode> node) const {
  for (int hops = 0; node && !node->junctionTarget.empty(); ++hops) {
    if (hops == 63) return nullptr;
    node = Find(node->junctionTarget);
  }
  return node && node->isDirectory ? node : nullptr;
}

bool FileSystem::SameAs(const FileSystem& other, std::string* firstDifference) const {
  if (drives_.Size() != other.drives_.Size()) {
    if (firstDifference) *firstDifference = "drives differ";
    return false;
  }
  for (size_t i = 0; i < drives_.Size(); ++i) {
    if (!CompareNodes(**drives_.At(i).second, **other.drives_.At(i).second, firstDifference))
      return false;
  }
  return true;
}

}  // namespace sim
