// ADVAPI32 access-list and token-privilege functions of the simulated Windows.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/sim/machine/process.h"
#include "platform/sim/win32/api_call.h"
#include "platform/sim/machine/registry_view.h"
#include "platform/sim/sdk/win32_sim.h"

namespace sim {
namespace {

// What a PACL points at in the simulator: the ACL header the SDK declares, followed
// by the entries in our own form.
struct SimAcl : ACL {
  std::vector<Ace> aces;
};

// The security descriptor GetNamedSecurityInfoA hands out; the DACL lives inside it,
// as on Windows, so one LocalFree releases both.
struct SimSecurityDescriptor {
  SimAcl dacl;
  bool isProtected = false;
};

// ACLs handed out and not yet freed, so a stray pointer is refused, not dereferenced.
std::mutex g_aclMutex;
std::set<const ACL*> g_liveAcls;

void RegisterAcl(const ACL* acl) {
  std::lock_guard<std::mutex> g(g_aclMutex);
  g_liveAcls.insert(acl);
}
void UnregisterAcl(const ACL* acl) {
  std::lock_guard<std::mutex> g(g_aclMutex);
  g_liveAcls.erase(acl);
}
const SimAcl* KnownAcl(const ACL* acl) {
  std::lock_guard<std::mutex> g(g_aclMutex);
  return g_liveAcls.count(acl) ? static_cast<const SimAcl*>(acl) : nullptr;
}

void FillHeader(SimAcl* acl) {
  acl->AclRevision = 2;
  acl->Sbz1 = 0;
  acl->AceCount = static_cast<WORD>(acl->aces.size());
  acl->AclSize = static_cast<WORD>(sizeof(ACL) + 20 * acl->aces.size());
  acl->Sbz2 = 0;
}

// "MACHINE\SOFTWARE\x" -> the key, in the calling process's registry view.
DWORD FindNamedKey(Process& p, LPCSTR objectName, SE_OBJECT_TYPE type,
                   std::shared_ptr<RegKey>* key) {
  if (!objectName) return ERROR_INVALID_PARAMETER;
  if (type != SE_REGISTRY_KEY && type != SE_REGISTRY_WOW64_32KEY) return ERROR_INVALID_PARAMETER;
  std::string_view name(objectName);
  const size_t sep = name.find('\\');
  const std::string_view hive = name.substr(0, sep);
  const std::string_view rest = sep == std::string_view::npos ? "" : name.substr(sep + 1);
  std::shared_ptr<RegKey> root;
  if (NamesEqual(hive, "MACHINE")) {
    root = p.machine.registry.LocalMachine();
  } else if (NamesEqual(hive, "CURRENT_USER")) {
    root = p.machine.registry.CurrentUser();
  } else if (NamesEqual(hive, "USERS")) {
    root = p.machine.registry.Root("HKEY_USERS");
  } else if (NamesEqual(hive, "CLASSES_ROOT")) {
    root = p.machine.registry.Root("HKEY_CLASSES_ROOT");
  } else {
    return ERROR_INVALID_PARAMETER;
  }
  if (!root) return ERROR_FILE_NOT_FOUND;
  const RegistryView view = type == SE_REGISTRY_WOW64_32KEY
                                ? ViewFor(p, KEY_WOW64_32KEY, RegistryView::kNative)
                                : (p.IsWow64() ? RegistryView::kWow64_32 : RegistryView::kNative);
  std::vector<std::string> parts;
  if (!MapRegistryPath(p, *root, rest, view, &parts)) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<RegKey> k = p.machine.registry.Root(root->Root()->name);
  for (const auto& part : parts) {
    auto* child = k->subkeys.Find(part);
    if (!child) return ERROR_FILE_NOT_FOUND;
    k = *child;
  }
  *key = k;
  return ERROR_SUCCESS;
}

void AddMerged(std::vector<Ace>* explicitAces, const Ace& grant) {
  for (Ace& ace : *explicitAces) {
    if (ace.kind == Ace::kAllow && ace.trustee == grant.trustee && ace.flags == grant.flags) {
      ace.mask |= grant.mask;
      return;
    }
  }
  explicitAces->push_back(grant);
}

}  // namespace
}  // namespace sim

using sim::Ace;
using sim::ApiCall;

