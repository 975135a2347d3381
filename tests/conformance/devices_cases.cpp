// The device installer as the uninstall passes use it: device sets of a class, their
// enumeration, the size protocols of the hardware ID and the instance ID, class-install
// parameters and the removal of a device. Each case makes its own root-enumerated device
// of the ports class and looks only at that device.
#include <cstring>
#include <string>
#include <vector>

#include "env/environment.h"

namespace conformance {
namespace {

// A device information set destroyed on every path.
class ScopedDeviceSet {
 public:
  explicit ScopedDeviceSet(HDEVINFO set) : set_(set) {}
  ~ScopedDeviceSet() {
    if (valid()) SetupDiDestroyDeviceInfoList(set_);
  }
  ScopedDeviceSet(const ScopedDeviceSet&) = delete;
  ScopedDeviceSet& operator=(const ScopedDeviceSet&) = delete;
  HDEVINFO get() const { return set_; }
  bool valid() const { return set_ != INVALID_HANDLE_VALUE && set_ != nullptr; }

 private:
  HDEVINFO set_;
};

SP_DEVINFO_DATA EmptyDeviceData() {
  SP_DEVINFO_DATA data;
  std::memset(&data, 0, sizeof data);
  data.cbSize = sizeof data;
  return data;
}

std::string InstanceIdOf(HDEVINFO set, SP_DEVINFO_DATA* device) {
  char id[512] = {};
  if (!SetupDiGetDeviceInstanceIdA(set, device, id, sizeof id, nullptr)) return std::string();
  return id;
}

// Multi-string bytes of `strings`, each with its NUL, and the closing NUL.
std::string MultiString(const std::vector<std::string>& strings) {
  std::string bytes;
  for (const auto& s : strings) bytes += s + '\0';
  return bytes + '\0';
}

// 64-bit Windows runs no class installer for a 32-bit program: DIF_REMOVE fails there with
// ERROR_IN_WOW64. Wine 8 runs it and removes the device.
bool RefusesRemovalHere() { return IsWow64() && !IsWine(); }

class Devices : public ConformanceTest {
 protected:
  void TearDown() override {
    // What a case made and did not remove goes again where the platform lets it.
    for (const auto& id : made_) RemoveIfPresent(id);
    ConformanceTest::TearDown();
  }

  // A registered root device of the ports class named after the case; its instance id.
  // An empty `hardwareId` leaves the property unset.
  std::string MakePort(const std::string& suffix, const std::vector<std::string>& hardwareId) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string("KESTROLINCONF_") + info->name() + suffix;
    ScopedDeviceSet set(SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_PORTS, nullptr));
    EXPECT_TRUE(set.valid()) << GetLastError();
    if (!set.valid()) return std::string();
    SP_DEVINFO_DATA device = EmptyDeviceData();
    if (!SetupDiCreateDeviceInfoA(set.get(), name.c_str(), &GUID_DEVCLASS_PORTS, "Conformance port",
                                  nullptr, DICD_GENERATE_ID, &device)) {
      ADD_FAILURE() << "SetupDiCreateDeviceInfoA: " << GetLastError();
      return std::string();
    }
    if (!hardwareId.empty()) {
      const std::string bytes = MultiString(hardwareId);
      EXPECT_TRUE(SetupDiSetDeviceRegistryPropertyA(set.get(), &device, SPDRP_HARDWAREID,
                                                    reinterpret_cast<const BYTE*>(bytes.data()),
                                                    static_cast<DWORD>(bytes.size())))
          << GetLastError();
    }
    EXPECT_TRUE(SetupDiRegisterDeviceInfo(set.get(), &device, 0, nullptr, nullptr, nullptr))
        << GetLastError();
    const std::string id = InstanceIdOf(set.get(), &device);
    EXPECT_FALSE(id.empty());
    made_.push_back(id);
    return id;
  }

  // The ports-class devices of the current hardware profile, as the passes ask for them.
  static HDEVINFO PortsSet() {
    return SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PROFILE);
  }

  // Finds the device `id` in `set`; its index, or -1.
  static int Find(HDEVINFO set, const std::string& id, SP_DEVINFO_DATA* device) {
    for (DWORD i = 0;; ++i) {
      *device = EmptyDeviceData();
      if (!SetupDiEnumDeviceInfo(set, i, device)) return -1;
      if (lstrcmpiA(InstanceIdOf(set, device).c_str(), id.c_str()) == 0) return static_cast<int>(i);
    }
  }

  static void RemoveIfPresent(const std::string& id) {
    ScopedDeviceSet set(PortsSet());
    SP_DEVINFO_DATA device;
    if (set.valid() && Find(set.get(), id, &device) >= 0) {
      SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &device);
    }
  }

  std::vector<std::string> made_;
};

