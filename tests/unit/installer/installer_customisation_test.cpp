// ReadCustomisation: the cut rule over the ports INF's text, the defaults, the
// messages, and the refusal of names that would lead outside the product's places.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer/install_context.h"
#include "tests/unit/installer/installer_scenario.h"

namespace {

using installer_test::Edition;
using installer_test::Package;
using installer_test::PortsInf;

const char kCustomer[] = "KORVANE";
const char kUninstaller[] = "KORVANE_Wendmarrow";
const char kProvider[] = "Korvane Semiconductor Technology Ltd";
const char kDisplay[] = "Korvane PCI-Express Multi-IO Controller";

struct Read {
  bool result = false;
  InstallContext context;
  std::vector<std::string> messages;
  bool machineUnchanged = false;
};

// Runs ReadCustomisation on an XP machine whose package folder holds `inf`.
Read ReadFrom(const std::string& inf, const char* edition = "xp") {
  Read r;
  auto machine = Edition(edition);
  Package package;
  package.portsInf = inf;
  package.WriteTo(*machine);
  const auto before = installer_test::Take(*machine);
  sim::ProcessScope scope(*machine, package.Options());
  installer_test::Detect(&r.context);
  r.result = r.context.ReadCustomisation();
  r.messages = installer_test::Messages(scope.process());
  r.machineUnchanged = installer_test::Changes(before, installer_test::Take(*machine)).empty();
  return r;
}

struct CutCase {
  const char* what;
  std::string inf;
  std::string customer, uninstaller, provider, display;
};

TEST(ReadCustomisation, CutsEachValueBetweenItsKeyAndTheNext) {
  const std::string padding(19990, ';');
  // "DiskName=" ends exactly at byte 20000 in the first file and one byte later in the
  // second, where it is no longer seen.
  const std::string keys =
      "CustomerName=\"AB\"\r\nProviderName=\"P\"\r\nUninstallName=\"U\"\r\nDiskName=";
  const std::string fits = std::string(20000 - keys.size(), ';') + keys;
  const std::string cut = ";" + fits;
  const std::vector<CutCase> cases = {
      {"well-formed", PortsInf("ACME", "Acme Ltd", "Acme IO"), "ACME", "ACME_Wendmarrow",
       "Acme Ltd", "Acme IO"},
      {"no keys", "[Version]\r\nClass=Ports\r\n", kCustomer, kUninstaller, kProvider, kDisplay},
      {"provider before customer",
       "ProviderName=\"P\"\r\nCustomerName=\"C\"\r\nUninstallName=\"U\"\r\nDiskName=\"D\"\r\n",
       kCustomer, kUninstaller, "P\r\nCustomerName=C", "U"},
      {"empty customer", PortsInf("", "Acme Ltd", "Acme IO"), kCustomer, kUninstaller, "Acme Ltd",
       "Acme IO"},
      {"lower-case keys",
       "customername=\"c\"\r\nprovidername=\"p\"\r\nuninstallname=\"u\"\r\ndiskname=\"d\"\r\n",
       kCustomer, kUninstaller, kProvider, kDisplay},
      {"first occurrence inside a comment",
       "; UninstallName=\"Legacy IO\" was used before\r\n" +
           PortsInf("ACME", "Acme Ltd", "Acme IO"),
       "ACME", "ACME_Wendmarrow", kProvider,
       "Legacy IO was used before\r\n[Version]\r\nSignature=$Windows NT$\r\nClass=Ports\r\n\r\n"
       "[Strings]\r\nCustomerName=ACME\r\nProviderName=Acme Ltd\r\nUninstallName=Acme IO"},
      {"customer key missing, its end key present",
       "; 34567890123KEEP\r\nProviderName=\"P\"\r\nUninstallName=\"U\"\r\nDiskName=\"D\"\r\n",
       "KEEP", "KEEP_Wendmarrow", "P", "U"},
      {"inner blanks kept", PortsInf("  ACME  Corp ", "Acme\t Ltd", " Acme  IO "), "ACME  Corp",
       "ACME  Corp_Wendmarrow", "Acme\t Ltd", "Acme  IO"},
      {"keys past 20000 bytes", padding + PortsInf("ACME", "Acme Ltd", "Acme IO"), kCustomer,
       kUninstaller, kProvider, kDisplay},
      {"end key ending at byte 20000", fits, "AB", "AB_Wendmarrow", "P", "U"},
      {"end key ending at byte 20001", cut, "AB", "AB_Wendmarrow", "P", kDisplay},
      {"text ends at a zero byte",
       std::string("CustomerName=\"A\"\r\n") + '\0' + "ProviderName=\"P\"\r\n", kCustomer,
       kUninstaller, kProvider, kDisplay},
  };
  ASSERT_EQ(fits.size(), 20000u);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Read r = ReadFrom(c.inf);
    EXPECT_TRUE(r.result);
    EXPECT_EQ(r.context.customerName, c.customer);
    EXPECT_EQ(r.context.uninstallerName, c.uninstaller);
    EXPECT_EQ(r.context.providerName, c.provider);
    EXPECT_EQ(r.context.displayName, c.display);
    EXPECT_TRUE(r.messages.empty());
    EXPECT_TRUE(r.machineUnchanged);
  }
}

