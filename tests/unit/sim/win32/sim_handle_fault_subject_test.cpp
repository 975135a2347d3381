// Injected faults limited to a path, on the calls that take a file handle: the
// path is built from the handle only when a rule asks for one, and such a rule
// still fails the call on that file alone, and with "*" on every call.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/win32.h"

namespace {

std::unique_ptr<sim::Machine> Xp() {
  std::string error;
  auto machine = sim::MachineFromEdition("xp", &error);
  EXPECT_TRUE(machine) << error;
  return machine;
}

TEST(SimFaultSubjects, OnlyRulesLimitedToASubjectAskForOne) {
  sim::Faults faults;
  EXPECT_FALSE(faults.NeedsSubject("ReadFile"));
  faults.Add({"ReadFile", ERROR_GEN_FAILURE, 0, ""});
  faults.Add({"WriteFile", ERROR_GEN_FAILURE, 0, "a.txt"});
  EXPECT_FALSE(faults.NeedsSubject("ReadFile"));
  EXPECT_TRUE(faults.NeedsSubject("WriteFile"));
  EXPECT_FALSE(faults.NeedsSubject("GetFileSize"));
  faults.Add({"*", ERROR_GEN_FAILURE, 0, "b.txt"});
  EXPECT_TRUE(faults.NeedsSubject("ReadFile"));
  EXPECT_TRUE(faults.NeedsSubject("GetFileSize"));
  faults.Clear();
  EXPECT_FALSE(faults.NeedsSubject("WriteFile"));
}

TEST(SimFaultSubjects, AHandleCallFailsOnTheNamedFileOnly) {
  struct Case {
    const char* call;
    std::function<bool(HANDLE)> run;  // true when the call succeeded
  };
  char buffer[8] = {};
  DWORD n = 0;
  FILETIME t = {};
  const Case cases[] = {
      {"ReadFile", [&](HANDLE h) { return ReadFile(h, buffer, 3, &n, nullptr) != FALSE; }},
      {"WriteFile", [&](HANDLE h) { return WriteFile(h, "xyz", 3, &n, nullptr) != FALSE; }},
      {"GetFileSize", [&](HANDLE h) { return GetFileSize(h, nullptr) != INVALID_FILE_SIZE; }},
      {"SetFilePointer",
       [&](HANDLE h) {
         return SetFilePointer(h, 1, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
       }},
      {"SetEndOfFile", [&](HANDLE h) { return SetEndOfFile(h) != FALSE; }},
      {"GetFileTime", [&](HANDLE h) { return GetFileTime(h, &t, nullptr, nullptr) != FALSE; }},
      {"SetFileTime",
       [&](HANDLE h) {
         FILETIME when = {1, 1};
         return SetFileTime(h, nullptr, nullptr, &when) != FALSE;
       }},
  };
  for (const char* ruleCall : {"", "*"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.call) + (*ruleCall ? " under a rule for every call" : ""));
      auto machine = Xp();
      machine->files.WriteFile("C:\\work\\target.txt", "abcdef");
      machine->files.WriteFile("C:\\work\\other.txt", "abcdef");
      machine->faults.Add({*ruleCall ? ruleCall : c.call, ERROR_GEN_FAILURE, 0, "target.txt"});
      sim::ProcessScope scope(*machine);
      for (const char* name : {"C:\\work\\target.txt", "C:\\work\\other.txt"}) {
        const bool isTarget = std::string(name).find("target") != std::string::npos;
        // A rule for every call refuses the target's open already.
        HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (*ruleCall && isTarget) {
          EXPECT_EQ(INVALID_HANDLE_VALUE, h);
          continue;
        }
        ASSERT_NE(INVALID_HANDLE_VALUE, h) << name;
        SetLastError(0);
        EXPECT_EQ(!isTarget, c.run(h)) << name;
        if (isTarget) {
          EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), GetLastError());
        }
        CloseHandle(h);
      }
    }
  }
}

}  // namespace
