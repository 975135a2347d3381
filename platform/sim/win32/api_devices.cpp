// The device installer (SETUPAPI SetupDi*) of the simulated Windows. A device set is a
// handle in the process's handle table holding a snapshot of the instance list taken
// when it was built, as on Windows; every call reads the registry afresh for the
// instance it names. SETUPAPI reports success with last error 0.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/win32/api_support.h"
#include "platform/sim/win32/device_sets.h"
#include "platform/sim/machine/device_tree.h"
#include "platform/sim/machine/name_order.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/sdk/win32_sim.h"

namespace sim {
namespace {

struct DeviceElement {
  std::string instanceId;
  GUID classGuid;
  DWORD devInst = 0;
  std::string classInstallParams;  // the installed request as given; "" when none
  bool removed = false;            // DIF_REMOVE took it away
  bool registered = true;          // false between SetupDiCreateDeviceInfoA and registration
};

struct DeviceSetHandle : DeviceSetObject {
  std::optional<GUID> classGuid;
  std::vector<DeviceElement> elements;
};

[[noreturn]] void NotModelled(const char* call, const std::string& what) {
  std::fprintf(stderr, "simulated SETUPAPI: %s: %s is not modelled\n", call, what.c_str());
  std::abort();
}

// A devnode number that stays the same for an instance in every set.
DWORD DevNodeOf(const std::string& instanceId) {
  uint32_t h = 2166136261u;
  for (char c : instanceId) h = (h ^ UpperAscii(static_cast<unsigned char>(c))) * 16777619u;
  return h | 1u;
}

std::shared_ptr<DeviceSetHandle> SetOf(Process& p, HDEVINFO h) {
  if (!h || h == INVALID_HANDLE_VALUE) return nullptr;
  return p.handles.GetAs<DeviceSetHandle>(reinterpret_cast<uintptr_t>(h));
}

void Describe(const DeviceElement& e, size_t index, SP_DEVINFO_DATA* data) {
  data->ClassGuid = e.classGuid;
  data->DevInst = e.devInst;
  data->Reserved = index + 1;
}

// The element a caller's SP_DEVINFO_DATA names in `set`; the error otherwise.
DeviceElement* ElementOf(DeviceSetHandle& set, const SP_DEVINFO_DATA* data, uint32_t* error) {
  if (!data) return *error = ERROR_INVALID_PARAMETER, nullptr;
  if (data->cbSize != sizeof(SP_DEVINFO_DATA)) return *error = ERROR_INVALID_USER_BUFFER, nullptr;
  if (data->Reserved == 0 || data->Reserved > set.elements.size())
    return *error = ERROR_INVALID_PARAMETER, nullptr;
  DeviceElement& e = set.elements[data->Reserved - 1];
  if (e.devInst != data->DevInst) return *error = ERROR_INVALID_PARAMETER, nullptr;
  return &e;
}

// A call on one device of a set: the set and the element, or the error already set.
struct DeviceCall {
  std::shared_ptr<DeviceSetHandle> set;
  DeviceElement* element = nullptr;
};

bool Open(ApiCall& call, HDEVINFO h, const SP_DEVINFO_DATA* data, DeviceCall* out) {
  out->set = SetOf(call.process(), h);
  if (!out->set) {
    if (call.CheckFault("")) return Fail(*call.fault()), false;
    return Fail(ERROR_INVALID_HANDLE), false;
  }
  uint32_t error = 0;
  out->element = ElementOf(*out->set, data, &error);
  if (call.CheckFault(out->element ? out->element->instanceId : std::string())) {
    return Fail(*call.fault()), false;
  }
  if (!out->element) return Fail(error), false;
  return true;
}

struct PropertyValue {
  const char* name;  // the value of the instance key
  DWORD type;        // what SetupDiSetDeviceRegistryPropertyA stores
};

// The properties that are plain values of the instance key.
std::optional<PropertyValue> PropertyValueOf(DWORD property) {
  switch (property) {
    case SPDRP_DEVICEDESC:
      return PropertyValue{"DeviceDesc", REG_SZ};
    case SPDRP_HARDWAREID:
      return PropertyValue{"HardwareID", REG_MULTI_SZ};
    case SPDRP_COMPATIBLEIDS:
      return PropertyValue{"CompatibleIDs", REG_MULTI_SZ};
    case 0x00000004:  // SPDRP_SERVICE
      return PropertyValue{"Service", REG_SZ};
    case 0x00000007:  // SPDRP_CLASS
      return PropertyValue{"Class", REG_SZ};
    case 0x00000008:  // SPDRP_CLASSGUID
      return PropertyValue{"ClassGUID", REG_SZ};
    case SPDRP_DRIVER:
      return PropertyValue{"Driver", REG_SZ};
    case 0x0000000A:  // SPDRP_CONFIGFLAGS
      return PropertyValue{"ConfigFlags", REG_DWORD};
    case 0x0000000B:  // SPDRP_MFG
      return PropertyValue{"Mfg", REG_SZ};
    case 0x0000000C:  // SPDRP_FRIENDLYNAME
      return PropertyValue{"FriendlyName", REG_SZ};
    case 0x0000000D:  // SPDRP_LOCATION_INFORMATION
      return PropertyValue{"LocationInformation", REG_SZ};
    default:
      return std::nullopt;
  }
}
constexpr DWORD kPropertyCount = 0x25;  // SPDRP_MAXIMUM_PROPERTY of the XP SDK

// Carries out an installed DIF_PROPERTYCHANGE request (the default handler of the request,
// which SetupDiChangeState is).
bool ChangeState(Process& p, DeviceElement& e) {
  if (e.classInstallParams.size() != sizeof(SP_PROPCHANGE_PARAMS)) {
    return Fail(ERROR_NO_CLASSINSTALL_PARAMS), false;
  }
  SP_PROPCHANGE_PARAMS params;
  std::memcpy(&params, e.classInstallParams.data(), sizeof params);
  if (params.ClassInstallHeader.InstallFunction != DIF_PROPERTYCHANGE) {
    return Fail(ERROR_NO_CLASSINSTALL_PARAMS), false;
  }
  Registry& registry = p.machine.registry;
  if (e.removed || !DeviceInstanceKey(registry, e.instanceId)) {
    return Fail(ERROR_NO_SUCH_DEVINST), false;
  }
  const bool configSpecific = params.Scope == DICS_FLAG_CONFIGSPECIFIC;
  // Profile 0 is the current one; a numbered profile must exist.
  if (configSpecific && params.HwProfile != 0 &&
      !Registry::Find(registry.LocalMachine(), HardwareProfilePath(params.HwProfile))) {
    return Fail(ERROR_INVALID_HWPROFILE), false;
  }
  const std::string profilePath = HardwareProfileEnumPath(params.HwProfile, e.instanceId);
  const std::string instancePath = std::string(kEnumPath) + "\\" + e.instanceId;
  switch (params.StateChange) {
    case DICS_ENABLE:
    case DICS_DISABLE: {
      const bool disable = params.StateChange == DICS_DISABLE;
      if (configSpecific) {
        UpdateFlags(registry, profilePath, "CSConfigFlags", kCsConfigFlagDisabled, disable);
      } else {
        UpdateFlags(registry, instancePath, "ConfigFlags", kConfigFlagDisabled, disable);
      }
      break;
    }
    case DICS_START:
    case DICS_STOP:
      UpdateFlags(registry, profilePath, "CSConfigFlags", kCsConfigFlagDoNotStart,
                  params.StateChange == DICS_STOP);
      break;
    default:  // DICS_PROPCHANGE: the device restarts; nothing in the registry changes
      break;
  }
  Fail(ERROR_SUCCESS);
  return true;
}

}  // namespace

size_t OpenDeviceSets(const Process& process) { return process.handles.CountOf<DeviceSetObject>(); }

}  // namespace sim

