// The simulated device installer on machines with the card installed (the XP and XP x64
// card fixtures): which devices a set holds and in what order, the size protocols, what
// DIF_REMOVE takes away and what it leaves, enable/disable, WOW64, handles and faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/win32/device_sets.h"
#include "platform/sim/machine/device_tree.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/storage/reg_file.h"
#include "platform/win32.h"

namespace {

const char kCcs[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\";
const char kCardPci[] = "PCI\\VEN_6A3C&DEV_5E17&SUBSYS_00011000&REV_01\\4&2a7b1c3&0&00E4";
const char kCom3[] = "MF\\PCI#VEN_6A3C&DEV_5E17&SUBSYS_00011000&REV_01#CHILD0000\\4&2a7b1c3&0&00E4";
const char kCom10[] =
    "MF\\PCI#VEN_6A3C&DEV_5E17&SUBSYS_00011000&REV_01#CHILD0001\\4&2a7b1c3&0&00E4";
const char kLpt2[] = "MF\\PCI#VEN_6A3C&DEV_5E17&SUBSYS_00011000&REV_01#CHILD0002\\4&2a7b1c3&0&00E4";
const char kOtherMfChild[] =
    "MF\\PCI#VEN_9710&DEV_9845&SUBSYS_00041000&REV_01#CHILD0000\\4&1f7dbc9f&0&10F0";
const char kOtherPort[] = "PCI\\VEN_9710&DEV_9835&SUBSYS_00021000&REV_01\\4&1f7dbc9f&0&08F0";
const char kOtherMf[] = "PCI\\VEN_9710&DEV_9845&SUBSYS_00041000&REV_01\\4&1f7dbc9f&0&10F0";
const char kProfileEnum[] = "Hardware Profiles\\Current\\System\\CurrentControlSet\\Enum\\";

static_assert(sizeof(SP_CLASSINSTALL_HEADER) == 8, "the SDK's header size");
static_assert(sizeof(SP_PROPCHANGE_PARAMS) == 20, "the property-change request is 20 bytes");
static_assert(sizeof(SP_DEVINFO_DATA) == (sizeof(void*) == 4 ? 28 : 32),
              "28 bytes in a 32-bit program, 32 in a 64-bit one");

// The edition with the card fixture of the same name applied.
std::unique_ptr<sim::Machine> CardMachine(const char* edition) {
  std::string error;
  auto machine = sim::MachineFromEdition(edition, &error);
  EXPECT_TRUE(machine) << error;
  const std::string file = std::string(KESTROLIN_SOURCE_DIR) + "/tests/fixtures/reg/" +
                           (std::string(edition) == "xp" ? "xp" : "xp_x64") + "_card_installed.reg";
  std::ifstream in(file, std::ios::binary);
  EXPECT_TRUE(in) << file;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<sim::RegFileOp> ops;
  EXPECT_TRUE(sim::ParseRegFile(bytes, file, &ops, &error)) << error;
  sim::ApplyRegFile(ops, &machine->registry);
  return machine;
}

class DeviceSet {
 public:
  explicit DeviceSet(HDEVINFO set) : set_(set) {}
  DeviceSet(const GUID* cls, DWORD flags)
      : set_(SetupDiGetClassDevsA(cls, nullptr, nullptr, flags)) {}
  ~DeviceSet() {
    if (set_ != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set_);
  }
  DeviceSet(const DeviceSet&) = delete;
  DeviceSet& operator=(const DeviceSet&) = delete;
  HDEVINFO get() const { return set_; }

 private:
  HDEVINFO set_;
};

SP_DEVINFO_DATA Record() {
  SP_DEVINFO_DATA d;
  std::memset(&d, 0, sizeof d);
  d.cbSize = sizeof d;
  return d;
}

std::string IdOf(HDEVINFO set, SP_DEVINFO_DATA* device) {
  char id[512] = {};
  return SetupDiGetDeviceInstanceIdA(set, device, id, sizeof id, nullptr) ? id : "";
}

std::vector<std::string> Ids(HDEVINFO set) {
  std::vector<std::string> ids;
  SP_DEVINFO_DATA d = Record();
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &d); ++i) ids.push_back(IdOf(set, &d));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  return ids;
}

SP_DEVINFO_DATA Member(HDEVINFO set, const std::string& id) {
  SP_DEVINFO_DATA d = Record();
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &d); ++i)
    if (IdOf(set, &d) == id) return d;
  ADD_FAILURE() << "not in the set: " << id;
  return Record();
}

std::string Bits(std::initializer_list<int> ports) {
  std::string data(32, '\0');
  for (int n : ports)
    data[(n - 1) >> 3] = static_cast<char>(data[(n - 1) >> 3] | 1 << ((n - 1) & 7));
  return data;
}

