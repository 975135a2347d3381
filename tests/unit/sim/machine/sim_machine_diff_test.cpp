// Machine inventories and their comparison: every kind of change to files, folders, keys
// and values is seen once, what Windows does not tell apart (letter case, time stamps
// moved by the clock) is no change, and a change's place is right after its parent.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <random>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/machine_diff.h"
#include "platform/sim/sdk/win32_sim.h"

namespace sim {
namespace {

const char kSoftware[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\DiffTest";

// A small machine: C:\Data\a.txt, C:\Data\b.txt, and a key with two values and a
// subkey.
std::unique_ptr<Machine> SmallMachine() {
  auto machine = std::make_unique<Machine>();
  machine->files.AddDrive('C');
  machine->files.WriteFile("C:\\Data\\a.txt", "alpha");
  machine->files.WriteFile("C:\\Data\\b.txt", "beta");
  machine->registry.SetValue(kSoftware, "Text", REG_SZ, Registry::StringData("one"));
  machine->registry.SetValue(kSoftware, "Number", REG_DWORD, Registry::DwordData(1));
  machine->registry.CreateFull(std::string(kSoftware) + "\\Sub");
  return machine;
}

std::string Described(const MachineChange& c) {
  const char* marker = c.kind == MachineChange::Kind::kAdded     ? "+"
                       : c.kind == MachineChange::Kind::kRemoved ? "-"
                                                                 : "~";
  const MachineItem& item = c.Item();
  switch (item.kind) {
    case MachineItem::Kind::kFolder:
      return std::string(marker) + " folder " + item.path;
    case MachineItem::Kind::kFile:
      return std::string(marker) + " file " + item.path;
    case MachineItem::Kind::kKey:
      return std::string(marker) + " key " + item.path;
    case MachineItem::Kind::kValue:
      return std::string(marker) + " value " + item.path + " : " + item.valueName;
  }
  return "?";
}

std::vector<std::string> ChangesMadeBy(const std::function<void(Machine&)>& change) {
  std::unique_ptr<Machine> machine = SmallMachine();
  const std::vector<MachineItem> before = TakeInventory(*machine);
  change(*machine);
  const std::vector<MachineItem> after = TakeInventory(*machine);
  std::vector<std::string> described;
  for (const MachineChange& c : CompareInventories(before, after))
    described.push_back(Described(c));
  return described;
}

struct DiffCase {
  const char* name;
  std::function<void(Machine&)> change;
  std::vector<std::string> expected;
};

TEST(MachineDiff, EachKindOfChangeIsSeenOnceInItsPlace) {
  const std::string key = kSoftware;
  const std::vector<DiffCase> cases = {
      {"nothing", [](Machine&) {}, {}},
      {"a file added in a new folder",
       [](Machine& m) { m.files.WriteFile("C:\\Data\\New\\c.txt", "gamma"); },
       {"+ folder C:\\Data\\New", "+ file C:\\Data\\New\\c.txt"}},
      {"a file's content changed, same size",
       [](Machine& m) { m.files.Find("C:\\Data\\a.txt")->content = "ALPHA"; },
       {"~ file C:\\Data\\a.txt"}},
      {"a file's attributes changed",
       [](Machine& m) { m.files.Find("C:\\Data\\a.txt")->attributes |= FILE_ATTRIBUTE_READONLY; },
       {"~ file C:\\Data\\a.txt"}},
      {"a file's and its folder's time stamps moved",
       [](Machine& m) {
         m.files.Find("C:\\Data\\a.txt")->lastWriteTime += 10;
         m.files.Find("C:\\Data\\a.txt")->lastAccessTime += 10;
         m.files.Find("C:\\Data")->lastWriteTime += 10;
       },
       {}},
      {"a folder's attributes changed",
       [](Machine& m) { m.files.Find("C:\\Data")->attributes |= FILE_ATTRIBUTE_HIDDEN; },
       {"~ folder C:\\Data"}},
      {"a folder removed with its files",
       [](Machine& m) { FileSystem::Detach(m.files.Find("C:\\Data")); },
       {"- folder C:\\Data", "- file C:\\Data\\a.txt", "- file C:\\Data\\b.txt"}},
      {"a file written again under other letter case",
       [](Machine& m) {
         FileSystem::Detach(m.files.Find("C:\\Data\\a.txt"));
         m.files.WriteFile("C:\\Data\\A.TXT", "alpha");
       },
       {"~ file C:\\Data\\A.TXT"}},
      {"a file replaced by a folder of its name",
       [](Machine& m) {
         FileSystem::Detach(m.files.Find("C:\\Data\\b.txt"));
         m.files.MakeDirectories("C:\\Data\\b.txt");
       },
       {"+ folder C:\\Data\\b.txt", "- file C:\\Data\\b.txt"}},
      {"a second drive",
       [](Machine& m) {
         m.files.AddDrive('D');
         m.files.WriteFile("D:\\Setup.inf", "x");
       },
       {"+ folder D:\\", "+ file D:\\Setup.inf"}},
      {"a key added with a value",
       [&](Machine& m) { m.registry.SetValue(key + "\\New", "", REG_SZ, "x"); },
       {"+ key " + key + "\\New", "+ value " + key + "\\New : "}},
      {"a value's data changed",
       [&](Machine& m) { m.registry.SetValue(key, "Number", REG_DWORD, Registry::DwordData(2)); },
       {"~ value " + key + " : Number"}},
      {"a value's type changed, its bytes not",
       [&](Machine& m) { m.registry.SetValue(key, "Number", REG_BINARY, Registry::DwordData(1)); },
       {"~ value " + key + " : Number"}},
      {"a value written again, nothing changed",
       [&](Machine& m) { m.registry.SetValue(key, "Text", REG_SZ, Registry::StringData("one")); },
       {}},
      {"a key's access list changed",
       [&](Machine& m) {
         m.registry.FindFull(key + "\\Sub")
             ->security.explicitAces.push_back({Ace::kAllow, 0, KEY_ALL_ACCESS, "Administrator"});
       },
       {"~ key " + key + "\\Sub"}},
      {"a key deleted with its values and subkey",
       [&](Machine& m) { Registry::DeleteTree(m.registry.FindFull(key)); },
       {"- key " + key, "- value " + key + " : Number", "- value " + key + " : Text",
        "- key " + key + "\\Sub"}},
      // A value's name may hold backslashes: it is no path. Names sort as Windows lists
      // them, folded to upper case ('Z' before '\\').
      {"a value named like a path, beside a subkey",
       [&](Machine& m) {
         m.registry.SetValue(key, "\\Device\\Sub", REG_SZ, Registry::StringData("COM3"));
         m.registry.SetValue(key, "zz", REG_SZ, Registry::StringData("last"));
         m.registry.CreateFull(key + "\\Sub\\Deeper");
       },
       {"+ value " + key + " : zz", "+ value " + key + " : \\Device\\Sub",
        "+ key " + key + "\\Sub\\Deeper"}},
      {"the current user's and the users' hives",
       [](Machine& m) {
         m.registry.CreateFull("HKEY_CURRENT_USER\\DiffTest");
         m.registry.CreateFull("HKEY_USERS\\DiffTest");
       },
       {"+ key HKEY_CURRENT_USER\\DiffTest", "+ key HKEY_USERS\\DiffTest"}},
  };
  for (const DiffCase& c : cases) {
    EXPECT_EQ(c.expected, ChangesMadeBy(c.change)) << c.name;
  }
}

// A folder's contents come right after it, before a sibling whose name only begins like
// the folder's ("Data" < "Data\x" < "Data x" < "Data2"): the separator sorts first.
TEST(MachineDiff, WhatAFolderHoldsFollowsItBeforeItsSiblings) {
  const std::vector<std::string> expected = {"+ file C:\\Data\\x.txt", "+ file C:\\Data x.txt",
                                             "+ file C:\\data2.txt", "+ folder C:\\Data3",
                                             "+ file C:\\Data3\\y.txt"};
  EXPECT_EQ(expected, ChangesMadeBy([](Machine& m) {
              m.files.WriteFile("C:\\data2.txt", "2");
              m.files.WriteFile("C:\\Data3\\y.txt", "3");
              m.files.WriteFile("C:\\Data x.txt", "x");
              m.files.WriteFile("C:\\Data\\x.txt", "in");
            }));
}

TEST(MachineDiff, TheInventoryHoldsRootsKeysBeforeTheirValuesAndWhatEachHolds) {
  std::unique_ptr<Machine> machine = SmallMachine();
  machine->files.Find("C:\\Data\\a.txt")->attributes = FILE_ATTRIBUTE_READONLY;
  const std::vector<MachineItem> items = TakeInventory(*machine);
  std::vector<std::string> paths;
  for (const MachineItem& item : items) {
    if (item.kind == MachineItem::Kind::kValue) {
      paths.push_back(item.path + " : " + item.valueName);
    } else {
      paths.push_back(item.path);
    }
  }
  const std::string key = kSoftware;
  const std::vector<std::string> expected = {"C:\\",
                                             "C:\\Data",
                                             "C:\\Data\\a.txt",
                                             "C:\\Data\\b.txt",
                                             "HKEY_CURRENT_USER",
                                             "HKEY_LOCAL_MACHINE",
                                             "HKEY_LOCAL_MACHINE\\SOFTWARE",
                                             key,
                                             key + " : Number",
                                             key + " : Text",
                                             key + "\\Sub",
                                             "HKEY_USERS"};
  EXPECT_EQ(expected, paths);
  ASSERT_EQ(expected.size(), items.size());
  EXPECT_EQ(MachineItem::Kind::kFolder, items[0].kind);
  EXPECT_EQ(MachineItem::Kind::kFile, items[2].kind);
  EXPECT_EQ("alpha", items[2].content);
  EXPECT_EQ(uint32_t{FILE_ATTRIBUTE_READONLY}, items[2].attributes);
  EXPECT_EQ(MachineItem::Kind::kKey, items[7].kind);
  EXPECT_EQ((RegValue{REG_DWORD, Registry::DwordData(1)}), items[8].value);
}

// Random registries, changed at random: the side-by-side walk finds what the inventories
// find, in their order, with the same items (paths spelled as each side spells them).
std::string WithItems(const MachineChange& c) {
  std::string text = Described(c);
  for (const MachineItem* item : {c.before, c.after}) {
    if (!item) continue;
    text += " | " + item->path + " : " + item->valueName + " " + std::to_string(item->value.type) +
            " " + item->value.data + (item->security.isProtected ? " protected" : "");
  }
  return text;
}

// A name from a few that differ only in letter case, so that names collide as Windows
// folds them.
std::string RandomName(std::mt19937& random) {
  static const char* const kNames[] = {"a", "A", "b", "B", "ab", "aB", "Ab", "z", "\\x"};
  return kNames[random() % (sizeof kNames / sizeof kNames[0])];
}

void Grow(Registry& registry, const std::shared_ptr<RegKey>& key, std::mt19937& random, int depth) {
  for (unsigned n = random() % 3; n > 0; --n) {
    const std::string name = RandomName(random);
    if (name.find('\\') == std::string::npos)
      key->values.Put(name, RegValue{static_cast<uint32_t>(random() % 3), std::string(1, 'v')});
  }
  if (depth == 0) return;
  for (unsigned n = random() % 4; n > 0; --n) {
    const std::string name = RandomName(random);
    if (name.find('\\') != std::string::npos) continue;
    Grow(registry, registry.Create(key, name), random, depth - 1);
  }
}

void ChangeAtRandom(Registry& registry, const std::shared_ptr<RegKey>& key, std::mt19937& random) {
  std::vector<std::pair<std::string, std::shared_ptr<RegKey>>> subkeys;
  key->subkeys.ForEach([&](const std::string& name, const std::shared_ptr<RegKey>& sub) {
    subkeys.emplace_back(name, sub);
  });
  switch (random() % 8) {
    case 0:  // a value changed, added or spelled anew
      key->values.Put(RandomName(random), RegValue{1, "w"});
      break;
    case 1: {  // a value removed
      std::string first;
      key->values.ForEach([&](const std::string& name, const RegValue&) {
        if (first.empty()) first = name;
      });
      key->values.Erase(first);
      break;
    }
    case 2:
      key->security.isProtected = !key->security.isProtected;
      break;
    case 3: {  // a subtree added
      const std::string name = RandomName(random) + "new";
      if (name.find('\\') == std::string::npos)
        Grow(registry, registry.Create(key, name), random, 2);
      break;
    }
    default:
      break;
  }
  for (auto& [name, sub] : subkeys) {
    const unsigned what = random() % 10;
    if (what == 0) {
      Registry::DeleteTree(sub);
    } else if (what == 1) {
      // The key spelled anew: removed, and made again under the other letter case.
      std::string other = name;
      for (char& c : other)
        c = static_cast<char>(c ^ (std::isalpha(static_cast<unsigned char>(c)) ? 0x20 : 0));
      Registry::DeleteTree(sub);
      registry.Create(key, other);
    } else {
      ChangeAtRandom(registry, sub, random);
    }
  }
}

TEST(CompareRegistries, FindsWhatTheInventoriesFind) {
  size_t seen = 0;
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    Machine before, after;
    for (Machine* m : {&before, &after}) {
      std::mt19937 random(seed);
      Grow(m->registry, m->registry.LocalMachine(), random, 4);
      Grow(m->registry, m->registry.CurrentUser(), random, 2);
    }
    std::mt19937 random(seed * 7919);
    ChangeAtRandom(after.registry, after.registry.LocalMachine(), random);
    ChangeAtRandom(after.registry, after.registry.CurrentUser(), random);

    const std::vector<MachineItem> was = TakeInventory(before), is = TakeInventory(after);
    std::vector<std::string> expected, walked;
    for (const MachineChange& c : CompareInventories(was, is)) expected.push_back(WithItems(c));
    const RegistryComparison compared = CompareRegistries(before, after);
    for (const MachineChange& c : compared.changes) walked.push_back(WithItems(c));
    ASSERT_EQ(walked, expected) << "seed " << seed;
    seen += expected.size();
  }
  EXPECT_GT(seen, 1000u);  // the changes were many, of every kind
}

}  // namespace
}  // namespace sim
