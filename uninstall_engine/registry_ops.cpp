#include "uninstall_engine/registry_ops.h"

#include <climits>
#include <utility>

LONG ScopedKey::Open(HKEY parent, const std::string& path) {
  Close();
  HKEY key = nullptr;
  const LONG result = RegOpenKeyExA(parent, path.c_str(), 0, KEY_ALL_ACCESS, &key);
  if (result == ERROR_SUCCESS) key_ = key;
  return result;
}

void ScopedKey::Close() {
  if (key_) RegCloseKey(key_);
  key_ = nullptr;
}

KeyAccessGrant::KeyAccessGrant(KeyAccessGrant&& other) noexcept { *this = std::move(other); }

KeyAccessGrant& KeyAccessGrant::operator=(KeyAccessGrant&& other) noexcept {
  if (this != &other) {
    Restore();
    objectName_ = std::move(other.objectName_);
    original_ = std::exchange(other.original_, nullptr);
    originalDacl_ = std::exchange(other.originalDacl_, nullptr);
    granted_ = std::exchange(other.granted_, false);
  }
  return *this;
}

void KeyAccessGrant::Restore() {
  if (granted_) {
    // A failure leaves the grant in place; there is nothing better to fall back to.
    SetNamedSecurityInfoA(&objectName_[0], SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr,
                          nullptr, originalDacl_, nullptr);
    granted_ = false;
  }
  Release();
}

void KeyAccessGrant::Release() {
  if (original_) LocalFree(original_);
  original_ = nullptr;
  originalDacl_ = nullptr;
}

KeyAccessGrant GrantKeyAccess(const std::string& path) {
  KeyAccessGrant grant;
  grant.objectName_ = "MACHINE\\" + path;
  if (GetNamedSecurityInfoA(grant.objectName_.c_str(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, &grant.originalDacl_, nullptr,
                            &grant.original_) != ERROR_SUCCESS) {
    grant.original_ = nullptr;
    grant.originalDacl_ = nullptr;
    return grant;
  }
  char trustee[] = "CURRENT_USER";
  EXPLICIT_ACCESS_A access;
  ZeroMemory(&access, sizeof(access));
  BuildExplicitAccessWithNameA(&access, trustee, GENERIC_ALL, GRANT_ACCESS,
                               SUB_CONTAINERS_AND_OBJECTS_INHERIT);
  PACL merged = nullptr;
  if (SetEntriesInAclA(1, &access, grant.originalDacl_, &merged) == ERROR_SUCCESS) {
    grant.granted_ =
        SetNamedSecurityInfoA(&grant.objectName_[0], SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, merged, nullptr) == ERROR_SUCCESS;
  }
  if (merged) LocalFree(merged);
  // Without a grant there is nothing to restore, so the original list is not kept.
  if (!grant.granted_) grant.Release();
  return grant;
}

LONG DeleteKeyTree(HKEY parent, const std::string& name) {
  ScopedKey key;
  if (LONG opened = key.Open(parent, name)) return opened;
  for (;;) {
    // Always index 0: each deleted subkey moves the next one into its place.
    char subkey[MAX_PATH];
    const LONG enumerated = RegEnumKeyA(key.get(), 0, subkey, sizeof(subkey));
    if (enumerated == ERROR_SUCCESS) {
      if (LONG deleted = DeleteKeyTree(key.get(), subkey)) return deleted;
      continue;
    }
    key.Close();
    if (enumerated != ERROR_NO_MORE_ITEMS) return enumerated;
    return RegDeleteKeyA(parent, name.c_str());
  }
}

bool DeleteRegistryKey(HKEY parent, const std::string& name) {
  if (DeleteKeyTree(parent, name) == ERROR_SUCCESS) return true;
  // "Not found" may come from a subkey deep in the tree while the key itself stays:
  // only the key's own absence counts as gone.
  HKEY key = nullptr;
  const LONG opened = RegOpenKeyExA(parent, name.c_str(), 0, KEY_QUERY_VALUE, &key);
  if (opened == ERROR_SUCCESS) RegCloseKey(key);
  return opened == ERROR_FILE_NOT_FOUND;
}

void LowerCaseAscii(char* text) {
  for (; *text; ++text) {
    if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text + 0x20);
  }
}

void LowerCaseAscii(std::string* text) {
  for (char& c : *text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
  }
}

bool ReadTextValue(HKEY key, const char* name, std::string* text, DWORD minimumSize) {
  BYTE data[MAX_PATH];
  DWORD size = sizeof(data);
  if (RegQueryValueExA(key, name, nullptr, nullptr, data, &size) != ERROR_SUCCESS) return false;
  if (size <= minimumSize || size > sizeof(data)) return false;
  const char* begin = reinterpret_cast<const char*>(data);
  size_t length = 0;
  while (length < size && begin[length] != '\0') ++length;
  text->assign(begin, length);
  return true;
}

long long ParseDecimalLikeAtoi(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  long long value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    if (value < LLONG_MAX / 10) value = value * 10 + (*text - '0');
  }
  return negative ? -value : value;
}
