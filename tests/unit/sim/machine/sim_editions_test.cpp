// Edition templates: each builds, its registry and drives agree with its identity, the
// device keys refer to each other as Windows' do, and Enum and Class are protected.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/machine/edition_folders.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/win32.h"

namespace {

using sim::Machine;
using sim::RegKey;
using sim::RegValue;

std::unique_ptr<Machine> Make(const std::string& name) {
  std::string error;
  auto machine = sim::MachineFromEdition(name, &error);
  EXPECT_TRUE(machine) << name << ": " << error;
  return machine;
}

bool IsNt(const Machine& m) { return m.os.platformId == VER_PLATFORM_WIN32_NT; }
bool IsNt4(const Machine& m) { return IsNt(m) && m.os.majorVersion == 4; }

const RegKey* Key(const Machine& m, const std::string& path) {
  return m.registry.FindFull("HKEY_LOCAL_MACHINE\\" + path).get();
}

const RegValue* Value(const Machine& m, const std::string& path, const char* name) {
  const RegKey* key = Key(m, path);
  return key ? key->values.Find(name) : nullptr;
}

// The text of a REG_SZ / REG_EXPAND_SZ value without its terminating NUL; "<missing>"
// or "<type N>" when it is not a string.
std::string Text(const Machine& m, const std::string& path, const char* name) {
  const RegValue* v = Value(m, path, name);
  if (!v) return "<missing>";
  if (v->type != REG_SZ && v->type != REG_EXPAND_SZ)
    return "<type " + std::to_string(v->type) + ">";
  if (v->data.empty() || v->data.back() != '\0') return "<unterminated>";
  return v->data.substr(0, v->data.size() - 1);
}

bool HasText(const Machine& m, const std::string& path, const char* name) {
  const std::string text = Text(m, path, name);
  return !text.empty() && text[0] != '<';
}

std::vector<std::string> MultiStrings(const RegValue& v) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start < v.data.size() && v.data[start] != '\0') {
    const size_t end = v.data.find('\0', start);
    items.push_back(v.data.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

// Visits the keys `depth` levels below `key`, with their paths relative to it.
void ForEachAtDepth(const RegKey& key, int depth, const std::string& prefix,
                    const std::function<void(const std::string&, const RegKey&)>& fn) {
  key.subkeys.ForEach([&](const std::string& name, const std::shared_ptr<RegKey>& child) {
    const std::string path = prefix.empty() ? name : prefix + "\\" + name;
    if (depth == 1) {
      fn(path, *child);
    } else {
      ForEachAtDepth(*child, depth - 1, path, fn);
    }
  });
}

void ForEachKey(const RegKey& key, const std::function<void(const RegKey&)>& fn) {
  fn(key);
  key.subkeys.ForEach(
      [&](const std::string&, const std::shared_ptr<RegKey>& child) { ForEachKey(*child, fn); });
}

class EditionTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    machine_ = Make(GetParam());
    ASSERT_TRUE(machine_);
  }
  const Machine& m() const { return *machine_; }
  std::unique_ptr<Machine> machine_;
};

// ---- Names ---------------------------------------------------------------------------------

TEST(EditionNames, TheSupportedEditionsAreAllThere) {
  const std::vector<std::string> names = sim::EditionNames();
  const std::set<std::string> unique(names.begin(), names.end());
  EXPECT_EQ(unique.size(), names.size()) << "a name is listed twice";
  for (const char* expected : {"2000",
                               "xp",
                               "xp-x64",
                               "2003",
                               "2003-enterprise",
                               "2003-datacenter",
                               "2003-web",
                               "2003-x64",
                               "2003-x64-enterprise",
                               "2003-x64-datacenter",
                               "2003-ia64",
                               "2003-ia64-enterprise",
                               "2003-ia64-datacenter",
                               "vista",
                               "vista-x64",
                               "vista-server",
                               "7-x64",
                               "nt4-sp6",
                               "nt4-sp6a",
                               "95-osr2",
                               "98-se",
                               "me"}) {
    EXPECT_EQ(unique.count(expected), 1u) << expected;
  }
  EXPECT_EQ(names.size(), 22u);
  for (const auto& name : names) {
    for (char c : name) EXPECT_FALSE(c >= 'A' && c <= 'Z') << name;
  }
}

