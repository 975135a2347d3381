// Access lists of registry keys, and the access check of the simulated Windows.
// A key keeps its explicit entries and a protected flag; inherited entries are
// derived from its ancestors, which is what Windows' propagation amounts to for
// every change the system makes (SetNamedSecurityInfo always propagates).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct RegKey;

struct Ace {
  enum Kind : uint8_t { kAllow = 0, kDeny = 1 };
  Kind kind = kAllow;
  uint8_t flags = 0;    // OBJECT_INHERIT_ACE, CONTAINER_INHERIT_ACE, ..., INHERITED_ACE
  uint32_t mask = 0;    // access rights; generic rights are mapped when checked
  std::string trustee;  // canonical account name: "SYSTEM", "Administrators", a user name
  bool operator==(const Ace& o) const {
    return kind == o.kind && flags == o.flags && mask == o.mask && trustee == o.trustee;
  }
};

struct KeySecurity {
  bool isProtected = false;  // inherits nothing from the parent
  std::vector<Ace> explicitAces;
  bool operator==(const KeySecurity& o) const {
    return isProtected == o.isProtected && explicitAces == o.explicitAces;
  }
};

// Who a process runs as.
struct Token {
  std::string user = "Administrator";
  std::vector<std::string> groups = {"Administrators", "Everyone", "Users", "Authenticated Users"};
  bool HasSid(std::string_view account) const;
};

// Canonical account name for a name or SDDL alias ("SY", "BA", "WD", "BU", "CO"...);
// empty when unknown. "CURRENT_USER" is resolved against the token.
std::string CanonicalAccount(std::string_view name, const Token& token);

// Explicit entries followed by those inherited from the ancestors (flagged INHERITED_ACE).
std::vector<Ace> EffectiveAces(const RegKey& key);

// Maps GENERIC_* bits to key rights.
uint32_t MapGenericKeyRights(uint32_t mask);

// The rights the token holds on the key (MAXIMUM_ALLOWED semantics).
uint32_t GrantedKeyRights(const RegKey& key, const Token& token);

// True when every right of `desired` (generic bits mapped, WOW64 bits ignored) is held.
bool KeyAccessAllowed(const RegKey& key, const Token& token, uint32_t desired);

// Security descriptor text, a subset of SDDL: "D:" then "P" when protected, then
// entries "(A;CI;KA;;;SY)". Rights: KA, KR, KW, KX, GA, GR, GW, GX or 0x hex;
// flags: OI, CI, NP, IO, ID; accounts: SDDL aliases or account names.
std::string FormatDacl(bool isProtected, const std::vector<Ace>& aces);
bool ParseDacl(std::string_view text, bool* isProtected, std::vector<Ace>* aces,
               std::string* error);

// The access list Windows gives the registry's hive roots by default.
KeySecurity DefaultRootSecurity();
// The protection Windows puts on Enum and Control\Class: SYSTEM full control,
// Administrators and Everyone read; not inherited from above.
KeySecurity SystemOnlySecurity();

}  // namespace sim
