// The device-installer passes on hand-made device trees: which devices each removes or
// enables, the messages it shows, and that every device set is given back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/support/machine_snapshot.h"
#include "tests/unit/uninstall_engine/uninstall_engine_test_support.h"
#include "uninstall_engine/uninstall_context.h"

namespace {

using engine_test::HandleCheck;
using engine_test::MachineTest;

const char kEnum[] = "SYSTEM\\CurrentControlSet\\Enum\\";
const char kMfGuid[] = "{4d36e971-e325-11ce-bfc1-08002be10318}";
const char kPortsGuid[] = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
const char kCard[] = "VEN_6A3C&DEV_5E17";
const char kProfileEnum[] =
    "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Enum\\";

class DevicePasses : public MachineTest {
 protected:
  explicit DevicePasses(const char* edition = "xp") : MachineTest(edition) {}

  // An instance "ENUMERATOR\DEVICE\INSTANCE" of a class; no hardware ID when `hardwareId`
  // is null.
  void Device(const std::string& id, const char* classGuid, const char* hardwareId) {
    Sz(kEnum + id, "ClassGUID", classGuid);
    if (hardwareId) {
      Value(kEnum + id, "HardwareID", REG_MULTI_SZ,
            std::string(hardwareId) + '\0' + "SECOND\\ID" + '\0' + '\0');
    }
  }
  bool Present(const std::string& id) const { return Exists(kEnum + id); }

