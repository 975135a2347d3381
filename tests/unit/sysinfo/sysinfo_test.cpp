// Windows version detection and description on simulated machines of every edition,
// and on version records no template has (built by changing a template's identity).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/win32.h"
#include "sysinfo/system_folders.h"
#include "sysinfo/windows_version.h"

namespace {

std::unique_ptr<sim::Machine> Edition(const char* name) {
  std::string error;
  auto machine = sim::MachineFromEdition(name, &error);
  EXPECT_TRUE(machine) << error;
  return machine;
}

// A template machine with its identity changed, for records no edition has.
std::unique_ptr<sim::Machine> Variant(const char* base,
                                      const std::function<void(sim::OsIdentity&)>& change) {
  auto machine = Edition(base);
  if (machine) change(machine->os);
  return machine;
}

sim::FaultRule Fault(const char* call, uint32_t error, int nth = 0, const char* subject = "") {
  sim::FaultRule rule;
  rule.call = call;
  rule.error = error;
  rule.nth = nth;
  rule.subject = subject;
  return rule;
}

// A temporary file standing in for standard output.
class CapturedOutput {
 public:
  CapturedOutput() : file_(std::tmpfile(), &std::fclose) {}
  std::FILE* file() const { return file_.get(); }
  std::string Text() const {
    std::fflush(file_.get());
    std::rewind(file_.get());
    std::string text;
    char chunk[256];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file_.get())) > 0) text.append(chunk, n);
    return text;
  }

 private:
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
};

struct Outcome {
  int result = -1;
  std::string text;
  int isNt5x = -1, isNt60 = -1, isWin98OrMe = -1, architecture = -1;
};

Outcome Capture(WindowsVersion& v, int result, const CapturedOutput& out) {
  Outcome o;
  o.result = result;
  o.text = out.Text();
  o.isNt5x = v.isNt5x;
  o.isNt60 = v.isNt60;
  o.isWin98OrMe = v.isWin98OrMe;
  o.architecture = v.architecture;
  return o;
}

// Runs DescribeWindowsVersion in a process on the machine, starting from `initial`'s fields.
Outcome Describe(sim::Machine& machine, const WindowsVersion& initial = WindowsVersion()) {
  sim::ProcessScope scope(machine);
  WindowsVersion v = initial;
  CapturedOutput out;
  v.descriptionOutput = out.file();
  const size_t handlesBefore = scope.process().handles.Count();
  const int result = v.DescribeWindowsVersion();
  EXPECT_EQ(scope.process().handles.Count(), handlesBefore) << "a registry key was left open";
  return Capture(v, result, out);
}

Outcome Detect(sim::Machine& machine, const WindowsVersion& initial = WindowsVersion()) {
  sim::ProcessScope scope(machine);
  WindowsVersion v = initial;
  CapturedOutput out;
  v.descriptionOutput = out.file();
  return Capture(v, v.DetectWindowsVersion(), out);
}

int Native64(sim::Machine& machine, bool is64BitProcess = false) {
  sim::ProcessOptions options;
  options.is64BitProcess = is64BitProcess;
  sim::ProcessScope scope(machine, options);
  return IsNative64BitWindows();
}

// ---- Every edition template -----------------------------------------------------------------

struct EditionCase {
  const char* edition;
  const char* description;
  int isNt5x, isNt60, isWin98OrMe;
  int architecture;  // after DescribeWindowsVersion
  int native64;
};