void Delete(sim::Machine& m, const std::string& fullPath) {
  auto key = m.registry.FindFull(fullPath);
  ASSERT_TRUE(key) << fullPath;
  sim::Registry::DeleteTree(key);
}

const sim::RegValue* ValueAt(sim::Machine& m, const std::string& fullPath, const char* name) {
  auto key = m.registry.FindFull(fullPath);
  return key ? key->values.Find(name) : nullptr;
}

DWORD DwordAt(sim::Machine& m, const std::string& fullPath, const char* name) {
  const sim::RegValue* v = ValueAt(m, fullPath, name);
  DWORD d = 0xFFFFFFFFu;
  if (v && v->data.size() == 4) std::memcpy(&d, v->data.data(), 4);
  return d;
}

SP_PROPCHANGE_PARAMS Change(DWORD state, DWORD scope, DWORD profile = 0) {
  SP_PROPCHANGE_PARAMS p;
  std::memset(&p, 0, sizeof p);
  p.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
  p.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
  p.StateChange = state;
  p.Scope = scope;
  p.HwProfile = profile;
  return p;
}

// ---- Sets ---------------------------------------------------------------------------------

TEST(SimDevices, ASetHoldsTheClassesDevicesInRegistryOrder) {
  auto machine = CardMachine("xp");
  sim::ProcessScope scope(*machine);
  struct Case {
    const char* what;
    const GUID* cls;
    DWORD flags;
    std::vector<std::string> ids;
  } cases[] = {
      {"ports",
       &GUID_DEVCLASS_PORTS,
       DIGCF_PROFILE,
       {"ACPI\\PNP0401\\1", "ACPI\\PNP0501\\1", "ACPI\\PNP0501\\2", kCom3, kCom10, kLpt2,
        kOtherMfChild, kOtherPort}},
      // The fixture writes this class GUID in lower case: compared without regard to case.
      {"multifunction", &GUID_DEVCLASS_MULTIFUNCTION, DIGCF_PROFILE, {kCardPci, kOtherMf}},
      {"present ports",
       &GUID_DEVCLASS_PORTS,
       DIGCF_PRESENT | DIGCF_PROFILE,
       {"ACPI\\PNP0401\\1", "ACPI\\PNP0501\\1", "ACPI\\PNP0501\\2", kCom3, kCom10, kLpt2,
        kOtherMfChild, kOtherPort}},
  };
  for (const Case& c : cases) {
    DeviceSet set(c.cls, c.flags);
    ASSERT_NE(set.get(), INVALID_HANDLE_VALUE) << c.what;
    EXPECT_EQ(Ids(set.get()), c.ids) << c.what;
  }
  // Every class: the card's devices among all the others, none twice.
  DeviceSet all(nullptr, DIGCF_ALLCLASSES);
  const std::vector<std::string> everything = Ids(all.get());
  EXPECT_EQ(everything.size(), 8u + 2u + 6u);  // ports, multifunction, five others and the bridge
  // The enumerator narrows the set.
  DeviceSet pci(SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, "pci", nullptr, 0));
  EXPECT_EQ(Ids(pci.get()), std::vector<std::string>{kOtherPort});
}

TEST(SimDevices, TheProfileLeavesOutOnlyDevicesNotCreatedInIt) {
  auto machine = CardMachine("xp");
  // COM10 is disabled in the current profile (the fixture): disabled devices stay listed.
  ASSERT_EQ(DwordAt(*machine, std::string(kCcs) + kProfileEnum + kCom10, "CSConfigFlags"), 1u);
  machine->registry.SetValue(std::string(kCcs) + kProfileEnum + kCom3, "CSConfigFlags", REG_DWORD,
                             sim::Registry::DwordData(sim::kCsConfigFlagDoNotCreate));
  sim::ProcessScope scope(*machine);
  DeviceSet inProfile(&GUID_DEVCLASS_PORTS, DIGCF_PROFILE);
  DeviceSet every(&GUID_DEVCLASS_PORTS, 0);
  const auto listed = Ids(inProfile.get());
  EXPECT_EQ(std::count(listed.begin(), listed.end(), kCom3), 0);
  EXPECT_EQ(std::count(listed.begin(), listed.end(), kCom10), 1);
  const auto all = Ids(every.get());
  EXPECT_EQ(std::count(all.begin(), all.end(), kCom3), 1);
}