DWORD WINAPI GetNamedSecurityInfoA(LPCSTR pObjectName, SE_OBJECT_TYPE ObjectType,
                                   SECURITY_INFORMATION SecurityInfo, PSID* ppsidOwner,
                                   PSID* ppsidGroup, PACL* ppDacl, PACL* ppSacl,
                                   PSECURITY_DESCRIPTOR* ppSecurityDescriptor) {
  ApiCall call("GetNamedSecurityInfoA", pObjectName ? pObjectName : "");
  if (call.fault()) return *call.fault();
  if (ppsidOwner) *ppsidOwner = nullptr;
  if (ppsidGroup) *ppsidGroup = nullptr;
  if (ppDacl) *ppDacl = nullptr;
  if (ppSacl) *ppSacl = nullptr;
  if (ppSecurityDescriptor) *ppSecurityDescriptor = nullptr;
  if (!ppSecurityDescriptor && (ppDacl || ppsidOwner || ppsidGroup || ppSacl))
    return ERROR_INVALID_PARAMETER;
  if (SecurityInfo & SACL_SECURITY_INFORMATION) return ERROR_PRIVILEGE_NOT_HELD;

  sim::Process& p = call.process();
  std::shared_ptr<sim::RegKey> key;
  if (DWORD r = sim::FindNamedKey(p, pObjectName, ObjectType, &key)) return r;
  if (!(sim::GrantedKeyRights(*key, p.token) & READ_CONTROL)) return ERROR_ACCESS_DENIED;

  auto* sd = new sim::SimSecurityDescriptor;
  sd->dacl.aces = sim::EffectiveAces(*key);
  sd->isProtected = key->security.isProtected;
  sim::FillHeader(&sd->dacl);
  sim::RegisterAcl(&sd->dacl);
  p.TrackLocal(sd, [sd] {
    sim::UnregisterAcl(&sd->dacl);
    delete sd;
  });
  *ppSecurityDescriptor = sd;
  if (ppDacl && (SecurityInfo & DACL_SECURITY_INFORMATION)) *ppDacl = &sd->dacl;
  return ERROR_SUCCESS;
}

DWORD WINAPI SetNamedSecurityInfoA(LPSTR pObjectName, SE_OBJECT_TYPE ObjectType,
                                   SECURITY_INFORMATION SecurityInfo, PSID psidOwner,
                                   PSID psidGroup, PACL pDacl, PACL pSacl) {
  ApiCall call("SetNamedSecurityInfoA", pObjectName ? pObjectName : "");
  if (call.fault()) return *call.fault();
  if (psidOwner || psidGroup || pSacl) return ERROR_INVALID_PARAMETER;
  if (!(SecurityInfo & DACL_SECURITY_INFORMATION)) return ERROR_SUCCESS;

  sim::Process& p = call.process();
  std::shared_ptr<sim::RegKey> key;
  if (DWORD r = sim::FindNamedKey(p, pObjectName, ObjectType, &key)) return r;
  if (!(sim::GrantedKeyRights(*key, p.token) & WRITE_DAC)) return ERROR_ACCESS_DENIED;

  std::vector<Ace> explicitAces;
  if (pDacl) {
    const sim::SimAcl* acl = sim::KnownAcl(pDacl);
    if (!acl) return ERROR_INVALID_ACL;
    // Inherited entries are not written: they follow from the ancestors.
    for (const Ace& ace : acl->aces)
      if (!(ace.flags & INHERITED_ACE)) explicitAces.push_back(ace);
  } else {
    // A null DACL gives everyone full access.
    explicitAces.push_back(
        {Ace::kAllow, CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE, GENERIC_ALL, "Everyone"});
  }
  key->security.explicitAces = std::move(explicitAces);
  // Without an explicit protection request the key keeps its protection state.
  if (SecurityInfo & PROTECTED_DACL_SECURITY_INFORMATION) key->security.isProtected = true;
  if (SecurityInfo & UNPROTECTED_DACL_SECURITY_INFORMATION) key->security.isProtected = false;
  // Inheritable entries now reach every existing subkey that is not protected: the
  // simulator derives inherited entries from the ancestors whenever it checks access.
  return ERROR_SUCCESS;
}

VOID WINAPI BuildExplicitAccessWithNameA(PEXPLICIT_ACCESS_A pExplicitAccess, LPSTR pTrusteeName,
                                         DWORD AccessPermissions, ACCESS_MODE AccessMode,
                                         DWORD Inheritance) {
  if (!pExplicitAccess) return;
  pExplicitAccess->grfAccessPermissions = AccessPermissions;
  pExplicitAccess->grfAccessMode = AccessMode;
  pExplicitAccess->grfInheritance = Inheritance;
  pExplicitAccess->Trustee.pMultipleTrustee = nullptr;
  pExplicitAccess->Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
  pExplicitAccess->Trustee.TrusteeForm = TRUSTEE_IS_NAME;
  pExplicitAccess->Trustee.TrusteeType = TRUSTEE_IS_UNKNOWN;
  pExplicitAccess->Trustee.ptstrName = pTrusteeName;
}