// clang-format off
const EditionCase kEditionCases[] = {
  {"2000", "Microsoft Windows 2000 Professional Service Pack 4 (Build 2195)\n", 1, 0, 0, 1, 0},
  {"xp", "Microsoft Windows XP Professional Service Pack 3 (Build 2600)\n", 1, 0, 0, 1, 0},
  {"xp-x64", "Microsoft Windows XP Professional x64 Edition Service Pack 2 (Build 3790)\n",
   1, 0, 0, 2, 1},
  {"2003", "Microsoft Windows Server 2003, Standard Edition Service Pack 2 (Build 3790)\n",
   1, 0, 0, 1, 0},
  {"2003-enterprise",
   "Microsoft Windows Server 2003, Enterprise Edition Service Pack 2 (Build 3790)\n",
   1, 0, 0, 1, 0},
  {"2003-datacenter",
   "Microsoft Windows Server 2003, Datacenter Edition Service Pack 2 (Build 3790)\n",
   1, 0, 0, 1, 0},
  {"2003-web", "Microsoft Windows Server 2003, Web Edition Service Pack 2 (Build 3790)\n",
   1, 0, 0, 1, 0},
  {"2003-x64",
   "Microsoft Windows Server 2003, Standard x64 Edition Service Pack 2 (Build 3790)\n",
   1, 0, 0, 2, 1},
  {"2003-x64-enterprise",
   "Microsoft Windows Server 2003, Enterprise x64 Edition Service Pack 2 (Build 3790)\n",
   1, 0, 0, 2, 1},
  {"2003-x64-datacenter",
   "Microsoft Windows Server 2003, Datacenter x64 Edition Service Pack 2 (Build 3790)\n",
   1, 0, 0, 2, 1},
  {"2003-ia64", "Microsoft Windows Server 2003, Service Pack 2 (Build 3790)\n", 1, 0, 0, 3, 1},
  {"2003-ia64-enterprise",
   "Microsoft Windows Server 2003, Enterprise Edition for Itanium-based Systems"
   "Service Pack 2 (Build 3790)\n", 1, 0, 0, 3, 1},
  {"2003-ia64-datacenter",
   "Microsoft Windows Server 2003, Datacenter Edition for Itanium-based Systems"
   "Service Pack 2 (Build 3790)\n", 1, 0, 0, 3, 1},
  {"vista", "Windows Vista Professional Service Pack 2 (Build 6002)\n", 0, 1, 0, 1, 0},
  {"vista-x64", "Windows Vista Service Pack 2 (Build 6002)\n", 0, 1, 0, 2, 1},
  {"vista-server", "Windows Server \"Longhorn\" Server 4.0 Service Pack 2 (Build 6002)\n",
   0, 1, 0, 1, 0},
  // A 32-bit program on 64-bit Windows 7: a version this code predates.
  {"7-x64", "Service Pack 1 (Build 7601)\n", 0, 0, 0, 1, 1},
  {"nt4-sp6", "Microsoft Windows NT Workstation 4.0 Service Pack 6 (Build 1381)\n",
   0, 0, 0, 1, 0},
  {"nt4-sp6a", "Microsoft Windows NT Workstation 4.0 Service Pack 6a (Build 1381)\n",
   0, 0, 0, 1, 0},
  {"95-osr2", "Microsoft Windows 95 OSR2 ", 0, 0, 0, 1, 0},
  {"98-se", "Microsoft Windows 98 SE ", 0, 0, 1, 1, 0},
  {"me", "Microsoft Windows Millennium Edition\n", 0, 0, 1, 1, 0},
};
// clang-format on

TEST(SysinfoEditions, TableCoversEveryEdition) {
  std::set<std::string> covered;
  for (const auto& c : kEditionCases) covered.insert(c.edition);
  for (const auto& name : sim::EditionNames()) {
    EXPECT_EQ(covered.count(name), 1u) << "no expectation for edition " << name;
  }
  EXPECT_EQ(covered.size(), sim::EditionNames().size());
}

// Failure reports name the case, not its bytes.
void PrintTo(const EditionCase& c, std::ostream* os) { *os << c.edition; }

class SysinfoEdition : public ::testing::TestWithParam<EditionCase> {};

TEST_P(SysinfoEdition, DescribesDetectsAndReportsTheProcessor) {
  const EditionCase& c = GetParam();
  auto machine = Edition(c.edition);
  ASSERT_TRUE(machine);

  const Outcome described = Describe(*machine);
  EXPECT_EQ(described.result, 1);
  EXPECT_EQ(described.text, c.description);
  EXPECT_EQ(described.architecture, c.architecture);
  // Describing sets no family flag.
  EXPECT_EQ(described.isNt5x, 0);
  EXPECT_EQ(described.isNt60, 0);
  EXPECT_EQ(described.isWin98OrMe, 0);

  const Outcome detected = Detect(*machine);
  EXPECT_EQ(detected.result, 1);
  EXPECT_EQ(detected.isNt5x, c.isNt5x);
  EXPECT_EQ(detected.isNt60, c.isNt60);
  EXPECT_EQ(detected.isWin98OrMe, c.isWin98OrMe);
  EXPECT_EQ(detected.architecture, 1) << "detection never changes the architecture";
  EXPECT_EQ(detected.text, "") << "detection writes nothing";

  EXPECT_EQ(Native64(*machine), c.native64);
}