TEST(SimDevices, ASetIsASnapshotOfTheInstancesWhenItWasBuilt) {
  auto machine = CardMachine("xp");
  sim::ProcessScope scope(*machine);
  DeviceSet set(&GUID_DEVCLASS_MULTIFUNCTION, DIGCF_PROFILE);
  // A device that arrives later is not in it; one that goes keeps its place but is gone.
  machine->registry.SetValue(std::string(kCcs) + "Enum\\PCI\\VEN_1\\0", "ClassGUID", REG_SZ,
                             sim::Registry::StringData("{4D36E971-E325-11CE-BFC1-08002BE10318}"));
  Delete(*machine, std::string(kCcs) + "Enum\\" + kOtherMf);
  EXPECT_EQ(Ids(set.get()), (std::vector<std::string>{kCardPci, ""}));
  SP_DEVINFO_DATA gone = Record();
  ASSERT_TRUE(SetupDiEnumDeviceInfo(set.get(), 1, &gone));
  BYTE buffer[512];
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set.get(), &gone, SPDRP_HARDWAREID, nullptr,
                                                 buffer, sizeof buffer, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_DEVINST));
  DeviceSet fresh(&GUID_DEVCLASS_MULTIFUNCTION, DIGCF_PROFILE);
  EXPECT_EQ(Ids(fresh.get()), (std::vector<std::string>{"PCI\\VEN_1\\0", kCardPci}));
}

TEST(SimDevices, BadArgumentsGetTheSdksErrors) {
  auto machine = CardMachine("xp");
  sim::ProcessScope scope(*machine);
  SetLastError(0);
  EXPECT_EQ(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PROFILE), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, 0x20),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));

  DeviceSet ports(&GUID_DEVCLASS_PORTS, DIGCF_PROFILE);
  DeviceSet mf(&GUID_DEVCLASS_MULTIFUNCTION, DIGCF_PROFILE);
  SP_DEVINFO_DATA port = Member(ports.get(), kCom3);
  SP_DEVINFO_DATA card = Member(mf.get(), kCardPci);
  SP_DEVINFO_DATA shortRecord = port;
  shortRecord.cbSize = 28 + 32 - static_cast<DWORD>(sizeof(SP_DEVINFO_DATA));  // the other size
  SP_DEVINFO_DATA forged = port;
  forged.Reserved = 999;
  char id[256];
  struct Case {
    const char* what;
    HDEVINFO set;
    SP_DEVINFO_DATA* device;
    DWORD error;
  } cases[] = {
      {"invalid handle", INVALID_HANDLE_VALUE, &port, ERROR_INVALID_HANDLE},
      {"null handle", nullptr, &port, ERROR_INVALID_HANDLE},
      {"no record", ports.get(), nullptr, ERROR_INVALID_PARAMETER},
      {"the other program size", ports.get(), &shortRecord, ERROR_INVALID_USER_BUFFER},
      {"a record of another set", ports.get(), &card, ERROR_INVALID_PARAMETER},
      {"a forged record", ports.get(), &forged, ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_FALSE(SetupDiGetDeviceInstanceIdA(c.set, c.device, id, sizeof id, nullptr)) << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
    SetLastError(0);
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(c.set, c.device, SPDRP_HARDWAREID, nullptr,
                                                   nullptr, 0, nullptr))
        << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
  }
  SP_DEVINFO_DATA d = Record();
  EXPECT_FALSE(SetupDiEnumDeviceInfo(ports.get(), 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  d.cbSize = 0;
  EXPECT_FALSE(SetupDiEnumDeviceInfo(ports.get(), 0, &d));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
  EXPECT_FALSE(
      SetupDiGetDeviceRegistryPropertyA(ports.get(), &port, 0x25, nullptr, nullptr, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_REG_PROPERTY));
}

// ---- Properties and instance ids -----------------------------------------------------------

TEST(SimDevices, PropertiesFollowTheSizeProtocol) {
  auto machine = CardMachine("xp");
  sim::ProcessScope scope(*machine);
  DeviceSet mf(&GUID_DEVCLASS_MULTIFUNCTION, DIGCF_PROFILE);
  SP_DEVINFO_DATA card = Member(mf.get(), kCardPci);
  const std::string hardwareId = std::string("PCI\\VEN_6A3C&DEV_5E17&SUBSYS_00011000&REV_01") +
                                 '\0' + "PCI\\VEN_6A3C&DEV_5E17&SUBSYS_00011000" + '\0' +
                                 "PCI\\VEN_6A3C&DEV_5E17&CC_070002" + '\0' +
                                 "PCI\\VEN_6A3C&DEV_5E17&CC_0700" + '\0' + '\0';
  struct Case {
    DWORD property;
    DWORD type;
    std::string bytes;  // ANSI, as the A function hands it over
  } cases[] = {
      {SPDRP_HARDWAREID, REG_MULTI_SZ, hardwareId},
      {SPDRP_DEVICEDESC, REG_SZ, std::string("Zelvora PCIe Multi-IO Controller") + '\0'},
      {SPDRP_DRIVER, REG_SZ, std::string("{4d36e971-e325-11ce-bfc1-08002be10318}\\0000") + '\0'},
  };
  for (const Case& c : cases) {
    const DWORD size = static_cast<DWORD>(c.bytes.size());
    for (DWORD bufferSize : {DWORD{0}, DWORD{1}, size - 1, size, size + 10}) {
      std::vector<BYTE> buffer(bufferSize + 1, 0xCC);
      DWORD type = 0, required = 0;
      SetLastError(0);
      const BOOL ok = SetupDiGetDeviceRegistryPropertyA(mf.get(), &card, c.property, &type,
                                                        bufferSize ? buffer.data() : nullptr,
                                                        bufferSize, &required);
      EXPECT_EQ(ok != FALSE, bufferSize >= size) << c.property << "/" << bufferSize;
      EXPECT_EQ(required, size) << c.property << "/" << bufferSize;
      EXPECT_EQ(type, c.type) << c.property;
      if (ok) {
        EXPECT_EQ(GetLastError(), 0u);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), size), c.bytes);
        EXPECT_EQ(buffer[size], 0xCC);
      } else {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(buffer[0], 0xCC) << "nothing written when it does not fit";
      }
    }
  }
  // Without a hardware ID: ERROR_INVALID_DATA, whatever the buffer.
  machine->registry.FindFull(std::string(kCcs) + "Enum\\" + kLpt2)->values.Erase("HardwareID");
  DeviceSet ports(&GUID_DEVCLASS_PORTS, DIGCF_PROFILE);
  SP_DEVINFO_DATA lpt = Member(ports.get(), kLpt2);
  BYTE buffer[512];
  for (DWORD size : {DWORD{0}, DWORD{sizeof buffer}}) {
    DWORD required = 77;
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(ports.get(), &lpt, SPDRP_HARDWAREID, nullptr,
                                                   size ? buffer : nullptr, size, &required));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
  }
}

