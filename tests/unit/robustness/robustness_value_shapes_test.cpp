// Every registry value the uninstall engine and the installer read, planted in turn in
// every wrong shape: another type, no data, three bytes, the last byte cut, no
// terminator, exactly the reader's capacity, one byte beyond it, and 64 KiB. Each run
// ends with its defined result and the same progress as the run on the intact machine,
// and (run in the sanitizer build) reads no byte beyond what it was given. A value the
// reader can still use leaves the run exactly as on the intact machine; one it cannot
// use keeps what that value identified and does no harm the intact run does not do.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "installer/install_context.h"
#include "platform/sim/machine/machine.h"
#include "platform/win32.h"
#include "tests/unit/installer/installer_scenario.h"
#include "tests/unit/robustness/robustness_card_machine.h"
#include "tests/unit/robustness/robustness_run.h"
#include "tests/unit/uninstall_engine/uninstall_engine_test_support.h"

namespace {

using robustness::Lines;
using robustness::Outcome;

enum class Shape {
  kDword,         // REG_DWORD 3
  kRetyped,       // the right bytes under another type (REG_BINARY; REG_SZ for binary data)
  kEmpty,         // the right type, no data
  kThreeBytes,    // the first three bytes
  kLastByteCut,   // one byte short
  kUnterminated,  // the bytes up to the first NUL, without it
  kFull,          // padded with NULs to exactly the reader's capacity
  kOverfull,      // padded to one byte beyond it
  kHuge,          // 64 KiB of 'A'
};

const Shape kAllShapes[] = {Shape::kDword,      Shape::kRetyped,     Shape::kEmpty,
                            Shape::kThreeBytes, Shape::kLastByteCut, Shape::kUnterminated,
                            Shape::kFull,       Shape::kOverfull,    Shape::kHuge};

const char* ShapeName(Shape s) {
  switch (s) {
    case Shape::kDword:
      return "a DWORD";
    case Shape::kRetyped:
      return "another type";
    case Shape::kEmpty:
      return "no data";
    case Shape::kThreeBytes:
      return "three bytes";
    case Shape::kLastByteCut:
      return "the last byte cut";
    case Shape::kUnterminated:
      return "no terminator";
    case Shape::kFull:
      return "exactly the capacity";
    case Shape::kOverfull:
      return "one byte beyond the capacity";
    case Shape::kHuge:
      return "64 KiB";
  }
  return "?";
}

// Text as the installer writes it (the text, a NUL and three more) and as Windows does.
std::string Plus4(const std::string& text) { return text + std::string(4, '\0'); }
std::string Sz(const std::string& text) { return text + '\0'; }
std::string Multi(const std::string& first, const std::string& second = "") {
  return first + '\0' + (second.empty() ? "" : second + '\0') + '\0';
}
std::string Bits(std::initializer_list<int> ports) {
  std::string bytes(32, '\0');
  for (int n : ports)
    bytes[(n - 1) >> 3] = static_cast<char>(bytes[(n - 1) >> 3] | (1 << ((n - 1) & 7)));
  return bytes;
}

struct ReadValue {
  const char* label;
  const char* edition;  // "xp-x64": the engine's own registry passes; "xp": the device installer
  std::string key;      // below HKLM
  const char* name;
  uint32_t type;
  std::string data;  // what the fixture holds
  size_t capacity;   // the reader's buffer
  std::set<Shape> usable;
  Lines kept;  // snapshot paths that stay when the value cannot be used
};

// What a reader of text values that needs more than four bytes can still use.
const std::set<Shape> kTextUsable = {Shape::kRetyped, Shape::kLastByteCut, Shape::kUnterminated,
                                     Shape::kFull};

const std::string kCcs = "SYSTEM\\CurrentControlSet";
const std::string kCard = "VEN_6A3C&DEV_5E17&SUBSYS_00011000&REV_01";
const std::string kInstance = "4&2a7b1c3&0&00E4";
const std::string kPciCard = kCcs + "\\Enum\\PCI\\" + kCard + "\\" + kInstance;
const std::string kComPort = kCcs + "\\Enum\\MF\\PCI#" + kCard + "#CHILD0001\\" + kInstance;
const std::string kWow = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion";
const std::string kNative = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const std::string kPortsClass = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
const std::string kMfClass = "{4d36e971-e325-11ce-bfc1-08002be10318}";

std::string Key(const std::string& below) { return "key HKLM\\" + below; }
std::string Value(const std::string& below, const std::string& name) {
  return "value HKLM\\" + below + " : " + name;
}

const std::vector<ReadValue>& ReadValues() {
  static const std::vector<ReadValue> values = {
      {"the product record's first ID",
       "xp-x64",
       kWow + "\\PCIe Multi-Io Controller\\KORVANE",
       "VID_PID_NAME1",
       REG_SZ,
       Plus4("VEN_6A3C&DEV_5E17"),
       260,
       kTextUsable,
       {Key(kCcs + "\\Enum\\PCI\\" + kCard), Key(kCcs + "\\Control\\Class\\" + kMfClass + "\\0000"),
        Key(kComPort)}},
      {"the product record's first ID",
       "xp",
       kNative + "\\PCIe Multi-Io Controller\\KORVANE",
       "VID_PID_NAME1",
       REG_SZ,
       Plus4("VEN_6A3C&DEV_5E17"),
       260,
       kTextUsable,
       {Key(kPciCard), Key(kComPort)}},
      {"a driver key's matching ID",
       "xp-x64",
       kCcs + "\\Control\\Class\\" + kMfClass + "\\0000",
       "MatchingDeviceId",
       REG_SZ,
       Sz("pci\\ven_6a3c&dev_5e17&subsys_00011000"),
       260,
       kTextUsable,
       {Key(kCcs + "\\Control\\Class\\" + kMfClass + "\\0000")}},
      {"a port function's hardware ID",
       "xp-x64",
       kComPort,
       "HardwareID",
       REG_MULTI_SZ,
       Multi("ZELVORAHW\\PCIEX_COM"),
       260,
       kTextUsable,
       {Key(kComPort), Value("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports", "COM10:")}},
      {"a port function's driver",
       "xp-x64",
       kComPort,
       "Driver",
       REG_SZ,
       Sz(kPortsClass + "\\0004"),
       260,
       kTextUsable,
       {Key(kCcs + "\\Control\\Class\\" + kPortsClass + "\\0004")}},
      {"a port's name",
       "xp-x64",
       kComPort + "\\Device Parameters",
       "PortName",
       REG_SZ,
       Sz("COM10"),
       260,
       kTextUsable,
       {Value("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports", "COM10:")}},
      // The card's PCI function is no port, whatever its class and service say; its
      // child's hardware ID only hastens a deletion a later pass makes anyway.
      {"a PCI function's class",
       "xp-x64",
       kPciCard,
       "Class",
       REG_SZ,
       Sz("MultiFunction"),
       260,
       kTextUsable,
       {}},
      {"a PCI function's service",
       "xp-x64",
       kPciCard,
       "Service",
       REG_SZ,
       Sz("mf"),
       260,
       kTextUsable,
       {}},
      {"a PCI function's child hardware ID",
       "xp-x64",
       kPciCard + "\\Device Parameters\\Child0000",
       "HardwareID",
       REG_MULTI_SZ,
       Multi("ZELVORAHW\\PCIEX_COM"),
       260,
       kTextUsable,
       {}},
      {"the uninstall command",
       "xp-x64",
       kWow + "\\Uninstall\\Zelvora",
       "UninstallString",
       REG_SZ,
       Plus4("C:\\WINDOWS\\System32\\KORVANE_Wendmarrow.exe"),
       260,
       kTextUsable,
       {Key(kWow + "\\Uninstall\\Zelvora")}},
      {"the uninstall command",
       "xp",
       kNative + "\\Uninstall\\Zelvora",
       "UninstallString",
       REG_SZ,
       Plus4("C:\\WINDOWS\\System32\\KORVANE_Wendmarrow.exe"),
       260,
       kTextUsable,
       {Key(kNative + "\\Uninstall\\Zelvora")}},
      // Any part of the database that holds the card's two numbers serves; a value of
      // another type, an empty one or a longer one than the 256 numbers is left alone.
      {"the COM name database",
       "xp-x64",
       kCcs + "\\Control\\COM Name Arbiter",
       "ComDB",
       REG_BINARY,
       Bits({1, 2, 3, 5, 6, 10}),
       32,
       {Shape::kThreeBytes, Shape::kLastByteCut, Shape::kUnterminated, Shape::kFull},
       {Value(kCcs + "\\Control\\COM Name Arbiter", "ComDB")}},
      // Its merge copy protects no number of the card: whatever it holds, nothing changes.
      {"the COM name database's merge copy",
       "xp-x64",
       kCcs + "\\Control\\COM Name Arbiter",
       "ComDB Merge",
       REG_BINARY,
       Bits({1, 6}),
       32,
       {kAllShapes, kAllShapes + sizeof(kAllShapes) / sizeof(kAllShapes[0])},
       {}},
      // Through the device installer: a device whose hardware ID cannot be read whole
      // into its 512 bytes is not the card's.
      {"the card's hardware ID",
       "xp",
       kPciCard,
       "HardwareID",
       REG_MULTI_SZ,
       Multi("PCI\\" + kCard, "PCI\\VEN_6A3C&DEV_5E17&SUBSYS_00011000"),
       512,
       kTextUsable,
       {Key(kPciCard)}},
      {"a port function's hardware ID",
       "xp",
       kComPort,
       "HardwareID",
       REG_MULTI_SZ,
       Multi("ZELVORAHW\\PCIEX_COM"),
       512,
       kTextUsable,
       {Key(kComPort)}},
  };
  return values;
}

sim::RegValue Shaped(const ReadValue& v, Shape shape) {
  sim::RegValue out{v.type, v.data};
  switch (shape) {
    case Shape::kDword:
      out = {REG_DWORD, std::string("\x03\0\0\0", 4)};
      break;
    case Shape::kRetyped:
      out.type = v.type == REG_BINARY ? REG_SZ : REG_BINARY;
      break;
    case Shape::kEmpty:
      out.data.clear();
      break;
    case Shape::kThreeBytes:
      out.data.resize(3);
      break;
    case Shape::kLastByteCut:
      out.data.pop_back();
      break;
    case Shape::kUnterminated:
      out.data.resize(out.data.find('\0'));
      break;
    case Shape::kFull:
      out.data.resize(v.capacity, '\0');
      break;
    case Shape::kOverfull:
      out.data.resize(v.capacity + 1, '\0');
      break;
    case Shape::kHuge:
      out.data.assign(65536, 'A');
      break;
  }
  return out;
}

Outcome Uninstall(const char* edition, const ReadValue* planted, Shape shape) {
  auto machine = card_installed::CardMachine(edition);
  if (planted) {
    auto key = machine->registry.FindFull("HKEY_LOCAL_MACHINE\\" + planted->key);
    EXPECT_TRUE(key && key->values.Find(planted->name)) << planted->key << " : " << planted->name;
    if (key) key->values.Put(planted->name, Shaped(*planted, shape));
  }
  return robustness::RunOn(*machine, robustness::UninstallerProcess(), {}, [](Outcome* o) {
    engine_test::ProgressRecorder progress;
    const DWORD result = robustness::UninstallAsTheUninstaller(&progress);
    o->progress = progress.events;
    return static_cast<int>(result);
  });
}

bool Touches(const Lines& changes, const std::string& path) {
  for (const auto& line : changes) {
    if (line == "- " + path || line.rfind("~ " + path + " =", 0) == 0) return true;
  }
  return false;
}

class ValueShapes : public ::testing::TestWithParam<ReadValue> {};

TEST_P(ValueShapes, EveryShapeEndsTheRunAsDefined) {
  const ReadValue& v = GetParam();
  const Outcome intact = Uninstall(v.edition, nullptr, Shape::kDword);
  ASSERT_EQ(intact.result, 0);
  for (const auto& path : v.kept) ASSERT_TRUE(Touches(intact.changes, path)) << path;
  for (Shape shape : kAllShapes) {
    SCOPED_TRACE(std::string(v.label) + " as " + ShapeName(shape));
    const Outcome o = Uninstall(v.edition, &v, shape);
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.progress, intact.progress);
    EXPECT_EQ(o.messages, intact.messages);
    EXPECT_EQ(o.openHandles, 0u);
    if (v.usable.count(shape)) {
      EXPECT_EQ(o.changes, intact.changes);
      EXPECT_EQ(o.comDb, intact.comDb);
      continue;
    }
    EXPECT_EQ(robustness::HarmBeyond(intact, o), Lines{});
    for (const auto& path : v.kept) EXPECT_FALSE(Touches(o.changes, path)) << path;
  }
}

