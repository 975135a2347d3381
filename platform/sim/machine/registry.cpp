#include "platform/sim/machine/registry.h"

#include <algorithm>
#include <cstring>

namespace sim {

std::string RegKey::PathBelowRoot() const {
  std::vector<const RegKey*> chain;
  for (const RegKey* k = this; k && k->parent; k = k->parent) chain.push_back(k);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!path.empty()) path += '\\';
    path += (*it)->name;
  }
  return path;
}

const RegKey* RegKey::Root() const {
  const RegKey* k = this;
  while (k->parent) k = k->parent;
  return k;
}

std::string RegKey::FullPath() const {
  std::string below = PathBelowRoot();
  std::string root = Root()->name;
  return below.empty() ? root : root + "\\" + below;
}

bool SplitKeyPath(std::string_view path, std::vector<std::string>* parts) {
  parts->clear();
  if (!path.empty() && path.front() == '\\') return false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts->emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

bool NextKeyComponent(std::string_view* rest, std::string_view* part) {
  while (!rest->empty()) {
    const size_t end = std::min(rest->find('\\'), rest->size());
    *part = rest->substr(0, end);
    rest->remove_prefix(std::min(end + 1, rest->size()));
    if (!part->empty()) return true;
  }
  return false;
}

namespace {

std::shared_ptr<RegKey> MakeRoot(const char* name) {
  auto k = std::make_shared<RegKey>();
  k->name = name;
  k->security = DefaultRootSecurity();
  return k;
}

void MarkDeleted(RegKey& key) {
  key.deleted = true;
  key.parent = nullptr;
  key.subkeys.ForEach(
      [](const std::string&, std::shared_ptr<RegKey>& child) { MarkDeleted(*child); });
}

bool CompareKeys(const RegKey& a, const RegKey& b, std::string* diff) {
  auto fail = [&](const std::string& what) {
    if (diff) *diff = a.FullPath() + ": " + what;
    return false;
  };
  if (a.name != b.name) return fail("name differs: " + a.name + " / " + b.name);
  if (!(a.security == b.security)) return fail("access list differs");
  if (a.values.Size() != b.values.Size()) return fail("number of values differs");
  for (size_t i = 0; i < a.values.Size(); ++i) {
    auto va = a.values.At(i);
    auto vb = b.values.At(i);
    if (*va.first != *vb.first) return fail("value name differs: " + *va.first);
    if (!(*va.second == *vb.second)) return fail("value differs: " + *va.first);
  }
  if (a.subkeys.Size() != b.subkeys.Size()) return fail("number of subkeys differs");
  for (size_t i = 0; i < a.subkeys.Size(); ++i) {
    if (!CompareKeys(**a.subkeys.At(i).second, **b.subkeys.At(i).second, diff)) return false;
  }
  return true;
}

}  // namespace

Registry::Registry()
    : hklm_(MakeRoot("HKEY_LOCAL_MACHINE")),
      hkcu_(MakeRoot("HKEY_CURRENT_USER")),
      hku_(MakeRoot("HKEY_USERS")) {}

std::shared_ptr<RegKey> Registry::Root(std::string_view hiveName) const {
  if (NamesEqual(hiveName, "HKEY_LOCAL_MACHINE") || NamesEqual(hiveName, "HKLM")) return hklm_;
  if (NamesEqual(hiveName, "HKEY_CURRENT_USER") || NamesEqual(hiveName, "HKCU")) return hkcu_;
  if (NamesEqual(hiveName, "HKEY_USERS") || NamesEqual(hiveName, "HKU")) return hku_;
  if (NamesEqual(hiveName, "HKEY_CLASSES_ROOT") || NamesEqual(hiveName, "HKCR")) {
    return Find(hklm_, "SOFTWARE\\Classes");
  }
  return nullptr;
}

std::shared_ptr<RegKey> Registry::Find(const std::shared_ptr<RegKey>& from, std::string_view path) {
  if (!from || (!path.empty() && path.front() == '\\')) return nullptr;
  const std::shared_ptr<RegKey>* key = &from;
  std::string_view part;
  while (NextKeyComponent(&path, &part)) {
    key = (*key)->subkeys.Find(part);
    if (!key) return nullptr;
  }
  return *key;
}

std::shared_ptr<RegKey> Registry::Create(const std::shared_ptr<RegKey>& from,
                                         std::string_view path) {
  if (!from || (!path.empty() && path.front() == '\\')) return nullptr;
  std::shared_ptr<RegKey> key = from;
  std::string_view part;
  while (NextKeyComponent(&path, &part)) {
    if (auto* child = key->subkeys.Find(part)) {
      key = *child;
      continue;
    }
    auto fresh = std::make_shared<RegKey>();
    fresh->name = std::string(part);
    fresh->parent = key.get();
    fresh->lastWriteTime = now;
    key = key->subkeys.Put(part, std::move(fresh));
  }
  return key;
}

static bool SplitHive(std::string_view full, std::string_view* hive, std::string_view* rest) {
  const size_t sep = full.find('\\');
  *hive = full.substr(0, sep);
  *rest = sep == std::string_view::npos ? std::string_view() : full.substr(sep + 1);
  return !hive->empty();
}

std::shared_ptr<RegKey> Registry::FindFull(std::string_view fullPath) const {
  std::string_view hive, rest;
  if (!SplitHive(fullPath, &hive, &rest)) return nullptr;
  return Find(Root(hive), rest);
}

std::shared_ptr<RegKey> Registry::CreateFull(std::string_view fullPath) {
  std::string_view hive, rest;
  if (!SplitHive(fullPath, &hive, &rest)) return nullptr;
  return Create(Root(hive), rest);
}

void Registry::DeleteTree(const std::shared_ptr<RegKey>& key) {
  if (!key || key->deleted) return;
  RegKey* parent = key->parent;
  std::shared_ptr<RegKey> keep = key;  // the parent's map owns it until erased
  if (parent) parent->subkeys.Erase(key->name);
  MarkDeleted(*keep);
}

std::shared_ptr<RegKey> Registry::SetValue(std::string_view fullKeyPath, std::string_view name,
                                           uint32_t type, std::string data) {
  auto key = CreateFull(fullKeyPath);
  if (key) key->values.Put(name, RegValue{type, std::move(data)});
  return key;
}

std::string Registry::DwordData(uint32_t v) {
  std::string d(4, '\0');
  std::memcpy(&d[0], &v, 4);
  return d;
}

bool Registry::SameAs(const Registry& other, std::string* firstDifference) const {
  return CompareKeys(*hklm_, *other.hklm_, firstDifference) &&
         CompareKeys(*hkcu_, *other.hkcu_, firstDifference) &&
         CompareKeys(*hku_, *other.hku_, firstDifference);
}

}  // namespace sim
