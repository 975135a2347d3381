// The registry operations every pass of the uninstall engine shares: taking access to
// a protected key for the length of a pass, removing key trees, reading values and
// folding text for comparison.
#pragma once

#include <string>

#include "platform/win32.h"

// An open registry key, closed when the object goes away.
class ScopedKey {
 public:
  ScopedKey() = default;
  ~ScopedKey() { Close(); }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  // RegOpenKeyExA with KEY_ALL_ACCESS; the key held before is closed first.
  LONG Open(HKEY parent, const std::string& path);
  void Close();
  // Closes the key held and gives the place for a Reg* call to put the next one.
  PHKEY out() {
    Close();
    return &key_;
  }
  HKEY get() const { return key_; }
  bool isOpen() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};

// A full-control grant for the current user on one key, with the key's original access
// list kept so that it is written back when the object goes away. The grant is only
// needed while the pass that took it runs; leaving it would open the system's
// protected keys for good.
class KeyAccessGrant {
 public:
  KeyAccessGrant() = default;
  ~KeyAccessGrant() { Restore(); }
  KeyAccessGrant(KeyAccessGrant&& other) noexcept;
  KeyAccessGrant& operator=(KeyAccessGrant&& other) noexcept;
  KeyAccessGrant(const KeyAccessGrant&) = delete;
  KeyAccessGrant& operator=(const KeyAccessGrant&) = delete;

  // True while the grant is written and not yet taken back.
  bool granted() const { return granted_; }
  // Writes the original access list back (its inheritable entries reach the subkeys
  // again) and releases what was read. Does nothing when nothing was granted.
  void Restore();

 private:
  friend KeyAccessGrant GrantKeyAccess(const std::string& path);
  void Release();

  std::string objectName_;
  PSECURITY_DESCRIPTOR original_ = nullptr;  // owns originalDacl_
  PACL originalDacl_ = nullptr;
  bool granted_ = false;
};

// Grants the current user full control of the HKLM-relative key `path`, inherited by
// its subkeys. On failure the key's access list stays as it was and the result holds
// no grant.
KeyAccessGrant GrantKeyAccess(const std::string& path);

// Deletes the key `name` below `parent` with all its subkeys, depth first. Returns the
// registry error code: 0 when everything was deleted; the first failure ends the
// deletion, leaving what was not yet deleted in place.
LONG DeleteKeyTree(HKEY parent, const std::string& name);

// True when the key is gone afterwards: deleted now, or not there at all.
bool DeleteRegistryKey(HKEY parent, const std::string& name);

// Folds 'A'..'Z' to lower case in place; every other byte, 0x80 and above included,
// stays as it is, whatever the locale.
void LowerCaseAscii(char* text);
void LowerCaseAscii(std::string* text);

// Reads a value into a 260-byte buffer. A value counts only when the read succeeds and
// its size, terminating NUL included, is greater than `minimumSize`; `text` then holds
// the data up to its first NUL (for a multi-string, its first string).
bool ReadTextValue(HKEY key, const char* name, std::string* text, DWORD minimumSize = 4);

// The C library's atoi rules on `text`: leading white space, an optional sign, decimal
// digits up to the first other character; no digits give 0. Saturates instead of
// overflowing.
long long ParseDecimalLikeAtoi(const char* text);
