// Machine folders: round trips, strict refusal of broken files (naming file and line,
// touching nothing), the sidecars, host names, and saves killed at every write step.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/sim/storage/folder_lock.h"
#include "platform/sim/storage/host_file.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/storage/machine_folder.h"
#include "platform/sim/storage/reg_file.h"
#include "tests/unit/support/host_temp_dir.h"

namespace sim {
namespace {

namespace fs = std::filesystem;

const std::string kFixture = std::string(KESTROLIN_SOURCE_DIR) + "/tests/fixtures/machines/basic";

using host_files::ReadFile;
using host_files::TempDir;

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Every regular file below `root`: relative path -> bytes.
std::map<std::string, std::string> FilesBelow(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = ReadFile(e.path());
  }
  return files;
}

// Every entry below `root` (and root itself): relative path -> "kind size mtime-ns".
std::map<std::string, std::string> StatsBelow(const std::string& root) {
  std::map<std::string, std::string> stats;
  auto add = [&](const fs::path& p) {
    struct stat st;
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    stats[fs::relative(p, root).string()] =
        std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
        std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
  };
  add(root);
  for (const auto& e : fs::recursive_directory_iterator(root)) add(e.path());
  return stats;
}

// A copy of the fixture as a checkout has it: version control keeps no empty folders.
std::string CopyFixture(const TempDir& dir, const std::string& name = "machine") {
  const std::string target = dir.path() + "/" + name;
  fs::copy(kFixture, target, fs::copy_options::recursive);
  fs::remove_all(target + "/drives/C/Program Files/Empty Folder");
  return target;
}

std::unique_ptr<Machine> MustLoad(const std::string& folder) {
  std::string error;
  auto machine = LoadMachine(folder, &error);
  EXPECT_TRUE(machine) << error;
  return machine;
}

TEST(MachineFolder, FixtureLoadsWithEverythingItHolds) {
  TempDir tmp("machine-folder");
  const std::string folder = CopyFixture(tmp);
  auto m = MustLoad(folder);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->folder, folder);
  EXPECT_EQ(m->os.edition, "xp");
  EXPECT_EQ(m->os.csdVersion, "Service Pack 2");
  EXPECT_EQ(m->os.servicePackMajor, 2);
  EXPECT_EQ(m->Now(), 128883204000000000ull);
  EXPECT_EQ(m->registry.now, m->Now());
  // Written before reasons were kept: the flags alone.
  EXPECT_EQ(m->restartRequests, (std::vector<sim::RestartRequest>{{2, 0}}));
  auto test = m->registry.FindFull("HKEY_LOCAL_MACHINE\\SOFTWARE\\KestrolinRegTest");
  ASSERT_TRUE(test);
  EXPECT_EQ(test->values.Find("LengthPlus4")->data, std::string("abc\0\0\0\0", 7));
  auto enumKey = m->registry.FindFull("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum");
  ASSERT_TRUE(enumKey);
  EXPECT_EQ(enumKey->security, SystemOnlySecurity());
  EXPECT_EQ(m->registry.LocalMachine()->security, DefaultRootSecurity());
  auto sub = Registry::Find(test, "Sub");
  ASSERT_EQ(sub->security.explicitAces.size(), 1u);
  EXPECT_EQ(sub->security.explicitAces[0].kind, Ace::kDeny);
  EXPECT_TRUE(Registry::Find(m->registry.CurrentUser(), "Software\\Kestrolin"));
  auto sys = m->files.Find("C:\\WINDOWS\\system32\\drivers\\kestrel.sys");
  ASSERT_TRUE(sys);
  EXPECT_EQ(sys->attributes, 0x21u);
  EXPECT_EQ(sys->creationTime, 125000000000000000ull);
  EXPECT_EQ(sys->lastWriteTime, 125000000000000001ull);
  EXPECT_EQ(sys->lastAccessTime, 128000000000000000ull);
  EXPECT_EQ(sys->content, std::string("MZ\0\x90\xff", 5));
  // The host name is UTF-8 "Café"; Windows sees code page 1252.
  auto readme = m->files.Find("C:\\program files\\CAF\xe9\\READ ME.TXT");
  ASSERT_TRUE(readme);
  EXPECT_EQ(readme->name, "read me.txt");
  EXPECT_EQ(readme->parent->name, "Caf\xe9");
  // Version control keeps no empty folders; the sidecar brings this one back.
  auto empty = m->files.Find("C:\\Program Files\\Empty Folder");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->isDirectory);
  EXPECT_EQ(empty->attributes, 0x12u);
  EXPECT_TRUE(empty->children.Empty());
  EXPECT_TRUE(m->files.Find("D:\\SETUP\\kestrel.inf"));
}