using sim::ApiCall;

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND hwndParent,
                                     DWORD Flags) {
  ApiCall call("SetupDiGetClassDevsA", ClassGuid ? sim::GuidText(*ClassGuid) : std::string());
  (void)hwndParent;  // owner of any user interface; the set never shows one
  if (call.fault()) return sim::Fail(*call.fault()), INVALID_HANDLE_VALUE;
  const DWORD known =
      DIGCF_DEFAULT | DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_PROFILE | DIGCF_DEVICEINTERFACE;
  if (Flags & ~known) return sim::Fail(ERROR_INVALID_FLAGS), INVALID_HANDLE_VALUE;
  if (Flags & DIGCF_DEVICEINTERFACE)
    sim::NotModelled("SetupDiGetClassDevsA", "DIGCF_DEVICEINTERFACE");
  if (!ClassGuid && !(Flags & DIGCF_ALLCLASSES)) {
    return sim::Fail(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
  }
  // Every device in the registry is present: the machine's hardware is what its registry
  // says, so DIGCF_PRESENT leaves nothing out. DIGCF_DEFAULT only concerns interfaces.
  sim::DeviceQuery query;
  if (!(Flags & DIGCF_ALLCLASSES)) query.classGuid = ClassGuid;
  if (Enumerator) query.enumerator = Enumerator;
  query.currentProfileOnly = (Flags & DIGCF_PROFILE) != 0;

  auto set = std::make_shared<sim::DeviceSetHandle>();
  if (!(Flags & DIGCF_ALLCLASSES)) set->classGuid = *ClassGuid;
  for (auto& found : sim::ListDeviceInstances(call.machine().registry, query)) {
    sim::DeviceElement e;
    e.devInst = sim::DevNodeOf(found.instanceId);
    e.instanceId = std::move(found.instanceId);
    e.classGuid = found.classGuid;
    set->elements.push_back(std::move(e));
  }
  const uintptr_t handle = call.process().handles.Add(std::move(set));
  sim::Fail(ERROR_SUCCESS);
  return reinterpret_cast<HDEVINFO>(handle);
}

HDEVINFO WINAPI SetupDiCreateDeviceInfoList(const GUID* ClassGuid, HWND hwndParent) {
  ApiCall call("SetupDiCreateDeviceInfoList",
               ClassGuid ? sim::GuidText(*ClassGuid) : std::string());
  (void)hwndParent;
  if (call.fault()) return sim::Fail(*call.fault()), INVALID_HANDLE_VALUE;
  auto set = std::make_shared<sim::DeviceSetHandle>();
  if (ClassGuid) set->classGuid = *ClassGuid;
  const uintptr_t handle = call.process().handles.Add(std::move(set));
  sim::Fail(ERROR_SUCCESS);
  return reinterpret_cast<HDEVINFO>(handle);
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex,
                                  PSP_DEVINFO_DATA DeviceInfoData) {
  ApiCall call("SetupDiEnumDeviceInfo", ApiCall::Deferred{});
  auto set = sim::SetOf(call.process(), DeviceInfoSet);
  const bool inRange = set && MemberIndex < set->elements.size();
  if (call.CheckFault(inRange ? set->elements[MemberIndex].instanceId : std::string())) {
    return sim::Fail(*call.fault()), FALSE;
  }
  if (!set) return sim::Fail(ERROR_INVALID_HANDLE), FALSE;
  if (!DeviceInfoData) return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
  if (DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
    return sim::Fail(ERROR_INVALID_USER_BUFFER), FALSE;
  }
  if (!inRange) return sim::Fail(ERROR_NO_MORE_ITEMS), FALSE;
  sim::Describe(set->elements[MemberIndex], MemberIndex, DeviceInfoData);
  sim::Fail(ERROR_SUCCESS);
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet,
                                              PSP_DEVINFO_DATA DeviceInfoData, DWORD Property,
                                              PDWORD PropertyRegDataType, PBYTE PropertyBuffer,
                                              DWORD PropertyBufferSize, PDWORD RequiredSize) {
  ApiCall call("SetupDiGetDeviceRegistryPropertyA", ApiCall::Deferred{});
  sim::DeviceCall device;
  if (!sim::Open(call, DeviceInfoSet, DeviceInfoData, &device)) return FALSE;
  if (Property >= sim::kPropertyCount) return sim::Fail(ERROR_INVALID_REG_PROPERTY), FALSE;
  const auto source = sim::PropertyValueOf(Property);
  if (!source) {
    sim::NotModelled("SetupDiGetDeviceRegistryPropertyA",
                     "property " + std::to_string(static_cast<unsigned>(Property)));
  }
  if (!PropertyBuffer && PropertyBufferSize) return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
  auto key = device.element->removed
                 ? nullptr
                 : sim::DeviceInstanceKey(call.machine().registry, device.element->instanceId);
  if (!key) return sim::Fail(ERROR_NO_SUCH_DEVINST), FALSE;
  const sim::RegValue* value = key->values.Find(source->name);
  if (!value) return sim::Fail(ERROR_INVALID_DATA), FALSE;
  // The simulated registry holds strings as the ANSI functions see them already.
  const DWORD size = static_cast<DWORD>(value->data.size());
  if (PropertyRegDataType) *PropertyRegDataType = value->type;
  if (RequiredSize) *RequiredSize = size;
  if (PropertyBufferSize < size) return sim::Fail(ERROR_INSUFFICIENT_BUFFER), FALSE;
  if (size) std::memcpy(PropertyBuffer, value->data.data(), size);
  sim::Fail(ERROR_SUCCESS);
  return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInstanceIdA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        PSTR DeviceInstanceId, DWORD DeviceInstanceIdSize,
                                        PDWORD RequiredSize) {
  ApiCall call("SetupDiGetDeviceInstanceIdA", ApiCall::Deferred{});
  sim::DeviceCall device;
  if (!sim::Open(call, DeviceInfoSet, DeviceInfoData, &device)) return FALSE;
  if (!DeviceInstanceId && DeviceInstanceIdSize) {
    return sim::Fail(ERROR_INVALID_USER_BUFFER), FALSE;
  }
  // A removed device keeps its place in the set but has no instance any more.
  if (device.element->removed ||
      !sim::DeviceInstanceKey(call.machine().registry, device.element->instanceId)) {
    return sim::Fail(ERROR_NO_SUCH_DEVINST), FALSE;
  }
  const std::string& id = device.element->instanceId;
  const DWORD needed = static_cast<DWORD>(id.size() + 1);
  if (RequiredSize) *RequiredSize = needed;
  if (DeviceInstanceIdSize < needed) return sim::Fail(ERROR_INSUFFICIENT_BUFFER), FALSE;
  std::memcpy(DeviceInstanceId, id.c_str(), needed);
  sim::Fail(ERROR_SUCCESS);
  return TRUE;
}

BOOL WINAPI SetupDiSetClassInstallParamsA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                          PSP_CLASSINSTALL_HEADER ClassInstallParams,
                                          DWORD ClassInstallParamsSize) {
  ApiCall call("SetupDiSetClassInstallParamsA", ApiCall::Deferred{});
  sim::DeviceCall device;
  if (!DeviceInfoData) {
    // Parameters for the set as a whole are not used by anything the simulator runs.
    sim::NotModelled("SetupDiSetClassInstallParamsA", "parameters without a device");
  }
  if (!sim::Open(call, DeviceInfoSet, DeviceInfoData, &device)) return FALSE;
  if (!ClassInstallParams) {
    if (ClassInstallParamsSize) return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
    device.element->classInstallParams.clear();  // no parameters any more
    sim::Fail(ERROR_SUCCESS);
    return TRUE;
  }
  if (ClassInstallParams->cbSize != sizeof(SP_CLASSINSTALL_HEADER)) {
    return sim::Fail(ERROR_INVALID_USER_BUFFER), FALSE;
  }
  if (ClassInstallParamsSize < sizeof(SP_CLASSINSTALL_HEADER)) {
    return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
  }
  switch (ClassInstallParams->InstallFunction) {
    case DIF_PROPERTYCHANGE: {
      if (ClassInstallParamsSize != sizeof(SP_PROPCHANGE_PARAMS)) {
        return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
      }
      const auto* change = reinterpret_cast<const SP_PROPCHANGE_PARAMS*>(ClassInstallParams);
      if (change->StateChange < DICS_ENABLE || change->StateChange > DICS_STOP) {
        return sim::Fail(ERROR_INVALID_FLAGS), FALSE;
      }
      if (change->Scope != DICS_FLAG_GLOBAL && change->Scope != DICS_FLAG_CONFIGSPECIFIC) {
        return sim::Fail(ERROR_INVALID_FLAGS), FALSE;
      }
      // Starting and stopping are done in the current configuration only.
      if ((change->StateChange == DICS_START || change->StateChange == DICS_STOP) &&
          change->Scope != DICS_FLAG_CONFIGSPECIFIC) {
        return sim::Fail(ERROR_INVALID_FLAGS), FALSE;
      }
      break;
    }
    case DIF_REMOVE: {
      if (ClassInstallParamsSize != sizeof(SP_REMOVEDEVICE_PARAMS)) {
        return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
      }
      const auto* remove = reinterpret_cast<const SP_REMOVEDEVICE_PARAMS*>(ClassInstallParams);
      if (remove->Scope != DI_REMOVEDEVICE_GLOBAL &&
          remove->Scope != DI_REMOVEDEVICE_CONFIGSPECIFIC) {
        return sim::Fail(ERROR_INVALID_FLAGS), FALSE;
      }
      break;
    }
    default:
      sim::NotModelled("SetupDiSetClassInstallParamsA",
                       "install function " + std::to_string(static_cast<unsigned>(
                                                 ClassInstallParams->InstallFunction)));
  }
  device.element->classInstallParams.assign(reinterpret_cast<const char*>(ClassInstallParams),
                                            ClassInstallParamsSize);
  sim::Fail(ERROR_SUCCESS);
  return TRUE;
}