TEST(SimDevices, InstanceIdsFollowTheSizeProtocol) {
  auto machine = CardMachine("xp");
  sim::ProcessScope scope(*machine);
  DeviceSet ports(&GUID_DEVCLASS_PORTS, DIGCF_PROFILE);
  SP_DEVINFO_DATA port = Member(ports.get(), kCom10);
  const DWORD needed = static_cast<DWORD>(std::strlen(kCom10) + 1);
  struct Case {
    DWORD size;
    bool withBuffer;
    DWORD error;  // 0: succeeds
  } cases[] = {
      {0, false, ERROR_INSUFFICIENT_BUFFER},
      {needed - 1, true, ERROR_INSUFFICIENT_BUFFER},
      {needed, true, 0},
      {needed + 20, true, 0},
      {needed, false, ERROR_INVALID_USER_BUFFER},
  };
  for (const Case& c : cases) {
    std::vector<char> buffer(c.size + 1, 'x');
    DWORD required = 0;
    SetLastError(0);
    const BOOL ok = SetupDiGetDeviceInstanceIdA(
        ports.get(), &port, c.withBuffer ? buffer.data() : nullptr, c.size, &required);
    EXPECT_EQ(ok != FALSE, c.error == 0) << c.size;
    EXPECT_EQ(GetLastError(), c.error) << c.size;
    if (c.error != ERROR_INVALID_USER_BUFFER) {
      EXPECT_EQ(required, needed) << c.size;
    }
    if (ok) {
      EXPECT_EQ(std::string(buffer.data()), kCom10);
    }
  }
}

// ---- Removal -------------------------------------------------------------------------------

// Removes `id` through a fresh set of its class.
BOOL Remove(const GUID* cls, const std::string& id) {
  DeviceSet set(cls, DIGCF_PROFILE);
  SP_DEVINFO_DATA d = Member(set.get(), id);
  SP_PROPCHANGE_PARAMS disable = Change(DICS_DISABLE, DICS_FLAG_CONFIGSPECIFIC);
  // As the uninstall pass does it: the disable request first, then the removal.
  EXPECT_TRUE(
      SetupDiSetClassInstallParamsA(set.get(), &d, &disable.ClassInstallHeader, sizeof disable));
  return SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &d);
}