TEST(MachineFolder, FixtureRoundTripsByteIdentical) {
  TempDir tmp("machine-folder");
  auto first = MustLoad(CopyFixture(tmp));
  ASSERT_TRUE(first);
  const std::string saved = tmp.path() + "/saved";
  std::string error;
  ASSERT_TRUE(SaveMachine(*first, saved, &error)) << error;
  EXPECT_EQ(FilesBelow(saved), FilesBelow(kFixture));
  EXPECT_TRUE(fs::is_directory(saved + "/drives/C/Program Files/Empty Folder"));
  auto second = MustLoad(saved);
  ASSERT_TRUE(second);
  std::string difference;
  EXPECT_TRUE(first->SameAs(*second, &difference)) << difference;
  EXPECT_EQ(second->restartRequests, first->restartRequests);
  EXPECT_EQ(second->Now(), first->Now());
  // Saving over the folder it came from: same bytes again, no leftovers beside it.
  ASSERT_TRUE(SaveMachine(*second, saved, &error)) << error;
  EXPECT_EQ(FilesBelow(saved), FilesBelow(kFixture));
  EXPECT_EQ(host_files::Entries(tmp.path()), (std::vector<std::string>{"machine", "saved"}));
}

TEST(MachineFolder, EveryEditionRoundTrips) {
  for (const std::string& edition : EditionNames()) {
    SCOPED_TRACE(edition);
    std::string error;
    auto made = MachineFromEdition(edition, &error);
    ASSERT_TRUE(made) << error;
    TempDir tmp("machine-folder");
    const std::string a = tmp.path() + "/a", b = tmp.path() + "/b";
    ASSERT_TRUE(SaveMachine(*made, a, &error)) << error;
    auto loaded = MustLoad(a);
    ASSERT_TRUE(loaded);
    std::string difference;
    EXPECT_TRUE(made->SameAs(*loaded, &difference)) << difference;
    ASSERT_TRUE(SaveMachine(*loaded, b, &error)) << error;
    EXPECT_EQ(FilesBelow(a), FilesBelow(b));
  }
}

// A junction is kept as an empty host folder and its line in the drive's sidecar.
TEST(MachineFolder, AJunctionRoundTrips) {
  std::string error;
  auto made = MachineFromEdition("xp", &error);
  ASSERT_TRUE(made) << error;
  made->files.WriteFile("C:\\Data\\a.txt", "a");
  made->files.MakeJunction("C:\\Program Files\\Link", "C:\\Data");
  TempDir tmp("machine-folder");
  ASSERT_TRUE(SaveMachine(*made, tmp.path() + "/m", &error)) << error;
  auto loaded = MustLoad(tmp.path() + "/m");
  ASSERT_TRUE(loaded);
  std::string difference;
  EXPECT_TRUE(made->SameAs(*loaded, &difference)) << difference;
  EXPECT_EQ("C:\\Data", loaded->files.Find("C:\\Program Files\\Link")->junctionTarget);
}

TEST(MachineFolder, BrokenLineIsRefusedAndNothingIsTouched) {
  TempDir tmp("machine-folder");
  const std::string folder = CopyFixture(tmp);
  const std::string reg = folder + "/HKLM.reg";
  const std::string wide = ReadFile(reg);
  ASSERT_EQ(wide.substr(0, 2), "\xff\xfe");  // UTF-16LE, as regedit writes it
  std::string text, what;
  ASSERT_TRUE(Utf16LeToAnsi(wide.substr(2), &text, &what)) << what;
  // Replace line 7 with a broken value line.
  size_t pos = 0;
  for (int line = 1; line < 7; ++line) pos = text.find('\n', pos) + 1;
  const size_t end = text.find('\n', pos);
  text.replace(pos, end - pos, "\"Broken\"=hex:01,zz\r");
  WriteFile(reg, std::string("\xff\xfe") + AnsiToUtf16Le(text));
  const auto filesBefore = FilesBelow(folder);
  const auto statsBefore = StatsBelow(folder);
  const auto siblingsBefore = host_files::Entries(tmp.path());
  ::usleep(20000);  // a write now would show in the modification times
  std::string error;
  EXPECT_FALSE(LoadMachine(folder, &error));
  EXPECT_EQ(error, "HKLM.reg:7: bad hex byte 'zz'");
  EXPECT_EQ(FilesBelow(folder), filesBefore);
  EXPECT_EQ(StatsBelow(folder), statsBefore);
  EXPECT_EQ(host_files::Entries(tmp.path()), siblingsBefore);
}

const std::string kEndLine = std::string(kMachineFileEndLine) + "\n";

// Writes `text` and the end line into one file of a copy of the fixture and loads it.
std::string LoadError(const std::string& file, const std::string& text) {
  TempDir tmp("machine-folder");
  const std::string folder = CopyFixture(tmp);
  WriteFile(folder + "/" + file, text + kEndLine);
  std::string error;
  EXPECT_FALSE(LoadMachine(folder, &error)) << file;
  return error;
}

const char kRegHead[] = "Windows Registry Editor Version 5.00\r\n\r\n";

struct FolderError {
  const char* name;
  const char* file;
  std::string text;
  const char* message;
};

// Test names and failure reports show the case's name, not its bytes.
void PrintTo(const FolderError& c, std::ostream* os) { *os << c.name; }

class MachineFolderErrors : public ::testing::TestWithParam<FolderError> {};