BOOL WINAPI SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                      PSP_DEVINFO_DATA DeviceInfoData) {
  ApiCall call("SetupDiCallClassInstaller", ApiCall::Deferred{});
  sim::Process& p = call.process();
  sim::DeviceCall device;
  if (!sim::Open(call, DeviceInfoSet, DeviceInfoData, &device)) return FALSE;
  // 64-bit Windows runs no class installer or co-installer for a 32-bit caller.
  if (p.IsWow64()) return sim::Fail(ERROR_IN_WOW64), FALSE;
  switch (InstallFunction) {
    case DIF_REMOVE:
      if (device.element->removed ||
          !sim::RemoveDevice(p.machine.registry, device.element->instanceId)) {
        return sim::Fail(ERROR_NO_SUCH_DEVINST), FALSE;
      }
      device.element->removed = true;
      sim::Fail(ERROR_SUCCESS);
      return TRUE;
    case DIF_PROPERTYCHANGE:
      return sim::ChangeState(p, *device.element) ? TRUE : FALSE;
    default:
      sim::NotModelled(
          "SetupDiCallClassInstaller",
          "install function " + std::to_string(static_cast<unsigned>(InstallFunction)));
  }
}

BOOL WINAPI SetupDiChangeState(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData) {
  ApiCall call("SetupDiChangeState", ApiCall::Deferred{});
  sim::DeviceCall device;
  if (!sim::Open(call, DeviceInfoSet, DeviceInfoData, &device)) return FALSE;
  if (call.process().IsWow64()) return sim::Fail(ERROR_IN_WOW64), FALSE;
  return sim::ChangeState(call.process(), *device.element) ? TRUE : FALSE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
  ApiCall call("SetupDiDestroyDeviceInfoList");
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  auto set = sim::SetOf(call.process(), DeviceInfoSet);
  if (!set) return sim::Fail(ERROR_INVALID_HANDLE), FALSE;
  // A device created in the set and never registered goes with the set.
  for (const auto& e : set->elements) {
    if (!e.registered && !e.removed) sim::RemoveDevice(call.machine().registry, e.instanceId);
  }
  call.process().handles.Close(reinterpret_cast<uintptr_t>(DeviceInfoSet));
  sim::Fail(ERROR_SUCCESS);
  return TRUE;
}

