// The registry passes on an XP x64 machine on which the card was installed, in the order
// the uninstaller runs them there: the card's traces go, everything else stays as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/storage/reg_file.h"
#include "tests/unit/uninstall_engine/uninstall_engine_test_support.h"
#include "uninstall_engine/uninstall_context.h"

namespace {

const char kFixture[] = "/tests/fixtures/reg/xp_x64_card_installed.reg";
const char kCcs[] = "SYSTEM\\CurrentControlSet\\";
const char kWowCurrentVersion[] = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\";
const char kArbiter[] = "SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
const char kPorts[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

std::unique_ptr<sim::Machine> CardMachine() {
  auto machine = engine_test::Edition("xp-x64");
  std::ifstream in(std::string(KESTROLIN_SOURCE_DIR) + kFixture, std::ios::binary);
  EXPECT_TRUE(in) << kFixture;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<sim::RegFileOp> ops;
  std::string error;
  EXPECT_TRUE(sim::ParseRegFile(bytes, kFixture, &ops, &error)) << error;
  sim::ApplyRegFile(ops, &machine->registry);
  return machine;
}

std::string Bits(std::initializer_list<int> ports) {
  std::string data(32, '\0');
  for (int n : ports)
    data[(n - 1) >> 3] = static_cast<char>(data[(n - 1) >> 3] | 1 << ((n - 1) & 7));
  return data;
}

// Part of the uninstaller's 64-bit sequence that touches the registry, in its order.
void RunRegistryPasses(UninstallContext& c, const VidPidList& ids) {
  c.RemoveProductKeys();
  c.GrantSerialCommAccess();
  c.RemovePortsClassKeys(ids);
  c.RemoveMultifunctionClassKeys(ids);
  c.RemoveMultifunctionDevices(ids);
  c.RemovePciPortDevices(ids);
  c.RemovePciChildDevices(ids);
  c.RemovePciDeviceKeys(ids);
  c.DeletePortsEntries();
  c.ReleaseComDbPorts();
  c.RemoveUninstallEntries();
}

void Delete(sim::Machine& m, const std::string& path) {
  auto key = m.registry.FindFull("HKEY_LOCAL_MACHINE\\" + path);
  ASSERT_TRUE(key) << path;
  sim::Registry::DeleteTree(key);
}

// Every key and text value below `key`, for a search of what is left of the card.
void Visit(const sim::RegKey& key, const std::function<void(const sim::RegKey&)>& visit) {
  visit(key);
  key.subkeys.ForEach(
      [&](const std::string&, const std::shared_ptr<sim::RegKey>& sub) { Visit(*sub, visit); });
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return text;
}

TEST(CardFixture, RemovesTheCardsTracesAndLeavesEverythingElseAsItWas) {
  auto machine = CardMachine();
  ASSERT_EQ(Bits({1, 2, 3, 5, 6, 10}),
            machine->registry.FindFull(std::string("HKEY_LOCAL_MACHINE\\") + kArbiter)
                ->values.Find("ComDB")
                ->data);
  UninstallContext context;
  {
    sim::ProcessScope scope(*machine);  // the uninstaller: a 32-bit program
    engine_test::HandleCheck handles(scope.process());
    context.isNt5x = TRUE;
    context.customerName = "KORVANE";
    RunRegistryPasses(context, {"VEN_6A3C&DEV_5E17"});
  }
  UninstallContext released;
  released.MarkCardComPort(3);
  released.MarkCardComPort(10);
  EXPECT_EQ(0, memcmp(released.comPortMap, context.comPortMap, sizeof(context.comPortMap)));

  // The same machine with exactly the card's traces taken away by hand.
  auto expected = CardMachine();
  const std::string ccs = kCcs;
  Delete(*expected, ccs + "Enum\\PCI\\VEN_6A3C&DEV_5E17&SUBSYS_00011000&REV_01");
  for (const char* child : {"CHILD0000", "CHILD0001", "CHILD0002"})
    Delete(*expected, ccs + "Enum\\MF\\PCI#VEN_6A3C&DEV_5E17&SUBSYS_00011000&REV_01#" + child);
  Delete(*expected, ccs + "Control\\Class\\{4d36e971-e325-11ce-bfc1-08002be10318}\\0000");
  for (const char* driver : {"0003", "0004", "0005"})
    Delete(*expected, ccs + "Control\\Class\\{4D36E978-E325-11CE-BFC1-08002BE10318}\\" + driver);
  Delete(*expected, std::string(kWowCurrentVersion) + "Uninstall\\Zelvora");
  Delete(*expected, std::string(kWowCurrentVersion) + "PCIe Multi-Io Controller\\KORVANE");
  auto ports = expected->registry.FindFull(std::string("HKEY_LOCAL_MACHINE\\") + kPorts);
  ASSERT_TRUE(ports->values.Erase("COM3:"));
  ASSERT_TRUE(ports->values.Erase("COM10:"));
  expected->registry.SetValue(std::string("HKEY_LOCAL_MACHINE\\") + kArbiter, "ComDB", REG_BINARY,
                              Bits({1, 2, 5, 6}));

  std::string difference;
  EXPECT_TRUE(machine->registry.SameAs(expected->registry, &difference)) << difference;

  // Nothing that names the card is left, but for the other customer's record and the
  // vendor's other device. The serial device map is rebuilt by Windows at the restart
  // that follows.
  Visit(*machine->registry.LocalMachine(), [](const sim::RegKey& key) {
    const std::string path = Lower(key.FullPath());
    if (path.find("pcie multi-io controller\\korvanex") != std::string::npos) return;
    if (path.find("devicemap\\serialcomm") != std::string::npos) return;
    if (path.find("ven_6a3c&dev_5e18") != std::string::npos) return;
    for (const char* trace : {"6a3c&dev_5e17", "zelvorahw", "korvane_wendmarrow"}) {
      EXPECT_EQ(std::string::npos, path.find(trace)) << key.FullPath();
      key.values.ForEach([&](const std::string& name, const sim::RegValue& value) {
        std::string text;
        for (char c : value.data)
          if (c) text += c;  // UTF-16 and multi-strings alike
        EXPECT_EQ(std::string::npos, Lower(text).find(trace)) << key.FullPath() << " " << name;
      });
    }
  });
}

TEST(CardFixture, ASecondRunChangesNothing) {
  auto machine = CardMachine();
  for (int run = 0; run < 2; ++run) {
    sim::ProcessScope scope(*machine);
    UninstallContext context;
    context.customerName = "KORVANE";
    RunRegistryPasses(context, {"VEN_6A3C&DEV_5E17"});
    if (run == 0) continue;
    for (uint8_t byte : context.comPortMap) EXPECT_EQ(0, byte);
  }
  auto once = CardMachine();
  {
    sim::ProcessScope scope(*once);
    UninstallContext context;
    context.customerName = "KORVANE";
    RunRegistryPasses(context, {"VEN_6A3C&DEV_5E17"});
  }
  std::string difference;
  EXPECT_TRUE(machine->registry.SameAs(once->registry, &difference)) << difference;
}

// Each Win32 call of the run fails in turn: whatever fails, every key handle and every
// security descriptor is given back, and every access list is restored unless the
// restoring call itself is the one that fails. (A failing RegCloseKey keeps its handle,
// as on Windows; it is not failed here.)
TEST(CardFixture, AFailureOfAnyCallLeaksNothing) {
  std::map<std::string, int> counts;
  {
    auto machine = CardMachine();
    sim::ProcessScope scope(*machine);
    UninstallContext context;
    context.customerName = "KORVANE";
    RunRegistryPasses(context, {"VEN_6A3C&DEV_5E17"});
    counts = machine->faults.CallCounts();
  }
  ASSERT_GT(counts["RegOpenKeyExA"], 50);
  counts.erase("RegCloseKey");
  const auto fresh = CardMachine();
  const std::string hklm = "HKEY_LOCAL_MACHINE\\";
  const std::string roots[] = {
      std::string(kCcs) + "Enum",
      std::string(kCcs) + "Enum\\PCI",
      std::string(kCcs) + "Enum\\MF",
      std::string(kCcs) + "Control\\Class",
      std::string(kCcs) + "Control\\Class\\{4D36E978-E325-11CE-BFC1-08002BE10318}",
      std::string(kCcs) + "Control\\Class\\{4d36e971-e325-11ce-bfc1-08002be10318}",
      kArbiter,
      kPorts,
      "HARDWARE\\DEVICEMAP\\SERIALCOMM",
      std::string(kWowCurrentVersion) + "Uninstall",
      std::string(kWowCurrentVersion) + "PCIe Multi-Io Controller"};
  for (const auto& [call, count] : counts) {
    for (int nth = 1; nth <= count; ++nth) {
      auto machine = CardMachine();
      machine->faults.Add({call, ERROR_ACCESS_DENIED, nth, ""});
      sim::ProcessScope scope(*machine);
      SCOPED_TRACE(call + " #" + std::to_string(nth));
      engine_test::HandleCheck handles(scope.process());
      UninstallContext context;
      context.customerName = "KORVANE";
      RunRegistryPasses(context, {"VEN_6A3C&DEV_5E17"});
      if (call == "SetNamedSecurityInfoA") continue;
      for (const std::string& root : roots) {
        EXPECT_TRUE(machine->registry.FindFull(hklm + root)->security ==
                    fresh->registry.FindFull(hklm + root)->security)
            << root;
      }
    }
  }
}

}  // namespace
