// Recording the card's COM numbers and releasing them from the port list and ComDB.
#include <gtest/gtest.h>

#include <string>

#include "tests/unit/uninstall_engine/uninstall_engine_test_support.h"
#include "uninstall_engine/registry_ops.h"
#include "uninstall_engine/uninstall_context.h"

namespace {

using engine_test::HandleCheck;
using engine_test::MachineTest;

const char kPorts[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
const char kArbiter[] = "System\\CurrentControlSet\\Control\\COM Name Arbiter";
const char kDevice[] = "SYSTEM\\CurrentControlSet\\Enum\\MF\\PCI#VEN_6A3C&DEV_5E17";

TEST(ComPortMap, BitsFollowTheComNumber) {
  struct Case {
    uint32_t port;
    int byte;
    uint8_t mask;
  } cases[] = {{1, 0, 0x01}, {8, 0, 0x80}, {9, 1, 0x01}, {10, 1, 0x02}, {256, 31, 0x80}};
  for (const Case& c : cases) {
    UninstallContext context;
    context.MarkCardComPort(c.port);
    for (int i = 0; i < 32; ++i)
      EXPECT_EQ(i == c.byte ? c.mask : 0, context.comPortMap[i]) << "COM" << c.port << " " << i;
    EXPECT_TRUE(context.IsCardComPort(c.port));
    EXPECT_FALSE(context.IsCardComPort(c.port == 1 ? 2 : c.port - 1));
  }
  UninstallContext context;
  for (uint32_t outside : {0u, 257u, 0xFFFFFFFFu}) {
    context.MarkCardComPort(outside);
    EXPECT_FALSE(context.IsCardComPort(outside));
  }
  for (uint8_t byte : context.comPortMap) EXPECT_EQ(0, byte);
}

class RecordPort : public MachineTest {};

TEST_F(RecordPort, RecordsOnlyComNamesInRange) {
  struct Case {
    const char* portName;  // nullptr: no value
    int port;              // 0: nothing recorded
  } cases[] = {{"COM10", 10}, {"com3", 3}, {"COM 7", 7}, {"COM256", 256}, {"COM0", 0},
               {"COM257", 0}, {"COMX", 0}, {"LPT1", 0},  {"COM", 0},      {nullptr, 0}};
  int instance = 0;
  for (const Case& c : cases) {
    const std::string path = std::string(kDevice) + "\\" + std::to_string(instance++);
    Key(path);
    if (c.portName) Sz(path + "\\Device Parameters", "PortName", c.portName);
  }
  sim::ProcessScope scope(*machine_);
  HandleCheck handles(scope.process());
  KeyAccessGrant grant = GrantKeyAccess("SYSTEM\\CurrentControlSet\\Enum");
  HKEY device = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDevice, 0, KEY_ALL_ACCESS, &device));
  instance = 0;
  for (const Case& c : cases) {
    UninstallContext context;
    context.RecordPortName(device, std::to_string(instance++));
    UninstallContext expected;
    if (c.port) expected.MarkCardComPort(c.port);
    EXPECT_EQ(0, memcmp(expected.comPortMap, context.comPortMap, 32))
        << (c.portName ? c.portName : "(none)");
  }
  RegCloseKey(device);
}

class PortsEntries : public MachineTest {
 protected:
  void SetUp() override {
    for (const char* name :
         {"COM1:", "COM2:", "COM3:", "COM4:", "FILE:", "LPT1:", "LPT2:", "LPT3:"})
      machine_->registry.FindFull(Full(kPorts))->values.Erase(name);
    for (const char* name : {"COM3:", "com10:", "COM4:", "LPT1:", "FILE:", "COM3", "COMx:"})
      Sz(kPorts, name, "9600,n,8,1");
  }
};

TEST_F(PortsEntries, DeletesTheRecordedPortsOnly) {
  sim::ProcessScope scope(*machine_);
  HandleCheck handles(scope.process());
  UninstallContext context;
  context.MarkCardComPort(3);
  context.MarkCardComPort(10);
  context.DeletePortsEntries();
  // In name order com10:, COM3 and COM3: come one after the other: one walk removes
  // them all. "COM3" without the colon stands for the same number.
  for (const char* gone : {"COM3:", "com10:", "COM3"}) EXPECT_FALSE(Find(kPorts, gone)) << gone;
  for (const char* kept : {"COM4:", "LPT1:", "FILE:", "COMx:"})
    EXPECT_TRUE(Find(kPorts, kept)) << kept;
}

TEST_F(PortsEntries, NothingRecordedChangesNothing) {
  sim::ProcessScope scope(*machine_);
  UninstallContext context;
  context.DeletePortsEntries();
  EXPECT_EQ(7u, machine_->registry.FindFull(Full(kPorts))->values.Size());
}

