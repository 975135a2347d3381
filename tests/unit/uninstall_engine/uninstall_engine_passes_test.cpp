// The device registry cleanup passes: what each selects, how it walks, what it deletes.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/unit/uninstall_engine/uninstall_engine_test_support.h"
#include "uninstall_engine/uninstall_context.h"

namespace {

using engine_test::HandleCheck;
using engine_test::MachineTest;

const char kPortsClass[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E978-E325-11CE-BFC1-08002BE10318}";
const char kMfClass[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{4d36e971-e325-11ce-bfc1-08002be10318}";
const char kEnumMf[] = "SYSTEM\\CurrentControlSet\\Enum\\MF";
const char kEnumPci[] = "SYSTEM\\CurrentControlSet\\Enum\\PCI";
const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kProduct[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io Controller";
const char kCard[] = "VEN_6A3C&DEV_5E17";
const char kPortsGuid[] = "{4D36E978-E325-11CE-BFC1-08002BE10318}";

std::string Join(const std::string& a, const std::string& b) { return a + "\\" + b; }

class Passes : public MachineTest {
 public:
  using MachineTest::Key;
  using MachineTest::Sz;

  // Runs `body` in a process on the machine; every handle and block must be given back.
  template <typename Body>
  UninstallContext Run(Body body, const char* customer = "KORVANE") {
    sim::ProcessScope scope(*machine_);
    HandleCheck handles(scope.process());
    UninstallContext context;
    context.customerName = customer;
    body(context);
    return context;
  }
  void MultiSz(const std::string& path, const std::string& name, const std::string& first) {
    Value(path, name, REG_MULTI_SZ, first + std::string(2, '\0'));
  }
  // An instance of a port: class, service and port name as Windows writes them.
  void PortInstance(const std::string& path, const char* className, const char* service,
                    const char* portName) {
    Sz(path, "Class", className);
    Sz(path, "Service", service);
    if (portName) Sz(Join(path, "Device Parameters"), "PortName", portName);
  }
};

TEST_F(Passes, AnEmptyListMatchesNothing) {
  Sz(Join(kPortsClass, "0009"), "MatchingDeviceId", "pci\\ven_6a3c&dev_5e17");
  PortInstance(Join(kEnumPci, "VEN_6A3C&DEV_5E17&SUBSYS_1\\0"), "Ports", "Orrick", "COM3");
  MultiSz(Join(kEnumMf, "PCI#VEN_6A3C&DEV_5E17#0\\Child0000"), "HardwareID",
          "ZELVORAHW\\PCIEX_COM");
  for (const VidPidList& ids : {VidPidList{}, VidPidList{"", kCard}}) {
    UninstallContext context = Run([&](UninstallContext& c) {
      c.RemovePortsClassKeys(ids);
      c.RemoveMultifunctionClassKeys(ids);
      c.RemoveMultifunctionDevices(ids);
      c.RemovePciPortDevices(ids);
      c.RemovePciChildDevices(ids);
      c.RemovePciDeviceKeys(ids);
    });
    EXPECT_TRUE(Exists(Join(kPortsClass, "0009")));
    EXPECT_TRUE(Exists(Join(kEnumPci, "VEN_6A3C&DEV_5E17&SUBSYS_1")));
    EXPECT_TRUE(Exists(Join(kEnumMf, "PCI#VEN_6A3C&DEV_5E17#0")));
    EXPECT_FALSE(context.IsCardComPort(3));
  }
}

TEST_F(Passes, ClassKeysMatchTheVendorAndDevicePartInAnyCase) {
  struct Case {
    const char* key;
    const char* matchingDeviceId;
    bool deleted;
  } cases[] = {
      {"0003", "PCI\\VEN_6A3C&DEV_5E17&SUBSYS_00011000", true},
      {"0004", "pci\\ven_6a3c&dev_5e17", true},
      {"0005", "Pci\\Ven_6A3c&Dev_5e17&REV_01", true},
      {"0006", "PCI\\VEN_1234&DEV_0001", true},  // the second entry of the list
      {"0007", "PCI\\VEN_6A3C&DEV_5E18", false},
      {"0008", "PCI\\VEN_6A3C&DEV_5E1", false},  // ends early
      {"0009", "zelvorahw\\pciex_com", false},
      {"0010", "pci\\", false},  // at most 4 bytes: absent
  };
  for (const char* root : {kPortsClass, kMfClass})
    for (const Case& c : cases) Sz(Join(root, c.key), "MatchingDeviceId", c.matchingDeviceId);
  const VidPidList ids = {kCard, "VEN_1234&DEV_0001"};
  Run([&](UninstallContext& c) {
    c.RemovePortsClassKeys(ids);
    c.RemoveMultifunctionClassKeys(ids);
  });
  for (const char* root : {kPortsClass, kMfClass})
    for (const Case& c : cases)
      EXPECT_EQ(!c.deleted, Exists(Join(root, c.key))) << root << " " << c.matchingDeviceId;
  // The system's own port drivers stay.
  EXPECT_TRUE(Exists(Join(kPortsClass, "0000")));
}

TEST_F(Passes, TheStepBackWalkExaminesTheKeyBeforeADeletedOneAgain) {
  for (const char* key : {"A", "B", "C"})
    Sz(Join(kMfClass, key), "MatchingDeviceId", "PCI\\VEN_6A3C&DEV_5E17");
  // A is not readable on its first visit; only the second visit, after B is deleted,
  // can remove it.
  machine_->faults.Add({"RegQueryValueExA", ERROR_GEN_FAILURE, 1, "\\A\\MatchingDeviceId"});
  Run([&](UninstallContext& c) { c.RemoveMultifunctionClassKeys({kCard}); });
  for (const char* key : {"A", "B", "C"}) EXPECT_FALSE(Exists(Join(kMfClass, key))) << key;
}

TEST_F(Passes, AKeyThatCannotBeDeletedDoesNotStopTheWalk) {
  for (const char* key : {"A", "B", "C"})
    Sz(Join(kMfClass, key), "MatchingDeviceId", "PCI\\VEN_6A3C&DEV_5E17");
  machine_->faults.Add({"RegDeleteKeyA", ERROR_ACCESS_DENIED, 0, "}\\B"});
  // A deletion that reports a missing key while the key stays must not be revisited
  // for ever.
  machine_->faults.Add({"RegOpenKeyExA", ERROR_FILE_NOT_FOUND, 0, "}\\C"});
  Sz(Join(kMfClass, "D"), "MatchingDeviceId", "PCI\\VEN_6A3C&DEV_5E17");
  Run([&](UninstallContext& c) { c.RemoveMultifunctionClassKeys({kCard}); });
  EXPECT_FALSE(Exists(Join(kMfClass, "A")));
  EXPECT_TRUE(Exists(Join(kMfClass, "B")));
  EXPECT_TRUE(Exists(Join(kMfClass, "C")));
  EXPECT_FALSE(Exists(Join(kMfClass, "D")));
}

TEST_F(Passes, MultifunctionDevicesLoseEveryDriverKeyButTheDeviceOnlyWithACardPort) {
  const std::string withPort = Join(kEnumMf, "PCI#VEN_6A3C&DEV_5E17&SUBSYS_1#4&1&0");
  const std::string withoutPort = Join(kEnumMf, "PCI#VEN_6A3C&DEV_5E17&SUBSYS_2#4&1&0");
  const std::string other = Join(kEnumMf, "PCI#VEN_9710&DEV_9835#4&1&0");
  const struct {
    std::string instance;
    const char* hardwareId;
    const char* driver;
    const char* portName;
  } instances[] = {
      {Join(withPort, "Child0000"), "ZELVORAHW\\PCIEX_COM", "0003", "COM3"},
      {Join(withPort, "Child0001"), "MF\\SOMETHING_ELSE", "0004", "COM9"},
      {Join(withPort, "Child0002"), "ZELVORAHW\\PCIEX_LPT&REV_01", "0005", "LPT2"},
      {Join(withoutPort, "Child0000"), "MF\\SOMETHING_ELSE", "0006", "COM5"},
      {Join(other, "Child0000"), "ZELVORAHW\\PCIEX_COM", "0007", "COM6"},
  };
  for (const auto& i : instances) {
    MultiSz(i.instance, "HardwareID", i.hardwareId);
    Sz(i.instance, "Driver", std::string(kPortsGuid) + "\\" + i.driver);
    Sz(Join(i.instance, "Device Parameters"), "PortName", i.portName);
    Sz(Join(kPortsClass, i.driver), "MatchingDeviceId", "x");
  }
  const UninstallContext context =
      Run([&](UninstallContext& c) { c.RemoveMultifunctionDevices({kCard}); });
  EXPECT_FALSE(Exists(withPort));
  EXPECT_TRUE(Exists(withoutPort));
  EXPECT_TRUE(Exists(other));
  for (const char* driver : {"0003", "0004", "0005", "0006"})
    EXPECT_FALSE(Exists(Join(kPortsClass, driver))) << driver;
  EXPECT_TRUE(Exists(Join(kPortsClass, "0007")));
  EXPECT_TRUE(context.IsCardComPort(3));
  for (uint32_t n : {5u, 6u, 9u}) EXPECT_FALSE(context.IsCardComPort(n)) << n;
}

// Found while walking forward: a deleted device key's successor moves into its index.
TEST_F(Passes, ConsecutiveQualifyingDevicesAreAllRecordedAndDeleted) {
  for (int i = 1; i <= 3; ++i) {
    const std::string mf = Join(kEnumMf, "PCI#VEN_6A3C&DEV_5E17&SUBSYS_" + std::to_string(i));
    MultiSz(Join(mf, "Child0000"), "HardwareID", "ZELVORAHW\\PCIEX_COM");
    Sz(Join(mf, "Child0000\\Device Parameters"), "PortName", "COM" + std::to_string(i + 2));
    const std::string pci = Join(kEnumPci, "VEN_6A3C&DEV_5E17&SUBSYS_" + std::to_string(i));
    PortInstance(Join(pci, "0"), "Ports", "Orrick", ("COM" + std::to_string(i + 10)).c_str());
  }
  const UninstallContext context = Run([&](UninstallContext& c) {
    c.RemoveMultifunctionDevices({kCard});
    c.RemovePciPortDevices({kCard});
  });
  for (int i = 1; i <= 3; ++i) {
    EXPECT_FALSE(Exists(Join(kEnumMf, "PCI#VEN_6A3C&DEV_5E17&SUBSYS_" + std::to_string(i))));
    EXPECT_FALSE(Exists(Join(kEnumPci, "VEN_6A3C&DEV_5E17&SUBSYS_" + std::to_string(i))));
    EXPECT_TRUE(context.IsCardComPort(i + 2)) << i;
    EXPECT_TRUE(context.IsCardComPort(i + 10)) << i;
  }
}

TEST_F(Passes, PciPortDevicesNeedThePortsClassAndACardPortService) {
  const struct {
    const char* device;
    const char* className;
    const char* service;
    const char* portName;
    bool deleted;
    int recorded;
  } cases[] = {
      {"VEN_6A3C&DEV_5E17&SUBSYS_A", "Ports", "Orrick", "COM3", true, 3},
      {"VEN_6A3C&DEV_5E17&SUBSYS_B", "PORTS", "TAMBLE", "COM4", true, 4},
      {"VEN_6A3C&DEV_5E17&SUBSYS_C", "Ports", "tamble", "LPT2", true, 0},
      {"VEN_6A3C&DEV_5E17&SUBSYS_D", "Ports", "Serial", "COM5", false, 0},
      {"VEN_6A3C&DEV_5E17&SUBSYS_E", "MultiFunction", "Orrick", "COM6", false, 0},
      {"VEN_6A3C&DEV_5E18&SUBSYS_F", "Ports", "Orrick", "COM7", false, 0},
  };
  for (const auto& c : cases)
    PortInstance(Join(Join(kEnumPci, c.device), "0"), c.className, c.service, c.portName);
  const UninstallContext context =
      Run([&](UninstallContext& c) { c.RemovePciPortDevices({kCard}); });
  for (const auto& c : cases) {
    EXPECT_EQ(!c.deleted, Exists(Join(kEnumPci, c.device))) << c.device;
    if (c.recorded) {
      EXPECT_TRUE(context.IsCardComPort(c.recorded)) << c.device;
    }
  }
  EXPECT_TRUE(context.IsCardComPort(3));
  EXPECT_TRUE(context.IsCardComPort(4));
  for (uint32_t n : {2u, 5u, 6u, 7u}) EXPECT_FALSE(context.IsCardComPort(n)) << n;
}

TEST_F(Passes, PciChildDevicesAreDeletedByTheirFunctionThenAllCardKeysGo) {
  const std::string com = Join(kEnumPci, "VEN_6A3C&DEV_5E17&SUBSYS_1");
  const std::string lpt = Join(kEnumPci, "VEN_6A3C&DEV_5E17&SUBSYS_2");
  const std::string plain = Join(kEnumPci, "VEN_6A3C&DEV_5E17&SUBSYS_3");
  const std::string neighbour = Join(kEnumPci, "VEN_6A3C&DEV_5E18&SUBSYS_1");
  Key(Join(com, "0"));  // an instance without functions comes first
  MultiSz(Join(com, "1\\Device Parameters\\Child0000"), "HardwareID", "ZELVORAHW\\PCIEX_COM");
  MultiSz(Join(lpt, "0\\Device Parameters\\Child0000"), "HardwareID", "zelvorahw\\pciex_lpt");
  MultiSz(Join(plain, "0\\Device Parameters\\Child0000"), "HardwareID", "PCI\\OTHER");
  MultiSz(Join(neighbour, "0\\Device Parameters\\Child0000"), "HardwareID", "ZELVORAHW\\PCIEX_COM");
  Run([&](UninstallContext& c) { c.RemovePciChildDevices({kCard}); });
  EXPECT_FALSE(Exists(com));
  EXPECT_FALSE(Exists(lpt));
  EXPECT_TRUE(Exists(plain));
  EXPECT_TRUE(Exists(neighbour));
  Run([&](UninstallContext& c) { c.RemovePciDeviceKeys({kCard}); });
  EXPECT_FALSE(Exists(plain));
  EXPECT_TRUE(Exists(neighbour));
  // The system's own PCI devices stay.
  EXPECT_TRUE(Exists(Join(kEnumPci, "VEN_8086&DEV_2770&SUBSYS_81791043&REV_02")));
}

// A "Driver" value that names no single driver key must not take a class with it.
TEST_F(Passes, OnlyAWellFormedDriverValueLeadsToADeletion) {
  const std::string bad[] = {
      kPortsGuid,
      std::string(kPortsGuid) + "\\",
      std::string(kPortsGuid) + "\\0000\\Extra",
      "{4D36E978-E325-11CE-BFC1-08002BE1031}\\0000",
      "{4D36E978-E325-11CE-BFC1-08002BE1031G}\\0000",
      "4D36E978-E325-11CE-BFC1-08002BE10318\\0000",
      "..\\{4D36E978-E325-11CE-BFC1-08002BE10318}",
  };
  int i = 0;
  for (const std::string& driver : bad) {
    const std::string instance =
        Join(kEnumMf, "PCI#VEN_6A3C&DEV_5E17&SUBSYS_" + std::to_string(i++) + "\\Child0000");
    MultiSz(instance, "HardwareID", "ZELVORAHW\\PCIEX_COM");
    Sz(instance, "Driver", driver);
  }
  const std::string good = Join(kEnumMf, "PCI#VEN_6A3C&DEV_5E17&SUBSYS_X\\Child0000");
  MultiSz(good, "HardwareID", "ZELVORAHW\\PCIEX_COM");
  Sz(good, "Driver", std::string("{4d36e978-e325-11ce-bfc1-08002be10318}") + "\\0002");
  Run([&](UninstallContext& c) { c.RemoveMultifunctionDevices({kCard}); });
  EXPECT_TRUE(Exists(kPortsClass));
  EXPECT_TRUE(Exists(Join(kPortsClass, "0000")));
  EXPECT_TRUE(Exists(Join(kPortsClass, "0001")));
  EXPECT_FALSE(Exists(Join(kPortsClass, "0002")));
  EXPECT_FALSE(Exists(kEnumMf + std::string("\\PCI#VEN_6A3C&DEV_5E17&SUBSYS_0")));
}

TEST_F(Passes, UninstallEntriesOfThisCustomersUninstallerGo) {
  const struct {
    const char* entry;
    const char* command;
    bool deleted;
  } cases[] = {
      {"Entry A", "C:\\WINDOWS\\System32\\KORVANE_Wendmarrow.exe", true},
      {"Entry B", "c:\\windows\\system32\\korvane_wendmarrow.exe /quiet", true},
      {"Entry C", "KORVANE_Wendmarrow.exe", true},
      {"Entry D", "D:\\Tools\\KORVANE_Wendmarrow.exe", false},
      {"Entry E", "C:\\WINDOWS\\System32\\KORVANEX_Wendmarrow.exe", false},
      {"Entry F", "C:\\WINDOWS\\System32\\KORVANE_Wendmarrow.ex", false},
      {"Entry H", "KORVANE_Wendmarrow.ex", false},
      {"Entry G", nullptr, false},
  };
  for (const auto& c : cases) {
    Key(Join(kUninstall, c.entry));
    if (c.command) Sz(Join(kUninstall, c.entry), "UninstallString", c.command);
  }
  Run([&](UninstallContext& c) { c.RemoveUninstallEntries(); });
  for (const auto& c : cases) EXPECT_EQ(!c.deleted, Exists(Join(kUninstall, c.entry))) << c.entry;
  EXPECT_TRUE(Exists(Join(kUninstall, "7-Zip")));
}

TEST_F(Passes, ProductKeysGoOnlyForTheWholeCustomerName) {
  for (const char* customer : {"ACM", "acme", "ACMEX", "ACME Two"}) {
    Sz(Join(kProduct, customer), "VID_PID_NAME1", kCard);
  }
  Run([&](UninstallContext& c) { c.RemoveProductKeys(); }, "ACME");
  EXPECT_FALSE(Exists(Join(kProduct, "acme")));
  for (const char* kept : {"ACM", "ACMEX", "ACME Two"})
    EXPECT_TRUE(Exists(Join(kProduct, kept))) << kept;
  EXPECT_TRUE(Exists(kProduct));
}

TEST_F(Passes, MissingRootKeysEndThePassesQuietly) {
  machine_->registry.DeleteTree(machine_->registry.FindFull(Full(kEnumPci)));
  machine_->registry.DeleteTree(machine_->registry.FindFull(Full(kUninstall)));
  ASSERT_FALSE(Exists(kEnumMf));
  ASSERT_FALSE(Exists(kProduct));
  Run([&](UninstallContext& c) {
    c.RemoveMultifunctionDevices({kCard});
    c.RemovePciPortDevices({kCard});
    c.RemovePciChildDevices({kCard});
    c.RemovePciDeviceKeys({kCard});
    c.RemoveUninstallEntries();
    c.RemoveProductKeys();
  });
  EXPECT_FALSE(Exists(kEnumMf));
  EXPECT_FALSE(Exists(kEnumPci));
  EXPECT_FALSE(Exists(kProduct));
}

// One matching key of a pass: `lay` makes it under a name ending in `letter` and returns
// its path; the key's own RegDeleteKeyA is the `nth` with that path in its subject (its
// subkeys go first).
struct WalkCase {
  const char* pass;
  bool stepBack;
  std::function<std::string(Passes&, char)> lay;
  int nth;
  std::function<void(UninstallContext&)> run;
};

std::vector<WalkCase> WalkCases() {
  const VidPidList card = {kCard};
  const auto mf = [](char l) { return Join(kEnumMf, std::string("PCI#VEN_6A3C&DEV_5E17&S_") + l); };
  const auto pci = [](char l) { return Join(kEnumPci, std::string("VEN_6A3C&DEV_5E17&S_") + l); };
  const auto classKey = [](const char* root) {
    return [root](Passes& t, char l) {
      const std::string key = Join(root, std::string(1, l));
      t.Sz(key, "MatchingDeviceId", "PCI\\VEN_6A3C&DEV_5E17");
      return key;
    };
  };
  return {
      {"ports class", true, classKey(kPortsClass), 1,
       [=](UninstallContext& c) { c.RemovePortsClassKeys(card); }},
      {"multifunction class", true, classKey(kMfClass), 1,
       [=](UninstallContext& c) { c.RemoveMultifunctionClassKeys(card); }},
      {"multifunction devices", false,
       [=](Passes& t, char l) {
         t.MultiSz(Join(mf(l), "Child0000"), "HardwareID", "ZELVORAHW\\PCIEX_COM");
         t.Sz(Join(mf(l), "Child0000\\Device Parameters"), "PortName", "COM3");
         return mf(l);
       },
       3, [=](UninstallContext& c) { c.RemoveMultifunctionDevices(card); }},
      {"PCI port devices", false,
       [=](Passes& t, char l) {
         t.PortInstance(Join(pci(l), "0"), "Ports", "Orrick", "COM3");
         return pci(l);
       },
       3, [=](UninstallContext& c) { c.RemovePciPortDevices(card); }},
      {"PCI child devices", true,
       [=](Passes& t, char l) {
         t.MultiSz(Join(pci(l), "0\\Device Parameters\\Child0000"), "HardwareID",
                   "ZELVORAHW\\PCIEX_COM");
         return pci(l);
       },
       4, [=](UninstallContext& c) { c.RemovePciChildDevices(card); }},
      {"PCI device keys", true,
       [=](Passes& t, char l) {
         t.Key(pci(l));
         return pci(l);
       },
       1, [=](UninstallContext& c) { c.RemovePciDeviceKeys(card); }},
      {"uninstall entries", false,
       [](Passes& t, char l) {
         const std::string key = Join(kUninstall, std::string("Entry ") + l);
         t.Sz(key, "UninstallString", "KORVANE_Wendmarrow.exe");
         return key;
       },
       1, [](UninstallContext& c) { c.RemoveUninstallEntries(); }},
      {"product keys", false,
       [](Passes& t, char l) {
         const std::string key = Join(kProduct, std::string("KORVANE") + (l == 'A' ? "" : "x"));
         t.Sz(key, "VID_PID_NAME1", kCard);
         return key;
       },
       1, [](UninstallContext& c) { c.RemoveProductKeys(); }},
  };
}

// A deletion that reports success while the key stays (here the key's own RegDeleteKeyA
// once answering 0 without deleting) is not taken for a deletion: the walk goes on past
// the key instead of coming back to it, which would never end if the report repeated.
TEST_F(Passes, EveryWalkGoesPastAKeyReportedDeletedThatIsStillThere) {
  for (const WalkCase& c : WalkCases()) {
    machine_ = engine_test::Edition("xp");
    const std::string key = c.lay(*this, 'A');
    machine_->faults.Add({"RegDeleteKeyA", ERROR_SUCCESS, c.nth, key});
    Run(c.run);
    EXPECT_TRUE(Exists(key)) << c.pass;
  }
}

// The step-back walks examine the key before a deleted one again: a key whose deletion
// failed once is retried once its successor has gone.
TEST_F(Passes, EveryStepBackWalkRetriesTheKeyBeforeADeletedOne) {
  for (const WalkCase& c : WalkCases()) {
    if (!c.stepBack) continue;
    machine_ = engine_test::Edition("xp");
    const std::string first = c.lay(*this, 'A');
    const std::string second = c.lay(*this, 'B');
    machine_->faults.Add({"RegDeleteKeyA", ERROR_ACCESS_DENIED, 1, first});
    Run(c.run);
    EXPECT_FALSE(Exists(first)) << c.pass;
    EXPECT_FALSE(Exists(second)) << c.pass;
  }
}

// Each compared length is exact: a text agreeing one character less far is no match, and
// one going on past the compared length still is.
TEST_F(Passes, EachComparedPrefixHasItsExactLength) {
  struct Case {
    const char* what;
    const char* device;      // below Enum\MF ("PCI#...") or Enum\PCI
    const char* hardwareId;  // MF: the child's only function
    const char* className;   // PCI: the instance's class and service
    const char* service;
    bool deleted;
  };
  const Case cases[] = {
      {"MF device name, 21 characters", "PCI#VEN_6A3C&DEV_5E17", "ZELVORAHW\\PCIEX_COM", "", "",
       true},
      {"MF device name, 20 agree", "PCI#VEN_6A3C&DEV_5E18&SUBSYS_1", "ZELVORAHW\\PCIEX_COM", "", "",
       false},
      {"function, 19 characters and more", "PCI#VEN_6A3C&DEV_5E17&SUBSYS_2",
       "ZELVORAHW\\PCIEX_COM&REV_01", "", "", true},
      {"function, 18 agree", "PCI#VEN_6A3C&DEV_5E17&SUBSYS_3", "ZELVORAHW\\PCIEX_CON", "", "",
       false},
      {"class, 5 characters and more", "VEN_6A3C&DEV_5E17&SUBSYS_4", nullptr, "PortsEx", "Orrick",
       true},
      {"class, 4 agree", "VEN_6A3C&DEV_5E17&SUBSYS_5", nullptr, "Portx", "Orrick", false},
      {"orrick, 6 characters and more", "VEN_6A3C&DEV_5E17&SUBSYS_6", nullptr, "Ports", "Orrick64",
       true},
      {"orrick, 5 agree", "VEN_6A3C&DEV_5E17&SUBSYS_7", nullptr, "Ports", "OrricX", false},
      {"tamble, 6 characters and more", "VEN_6A3C&DEV_5E17&SUBSYS_8", nullptr, "Ports", "tamble2",
       true},
      {"tamble, 5 agree", "VEN_6A3C&DEV_5E17&SUBSYS_9", nullptr, "Ports", "tamblX", false},
  };
  for (const Case& c : cases) {
    machine_ = engine_test::Edition("xp");
    const bool mf = c.hardwareId != nullptr;
    const std::string device = Join(mf ? kEnumMf : kEnumPci, c.device);
    if (mf) {
      MultiSz(Join(device, "Child0000"), "HardwareID", c.hardwareId);
    } else {
      PortInstance(Join(device, "0"), c.className, c.service, "COM3");
    }
    Run([&](UninstallContext& ctx) {
      ctx.RemoveMultifunctionDevices({kCard});
      ctx.RemovePciPortDevices({kCard});
    });
    EXPECT_EQ(!c.deleted, Exists(device)) << c.what;
  }
}

// A port name counts when its size is more than 3 bytes: "COM3" stored without its NUL
// is one.
TEST_F(Passes, APortNameOfFourBytesWithoutItsNulIsRecorded) {
  const std::string instance = Join(kEnumPci, "VEN_6A3C&DEV_5E17&SUBSYS_1\\0");
  PortInstance(instance, "Ports", "Orrick", nullptr);
  Value(Join(instance, "Device Parameters"), "PortName", REG_SZ, "COM3");
  const UninstallContext context =
      Run([&](UninstallContext& c) { c.RemovePciPortDevices({kCard}); });
  EXPECT_TRUE(context.IsCardComPort(3));
}

// A child device whose deletion fails on one instance is deleted through the next.
TEST_F(Passes, AFailedDeletionInsideAnInstanceWalkLetsTheWalkGoOn) {
  const std::string pci = Join(kEnumPci, "VEN_6A3C&DEV_5E17&SUBSYS_1");
  for (const char* instance : {"0", "1"}) {
    MultiSz(Join(pci, std::string(instance) + "\\Device Parameters\\Child0000"), "HardwareID",
            "ZELVORAHW\\PCIEX_COM");
  }
  machine_->faults.Add({"RegDeleteKeyA", ERROR_ACCESS_DENIED, 1, pci});
  Run([&](UninstallContext& c) { c.RemovePciChildDevices({kCard}); });
  EXPECT_FALSE(Exists(pci));
}

// The protected keys get their own access lists back, whichever way a pass ends.
TEST_F(Passes, EveryPassGivesItsGrantsBack) {
  const std::string mf = Join(kEnumMf, "PCI#VEN_6A3C&DEV_5E17\\Child0000");
  MultiSz(mf, "HardwareID", "ZELVORAHW\\PCIEX_COM");
  Sz(mf, "Driver", std::string(kPortsGuid) + "\\0007");
  Sz(Join(kPortsClass, "0007"), "MatchingDeviceId", "zelvorahw\\pciex_com");
  Sz(Join(kProduct, "KORVANE"), "VID_PID_NAME1", kCard);
  const char* roots[] = {kPortsClass,
                         kMfClass,
                         kEnumMf,
                         kEnumPci,
                         kUninstall,
                         kProduct,
                         "SYSTEM\\CurrentControlSet\\Enum",
                         "SYSTEM\\CurrentControlSet\\Control\\Class"};
  for (bool openFails : {false, true}) {
    machine_ = engine_test::Edition("xp");
    MultiSz(mf, "HardwareID", "ZELVORAHW\\PCIEX_COM");
    Sz(mf, "Driver", std::string(kPortsGuid) + "\\0007");
    Sz(Join(kPortsClass, "0007"), "MatchingDeviceId", "zelvorahw\\pciex_com");
    Sz(Join(kProduct, "KORVANE"), "VID_PID_NAME1", kCard);
    Sz(Join(kProduct, "ACME"), "VID_PID_NAME1", kCard);  // keeps the product key
    std::vector<sim::KeySecurity> before;
    for (const char* root : roots) before.push_back(Security(root));
    if (openFails) machine_->faults.Add({"RegOpenKeyExA", ERROR_ACCESS_DENIED, 0, ""});
    Run([&](UninstallContext& c) {
      c.RemovePortsClassKeys({kCard});
      c.RemoveMultifunctionClassKeys({kCard});
      c.RemoveMultifunctionDevices({kCard});
      c.RemovePciPortDevices({kCard});
      c.RemovePciChildDevices({kCard});
      c.RemovePciDeviceKeys({kCard});
      c.RemoveUninstallEntries();
      c.RemoveProductKeys();
    });
    EXPECT_EQ(openFails, Exists(Join(kPortsClass, "0007")));
    EXPECT_EQ(openFails, Exists(Join(kProduct, "KORVANE")));
    for (size_t i = 0; i < before.size(); ++i)
      EXPECT_TRUE(Security(roots[i]) == before[i])
          << roots[i] << (openFails ? " (open fails)" : "");
  }
}

}  // namespace
