// Enabling a privilege of the process token before a restart is asked for: each way the
// step can end, the token given back on every path.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/privileges.h"
#include "installer/install_context.h"
#include "tests/unit/installer/installer_scenario.h"

namespace {

const char kShutdown[] = "SeShutdownPrivilege";

TEST(EnableProcessPrivilege, EachStepThatFailsEndsItAndTheTokenIsClosed) {
  struct Case {
    const char* failingCall;  // null: nothing fails
    uint32_t error;
    int result;
  };
  const Case cases[] = {
      {nullptr, 0, 1},
      {"OpenProcessToken", ERROR_ACCESS_DENIED, 0},
      // A Windows without security has no token and nothing to enable: that is success.
      {"OpenProcessToken", ERROR_CALL_NOT_IMPLEMENTED, 1},
      {"LookupPrivilegeValueA", ERROR_NO_SUCH_PRIVILEGE, 0},
      {"AdjustTokenPrivileges", ERROR_ACCESS_DENIED, 0},
  };
  for (const Case& c : cases) {
    const std::string what = c.failingCall ? c.failingCall : "nothing fails";
    auto machine = installer_test::Edition("xp");
    if (c.failingCall) machine->faults.Add(installer_test::Fault(c.failingCall, c.error));
    sim::ProcessScope scope(*machine);
    const size_t handles = scope.process().handles.Count();
    EXPECT_EQ(c.result, EnableProcessPrivilege(kShutdown)) << what;
    EXPECT_EQ(handles, scope.process().handles.Count()) << what << ": the token stays open";
    EXPECT_EQ(c.failingCall == nullptr, scope.process().privileges[kShutdown]) << what;
  }
}

// The installer's step: on a Windows outside NT there is no token to ask.
TEST(EnableProcessPrivilege, TheInstallerAsksNoTokenOutsideNt) {
  for (const char* edition : {"98-se", "xp"}) {
    auto machine = installer_test::Edition(edition);
    sim::ProcessScope scope(*machine);
    InstallContext context;
    installer_test::Detect(&context);
    EXPECT_EQ(1, context.EnablePrivilege(kShutdown)) << edition;
    EXPECT_EQ(std::string(edition) == "xp" ? 1 : 0,
              machine->faults.CallCounts()["OpenProcessToken"])
        << edition;
  }
}

}  // namespace
