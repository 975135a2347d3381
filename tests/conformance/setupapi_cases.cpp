// The device installer's INF staging as the installer uses it: SETUPAPI loaded by name,
// SetupCopyOEMInfA found by name, and the INF copied into the Windows INF folder as an
// oemN.inf of its own.
#include <cstring>
#include <string>
#include <vector>

#include "env/environment.h"

namespace conformance {
namespace {

typedef BOOL(WINAPI* CopyOemInfFunction)(PCSTR, PCSTR, DWORD, DWORD, PSTR, DWORD, PDWORD, PSTR*);

class SetupApi : public ConformanceTest {
 protected:
  void SetUp() override {
    ConformanceTest::SetUp();
    library_ = LoadLibraryA("SETUPAPI");
    ASSERT_TRUE(library_);
    copy_ = reinterpret_cast<CopyOemInfFunction>(
        reinterpret_cast<void*>(GetProcAddress(library_, "SetupCopyOEMInfA")));
    ASSERT_TRUE(copy_);
  }
  void TearDown() override {
    // The staged copies are the system's; each case takes its own away again.
    for (const auto& inf : staged_) {
      DeleteFileA(inf.c_str());
      DeleteFileA((inf.substr(0, inf.size() - 3) + "pnf").c_str());
    }
    if (library_) FreeLibrary(library_);
    ConformanceTest::TearDown();
  }

  std::string In(const std::string& name) const { return scratchFolder + "\\" + name; }

  // Stages `path`; the staged name, or "" with the last error in *error.
  std::string Stage(const std::string& path, DWORD* error = nullptr, DWORD* required = nullptr,
                    std::string* component = nullptr) {
    char name[MAX_PATH] = {};
    PSTR part = nullptr;
    SetLastError(0);
    if (!copy_(path.c_str(), nullptr, SPOST_PATH, 0, name, MAX_PATH, required, &part)) {
      if (error) *error = GetLastError();
      return std::string();
    }
    staged_.push_back(name);
    if (component) *component = part ? part : "";
    return name;
  }

  static std::string InfText(const std::string& tag) {
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Ports\r\n"
           "ClassGuid={4D36E978-E325-11CE-BFC1-08002BE10318}\r\nProvider=Conformance\r\n"
           "; " +
           tag + "\r\n";
  }

  static std::string InfFolder() {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string(windows) + "\\inf\\";
  }

 private:
  HMODULE library_ = nullptr;
  CopyOemInfFunction copy_ = nullptr;
  std::vector<std::string> staged_;
};

TEST_F(SetupApi, StagesTheInfAsAnOemInfOfItsOwn) {
  const std::string text = InfText("KestrolinConformance StagesTheInfAsAnOemInfOfItsOwn");
  ASSERT_TRUE(WriteTextFile(In("ports.inf"), text));
  DWORD required = 0;
  std::string component;
  const std::string name = Stage(In("ports.inf"), nullptr, &required, &component);
  ASSERT_FALSE(name.empty());
  const std::string folder = InfFolder();
  // "<windows>\inf\oemN.inf", compared without regard to case.
  ASSERT_GT(name.size(), folder.size()) << name;
  EXPECT_EQ(lstrcmpiA(name.substr(0, folder.size()).c_str(), folder.c_str()), 0) << name;
  const std::string file = name.substr(folder.size());
  // Windows names every staged copy oemN.inf; Wine 8 keeps the INF's own name while the
  // folder holds no file of that name.
  if (IsWine()) {
    EXPECT_EQ(lstrcmpiA(file.c_str(), "ports.inf"), 0) << file;
  } else {
    EXPECT_EQ(_strnicmp(file.c_str(), "oem", 3), 0) << file;
    EXPECT_EQ(lstrcmpiA(file.substr(file.size() - 4).c_str(), ".inf"), 0) << file;
  }
  EXPECT_EQ(component, file);
  EXPECT_EQ(required, name.size() + 1);
  std::string staged;
  ASSERT_TRUE(ReadTextFile(name, &staged));
  EXPECT_EQ(staged, text);
}

TEST_F(SetupApi, TheSameTextIsNotStagedTwice) {
  ASSERT_TRUE(WriteTextFile(In("a.inf"), InfText("KestrolinConformance same text")));
  ASSERT_TRUE(WriteTextFile(In("b.inf"), InfText("KestrolinConformance same text")));
  ASSERT_TRUE(WriteTextFile(In("c.inf"), InfText("KestrolinConformance other text")));
  const std::string a = Stage(In("a.inf"));
  const std::string b = Stage(In("b.inf"));
  const std::string c = Stage(In("c.inf"));
  ASSERT_FALSE(a.empty());
  EXPECT_EQ(lstrcmpiA(a.c_str(), b.c_str()), 0);
  ASSERT_FALSE(c.empty());
  EXPECT_NE(lstrcmpiA(a.c_str(), c.c_str()), 0);
}

// The error differs (Wine 8 reports ERROR_INSUFFICIENT_BUFFER); the installer relies
// only on the failure.
TEST_F(SetupApi, AMissingInfIsNotStaged) {
  DWORD error = 0;
  EXPECT_EQ(Stage(In("missing.inf"), &error), "");
  EXPECT_NE(error, 0u);
}

}  // namespace
}  // namespace conformance