TEST(SimDevices, RemovingAComPortTakesItsKeysAndNumberAndNothingElse) {
  auto machine = CardMachine("xp");
  {
    sim::ProcessScope scope(*machine);  // an administrator: Enum's access list does not matter
    ASSERT_TRUE(Remove(&GUID_DEVCLASS_PORTS, kCom10)) << GetLastError();
    EXPECT_EQ(GetLastError(), 0u);
  }
  auto expected = CardMachine("xp");
  const std::string ccs = kCcs;
  // The instance with its device key (it had no other instance), the driver key, the
  // profile state; COM10's bit; its device-map entry. "COM10:" in Ports stays.
  Delete(*expected, ccs + "Enum\\MF\\PCI#VEN_6A3C&DEV_5E17&SUBSYS_00011000&REV_01#CHILD0001");
  Delete(*expected, ccs + "Control\\Class\\{4D36E978-E325-11CE-BFC1-08002BE10318}\\0004");
  Delete(*expected,
         ccs + kProfileEnum + "MF\\PCI#VEN_6A3C&DEV_5E17&SUBSYS_00011000&REV_01#CHILD0001");
  expected->registry.SetValue(ccs + "Control\\COM Name Arbiter", "ComDB", REG_BINARY,
                              Bits({1, 2, 3, 5, 6}));
  expected->registry.FindFull("HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM")
      ->values.Erase("\\Device\\Orrick1");
  std::string difference;
  EXPECT_TRUE(machine->registry.SameAs(expected->registry, &difference)) << difference;
  EXPECT_TRUE(ValueAt(*machine,
                      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports",
                      "COM10:"));
}

TEST(SimDevices, RemovingDevicesThatAreNoComPortsReleasesNoNumber) {
  auto machine = CardMachine("xp");
  {
    sim::ProcessScope scope(*machine);
    ASSERT_TRUE(Remove(&GUID_DEVCLASS_MULTIFUNCTION, kCardPci));
    ASSERT_TRUE(Remove(&GUID_DEVCLASS_PORTS, kLpt2));
  }
  auto expected = CardMachine("xp");
  const std::string ccs = kCcs;
  Delete(*expected, ccs + "Enum\\PCI\\VEN_6A3C&DEV_5E17&SUBSYS_00011000&REV_01");
  Delete(*expected, ccs + "Enum\\MF\\PCI#VEN_6A3C&DEV_5E17&SUBSYS_00011000&REV_01#CHILD0002");
  Delete(*expected, ccs + "Control\\Class\\{4d36e971-e325-11ce-bfc1-08002be10318}\\0000");
  Delete(*expected, ccs + "Control\\Class\\{4D36E978-E325-11CE-BFC1-08002BE10318}\\0005");
  std::string difference;
  EXPECT_TRUE(machine->registry.SameAs(expected->registry, &difference)) << difference;
}

// A damaged "Driver" value names no driver key: the class and its other drivers stay.
TEST(SimDevices, ADamagedDriverValueTakesNoClassKeyWithIt) {
  const char* const damaged[] = {
      "",
      "{4D36E978-E325-11CE-BFC1-08002BE10318}",
      "{4D36E978-E325-11CE-BFC1-08002BE10318}\\",
      "{4D36E978-E325-11CE-BFC1-08002BE10318}\\..",
      "{4D36E978-E325-11CE-BFC1-08002BE10318}\\0004\\x",
      "Ports\\0004",
  };
  for (const char* driver : damaged) {
    auto machine = CardMachine("xp");
    const std::string instance = std::string(kCcs) + "Enum\\" + kCom3;
    machine->registry.SetValue(instance, "Driver", REG_SZ, sim::Registry::StringData(driver));
    {
      sim::ProcessScope scope(*machine);
      ASSERT_TRUE(Remove(&GUID_DEVCLASS_PORTS, kCom3)) << driver;
    }
    EXPECT_FALSE(machine->registry.FindFull(instance)) << driver;
    auto ports = machine->registry.FindFull(
        std::string(kCcs) + "Control\\Class\\{4D36E978-E325-11CE-BFC1-08002BE10318}");
    ASSERT_TRUE(ports) << driver;
    for (const char* index : {"0000", "0001", "0002", "0003", "0004", "0005", "0006", "0007"})
      EXPECT_TRUE(ports->subkeys.Find(index)) << driver << " " << index;
  }
}