TEST_F(PortsEntries, AValueThatCannotBeDeletedIsPassed) {
  machine_->faults.Add({"RegDeleteValueA", ERROR_ACCESS_DENIED, 0, "COM3:"});
  sim::ProcessScope scope(*machine_);
  UninstallContext context;
  context.MarkCardComPort(3);
  context.MarkCardComPort(10);
  context.DeletePortsEntries();
  EXPECT_TRUE(Find(kPorts, "COM3:"));
  EXPECT_FALSE(Find(kPorts, "com10:"));
}

class ComDb : public MachineTest {
 protected:
  static std::string Bits(std::initializer_list<int> ports, size_t size = 32) {
    std::string data(size, '\0');
    for (int n : ports)
      data[(n - 1) >> 3] = static_cast<char>(data[(n - 1) >> 3] | 1 << ((n - 1) & 7));
    return data;
  }
  void Run(std::initializer_list<int> recorded) {
    sim::ProcessScope scope(*machine_);
    HandleCheck handles(scope.process());
    UninstallContext context;
    for (int n : recorded) context.MarkCardComPort(n);
    context.ReleaseComDbPorts();
  }
  std::string ComDbData() const { return Find(kArbiter, "ComDB")->data; }
};

TEST_F(ComDb, ClearsRecordedPortsButKeepsMergedAndOthers) {
  Value(kArbiter, "ComDB", REG_BINARY, Bits({1, 2, 3, 5, 10, 256}));
  Value(kArbiter, "ComDB Merge", REG_BINARY, Bits({5, 1}));
  Run({3, 5, 10, 11});
  EXPECT_EQ(Bits({1, 2, 5, 256}), ComDbData());
}

// A merge copy that cannot be read whole counts as clear, whatever its first bytes say.
TEST_F(ComDb, AMergeCopyLongerThan32BytesCountsAsClear) {
  Value(kArbiter, "ComDB", REG_BINARY, Bits({1, 3}));
  Value(kArbiter, "ComDB Merge", REG_BINARY, Bits({3}, 33));
  Run({3});
  EXPECT_EQ(Bits({1}), ComDbData());
}

TEST_F(ComDb, IsNotWrittenWhenNothingChanges) {
  Value(kArbiter, "ComDB", REG_BINARY, Bits({1, 2}, 16));
  machine_->faults.Add({"RegSetValueExA", ERROR_ACCESS_DENIED, 0, ""});
  Run({3});
  EXPECT_EQ(Bits({1, 2}, 16), ComDbData());
  EXPECT_EQ(0, machine_->faults.CallCounts()["RegSetValueExA"]);
}

TEST_F(ComDb, AShortValueIsWrittenBackWholeLength) {
  Value(kArbiter, "ComDB", REG_BINARY, Bits({1, 3, 10}, 16));
  Run({10});
  EXPECT_EQ(Bits({1, 3}, 32), ComDbData());
}

TEST_F(ComDb, LeavesValuesItCannotTrustAlone) {
  struct Case {
    const char* what;
    uint32_t type;
    std::string data;
  } cases[] = {{"wrong type", REG_SZ, Bits({3}, 32)},
               {"empty", REG_BINARY, ""},
               {"longer than 32 bytes", REG_BINARY, Bits({3}, 33)}};
  for (const Case& c : cases) {
    machine_ = engine_test::Edition("xp");
    Value(kArbiter, "ComDB", c.type, c.data);
    Run({3});
    EXPECT_EQ(c.data, ComDbData()) << c.what;
    EXPECT_EQ(c.type, Find(kArbiter, "ComDB")->type) << c.what;
  }
}

TEST_F(ComDb, NoPortRecordedOrNoKeyChangesNothing) {
  Value(kArbiter, "ComDB", REG_BINARY, Bits({1, 3}));
  Run({});
  EXPECT_EQ(Bits({1, 3}), ComDbData());
  machine_->registry.DeleteTree(machine_->registry.FindFull(Full(kArbiter)));
  Run({3});
  EXPECT_FALSE(Exists(kArbiter));
}

TEST_F(ComDb, EveryPassGivesItsGrantBack) {
  Value(kArbiter, "ComDB", REG_BINARY, Bits({3}));
  const sim::KeySecurity arbiter = Security(kArbiter), ports = Security(kPorts),
                         serial = Security("HARDWARE\\DEVICEMAP\\SERIALCOMM");
  {
    sim::ProcessScope scope(*machine_);
    HandleCheck handles(scope.process());
    UninstallContext context;
    context.MarkCardComPort(3);
    context.GrantSerialCommAccess();
    context.DeletePortsEntries();
    context.ReleaseComDbPorts();
  }
  EXPECT_EQ(Bits({}), ComDbData());
  EXPECT_TRUE(Security(kArbiter) == arbiter);
  EXPECT_TRUE(Security(kPorts) == ports);
  EXPECT_TRUE(Security("HARDWARE\\DEVICEMAP\\SERIALCOMM") == serial);
}

}  // namespace