TEST_F(Devices, AClassSetListsTheDeviceWithItsClassAndEndsWithNoMoreItems) {
  const std::string id = MakePort("", {"KESTROLIN\\CONFPORT"});
  ASSERT_FALSE(id.empty());
  // A root device made with a generated id: ROOT\<name>\NNNN.
  EXPECT_EQ(_strnicmp(id.c_str(), "ROOT\\KESTROLINCONF_", 19), 0) << id;
  ScopedDeviceSet set(PortsSet());
  ASSERT_TRUE(set.valid()) << GetLastError();
  SP_DEVINFO_DATA device;
  const int index = Find(set.get(), id, &device);
  ASSERT_GE(index, 0) << id;
  EXPECT_EQ(std::memcmp(&device.ClassGuid, &GUID_DEVCLASS_PORTS, sizeof(GUID)), 0);
  DWORD count = 0;
  SP_DEVINFO_DATA any = EmptyDeviceData();
  while (SetupDiEnumDeviceInfo(set.get(), count, &any)) ++count;
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  EXPECT_GT(count, static_cast<DWORD>(index));
  // Past the end stays past the end.
  EXPECT_FALSE(SetupDiEnumDeviceInfo(set.get(), count + 5, &any));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
}

TEST_F(Devices, TheMultifunctionSetDoesNotListAPort) {
  const std::string id = MakePort("", {"KESTROLIN\\CONFPORT"});
  ASSERT_FALSE(id.empty());
  ScopedDeviceSet set(
      SetupDiGetClassDevsA(&GUID_DEVCLASS_MULTIFUNCTION, nullptr, nullptr, DIGCF_PROFILE));
  ASSERT_TRUE(set.valid()) << GetLastError();
  SP_DEVINFO_DATA device;
  EXPECT_EQ(Find(set.get(), id, &device), -1);
}

// The hardware ID through every buffer size around the one it needs.
TEST_F(Devices, TheHardwareIdSizeProtocol) {
  const std::string expected = MultiString({"KESTROLIN\\CONFPORT", "KESTROLIN\\OTHER"});
  const std::string id = MakePort("", {"KESTROLIN\\CONFPORT", "KESTROLIN\\OTHER"});
  ASSERT_FALSE(id.empty());
  ScopedDeviceSet set(PortsSet());
  ASSERT_TRUE(set.valid());
  SP_DEVINFO_DATA device;
  ASSERT_GE(Find(set.get(), id, &device), 0);
  const DWORD size = static_cast<DWORD>(expected.size());
  struct Case {
    DWORD bufferSize;
    bool withBuffer;
    bool succeeds;
  } cases[] = {
      {0, false, false},  {1, true, false},       {size - 1, true, false},
      {size, true, true}, {size + 7, true, true},
  };
  for (const Case& c : cases) {
    std::vector<BYTE> buffer(c.bufferSize + 1, 0xCC);
    DWORD type = 0, required = 0;
    SetLastError(0);
    const BOOL ok = SetupDiGetDeviceRegistryPropertyA(set.get(), &device, SPDRP_HARDWAREID, &type,
                                                      c.withBuffer ? buffer.data() : nullptr,
                                                      c.bufferSize, &required);
    EXPECT_EQ(ok != FALSE, c.succeeds) << c.bufferSize;
    EXPECT_EQ(required, size) << c.bufferSize;
    if (c.succeeds) {
      EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
      EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), size), expected);
      // Nothing is written beyond the value.
      EXPECT_EQ(buffer[size], 0xCC) << c.bufferSize;
    } else {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << c.bufferSize;
    }
  }
}

TEST_F(Devices, ADeviceWithoutAHardwareIdReportsInvalidData) {
  const std::string id = MakePort("", {});
  ASSERT_FALSE(id.empty());
  ScopedDeviceSet set(PortsSet());
  ASSERT_TRUE(set.valid());
  SP_DEVINFO_DATA device;
  ASSERT_GE(Find(set.get(), id, &device), 0);
  BYTE buffer[512];
  DWORD required = 0;
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set.get(), &device, SPDRP_HARDWAREID, nullptr,
                                                 buffer, sizeof buffer, &required));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
}

TEST_F(Devices, TheInstanceIdSizeProtocol) {
  const std::string id = MakePort("", {"KESTROLIN\\CONFPORT"});
  ASSERT_FALSE(id.empty());
  ScopedDeviceSet set(PortsSet());
  ASSERT_TRUE(set.valid());
  SP_DEVINFO_DATA device;
  ASSERT_GE(Find(set.get(), id, &device), 0);
  const DWORD needed = static_cast<DWORD>(id.size() + 1);
  DWORD required = 0;
  EXPECT_FALSE(SetupDiGetDeviceInstanceIdA(set.get(), &device, nullptr, 0, &required));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(required, needed);
  std::vector<char> buffer(needed, 'x');
  required = 0;
  EXPECT_FALSE(
      SetupDiGetDeviceInstanceIdA(set.get(), &device, buffer.data(), needed - 1, &required));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(required, needed);
  EXPECT_TRUE(SetupDiGetDeviceInstanceIdA(set.get(), &device, buffer.data(), needed, &required));
  EXPECT_EQ(std::string(buffer.data()), id);
}