TEST_P(MachineFolderErrors, NameFileAndLine) {
  const FolderError& c = GetParam();
  EXPECT_EQ(LoadError(c.file, c.text), c.message);
}

const std::string kIdentity =
    "[identity]\nedition=xp\nplatformId=2\nmajorVersion=5\nminorVersion=1\nbuildNumber=2600\n"
    "csdVersion=\nservicePackMajor=0\nservicePackMinor=0\nsuiteMask=0x100\nproductType=1\n"
    "nativeArchitecture=0\nhasExtendedVersionInfo=true\nhasGetNativeSystemInfo=1\n"
    "hasSetupApi=true\nhasSetupCopyOemInf=false\nwindowsFolder=C:\\WINDOWS\n"
    "systemFolderName=system32\nuserName=Administrator\ncomputerName=SIMPC\n";
const std::string kMeta = "; attributes creation last-write last-access path\n";

INSTANTIATE_TEST_SUITE_P(
    Table, MachineFolderErrors,
    ::testing::Values(
        // Registry files must stay in their hive.
        FolderError{"KeyOutsideHive", "HKLM.reg",
                    std::string(kRegHead) + "[HKEY_LOCAL_MACHINE\\A]\r\n[HKEY_CURRENT_USER\\B]\r\n",
                    "HKLM.reg:4: key outside HKEY_LOCAL_MACHINE"},
        FolderError{"HkcuBrokenLine", "HKCU.reg", std::string(kRegHead) + "junk\r\n",
                    "HKCU.reg:3: unrecognised line 'junk'"},
        // Key security.
        FolderError{"SecurityKeyWithoutAcl", "HKLM.security",
                    "[HKEY_LOCAL_MACHINE]\nD:\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n"
                    "[HKEY_LOCAL_MACHINE\\SYSTEM]\nD:\n",
                    "HKLM.security:4: key without an access list line"},
        FolderError{"SecurityKeyAtEndWithoutAcl", "HKLM.security",
                    "[HKEY_LOCAL_MACHINE]\nD:\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n",
                    "HKLM.security:3: key without an access list line"},
        FolderError{"SecurityBadAcl", "HKLM.security",
                    "[HKEY_LOCAL_MACHINE]\nD:(A;CI;KA;;;SY)\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
                    "D:(X;CI;KA;;;SY)\n",
                    "HKLM.security:4: entry type must be A or D: X"},
        FolderError{"SecurityNotDacl", "HKLM.security", "[HKEY_LOCAL_MACHINE]\nO:BA\n",
                    "HKLM.security:2: an access list starts with D:"},
        FolderError{"SecurityNoSuchKey", "HKLM.security",
                    "; comment\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\NotThere]\nD:\n",
                    "HKLM.security:2: no such key: HKEY_LOCAL_MACHINE\\SOFTWARE\\NotThere"},
        FolderError{"SecurityOtherHive", "HKLM.security", "[HKEY_CURRENT_USER]\nD:\n",
                    "HKLM.security:1: key outside HKEY_LOCAL_MACHINE"},
        FolderError{"SecurityListedTwice", "HKLM.security",
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE]\nD:\n[HKEY_LOCAL_MACHINE\\software]\nD:P\n",
                    "HKLM.security:3: key listed twice"},
        FolderError{"SecurityAclWithoutKey", "HKCU.security", "D:P\n",
                    "HKCU.security:1: access list without a key line before it"},
        FolderError{"SecurityKeyLineOpen", "HKLM.security", "[HKEY_LOCAL_MACHINE\nD:\n",
                    "HKLM.security:1: key line without closing ]"},
        // machine.ini.
        FolderError{"IniUnknownKey", "machine.ini", kIdentity + "colour=blue\n",
                    "machine.ini:21: unknown key 'colour' in [identity]"},
        FolderError{"IniMalformedLine", "machine.ini", "[identity]\nedition xp\n",
                    "machine.ini:2: expected key=value"},
        FolderError{"IniBadNumber", "machine.ini", "[identity]\nbuildNumber=26OO\n",
                    "machine.ini:2: bad number '26OO' for buildNumber"},
        FolderError{"IniNumberTooBig", "machine.ini", "[identity]\nproductType=256\n",
                    "machine.ini:2: bad number '256' for productType"},
        FolderError{"IniBadFlag", "machine.ini", "[identity]\nhasSetupApi=yes\n",
                    "machine.ini:2: 'hasSetupApi' takes true or false, not 'yes'"},
        FolderError{"IniDuplicate", "machine.ini", "[identity]\nedition=xp\nedition=2000\n",
                    "machine.ini:3: duplicate key 'edition'"},
        FolderError{"IniUnknownSection", "machine.ini", "[idenity]\n",
                    "machine.ini:1: unknown section [idenity]"},
        FolderError{"IniKeyBeforeSection", "machine.ini", "edition=xp\n",
                    "machine.ini:1: key=value before any section"},
        FolderError{"IniMissingKey", "machine.ini", "[identity]\nedition=xp\n",
                    "machine.ini: missing key 'platformId' in [identity]"},
        FolderError{"IniMissingClock", "machine.ini", kIdentity,
                    "machine.ini: missing key 'clock' in [machine]"},
        FolderError{"IniBadClock", "machine.ini", kIdentity + "[machine]\nclock=-1\n",
                    "machine.ini:22: bad number '-1' for clock"},
        FolderError{"IniBadRestarts", "machine.ini",
                    kIdentity + "[machine]\nclock=0\nrestartRequests=2,\n",
                    "machine.ini:23: restart request list ends with ,"},
        FolderError{"IniUnknownMachineKey", "machine.ini", kIdentity + "[machine]\nclok=0\n",
                    "machine.ini:22: unknown key 'clok' in [machine]"},
        // Drive sidecars.
        FolderError{"MetaBadAttributes", "drives/C.meta", kMeta + "0xZZ 1 2 3 \\\n",
                    "drives/C.meta:2: bad attributes '0xZZ'"},
        FolderError{"MetaBadTime", "drives/C.meta", kMeta + "0x10 1 two 3 \\\n",
                    "drives/C.meta:2: bad time stamp 'two'"},
        FolderError{"MetaTooFewFields", "drives/C.meta", kMeta + "0x10 1 2 \\\n",
                    "drives/C.meta:2: expected four numbers and a path"},
        FolderError{"MetaRelativePath", "drives/C.meta", kMeta + "0x10 1 2 3 WINDOWS\n",
                    "drives/C.meta:2: the path must start with \\"},
        FolderError{"MetaTrailingSeparator", "drives/C.meta", kMeta + "0x10 1 2 3 \\WINDOWS\\\n",
                    "drives/C.meta:2: the path must not end with \\"},
        FolderError{"MetaMissingFile", "drives/C.meta",
                    kMeta + "0x10 1 2 3 \\\n0x20 1 2 3 \\WINDOWS\\nothere.ini\n",
                    "drives/C.meta:3: no such file or folder in drives/C: \\WINDOWS\\nothere.ini"},
        FolderError{"MetaFolderUnderMissingFolder", "drives/C.meta",
                    kMeta + "0x10 1 2 3 \\No\\Such\n",
                    "drives/C.meta:2: no such file or folder in drives/C: \\No\\Such"},
        FolderError{"MetaFolderAttributesOnFile", "drives/C.meta",
                    kMeta + "0x10 1 2 3 \\WINDOWS\\win.ini\n",
                    "drives/C.meta:2: attributes mark a folder but \\WINDOWS\\win.ini is a "
                    "file"},
        FolderError{"MetaFileAttributesOnFolder", "drives/C.meta", kMeta + "0x20 1 2 3 \\WINDOWS\n",
                    "drives/C.meta:2: attributes mark a file but \\WINDOWS is a folder"},
        FolderError{"MetaListedTwice", "drives/C.meta",
                    kMeta + "0x20 1 2 3 \\WINDOWS\\win.ini\n0x21 1 2 3 \\windows\\WIN.INI\n",
                    "drives/C.meta:3: \\windows\\WIN.INI is listed twice"},
        FolderError{"MetaInvalidName", "drives/C.meta", kMeta + "0x20 1 2 3 \\a*b\n",
                    "drives/C.meta:2: not a valid Windows path: \\a*b"},
        FolderError{"MetaJunctionWithoutTarget", "drives/C.meta", kMeta + "0x410 1 2 3 \\WINDOWS\n",
                    "drives/C.meta:2: \\WINDOWS: a junction is a folder whose line names its "
                    "target after ->"},
        FolderError{"MetaJunctionTargetRelative", "drives/C.meta",
                    kMeta + "0x410 1 2 3 \\WINDOWS -> Data\n",
                    "drives/C.meta:2: a junction must lead to a full Windows path: Data"},
        FolderError{"MetaJunctionThatHoldsFiles", "drives/C.meta",
                    kMeta + "0x410 1 2 3 \\WINDOWS -> C:\\Data\n",
                    "drives/C.meta:2: \\WINDOWS: a junction holds nothing"}),
    [](const ::testing::TestParamInfo<FolderError>& info) { return info.param.name; });

