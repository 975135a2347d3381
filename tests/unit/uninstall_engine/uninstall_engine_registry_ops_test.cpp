// Access grants, tree deletion and the text folding the passes compare with.
#include <gtest/gtest.h>

#include <string>

#include "tests/unit/uninstall_engine/uninstall_engine_test_support.h"
#include "uninstall_engine/registry_ops.h"

namespace {

using engine_test::HandleCheck;
using engine_test::MachineTest;

TEST(LowerCaseAscii, FoldsOnlyAsciiCapitals) {
  struct Case {
    std::string text, expected;
  } cases[] = {
      {"PCI\\VEN_6A3C&DEV_5E17", "pci\\ven_6a3c&dev_5e17"},
      {"", ""},
      {"@AZ[`az{", "@az[`az{"},  // the neighbours of both ranges stay
      {"\xC4\xD6\xDC\x80\xFF"
       "A",
       "\xC4\xD6\xDC\x80\xFF"
       "a"},
  };
  for (const Case& c : cases) {
    std::string viaString = c.text;
    LowerCaseAscii(&viaString);
    EXPECT_EQ(c.expected, viaString);
    std::string viaBuffer = c.text;
    LowerCaseAscii(&viaBuffer[0]);
    EXPECT_EQ(c.expected, viaBuffer);
  }
}

TEST(ParseDecimalLikeAtoi, FollowsTheCLibraryRules) {
  struct Case {
    const char* text;
    long long expected;
  } cases[] = {
      {"10", 10}, {" \t7", 7}, {"+3x", 3},   {"-2", -2},
      {"X", 0},   {"", 0},     {"0010", 10}, {"99999999999999999999999", 999999999999999999LL}};
  for (const Case& c : cases) EXPECT_EQ(c.expected, ParseDecimalLikeAtoi(c.text)) << c.text;
}

class KeyTree : public MachineTest {};

TEST_F(KeyTree, ThreeLevelsAreRemovedBottomUp) {
  Sz("SOFTWARE\\Tree\\A\\B\\C", "v", "1");
  Sz("SOFTWARE\\Tree\\A\\B2", "v", "2");
  Sz("SOFTWARE\\Tree\\A", "top", "3");
  Key("SOFTWARE\\Tree\\Other");
  sim::ProcessScope scope(*machine_);
  HandleCheck handles(scope.process());
  EXPECT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree\\A"));
  EXPECT_FALSE(Exists("SOFTWARE\\Tree\\A"));
  EXPECT_TRUE(Exists("SOFTWARE\\Tree\\Other"));
}

TEST_F(KeyTree, AMissingKeyCountsAsRemoved) {
  sim::ProcessScope scope(*machine_);
  HandleCheck handles(scope.process());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nowhere"));
  EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nowhere"));
  EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nowhere\\Deeper"));
}

// "Not found" from a subkey deep in the tree is no deletion of the tree: only the key's
// own absence is.
TEST_F(KeyTree, ASubkeyNotFoundDeepInTheTreeIsNoDeletion) {
  Sz("SOFTWARE\\Tree\\A\\B", "v", "1");
  machine_->faults.Add({"RegOpenKeyExA", ERROR_FILE_NOT_FOUND, 0, "SOFTWARE\\Tree\\A\\B"});
  sim::ProcessScope scope(*machine_);
  HandleCheck handles(scope.process());
  EXPECT_FALSE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree"));
  EXPECT_TRUE(Exists("SOFTWARE\\Tree\\A\\B"));
}

TEST_F(KeyTree, ASubkeyThatCannotBeOpenedStopsTheDeletion) {
  for (const char* sub : {"A", "B", "C"}) Sz(std::string("SOFTWARE\\Tree\\") + sub, "v", sub);
  machine_->faults.Add({"RegOpenKeyExA", ERROR_ACCESS_DENIED, 0, "SOFTWARE\\Tree\\B"});
  sim::ProcessScope scope(*machine_);
  HandleCheck handles(scope.process());
  EXPECT_EQ(ERROR_ACCESS_DENIED, DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree"));
  EXPECT_FALSE(Exists("SOFTWARE\\Tree\\A"));
  EXPECT_TRUE(Exists("SOFTWARE\\Tree\\B"));
  EXPECT_TRUE(Exists("SOFTWARE\\Tree\\C"));
  EXPECT_FALSE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree"));
  EXPECT_TRUE(Exists("SOFTWARE\\Tree"));
}

TEST_F(KeyTree, AFailingEnumerationIsReturnedAndKeepsTheKey) {
  Sz("SOFTWARE\\Tree\\A", "v", "1");
  machine_->faults.Add({"RegEnumKeyA", ERROR_GEN_FAILURE, 0, "SOFTWARE\\Tree\\A"});
  sim::ProcessScope scope(*machine_);
  HandleCheck handles(scope.process());
  EXPECT_EQ(ERROR_GEN_FAILURE, DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree"));
  EXPECT_TRUE(Exists("SOFTWARE\\Tree\\A"));
}

TEST_F(KeyTree, DeletesBelowAnOpenKeyByBareName) {
  Sz("SOFTWARE\\Tree\\A\\B", "v", "1");
  sim::ProcessScope scope(*machine_);
  HandleCheck handles(scope.process());
  HKEY tree = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree", 0, KEY_ALL_ACCESS, &tree));
  EXPECT_TRUE(DeleteRegistryKey(tree, "a"));
  RegCloseKey(tree);
  EXPECT_FALSE(Exists("SOFTWARE\\Tree\\A"));
}

class Grant : public MachineTest {};

const char kEnumPci[] = "SYSTEM\\CurrentControlSet\\Enum\\PCI";

TEST_F(Grant, OpensAProtectedTreeWhileHeldAndRestoresTheListAfter) {
  Sz(std::string(kEnumPci) + "\\VEN_6A3C&DEV_5E17\\0", "Class", "Ports");
  const sim::KeySecurity before = Security(kEnumPci);
  const sim::KeySecurity deviceBefore = Security(std::string(kEnumPci) + "\\VEN_6A3C&DEV_5E17");
  sim::ProcessScope scope(*machine_);
  HandleCheck handles(scope.process());
  const std::string instance = std::string(kEnumPci) + "\\VEN_6A3C&DEV_5E17\\0";
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_ACCESS_DENIED,
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, instance.c_str(), 0, KEY_ALL_ACCESS, &key));
  {
    KeyAccessGrant grant = GrantKeyAccess(kEnumPci);
    EXPECT_TRUE(grant.granted());
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, instance.c_str(), 0, KEY_ALL_ACCESS, &key));
    RegCloseKey(key);
    EXPECT_FALSE(Security(kEnumPci) == before);
    // A second grant, as the three Enum\PCI passes take, changes nothing more.
    const sim::KeySecurity once = Security(kEnumPci);
    KeyAccessGrant again = GrantKeyAccess(kEnumPci);
    EXPECT_TRUE(Security(kEnumPci) == once);
  }
  EXPECT_TRUE(Security(kEnumPci) == before);
  EXPECT_TRUE(Security(std::string(kEnumPci) + "\\VEN_6A3C&DEV_5E17") == deviceBefore);
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, instance.c_str(), 0, KEY_ALL_ACCESS, &key));
}

