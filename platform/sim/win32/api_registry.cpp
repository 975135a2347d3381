// ADVAPI32 registry functions of the simulated Windows.
#include <algorithm>
#include <cstring>

#include "platform/sim/win32/api_support.h"
#include "platform/sim/machine/code_page.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/machine/registry_view.h"
#include "platform/sim/sdk/win32_sim.h"

namespace sim {
namespace {

struct KeyHandle : HandleObject {
  std::shared_ptr<RegKey> key;
  uint32_t granted = 0;
  RegistryView view = RegistryView::kNative;
  // Where the last enumeration by index stood, so that the next index is one step on.
  OrderedNameMap<std::shared_ptr<RegKey>>::Cursor subkeyAt;
  OrderedNameMap<RegValue>::Cursor valueAt;
};

// A key handle as the calls see it: a predefined root or an open key.
struct OpenKey {
  std::shared_ptr<RegKey> key;
  uint32_t granted = 0;
  RegistryView view = RegistryView::kNative;
  std::shared_ptr<KeyHandle> handle;  // null for a predefined root

  OrderedNameMap<std::shared_ptr<RegKey>>::Cursor* subkeyAt() {
    return handle ? &handle->subkeyAt : nullptr;
  }
  OrderedNameMap<RegValue>::Cursor* valueAt() { return handle ? &handle->valueAt : nullptr; }
};

RegistryView ProcessView(const Process& p) {
  return p.IsWow64() ? RegistryView::kWow64_32 : RegistryView::kNative;
}

bool IsPredefined(HKEY h) {
  const uint32_t v = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
  return v >= 0x80000000u && v <= 0x80000006u;
}

LONG Resolve(Process& p, HKEY h, OpenKey* out) {
  if (IsPredefined(h)) {
    const uint32_t v = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
    switch (v) {
      case 0x80000000u:
        out->key = p.machine.registry.Root("HKEY_CLASSES_ROOT");
        break;
      case 0x80000001u:
        out->key = p.machine.registry.CurrentUser();
        break;
      case 0x80000002u:
        out->key = p.machine.registry.LocalMachine();
        break;
      case 0x80000003u:
        out->key = p.machine.registry.Root("HKEY_USERS");
        break;
      default:
        return ERROR_INVALID_HANDLE;
    }
    if (!out->key) return ERROR_FILE_NOT_FOUND;
    // The predefined handles are open for everything the caller could be granted.
    out->granted = KEY_ALL_ACCESS;
    out->view = ProcessView(p);
    return ERROR_SUCCESS;
  }
  auto handle = p.handles.GetAs<KeyHandle>(reinterpret_cast<uintptr_t>(h));
  if (!handle) return ERROR_INVALID_HANDLE;
  out->key = handle->key;
  out->granted = handle->granted;
  out->view = handle->view;
  out->handle = std::move(handle);
  return out->key->deleted ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

std::string SubjectOf(const OpenKey& base, LPCSTR sub) {
  std::string s = base.key ? base.key->FullPath() : std::string();
  if (sub && *sub) s += std::string("\\") + sub;
  return s;
}

std::shared_ptr<RegKey> RootOf(Process& p, const RegKey& key) {
  const std::string& hive = key.Root()->name;
  return p.machine.registry.Root(hive);
}

uint32_t GrantFor(const RegKey& key, const Token& token, REGSAM sam) {
  const uint32_t wanted = MapGenericKeyRights(sam) & ~(KEY_WOW64_RES | SYNCHRONIZE);
  if (wanted & MAXIMUM_ALLOWED) return GrantedKeyRights(key, token);
  return wanted;
}

HKEY AddHandle(Process& p, std::shared_ptr<RegKey> key, uint32_t granted, RegistryView view) {
  auto h = std::make_shared<KeyHandle>();
  h->key = std::move(key);
  h->granted = granted;
  h->view = view;
  return reinterpret_cast<HKEY>(p.handles.Add(std::move(h)));
}

bool NeedAccess(const OpenKey& k, uint32_t right) { return (k.granted & right) == right; }

void StoreName(const std::string& name, LPSTR buffer, size_t capacityWithNul) {
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  (void)capacityWithNul;
}

}  // namespace
}  // namespace sim

using sim::ApiCall;
using sim::OpenKey;

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                          PHKEY phkResult) {
  ApiCall call("RegOpenKeyExA", ApiCall::Deferred{});
  (void)ulOptions;
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  sim::Process& p = call.process();
  OpenKey base;
  if (LONG r = sim::Resolve(p, hKey, &base)) return r;
  if (call.CheckFaultNaming([&] { return sim::SubjectOf(base, lpSubKey); }))
    return static_cast<LONG>(*call.fault());

  const sim::RegistryView view = sim::ViewFor(p, samDesired, base.view);
  std::shared_ptr<sim::RegKey> key;
  if (!sim::FindRegistryKey(p, base.key, lpSubKey ? lpSubKey : "", view, &key, base.subkeyAt()))
    return ERROR_BAD_PATHNAME;
  if (!key) return ERROR_FILE_NOT_FOUND;
  if (!sim::KeyAccessAllowed(*key, p.token, samDesired)) return ERROR_ACCESS_DENIED;
  *phkResult = sim::AddHandle(p, key, sim::GrantFor(*key, p.token, samDesired), view);
  return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                            DWORD dwOptions, REGSAM samDesired,
                            LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
  ApiCall call("RegCreateKeyExA", ApiCall::Deferred{});
  (void)Reserved;
  (void)lpClass;
  (void)lpSecurityAttributes;
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  sim::Process& p = call.process();
  OpenKey base;
  if (LONG r = sim::Resolve(p, hKey, &base)) return r;
  if (call.CheckFaultNaming([&] { return sim::SubjectOf(base, lpSubKey); }))
    return static_cast<LONG>(*call.fault());
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;

  const sim::RegistryView view = sim::ViewFor(p, samDesired, base.view);
  std::vector<std::string> parts;
  if (!sim::MapRegistryPath(p, *base.key, lpSubKey, view, &parts)) return ERROR_BAD_PATHNAME;
  // Windows refuses a name past its length with ERROR_INVALID_PARAMETER; it documents the
  // depth limit but not its error, and the same one is given for it.
  if (parts.size() > sim::kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
  for (const std::string& part : parts) {
    if (part.size() > sim::kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
  }
  auto root = sim::RootOf(p, *base.key);

  // The deepest existing key along the path decides whether anything is created.
  size_t existing = 0;
  std::shared_ptr<sim::RegKey> key = root;
  while (existing < parts.size()) {
    auto* child = key->subkeys.Find(parts[existing]);
    if (!child) break;
    key = *child;
    ++existing;
  }
  if (existing == parts.size()) {
    if (!sim::KeyAccessAllowed(*key, p.token, samDesired)) return ERROR_ACCESS_DENIED;
    *phkResult = sim::AddHandle(p, key, sim::GrantFor(*key, p.token, samDesired), view);
    if (lpdwDisposition) *lpdwDisposition = REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  }
  if (!sim::KeyAccessAllowed(*key, p.token, KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
  if (key->isVolatile && !(dwOptions & REG_OPTION_VOLATILE)) return ERROR_CHILD_MUST_BE_VOLATILE;
  std::string rest;
  for (size_t i = existing; i < parts.size(); ++i) {
    if (!rest.empty()) rest += '\\';
    rest += parts[i];
  }
  auto created = p.machine.registry.Create(key, rest);
  if (!created) return ERROR_BAD_PATHNAME;
  created->isVolatile = (dwOptions & REG_OPTION_VOLATILE) != 0;
  key->lastWriteTime = p.machine.Now();
  // The creator is granted what it asked for on the key it made.
  *phkResult = sim::AddHandle(
      p, created, sim::GrantFor(*created, p.token, samDesired) | (samDesired & KEY_ALL_ACCESS),
      view);
  if (lpdwDisposition) *lpdwDisposition = REG_CREATED_NEW_KEY;
  return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY hKey) {
  ApiCall call("RegCloseKey");
  if (call.fault()) return static_cast<LONG>(*call.fault());
  if (sim::IsPredefined(hKey)) return ERROR_SUCCESS;
  const uintptr_t value = reinterpret_cast<uintptr_t>(hKey);
  if (!call.process().handles.GetAs<sim::KeyHandle>(value)) return ERROR_INVALID_HANDLE;
  call.process().handles.Close(value);
  return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                          LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                          PFILETIME lpftLastWriteTime) {
  ApiCall call("RegEnumKeyExA", ApiCall::Deferred{});
  (void)lpReserved;
  OpenKey k;
  if (LONG r = sim::Resolve(call.process(), hKey, &k)) return r;
  if (call.CheckFaultNaming([&] { return k.key->FullPath(); }))
    return static_cast<LONG>(*call.fault());
  if (!lpName || !lpcchName) return ERROR_INVALID_PARAMETER;
  if (!sim::NeedAccess(k, KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  auto entry = k.key->subkeys.At(dwIndex, k.subkeyAt());
  if (!entry.first) return ERROR_NO_MORE_ITEMS;
  const std::string& name = *entry.first;
  if (*lpcchName < name.size() + 1) return ERROR_MORE_DATA;
  sim::StoreName(name, lpName, *lpcchName);
  *lpcchName = static_cast<DWORD>(name.size());
  if (lpClass && lpcchClass && *lpcchClass > 0) {
    lpClass[0] = '\0';
    *lpcchClass = 0;
  }
  if (lpftLastWriteTime) {
    *lpftLastWriteTime = sim::ToFileTime((*entry.second)->lastWriteTime);
  }
  return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
  ApiCall call("RegEnumKeyA", ApiCall::Deferred{});
  OpenKey k;
  if (LONG r = sim::Resolve(call.process(), hKey, &k)) return r;
  if (call.CheckFaultNaming([&] { return k.key->FullPath(); }))
    return static_cast<LONG>(*call.fault());
  if (!lpName) return ERROR_INVALID_PARAMETER;
  if (!sim::NeedAccess(k, KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  auto entry = k.key->subkeys.At(dwIndex, k.subkeyAt());
  if (!entry.first) return ERROR_NO_MORE_ITEMS;
  if (cchName < entry.first->size() + 1) return ERROR_MORE_DATA;
  sim::StoreName(*entry.first, lpName, cchName);
  return ERROR_SUCCESS;
}

LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                          LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  ApiCall call("RegEnumValueA", ApiCall::Deferred{});
  (void)lpReserved;
  OpenKey k;
  if (LONG r = sim::Resolve(call.process(), hKey, &k)) return r;
  if (call.CheckFaultNaming([&] { return k.key->FullPath(); }))
    return static_cast<LONG>(*call.fault());
  if (!lpValueName || !lpcchValueName) return ERROR_INVALID_PARAMETER;
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  if (!sim::NeedAccess(k, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  auto entry = k.key->values.At(dwIndex, k.valueAt());
  if (!entry.first) return ERROR_NO_MORE_ITEMS;
  const std::string& name = *entry.first;
  const sim::RegValue& value = *entry.second;
  if (*lpcchValueName < name.size() + 1) return ERROR_MORE_DATA;
  sim::StoreName(name, lpValueName, *lpcchValueName);
  *lpcchValueName = static_cast<DWORD>(name.size());
  if (lpType) *lpType = value.type;
  if (lpcbData) {
    const DWORD size = static_cast<DWORD>(value.data.size());
    if (lpData && *lpcbData < size) {
      *lpcbData = size;
      return ERROR_MORE_DATA;
    }
    if (lpData && size) std::memcpy(lpData, value.data.data(), size);
    *lpcbData = size;
  }
  return ERROR_SUCCESS;
}

// The value calls, ANSI and wide. The simulated registry keeps the ANSI bytes its programs
// write; through the wide calls string data crosses as UTF-16LE, converted through code page
// 1252 the way Windows converts through the ANSI code page. A name or text that code page
// cannot hold is beyond this registry (Windows would keep it): the set fails with
// ERROR_NO_UNICODE_TRANSLATION, the query finds no such value.
namespace sim {
namespace {

enum class Text { kAnsi, kUtf16 };

bool HoldsText(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// A wide value name in the registry's code page; false when it has no such form.
bool AnsiValueName(LPCWSTR name, std::string* ansi) {
  std::string utf16;
  for (; name && *name; ++name) {
    utf16.push_back(static_cast<char>(*name & 0xFF));
    utf16.push_back(static_cast<char>(*name >> 8));
  }
  return Utf16LeToAnsi(utf16, ansi, nullptr);
}

// RegQueryValueEx of `name` (null: a name this registry cannot hold, so no value).
LONG QueryValue(ApiCall& call, HKEY hKey, const std::string* name, Text text, LPDWORD lpType,
                LPBYTE lpData, LPDWORD lpcbData) {
  OpenKey k;
  if (LONG r = Resolve(call.process(), hKey, &k)) return r;
  if (call.CheckFaultNaming([&] { return k.key->FullPath() + "\\" + (name ? *name : ""); }))
    return static_cast<LONG>(*call.fault());
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  if (!NeedAccess(k, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  const RegValue* value = name ? k.key->values.Find(*name) : nullptr;
  if (!value) return ERROR_FILE_NOT_FOUND;
  if (lpType) *lpType = value->type;
  if (!lpcbData) return ERROR_SUCCESS;
  const std::string data =
      text == Text::kUtf16 && HoldsText(value->type) ? AnsiToUtf16Le(value->data) : value->data;
  const DWORD size = static_cast<DWORD>(data.size());
  if (lpData && *lpcbData < size) {
    // Windows leaves the buffer's contents undefined; the simulator fills it with the
    // value's first bytes, as NT's partial query does, so that a caller that uses them
    // is seen to.
    std::memcpy(lpData, data.data(), *lpcbData);
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  if (lpData && size) std::memcpy(lpData, data.data(), size);
  *lpcbData = size;
  return ERROR_SUCCESS;
}

// RegSetValueEx of `name` (null: a name this registry cannot hold).
LONG SetValue(ApiCall& call, HKEY hKey, const std::string* name, Text text, DWORD type,
              const BYTE* lpData, DWORD cbData) {
  OpenKey k;
  if (LONG r = Resolve(call.process(), hKey, &k)) return r;
  if (call.CheckFaultNaming([&] { return k.key->FullPath() + "\\" + (name ? *name : ""); }))
    return static_cast<LONG>(*call.fault());
  if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
  if (!NeedAccess(k, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  RegValue value;
  value.type = type;
  if (cbData) value.data.assign(reinterpret_cast<const char*>(lpData), cbData);
  if (text == Text::kUtf16 && HoldsText(type)) {
    value.data.resize(value.data.size() & ~static_cast<size_t>(1));  // whole characters
    std::string ansi;
    if (!Utf16LeToAnsi(value.data, &ansi, nullptr)) return ERROR_NO_UNICODE_TRANSLATION;
    value.data = std::move(ansi);
  }
  if (!name) return ERROR_NO_UNICODE_TRANSLATION;
  k.key->values.Put(*name, std::move(value));
  k.key->lastWriteTime = call.machine().Now();
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace sim

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
  ApiCall call("RegQueryValueExA", ApiCall::Deferred{});
  (void)lpReserved;
  const std::string name = lpValueName ? lpValueName : "";
  return sim::QueryValue(call, hKey, &name, sim::Text::kAnsi, lpType, lpData, lpcbData);
}

LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
  ApiCall call("RegQueryValueExW", ApiCall::Deferred{});
  (void)lpReserved;
  std::string name;
  const bool named = sim::AnsiValueName(lpValueName, &name);
  return sim::QueryValue(call, hKey, named ? &name : nullptr, sim::Text::kUtf16, lpType, lpData,
                         lpcbData);
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                           const BYTE* lpData, DWORD cbData) {
  ApiCall call("RegSetValueExA", ApiCall::Deferred{});
  (void)Reserved;
  const std::string name = lpValueName ? lpValueName : "";
  return sim::SetValue(call, hKey, &name, sim::Text::kAnsi, dwType, lpData, cbData);
}

LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                           const BYTE* lpData, DWORD cbData) {
  ApiCall call("RegSetValueExW", ApiCall::Deferred{});
  (void)Reserved;
  std::string name;
  const bool named = sim::AnsiValueName(lpValueName, &name);
  return sim::SetValue(call, hKey, named ? &name : nullptr, sim::Text::kUtf16, dwType, lpData,
                       cbData);
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  ApiCall call("RegDeleteValueA", ApiCall::Deferred{});
  OpenKey k;
  if (LONG r = sim::Resolve(call.process(), hKey, &k)) return r;
  const std::string name = lpValueName ? lpValueName : "";
  if (call.CheckFaultNaming([&] { return k.key->FullPath() + "\\" + name; }))
    return static_cast<LONG>(*call.fault());
  if (!sim::NeedAccess(k, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (!k.key->values.Erase(name)) return ERROR_FILE_NOT_FOUND;
  k.key->lastWriteTime = call.machine().Now();
  return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  ApiCall call("RegDeleteKeyA", ApiCall::Deferred{});
  sim::Process& p = call.process();
  OpenKey base;
  if (LONG r = sim::Resolve(p, hKey, &base)) return r;
  if (call.CheckFaultNaming([&] { return sim::SubjectOf(base, lpSubKey); }))
    return static_cast<LONG>(*call.fault());
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<sim::RegKey> key;
  if (!sim::FindRegistryKey(p, base.key, lpSubKey, sim::ViewFor(p, 0, base.view), &key,
                            base.subkeyAt()))
    return ERROR_BAD_PATHNAME;
  if (!key) return ERROR_FILE_NOT_FOUND;
  if (!key->parent) return ERROR_ACCESS_DENIED;  // a hive root
  if (!sim::KeyAccessAllowed(*key, p.token, DELETE)) return ERROR_ACCESS_DENIED;
  // Windows refuses to delete a key that still has subkeys.
  if (!key->subkeys.Empty()) return ERROR_ACCESS_DENIED;
  sim::RegKey* parent = key->parent;
  sim::Registry::DeleteTree(key);
  parent->lastWriteTime = p.machine.Now();
  return ERROR_SUCCESS;
}

LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                             LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                             LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                             LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                             PFILETIME lpftLastWriteTime) {
  ApiCall call("RegQueryInfoKeyA", ApiCall::Deferred{});
  (void)lpReserved;
  OpenKey k;
  if (LONG r = sim::Resolve(call.process(), hKey, &k)) return r;
  if (call.CheckFaultNaming([&] { return k.key->FullPath(); }))
    return static_cast<LONG>(*call.fault());
  if (!sim::NeedAccess(k, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (lpClass && lpcchClass && *lpcchClass) lpClass[0] = '\0';
  if (lpcchClass) *lpcchClass = 0;
  if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
  if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(k.key->subkeys.Size());
  if (lpcValues) *lpcValues = static_cast<DWORD>(k.key->values.Size());
  DWORD maxSub = 0, maxName = 0, maxData = 0;
  k.key->subkeys.ForEach([&](const std::string& n, const std::shared_ptr<sim::RegKey>&) {
    maxSub = std::max<DWORD>(maxSub, static_cast<DWORD>(n.size()));
  });
  k.key->values.ForEach([&](const std::string& n, const sim::RegValue& v) {
    maxName = std::max<DWORD>(maxName, static_cast<DWORD>(n.size()));
    maxData = std::max<DWORD>(maxData, static_cast<DWORD>(v.data.size()));
  });
  if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = maxSub;
  if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = maxName;
  if (lpcbMaxValueLen) *lpcbMaxValueLen = maxData;
  if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
  if (lpftLastWriteTime) {
    *lpftLastWriteTime = sim::ToFileTime(k.key->lastWriteTime);
  }
  return ERROR_SUCCESS;
}

LONG WINAPI RegFlushKey(HKEY hKey) {
  ApiCall call("RegFlushKey");
  if (call.fault()) return static_cast<LONG>(*call.fault());
  OpenKey k;
  return sim::Resolve(call.process(), hKey, &k);
}