TEST(EditionNames, UnknownNameIsRefusedNamingTheKnownOnes) {
  for (const char* bad : {"", "xp64", "xp-x86", "windows xp", "2003 "}) {
    std::string error;
    EXPECT_EQ(sim::MachineFromEdition(bad, &error), nullptr) << bad;
    EXPECT_NE(error.find("xp-x64"), std::string::npos) << error;
  }
  EXPECT_EQ(sim::MachineFromEdition("nope", nullptr), nullptr);
}

TEST(EditionNames, NameIsMatchedWithoutRegardToCase) {
  auto machine = Make("XP-X64");
  ASSERT_TRUE(machine);
  EXPECT_EQ(machine->os.edition, "xp-x64");
}

// ---- Identity ------------------------------------------------------------------------------

TEST_P(EditionTest, IsBuiltTheSameEveryTime) {
  auto again = Make(GetParam());
  ASSERT_TRUE(again);
  std::string difference;
  EXPECT_TRUE(m().SameAs(*again, &difference)) << difference;
  EXPECT_EQ(m().os.edition, GetParam());
}

TEST_P(EditionTest, IdentityFollowsItsFamily) {
  const sim::OsIdentity& os = m().os;
  if (!IsNt(m())) {
    EXPECT_EQ(os.platformId, static_cast<uint32_t>(VER_PLATFORM_WIN32_WINDOWS));
    EXPECT_EQ(os.majorVersion, 4u);
    // The high word of a 9x build number repeats major and minor.
    EXPECT_EQ(os.buildNumber >> 24, os.majorVersion);
    EXPECT_EQ((os.buildNumber >> 16) & 0xFF, os.minorVersion);
    EXPECT_FALSE(os.hasExtendedVersionInfo);
    EXPECT_EQ(os.systemFolderName, "SYSTEM");
    // " B", " A", " ": a space, then the release letter if any.
    ASSERT_FALSE(os.csdVersion.empty());
    EXPECT_LE(os.csdVersion.size(), 2u);
    EXPECT_EQ(os.csdVersion[0], ' ');
    EXPECT_EQ(os.hasSetupApi, os.minorVersion > 0) << "98 and Me have SETUPAPI, 95 has not";
  } else {
    EXPECT_LT(os.buildNumber, 0x10000u);
    EXPECT_TRUE(os.hasExtendedVersionInfo) << "every NT template is NT 4.0 SP6 or later";
    EXPECT_EQ(os.systemFolderName, "system32");
    EXPECT_EQ(os.csdVersion, "Service Pack " + std::to_string(os.servicePackMajor));
    EXPECT_EQ(os.hasSetupApi, os.majorVersion >= 5);
    EXPECT_TRUE(os.productType == VER_NT_WORKSTATION || os.productType == VER_NT_SERVER);
  }
  const bool xpOrLater =
      IsNt(m()) && (os.majorVersion > 5 || (os.majorVersion == 5 && os.minorVersion >= 1));
  EXPECT_EQ(os.hasGetNativeSystemInfo, xpOrLater);
  const bool winnt = IsNt4(m()) || (os.majorVersion == 5 && os.minorVersion == 0);
  EXPECT_EQ(os.windowsFolder, winnt ? "C:\\WINNT" : "C:\\WINDOWS");
  // 64-bit Windows began with XP x64 / Server 2003 (NT 5.2).
  if (os.Is64Bit()) {
    EXPECT_TRUE(IsNt(m()));
    EXPECT_TRUE(os.majorVersion >= 6 || os.minorVersion == 2);
  }
}

// ---- Registry: version keys ----------------------------------------------------------------

