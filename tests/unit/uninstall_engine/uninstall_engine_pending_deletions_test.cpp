// The installer's side of the deletions left to the next start: before it writes its
// uninstaller copy it drops every pending deletion of exactly that name, and nothing else.
#include <gtest/gtest.h>

#include <string>

#include "tests/unit/uninstall_engine/uninstall_engine_test_support.h"
#include "uninstall_engine/pending_deletions.h"

namespace {

const char kCopy[] = "C:\\WINDOWS\\System32\\KORVANE_Wendmarrow.exe";

std::string Deletion(const std::string& path) { return "\\??\\" + path + std::string(2, '\0'); }
std::string Rename(const std::string& from, const std::string& to) {
  return "\\??\\" + from + '\0' + "!\\??\\" + to + '\0';
}

TEST(DropPendingDeletion, TakesOutExactlyTheDeletionsOfTheName) {
  const std::string other = Deletion("C:\\Config.Msi\\3ec7bbbf.rbf");
  const std::string ours = Deletion("C:\\WINDOWS\\system32\\korvane_wendmarrow.EXE");
  const std::string longer = Deletion(std::string(kCopy) + ".delete-at-restart-1");
  const std::string shorter = Deletion("C:\\WINDOWS\\System32\\KORVANE_Wendmarrow.ex");
  const std::string renameOnto = Rename("C:\\new.exe", kCopy);
  const std::string renameFrom =
      "\\??\\" + std::string(kCopy) + '\0' + "\\??\\C:\\moved.exe" + '\0';
  struct Case {
    const char* what;
    std::string before;  // the value's data; "-" for no value at all
    std::string after;   // "-" for no value
    bool readable = true;
  };
  const Case cases[] = {
      {"no list", "-", "-"},
      {"only ours, in another letter case", ours + '\0', "-"},
      {"ours among others, twice", other + ours + longer + ours + shorter + '\0',
       other + longer + shorter + '\0'},
      {"renames of and onto the name stay", renameOnto + ours + renameFrom + '\0',
       renameOnto + renameFrom + '\0'},
      {"the list's end marker missing", other + ours, other},
      {"what follows the end marker stays", ours + other + '\0' + "junk" + '\0',
       other + '\0' + "junk" + '\0'},
      {"a source without its target: untouched", other + ours + "\\??\\C:\\cut",
       other + ours + "\\??\\C:\\cut", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto machine = engine_test::Edition("xp");
    const std::string key =
        "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    if (c.before != "-")
      machine->registry.SetValue(key, "PendingFileRenameOperations", REG_MULTI_SZ, c.before);
    bool dropped = false;
    {
      sim::ProcessScope scope(*machine);
      dropped = DropPendingDeletion(kCopy);
    }
    EXPECT_EQ(c.readable, dropped);
    const bool hasValue =
        machine->registry.FindFull(key)->values.Find("PendingFileRenameOperations");
    EXPECT_EQ(c.after != "-", hasValue);
    if (c.after != "-") {
      EXPECT_EQ(c.after, engine_test::PendingDeletions(*machine));
    }
  }
}

}  // namespace
