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

MachineItem KeyItem(const RegKey& key, const std::string& path) {
  MachineItem item;
  item.kind = MachineItem::Kind::kKey;
  item.path = path;
  item.security = key.security;
  return item;
}

MachineItem ValueItem(const std::string& path, const std::string& name, const RegValue& value) {
  MachineItem item;
  item.kind = MachineItem::Kind::kValue;
  item.path = path;
  item.valueName = name;
  item.value = value;
  return item;
}

void AddKeyTree(const RegKey& key, const std::string& path, std::vector<MachineItem>* items) {
  items->push_back(KeyItem(key, path));
  key.values.ForEach([&](const std::string& name, const RegValue& value) {
    items->push_back(ValueItem(path, name, value));
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

// The walk of CompareRegistries: the keys of both sides in the inventory's order (a key,
// its values, its subkeys), each difference an item pair or a lone item.
class RegistryWalk {
 public:
  explicit RegistryWalk(RegistryComparison* out) : out_(out) {}

  // The key at `wasPath` before and at `isPath` after (the same path, but for the letter
  // case of names spelled anew); null on the side without it.
  void Keys(const RegKey* was, const RegKey* is, const std::string& wasPath,
            const std::string& isPath) {
    if (!was || !is) {
      // A subtree on one side only: each of its items was removed or added.
      std::vector<MachineItem> items;
      AddKeyTree(was ? *was : *is, was ? wasPath : isPath, &items);
      for (MachineItem& item : items) Lone(std::move(item), was != nullptr);
      return;
    }
    MachineItem oldKey = KeyItem(*was, wasPath), newKey = KeyItem(*is, isPath);
    if (Differs(oldKey, newKey)) Pair(std::move(oldKey), std::move(newKey));
    Merge(was->values, is->values,
          [&](const std::string* a, const RegValue* va, const std::string* b, const RegValue* vb) {
            if (va && vb) {
              MachineItem oldValue = ValueItem(wasPath, *a, *va);
              MachineItem newValue = ValueItem(isPath, *b, *vb);
              if (Differs(oldValue, newValue)) Pair(std::move(oldValue), std::move(newValue));
            } else {
              Lone(va ? ValueItem(wasPath, *a, *va) : ValueItem(isPath, *b, *vb), va != nullptr);
            }
          });
    Merge(was->subkeys, is->subkeys,
          [&](const std::string* a, const std::shared_ptr<RegKey>* ka, const std::string* b,
              const std::shared_ptr<RegKey>* kb) {
            Keys(ka ? ka->get() : nullptr, kb ? kb->get() : nullptr, wasPath + "\\" + (a ? *a : *b),
                 isPath + "\\" + (b ? *b : *a));
          });
  }

 private:
  // Both maps in name order, side by side: `fn` sees each name of either, with the entry
  // of each side that holds it (null on the side that does not).
  template <typename T, typename Fn>
  static void Merge(const OrderedNameMap<T>& a, const OrderedNameMap<T>& b, Fn&& fn) {
    std::vector<std::pair<const std::string*, const T*>> left, right;
    a.ForEach([&](const std::string& name, const T& v) { left.emplace_back(&name, &v); });
    b.ForEach([&](const std::string& name, const T& v) { right.emplace_back(&name, &v); });
    size_t i = 0, j = 0;
    while (i < left.size() || j < right.size()) {
      const int order = i == left.size()    ? 1
                        : j == right.size() ? -1
                                            : CompareNames(*left[i].first, *right[j].first);
      if (order < 0) {
        fn(left[i].first, left[i].second, nullptr, nullptr);
        ++i;
      } else if (order > 0) {
        fn(nullptr, nullptr, right[j].first, right[j].second);
        ++j;
      } else {
        fn(left[i].first, left[i].second, right[j].first, right[j].second);
        ++i, ++j;
      }
    }
  }

  void Pair(MachineItem was, MachineItem is) {
    out_->items.push_back(std::move(was));
    const MachineItem* before = &out_->items.back();
    out_->items.push_back(std::move(is));
    out_->changes.push_back({MachineChange::Kind::kChanged, before, &out_->items.back()});
  }
  void Lone(MachineItem item, bool removed) {
    out_->items.push_back(std::move(item));
    const MachineItem* at = &out_->items.back();
    out_->changes.push_back(removed ? MachineChange{MachineChange::Kind::kRemoved, at, nullptr}
                                    : MachineChange{MachineChange::Kind::kAdded, nullptr, at});
  }

  RegistryComparison* out_;
};

}  // namespace

RegistryComparison CompareRegistries(const Machine& before, const Machine& after) {
  RegistryComparison out;
  RegistryWalk walk(&out);
  for (const char* hive : {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"}) {
    walk.Keys(before.registry.Root(hive).get(), after.registry.Root(hive).get(), hive, hive);
  }
  return out;
}

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