TEST(MachineFolder, MetaCanBeShortEntriesItOmitsGetDefaults) {
  TempDir tmp("machine-folder");
  const std::string folder = CopyFixture(tmp);
  WriteFile(folder + "/drives/C.meta", kMeta + "0x00000001 5 6 7 \\WINDOWS\\win.ini\n" + kEndLine);
  auto m = MustLoad(folder);
  ASSERT_TRUE(m);
  auto ini = m->files.Find("C:\\WINDOWS\\win.ini");
  EXPECT_EQ(ini->attributes, 1u);
  EXPECT_EQ(ini->lastWriteTime, 6u);
  auto sys = m->files.Find("C:\\WINDOWS\\system32\\drivers\\kestrel.sys");
  EXPECT_EQ(sys->attributes, 0x20u);  // FILE_ATTRIBUTE_ARCHIVE, as a new file gets
  EXPECT_EQ(sys->creationTime, m->Now());
  EXPECT_EQ(m->files.Find("C:\\WINDOWS")->attributes, 0x10u);
  EXPECT_FALSE(m->files.Find("C:\\Program Files\\Empty Folder"));
}

TEST(MachineFolder, HostNamesDifferingOnlyInCaseAreRefused) {
  TempDir tmp("machine-folder");
  const std::string folder = CopyFixture(tmp);
  WriteFile(folder + "/drives/C/WINDOWS/WIN.INI", "other");
  std::string error;
  EXPECT_FALSE(LoadMachine(folder, &error));
  // Directory order decides which of the two is met first.
  EXPECT_TRUE(error == "drives/C/WINDOWS/WIN.INI: differs from 'win.ini' only in letter case" ||
              error == "drives/C/WINDOWS/win.ini: differs from 'WIN.INI' only in letter case")
      << error;
}