TEST(SimDevices, ARemovedDeviceCannotBeRemovedAgain) {
  auto machine = CardMachine("xp");
  sim::ProcessScope scope(*machine);
  DeviceSet set(&GUID_DEVCLASS_PORTS, DIGCF_PROFILE);
  DeviceSet older(&GUID_DEVCLASS_PORTS, DIGCF_PROFILE);
  SP_DEVINFO_DATA d = Member(set.get(), kCom3);
  SP_DEVINFO_DATA inOlder = Member(older.get(), kCom3);
  ASSERT_TRUE(SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &d));
  for (HDEVINFO s : {set.get(), older.get()}) {
    SP_DEVINFO_DATA* record = s == set.get() ? &d : &inOlder;
    EXPECT_FALSE(SetupDiCallClassInstaller(DIF_REMOVE, s, record));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_DEVINST));
  }
  // The next device keeps its index in the set the removal went through.
  SP_DEVINFO_DATA next = Record();
  ASSERT_TRUE(SetupDiEnumDeviceInfo(set.get(), 4, &next));
  EXPECT_EQ(IdOf(set.get(), &next), kCom10);
}

// ---- Enable and disable --------------------------------------------------------------------

TEST(SimDevices, StateChangesSetTheFlagsOfTheirScope) {
  const std::string profileCom3 = std::string(kCcs) + kProfileEnum + kCom3;
  const std::string profileCom10 = std::string(kCcs) + kProfileEnum + kCom10;
  const std::string enumCom3 = std::string(kCcs) + "Enum\\" + kCom3;
  struct Case {
    const char* what;
    const char* device;
    DWORD state, scope;
    std::string key;  // where the flags are expected
    const char* value;
    DWORD expected;  // 0xFFFFFFFF: no such value
  } cases[] = {
      {"disable here", kCom3, DICS_DISABLE, DICS_FLAG_CONFIGSPECIFIC, profileCom3, "CSConfigFlags",
       1},
      {"enable the disabled port", kCom10, DICS_ENABLE, DICS_FLAG_CONFIGSPECIFIC, profileCom10,
       "CSConfigFlags", 0},
      {"enable an enabled port: nothing written", kCom3, DICS_ENABLE, DICS_FLAG_CONFIGSPECIFIC,
       profileCom3, "CSConfigFlags", 0xFFFFFFFFu},
      {"disable everywhere", kCom3, DICS_DISABLE, DICS_FLAG_GLOBAL, enumCom3, "ConfigFlags", 1},
      {"disable everywhere leaves the profile", kCom3, DICS_DISABLE, DICS_FLAG_GLOBAL, profileCom3,
       "CSConfigFlags", 0xFFFFFFFFu},
      {"stop", kCom3, DICS_STOP, DICS_FLAG_CONFIGSPECIFIC, profileCom3, "CSConfigFlags", 4},
  };
  for (const Case& c : cases) {
    for (bool throughClassInstaller : {false, true}) {
      auto machine = CardMachine("xp");
      {
        sim::ProcessScope scope(*machine);
        DeviceSet set(&GUID_DEVCLASS_PORTS, DIGCF_PROFILE);
        SP_DEVINFO_DATA d = Member(set.get(), c.device);
        SP_PROPCHANGE_PARAMS change = Change(c.state, c.scope);
        ASSERT_TRUE(
            SetupDiSetClassInstallParamsA(set.get(), &d, &change.ClassInstallHeader, sizeof change))
            << c.what;
        const BOOL ok = throughClassInstaller
                            ? SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, set.get(), &d)
                            : SetupDiChangeState(set.get(), &d);
        EXPECT_TRUE(ok) << c.what << " " << GetLastError();
      }
      EXPECT_EQ(DwordAt(*machine, c.key, c.value), c.expected) << c.what;
    }
  }
}