INSTANTIATE_TEST_SUITE_P(AllEditions, SysinfoEdition, ::testing::ValuesIn(kEditionCases),
                         [](const ::testing::TestParamInfo<EditionCase>& info) {
                           std::string name = std::string("e") + info.param.edition;
                           for (char& ch : name) {
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           }
                           return name;
                         });

// ---- NAME and EDITION rows on version records no template has -----------------------------

struct RecordCase {
  const char* label;
  uint32_t major, minor;
  uint8_t productType;
  uint16_t suiteMask;
  uint16_t native;
  const char* expected;  // followed by the build text below
  int architecture;
};

// The build text every row ends with: only the low word of the build number counts.
constexpr uint32_t kOddBuild = 0x0ABC0567;  // low word 1383
const char* const kBuildText = "Service Pack 1 (Build 1383)\n";

constexpr uint16_t kX86 = PROCESSOR_ARCHITECTURE_INTEL;
constexpr uint16_t kAmd64 = PROCESSOR_ARCHITECTURE_AMD64;
constexpr uint16_t kIa64 = PROCESSOR_ARCHITECTURE_IA64;
constexpr uint16_t kEnt = VER_SUITE_ENTERPRISE;
constexpr uint16_t kDc = VER_SUITE_DATACENTER;
constexpr uint16_t kWeb = VER_SUITE_BLADE;
constexpr uint16_t kHome = VER_SUITE_PERSONAL;

// clang-format off
const RecordCase kRecordCases[] = {
  // NAME rows
  {"Vista_x86",            6, 0, 1, 0,    kX86,   "Windows Vista Professional ", 1},
  {"Vista_x64",            6, 0, 1, 0,    kAmd64, "Windows Vista ", 2},
  {"Vista_Itanium",        6, 0, 1, 0,    kIa64,  "Windows Vista Professional ", 3},
  {"Longhorn_server",      6, 0, 3, 0,    kX86,   "Windows Server \"Longhorn\" Server 4.0 ", 1},
  {"Longhorn_dc_ent",      6, 0, 2, kEnt, kAmd64,
   "Windows Server \"Longhorn\" Server 4.0, Enterprise Edition ", 1},
  {"Longhorn_server_ia64", 6, 0, 3, 0,    kIa64,  "Windows Server \"Longhorn\" Server 4.0 ", 1},
  {"Nt61",                 6, 1, 1, 0,    kX86,   "Professional ", 1},
  {"Nt62_x64",             6, 2, 1, 0,    kAmd64, "", 1},
  {"Nt61_server",          6, 1, 3, kEnt, kX86,   "Server 4.0, Enterprise Edition ", 1},
  {"Xp64",                 5, 2, 1, 0,    kAmd64,
   "Microsoft Windows XP Professional x64 Edition ", 2},
  {"Nt52_workstation_x86", 5, 2, 1, 0,    kX86,
   "Microsoft Windows Server 2003, Professional ", 1},
  {"Nt52_workstation_ia64", 5, 2, 1, 0,   kIa64,
   "Microsoft Windows Server 2003, Professional ", 1},
  {"Xp",                   5, 1, 1, 0,    kX86,   "Microsoft Windows XP Professional ", 1},
  {"Xp_home",              5, 1, 1, kHome, kX86,  "Microsoft Windows XP Home Edition ", 1},
  {"Xp_on_amd64",          5, 1, 1, kHome, kAmd64, "Microsoft Windows XP ", 1},
  {"W2000",                5, 0, 1, 0,    kX86,   "Microsoft Windows 2000 Professional ", 1},
  {"Nt53",                 5, 3, 1, 0,    kX86,   "Professional ", 1},
  {"Nt53_server",          5, 3, 3, 0,    kX86,   "Server 4.0 ", 1},
  {"Nt4",                  4, 0, 1, kHome, kX86,  "Microsoft Windows NT Workstation 4.0 ", 1},
  {"Nt351",                3, 51, 1, 0,   kX86,   "Microsoft Windows NT Professional ", 1},
  {"Major7",               7, 0, 1, 0,    kX86,   "Professional ", 1},
  {"Major7_server",        7, 0, 3, 0,    kAmd64, "Server 4.0 ", 1},
  // EDITION rows: Server 2003 on Itanium, each suite bit
  {"S2003_ia64_dc",        5, 2, 3, kDc | kEnt, kIa64,
   "Microsoft Windows Server 2003, Datacenter Edition for Itanium-based Systems", 3},
  {"S2003_ia64_dc_only",   5, 2, 3, kDc,  kIa64,
   "Microsoft Windows Server 2003, Datacenter Edition for Itanium-based Systems", 3},
  {"S2003_ia64_ent",       5, 2, 3, kEnt, kIa64,
   "Microsoft Windows Server 2003, Enterprise Edition for Itanium-based Systems", 3},
  {"S2003_ia64_web",       5, 2, 3, kWeb, kIa64, "Microsoft Windows Server 2003, ", 3},
  {"S2003_ia64_none",      5, 2, 2, 0,    kIa64,  "Microsoft Windows Server 2003, ", 3},
  // Server 2003 x64
  {"S2003_x64_dc",         5, 2, 3, kDc,  kAmd64,
   "Microsoft Windows Server 2003, Datacenter x64 Edition ", 2},
  {"S2003_x64_ent",        5, 2, 2, kEnt, kAmd64,
   "Microsoft Windows Server 2003, Enterprise x64 Edition ", 2},
  {"S2003_x64_web",        5, 2, 3, kWeb, kAmd64,
   "Microsoft Windows Server 2003, Standard x64 Edition ", 2},
  // Server 2003 x86: the first matching bit wins
  {"S2003_dc_over_all",    5, 2, 3, kDc | kEnt | kWeb, kX86,
   "Microsoft Windows Server 2003, Datacenter Edition ", 1},
  {"S2003_ent_over_web",   5, 2, 3, kEnt | kWeb, kX86,
   "Microsoft Windows Server 2003, Enterprise Edition ", 1},
  {"S2003_web",            5, 2, 2, kWeb, kX86,   "Microsoft Windows Server 2003, Web Edition ", 1},
  {"S2003_standard_home",  5, 2, 3, kHome, kX86,
   "Microsoft Windows Server 2003, Standard Edition ", 1},
  // 2000 servers
  {"W2000_datacenter",     5, 0, 3, kDc | kEnt, kX86,
   "Microsoft Windows 2000 Datacenter Server ", 1},
  {"W2000_advanced",       5, 0, 2, kEnt, kX86,   "Microsoft Windows 2000 Advanced Server ", 1},
  {"W2000_server_web",     5, 0, 3, kWeb, kX86,   "Microsoft Windows 2000 Server ", 1},
  // every other version of a server
  {"Xp_server",            5, 1, 3, kDc,  kX86,   "Microsoft Windows XP Server 4.0 ", 1},
  {"Nt4_enterprise",       4, 0, 3, kEnt, kX86,
   "Microsoft Windows NT Server 4.0, Enterprise Edition ", 1},
  {"Nt4_server",           4, 0, 2, 0,    kX86,   "Microsoft Windows NT Server 4.0 ", 1},
  // any other product type: no edition
  {"Xp_type0",             5, 1, 0, kHome, kX86,  "Microsoft Windows XP ", 1},
  {"S2003_type4_x64",      5, 2, 4, kEnt, kAmd64, "Microsoft Windows Server 2003, ", 1},
  {"S2003_type4_ia64",     5, 2, 4, kEnt, kIa64,  "Microsoft Windows Server 2003, ", 1},
};
// clang-format on