constexpr const char* kCurrentVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* kNtCurrentVersion = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* kControl = "SYSTEM\\CurrentControlSet\\Control";
constexpr const char* kPortsClass = "{4D36E978-E325-11CE-BFC1-08002BE10318}";

void ExpectUninstallEntries(const Machine& m, const std::string& uninstall) {
  const RegKey* key = Key(m, uninstall);
  ASSERT_TRUE(key) << uninstall;
  EXPECT_GE(key->subkeys.Size(), 1u);
  key->subkeys.ForEach([&](const std::string& name, const std::shared_ptr<RegKey>&) {
    EXPECT_TRUE(HasText(m, uninstall + "\\" + name, "DisplayName")) << name;
    EXPECT_TRUE(HasText(m, uninstall + "\\" + name, "UninstallString")) << name;
  });
}

TEST_P(EditionTest, CurrentVersionKeysMatchTheIdentity) {
  EXPECT_EQ(Text(m(), kCurrentVersion, "ProgramFilesDir"), "C:\\Program Files");
  EXPECT_EQ(Text(m(), kCurrentVersion, "CommonFilesDir"), "C:\\Program Files\\Common Files");
  ExpectUninstallEntries(m(), std::string(kCurrentVersion) + "\\Uninstall");
  const sim::OsIdentity& os = m().os;
  if (!IsNt(m())) {
    EXPECT_EQ(Key(m(), "SOFTWARE\\Microsoft\\Windows NT"), nullptr);
    EXPECT_EQ(Text(m(), kCurrentVersion, "SubVersionNumber"), os.csdVersion);
    EXPECT_EQ(Text(m(), kCurrentVersion, "SystemRoot"), os.windowsFolder);
    return;
  }
  EXPECT_EQ(Text(m(), kNtCurrentVersion, "CurrentVersion"),
            std::to_string(os.majorVersion) + "." + std::to_string(os.minorVersion));
  EXPECT_EQ(Text(m(), kNtCurrentVersion, "CurrentBuildNumber"), std::to_string(os.buildNumber));
  EXPECT_EQ(Text(m(), kNtCurrentVersion, "CSDVersion"), os.csdVersion);
  EXPECT_EQ(Text(m(), kNtCurrentVersion, "SystemRoot"), os.windowsFolder);
  if (!IsNt4(m())) {
    EXPECT_TRUE(HasText(m(), kNtCurrentVersion, "ProductName"));
  }

  const std::string ports = std::string(kNtCurrentVersion) + "\\Ports";
  EXPECT_EQ(Text(m(), ports, "COM1:"), "9600,n,8,1");
  EXPECT_EQ(Text(m(), ports, "COM2:"), "9600,n,8,1");
  EXPECT_EQ(Text(m(), ports, "LPT1:"), "");
  EXPECT_EQ(Text(m(), ports, "FILE:"), "");

  const bool hotfix = Key(m(), std::string(kNtCurrentVersion) + "\\Hotfix\\Q246009") != nullptr;
  EXPECT_EQ(hotfix, GetParam() == "nt4-sp6a");
}

TEST_P(EditionTest, SixtyFourBitEditionsHaveThe32BitView) {
  const RegKey* wow = Key(m(), "SOFTWARE\\Wow6432Node");
  if (!m().os.Is64Bit()) {
    EXPECT_EQ(wow, nullptr);
    EXPECT_EQ(Value(m(), kCurrentVersion, "ProgramFilesDir (x86)"), nullptr);
    return;
  }
  ASSERT_TRUE(wow);
  const std::string cv = std::string("SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion");
  EXPECT_EQ(Text(m(), cv, "ProgramFilesDir"), "C:\\Program Files (x86)");
  EXPECT_EQ(Text(m(), kCurrentVersion, "ProgramFilesDir (x86)"), "C:\\Program Files (x86)");
  ExpectUninstallEntries(m(), cv + "\\Uninstall");
  const std::string nt = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion";
  EXPECT_EQ(Text(m(), nt, "CurrentBuildNumber"), std::to_string(m().os.buildNumber));
  // Ports is shared between the views; the 32-bit view has no copy of its own.
  EXPECT_EQ(Key(m(), nt + "\\Ports"), nullptr);
}