BOOL WINAPI SetupDiCreateDeviceInfoA(HDEVINFO DeviceInfoSet, PCSTR DeviceName,
                                     const GUID* ClassGuid, PCSTR DeviceDescription,
                                     HWND hwndParent, DWORD CreationFlags,
                                     PSP_DEVINFO_DATA DeviceInfoData) {
  ApiCall call("SetupDiCreateDeviceInfoA", DeviceName ? DeviceName : "");
  (void)hwndParent;
  if (call.fault()) return sim::Fail(*call.fault()), FALSE;
  auto set = sim::SetOf(call.process(), DeviceInfoSet);
  if (!set) return sim::Fail(ERROR_INVALID_HANDLE), FALSE;
  if (!DeviceName || !ClassGuid) return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
  if (CreationFlags & ~(DICD_GENERATE_ID | DICD_INHERIT_CLASSDRVS)) {
    return sim::Fail(ERROR_INVALID_FLAGS), FALSE;
  }
  if (DeviceInfoData && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
    return sim::Fail(ERROR_INVALID_USER_BUFFER), FALSE;
  }
  if (set->classGuid && !sim::SameGuid(*set->classGuid, *ClassGuid)) {
    return sim::Fail(ERROR_CLASS_MISMATCH), FALSE;
  }
  sim::Registry& registry = call.machine().registry;
  std::string id;
  if (CreationFlags & DICD_GENERATE_ID) {
    // A root-enumerated device: ROOT\<name>\NNNN with the first free number.
    const std::string name = DeviceName;
    if (name.empty() || name.find('\\') != std::string::npos) {
      return sim::Fail(ERROR_INVALID_DEVINST_NAME), FALSE;
    }
    for (unsigned n = 0; id.empty() && n <= 9999; ++n) {
      char number[8];
      std::snprintf(number, sizeof number, "%04u", n);
      const std::string candidate = "ROOT\\" + name + "\\" + number;
      if (!sim::DeviceInstanceKey(registry, candidate)) id = candidate;
    }
  } else {
    id = DeviceName;
    std::vector<std::string> parts;
    if (!sim::SplitKeyPath(id, &parts) || parts.size() != 3 || id.back() == '\\' ||
        id.find("\\\\") != std::string::npos) {
      return sim::Fail(ERROR_INVALID_DEVINST_NAME), FALSE;
    }
    if (sim::DeviceInstanceKey(registry, id)) {
      return sim::Fail(ERROR_DEVINST_ALREADY_EXISTS), FALSE;
    }
  }
  if (id.empty()) return sim::Fail(ERROR_INVALID_DEVINST_NAME), FALSE;
  auto key = registry.Create(registry.LocalMachine(), std::string(sim::kEnumPath) + "\\" + id);
  key->values.Put("ClassGUID",
                  sim::RegValue{REG_SZ, sim::Registry::StringData(sim::GuidText(*ClassGuid))});
  if (DeviceDescription) {
    key->values.Put("DeviceDesc",
                    sim::RegValue{REG_SZ, sim::Registry::StringData(DeviceDescription)});
  }
  key->lastWriteTime = registry.now;
  // The id as the key names stand: an existing enumerator key keeps its spelling.
  id = key->PathBelowRoot().substr(std::strlen(sim::kEnumPath) + 1);

  sim::DeviceElement e;
  e.instanceId = id;
  e.classGuid = *ClassGuid;
  e.devInst = sim::DevNodeOf(id);
  e.registered = false;
  set->elements.push_back(e);
  if (DeviceInfoData) sim::Describe(set->elements.back(), set->elements.size() - 1, DeviceInfoData);
  sim::Fail(ERROR_SUCCESS);
  return TRUE;
}