DWORD WINAPI SetEntriesInAclA(ULONG cCountOfExplicitEntries,
                              PEXPLICIT_ACCESS_A pListOfExplicitEntries, PACL OldAcl,
                              PACL* NewAcl) {
  ApiCall call("SetEntriesInAclA");
  if (call.fault()) return *call.fault();
  if (!NewAcl) return ERROR_INVALID_PARAMETER;
  *NewAcl = nullptr;
  if (cCountOfExplicitEntries && !pListOfExplicitEntries) return ERROR_INVALID_PARAMETER;

  std::vector<Ace> explicitAces, inheritedAces;
  if (OldAcl) {
    const sim::SimAcl* old = sim::KnownAcl(OldAcl);
    if (!old) return ERROR_INVALID_ACL;
    for (const Ace& ace : old->aces)
      (ace.flags & INHERITED_ACE ? inheritedAces : explicitAces).push_back(ace);
  }

  sim::Process& p = call.process();
  for (ULONG i = 0; i < cCountOfExplicitEntries; ++i) {
    const EXPLICIT_ACCESS_A& e = pListOfExplicitEntries[i];
    if (e.Trustee.TrusteeForm != TRUSTEE_IS_NAME || !e.Trustee.ptstrName)
      return ERROR_INVALID_PARAMETER;
    const std::string trustee = sim::CanonicalAccount(e.Trustee.ptstrName, p.token);
    if (trustee.empty()) return ERROR_NONE_MAPPED;
    Ace ace;
    ace.trustee = trustee;
    ace.mask = e.grfAccessPermissions;
    ace.flags =
        static_cast<uint8_t>(e.grfInheritance & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE |
                                                 NO_PROPAGATE_INHERIT_ACE | INHERIT_ONLY_ACE));
    auto sameTrustee = [&](const Ace& a) { return a.trustee == trustee; };
    switch (e.grfAccessMode) {
      case GRANT_ACCESS:
        ace.kind = Ace::kAllow;
        sim::AddMerged(&explicitAces, ace);
        break;
      case SET_ACCESS:
        explicitAces.erase(std::remove_if(explicitAces.begin(), explicitAces.end(), sameTrustee),
                           explicitAces.end());
        ace.kind = Ace::kAllow;
        explicitAces.push_back(ace);
        break;
      case DENY_ACCESS:
        ace.kind = Ace::kDeny;
        explicitAces.push_back(ace);
        break;
      case REVOKE_ACCESS:
        explicitAces.erase(std::remove_if(explicitAces.begin(), explicitAces.end(), sameTrustee),
                           explicitAces.end());
        break;
      default:
        return ERROR_INVALID_PARAMETER;
    }
  }
  // Canonical order: explicit denials, explicit grants, then inherited entries.
  std::stable_partition(explicitAces.begin(), explicitAces.end(),
                        [](const Ace& a) { return a.kind == Ace::kDeny; });
  auto* acl = new sim::SimAcl;
  acl->aces = std::move(explicitAces);
  acl->aces.insert(acl->aces.end(), inheritedAces.begin(), inheritedAces.end());
  sim::FillHeader(acl);
  sim::RegisterAcl(acl);
  p.TrackLocal(acl, [acl] {
    sim::UnregisterAcl(acl);
    delete acl;
  });
  *NewAcl = acl;
  return ERROR_SUCCESS;
}

// ---- Token privileges -------------------------------------------------------------

namespace sim {
namespace {

struct TokenHandle : HandleObject {
  uint32_t access = 0;
};

struct PrivilegeId {
  const char* name;
  DWORD luid;
};
// The locally unique identifiers Windows gives the well-known privileges.
constexpr PrivilegeId kPrivileges[] = {
    {"SeCreateTokenPrivilege", 2},
    {"SeAssignPrimaryTokenPrivilege", 3},
    {"SeLockMemoryPrivilege", 4},
    {"SeIncreaseQuotaPrivilege", 5},
    {"SeMachineAccountPrivilege", 6},
    {"SeTcbPrivilege", 7},
    {"SeSecurityPrivilege", 8},
    {"SeTakeOwnershipPrivilege", 9},
    {"SeLoadDriverPrivilege", 10},
    {"SeSystemProfilePrivilege", 11},
    {"SeSystemtimePrivilege", 12},
    {"SeProfileSingleProcessPrivilege", 13},
    {"SeIncreaseBasePriorityPrivilege", 14},
    {"SeCreatePagefilePrivilege", 15},
    {"SeCreatePermanentPrivilege", 16},
    {"SeBackupPrivilege", 17},
    {"SeRestorePrivilege", 18},
    {"SeShutdownPrivilege", 19},
    {"SeDebugPrivilege", 20},
    {"SeAuditPrivilege", 21},
    {"SeSystemEnvironmentPrivilege", 22},
    {"SeChangeNotifyPrivilege", 23},
    {"SeRemoteShutdownPrivilege", 24},
    {"SeUndockPrivilege", 25},
};

bool LookupLuid(std::string_view name, LUID* luid) {
  for (const auto& p : kPrivileges) {
    if (NamesEqual(name, p.name)) {
      luid->LowPart = p.luid;
      luid->HighPart = 0;
      return true;
    }
  }
  return false;
}

const char* PrivilegeName(const LUID& luid) {
  if (luid.HighPart != 0) return nullptr;
  for (const auto& p : kPrivileges)
    if (p.luid == luid.LowPart) return p.name;
  return nullptr;
}

}  // namespace
}  // namespace sim