// Failure reports name the case, not its bytes.
void PrintTo(const RecordCase& c, std::ostream* os) { *os << c.label; }

class SysinfoRecord : public ::testing::TestWithParam<RecordCase> {};

TEST_P(SysinfoRecord, NameEditionAndArchitecture) {
  const RecordCase& c = GetParam();
  auto machine = Variant("2003", [&](sim::OsIdentity& os) {
    os.majorVersion = c.major;
    os.minorVersion = c.minor;
    os.productType = c.productType;
    os.suiteMask = c.suiteMask;
    os.nativeArchitecture = c.native;
    os.buildNumber = kOddBuild;
    os.csdVersion = "Service Pack 1";
  });
  ASSERT_TRUE(machine);
  const Outcome o = Describe(*machine);
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(o.text, std::string(c.expected) + kBuildText);
  EXPECT_EQ(o.architecture, c.architecture);
}

INSTANTIATE_TEST_SUITE_P(Records, SysinfoRecord, ::testing::ValuesIn(kRecordCases),
                         [](const ::testing::TestParamInfo<RecordCase>& info) {
                           return std::string(info.param.label);
                         });

TEST(SysinfoRecord, ArchitectureIsOnlyEverRaisedNotReset) {
  // A description on an x86 system leaves a previously set code alone.
  auto machine = Edition("xp");
  ASSERT_TRUE(machine);
  WindowsVersion initial;
  initial.architecture = 3;
  EXPECT_EQ(Describe(*machine, initial).architecture, 3);
}