// An INF that cannot be opened or read gives no values at all: empty text would let
// every default apply and install another customer's product.
TEST(ReadCustomisation, AnInfThatCannotBeOpenedOrReadShowsTheMessageAndSetsNothing) {
  struct Case {
    const char* message;
    bool missing;
    const char* failingCall;
  };
  for (const Case& c :
       {Case{"CreateFile failed", true, nullptr}, Case{"ReadFile failed", false, "ReadFile"}}) {
    auto machine = Edition("xp");
    Package package;
    package.WriteTo(*machine);
    if (c.missing) sim::FileSystem::Detach(machine->files.Find("C:\\Pkg\\Sabrelune.inf"));
    if (c.failingCall)
      machine->faults.Add(installer_test::Fault(c.failingCall, ERROR_GEN_FAILURE, "Sabrelune.inf"));
    const auto before = installer_test::Take(*machine);
    sim::ProcessScope scope(*machine, package.Options());
    InstallContext context;
    installer_test::Detect(&context);
    EXPECT_FALSE(context.ReadCustomisation()) << c.message;
    EXPECT_EQ(installer_test::Messages(scope.process()), std::vector<std::string>{c.message});
    EXPECT_EQ(scope.process().messageBoxes[0].caption, "Kestrolin");
    EXPECT_EQ(scope.process().messageBoxes[0].flags, static_cast<uint32_t>(MB_OK));
    EXPECT_FALSE(scope.process().messageBoxes[0].hasOwner);
    EXPECT_TRUE(context.customerName.empty() && context.uninstallerName.empty() &&
                context.providerName.empty() && context.displayName.empty());
    EXPECT_TRUE(installer_test::Changes(before, installer_test::Take(*machine)).empty());
  }
}

TEST(ReadCustomisation, WithoutCurrentFolderReadsTheFileNameAlone) {
  auto machine = Edition("xp");
  Package package;
  package.WriteTo(*machine);
  // "\Sabrelune.inf" alone names the root of the current drive.
  machine->files.WriteFile("C:\\Sabrelune.inf", PortsInf("ROOT"));
  machine->faults.Add(installer_test::Fault("GetCurrentDirectoryA", ERROR_NOT_ENOUGH_MEMORY));
  sim::ProcessScope scope(*machine, package.Options());
  InstallContext context;
  installer_test::Detect(&context);
  EXPECT_TRUE(context.ReadCustomisation());
  EXPECT_EQ(context.customerName, "ROOT");
  EXPECT_EQ(installer_test::Messages(scope.process()),
            std::vector<std::string>{"GetCurrentDirectory failed!"});
}

TEST(ReadCustomisation, PathBeyondMaxPathIsNotOpenedCutShort) {
  auto machine = Edition("xp");
  // 246 characters of folder: with "\Sabrelune.inf" the path needs 261 with its terminator.
  const std::string deep = "C:\\" + std::string(120, 'd') + "\\" + std::string(122, 'e');
  ASSERT_EQ(deep.size(), 246u);
  machine->files.WriteFile(deep + "\\Sabrelune.inf", PortsInf("DEEP"));
  // A file at the path cut to 259 characters must not be read instead.
  machine->files.WriteFile((deep + "\\Sabrelune.inf").substr(0, 259), PortsInf("CUT"));
  sim::ProcessOptions options;
  options.modulePath = "C:\\Kestrolin.exe";
  options.currentDirectory = deep;
  sim::ProcessScope scope(*machine, options);
  InstallContext context;
  installer_test::Detect(&context);
  EXPECT_FALSE(context.ReadCustomisation());
  EXPECT_EQ(installer_test::Messages(scope.process()),
            std::vector<std::string>{"CreateFile failed"});
  EXPECT_TRUE(context.customerName.empty());
}

