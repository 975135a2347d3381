// The simulated registry: a tree of keys with values and access lists.
// Values are kept as the ANSI functions see them (type and bytes), byte-exact.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/machine/name_order.h"
#include "platform/sim/machine/security.h"

namespace sim {

struct RegValue {
  uint32_t type = 0;
  std::string data;
  bool operator==(const RegValue& o) const { return type == o.type && data == o.data; }
};

struct RegKey {
  std::string name;
  RegKey* parent = nullptr;  // null for a hive root and for a deleted key
  bool deleted = false;
  bool isVolatile = false;
  OrderedNameMap<RegValue> values;
  OrderedNameMap<std::shared_ptr<RegKey>> subkeys;
  KeySecurity security;
  uint64_t lastWriteTime = 0;  // FILETIME ticks
  // The registry file being applied (storage's RegFileApplier) that reached this key last:
  // a mark in the tree, so that a file of a million keys needs no set of them.
  uint64_t fileMark = 0;

  // "HKEY_LOCAL_MACHINE\SOFTWARE\..." as Windows' registry editor writes it.
  std::string FullPath() const;
  // The path below the hive root ("" for the root itself).
  std::string PathBelowRoot() const;
  const RegKey* Root() const;
};

// Windows' limits: a key's name holds at most 255 characters (Windows' own kernel takes
// one more, which its registry editor then cannot list), and keys nest at most 512 levels
// below a hive's root.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxKeyDepth = 512;

// Splits "A\B\C" into its components. Empty components (a doubled or trailing
// separator) are dropped; a leading separator makes the path invalid.
bool SplitKeyPath(std::string_view path, std::vector<std::string>* parts);

// The same one component at a time, for walks that need no copies: takes the next
// non-empty component off the front of `*rest` into `*part`; false when none is left.
// The caller refuses a path with a leading separator first.
bool NextKeyComponent(std::string_view* rest, std::string_view* part);

class Registry {
 public:
  Registry();
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  // Hive roots by their registry-editor names: HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER,
  // HKEY_USERS, HKEY_CLASSES_ROOT (the latter a view of HKLM\SOFTWARE\Classes).
  std::shared_ptr<RegKey> Root(std::string_view hiveName) const;
  std::shared_ptr<RegKey> LocalMachine() const { return hklm_; }
  std::shared_ptr<RegKey> CurrentUser() const { return hkcu_; }

  // Key lookup below `from`; null when a component is missing.
  static std::shared_ptr<RegKey> Find(const std::shared_ptr<RegKey>& from, std::string_view path);
  // Creates missing components (inheriting access lists) and returns the key.
  std::shared_ptr<RegKey> Create(const std::shared_ptr<RegKey>& from, std::string_view path);
  // "HKEY_LOCAL_MACHINE\..." full paths, as in registry files.
  std::shared_ptr<RegKey> FindFull(std::string_view fullPath) const;
  std::shared_ptr<RegKey> CreateFull(std::string_view fullPath);

  // Removes a key and its whole subtree; open handles to any of them fail afterwards.
  static void DeleteTree(const std::shared_ptr<RegKey>& key);

  // Convenience for fixtures and tests.
  std::shared_ptr<RegKey> SetValue(std::string_view fullKeyPath, std::string_view name,
                                   uint32_t type, std::string data);
  static std::string StringData(std::string_view text) {  // REG_SZ bytes with one NUL
    return std::string(text) + '\0';
  }
  static std::string DwordData(uint32_t v);

  // Deep equality of two registries (names, values, access lists).
  bool SameAs(const Registry& other, std::string* firstDifference) const;

  // The monotonic tick used for last-write times; the machine sets it from its clock.
  uint64_t now = 0;

 private:
  std::shared_ptr<RegKey> hklm_, hkcu_, hku_;
};

}  // namespace sim
