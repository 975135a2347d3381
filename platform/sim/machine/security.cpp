#include "platform/sim/machine/security.h"

#include <cstdio>
#include <cstdlib>

#include "platform/sim/machine/name_order.h"
#include "platform/sim/machine/registry.h"
#include "platform/sim/sdk/win32_sim.h"

namespace sim {

namespace {

struct AccountAlias {
  const char* sddl;
  const char* name;
};
constexpr AccountAlias kAliases[] = {
    {"SY", "SYSTEM"},      {"BA", "Administrators"},      {"WD", "Everyone"},
    {"BU", "Users"},       {"AU", "Authenticated Users"}, {"CO", "CREATOR OWNER"},
    {"PU", "Power Users"},
};

struct RightsAlias {
  const char* sddl;
  uint32_t mask;
};
constexpr RightsAlias kRights[] = {
    {"KA", KEY_ALL_ACCESS}, {"KR", KEY_READ},      {"KW", KEY_WRITE},       {"GA", GENERIC_ALL},
    {"GR", GENERIC_READ},   {"GW", GENERIC_WRITE}, {"GX", GENERIC_EXECUTE},
};

struct FlagAlias {
  const char* sddl;
  uint8_t flag;
};
constexpr FlagAlias kFlags[] = {
    {"OI", OBJECT_INHERIT_ACE}, {"CI", CONTAINER_INHERIT_ACE}, {"NP", NO_PROPAGATE_INHERIT_ACE},
    {"IO", INHERIT_ONLY_ACE},   {"ID", INHERITED_ACE},
};

std::string StripDomain(std::string_view name) {
  const size_t sep = name.rfind('\\');
  return std::string(sep == std::string_view::npos ? name : name.substr(sep + 1));
}

}  // namespace

bool Token::HasSid(std::string_view account) const {
  if (NamesEqual(account, user)) return true;
  for (const auto& g : groups)
    if (NamesEqual(account, g)) return true;
  return false;
}

std::string CanonicalAccount(std::string_view name, const Token& token) {
  if (name == "CURRENT_USER") return token.user;
  for (const auto& a : kAliases) {
    if (name == a.sddl) return a.name;
  }
  const std::string bare = StripDomain(name);
  for (const auto& a : kAliases) {
    if (NamesEqual(bare, a.name)) return a.name;
  }
  if (NamesEqual(bare, token.user)) return token.user;
  return std::string();
}

uint32_t MapGenericKeyRights(uint32_t mask) {
  uint32_t out = mask & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
  if (mask & GENERIC_READ) out |= KEY_READ;
  if (mask & GENERIC_WRITE) out |= KEY_WRITE;
  if (mask & GENERIC_EXECUTE) out |= KEY_EXECUTE;
  if (mask & GENERIC_ALL) out |= KEY_ALL_ACCESS;
  return out;
}

std::vector<Ace> EffectiveAces(const RegKey& key) {
  std::vector<Ace> aces = key.security.explicitAces;
  if (key.security.isProtected || !key.parent) return aces;
  for (const Ace& up : EffectiveAces(*key.parent)) {
    if (!(up.flags & CONTAINER_INHERIT_ACE)) continue;
    Ace inherited = up;
    inherited.flags = static_cast<uint8_t>((up.flags & ~INHERIT_ONLY_ACE) | INHERITED_ACE);
    if (up.flags & NO_PROPAGATE_INHERIT_ACE) {
      inherited.flags &= static_cast<uint8_t>(
          ~(CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE | NO_PROPAGATE_INHERIT_ACE));
    }
    aces.push_back(inherited);
  }
  return aces;
}

// The entries EffectiveAces lists, in its order, without building the list: every
// open checks access, and keys deep in a large tree would copy their ancestors'
// entries each time. An ancestor's entry reaches the key when it is inheritable by
// containers, and beyond the first level only when it does not stop there; the
// first protected key ends the inheritance. Inherited entries lose INHERIT_ONLY_ACE.
uint32_t GrantedKeyRights(const RegKey& key, const Token& token) {
  uint32_t granted = 0, denied = 0;
  auto apply = [&](const Ace& ace) {
    if (!token.HasSid(ace.trustee)) return;
    const uint32_t bits = MapGenericKeyRights(ace.mask) & ~(granted | denied);
    if (ace.kind == Ace::kAllow) {
      granted |= bits;
    } else {
      denied |= bits;
    }
  };
  for (const Ace& ace : key.security.explicitAces)
    if (!(ace.flags & INHERIT_ONLY_ACE)) apply(ace);
  if (!key.security.isProtected) {
    bool nextLevel = true;
    for (const RegKey* up = key.parent; up; up = up->parent) {
      for (const Ace& ace : up->security.explicitAces) {
        if (!(ace.flags & CONTAINER_INHERIT_ACE)) continue;
        if ((ace.flags & NO_PROPAGATE_INHERIT_ACE) && !nextLevel) continue;
        apply(ace);
      }
      if (up->security.isProtected) break;
      nextLevel = false;
    }
  }
  // Keys the system touches are owned by the Administrators group, and an owner
  // may always read and change the access list.
  if (token.HasSid("Administrators")) granted |= (READ_CONTROL | WRITE_DAC) & ~denied;
  return granted;
}

bool KeyAccessAllowed(const RegKey& key, const Token& token, uint32_t desired) {
  uint32_t wanted = MapGenericKeyRights(desired) & ~(KEY_WOW64_RES | SYNCHRONIZE);
  if (wanted & MAXIMUM_ALLOWED) return true;  // granted whatever is held
  const uint32_t granted = GrantedKeyRights(key, token);
  return (wanted & ~granted) == 0;
}

std::string FormatDacl(bool isProtected, const std::vector<Ace>& aces) {
  std::string out = isProtected ? "D:P" : "D:";
  for (const Ace& ace : aces) {
    out += '(';
    out += ace.kind == Ace::kAllow ? "A" : "D";
    out += ';';
    for (const auto& f : kFlags)
      if (ace.flags & f.flag) out += f.sddl;
    out += ';';
    const char* rights = nullptr;
    for (const auto& r : kRights)
      if (r.mask == ace.mask) rights = r.sddl;
    if (rights) {
      out += rights;
    } else {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(ace.mask));
      out += hex;
    }
    out += ";;;";
    const char* alias = nullptr;
    for (const auto& a : kAliases)
      if (ace.trustee == a.name) alias = a.sddl;
    out += alias ? alias : ace.trustee;
    out += ')';
  }
  return out;
}