TEST(MachineFolder, HostEntriesWindowsCannotHoldAreRefused) {
  struct Case {
    const char* relative;
    const char* message;
  } const cases[] = {
      {"drives/C/a:b", "drives/C/a:b: not a valid Windows file name"},
      {"drives/C/what?", "drives/C/what?: not a valid Windows file name"},
      {"drives/C/\xe6\x97\xa5",
       "drives/C/\xe6\x97\xa5: the name is not UTF-8 text within code "
       "page 1252"},
      {"drives/C/\xe9t\xe9",
       "drives/C/\xe9t\xe9: the name is not UTF-8 text within code page "
       "1252"},
      {"drives/c",
       "drives/c: unexpected; drives holds a folder per drive letter (C) and its "
       "sidecar (C.meta)"},
      {"drives/E.meta", "drives/E.meta: no drive folder beside it"},
      {"notes.txt", "notes.txt: unexpected in a machine folder"},
  };
  for (const Case& c : cases) {
    TempDir tmp("machine-folder");
    const std::string folder = CopyFixture(tmp);
    WriteFile(folder + "/" + c.relative, "x");
    std::string error;
    EXPECT_FALSE(LoadMachine(folder, &error)) << c.relative;
    EXPECT_EQ(error, c.message);
  }
  TempDir tmp("machine-folder");
  const std::string folder = CopyFixture(tmp);
  ASSERT_EQ(::symlink("/etc/hostname", (folder + "/drives/C/link").c_str()), 0);
  std::string error;
  EXPECT_FALSE(LoadMachine(folder, &error));
  EXPECT_EQ(error, "drives/C/link: neither a regular file nor a folder");
}

TEST(MachineFolder, MissingFolderAndMissingMachineIni) {
  TempDir tmp("machine-folder");
  std::string error;
  EXPECT_FALSE(LoadMachine(tmp.path() + "/none", &error));
  EXPECT_EQ(error, tmp.path() + "/none: no machine folder there");
  const std::string folder = CopyFixture(tmp);
  fs::remove(folder + "/machine.ini");
  EXPECT_FALSE(LoadMachine(folder, &error));
  EXPECT_EQ(error, "machine.ini: cannot open: No such file or directory");
}

TEST(MachineFolder, OptionalFilesMayBeAbsent) {
  TempDir tmp("machine-folder");
  const std::string folder = CopyFixture(tmp);
  for (const char* f : {"HKCU.reg", "HKCU.security", "HKLM.security"}) fs::remove(folder + "/" + f);
  fs::remove_all(folder + "/drives");
  auto m = MustLoad(folder);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->registry.LocalMachine()->security, DefaultRootSecurity());
  EXPECT_TRUE(m->registry.CurrentUser()->subkeys.Empty());
  EXPECT_TRUE(m->files.DriveLetters().empty());
}

TEST(MachineFolder, HkeyUsersIsWrittenOnlyWhenItHoldsSomething) {
  TempDir tmp("machine-folder");
  Machine m;
  std::string error;
  ASSERT_TRUE(SaveMachine(m, tmp.path() + "/a", &error)) << error;
  EXPECT_FALSE(fs::exists(tmp.path() + "/a/HKU.reg"));
  m.registry.SetValue("HKEY_USERS\\.DEFAULT\\Software", "v", 4, Registry::DwordData(3));
  ASSERT_TRUE(SaveMachine(m, tmp.path() + "/a", &error)) << error;
  EXPECT_TRUE(fs::exists(tmp.path() + "/a/HKU.reg"));
  auto loaded = MustLoad(tmp.path() + "/a");
  ASSERT_TRUE(loaded);
  std::string difference;
  EXPECT_TRUE(m.SameAs(*loaded, &difference)) << difference;
}

TEST(MachineFolder, SaveRefusesWhatItCannotWriteAndLeavesTheOldMachine) {
  TempDir tmp("machine-folder");
  const std::string folder = CopyFixture(tmp);
  auto m = MustLoad(folder);
  ASSERT_TRUE(m);
  const auto before = FilesBelow(folder);
  std::string error;
  m->registry.SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\X", "new\nline", 1, "x");
  EXPECT_FALSE(SaveMachine(*m, folder, &error));
  EXPECT_EQ(error,
            "cannot save the registry: HKEY_LOCAL_MACHINE\\SOFTWARE\\X: value name with control "
            "characters cannot be written");
  m->registry.FindFull("HKEY_LOCAL_MACHINE\\SOFTWARE\\X")->values.Erase("new\nline");
  m->os.csdVersion = "two\nlines";
  EXPECT_FALSE(SaveMachine(*m, folder, &error));
  EXPECT_EQ(error, "machine.ini: csdVersion holds a line break");
  EXPECT_EQ(FilesBelow(folder), before);
  EXPECT_EQ(host_files::Entries(tmp.path()), std::vector<std::string>{"machine"});
}