TEST_F(Grant, AMissingPathChangesNothing) {
  sim::ProcessScope scope(*machine_);
  HandleCheck handles(scope.process());
  KeyAccessGrant grant = GrantKeyAccess("SYSTEM\\CurrentControlSet\\Enum\\MF");
  EXPECT_FALSE(grant.granted());
}

TEST_F(Grant, AnyFailingStepLeavesTheListAsItWas) {
  for (const char* call : {"GetNamedSecurityInfoA", "SetEntriesInAclA", "SetNamedSecurityInfoA"}) {
    auto machine = engine_test::Edition("xp");
    const sim::KeySecurity before = machine->registry.FindFull(Full(kEnumPci))->security;
    machine->faults.Add({call, ERROR_ACCESS_DENIED, 1, ""});
    sim::ProcessScope scope(*machine);
    HandleCheck handles(scope.process());
    {
      KeyAccessGrant grant = GrantKeyAccess(kEnumPci);
      EXPECT_FALSE(grant.granted()) << call;
    }
    EXPECT_TRUE(machine->registry.FindFull(Full(kEnumPci))->security == before) << call;
  }
}

TEST_F(Grant, AMovedGrantIsRestoredOnceByItsNewOwner) {
  const sim::KeySecurity before = Security(kEnumPci);
  sim::ProcessScope scope(*machine_);
  HandleCheck handles(scope.process());
  KeyAccessGrant outer;
  {
    KeyAccessGrant inner = GrantKeyAccess(kEnumPci);
    outer = std::move(inner);
  }
  EXPECT_TRUE(outer.granted());
  EXPECT_FALSE(Security(kEnumPci) == before);
  outer.Restore();
  EXPECT_FALSE(outer.granted());
  EXPECT_TRUE(Security(kEnumPci) == before);
}

}  // namespace
