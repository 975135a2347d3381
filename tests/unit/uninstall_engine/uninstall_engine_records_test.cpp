// The product record pass: the customer word from the uninstaller's name, the card's
// IDs from the customer's subkey, and the driver files once no customer is left.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/uninstall_engine/uninstall_engine_test_support.h"
#include "uninstall_engine/uninstall_context.h"

namespace {

using engine_test::HandleCheck;
using engine_test::MachineTest;

const char kProduct[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io Controller";
const char kWowProduct[] =
    "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\PCIe Multi-Io Controller";

const char* const kDriverFiles[] = {
    "C:\\WINDOWS\\system32\\drivers\\Orrick.sys", "C:\\WINDOWS\\system32\\drivers\\Tamble.sys",
    "C:\\WINDOWS\\system32\\drivers\\Quellmast.sys", "C:\\WINDOWS\\system32\\Sabrelune.dll",
    "C:\\WINDOWS\\system32\\Pellacorte.dll"};

TEST(CustomerWord, FromTheUninstallersFileName) {
  struct Case {
    const char* fileName;
    const char* customer;
  };
  const Case cases[] = {
      {"KORVANE_Wendmarrow", "KORVANE"},
      {"ACME_Wendmarrow", "ACME"},
      // The installer names the copy customer + "_Wendmarrow"; the whole customer
      // comes back, underscores and capitals included.
      {"A_B_Wendmarrow", "A_B"},
      {"KORVANE_WENDMARROW", "KORVANE"},
      {"acme_wendmarrow", "acme"},
      {"ACME__Wendmarrow", "ACME_"},
      // Nothing before the suffix, or no suffix: the letters-of-Wendmarrow rule.
      {"_Wendmarrow", "KORVANE"},
      {"Wendmarrow", "KORVANE"},
      {"wendmarrow", "KORVANE"},
      {"Setup", "Setup"},
      {"ACME_Wendmarrow2", "Wendmarrow2"},
      {"ACME_Uninstall", "Uninstall"},
      {"ACME_Wen", "ACME"},
      {"", "KORVANE"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.customer, CustomerWordFromProgramName(c.fileName)) << c.fileName;
}

class ProductRecord : public MachineTest {
 protected:
  explicit ProductRecord(const char* edition = "xp") : MachineTest(edition) {}

  struct Result {
    bool mayGoOn = false;
    VidPidList ids;
    std::string customer;
    std::vector<std::string> messages;
  };

  Result Read(UninstallContext::Runner runner,
              const char* program = "C:\\WINDOWS\\system32\\KORVANE_Wendmarrow.exe",
              const char* installerCustomer = "KORVANE") {
    sim::ProcessOptions options;
    options.modulePath = program;
    sim::ProcessScope scope(*machine_, options);
    HandleCheck handles(scope.process());
    UninstallContext context;
    context.runner = runner;
    context.customerName = installerCustomer;
    Result result;
    result.mayGoOn = context.ReadProductRecord(&result.ids);
    result.customer = context.customerName;
    // What the sequence does with the answer once the devices are gone.
    if (context.driverFilesUnused) context.DeleteDriverFiles();
    for (const auto& box : scope.process().messageBoxes) result.messages.push_back(box.text);
    return result;
  }
  void WriteDrivers() {
    for (const char* path : kDriverFiles) machine_->files.WriteFile(path, "driver", 0x21);
  }
  int DriversLeft() const {
    int left = 0;
    for (const char* path : kDriverFiles) left += machine_->files.Find(path) != nullptr;
    return left;
  }
  // What the installer writes: the text, its NUL and three more bytes.
  void Id(const std::string& customer, int n, const std::string& text) {
    Value(std::string(kProduct) + "\\" + customer, "VID_PID_NAME" + std::to_string(n), REG_SZ,
          text + std::string(4, '\0'));
  }
};

TEST_F(ProductRecord, TakesTheNumberedIdsInOrderWithoutGaps) {
  Id("KORVANE", 1, "VEN_6A3C&DEV_5E17");
  Id("KORVANE", 3, "VEN_6A3C&DEV_5E19");
  Id("KORVANE", 5, "VEN_6A3C&DEV_5E1B");  // the last one read
  Id("KORVANE", 6, "VEN_6A3C&DEV_5E20");  // the installer may write a sixth; never read
  const Result r = Read(UninstallContext::Runner::kUninstaller);
  EXPECT_EQ((VidPidList{"VEN_6A3C&DEV_5E17", "VEN_6A3C&DEV_5E19", "VEN_6A3C&DEV_5E1B"}), r.ids);
  EXPECT_EQ("KORVANE", r.customer);
}

TEST_F(ProductRecord, ValuesOfFourBytesOrLessAreNotTaken) {
  const std::string key = std::string(kProduct) + "\\KORVANE";
  Value(key, "VID_PID_NAME1", REG_SZ, std::string("abc") + '\0');  // 4 bytes
  Value(key, "VID_PID_NAME2", REG_SZ, std::string(1, '\0'));
  Value(key, "VID_PID_NAME3", REG_BINARY, "abcde");            // the type is not looked at
  Value(key, "VID_PID_NAME4", REG_SZ, std::string(300, 'x'));  // too long for the buffer
  const Result r = Read(UninstallContext::Runner::kUninstaller);
  EXPECT_EQ((VidPidList{"abcde"}), r.ids);
}

TEST_F(ProductRecord, TheUninstallerFindsTheRecordOfTheNameItWasInstalledUnder) {
  Id("A_B", 1, "VEN_6A3C&DEV_5E17");
  Id("B", 1, "VEN_1111&DEV_2222");
  const Result r =
      Read(UninstallContext::Runner::kUninstaller, "C:\\WINDOWS\\system32\\A_B_Wendmarrow.exe");
  EXPECT_EQ("A_B", r.customer);
  EXPECT_EQ((VidPidList{"VEN_6A3C&DEV_5E17"}), r.ids);
}

TEST_F(ProductRecord, TheInstallerUsesItsOwnCustomerWord) {
  Id("ACME", 1, "VEN_6A3C&DEV_5E17");
  const Result r = Read(UninstallContext::Runner::kInstaller, "D:\\Kestrolin.exe", "ACME");
  EXPECT_EQ("ACME", r.customer);
  EXPECT_EQ((VidPidList{"VEN_6A3C&DEV_5E17"}), r.ids);
}

TEST_F(ProductRecord, DriverFilesGoOnlyWhenNoCustomerRecordIsLeft) {
  struct Case {
    const char* name;
    std::vector<std::string> customers;  // subkeys present
    bool productKey;
    UninstallContext::Runner runner;
    int driversLeft;
  };
  const auto uninstaller = UninstallContext::Runner::kUninstaller;
  const Case cases[] = {
      {"no product key", {}, false, uninstaller, 0},
      {"empty product key", {}, true, uninstaller, 0},
      {"another customer's record", {"ACME"}, true, uninstaller, 5},
      // Its own record goes later in the run: the last customer's run takes the drivers.
      {"only its own record", {"KORVANE"}, true, uninstaller, 0},
      {"its own and another's record", {"KORVANE", "ACME"}, true, uninstaller, 5},
      {"installer, only its own record",
       {"KORVANE"},
       true,
       UninstallContext::Runner::kInstaller,
       5},
      {"installer, no product key", {}, false, UninstallContext::Runner::kInstaller, 5},
  };
  for (const Case& c : cases) {
    machine_ = engine_test::Edition("xp");
    WriteDrivers();
    if (c.productKey) Key(kProduct);
    for (const auto& customer : c.customers) Id(customer, 1, "VEN_6A3C&DEV_5E17");
    Read(c.runner);
    EXPECT_EQ(c.driversLeft, DriversLeft()) << c.name;
  }
}

// The record is the only copy of the card's IDs: one that is there but cannot be read
// stops the run, which then keeps everything for a retry. Only its absence lets it go on.
TEST_F(ProductRecord, ARecordThatCannotBeOpenedStopsTheRun) {
  struct Case {
    uint32_t error;
    const char* subject;
    bool mayGoOn;
  };
  const Case cases[] = {
      {ERROR_ACCESS_DENIED, "PCIe Multi-Io Controller\\KORVANE", false},
      {ERROR_KEY_DELETED, "PCIe Multi-Io Controller\\KORVANE", false},
      {ERROR_FILE_NOT_FOUND, "PCIe Multi-Io Controller\\KORVANE", true},
  };
  for (const auto runner :
       {UninstallContext::Runner::kUninstaller, UninstallContext::Runner::kInstaller}) {
    for (const Case& c : cases) {
      machine_ = engine_test::Edition("xp");
      WriteDrivers();
      Id("KORVANE", 1, "VEN_6A3C&DEV_5E17");
      sim::FaultRule fault;
      fault.call = "RegOpenKeyExA";
      fault.error = c.error;
      fault.subject = c.subject;
      machine_->faults.Add(fault);
      const Result r = Read(runner);
      EXPECT_EQ(c.mayGoOn, r.mayGoOn) << c.error;
      EXPECT_TRUE(r.ids.empty()) << c.error;
      ASSERT_EQ(c.mayGoOn ? 0u : 1u, r.messages.size()) << c.error;
      if (!c.mayGoOn) {
        EXPECT_EQ("The installation record of KORVANE cannot be read (error " +
                      std::to_string(c.error) + "). Nothing was changed.",
                  r.messages[0]);
        EXPECT_EQ(5, DriversLeft());
      }
    }
  }
}

// The word names a folder under Program Files and a file in the system folder, both
// deleted: one that cannot be a file name stops the run before anything is read.
TEST_F(ProductRecord, AProgramNameThatGivesNoUsableCustomerWordStopsTheRun) {
  struct Case {
    const char* program;
    const char* word;
  };
  const Case cases[] = {
      {"C:\\WINDOWS\\system32\\._Wendmarrow.exe", "."},
      {"C:\\WINDOWS\\system32\\.._Wendmarrow.exe", ".."},
      {"C:\\WINDOWS\\system32\\ACME._Wendmarrow.exe", "ACME."},
      {"C:\\WINDOWS\\system32\\ACME _Wendmarrow.exe", "ACME "},
  };
  for (const Case& c : cases) {
    machine_ = engine_test::Edition("xp");
    WriteDrivers();
    const Result r = Read(UninstallContext::Runner::kUninstaller, c.program);
    EXPECT_FALSE(r.mayGoOn) << c.program;
    EXPECT_EQ(c.word, r.customer) << c.program;
    ASSERT_EQ(1u, r.messages.size()) << c.program;
    EXPECT_NE(std::string::npos, r.messages[0].find(std::string("\"") + c.word + "\""))
        << r.messages[0];
    EXPECT_EQ(5, DriversLeft()) << c.program;
  }
}

class ProductRecordOnXpX64 : public ProductRecord {
 protected:
  ProductRecordOnXpX64() : ProductRecord("xp-x64") {}
};

// A 32-bit uninstaller's System32 is SysWOW64; the drivers the device installer put in
// place are in the native System32 and must be the ones that go.
TEST_F(ProductRecordOnXpX64, DriverFilesAreDeletedFromTheNativeSystemFolder) {
  WriteDrivers();
  machine_->files.WriteFile("C:\\WINDOWS\\SysWOW64\\drivers\\Orrick.sys", "other", 0x20);
  Read(UninstallContext::Runner::kUninstaller);
  EXPECT_EQ(0, DriversLeft());
  EXPECT_TRUE(machine_->files.Find("C:\\WINDOWS\\SysWOW64\\drivers\\Orrick.sys"));
}

TEST_F(ProductRecordOnXpX64, ReadsTheRecordTheThirtyTwoBitInstallerWrote) {
  Value(std::string(kWowProduct) + "\\KORVANE", "VID_PID_NAME1", REG_SZ,
        std::string("VEN_6A3C&DEV_5E17") + std::string(4, '\0'));
  WriteDrivers();
  const Result r = Read(UninstallContext::Runner::kUninstaller);
  EXPECT_EQ((VidPidList{"VEN_6A3C&DEV_5E17"}), r.ids);
  EXPECT_EQ(0, DriversLeft());  // the only customer's run
}

}  // namespace