BOOL WINAPI SetupDiRegisterDeviceInfo(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                      DWORD Flags, PSP_DETSIG_CMPPROC CompareProc,
                                      PVOID CompareContext, PSP_DEVINFO_DATA DupDeviceInfoData) {
  ApiCall call("SetupDiRegisterDeviceInfo", ApiCall::Deferred{});
  (void)CompareProc;
  (void)CompareContext;
  (void)DupDeviceInfoData;
  sim::DeviceCall device;
  if (!sim::Open(call, DeviceInfoSet, DeviceInfoData, &device)) return FALSE;
  if (Flags & SPRDI_FIND_DUPS) sim::NotModelled("SetupDiRegisterDeviceInfo", "SPRDI_FIND_DUPS");
  if (Flags) return sim::Fail(ERROR_INVALID_FLAGS), FALSE;
  if (device.element->removed) return sim::Fail(ERROR_NO_SUCH_DEVINST), FALSE;
  device.element->registered = true;
  sim::Fail(ERROR_SUCCESS);
  return TRUE;
}

BOOL WINAPI SetupDiSetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet,
                                              PSP_DEVINFO_DATA DeviceInfoData, DWORD Property,
                                              const BYTE* PropertyBuffer,
                                              DWORD PropertyBufferSize) {
  ApiCall call("SetupDiSetDeviceRegistryPropertyA", ApiCall::Deferred{});
  sim::DeviceCall device;
  if (!sim::Open(call, DeviceInfoSet, DeviceInfoData, &device)) return FALSE;
  if (Property >= sim::kPropertyCount) return sim::Fail(ERROR_INVALID_REG_PROPERTY), FALSE;
  const auto target = sim::PropertyValueOf(Property);
  if (!target || Property == 0x00000008 /* SPDRP_CLASSGUID */ || Property == SPDRP_DRIVER) {
    sim::NotModelled("SetupDiSetDeviceRegistryPropertyA",
                     "property " + std::to_string(static_cast<unsigned>(Property)));
  }
  if (!PropertyBuffer && PropertyBufferSize) return sim::Fail(ERROR_INVALID_PARAMETER), FALSE;
  sim::Registry& registry = call.machine().registry;
  auto key = device.element->removed ? nullptr
                                     : sim::DeviceInstanceKey(registry, device.element->instanceId);
  if (!key) return sim::Fail(ERROR_NO_SUCH_DEVINST), FALSE;
  if (!PropertyBuffer) {
    key->values.Erase(target->name);  // no data: the property is deleted
  } else {
    key->values.Put(
        target->name,
        sim::RegValue{target->type, std::string(reinterpret_cast<const char*>(PropertyBuffer),
                                                PropertyBufferSize)});
  }
  key->lastWriteTime = registry.now;
  sim::Fail(ERROR_SUCCESS);
  return TRUE;
}