TEST(MachineFolder, SaveNeverReplacesAFolderThatIsNoMachine) {
  TempDir tmp("machine-folder");
  const std::string precious = tmp.path() + "/precious";
  fs::create_directory(precious);
  WriteFile(precious + "/thesis.txt", "years of work");
  Machine m;
  std::string error;
  EXPECT_FALSE(SaveMachine(m, precious, &error));
  EXPECT_EQ(error, precious + ": not a machine folder (no machine.ini); not replacing it");
  EXPECT_EQ(ReadFile(precious + "/thesis.txt"), "years of work");
  WriteFile(tmp.path() + "/file", "x");
  EXPECT_FALSE(SaveMachine(m, tmp.path() + "/file", &error));
  EXPECT_EQ(error, tmp.path() + "/file: not a folder");
  // An empty folder may become a machine.
  fs::create_directory(tmp.path() + "/empty");
  EXPECT_TRUE(SaveMachine(m, tmp.path() + "/empty/", &error)) << error;
  EXPECT_TRUE(MustLoad(tmp.path() + "/empty"));
}

// The machine a killed save must not corrupt, and the one it was writing.
std::unique_ptr<Machine> Changed(const std::string& fixtureCopy) {
  auto m = MustLoad(fixtureCopy);
  m->registry.SetValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Added", "v", 4, Registry::DwordData(7));
  Registry::DeleteTree(m->registry.FindFull("HKEY_LOCAL_MACHINE\\SOFTWARE\\KestrolinRegTest"));
  m->registry.FindFull("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum")->security =
      KeySecurity();
  m->files.WriteFile("C:\\WINDOWS\\win.ini", "[changed]\r\n");
  FileSystem::Detach(m->files.Find("C:\\Program Files"));
  m->files.WriteFile("E:\\new.txt", "e");
  m->os.csdVersion = "Service Pack 3";
  m->SetClock(m->Now() + 1);
  return m;
}

void KillSaveAtEveryStep(bool withoutExchange) {
  TempDir tmp("machine-folder");
  const std::string source = CopyFixture(tmp, "source");
  auto oldMachine = MustLoad(source);
  auto newMachine = Changed(source);
  ASSERT_TRUE(oldMachine && newMachine);
  const std::string folder = tmp.path() + "/machine";
  std::string error;

  SetSaveTestHooks({0, withoutExchange});
  ASSERT_TRUE(SaveMachine(*oldMachine, folder, &error)) << error;
  ASSERT_TRUE(SaveMachine(*newMachine, folder, &error)) << error;
  const int steps = StepsOfLastSave();
  ASSERT_GT(steps, 20);

  int sawOld = 0, sawNew = 0;
  for (int k = 1; k <= steps; ++k) {
    SCOPED_TRACE("stopped after step " + std::to_string(k));
    SetSaveTestHooks({0, withoutExchange});
    fs::remove_all(folder);
    ASSERT_TRUE(SaveMachine(*oldMachine, folder, &error)) << error;
    SetSaveTestHooks({k, withoutExchange});
    EXPECT_FALSE(SaveMachine(*newMachine, folder, &error));
    EXPECT_EQ(error, "save stopped after step " + std::to_string(k) + " (test)");
    SetSaveTestHooks({});
    auto loaded = MustLoad(folder);
    ASSERT_TRUE(loaded);
    std::string vsOld, vsNew;
    const bool isOld = loaded->SameAs(*oldMachine, &vsOld);
    const bool isNew = loaded->SameAs(*newMachine, &vsNew);
    EXPECT_TRUE(isOld || isNew) << vsOld << " / " << vsNew;
    sawOld += isOld;
    sawNew += isNew;
    // The load cleaned up whatever the killed save left beside the folder.
    EXPECT_EQ(host_files::Entries(tmp.path()), (std::vector<std::string>{"machine", "source"}));
  }
  SetSaveTestHooks({});
  // The swap happens somewhere in the middle: both outcomes occur.
  EXPECT_GT(sawOld, 0);
  EXPECT_GT(sawNew, 0);
}

TEST(MachineFolderCrash, KilledSaveLeavesOldOrNewWithExchange) { KillSaveAtEveryStep(false); }

TEST(MachineFolderCrash, KilledSaveLeavesOldOrNewWithTwoRenames) { KillSaveAtEveryStep(true); }