TEST_F(Devices, TheRecordSizeMustBeTheStructuresOwn) {
  const std::string id = MakePort("", {"KESTROLIN\\CONFPORT"});
  ASSERT_FALSE(id.empty());
  ScopedDeviceSet set(PortsSet());
  ASSERT_TRUE(set.valid());
  for (DWORD size :
       {DWORD{0}, DWORD{sizeof(SP_DEVINFO_DATA) - 4}, DWORD{sizeof(SP_DEVINFO_DATA) + 4}}) {
    SP_DEVINFO_DATA device = EmptyDeviceData();
    device.cbSize = size;
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set.get(), 0, &device)) << size;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER)) << size;
  }
}

TEST_F(Devices, BadSetsAndRequestsAreRefused) {
  SP_DEVINFO_DATA device = EmptyDeviceData();
  EXPECT_FALSE(SetupDiEnumDeviceInfo(INVALID_HANDLE_VALUE, 0, &device));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(SetupDiDestroyDeviceInfoList(INVALID_HANDLE_VALUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  // No class and not every class.
  SetLastError(0);
  EXPECT_EQ(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PROFILE), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// The property-change request of the passes: accepted at 20 bytes; its header must carry
// the header's own size and the whole request its own.
TEST_F(Devices, ThePropertyChangeRequestIsCheckedAndAccepted) {
  const std::string id = MakePort("", {"KESTROLIN\\CONFPORT"});
  ASSERT_FALSE(id.empty());
  ScopedDeviceSet set(PortsSet());
  ASSERT_TRUE(set.valid());
  SP_DEVINFO_DATA device;
  ASSERT_GE(Find(set.get(), id, &device), 0);
  EXPECT_EQ(sizeof(SP_PROPCHANGE_PARAMS), 20u);
  SP_PROPCHANGE_PARAMS change;
  std::memset(&change, 0, sizeof change);
  change.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
  change.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
  change.StateChange = DICS_ENABLE;
  change.Scope = DICS_FLAG_CONFIGSPECIFIC;
  change.HwProfile = 0;
  struct Case {
    DWORD headerSize;
    DWORD size;
    DWORD error;  // 0: accepted
  } cases[] = {
      {sizeof(SP_CLASSINSTALL_HEADER), sizeof change, 0},
      {sizeof(SP_CLASSINSTALL_HEADER) + 4, sizeof change, ERROR_INVALID_USER_BUFFER},
      {0, sizeof change, ERROR_INVALID_USER_BUFFER},
      {sizeof(SP_CLASSINSTALL_HEADER), 4, ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    change.ClassInstallHeader.cbSize = c.headerSize;
    SetLastError(12345);
    const BOOL ok =
        SetupDiSetClassInstallParamsA(set.get(), &device, &change.ClassInstallHeader, c.size);
    if (IsWine()) {
      // Wine 8's ANSI form is a stub: it refuses every request and sets no error.
      EXPECT_FALSE(ok);
      EXPECT_EQ(GetLastError(), 12345u);
      continue;
    }
    EXPECT_EQ(ok != FALSE, c.error == 0) << c.headerSize << "/" << c.size;
    if (c.error) {
      EXPECT_EQ(GetLastError(), c.error) << c.headerSize << "/" << c.size;
    }
  }
}

TEST_F(Devices, RemovingTheDeviceTakesItOutOfNewSets) {
  const std::string id = MakePort("", {"KESTROLIN\\CONFPORT"});
  const std::string other = MakePort("_other", {"KESTROLIN\\CONFPORT"});
  ASSERT_FALSE(id.empty());
  ASSERT_FALSE(other.empty());
  {
    ScopedDeviceSet set(PortsSet());
    ASSERT_TRUE(set.valid());
    SP_DEVINFO_DATA device;
    ASSERT_GE(Find(set.get(), id, &device), 0);
    SetLastError(0);
    const BOOL removed = SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &device);
    if (RefusesRemovalHere()) {
      EXPECT_FALSE(removed);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IN_WOW64));
      return;
    }
    EXPECT_TRUE(removed) << GetLastError();
  }
  ScopedDeviceSet set(PortsSet());
  ASSERT_TRUE(set.valid());
  SP_DEVINFO_DATA device;
  EXPECT_EQ(Find(set.get(), id, &device), -1);
  EXPECT_GE(Find(set.get(), other, &device), 0);
}

// A set is a snapshot: a device removed through it keeps its place, so the enumeration
// goes on with the next device; what is asked about the removed device fails. (Measured
// under Wine; the simulator does the same.)
TEST_F(Devices, ARemovedDeviceKeepsItsPlaceInItsSet) {
  const std::string first = MakePort("_a", {"KESTROLIN\\CONFPORT"});
  const std::string second = MakePort("_b", {"KESTROLIN\\CONFPORT"});
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  ScopedDeviceSet set(PortsSet());
  ASSERT_TRUE(set.valid());
  SP_DEVINFO_DATA device;
  const int index = Find(set.get(), first, &device);
  ASSERT_GE(index, 0);
  SP_DEVINFO_DATA next;
  const int nextIndex = Find(set.get(), second, &next);
  ASSERT_GE(nextIndex, 0);
  const BOOL removed = SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &device);
  EXPECT_EQ(removed == FALSE, RefusesRemovalHere());
  if (!removed) {
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IN_WOW64));
    return;
  }
  SP_DEVINFO_DATA again = EmptyDeviceData();
  EXPECT_TRUE(SetupDiEnumDeviceInfo(set.get(), static_cast<DWORD>(index), &again));
  EXPECT_EQ(again.DevInst, device.DevInst);
  BYTE buffer[512];
  DWORD required = 0;
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set.get(), &again, SPDRP_HARDWAREID, nullptr,
                                                 buffer, sizeof buffer, &required));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_DEVINST));
  char id[512];
  EXPECT_FALSE(SetupDiGetDeviceInstanceIdA(set.get(), &again, id, sizeof id, &required));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_DEVINST));
  SP_DEVINFO_DATA check;
  EXPECT_EQ(Find(set.get(), second, &check), nextIndex);
}