TEST(SimDevices, ClassInstallParametersAreCheckedAndNeededForAStateChange) {
  auto machine = CardMachine("xp");
  sim::ProcessScope scope(*machine);
  DeviceSet set(&GUID_DEVCLASS_PORTS, DIGCF_PROFILE);
  SP_DEVINFO_DATA d = Member(set.get(), kCom3);
  EXPECT_FALSE(SetupDiChangeState(set.get(), &d));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_CLASSINSTALL_PARAMS));
  struct Case {
    const char* what;
    SP_PROPCHANGE_PARAMS params;
    DWORD size;
    DWORD error;
  } cases[] = {
      {"header size 0", Change(DICS_ENABLE, DICS_FLAG_CONFIGSPECIFIC), 20,
       ERROR_INVALID_USER_BUFFER},
      {"19 bytes", Change(DICS_ENABLE, DICS_FLAG_CONFIGSPECIFIC), 19, ERROR_INVALID_PARAMETER},
      {"21 bytes", Change(DICS_ENABLE, DICS_FLAG_CONFIGSPECIFIC), 21, ERROR_INVALID_PARAMETER},
      {"header only", Change(DICS_ENABLE, DICS_FLAG_CONFIGSPECIFIC), 8, ERROR_INVALID_PARAMETER},
      {"no state", Change(0, DICS_FLAG_CONFIGSPECIFIC), 20, ERROR_INVALID_FLAGS},
      {"state 6", Change(6, DICS_FLAG_CONFIGSPECIFIC), 20, ERROR_INVALID_FLAGS},
      {"general scope", Change(DICS_ENABLE, DICS_FLAG_CONFIGGENERAL), 20, ERROR_INVALID_FLAGS},
      {"start everywhere", Change(DICS_START, DICS_FLAG_GLOBAL), 20, ERROR_INVALID_FLAGS},
  };
  cases[0].params.ClassInstallHeader.cbSize = 0;
  for (Case& c : cases) {
    SetLastError(0);
    EXPECT_FALSE(SetupDiSetClassInstallParamsA(set.get(), &d, &c.params.ClassInstallHeader, c.size))
        << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
  }
  // None of them was installed.
  EXPECT_FALSE(SetupDiChangeState(set.get(), &d));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_CLASSINSTALL_PARAMS));
  // A removal request is no state change; a missing numbered profile is refused.
  SP_REMOVEDEVICE_PARAMS remove;
  remove.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
  remove.ClassInstallHeader.InstallFunction = DIF_REMOVE;
  remove.Scope = DI_REMOVEDEVICE_GLOBAL;
  remove.HwProfile = 0;
  ASSERT_TRUE(
      SetupDiSetClassInstallParamsA(set.get(), &d, &remove.ClassInstallHeader, sizeof remove));
  EXPECT_FALSE(SetupDiChangeState(set.get(), &d));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_CLASSINSTALL_PARAMS));
  SP_PROPCHANGE_PARAMS other = Change(DICS_DISABLE, DICS_FLAG_CONFIGSPECIFIC, 7);
  ASSERT_TRUE(
      SetupDiSetClassInstallParamsA(set.get(), &d, &other.ClassInstallHeader, sizeof other));
  EXPECT_FALSE(SetupDiChangeState(set.get(), &d));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HWPROFILE));
  // Parameters are per device: another device of the set has none.
  SP_DEVINFO_DATA other10 = Member(set.get(), kCom10);
  EXPECT_FALSE(SetupDiChangeState(set.get(), &other10));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_CLASSINSTALL_PARAMS));
}

// ---- WOW64 ---------------------------------------------------------------------------------

TEST(SimDevices, A32BitProgramOn64BitWindowsReadsDevicesButChangesNone) {
  for (bool is64BitProcess : {false, true}) {
    auto machine = CardMachine("xp-x64");
    auto untouched = CardMachine("xp-x64");
    {
      sim::ProcessOptions options;
      options.is64BitProcess = is64BitProcess;
      sim::ProcessScope scope(*machine, options);
      DeviceSet set(&GUID_DEVCLASS_PORTS, DIGCF_PROFILE);
      SP_DEVINFO_DATA d = Member(set.get(), kCom3);
      BYTE buffer[512];
      EXPECT_TRUE(SetupDiGetDeviceRegistryPropertyA(set.get(), &d, SPDRP_HARDWAREID, nullptr,
                                                    buffer, sizeof buffer, nullptr));
      SP_PROPCHANGE_PARAMS enable = Change(DICS_DISABLE, DICS_FLAG_CONFIGSPECIFIC);
      EXPECT_TRUE(
          SetupDiSetClassInstallParamsA(set.get(), &d, &enable.ClassInstallHeader, sizeof enable));
      const BOOL changed = SetupDiChangeState(set.get(), &d);
      const DWORD changeError = GetLastError();
      const BOOL removed = SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &d);
      const DWORD removeError = GetLastError();
      if (is64BitProcess) {
        EXPECT_TRUE(changed);
        EXPECT_TRUE(removed);
      } else {
        EXPECT_FALSE(changed);
        EXPECT_EQ(changeError, static_cast<DWORD>(ERROR_IN_WOW64));
        EXPECT_FALSE(removed);
        EXPECT_EQ(removeError, static_cast<DWORD>(ERROR_IN_WOW64));
      }
    }
    std::string difference;
    EXPECT_EQ(machine->registry.SameAs(untouched->registry, &difference), !is64BitProcess)
        << difference;
  }
}

// ---- Handles, faults, made devices ---------------------------------------------------------