  template <typename Body>
  std::vector<std::string> Run(Body body) {
    sim::ProcessScope scope(*machine_);
    {
      HandleCheck handles(scope.process());
      UninstallContext context;
      context.customerName = "KORVANE";
      body(context);
    }
    return machine_snapshot::Messages(scope.process());
  }
  int Calls(const char* name) { return machine_->faults.CallCounts()[name]; }
  void Fail(const char* call, uint32_t error, int nth = 0, const char* subject = "") {
    sim::FaultRule rule;
    rule.call = call;
    rule.error = error;
    rule.nth = nth;
    rule.subject = subject;
    machine_->faults.Add(rule);
  }
};

TEST_F(DevicePasses, RemovalMatchesTheCardsFunctionsAndNothingElse) {
  struct Case {
    std::string id;
    const char* classGuid;
    const char* hardwareId;
    bool removed;
  };
  const std::vector<Case> cases = {
      // The multifunction device: 21 characters of "pci\" + ID, case ignored.
      {"PCI\\VEN_6A3C&DEV_5E17&SUBSYS_00011000&REV_01\\4&1&0", kMfGuid,
       "pci\\ven_6a3c&dev_5e17&SUBSYS_00011000&REV_01", true},
      // Its port functions, matched through the parent in their instance IDs.
      {"MF\\PCI#VEN_6A3C&DEV_5E17&SUBSYS_00011000#CHILD0000\\5&1", kPortsGuid,
       "ZELVORAHW\\PCIEx_COM", true},
      {"MF\\PCI#VEN_6A3C&DEV_5E17&SUBSYS_00011000#CHILD0002\\5&1", kPortsGuid,
       "zelvorahw\\pciex_lpt", true},
      // The same function below another vendor's multifunction device.
      {"MF\\PCI#VEN_9710&DEV_9845&SUBSYS_00041000#CHILD0000\\5&2", kPortsGuid,
       "ZELVORAHW\\PCIEx_COM", false},
      // A port on the PCI bus that is the card itself.
      {"PCI\\VEN_6A3C&DEV_5E17&SUBSYS_00021000&REV_01\\4&3&0", kPortsGuid,
       "PCI\\VEN_6A3C&DEV_5E17&SUBSYS_00021000", true},
      // One device number on, agreeing to the last character: not the card, nor its
      // ports, whether on the PCI bus or below its multifunction device.
      {"PCI\\VEN_6A3C&DEV_5E18&SUBSYS_00011000&REV_01\\4&4&0", kMfGuid,
       "PCI\\VEN_6A3C&DEV_5E18&SUBSYS_00011000", false},
      {"PCI\\VEN_6A3C&DEV_5E18&SUBSYS_00021000\\4&7&0", kPortsGuid,
       "PCI\\VEN_6A3C&DEV_5E18&SUBSYS_00021000", false},
      {"MF\\PCI#VEN_6A3C&DEV_5E18&SUBSYS_00011000#CHILD0000\\5&3", kPortsGuid,
       "ZELVORAHW\\PCIEx_COM", false},
      {"PCI\\VEN_9710&DEV_9835\\4&5&0", kPortsGuid, "PCI\\VEN_9710&DEV_9835", false},
      // The card's ID in another class is not the device installer's to remove here.
      {"PCI\\VEN_6A3C&DEV_5E17&SUBSYS_00031000\\4&6&0", "{4D36E97D-E325-11CE-BFC1-08002BE10318}",
       "PCI\\VEN_6A3C&DEV_5E17&SUBSYS_00031000", false},
  };
  for (const Case& c : cases) Device(c.id, c.classGuid, c.hardwareId);
  const auto messages = Run([&](UninstallContext& u) { u.RemoveDevicesThroughSetupApi({kCard}); });
  for (const Case& c : cases) EXPECT_EQ(c.removed, !Present(c.id)) << c.id;
  EXPECT_TRUE(messages.empty());
  // Three scans of each class, each on a set of its own.
  EXPECT_EQ(6, Calls("SetupDiGetClassDevsA"));
  EXPECT_EQ(6, Calls("SetupDiDestroyDeviceInfoList"));
}

TEST_F(DevicePasses, APortOfTheCardOnThePciBusNeedsNoInstanceIdLookup) {
  Device("PCI\\VEN_6A3C&DEV_5E17&SUBSYS_00021000\\4&3&0", kPortsGuid,
         "PCI\\VEN_6A3C&DEV_5E17&SUBSYS_00021000");
  Run([&](UninstallContext& u) { u.RemoveDevicesThroughSetupApi({kCard}); });
  EXPECT_FALSE(Present("PCI\\VEN_6A3C&DEV_5E17&SUBSYS_00021000\\4&3&0"));
  EXPECT_EQ(0, Calls("SetupDiGetDeviceInstanceIdA"));
}

TEST_F(DevicePasses, AShortEntryMatchesOnlyAnIdThatEndsWithIt) {
  const char* shortEntry = "VEN_6A3C&DEV_5E1";  // 16 characters
  Device("PCI\\VEN_6A3C&DEV_5E1\\4&1&0", kMfGuid, "PCI\\ven_6a3c&dev_5e1");
  Device("PCI\\VEN_6A3C&DEV_5E17\\4&2&0", kMfGuid, "PCI\\VEN_6A3C&DEV_5E17");
  Run([&](UninstallContext& u) { u.RemoveDevicesThroughSetupApi({shortEntry}); });
  EXPECT_FALSE(Present("PCI\\VEN_6A3C&DEV_5E1\\4&1&0"));
  EXPECT_TRUE(Present("PCI\\VEN_6A3C&DEV_5E17\\4&2&0"));
}

TEST_F(DevicePasses, AnEmptyListChangesNoDevice) {
  Device("PCI\\VEN_6A3C&DEV_5E17\\4&1&0", kMfGuid, "PCI\\VEN_6A3C&DEV_5E17");
  Device("MF\\PCI#VEN_6A3C&DEV_5E17#CHILD0000\\5&1", kPortsGuid, "ZELVORAHW\\PCIEX_COM");
  Device("PCI\\VEN_6A3C&DEV_5E17&SUBSYS_2\\4&3&0", kPortsGuid, "PCI\\VEN_6A3C&DEV_5E17");
  Key(kProfileEnum + std::string("PCI\\VEN_6A3C&DEV_5E17&SUBSYS_2\\4&3&0"));
  const auto before = machine_snapshot::Take(*machine_);
  for (const VidPidList& ids : {VidPidList{}, VidPidList{"", kCard}}) {
    Run([&](UninstallContext& u) {
      u.RemoveDevicesThroughSetupApi(ids);
      u.EnablePortDevices(ids);
    });
  }
  EXPECT_TRUE(machine_snapshot::Changes(before, machine_snapshot::Take(*machine_)).empty());
}

// A device whose hardware ID cannot be read (none at all, or longer than the buffer) is
// passed over; the card's devices after it are still removed.
TEST_F(DevicePasses, UnreadableHardwareIdsDoNotEndTheScan) {
  Device("PCI\\AAAA\\1", kMfGuid, nullptr);
  Device("PCI\\AAAB\\1", kMfGuid, std::string(600, 'X').c_str());
  Device("PCI\\VEN_6A3C&DEV_5E17\\4&1&0", kMfGuid, "PCI\\VEN_6A3C&DEV_5E17");
  Device("MF\\AAAA\\1", kPortsGuid, nullptr);
  Device("MF\\PCI#VEN_6A3C&DEV_5E17#CHILD0000\\5&1", kPortsGuid, "ZELVORAHW\\PCIEX_COM");
  Run([&](UninstallContext& u) { u.RemoveDevicesThroughSetupApi({kCard}); });
  EXPECT_FALSE(Present("PCI\\VEN_6A3C&DEV_5E17\\4&1&0"));
  EXPECT_FALSE(Present("MF\\PCI#VEN_6A3C&DEV_5E17#CHILD0000\\5&1"));
  EXPECT_TRUE(Present("PCI\\AAAA\\1"));
  EXPECT_TRUE(Present("MF\\AAAA\\1"));
}

TEST_F(DevicePasses, InstanceIdFailuresShowTheirMessages) {
  const std::string child = "MF\\PCI#VEN_6A3C&DEV_5E17#CHILD0000\\5&1";
  struct Case {
    const char* name;
    int failingCall;  // which SetupDiGetDeviceInstanceIdA call fails
    std::vector<std::string> messages;
    bool removed;
  };
  const Case cases[] = {
      // The size query of the first scan fails: that scan ends, the next ones remove it.
      {"size query", 1, {"SetupDiGetDeviceInstanceId: 31"}, true},
      // The read fails: the device is still tested against its own hardware ID, which is
      // not the card's, so the next scan removes it through its parent.
      {"read", 2, {"SetupDiGetDeviceInstanceId:: 31"}, true},
  };
  for (const Case& c : cases) {
    machine_ = engine_test::Edition("xp");
    Device(child, kPortsGuid, "ZELVORAHW\\PCIEX_COM");
    Fail("SetupDiGetDeviceInstanceIdA", ERROR_GEN_FAILURE, c.failingCall);
    const auto messages =
        Run([&](UninstallContext& u) { u.RemoveDevicesThroughSetupApi({kCard}); });
    EXPECT_EQ(c.messages, messages) << c.name;
    EXPECT_EQ(c.removed, !Present(child)) << c.name;
  }
}

TEST_F(DevicePasses, ASetThatCannotBeBuiltIsPassedOverSilently) {
  Device("PCI\\VEN_6A3C&DEV_5E17\\4&1&0", kMfGuid, "PCI\\VEN_6A3C&DEV_5E17");
  Fail("SetupDiGetClassDevsA", ERROR_NOT_ENOUGH_MEMORY, 1);
  const auto messages = Run([&](UninstallContext& u) { u.RemoveDevicesThroughSetupApi({kCard}); });
  EXPECT_TRUE(messages.empty());
  EXPECT_FALSE(Present("PCI\\VEN_6A3C&DEV_5E17\\4&1&0"));  // the second scan did it
}

TEST_F(DevicePasses, EnablingTurnsOnTheCardsPortsInTheCurrentProfile) {
  const std::string cardPort = "PCI\\VEN_6A3C&DEV_5E17&SUBSYS_2\\4&3&0";
  const std::string otherPort = "PCI\\VEN_9710&DEV_9835\\4&5&0";
  Device("PCI\\AAAA\\1", kPortsGuid, nullptr);  // passed over
  Device(cardPort, kPortsGuid, "pci\\VEN_6A3C&DEV_5E17&SUBSYS_2");
  Device(otherPort, kPortsGuid, "PCI\\VEN_9710&DEV_9835");
  for (const std::string& id : {cardPort, otherPort})
    Value(kProfileEnum + id, "CSConfigFlags", REG_DWORD, std::string("\x01\0\0\0", 4));
  const auto messages = Run([&](UninstallContext& u) { u.EnablePortDevices({kCard}); });
  EXPECT_TRUE(messages.empty());
  const sim::RegValue* card = Find(kProfileEnum + cardPort, "CSConfigFlags");
  EXPECT_TRUE(!card || card->data == std::string(4, '\0'));
  EXPECT_EQ(std::string("\x01\0\0\0", 4), Find(kProfileEnum + otherPort, "CSConfigFlags")->data);
  EXPECT_TRUE(Present(cardPort));
  EXPECT_EQ(0, Calls("SetupDiCallClassInstaller"));
}

TEST_F(DevicePasses, EnablingShowsItsTwoMessages) {
  Device("PCI\\VEN_6A3C&DEV_5E17&SUBSYS_2\\4&3&0", kPortsGuid, "PCI\\VEN_6A3C&DEV_5E17");
  Fail("SetupDiGetClassDevsA", ERROR_NOT_ENOUGH_MEMORY, 1);
  EXPECT_EQ((std::vector<std::string>{"CoInst::DeviceInfoSet:Invalid Handle"}),
            Run([&](UninstallContext& u) { u.EnablePortDevices({kCard}); }));
  machine_->faults.Clear();
  Fail("SetupDiSetClassInstallParamsA", ERROR_INVALID_PARAMETER);
  EXPECT_EQ((std::vector<std::string>{"SetupDiSetClassInstallParams Failed 87"}),
            Run([&](UninstallContext& u) { u.EnablePortDevices({kCard}); }));
  EXPECT_EQ(0, Calls("SetupDiChangeState"));
}

}  // namespace
