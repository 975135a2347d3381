// The shell's file deletion as the programs use it: SHFileOperationA with FO_DELETE and
// FOF_NOCONFIRMATION | FOF_NOERRORUI removes a folder with everything in it.
#include <string>

#include "env/environment.h"

namespace conformance {
namespace {

class Shell : public ConformanceTest {
 protected:
  std::string In(const std::string& name) const { return scratchFolder + "\\" + name; }

  // The list of names ends with a second zero character.
  static int Delete(const std::string& names) {
    const std::string list = names + '\0';
    SHFILEOPSTRUCTA op = {};
    op.hwnd = nullptr;
    op.wFunc = FO_DELETE;
    op.pFrom = list.c_str();
    op.pTo = nullptr;
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI;
    op.lpszProgressTitle = "Conformance";
    return SHFileOperationA(&op);
  }
};

TEST_F(Shell, DeleteRemovesAFolderTreeWithReadOnlyFiles) {
  ASSERT_TRUE(CreateDirectoryA(In("tree").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(In("tree\\sub").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(In("tree\\sub\\deeper").c_str(), nullptr));
  ASSERT_TRUE(WriteTextFile(In("tree\\a.txt"), "a"));
  ASSERT_TRUE(WriteTextFile(In("tree\\sub\\deeper\\b.txt"), "b"));
  ASSERT_TRUE(SetFileAttributesA(In("tree\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(WriteTextFile(In("kept.txt"), "kept"));
  EXPECT_EQ(Delete(In("tree")), 0);
  EXPECT_EQ(GetFileAttributesA(In("tree").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA(In("kept.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Shell, DeleteTakesEveryNameOfItsList) {
  ASSERT_TRUE(WriteTextFile(In("one.txt"), "1"));
  ASSERT_TRUE(CreateDirectoryA(In("two").c_str(), nullptr));
  ASSERT_TRUE(WriteTextFile(In("two\\x.txt"), "x"));
  EXPECT_EQ(Delete(In("one.txt") + '\0' + In("two")), 0);
  EXPECT_EQ(GetFileAttributesA(In("one.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA(In("two").c_str()), INVALID_FILE_ATTRIBUTES);
}

// The result for a missing name differs between Windows versions and Wine (0x402,
// ERROR_FILE_NOT_FOUND, ...); the programs only need it to be a failure that changes
// nothing.
TEST_F(Shell, DeleteOfAMissingNameFails) {
  ASSERT_TRUE(WriteTextFile(In("kept.txt"), "kept"));
  EXPECT_NE(Delete(In("missing")), 0);
  EXPECT_NE(GetFileAttributesA(In("kept.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

// The shell deletes through DeleteFile, which refuses the running program's image: the
// operation fails there and stops, leaving the names after it.
TEST_F(Shell, DeleteStopsAtTheRunningProgramsImage) {
  char image[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, image, MAX_PATH);
  ASSERT_TRUE(length > 0 && length < MAX_PATH);
  ASSERT_TRUE(WriteTextFile(In("before.txt"), "1"));
  ASSERT_TRUE(WriteTextFile(In("after.txt"), "2"));
  EXPECT_NE(Delete(In("before.txt") + '\0' + image + '\0' + In("after.txt")), 0);
  EXPECT_NE(GetFileAttributesA(image), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA(In("before.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA(In("after.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace conformance