bool ParseDacl(std::string_view text, bool* isProtected, std::vector<Ace>* aces,
               std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = what;
    return false;
  };
  aces->clear();
  *isProtected = false;
  if (text.substr(0, 2) != "D:") return fail("an access list starts with D:");
  size_t pos = 2;
  while (pos < text.size() && text[pos] != '(') {
    if (text.compare(pos, 1, "P") == 0) {
      *isProtected = true;
      pos += 1;
    } else if (text.compare(pos, 2, "AI") == 0 || text.compare(pos, 2, "AR") == 0) {
      pos += 2;
    } else {
      return fail("unknown access list flag at column " + std::to_string(pos + 1));
    }
  }
  while (pos < text.size()) {
    if (text[pos] != '(') return fail("expected ( at column " + std::to_string(pos + 1));
    const size_t close = text.find(')', pos);
    if (close == std::string_view::npos) return fail("entry without closing )");
    std::vector<std::string> fields;
    std::string_view body = text.substr(pos + 1, close - pos - 1);
    size_t start = 0;
    for (;;) {
      const size_t semi = body.find(';', start);
      fields.emplace_back(
          body.substr(start, semi == std::string_view::npos ? body.npos : semi - start));
      if (semi == std::string_view::npos) break;
      start = semi + 1;
    }
    if (fields.size() != 6) return fail("an entry has six fields separated by ;");
    Ace ace;
    if (fields[0] == "A") {
      ace.kind = Ace::kAllow;
    } else if (fields[0] == "D") {
      ace.kind = Ace::kDeny;
    } else {
      return fail("entry type must be A or D: " + fields[0]);
    }
    for (size_t i = 0; i < fields[1].size(); i += 2) {
      const std::string f = fields[1].substr(i, 2);
      bool known = false;
      for (const auto& a : kFlags) {
        if (f == a.sddl) {
          ace.flags |= a.flag;
          known = true;
        }
      }
      if (!known) return fail("unknown entry flag: " + f);
    }
    bool knownRights = false;
    for (const auto& r : kRights) {
      if (fields[2] == r.sddl) {
        ace.mask = r.mask;
        knownRights = true;
      }
    }
    if (!knownRights) {
      if (fields[2].size() < 3 || fields[2].compare(0, 2, "0x") != 0)
        return fail("unknown rights: " + fields[2]);
      char* end = nullptr;
      ace.mask = static_cast<uint32_t>(std::strtoul(fields[2].c_str() + 2, &end, 16));
      if (!end || *end) return fail("bad hexadecimal rights: " + fields[2]);
    }
    if (fields[5].empty()) return fail("entry without account");
    ace.trustee = fields[5];
    for (const auto& a : kAliases)
      if (fields[5] == a.sddl) ace.trustee = a.name;
    aces->push_back(ace);
    pos = close + 1;
  }
  return true;
}

KeySecurity DefaultRootSecurity() {
  KeySecurity s;
  s.explicitAces = {
      {Ace::kAllow, CONTAINER_INHERIT_ACE, KEY_ALL_ACCESS, "SYSTEM"},
      {Ace::kAllow, CONTAINER_INHERIT_ACE, KEY_ALL_ACCESS, "Administrators"},
      {Ace::kAllow, CONTAINER_INHERIT_ACE, KEY_READ, "Users"},
  };
  return s;
}

KeySecurity SystemOnlySecurity() {
  KeySecurity s;
  s.isProtected = true;
  s.explicitAces = {
      {Ace::kAllow, CONTAINER_INHERIT_ACE, KEY_ALL_ACCESS, "SYSTEM"},
      {Ace::kAllow, CONTAINER_INHERIT_ACE, KEY_READ, "Administrators"},
      {Ace::kAllow, CONTAINER_INHERIT_ACE, KEY_READ, "Everyone"},
  };
  return s;
}

}  // namespace sim
