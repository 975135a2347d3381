// The simulated LoadStringA and LoadIconA over the program's resource set: copy lengths,
// truncation, the small buffers, the missing id and the error each lookup level sets,
// shared icon handles and Windows' own icons.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/sim/win32/icon_handles.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/win32.h"

namespace {

std::unique_ptr<sim::Machine> Xp() {
  std::string error;
  auto m = sim::MachineFromEdition("xp", &error);
  EXPECT_TRUE(m) << error;
  return m;
}

// Strings 16..17 share a block; 40 stands alone in its block (32..47).
sim::ResourceSet SampleResources() {
  sim::ResourceSet set;
  set.strings[16] = "Sixteen";
  set.strings[17] = "";  // never written by a script, but a block may hold an empty slot
  set.strings[40] = "Line one\nLine two";
  set.icons.insert(128);
  return set;
}

HINSTANCE Program() { return GetModuleHandleA(nullptr); }

// Which instance a case passes; resolved once its process runs.
enum class Instance { kProgram, kNull, kKernel32 };
HINSTANCE Resolve(Instance instance) {
  switch (instance) {
    case Instance::kProgram:
      return Program();
    case Instance::kKernel32:
      return GetModuleHandleA("kernel32.dll");
    default:
      return nullptr;
  }
}

TEST(SimLoadString, CopiesAndTruncatesAsWindowsDoes) {
  auto m = Xp();
  const sim::ResourceSet resources = SampleResources();
  sim::ProcessOptions options;
  options.resources = &resources;
  sim::ProcessScope scope(*m, options);
  struct Case {
    HINSTANCE instance;
    UINT id;
    int size;
    int result;
    const char* text;
  } cases[] = {
      {Program(), 16, 64, 7, "Sixteen"},
      {nullptr, 16, 64, 7, "Sixteen"},   // a null instance is the program
      {Program(), 16, 8, 7, "Sixteen"},  // exactly fits with its NUL
      {Program(), 16, 7, 6, "Sixtee"},   // cut to size - 1, NUL-ended
      {Program(), 16, 2, 1, "S"},
      {Program(), 16, 1, 0, ""},  // room for the NUL only
      {Program(), 40, 64, 17, "Line one\nLine two"},
      {Program(), 0x10000 + 16, 64, 7, "Sixteen"},  // the low word is the id
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.id) + " into " + std::to_string(c.size));
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    SetLastError(1234);
    EXPECT_EQ(LoadStringA(c.instance, c.id, buffer, c.size), c.result);
    EXPECT_STREQ(buffer, c.text);
    EXPECT_EQ(buffer[c.result + 1], 'x') << "nothing is written past the NUL";
    EXPECT_EQ(GetLastError(), 1234u);
  }
}