TEST_P(EditionTest, ProductOptionsMatchTheIdentity) {
  if (!IsNt(m())) {
    EXPECT_EQ(Key(m(), "SYSTEM\\CurrentControlSet\\Control\\ProductOptions"), nullptr);
    return;
  }
  const std::string options = std::string(kControl) + "\\ProductOptions";
  const char* expected = m().os.productType == VER_NT_WORKSTATION ? "WinNT" : "ServerNT";
  EXPECT_EQ(Text(m(), options, "ProductType"), expected);
  const RegValue* suite = Value(m(), options, "ProductSuite");
  ASSERT_TRUE(suite);
  EXPECT_EQ(suite->type, static_cast<uint32_t>(REG_MULTI_SZ));
  const std::vector<std::string> names = MultiStrings(*suite);
  auto has = [&](const char* n) { return std::find(names.begin(), names.end(), n) != names.end(); };
  EXPECT_EQ(has("Enterprise"), (m().os.suiteMask & VER_SUITE_ENTERPRISE) != 0);
  EXPECT_EQ(has("DataCenter"), (m().os.suiteMask & VER_SUITE_DATACENTER) != 0);
  EXPECT_EQ(has("Blade"), (m().os.suiteMask & VER_SUITE_BLADE) != 0);
}

// ---- Registry: ports, devices and classes ----------------------------------------------------

TEST_P(EditionTest, ComPortsAreTakenInEveryPlaceWindowsRecordsThem) {
  if (!IsNt(m())) {
    EXPECT_EQ(Text(m(), "HARDWARE\\DEVICEMAP\\SERIALCOMM", "COM1"), "COM1");
    return;
  }
  EXPECT_EQ(Text(m(), "HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial0"), "COM1");
  EXPECT_EQ(Text(m(), "HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\Serial1"), "COM2");
  const RegValue* comDb = Value(m(), std::string(kControl) + "\\COM Name Arbiter", "ComDB");
  if (IsNt4(m())) {
    EXPECT_EQ(comDb, nullptr) << "the COM database came with Windows 2000";
    return;
  }
  ASSERT_TRUE(comDb);
  EXPECT_EQ(comDb->type, static_cast<uint32_t>(REG_BINARY));
  ASSERT_EQ(comDb->data.size(), 32u);
  EXPECT_EQ(static_cast<unsigned char>(comDb->data[0]), 0x03);
  EXPECT_EQ(comDb->data.find_first_not_of('\0', 1), std::string::npos);

  // The PortName of every ports device is a taken COM number or an LPT name.
  std::set<std::string> portNames;
  const std::string enumPath = "SYSTEM\\CurrentControlSet\\Enum";
  ForEachAtDepth(*Key(m(), enumPath), 3, "", [&](const std::string& id, const RegKey&) {
    const std::string path = enumPath + "\\" + id;
    if (Text(m(), path, "ClassGUID") != kPortsClass) return;
    portNames.insert(Text(m(), path + "\\Device Parameters", "PortName"));
  });
  EXPECT_EQ(portNames, (std::set<std::string>{"COM1", "COM2", "LPT1"}));
}

