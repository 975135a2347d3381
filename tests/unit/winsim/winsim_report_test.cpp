// The pieces of winsim's reports: a machine's changes sorted into their groups (which
// files count as staged INF files, and which package INF each came from) and written
// as text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/machine/machine_diff.h"
#include "platform/sim/storage/reg_file.h"
#include "platform/sim/machine/registry.h"
#include "platform/sim/sdk/win32_sim.h"
#include "tools/winsim/machine_changes.h"

namespace winsim {
namespace {

sim::MachineItem File(const std::string& path, const std::string& content) {
  sim::MachineItem item;
  item.kind = sim::MachineItem::Kind::kFile;
  item.path = path;
  item.content = content;
  item.attributes = FILE_ATTRIBUTE_ARCHIVE;
  return item;
}

sim::MachineItem Value(const std::string& key, const std::string& name, uint32_t type,
                       const std::string& data) {
  sim::MachineItem item;
  item.kind = sim::MachineItem::Kind::kValue;
  item.path = key;
  item.valueName = name;
  item.value = sim::RegValue{type, data};
  return item;
}

TEST(WinsimMachineChanges, OnlyTheDeviceInstallersNamesInTheInfFolderAreStagedInfFiles) {
  const std::string ports = "[Version]\r\nClass=Ports\r\n";
  const std::string multifunction = "[Version]\r\nClass=MultiFunction\r\n";
  const std::vector<sim::MachineItem> fresh = {
      File("D:\\Sabrelune.inf", ports),
      File("D:\\X86\\Dovrik.INF", multifunction),
      File("D:\\Readme.txt", ports),
      File("C:\\Elsewhere.inf", multifunction),
  };
  const PackageInfs infs = PackageInfsOn(fresh, 'D');
  ASSERT_EQ(2u, infs.size());
  EXPECT_EQ("D:\\Sabrelune.inf", infs[0].first);
  EXPECT_EQ("D:\\X86\\Dovrik.INF", infs[1].first);

  struct Case {
    std::string path;
    std::string content;
    bool staged;
    std::string origin;
  };
  const std::vector<Case> cases = {
      {"C:\\WINDOWS\\inf\\oem0.inf", ports, true, "D:\\Sabrelune.inf"},
      {"C:\\WINDOWS\\inf\\oem0.pnf", sim::AnsiToUtf16Le(ports), true, "D:\\Sabrelune.inf"},
      {"C:\\WINDOWS\\INF\\OEM12.PNF", sim::AnsiToUtf16Le(multifunction), true,
       "D:\\X86\\Dovrik.INF"},
      // A PNF holds 16-bit text: one with the 8-bit text came from no package INF.
      {"C:\\WINDOWS\\inf\\oem3.pnf", ports, true, ""},
      {"C:\\WINDOWS\\inf\\oem4.inf", "something else", true, ""},
      {"C:\\WINDOWS\\inf\\oem.inf", ports, false, ""},
      {"C:\\WINDOWS\\inf\\oem5a.inf", ports, false, ""},
      {"C:\\WINDOWS\\inf\\oem6.inf.bak", ports, false, ""},
      {"C:\\WINDOWS\\inf\\oem7.txt", ports, false, ""},
      {"C:\\WINDOWS\\inf\\machine.inf", ports, false, ""},
      {"C:\\WINDOWS\\inf\\sub\\oem8.inf", ports, false, ""},
      {"C:\\WINDOWS\\infs\\oem9.inf", ports, false, ""},
      {"C:\\oem10.inf", ports, false, ""},
  };
  for (const Case& c : cases) {
    const std::vector<sim::MachineItem> after = {File(c.path, c.content)};
    const MachineChanges groups =
        GroupChanges(sim::CompareInventories({}, after), "C:\\WINDOWS", infs);
    if (c.staged) {
      ASSERT_EQ(1u, groups.stagedInfs.size()) << c.path;
      EXPECT_TRUE(groups.files.empty()) << c.path;
      EXPECT_EQ(c.origin, groups.stagedInfs[0].origin) << c.path;
    } else {
      EXPECT_TRUE(groups.stagedInfs.empty()) << c.path;
      EXPECT_EQ(1u, groups.files.size()) << c.path;
    }
  }
}

TEST(WinsimMachineChanges, TheTextShowsEachValueInRegistryFileNotationUnderItsKey) {
  const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Test";
  sim::MachineItem keyItem;
  keyItem.kind = sim::MachineItem::Kind::kKey;
  keyItem.path = key;
  const std::vector<sim::MachineItem> before = {
      keyItem,
      Value(key, "Count", REG_DWORD, sim::Registry::DwordData(1)),
      Value(key, "Gone", REG_SZ, sim::Registry::StringData("old")),
  };
  const std::vector<sim::MachineItem> after = {
      keyItem,
      Value(key, "Count", REG_DWORD, sim::Registry::DwordData(2)),
      // Written with extra bytes after the text, as the installer does.
      Value(key, "Name", REG_SZ, std::string("Ab\0\0\0", 5)),
      Value(key, "", REG_SZ, sim::Registry::StringData("plain \"quoted\"")),
  };
  const MachineChanges groups =
      GroupChanges(sim::CompareInventories(before, after), "C:\\WINDOWS", {});
  EXPECT_EQ(
      "Files and folders: none\n"
      "Registry keys and values:\n"
      "    [HKEY_LOCAL_MACHINE\\SOFTWARE\\Test]\n"
      "      + @=\"plain \\\"quoted\\\"\"\n"
      "      ~ \"Count\"=dword:00000002\n"
      "        was \"Count\"=dword:00000001\n"
      "      - \"Gone\"=\"old\"\n"
      "      + \"Name\"=hex(1):41,00,62,00,00,00,00,00,00,00  ; REG_SZ \"Ab\"\n"
      "Staged INF files: none\n",
      ChangesText(groups, ""));
}

}  // namespace
}  // namespace winsim
