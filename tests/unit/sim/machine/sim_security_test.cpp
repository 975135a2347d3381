#include <gtest/gtest.h>

#include <random>

#include "platform/sim/machine/registry.h"
#include "platform/sim/machine/security.h"
#include "platform/win32.h"

namespace sim {
namespace {

TEST(DaclText, RoundTripsEveryForm) {
  const char* texts[] = {
      "D:(A;CI;KA;;;SY)(A;CI;KR;;;BA)(A;CI;KR;;;WD)",
      "D:P(A;CI;KA;;;SY)",
      "D:(D;OICI;KW;;;BU)(A;CIID;0x2001f;;;Administrator)",
      "D:(A;OICINPIO;GA;;;CO)",
      "D:",
  };
  for (const char* text : texts) {
    bool isProtected = false;
    std::vector<Ace> aces;
    std::string error;
    ASSERT_TRUE(ParseDacl(text, &isProtected, &aces, &error)) << text << ": " << error;
    EXPECT_EQ(text, FormatDacl(isProtected, aces));
  }
}

TEST(DaclText, RefusesMalformedText) {
  const char* texts[] = {
      "(A;CI;KA;;;SY)",      // no D:
      "D:(A;CI;KA;;SY)",     // five fields
      "D:(X;CI;KA;;;SY)",    // unknown type
      "D:(A;QQ;KA;;;SY)",    // unknown flag
      "D:(A;CI;ZZ;;;SY)",    // unknown rights
      "D:(A;CI;0xZZ;;;SY)",  // bad hex
      "D:(A;CI;KA;;;)",      // no account
      "D:(A;CI;KA;;;SY",     // unclosed
      "D:Q(A;CI;KA;;;SY)",   // unknown list flag
  };
  for (const char* text : texts) {
    bool isProtected = false;
    std::vector<Ace> aces;
    std::string error;
    EXPECT_FALSE(ParseDacl(text, &isProtected, &aces, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

class Inheritance : public ::testing::Test {
 protected:
  Registry registry;
  Token admin;  // Administrator in Administrators
  std::shared_ptr<RegKey> Key(const char* path) {
    return registry.CreateFull(std::string("HKEY_LOCAL_MACHINE\\") + path);
  }
};

TEST_F(Inheritance, ProtectedKeysAndTheirSubkeysAreReadOnlyForAdministrators) {
  auto enumKey = Key("SYSTEM\\CurrentControlSet\\Enum");
  enumKey->security = SystemOnlySecurity();
  auto device = Key("SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_1&DEV_2\\3");
  EXPECT_FALSE(KeyAccessAllowed(*device, admin, KEY_ALL_ACCESS));
  EXPECT_TRUE(KeyAccessAllowed(*device, admin, KEY_READ));
  EXPECT_TRUE(KeyAccessAllowed(*Key("SYSTEM\\CurrentControlSet"), admin, KEY_ALL_ACCESS));
  // The owner's implicit rights: an administrator may always change the list.
  EXPECT_TRUE(KeyAccessAllowed(*device, admin, WRITE_DAC | READ_CONTROL));
}

TEST_F(Inheritance, AnInheritableGrantReachesAllButProtectedSubkeys) {
  auto top = Key("SYSTEM\\Top");
  top->security = SystemOnlySecurity();
  auto open = Key("SYSTEM\\Top\\Open\\Deep");
  auto sealed = Key("SYSTEM\\Top\\Sealed");
  sealed->security = SystemOnlySecurity();
  top->security.explicitAces.push_back(
      {Ace::kAllow, CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE, GENERIC_ALL, "Administrator"});
  EXPECT_TRUE(KeyAccessAllowed(*open, admin, KEY_ALL_ACCESS));
  EXPECT_FALSE(KeyAccessAllowed(*sealed, admin, KEY_ALL_ACCESS));
}

TEST_F(Inheritance, NoPropagateReachesChildrenButNotGrandchildren) {
  auto top = Key("SYSTEM\\Top");
  top->security = SystemOnlySecurity();
  auto child = Key("SYSTEM\\Top\\Child");
  auto grandchild = Key("SYSTEM\\Top\\Child\\Grandchild");
  top->security.explicitAces.push_back({Ace::kAllow,
                                        CONTAINER_INHERIT_ACE | NO_PROPAGATE_INHERIT_ACE,
                                        KEY_ALL_ACCESS, "Administrators"});
  EXPECT_TRUE(KeyAccessAllowed(*child, admin, KEY_ALL_ACCESS));
  EXPECT_FALSE(KeyAccessAllowed(*grandchild, admin, KEY_ALL_ACCESS));
}

TEST_F(Inheritance, InheritOnlyEntriesDoNotApplyToTheirOwnKey) {
  auto top = Key("SYSTEM\\Top");
  top->security.isProtected = true;
  top->security.explicitAces = {
      {Ace::kAllow, CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE, KEY_ALL_ACCESS, "Administrators"}};
  auto child = Key("SYSTEM\\Top\\Child");
  EXPECT_FALSE(KeyAccessAllowed(*top, admin, KEY_QUERY_VALUE));
  EXPECT_TRUE(KeyAccessAllowed(*child, admin, KEY_ALL_ACCESS));
}

TEST_F(Inheritance, AnEarlierDenialWinsOverALaterGrant) {
  auto key = Key("SYSTEM\\Denied");
  key->security.isProtected = true;
  key->security.explicitAces = {{Ace::kDeny, 0, DELETE, "Administrators"},
                                {Ace::kAllow, 0, KEY_ALL_ACCESS, "Administrators"}};
  EXPECT_FALSE(KeyAccessAllowed(*key, admin, KEY_ALL_ACCESS));
  EXPECT_TRUE(KeyAccessAllowed(*key, admin, KEY_READ | KEY_SET_VALUE));
}

TEST_F(Inheritance, EffectiveEntriesMarkWhatIsInherited) {
  auto top = Key("SYSTEM\\Top");
  top->security = SystemOnlySecurity();
  auto child = Key("SYSTEM\\Top\\Child");
  child->security.explicitAces = {{Ace::kAllow, 0, KEY_READ, "Users"}};
  const auto aces = EffectiveAces(*child);
  ASSERT_EQ(4u, aces.size());
  EXPECT_EQ(0, aces[0].flags & INHERITED_ACE);
  for (size_t i = 1; i < aces.size(); ++i) EXPECT_NE(0, aces[i].flags & INHERITED_ACE);
}

// The rights an access check grants are those the key's effective list (what
// GetNamedSecurityInfoA shows) grants, entry by entry in its order, whatever the
// mix of inheritance flags, protection and denials along the key's ancestors.
TEST_F(Inheritance, AccessChecksGrantWhatTheEffectiveListGrants) {
  std::mt19937 random(5);
  const char* const trustees[] = {"Administrators", "Administrator", "Users", "SYSTEM"};
  const uint8_t flags[] = {0, CONTAINER_INHERIT_ACE, CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE,
                           CONTAINER_INHERIT_ACE | NO_PROPAGATE_INHERIT_ACE, OBJECT_INHERIT_ACE};
  const uint32_t masks[] = {KEY_READ, KEY_ALL_ACCESS, DELETE, GENERIC_ALL, KEY_SET_VALUE};
  for (int round = 0; round < 300; ++round) {
    std::vector<std::shared_ptr<RegKey>> chain;
    std::string path = "SYSTEM\\R" + std::to_string(round);
    for (int depth = 0; depth < 5; ++depth, path += "\\K") {
      auto key = Key(path.c_str());
      key->security.isProtected = random() % 4 == 0;
      for (int n = static_cast<int>(random() % 3); n > 0; --n) {
        key->security.explicitAces.push_back({random() % 3 ? Ace::kAllow : Ace::kDeny,
                                              flags[random() % 5], masks[random() % 5],
                                              trustees[random() % 4]});
      }
      chain.push_back(key);
    }
    for (const auto& key : chain) {
      uint32_t granted = 0, denied = 0;
      for (const Ace& ace : EffectiveAces(*key)) {
        if ((ace.flags & INHERIT_ONLY_ACE) || !admin.HasSid(ace.trustee)) continue;
        const uint32_t bits = MapGenericKeyRights(ace.mask) & ~(granted | denied);
        (ace.kind == Ace::kAllow ? granted : denied) |= bits;
      }
      granted |= (READ_CONTROL | WRITE_DAC) & ~denied;
      ASSERT_EQ(granted, GrantedKeyRights(*key, admin)) << key->FullPath() << " round " << round;
    }
  }
}

TEST(Accounts, ResolveAliasesDomainsAndTheCurrentUser) {
  Token token;
  token.user = "Operator";
  EXPECT_EQ("Operator", CanonicalAccount("CURRENT_USER", token));
  EXPECT_EQ("Administrators", CanonicalAccount("BUILTIN\\Administrators", token));
  EXPECT_EQ("SYSTEM", CanonicalAccount("NT AUTHORITY\\SYSTEM", token));
  EXPECT_EQ("SYSTEM", CanonicalAccount("SY", token));
  EXPECT_EQ("Operator", CanonicalAccount("SIMPC\\operator", token));
  EXPECT_EQ("", CanonicalAccount("Nobody", token));
}

}  // namespace
}  // namespace sim
