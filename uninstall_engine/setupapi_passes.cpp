// The passes that act on the card's devices through the device installer: removing
// the multifunction device and its ports (32-bit Windows), and enabling the ports in
// the current hardware profile before the registry passes (64-bit Windows).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "framework/app_services.h"
#include "uninstall_engine/id_match.h"
#include "uninstall_engine/uninstall_context.h"

namespace {

// {4D36E971-E325-11CE-BFC1-08002BE10318} and {4D36E978-E325-11CE-BFC1-08002BE10318}.
const GUID kMultifunctionClass = {
    0x4d36e971, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

const char kParentPrefix[] = "mf\\pci#";
constexpr size_t kParentLength = 24;  // "mf\pci#" + "VEN_6A3C&DEV_5E17"
// The card's port functions below its multifunction device. The parallel port is one
// of the card's devices as much as the serial ones, and stays behind unless it is
// matched too.
const char* const kCardPortFunctions[] = {"ZELVORAHW\\PCIEX_COM", "ZELVORAHW\\PCIEX_LPT"};
constexpr size_t kCardPortFunctionLength = 19;
constexpr DWORD kHardwareIdSize = 512;
constexpr int kScansPerPhase = 3;
// What SetupDiGetClassDevsA gets as parent window in the removal pass.
const HWND kNoParentWindow = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

// A device information set, destroyed when the object goes away.
class DeviceSet {
 public:
  DeviceSet(const GUID& deviceClass, HWND parent)
      : set_(SetupDiGetClassDevsA(&deviceClass, nullptr, parent, DIGCF_PROFILE)) {}
  ~DeviceSet() {
    if (valid()) SetupDiDestroyDeviceInfoList(set_);
  }
  DeviceSet(const DeviceSet&) = delete;
  DeviceSet& operator=(const DeviceSet&) = delete;

  bool valid() const { return set_ != INVALID_HANDLE_VALUE; }
  HDEVINFO get() const { return set_; }

  // The index-th device; false past the end.
  bool Device(DWORD index, SP_DEVINFO_DATA* device) const {
    std::memset(device, 0, sizeof(*device));
    device->cbSize = sizeof(SP_DEVINFO_DATA);
    return SetupDiEnumDeviceInfo(set_, index, device) != FALSE;
  }

 private:
  HDEVINFO set_;
};

void UpperCaseAscii(char* text) {
  for (; *text; ++text) {
    if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
  }
}

// The first hardware ID of a device through the fixed 512-byte buffer; false when the
// device has none or a longer one.
bool ReadHardwareId(const DeviceSet& set, SP_DEVINFO_DATA* device,
                    char (&id)[kHardwareIdSize + 1]) {
  std::memset(id, 0, sizeof(id));
  return SetupDiGetDeviceRegistryPropertyA(set.get(), device, SPDRP_HARDWAREID, nullptr,
                                           reinterpret_cast<BYTE*>(id), kHardwareIdSize,
                                           nullptr) != FALSE;
}

bool InstallStateChange(const DeviceSet& set, SP_DEVINFO_DATA* device, DWORD stateChange) {
  SP_PROPCHANGE_PARAMS request = {};
  request.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
  request.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
  request.StateChange = stateChange;
  request.Scope = DICS_FLAG_CONFIGSPECIFIC;
  request.HwProfile = 0;
  return SetupDiSetClassInstallParamsA(set.get(), device, &request.ClassInstallHeader,
                                       sizeof(request)) != FALSE;
}

// Disables the device in the current profile, then has the class installer remove it.
// Neither answer is looked at: a device that stays is met again by the next scan.
void RemoveDevice(const DeviceSet& set, SP_DEVINFO_DATA* device) {
  InstallStateChange(set, device, DICS_DISABLE);
  SetupDiCallClassInstaller(DIF_REMOVE, set.get(), device);
}

void ShowErrorNumber(const char* format) {
  char text[128];
  std::snprintf(text, sizeof(text), format, static_cast<int>(GetLastError()));
  ShowMessage(text);
}

void ScanMultifunctionDevices(const VidPidList& ids) {
  DeviceSet set(kMultifunctionClass, kNoParentWindow);
  if (!set.valid()) return;
  SP_DEVINFO_DATA device;
  for (DWORD index = 0; set.Device(index, &device); ++index) {
    char hardwareId[kHardwareIdSize + 1];
    // A device without a readable hardware ID cannot be the card; the devices after
    // it still can.
    if (!ReadHardwareId(set, &device, hardwareId)) continue;
    UpperCaseAscii(hardwareId);
    if (MatchesAnyId(hardwareId, kPciIdPrefix, ids, kPciIdLength)) RemoveDevice(set, &device);
  }
}

bool IsCardPortFunction(const char* upperCaseHardwareId) {
  for (const char* function : kCardPortFunctions) {
    if (std::strncmp(upperCaseHardwareId, function, kCardPortFunctionLength) == 0) return true;
  }
  return false;
}

enum class ParentCheck { kDone, kEndScan };

// For a port function of a multifunction device: whether that parent is the
// card, from the start of the port's instance ID.
ParentCheck CheckParent(const DeviceSet& set, SP_DEVINFO_DATA* device, const VidPidList& ids,
                        bool* matchedByParent) {
  DWORD size = 0;
  if (SetupDiGetDeviceInstanceIdA(set.get(), device, nullptr, 0, &size) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) {
    ShowErrorNumber("SetupDiGetDeviceInstanceId: %d");
    return ParentCheck::kEndScan;
  }
  std::unique_ptr<char[]> instanceId(new (std::nothrow) char[size + 1]);
  if (!instanceId) return ParentCheck::kEndScan;
  std::memset(instanceId.get(), 0, size + 1);
  if (!SetupDiGetDeviceInstanceIdA(set.get(), device, instanceId.get(), size, nullptr)) {
    ShowErrorNumber("SetupDiGetDeviceInstanceId:: %d");
    return ParentCheck::kDone;
  }
  *matchedByParent = MatchesAnyId(instanceId.get(), kParentPrefix, ids, kParentLength);
  return ParentCheck::kDone;
}

void ScanPortDevices(const VidPidList& ids) {
  DeviceSet set(kPortsClass, kNoParentWindow);
  if (!set.valid()) return;
  SP_DEVINFO_DATA device;
  for (DWORD index = 0; set.Device(index, &device); ++index) {
    bool matchedByParent = false;
    char hardwareId[kHardwareIdSize + 1];
    if (!ReadHardwareId(set, &device, hardwareId)) continue;
    UpperCaseAscii(hardwareId);
    if (IsCardPortFunction(hardwareId) &&
        CheckParent(set, &device, ids, &matchedByParent) == ParentCheck::kEndScan) {
      return;
    }
    if (MatchesAnyId(hardwareId, kPciIdPrefix, ids, kPciIdLength) || matchedByParent) {
      RemoveDevice(set, &device);
    }
  }
}

// The first hardware ID through a buffer that grows to what the device installer asks
// for and is kept for the devices after.
class GrowingHardwareId {
 public:
  bool Read(const DeviceSet& set, SP_DEVINFO_DATA* device) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      DWORD required = 0;
      std::fill(buffer_.begin(), buffer_.end(), '\0');
      // One byte beyond what the call may fill keeps the text terminated.
      const DWORD size = buffer_.empty() ? 0 : static_cast<DWORD>(buffer_.size() - 1);
      if (SetupDiGetDeviceRegistryPropertyA(set.get(), device, SPDRP_HARDWAREID, nullptr,
                                            reinterpret_cast<BYTE*>(buffer_.data()), size,
                                            &required)) {
        return size != 0;
      }
      if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || required <= size) return false;
      buffer_.assign(required + 1, '\0');
    }
    return false;
  }
  const char* text() const { return buffer_.data(); }

 private:
  std::vector<char> buffer_;
};

}  // namespace

void UninstallContext::RemoveDevicesThroughSetupApi(const VidPidList& ids) {
  for (int scan = 0; scan < kScansPerPhase; ++scan) ScanMultifunctionDevices(ids);
  for (int scan = 0; scan < kScansPerPhase; ++scan) ScanPortDevices(ids);
}

void UninstallContext::EnablePortDevices(const VidPidList& ids) {
  DeviceSet set(kPortsClass, nullptr);
  if (!set.valid()) {
    ShowMessage("CoInst::DeviceInfoSet:Invalid Handle");
    return;
  }
  GrowingHardwareId hardwareId;
  SP_DEVINFO_DATA device;
  for (DWORD index = 0; set.Device(index, &device); ++index) {
    if (!hardwareId.Read(set, &device)) continue;
    if (!MatchesAnyId(hardwareId.text(), kPciIdPrefix, ids, kPciIdLength)) continue;
    if (!InstallStateChange(set, &device, DICS_ENABLE)) {
      ShowErrorNumber("SetupDiSetClassInstallParams Failed %d");
      continue;
    }
    SetupDiChangeState(set.get(), &device);
  }
}