TEST(SimLoadString, MissingStringsAndErrors) {
  auto m = Xp();
  const sim::ResourceSet resources = SampleResources();
  const sim::ResourceSet noStrings = [] {
    sim::ResourceSet set;
    set.icons.insert(128);
    return set;
  }();
  struct Case {
    const char* what;
    const sim::ResourceSet* resources;
    Instance instance;
    UINT id;
    DWORD error;  // 1234: left alone
  } cases[] = {
      {"empty slot of a present block", &resources, Instance::kProgram, 17, 1234},
      {"another slot of a present block", &resources, Instance::kProgram, 20, 1234},
      {"block missing", &resources, Instance::kProgram, 101, ERROR_RESOURCE_NAME_NOT_FOUND},
      {"no string table", &noStrings, Instance::kProgram, 16, ERROR_RESOURCE_TYPE_NOT_FOUND},
      {"no resources at all", nullptr, Instance::kNull, 16, ERROR_RESOURCE_DATA_NOT_FOUND},
      {"another module", &resources, Instance::kKernel32, 16, ERROR_RESOURCE_DATA_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::ProcessOptions options;
    options.resources = c.resources;
    sim::ProcessScope scope(*m, options);
    char buffer[16] = "previous";
    SetLastError(1234);
    EXPECT_EQ(LoadStringA(Resolve(c.instance), c.id, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");  // the buffer is emptied
    EXPECT_EQ(GetLastError(), c.error);
  }
}

TEST(SimLoadString, BuffersOfNoSizeAndNoBuffer) {
  auto m = Xp();
  const sim::ResourceSet resources = SampleResources();
  sim::ProcessOptions options;
  options.resources = &resources;
  sim::ProcessScope scope(*m, options);
  char buffer[4] = "abc";
  EXPECT_EQ(LoadStringA(Program(), 16, buffer, 0), 0);
  EXPECT_STREQ(buffer, "abc");  // nothing written
  EXPECT_EQ(LoadStringA(Program(), 16, buffer, -5), 0);
  EXPECT_STREQ(buffer, "abc");
  SetLastError(0);
  EXPECT_EQ(LoadStringA(Program(), 16, nullptr, 10), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOACCESS));
}

TEST(SimLoadIcon, ProgramIconsAndWindowsIcons) {
  auto m = Xp();
  const sim::ResourceSet resources = SampleResources();
  sim::ProcessOptions options;
  options.resources = &resources;
  sim::ProcessScope scope(*m, options);

  HICON icon = LoadIconA(Program(), MAKEINTRESOURCEA(128));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(LoadIconA(Program(), MAKEINTRESOURCEA(128)), icon) << "a shared icon";
  EXPECT_EQ(LoadIconA(Program(), "#128"), icon);
  auto info = sim::DescribeIconHandle(icon);
  ASSERT_TRUE(info);
  EXPECT_FALSE(info->system);
  EXPECT_EQ(info->resourceId, 128);

  HICON application = LoadIconA(nullptr, IDI_APPLICATION);
  ASSERT_NE(application, nullptr);
  EXPECT_NE(application, icon);
  EXPECT_EQ(LoadIconA(nullptr, IDI_WARNING), LoadIconA(nullptr, IDI_EXCLAMATION));
  info = sim::DescribeIconHandle(application);
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->system);
  EXPECT_EQ(info->resourceId, 32512);
  EXPECT_FALSE(sim::DescribeIconHandle(nullptr));
  EXPECT_FALSE(sim::DescribeIconHandle(reinterpret_cast<HICON>(0x1234)));
  EXPECT_EQ(scope.process().handles.Count(), 0u) << "shared icons hold no handle";
}

TEST(SimLoadIcon, MissingIconsAndErrors) {
  auto m = Xp();
  const sim::ResourceSet resources = SampleResources();
  const sim::ResourceSet noIcons = [] {
    sim::ResourceSet set;
    set.strings[1] = "x";
    return set;
  }();
  struct Case {
    const char* what;
    const sim::ResourceSet* resources;
    Instance instance;
    LPCSTR name;
    DWORD error;
  } cases[] = {
      {"another id", &resources, Instance::kProgram, MAKEINTRESOURCEA(129),
       ERROR_RESOURCE_NAME_NOT_FOUND},
      {"a name", &resources, Instance::kProgram, "APPICON", ERROR_RESOURCE_NAME_NOT_FOUND},
      {"a bad ordinal text", &resources, Instance::kProgram, "#12a", ERROR_RESOURCE_NAME_NOT_FOUND},
      {"the program's icon without its instance", &resources, Instance::kNull,
       MAKEINTRESOURCEA(128), ERROR_RESOURCE_NAME_NOT_FOUND},
      {"a Windows icon from the program", &resources, Instance::kProgram, IDI_APPLICATION,
       ERROR_RESOURCE_NAME_NOT_FOUND},
      {"another module", &resources, Instance::kKernel32, MAKEINTRESOURCEA(128),
       ERROR_RESOURCE_DATA_NOT_FOUND},
      {"no icons", &noIcons, Instance::kProgram, MAKEINTRESOURCEA(128),
       ERROR_RESOURCE_TYPE_NOT_FOUND},
      {"no resources", nullptr, Instance::kProgram, MAKEINTRESOURCEA(128),
       ERROR_RESOURCE_DATA_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::ProcessOptions options;
    options.resources = c.resources;
    sim::ProcessScope scope(*m, options);
    SetLastError(0);
    EXPECT_EQ(LoadIconA(Resolve(c.instance), c.name), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
}

}  // namespace