TEST(MachineFolderCrash, FirstSaveKilledLeavesNoMachineAndNoLeftovers) {
  TempDir tmp("machine-folder");
  Machine m;
  std::string error;
  SetSaveTestHooks({3, false});
  EXPECT_FALSE(SaveMachine(m, tmp.path() + "/m", &error));
  SetSaveTestHooks({});
  EXPECT_EQ(host_files::Entries(tmp.path()), std::vector<std::string>{".m.winsim-new"});
  EXPECT_FALSE(LoadMachine(tmp.path() + "/m", &error));
  EXPECT_EQ(error, tmp.path() + "/m: no machine folder there");
  EXPECT_TRUE(host_files::Entries(tmp.path()).empty());
}

TEST(MachineFolder, MachineIniRoundTripsEveryIdentityField) {
  Machine m;
  m.os.edition = "2003-x64";
  m.os.platformId = 1;
  m.os.majorVersion = 4;
  m.os.minorVersion = 90;
  m.os.buildNumber = 0x045A0BB8;
  m.os.csdVersion = " A ";
  m.os.servicePackMajor = 65535;
  m.os.servicePackMinor = 7;
  m.os.suiteMask = 0x0112;
  m.os.productType = 3;
  m.os.nativeArchitecture = 9;
  m.os.hasExtendedVersionInfo = false;
  m.os.hasGetNativeSystemInfo = false;
  m.os.hasSetupApi = false;
  m.os.hasSetupCopyOemInf = false;
  m.os.windowsFolder = "D:\\WINNT";
  m.os.systemFolderName = "SYSTEM";
  m.os.userName = "J\xf6rg";
  m.os.computerName = "BOX=1";
  m.SetClock(0xFFFFFFFFFFFFFFFFull);
  m.restartRequests = {{2, 0xFFFFFFFF}, {0x40000, 0}};
  std::string text, error;
  ASSERT_TRUE(FormatMachineIni(m, &text, &error)) << error;
  Machine back;
  ASSERT_TRUE(ParseMachineIni(text, "machine.ini", &back, &error)) << error;
  std::string difference;
  EXPECT_TRUE(m.SameAs(back, &difference)) << difference;
  EXPECT_EQ(back.Now(), m.Now());
  EXPECT_EQ(back.restartRequests, m.restartRequests);
  EXPECT_NE(text.find("\nsuiteMask=0x0112\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\ncsdVersion= A \n"), std::string::npos) << text;
}

TEST(MachineFolder, HostNamesConvertBetweenUtf8AndCp1252) {
  struct Case {
    const char* utf8;
    const char* ansi;
  } const cases[] = {{"plain", "plain"},
                     {"caf\xc3\xa9", "caf\xe9"},
                     {"\xe2\x82\xac", "\x80"},
                     {"\xc5\xb8", "\x9f"},
                     {"\xc2\x81", "\x81"}};
  for (const Case& c : cases) {
    std::string ansi;
    EXPECT_TRUE(Utf8ToCp1252(c.utf8, &ansi)) << c.utf8;
    EXPECT_EQ(ansi, c.ansi);
    EXPECT_EQ(Cp1252ToUtf8(c.ansi), c.utf8);
  }
  for (const char* bad : {"\xe9", "\xc3", "\xc0\xa9", "\xe6\x97\xa5", "\xf0\x9f\x98\x80"}) {
    std::string ansi;
    EXPECT_FALSE(Utf8ToCp1252(bad, &ansi)) << bad;
  }
}

// A file cut short at a line boundary still parses; it has lost its end line.
TEST(MachineFolder, FileCutAtALineBoundaryIsRefused) {
  for (const char* file :
       {"machine.ini", "HKLM.reg", "HKCU.reg", "HKLM.security", "drives/C.meta"}) {
    SCOPED_TRACE(file);
    TempDir tmp("machine-folder");
    const std::string folder = CopyFixture(tmp);
    const std::string path = folder + "/" + file;
    const std::string bytes = ReadFile(path);
    const std::string lineEnd =
        bytes.compare(0, 2, "\xff\xfe") == 0 ? std::string("\n\0", 2) : "\n";
    const size_t cut = bytes.rfind(lineEnd, bytes.size() - lineEnd.size() - 1) + lineEnd.size();
    WriteFile(path, bytes.substr(0, cut));
    const auto before = StatsBelow(folder);
    std::string error;
    EXPECT_FALSE(LoadMachine(folder, &error));
    EXPECT_EQ(error, std::string(file) +
                         ": the last line is not '; end of machine file': the file was cut short");
    EXPECT_EQ(StatsBelow(folder), before);
  }
}

// A folder written before machine files were marked at their end has the mark in none
// of them: it is read as it is, and its next save marks every file.
TEST(MachineFolder, AFolderWrittenBeforeEndLinesLoadsAndIsMarkedWhenSaved) {
  const char* const files[] = {"machine.ini",   "HKLM.reg",      "HKCU.reg",     "HKLM.security",
                               "HKCU.security", "drives/C.meta", "drives/D.meta"};
  TempDir tmp("machine-folder");
  const std::string folder = CopyFixture(tmp);
  for (const char* file : files) {
    const std::string path = folder + "/" + file;
    if (!std::filesystem::exists(path)) continue;
    const std::string bytes = ReadFile(path);
    const std::string lineEnd =
        bytes.compare(0, 2, "\xff\xfe") == 0 ? std::string("\n\0", 2) : "\n";
    WriteFile(path, bytes.substr(0, bytes.rfind(lineEnd, bytes.size() - lineEnd.size() - 1) +
                                        lineEnd.size()));
  }
  std::string error;
  auto machine = LoadMachineToChange(folder, &error);
  ASSERT_TRUE(machine) << error;
  ASSERT_TRUE(SaveMachine(*machine, folder, &error)) << error;
  machine.reset();
  for (const char* file : files) {
    const std::string path = folder + "/" + file;
    if (!std::filesystem::exists(path)) continue;
    std::string text = ReadFile(path);
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    EXPECT_NE(text.find("; end of machine file"), std::string::npos) << file;
  }
}