// ---- The basic record: NT 4.0 before SP6 reads its product type from the registry ---------

constexpr const char* kProductOptions =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

std::unique_ptr<sim::Machine> BasicRecordNt4(const char* csd = "Service Pack 5") {
  return Variant("nt4-sp6", [&](sim::OsIdentity& os) {
    os.hasExtendedVersionInfo = false;
    os.csdVersion = csd;
    os.servicePackMajor = 5;
  });
}

struct ProductTypeCase {
  const char* label;
  std::string data;  // the value's bytes, as stored
  const char* edition;
};

const ProductTypeCase kProductTypeCases[] = {
    {"WinNT", std::string("WinNT", 6), "Workstation "},
    {"LanmanNT", std::string("LanmanNT", 9), "Server "},
    {"ServerNT", std::string("ServerNT", 9), "Advanced Server "},
    {"winnt_lower", std::string("winnt", 6), "Workstation "},
    {"SERVERNT_upper", std::string("SERVERNT", 9), "Advanced Server "},
    {"unknown", std::string("Terminal", 9), ""},
    {"prefix_only", std::string("WinNT4", 7), ""},
    {"empty", std::string(1, '\0'), ""},
    {"without_terminator", std::string("LanmanNT"), "Server "},
    {"exactly_80_bytes", std::string(79, 'x') + '\0', ""},
    {"80_bytes_no_terminator", std::string(80, 'x'), ""},
};

// Failure reports name the case, not its bytes.
void PrintTo(const ProductTypeCase& c, std::ostream* os) { *os << c.label; }

class SysinfoProductType : public ::testing::TestWithParam<ProductTypeCase> {};

TEST_P(SysinfoProductType, EditionFromProductOptions) {
  const ProductTypeCase& c = GetParam();
  auto machine = BasicRecordNt4();
  ASSERT_TRUE(machine);
  machine->registry.SetValue(kProductOptions, "ProductType", REG_SZ, c.data);
  const Outcome o = Describe(*machine);
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(o.text,
            std::string("Microsoft Windows NT ") + c.edition + "4.0 Service Pack 5 (Build 1381)\n");
}

INSTANTIATE_TEST_SUITE_P(BasicRecord, SysinfoProductType, ::testing::ValuesIn(kProductTypeCases),
                         [](const ::testing::TestParamInfo<ProductTypeCase>& info) {
                           return std::string(info.param.label);
                         });

TEST(SysinfoBasicRecord, ProductTypeIsZeroSoNamesFollowTheServerRows) {
  // Without the extended record, a 6.0 system is not known to be a workstation, and a
  // 5.2 one on AMD64 is not XP x64.
  auto vista = Variant("vista-x64", [](sim::OsIdentity& os) { os.hasExtendedVersionInfo = false; });
  auto xp64 = Variant("xp-x64", [](sim::OsIdentity& os) { os.hasExtendedVersionInfo = false; });
  ASSERT_TRUE(vista && xp64);
  const Outcome v = Describe(*vista);
  EXPECT_EQ(v.text, "Windows Server \"Longhorn\" Workstation 6.0 Service Pack 2 (Build 6002)\n");
  EXPECT_EQ(v.architecture, 1);
  const Outcome x = Describe(*xp64);
  EXPECT_EQ(x.text, "Microsoft Windows Server 2003, Workstation 5.2 Service Pack 2 (Build 3790)\n");
  EXPECT_EQ(x.architecture, 1);
}

TEST(SysinfoBasicRecord, MissingProductOptionsKeyFailsAfterTheName) {
  auto machine = BasicRecordNt4();
  ASSERT_TRUE(machine);
  sim::Registry::DeleteTree(machine->registry.FindFull(kProductOptions));
  const Outcome o = Describe(*machine);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.text, "Microsoft Windows NT ");
}

TEST(SysinfoBasicRecord, MissingProductTypeValueFails) {
  auto machine = BasicRecordNt4();
  ASSERT_TRUE(machine);
  machine->registry.FindFull(kProductOptions)->values.Erase("ProductType");
  const Outcome o = Describe(*machine);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.text, "Microsoft Windows NT ");
}