HANDLE WINAPI GetCurrentProcess(void) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle) {
  ApiCall call("OpenProcessToken");
  if (call.fault()) {
    sim::ThreadLastError() = *call.fault();
    return FALSE;
  }
  if (!TokenHandle || ProcessHandle != GetCurrentProcess()) {
    sim::ThreadLastError() = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  auto token = std::make_shared<sim::TokenHandle>();
  token->access = DesiredAccess;
  *TokenHandle = reinterpret_cast<HANDLE>(call.process().handles.Add(std::move(token)));
  return TRUE;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, PLUID lpLuid) {
  ApiCall call("LookupPrivilegeValueA", lpName ? lpName : "");
  if (call.fault()) {
    sim::ThreadLastError() = *call.fault();
    return FALSE;
  }
  if (lpSystemName && *lpSystemName) {
    sim::ThreadLastError() = ERROR_INVALID_PARAMETER;  // only the local system is known
    return FALSE;
  }
  if (!lpName || !lpLuid) {
    sim::ThreadLastError() = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  if (sim::LookupLuid(lpName, lpLuid)) return TRUE;
  sim::ThreadLastError() = ERROR_NO_SUCH_PRIVILEGE;
  return FALSE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                                  PTOKEN_PRIVILEGES NewState, DWORD BufferLength,
                                  PTOKEN_PRIVILEGES PreviousState, PDWORD ReturnLength) {
  ApiCall call("AdjustTokenPrivileges");
  if (call.fault()) {
    sim::ThreadLastError() = *call.fault();
    return FALSE;
  }
  sim::Process& p = call.process();
  auto token = p.handles.GetAs<sim::TokenHandle>(reinterpret_cast<uintptr_t>(TokenHandle));
  if (!token) {
    sim::ThreadLastError() = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  if (!(token->access & TOKEN_ADJUST_PRIVILEGES) ||
      (PreviousState && !(token->access & TOKEN_QUERY))) {
    sim::ThreadLastError() = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (!DisableAllPrivileges && !NewState) {
    sim::ThreadLastError() = ERROR_INVALID_PARAMETER;
    return FALSE;
  }

  std::vector<std::pair<std::string, bool>> changes;
  bool allAssigned = true;
  if (DisableAllPrivileges) {
    for (auto& [name, enabled] : p.privileges) changes.emplace_back(name, false);
  } else {
    for (DWORD i = 0; i < NewState->PrivilegeCount; ++i) {
      const char* name = sim::PrivilegeName(NewState->Privileges[i].Luid);
      if (!name || !p.privileges.count(name)) {
        allAssigned = false;  // the token does not hold it
        continue;
      }
      changes.emplace_back(name, (NewState->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0);
    }
  }

  // The previous state lists the privileges whose state changes.
  std::vector<std::pair<std::string, bool>> previous;
  for (const auto& [name, enable] : changes)
    if (p.privileges[name] != enable) previous.emplace_back(name, p.privileges[name]);
  if (PreviousState) {
    const DWORD needed = static_cast<DWORD>(
        sizeof(DWORD) + sizeof(LUID_AND_ATTRIBUTES) * std::max<size_t>(previous.size(), 1));
    if (ReturnLength) *ReturnLength = needed;
    if (BufferLength < needed) {
      sim::ThreadLastError() = ERROR_INSUFFICIENT_BUFFER;
      return FALSE;
    }
    PreviousState->PrivilegeCount = static_cast<DWORD>(previous.size());
    for (size_t i = 0; i < previous.size(); ++i) {
      LUID luid{};
      sim::LookupLuid(previous[i].first, &luid);
      PreviousState->Privileges[i].Luid = luid;
      PreviousState->Privileges[i].Attributes = previous[i].second ? SE_PRIVILEGE_ENABLED : 0;
    }
  }
  for (const auto& [name, enable] : changes) p.privileges[name] = enable;
  sim::ThreadLastError() = allAssigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED;
  return TRUE;
}
