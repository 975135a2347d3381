// The program's own strings and icons as USER32 hands them out: LoadStringA's copy,
// truncation and missing-string rules with the error each lookup level leaves, and
// LoadIconA's shared handles.
#include <cstring>
#include <string>

#include "env/environment.h"

namespace conformance {
namespace {

class Resources : public ::testing::Test {
 protected:
  static HINSTANCE Program() { return GetModuleHandleA(nullptr); }
};

TEST_F(Resources, LoadStringCopiesAndCutsToTheBuffer) {
  struct Case {
    UINT id;
    int size;
    int result;
    const char* text;
  } cases[] = {
      {16, 64, 7, "Sixteen"}, {16, 8, 7, "Sixteen"}, {16, 7, 6, "Sixtee"},
      {16, 2, 1, "S"},        {16, 1, 0, ""},        {40, 64, 17, "Line one\nLine two"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.id) + " into " + std::to_string(c.size));
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    SetLastError(1234);
    EXPECT_EQ(LoadStringA(Program(), c.id, buffer, c.size), c.result);
    EXPECT_STREQ(buffer, c.text);
    EXPECT_EQ(buffer[c.result + 1], 'x');
    EXPECT_EQ(GetLastError(), 1234u);
  }
}

// A string of a present block that is empty gives 0 and leaves the last error; a string
// whose block is missing gives 0 and the resource lookup's error.
TEST_F(Resources, LoadStringOfAMissingString) {
  char buffer[16] = "previous";
  SetLastError(1234);
  EXPECT_EQ(LoadStringA(Program(), 17, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(GetLastError(), 1234u);
  std::strcpy(buffer, "previous");
  SetLastError(1234);
  EXPECT_EQ(LoadStringA(Program(), 101, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

// Wine answers -1 to a buffer of no size; the simulator answers 0. Neither writes.
TEST_F(Resources, LoadStringIntoNoBuffer) {
  char buffer[4] = "abc";
  EXPECT_EQ(LoadStringA(Program(), 16, buffer, 0), IsWine() ? -1 : 0);
  EXPECT_STREQ(buffer, "abc");
}

TEST_F(Resources, LoadIconGivesSharedHandles) {
  HICON icon = LoadIconA(Program(), MAKEINTRESOURCEA(128));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(LoadIconA(Program(), MAKEINTRESOURCEA(128)), icon);
  EXPECT_EQ(LoadIconA(Program(), "#128"), icon);
  HICON application = LoadIconA(nullptr, IDI_APPLICATION);
  ASSERT_NE(application, nullptr);
  EXPECT_NE(application, icon);
  EXPECT_EQ(LoadIconA(nullptr, IDI_APPLICATION), application);
}

// After the icon group, Wine looks for an animated icon of the name and reports that
// lookup's ERROR_RESOURCE_TYPE_NOT_FOUND; the simulator reports the group's missing name.
TEST_F(Resources, LoadIconOfAMissingIcon) {
  const DWORD missing = IsWine() ? ERROR_RESOURCE_TYPE_NOT_FOUND : ERROR_RESOURCE_NAME_NOT_FOUND;
  SetLastError(0);
  EXPECT_EQ(LoadIconA(Program(), MAKEINTRESOURCEA(129)), nullptr);
  EXPECT_EQ(GetLastError(), missing);
  // The program's icon is not among Windows' own.
  SetLastError(0);
  EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(128)), nullptr);
  EXPECT_EQ(GetLastError(), missing);
}

}  // namespace
}  // namespace conformance