TEST(SimDevices, SetsAreHandlesUntilDestroyed) {
  auto machine = CardMachine("xp");
  sim::ProcessScope scope(*machine);
  EXPECT_EQ(sim::OpenDeviceSets(scope.process()), 0u);
  HDEVINFO a = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PROFILE);
  HDEVINFO b = SetupDiGetClassDevsA(&GUID_DEVCLASS_MULTIFUNCTION, nullptr, nullptr, 0);
  EXPECT_EQ(sim::OpenDeviceSets(scope.process()), 2u);
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(a));
  EXPECT_EQ(sim::OpenDeviceSets(scope.process()), 1u);
  // A destroyed set is no set.
  EXPECT_FALSE(SetupDiDestroyDeviceInfoList(a));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SP_DEVINFO_DATA d = Record();
  EXPECT_FALSE(SetupDiEnumDeviceInfo(a, 0, &d));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(b));
  EXPECT_EQ(sim::OpenDeviceSets(scope.process()), 0u);
  EXPECT_EQ(scope.process().handles.Count(), 0u);
}

TEST(SimDevices, InjectedFaultsFailTheNamedCallOnItsDevice) {
  auto machine = CardMachine("xp");
  machine->faults.Add({"SetupDiGetClassDevsA", ERROR_NOT_ENOUGH_MEMORY, 1, ""});
  machine->faults.Add({"SetupDiCallClassInstaller", ERROR_ACCESS_DENIED, 0, "CHILD0001"});
  machine->faults.Add({"SetupDiGetDeviceRegistryPropertyA", ERROR_GEN_FAILURE, 2, ""});
  sim::ProcessScope scope(*machine);
  EXPECT_EQ(SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PROFILE),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  DeviceSet set(&GUID_DEVCLASS_PORTS, DIGCF_PROFILE);
  ASSERT_NE(set.get(), INVALID_HANDLE_VALUE);
  SP_DEVINFO_DATA com3 = Member(set.get(), kCom3);
  SP_DEVINFO_DATA com10 = Member(set.get(), kCom10);
  BYTE buffer[512];
  EXPECT_TRUE(SetupDiGetDeviceRegistryPropertyA(set.get(), &com3, SPDRP_HARDWAREID, nullptr, buffer,
                                                sizeof buffer, nullptr));
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set.get(), &com3, SPDRP_HARDWAREID, nullptr,
                                                 buffer, sizeof buffer, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
  EXPECT_FALSE(SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &com10));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(machine->registry.FindFull(std::string(kCcs) + "Enum\\" + kCom10));
  EXPECT_TRUE(SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &com3));
  EXPECT_FALSE(machine->registry.FindFull(std::string(kCcs) + "Enum\\" + kCom3));
  EXPECT_GE(machine->faults.CallCounts()["SetupDiEnumDeviceInfo"], 1);
}

TEST(SimDevices, AMadeDeviceStaysOnlyWhenRegistered) {
  auto machine = CardMachine("xp");
  sim::ProcessScope scope(*machine);
  std::string kept, dropped;
  for (bool registerIt : {true, false}) {
    DeviceSet set(SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_PORTS, nullptr));
    SP_DEVINFO_DATA d = Record();
    ASSERT_TRUE(SetupDiCreateDeviceInfoA(set.get(), "TESTPORT", &GUID_DEVCLASS_PORTS, "Test port",
                                         nullptr, DICD_GENERATE_ID, &d));
    const std::string hardwareId = std::string("TEST\\PORT") + '\0' + '\0';
    ASSERT_TRUE(SetupDiSetDeviceRegistryPropertyA(set.get(), &d, SPDRP_HARDWAREID,
                                                  reinterpret_cast<const BYTE*>(hardwareId.data()),
                                                  static_cast<DWORD>(hardwareId.size())));
    if (registerIt) {
      ASSERT_TRUE(SetupDiRegisterDeviceInfo(set.get(), &d, 0, nullptr, nullptr, nullptr));
    }
    (registerIt ? kept : dropped) = IdOf(set.get(), &d);
    // A device of another class does not go into a set of this class.
    SP_DEVINFO_DATA wrong = Record();
    EXPECT_FALSE(SetupDiCreateDeviceInfoA(set.get(), "X", &GUID_DEVCLASS_MULTIFUNCTION, nullptr,
                                          nullptr, DICD_GENERATE_ID, &wrong));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_MISMATCH));
  }
  EXPECT_EQ(kept, "Root\\TESTPORT\\0000");  // the edition's Root key keeps its spelling
  EXPECT_EQ(dropped, "Root\\TESTPORT\\0001");
  DeviceSet ports(&GUID_DEVCLASS_PORTS, DIGCF_PROFILE);
  const auto ids = Ids(ports.get());
  EXPECT_EQ(std::count(ids.begin(), ids.end(), kept), 1);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), dropped), 0);
  // A made id that exists already is refused.
  DeviceSet set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
  EXPECT_FALSE(SetupDiCreateDeviceInfoA(set.get(), kCom3, &GUID_DEVCLASS_PORTS, nullptr, nullptr, 0,
                                        nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVINST_ALREADY_EXISTS));
}

}  // namespace