TEST(SysinfoBasicRecord, ValueLongerThan80BytesFails) {
  auto machine = BasicRecordNt4();
  ASSERT_TRUE(machine);
  machine->registry.SetValue(kProductOptions, "ProductType", REG_SZ, std::string(80, 'x') + '\0');
  const Outcome o = Describe(*machine);
  EXPECT_EQ(o.result, 0);
  EXPECT_EQ(o.text, "Microsoft Windows NT ");
}

TEST(SysinfoBasicRecord, RegistryFaultsFailWithoutLeakingTheKey) {
  for (const char* call : {"RegOpenKeyExA", "RegQueryValueExA"}) {
    auto machine = BasicRecordNt4();
    ASSERT_TRUE(machine);
    machine->faults.Add(Fault(call, ERROR_ACCESS_DENIED));
    const Outcome o = Describe(*machine);  // checks the handle count itself
    EXPECT_EQ(o.result, 0) << call;
    EXPECT_EQ(o.text, "Microsoft Windows NT ") << call;
  }
}

TEST(SysinfoBasicRecord, ExtendedReadFailingOnceFallsBackToTheBasicRecord) {
  auto machine = Edition("xp");
  ASSERT_TRUE(machine);
  machine->faults.Add(Fault("GetVersionExA", ERROR_INSUFFICIENT_BUFFER, 1));
  const Outcome o = Describe(*machine);
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(o.text, "Microsoft Windows XP Workstation 5.1 Service Pack 3 (Build 2600)\n");
  EXPECT_EQ(machine->faults.CallCounts()["GetVersionExA"], 2);
}

// ---- NT 4.0 Service Pack 6 and 6a --------------------------------------------------------------

constexpr const char* kHotfix =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";

struct Sp6Case {
  const char* label;
  uint32_t major;
  const char* csd;
  bool hotfix;
  const char* build;
};

const Sp6Case kSp6Cases[] = {
    {"sp6", 4, "Service Pack 6", false, "Service Pack 6 (Build 1381)\n"},
    {"sp6a", 4, "Service Pack 6", true, "Service Pack 6a (Build 1381)\n"},
    {"sp6a_lower_case_csd", 4, "service pack 6", true, "Service Pack 6a (Build 1381)\n"},
    {"sp5_with_key", 4, "Service Pack 5", true, "Service Pack 5 (Build 1381)\n"},
    {"sp6_suffix", 4, "Service Pack 6a", true, "Service Pack 6a (Build 1381)\n"},
    {"nt5_sp6_with_key", 5, "Service Pack 6", true, "Service Pack 6 (Build 1381)\n"},
};

// Failure reports name the case, not its bytes.
void PrintTo(const Sp6Case& c, std::ostream* os) { *os << c.label; }

class SysinfoSp6 : public ::testing::TestWithParam<Sp6Case> {};

TEST_P(SysinfoSp6, BuildText) {
  const Sp6Case& c = GetParam();
  auto machine = Variant(c.hotfix ? "nt4-sp6a" : "nt4-sp6", [&](sim::OsIdentity& os) {
    os.majorVersion = c.major;
    os.csdVersion = c.csd;
  });
  ASSERT_TRUE(machine);
  ASSERT_EQ(machine->registry.FindFull(kHotfix) != nullptr, c.hotfix);
  const Outcome o = Describe(*machine);
  EXPECT_EQ(o.result, 1);
  const std::string name = c.major == 4 ? "Microsoft Windows NT Workstation 4.0 "
                                        : "Microsoft Windows 2000 Professional ";
  EXPECT_EQ(o.text, name + c.build);
}

INSTANTIATE_TEST_SUITE_P(Nt4, SysinfoSp6, ::testing::ValuesIn(kSp6Cases),
                         [](const ::testing::TestParamInfo<Sp6Case>& info) {
                           return std::string(info.param.label);
                         });

TEST(SysinfoSp6, HotfixKeyThatCannotBeOpenedReadsAsSp6) {
  auto machine = Edition("nt4-sp6a");
  ASSERT_TRUE(machine);
  machine->faults.Add(Fault("RegOpenKeyExA", ERROR_ACCESS_DENIED, 0, "Q246009"));
  const Outcome o = Describe(*machine);
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(o.text, "Microsoft Windows NT Workstation 4.0 Service Pack 6 (Build 1381)\n");
}

// ---- The 9x family, Win32s and unknown platforms ----------------------------------------------

struct NineXCase {
  const char* label;
  uint32_t platform, major, minor;
  const char* csd;
  const char* expected;
  int isWin98OrMe;
};