struct NameCase {
  std::string customer;
  std::string provider;
  const char* refusedKey;  // null when the values are accepted
};

TEST(ReadCustomisation, RefusesNamesThatLeaveTheirPlace) {
  const std::vector<NameCase> cases = {
      {"..\\..", "P", "CustomerName="},
      {"x\\..\\..\\WINDOWS", "P", "CustomerName="},
      {"a/b", "P", "CustomerName="},
      {".", "P", "CustomerName="},
      {"..", "P", "CustomerName="},
      {"name.", "P", "CustomerName="},
      {"C:x", "P", "CustomerName="},
      {"a*b", "P", "CustomerName="},
      {"a?b", "P", "CustomerName="},
      {"a<b>", "P", "CustomerName="},
      {"a|b", "P", "CustomerName="},
      {"a\x01z", "P", "CustomerName="},
      // A device, not a folder, in any letter case and with an extension.
      {"CON", "P", "CustomerName="},
      {"lpt1.txt", "P", "CustomerName="},
      // On XP x86 "C:\Program Files\<n>\X86\<n>_Wendmarrow.exe" needs 2n + 37 characters.
      {std::string(111, 'c'), "P", nullptr},
      {std::string(112, 'c'), "P", "CustomerName="},
      {"ACME", "Vendor\\..\\..\\Run", "ProviderName="},
      // "SOFTWARE\...\Uninstall\" is 52 characters.
      {"ACME", std::string(207, 'p'), nullptr},
      {"ACME", std::string(208, 'p'), "ProviderName="},
      // Odd but harmless: kept.
      {"ACME Corp", "Vendor/Name ..", nullptr},
      {"A.B", "..", nullptr},
      {"...x", ".", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.customer + " / " + c.provider);
    const Read r = ReadFrom(PortsInf(c.customer, c.provider, "D"));
    EXPECT_TRUE(r.machineUnchanged);
    if (!c.refusedKey) {
      EXPECT_TRUE(r.result);
      EXPECT_EQ(r.context.customerName, c.customer);
      EXPECT_EQ(r.context.providerName, c.provider);
      EXPECT_TRUE(r.messages.empty());
      continue;
    }
    EXPECT_FALSE(r.result);
    EXPECT_TRUE(r.context.customerName.empty() && r.context.providerName.empty());
    ASSERT_EQ(r.messages.size(), 1u);
    const std::string value = c.refusedKey[0] == 'C' ? c.customer : c.provider;
    EXPECT_NE(r.messages[0].find(c.refusedKey), std::string::npos) << r.messages[0];
    // The value, a long one by its start and length, and why it cannot be used.
    const std::string shown = value.size() <= 80
                                  ? "\"" + value + "\""
                                  : "\"" + value.substr(0, 60) + "...\" (" +
                                        std::to_string(value.size()) + " characters)";
    EXPECT_NE(r.messages[0].find(shown), std::string::npos) << r.messages[0];
    const std::string why = value.size() > 80                       ? "longer than MAX_PATH"
                            : value == "CON" || value == "lpt1.txt" ? "names a device"
                                                                    : "it ";
    EXPECT_NE(r.messages[0].find(why), std::string::npos) << r.messages[0];
  }
}

TEST(ReadCustomisation, LongestCustomerNameDependsOnThePlatformFolder) {
  // "\AMD64" is two characters longer than "\X86": 110 fits on XP x64, 111 does not.
  EXPECT_TRUE(ReadFrom(PortsInf(std::string(110, 'c')), "xp-x64").result);
  EXPECT_FALSE(ReadFrom(PortsInf(std::string(111, 'c')), "xp-x64").result);
}

}  // namespace