// A FIFO in place of a machine file would hang the load; a link would read a host file
// outside the folder, and the next save would copy it in; a huge file would fill the
// memory. Each is refused, naming the file, and nothing changes.
TEST(MachineFolder, MachineFilesMustBeRegularFilesOfBoundedSize) {
  ::alarm(60);  // a load that waits on a FIFO fails the test instead of hanging it
  struct Case {
    const char* file;
    const char* kind;  // fifo, link, big
    std::string message;
  } const cases[] = {
      {"machine.ini", "fifo", "machine.ini: not a regular file (a FIFO)"},
      {"HKLM.reg", "fifo", "HKLM.reg: not a regular file (a FIFO)"},
      {"drives/C.meta", "link", "drives/C.meta: not a regular file (a link); links are not read"},
      {"machine.ini", "link", "machine.ini: not a regular file (a link); links are not read"},
      {"HKCU.security", "link", "HKCU.security: not a regular file (a link); links are not read"},
      {"HKLM.reg", "big", "HKLM.reg: larger than 4294967296 bytes (4294967297); not read"},
      {"HKCU.security", "big", "HKCU.security: larger than 67108864 bytes (67108865); not read"},
      {"drives/C/big.bin", "big",
       "drives/C/big.bin: larger than 268435456 bytes (268435457); not read"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.kind);
    TempDir tmp("machine-folder");
    const std::string folder = CopyFixture(tmp);
    const std::string path = folder + "/" + c.file;
    const std::string kind = c.kind;
    if (kind == "big") {
      const std::string file = c.file;
      const uint64_t cap = file == "HKLM.reg"        ? kMaxRegistryFileBytes
                           : file == "HKCU.security" ? kMaxMachineFileBytes
                                                     : kMaxDriveFileBytes;
      WriteFile(path, "");
      ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(cap + 1)), 0);  // sparse
    } else {
      // The link leads to a good copy of the file outside the folder.
      fs::copy_file(path, tmp.path() + "/outside");
      fs::remove(path);
      ASSERT_EQ(kind == "fifo" ? ::mkfifo(path.c_str(), 0666)
                               : ::symlink((tmp.path() + "/outside").c_str(), path.c_str()),
                0);
    }
    const auto before = StatsBelow(folder);
    std::string error;
    EXPECT_FALSE(LoadMachine(folder, &error));
    EXPECT_EQ(error, c.message);
    EXPECT_EQ(StatsBelow(folder), before);
  }
  ::alarm(0);
}

// A command that changes a folder holds it from its load to its save: another such
// command waits, then fails saying the folder is in use; a reader reads the folder as
// it stands and leaves a live save's copy alone, but removes a crashed save's.
TEST(MachineFolderLock, ChangesAreSerialisedReadersDisturbNothing) {
  SetFolderWait(std::chrono::milliseconds(200));
  TempDir tmp("machine-folder");
  const std::string folder = CopyFixture(tmp);
  const std::string inUse =
      folder + ": in use by another winsim command (waited 200 ms); try again when it has ended";
  std::string error;
  auto changing = LoadMachineToChange(folder, &error);
  ASSERT_TRUE(changing) << error;
  EXPECT_FALSE(LoadMachineToChange(folder, &error));
  EXPECT_EQ(error, inUse);
  auto reader = MustLoad(folder);
  ASSERT_TRUE(reader);
  EXPECT_FALSE(SaveMachine(*reader, folder, &error));
  EXPECT_EQ(error, inUse);

  const std::string fresh = tmp.path() + "/.machine.winsim-new";
  fs::create_directory(fresh);
  WriteFile(fresh + "/machine.ini", "a save in progress");
  EXPECT_TRUE(MustLoad(folder));
  EXPECT_EQ(ReadFile(fresh + "/machine.ini"), "a save in progress");

  changing->os.csdVersion = "Service Pack 3";
  ASSERT_TRUE(SaveMachine(*changing, folder, &error)) << error;
  changing.reset();
  fs::create_directory(fresh);  // as a save killed before its swap leaves it
  auto loaded = MustLoad(folder);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->os.csdVersion, "Service Pack 3");
  EXPECT_FALSE(fs::exists(fresh));
  EXPECT_TRUE(LoadMachineToChange(folder, &error)) << error;
  SetFolderWait(std::chrono::milliseconds(10000));
}

}  // namespace
}  // namespace sim