// The uninstaller turns the card's ports on in the current hardware profile: a property
// change request through the class-install parameters, carried out by SetupDiChangeState,
// which sets or clears CSCONFIGFLAG_DISABLED in the profile's key of the device. 64-bit
// Windows runs no class installer for a 32-bit program (ERROR_IN_WOW64). Wine 8's ANSI
// parameters call is a stub that refuses every request, and Wine 8 has no
// SetupDiChangeState at all (a call ends the process): the programs reach it only after a
// request was accepted, so under Wine they never call it, and neither does the case.
TEST_F(Devices, AStateChangeRequestDisablesAndEnablesTheDeviceInTheProfile) {
  const std::string id = MakePort("", {"KESTROLIN\\CONFPORT"});
  ASSERT_FALSE(id.empty());
  ScopedDeviceSet set(PortsSet());
  ASSERT_TRUE(set.valid());
  SP_DEVINFO_DATA device;
  ASSERT_GE(Find(set.get(), id, &device), 0);
  const std::string profileKey =
      "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Enum\\" +
      id;
  for (const DWORD state : {static_cast<DWORD>(DICS_DISABLE), static_cast<DWORD>(DICS_ENABLE)}) {
    SCOPED_TRACE(state == DICS_DISABLE ? "disable" : "enable");
    SP_PROPCHANGE_PARAMS change;
    std::memset(&change, 0, sizeof change);
    change.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    change.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    change.StateChange = state;
    change.Scope = DICS_FLAG_CONFIGSPECIFIC;
    change.HwProfile = 0;
    const BOOL requested = SetupDiSetClassInstallParamsA(set.get(), &device,
                                                         &change.ClassInstallHeader, sizeof change);
    if (IsWine()) {
      EXPECT_FALSE(requested);
      continue;
    }
    ASSERT_TRUE(requested) << GetLastError();
    SetLastError(0);
    const BOOL changed = SetupDiChangeState(set.get(), &device);
    const DWORD error = GetLastError();
    if (IsWow64()) {
      EXPECT_FALSE(changed);
      EXPECT_EQ(error, static_cast<DWORD>(ERROR_IN_WOW64));
      continue;
    }
    EXPECT_TRUE(changed) << error;
    ScopedKey key;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, profileKey.c_str(), 0, KEY_QUERY_VALUE, key.receive()),
        ERROR_SUCCESS);
    DWORD flags = 0, size = sizeof flags;
    ASSERT_EQ(RegQueryValueExA(key.get(), "CSConfigFlags", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&flags), &size),
              ERROR_SUCCESS);
    constexpr DWORD kDisabled = 0x1;  // CSCONFIGFLAG_DISABLED, regstr.h
    EXPECT_EQ(flags & kDisabled, state == DICS_DISABLE ? kDisabled : 0u);
  }
}

}  // namespace
}  // namespace conformance