TEST_P(EditionTest, EveryDeviceInstanceReferencesItsClassAndDriverKeys) {
  const std::string enumPath = IsNt(m()) ? "SYSTEM\\CurrentControlSet\\Enum" : "Enum";
  const RegKey* enumKey = Key(m(), enumPath);
  ASSERT_TRUE(enumKey);
  if (!IsNt(m())) {
    EXPECT_EQ(Key(m(), "SYSTEM\\CurrentControlSet\\Enum"), nullptr);
  } else if (IsNt4(m())) {
    EXPECT_EQ(enumKey->subkeys.Size(), 1u) << "NT 4.0 has only Root";
  } else {
    for (const char* enumerator : {"Root", "ACPI", "PCI"}) {
      EXPECT_TRUE(enumKey->subkeys.Find(enumerator)) << enumerator;
    }
  }
  const std::string classPath =
      IsNt(m()) ? std::string(kControl) + "\\Class" : "System\\CurrentControlSet\\Services\\Class";
  int instances = 0;
  ForEachAtDepth(*enumKey, 3, "", [&](const std::string& id, const RegKey&) {
    ++instances;
    const std::string path = enumPath + "\\" + id;
    const std::string classGuid = Text(m(), path, "ClassGUID");
    EXPECT_EQ(classGuid.size(), 38u) << id << ": " << classGuid;
    const RegValue* flags = Value(m(), path, "ConfigFlags");
    ASSERT_TRUE(flags) << id;
    EXPECT_EQ(flags->data, std::string(4, '\0')) << id;
    if (IsNt4(m())) return;  // legacy drivers have neither hardware ids nor driver keys
    const RegValue* ids = Value(m(), path, "HardwareID");
    ASSERT_TRUE(ids) << id;
    const std::string driver = Text(m(), path, "Driver");
    if (IsNt(m())) {
      EXPECT_EQ(flags->type, static_cast<uint32_t>(REG_DWORD)) << id;
      EXPECT_EQ(ids->type, static_cast<uint32_t>(REG_MULTI_SZ)) << id;
      EXPECT_FALSE(MultiStrings(*ids).empty()) << id;
      // The driver key is "{class guid}\NNNN" below the class's own key.
      EXPECT_EQ(driver.substr(0, 38), classGuid) << id;
      EXPECT_EQ(Text(m(), classPath + "\\" + classGuid, "Class"), Text(m(), path, "Class")) << id;
    }
    const std::string driverKey = classPath + "\\" + driver;
    EXPECT_TRUE(Key(m(), driverKey)) << id << " -> " << driverKey;
    EXPECT_EQ(Text(m(), driverKey, "DriverDesc"), Text(m(), path, "DeviceDesc")) << id;
    EXPECT_TRUE(HasText(m(), driverKey, "InfPath")) << id;
  });
  EXPECT_GE(instances, 2);
}

TEST_P(EditionTest, ClassKeysOfPortsAndMultifunctionDevices) {
  if (!IsNt(m())) {
    const std::string ports = "System\\CurrentControlSet\\Services\\Class\\Ports";
    EXPECT_EQ(Text(m(), ports + "\\0000", "MatchingDeviceId"), "*PNP0501");
    EXPECT_EQ(Text(m(), ports + "\\0001", "MatchingDeviceId"), "*PNP0401");
    return;
  }
  const std::string classes = std::string(kControl) + "\\Class";
  const std::string ports = classes + "\\" + kPortsClass;
  EXPECT_EQ(Text(m(), ports, "Class"), "Ports");
  const RegKey* mf = Key(m(), classes + "\\{4D36E971-E325-11CE-BFC1-08002BE10318}");
  if (IsNt4(m())) {
    EXPECT_EQ(mf, nullptr);
    return;
  }
  ASSERT_TRUE(mf);
  // Windows writes this one class key in lower case.
  EXPECT_EQ(mf->name, "{4d36e971-e325-11ce-bfc1-08002be10318}");
  EXPECT_EQ(Text(m(), mf->PathBelowRoot(), "Class"), "MultiFunction");
  EXPECT_EQ(Text(m(), ports + "\\0000", "MatchingDeviceId"), "*pnp0501");
  EXPECT_EQ(Text(m(), ports + "\\0001", "MatchingDeviceId"), "*pnp0401");
  for (const char* index : {"0000", "0001"}) {
    EXPECT_EQ(Text(m(), ports + "\\" + index, "InfPath"), "msports.inf");
    EXPECT_TRUE(HasText(m(), ports + "\\" + index, "DriverDesc"));
  }
  EXPECT_GE(Key(m(), classes)->subkeys.Size(), 4u) << "a couple of other classes";
}

