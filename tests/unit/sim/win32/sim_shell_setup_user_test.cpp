// The simulated SHFileOperationA delete, SetupCopyOEMInfA through LoadLibraryA and
// GetProcAddress, and MessageBoxA's record and answers.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/sim/storage/reg_file.h"
#include "platform/win32.h"

namespace {

std::unique_ptr<sim::Machine> Xp() {
  std::string error;
  auto m = sim::MachineFromEdition("xp", &error);
  EXPECT_TRUE(m) << error;
  return m;
}

int Delete(const std::string& list) {
  SHFILEOPSTRUCTA op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = list.c_str();  // the caller's list ends with "\0" before the string's own
  op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI;
  return SHFileOperationA(&op);
}

TEST(SimShell, DeletesAWholeTreeWithReadOnlyEntries) {
  auto m = Xp();
  m->files.WriteFile("C:\\T\\a.txt", "a", FILE_ATTRIBUTE_READONLY);
  m->files.WriteFile("C:\\T\\sub\\deeper\\b.txt", "b");
  m->files.WriteFile("C:\\U\\c.txt", "c");
  sim::ProcessScope scope(*m);
  EXPECT_EQ(Delete(std::string("C:\\T") + '\0' + "C:\\U\\c.txt" + '\0'), 0);
  EXPECT_FALSE(m->files.Find("C:\\T"));
  EXPECT_FALSE(m->files.Find("C:\\U\\c.txt"));
  EXPECT_TRUE(m->files.Find("C:\\U"));
}

TEST(SimShell, RefusesWhatCannotGo) {
  auto m = Xp();
  m->files.WriteFile("C:\\T\\a.txt", "a");
  m->files.WriteFile("C:\\T\\z.txt", "z");
  sim::ProcessOptions options;
  options.modulePath = "C:\\prog.exe";
  sim::ProcessScope scope(*m, options);
  EXPECT_EQ(Delete(std::string("C:\\Missing") + '\0'), 0x402);
  EXPECT_EQ(Delete(std::string("C:\\") + '\0'), ERROR_ACCESS_DENIED);
  // An open file stops the deletion there; what came before it is gone.
  HANDLE h = CreateFileA("C:\\T\\z.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Delete(std::string("C:\\T") + '\0'), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(m->files.Find("C:\\T\\a.txt"));
  EXPECT_TRUE(m->files.Find("C:\\T\\z.txt"));
  CloseHandle(h);
  // The current folder, or a folder that holds it, stays.
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\T"));
  EXPECT_EQ(Delete(std::string("C:\\T") + '\0'), ERROR_SHARING_VIOLATION);
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
  EXPECT_EQ(Delete(std::string("C:\\T") + '\0'), 0);
  EXPECT_FALSE(m->files.Find("C:\\T"));
}

typedef BOOL(WINAPI* CopyOemInf)(PCSTR, PCSTR, DWORD, DWORD, PSTR, DWORD, PDWORD, PSTR*);

TEST(SimSetupApi, StagesAsTheNextFreeOemInfWithItsPnf) {
  auto m = Xp();
  m->files.WriteFile("C:\\Drv\\a.inf", "[Version]\r\nA\r\n");
  m->files.WriteFile("C:\\Drv\\b.inf", "[Version]\r\nB\r\n");
  ASSERT_TRUE(m->files.Find("C:\\WINDOWS\\inf\\oem0.inf"));
  sim::ProcessScope scope(*m);
  HMODULE setupApi = LoadLibraryA("SETUPAPI");
  ASSERT_TRUE(setupApi);
  auto copy = reinterpret_cast<CopyOemInf>(
      reinterpret_cast<void*>(GetProcAddress(setupApi, "SetupCopyOEMInfA")));
  ASSERT_TRUE(copy);
  char name[MAX_PATH] = {};
  DWORD required = 0;
  PSTR component = nullptr;
  ASSERT_TRUE(
      copy("C:\\Drv\\a.inf", nullptr, SPOST_PATH, 0, name, MAX_PATH, &required, &component));
  EXPECT_STREQ(name, "C:\\WINDOWS\\inf\\oem1.inf");
  EXPECT_STREQ(component, "oem1.inf");
  EXPECT_EQ(required, 24u);
  EXPECT_EQ(m->files.Find("C:\\WINDOWS\\inf\\oem1.inf")->content, "[Version]\r\nA\r\n");
  EXPECT_EQ(m->files.Find("C:\\WINDOWS\\inf\\oem1.pnf")->content,
            sim::AnsiToUtf16Le("[Version]\r\nA\r\n"));
  ASSERT_TRUE(copy("C:\\Drv\\b.inf", nullptr, SPOST_PATH, 0, name, MAX_PATH, nullptr, nullptr));
  EXPECT_STREQ(name, "C:\\WINDOWS\\inf\\oem2.inf");
  // The same text again is not staged twice.
  ASSERT_TRUE(copy("C:\\Drv\\a.inf", nullptr, SPOST_PATH, 0, name, MAX_PATH, nullptr, nullptr));
  EXPECT_STREQ(name, "C:\\WINDOWS\\inf\\oem1.inf");
  EXPECT_FALSE(m->files.Find("C:\\WINDOWS\\inf\\oem3.inf"));
  // Failures.
  EXPECT_FALSE(copy("C:\\Drv\\none.inf", nullptr, SPOST_PATH, 0, name, MAX_PATH, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  m->files.WriteFile("C:\\Drv\\c.inf", "C");
  EXPECT_FALSE(copy("C:\\Drv\\c.inf", nullptr, SPOST_PATH, 0, name, 10, &required, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(required, 24u);
  EXPECT_FALSE(m->files.Find("C:\\WINDOWS\\inf\\oem3.inf"));
  EXPECT_TRUE(FreeLibrary(setupApi));
  EXPECT_EQ(scope.process().libraryReferences["setupapi.dll"], 0);
}

TEST(SimSetupApi, MachinesWithoutTheLibraryOrTheFunction) {
  auto m = Xp();
  m->os.hasSetupCopyOemInf = false;
  {
    sim::ProcessScope scope(*m);
    HMODULE setupApi = LoadLibraryA("SETUPAPI");
    ASSERT_TRUE(setupApi);
    EXPECT_FALSE(GetProcAddress(setupApi, "SetupCopyOEMInfA"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    FreeLibrary(setupApi);
  }
  m->os.hasSetupApi = false;
  sim::ProcessScope scope(*m);
  EXPECT_FALSE(LoadLibraryA("SETUPAPI"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(SimUser, MessageBoxesAreRecordedAndAnswered) {
  auto m = Xp();
  sim::ProcessScope scope(*m);
  scope.process().messageBoxAnswers = {IDCANCEL};
  EXPECT_EQ(MessageBoxA(nullptr, "Question?", "Title", MB_OKCANCEL), IDCANCEL);
  // Without a scripted answer, the default button.
  EXPECT_EQ(MessageBoxA(nullptr, "Again?", "Title", MB_OKCANCEL), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "Sure?", nullptr, MB_YESNO | MB_ICONQUESTION), IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "Bad", "T", 0x07), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
  EXPECT_EQ(MessageBoxA(nullptr, "Retry?", "T", MB_CANCELTRYCONTINUE), IDCANCEL);
  const auto& boxes = scope.process().messageBoxes;
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].text, "Question?");
  EXPECT_EQ(boxes[0].caption, "Title");
  EXPECT_EQ(boxes[0].flags, static_cast<uint32_t>(MB_OKCANCEL));
  EXPECT_EQ(boxes[0].answer, IDCANCEL);
  EXPECT_EQ(boxes[2].caption, "Error");
  EXPECT_EQ(boxes[2].flags, static_cast<uint32_t>(MB_YESNO | MB_ICONQUESTION));
}

}  // namespace
