#include "platform/sim/machine/machine_diff.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace sim {

namespace {

void AddFolderTree(const FsNode& node, const std::string& path, std::vector<MachineItem>* items) {
  MachineItem item;
  item.kind = node.isDirectory ? MachineItem::Kind::kFolder : MachineItem::Kind::kFile;
  item.path = path;
  item.attributes = node.attributes;
  item.creationTime = node.creationTime;
  item.lastWriteTime = node.lastWriteTime;
  item.lastAccessTime = node.lastAccessTime;
  if (!node.isDirectory) item.content = node.content;
  items->push_back(std::move(item));
  // A drive root's path already ends in its separator.
  const std::string prefix = path.back() == '\\' ? path : path + "\\";
  node.children.ForEach([&](const std::string& name, const std::shared_ptr<FsNode>& child) {
    AddFolderTree(*child, prefix + name, items);
  });
}

void AddKeyTree(const RegKey& key, const std::string& path, std::vector<MachineItem>* items) {
  MachineItem item;
  item.kind = MachineItem::Kind::kKey;
  item.path = path;
  item.security = key.security;
  items->push_back(std::move(item));
  key.values.ForEach([&](const std::string& name, const RegValue& value) {
    MachineItem v;
    v.kind = MachineItem::Kind::kValue;
    v.path = path;
    v.valueName = name;
    v.value = value;
    items->push_back(std::move(v));
  });
  key.subkeys.ForEach([&](const std::string& name, const std::shared_ptr<RegKey>& subkey) {
    AddKeyTree(*subkey, path + "\\" + name, items);
  });
}

// The key two items are matched and ordered by: the path's components folded to upper
// case and joined by a byte below every name character, so that a folder or key sorts
// right before what it holds; then a marker of the kind, so that a value sorts before
// the subkeys and a file never matches a folder of the same name.
std::string Identity(const MachineItem& item) {
  std::string key;
  key.push_back(
      item.kind == MachineItem::Kind::kFolder || item.kind == MachineItem::Kind::kFile ? 'D' : 'R');
  for (char c : item.path) {
    key.push_back(c == '\\' ? '\x01'
                            : static_cast<char>(UpperAscii(static_cast<unsigned char>(c))));
  }
  if (!key.empty() && key.back() == '\x01') key.pop_back();  // "C:\"
  key.push_back('\0');
  switch (item.kind) {
    case MachineItem::Kind::kFolder:
      key.push_back('d');
      break;
    case MachineItem::Kind::kFile:
      key.push_back('f');
      break;
    case MachineItem::Kind::kKey:
      break;
    case MachineItem::Kind::kValue:
      key.push_back('v');
      for (char c : item.valueName) {
        key.push_back(static_cast<char>(UpperAscii(static_cast<unsigned char>(c))));
      }
      break;
  }
  return key;
}

// The item's own name, as stored: the last component of its path, or a value's name.
std::string_view OwnName(const MachineItem& item) {
  if (item.kind == MachineItem::Kind::kValue) return item.valueName;
  std::string_view path = item.path;
  const size_t slash = path.find_last_of('\\', path.size() >= 2 ? path.size() - 2 : 0);
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool Differs(const MachineItem& a, const MachineItem& b) {
  if (OwnName(a) != OwnName(b)) return true;
  switch (a.kind) {
    case MachineItem::Kind::kFolder:
      return a.attributes != b.attributes;
    case MachineItem::Kind::kFile:
      return a.attributes != b.attributes || a.content != b.content;
    case MachineItem::Kind::kKey:
      return !(a.security == b.security);
    case MachineItem::Kind::kValue:
      return !(a.value == b.value);
  }
  return false;
}

using Indexed = std::vector<std::pair<std::string, const MachineItem*>>;

Indexed IndexOf(const std::vector<MachineItem>& items) {
  Indexed index;
  index.reserve(items.size());
  for (const MachineItem& item : items) index.emplace_back(Identity(item), &item);
  std::sort(index.begin(), index.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  return index;
}

}  // namespace

std::vector<MachineItem> TakeInventory(const Machine& machine) {
  std::vector<MachineItem> items;
  for (char letter : machine.files.DriveLetters()) {
    AddFolderTree(*machine.files.Drive(letter), std::string(1, letter) + ":\\", &items);
  }
  // The hives in name order, as their items compare.
  for (const char* hive : {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"}) {
    AddKeyTree(*machine.registry.Root(hive), hive, &items);
  }
  return items;
}

std::vector<MachineChange> CompareInventories(const std::vector<MachineItem>& before,
                                              const std::vector<MachineItem>& after) {
  const Indexed was = IndexOf(before);
  const Indexed is = IndexOf(after);
  std::vector<MachineChange> changes;
  size_t i = 0, j = 0;
  while (i < was.size() || j < is.size()) {
    MachineChange change;
    if (j == is.size() || (i < was.size() && was[i].first < is[j].first)) {
      change.kind = MachineChange::Kind::kRemoved;
      change.before = was[i++].second;
    } else if (i == was.size() || is[j].first < was[i].first) {
      change.kind = MachineChange::Kind::kAdded;
      change.after = is[j++].second;
    } else {
      const MachineItem* old = was[i++].second;
      const MachineItem* now = is[j++].second;
      if (!Differs(*old, *now)) continue;
      change.kind = MachineChange::Kind::kChanged;
      change.before = old;
      change.after = now;
    }
    changes.push_back(change);
  }
  return changes;
}

}  // namespace sim