TEST_P(EditionTest, PortServicesAndOneControlSet) {
  if (!IsNt(m())) return;
  for (const char* service : {"Serial", "Parport"}) {
    const std::string path = std::string("SYSTEM\\CurrentControlSet\\Services\\") + service;
    EXPECT_TRUE(Key(m(), path)) << service;
    EXPECT_NE(Text(m(), path, "ImagePath").find(".sys"), std::string::npos) << service;
  }
  EXPECT_EQ(Key(m(), "SYSTEM\\ControlSet001"), nullptr);
}

// ---- Registry: access lists ----------------------------------------------------------------

TEST_P(EditionTest, OnlyEnumAndClassAreProtected) {
  std::set<std::string> protectedKeys;
  ForEachKey(*m().registry.LocalMachine(), [&](const RegKey& key) {
    if (!key.parent) return;  // the hive root has the default list
    if (key.security.isProtected) protectedKeys.insert(key.PathBelowRoot());
    if (!key.security.isProtected) {
      EXPECT_TRUE(key.security.explicitAces.empty()) << key.PathBelowRoot();
    }
  });
  if (!IsNt(m())) {
    EXPECT_TRUE(protectedKeys.empty());
    return;
  }
  EXPECT_EQ(protectedKeys, (std::set<std::string>{"SYSTEM\\CurrentControlSet\\Enum",
                                                  "SYSTEM\\CurrentControlSet\\Control\\Class"}));
  for (const auto& path : protectedKeys) {
    EXPECT_TRUE(Key(m(), path)->security == sim::SystemOnlySecurity()) << path;
  }
}

TEST_P(EditionTest, AnAdministratorMayReadButNotChangeEnumAndClass) {
  if (!IsNt(m())) return;
  sim::ProcessScope scope(*machine_);
  struct Case {
    const char* path;
    bool isProtected;
  };
  const std::vector<Case> cases = {
      {"SYSTEM\\CurrentControlSet\\Enum", true},
      {"SYSTEM\\CurrentControlSet\\Enum\\Root", true},
      {"SYSTEM\\CurrentControlSet\\Control\\Class", true},
      {"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E978-E325-11CE-BFC1-08002BE10318}", true},
      {"SYSTEM\\CurrentControlSet\\Control", false},
      {"SYSTEM\\CurrentControlSet\\Services\\Serial", false},
      {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", false},
  };
  for (const Case& c : cases) {
    HKEY key = nullptr;
    const LONG all = RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.path, 0, KEY_ALL_ACCESS, &key);
    if (all == ERROR_SUCCESS) RegCloseKey(key);
    EXPECT_EQ(all, c.isProtected ? ERROR_ACCESS_DENIED : ERROR_SUCCESS) << c.path;
    key = nullptr;
    const LONG read = RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.path, 0, KEY_READ, &key);
    EXPECT_EQ(read, ERROR_SUCCESS) << c.path;
    if (read == ERROR_SUCCESS) RegCloseKey(key);
  }
}

// ---- Drives --------------------------------------------------------------------------------

bool Exists(const Machine& m, const std::string& path) { return m.files.Find(path) != nullptr; }
bool IsFolder(const Machine& m, const std::string& path) {
  auto node = m.files.Find(path);
  return node && node->isDirectory;
}