INSTANTIATE_TEST_SUITE_P(ReadByTheUninstaller, ValueShapes, ::testing::ValuesIn(ReadValues()),
                         [](const ::testing::TestParamInfo<ReadValue>& info) {
                           std::string name = std::to_string(info.index) + "_" + info.param.name;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

// The installer reads one value itself: the product type, for the Windows description
// line. Whatever its shape, the installation completes.
TEST(ValueShapes, ProductTypeInEveryShapeLetsTheInstallComplete) {
  const ReadValue productType = {"the product type",
                                 "xp",
                                 kCcs + "\\Control\\ProductOptions",
                                 "ProductType",
                                 REG_SZ,
                                 Sz("WinNT"),
                                 80,
                                 {},
                                 {}};
  for (Shape shape : kAllShapes) {
    SCOPED_TRACE(ShapeName(shape));
    auto machine = installer_test::Edition("xp");
    installer_test::Package package;
    package.WriteTo(*machine);
    auto key = machine->registry.FindFull("HKEY_LOCAL_MACHINE\\" + productType.key);
    ASSERT_TRUE(key && key->values.Find(productType.name));
    key->values.Put(productType.name, Shaped(productType, shape));
    const Outcome o = robustness::RunOn(*machine, package.Options(), {}, [](Outcome*) {
      InstallContext context;
      return robustness::InstallAsTheInstaller(&context);
    });
    EXPECT_EQ(o.result, kInstallCompleted);
    EXPECT_EQ(o.openHandles, 0u);
  }
}

}  // namespace