// clang-format off
const NineXCase kNineXCases[] = {
  {"w95_C",        1, 4, 0,  " C", "Microsoft Windows 95 OSR2 ", 0},
  {"w95_B",        1, 4, 0,  " B", "Microsoft Windows 95 OSR2 ", 0},
  {"w95_A",        1, 4, 0,  " A", "Microsoft Windows 95 ", 0},
  {"w95_empty",    1, 4, 0,  "",   "Microsoft Windows 95 ", 0},
  {"w95_C_first",  1, 4, 0,  "C",  "Microsoft Windows 95 ", 0},
  {"w98_A",        1, 4, 10, " A", "Microsoft Windows 98 SE ", 1},
  {"w98_B",        1, 4, 10, " B", "Microsoft Windows 98 SE ", 1},
  {"w98_C",        1, 4, 10, " C", "Microsoft Windows 98 ", 1},
  {"w98_space",    1, 4, 10, " ",  "Microsoft Windows 98 ", 1},
  {"me_A",         1, 4, 90, " A", "Microsoft Windows Millennium Edition\n", 1},
  {"w9x_minor3",   1, 4, 3,  " A", "", 1},
  {"w9x_major3",   1, 3, 10, " A", "", 0},
  {"w9x_major5",   1, 5, 0,  " B", "", 0},
  {"win32s",       0, 3, 11, "",   "Microsoft Win32s\n", 0},
  {"platform3",    3, 5, 1,  "Service Pack 3", "", 0},
};
// clang-format on

// Failure reports name the case, not its bytes.
void PrintTo(const NineXCase& c, std::ostream* os) { *os << c.label; }

class SysinfoNineX : public ::testing::TestWithParam<NineXCase> {};

TEST_P(SysinfoNineX, DescriptionAndFlags) {
  const NineXCase& c = GetParam();
  auto machine = Variant("98-se", [&](sim::OsIdentity& os) {
    os.platformId = c.platform;
    os.majorVersion = c.major;
    os.minorVersion = c.minor;
    os.buildNumber = (c.major << 24) | (c.minor << 16) | 2222;
    os.csdVersion = c.csd;
  });
  ASSERT_TRUE(machine);
  const Outcome described = Describe(*machine);
  EXPECT_EQ(described.result, 1);
  EXPECT_EQ(described.text, c.expected);
  EXPECT_EQ(described.architecture, 1);

  // Only 98 and Me clear isNt5x; every other record leaves it as it was.
  WindowsVersion preset;
  preset.isNt5x = 1;
  const Outcome detected = Detect(*machine, preset);
  EXPECT_EQ(detected.result, 1);
  EXPECT_EQ(detected.isWin98OrMe, c.isWin98OrMe);
  EXPECT_EQ(detected.isNt5x, c.isWin98OrMe ? 0 : 1);
  EXPECT_EQ(detected.isNt60, 0);
}

INSTANTIATE_TEST_SUITE_P(Platforms, SysinfoNineX, ::testing::ValuesIn(kNineXCases),
                         [](const ::testing::TestParamInfo<NineXCase>& info) {
                           return std::string(info.param.label);
                         });

// ---- Detection only sets flags ---------------------------------------------------------------

TEST(SysinfoDetect, NtFlagsAreSetNeverCleared) {
  for (const char* edition : {"xp", "vista", "7-x64", "nt4-sp6"}) {
    auto machine = Edition(edition);
    ASSERT_TRUE(machine);
    WindowsVersion preset;
    preset.isNt5x = 1;
    preset.isNt60 = 1;
    preset.isWin98OrMe = 1;
    const Outcome o = Detect(*machine, preset);
    EXPECT_EQ(o.result, 1) << edition;
    EXPECT_EQ(o.isNt5x, 1) << edition;
    EXPECT_EQ(o.isNt60, 1) << edition;
    EXPECT_EQ(o.isWin98OrMe, 1) << edition;
  }
}

TEST(SysinfoDetect, Nt6MinorOtherThanZeroIsNotNt60) {
  for (uint32_t minor : {1u, 2u}) {
    auto machine = Variant("vista", [&](sim::OsIdentity& os) { os.minorVersion = minor; });
    ASSERT_TRUE(machine);
    const Outcome o = Detect(*machine);
    EXPECT_EQ(o.isNt60, 0) << minor;
    EXPECT_EQ(o.isNt5x, 0) << minor;
  }
}