TEST_P(EditionTest, DrivesHoldTheWindowsFoldersAndAnEmptyD) {
  const sim::OsIdentity& os = m().os;
  auto d = m().files.Drive('D');
  ASSERT_TRUE(d);
  EXPECT_EQ(d->children.Size(), 0u);
  EXPECT_TRUE(IsFolder(m(), os.SystemFolder()));
  EXPECT_TRUE(IsFolder(m(), "C:\\Program Files"));
  EXPECT_TRUE(Exists(m(), os.windowsFolder + "\\inf\\msports.inf"));
  EXPECT_TRUE(Exists(m(), os.windowsFolder + "\\inf\\machine.inf"));
  if (IsNt(m())) {
    EXPECT_TRUE(IsFolder(m(), os.SystemFolder() + "\\drivers"));
  }

  const bool nt6 = IsNt(m()) && os.majorVersion >= 6;
  EXPECT_EQ(IsFolder(m(), "C:\\Users"), nt6);
  EXPECT_EQ(IsFolder(m(), "C:\\Documents and Settings"), IsNt(m()) && !nt6 && !IsNt4(m()));

  EXPECT_EQ(IsFolder(m(), "C:\\Program Files (x86)"), os.Is64Bit());
  EXPECT_EQ(IsFolder(m(), os.windowsFolder + "\\SysWOW64"), os.Is64Bit());
}

// A customer name that is the name of a folder Windows put in Program Files must meet
// that folder, with its files, as the installer meets it on a real machine.
TEST_P(EditionTest, ProgramFilesHoldsWhatAFreshInstallationPutsThere) {
  const sim::OsIdentity& os = m().os;
  const std::vector<sim::WellKnownFolder> folders = sim::WellKnownFolders(os);
  for (const sim::WellKnownFolder& f : folders) {
    SCOPED_TRACE(f.path);
    ASSERT_TRUE(IsFolder(m(), f.path));
    if (!f.file.empty()) {
      auto file = m().files.Find(f.path + "\\" + f.file);
      ASSERT_TRUE(file && !file->isDirectory);
      EXPECT_GT(file->content.size(), 0u);
    }
    EXPECT_EQ((m().files.Find(f.path)->attributes & FILE_ATTRIBUTE_HIDDEN) != 0, f.hidden);
  }
  const auto holdsFiles = [&](const std::string& path) {
    auto node = m().files.Find(path);
    return node && node->isDirectory && node->children.Size() > 0;
  };
  EXPECT_TRUE(holdsFiles("C:\\Program Files\\Common Files"));
  if (IsNt(m()) && !IsNt4(m())) {
    for (const char* name : {"Windows NT", "Internet Explorer", "Windows Media Player"}) {
      EXPECT_TRUE(holdsFiles(std::string("C:\\Program Files\\") + name)) << name;
      if (os.Is64Bit()) {
        EXPECT_TRUE(holdsFiles(std::string("C:\\Program Files (x86)\\") + name)) << name;
      }
    }
  }
  const bool xp = os.majorVersion == 5 && os.minorVersion == 1;
  EXPECT_EQ(holdsFiles("C:\\Program Files\\xerox"), xp);
  EXPECT_EQ(holdsFiles("C:\\Program Files\\Windows Mail"), IsNt(m()) && os.majorVersion == 6);
}

TEST_P(EditionTest, OemInfHasItsPrecompiledCopy) {
  const std::string inf = m().os.windowsFolder + "\\inf\\";
  if (!IsNt(m()) || IsNt4(m())) {
    EXPECT_FALSE(Exists(m(), inf + "oem0.inf"));
    return;
  }
  auto text = m().files.Find(inf + "oem0.inf");
  auto pnf = m().files.Find(inf + "oem0.pnf");
  ASSERT_TRUE(text && pnf);
  ASSERT_EQ(pnf->content.size(), text->content.size() * 2);
  for (size_t i = 0; i < text->content.size(); ++i) {
    ASSERT_EQ(pnf->content[2 * i], text->content[i]) << i;
    ASSERT_EQ(pnf->content[2 * i + 1], '\0') << i;
  }
  // The device it installed names it.
  EXPECT_NE(text->content.find("PCI\\VEN_10EC&DEV_8139"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Editions, EditionTest, ::testing::ValuesIn(sim::EditionNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = "e" + info.param;
                           for (char& c : name) {
                             if (c == '-') c = '_';
                           }
                           return name;
                         });

}  // namespace