TEST(SysinfoDetect, BasicRecordIsEnough) {
  auto machine = BasicRecordNt4();
  ASSERT_TRUE(machine);
  machine->os.majorVersion = 5;
  const Outcome o = Detect(*machine);
  EXPECT_EQ(o.result, 1);
  EXPECT_EQ(o.isNt5x, 1);
  EXPECT_EQ(machine->faults.CallCounts()["GetVersionExA"], 2);
}

// ---- No version record at all ----------------------------------------------------------------

TEST(SysinfoNoRecord, BothFailWritingNothingAndChangingNothing) {
  auto machine = Edition("xp-x64");
  ASSERT_TRUE(machine);
  machine->faults.Add(Fault("GetVersionExA", ERROR_INVALID_PARAMETER));
  WindowsVersion preset;
  preset.isNt5x = 0;
  preset.isNt60 = 1;
  preset.isWin98OrMe = 1;
  preset.architecture = 1;

  const Outcome described = Describe(*machine, preset);
  EXPECT_EQ(described.result, 0);
  EXPECT_EQ(described.text, "");
  EXPECT_EQ(described.architecture, 1);
  EXPECT_EQ(described.isNt5x, 0);

  const Outcome detected = Detect(*machine, preset);
  EXPECT_EQ(detected.result, 0);
  EXPECT_EQ(detected.isNt5x, 0);
  EXPECT_EQ(detected.isNt60, 1);
  EXPECT_EQ(detected.isWin98OrMe, 1);
  EXPECT_EQ(machine->faults.CallCounts()["GetVersionExA"], 4) << "each tried both layouts";
}

// ---- The native processor ----------------------------------------------------------------------

TEST(SysinfoNative, WithoutGetNativeSystemInfoTheEmulatedProcessorIsReported) {
  // 2000 has no GetNativeSystemInfo; GetSystemInfo is asked instead. On a (hypothetical)
  // 64-bit machine without it, a 32-bit program is thus told it runs on x86.
  auto w2000 = Edition("2000");
  ASSERT_TRUE(w2000);
  EXPECT_EQ(Native64(*w2000), 0);
  auto counts = w2000->faults.CallCounts();
  EXPECT_EQ(counts["GetSystemInfo"], 1);
  EXPECT_EQ(counts["GetNativeSystemInfo"], 0);

  auto without = Variant("xp-x64", [](sim::OsIdentity& os) { os.hasGetNativeSystemInfo = false; });
  ASSERT_TRUE(without);
  EXPECT_EQ(Native64(*without), 0);
  const Outcome o = Describe(*without);
  EXPECT_EQ(o.text, "Microsoft Windows Server 2003, Professional Service Pack 2 (Build 3790)\n");
  EXPECT_EQ(o.architecture, 1);

  auto xp = Edition("xp");
  ASSERT_TRUE(xp);
  EXPECT_EQ(Native64(*xp), 0);
  counts = xp->faults.CallCounts();
  EXPECT_EQ(counts["GetNativeSystemInfo"], 1);
  EXPECT_EQ(counts["GetSystemInfo"], 0);
}

TEST(SysinfoNative, SixtyFourBitProcessSeesTheSame) {
  for (const char* edition : {"xp-x64", "2003-ia64", "7-x64"}) {
    auto machine = Edition(edition);
    ASSERT_TRUE(machine);
    EXPECT_EQ(Native64(*machine, true), 1) << edition;
  }
}

// The running program's path through a 260-character buffer: 259 characters fit with the
// terminator; at 260 XP fills the buffer without one and reports success, and Vista cuts
// it and says so. Either way a name that long cannot be told from one cut short.
TEST(SysinfoProgramPath, ANameThatFillsTheBufferIsRefused) {
  struct Case {
    const char* edition;
    size_t length;
    bool read;
  };
  const Case cases[] = {{"xp", 259, true},    {"xp", 260, false},    {"xp", 261, false},
                        {"vista", 259, true}, {"vista", 260, false}, {"vista", 261, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.edition) + " " + std::to_string(c.length));
    std::string error;
    auto machine = sim::MachineFromEdition(c.edition, &error);
    ASSERT_TRUE(machine) << error;
    sim::ProcessOptions options;
    options.modulePath = "C:\\" + std::string(c.length - 3 - 4, 'p') + ".exe";
    sim::ProcessScope scope(*machine, options);
    std::string path;
    EXPECT_EQ(c.read, ProgramPath(&path));
    if (c.read) {
      EXPECT_EQ(options.modulePath, path);
    }
  }
}

}  // namespace
