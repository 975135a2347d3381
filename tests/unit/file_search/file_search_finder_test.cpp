// FileFinder::Search on a simulated machine: the order of folders and
// notifications, the tests a filter switches on and their bounds, Stop from the
// notification, and results that add up over searches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "file_search/file_finder.h"
#include "file_search_test_support.h"
#include "platform/sim/win32/file_handles.h"
#include "platform/win32.h"

namespace {

using file_search_test::Event;
using file_search_test::Recorder;
using file_search_test::TicksOf;
using file_search_test::Xp;

FileFinderFilter Filter(const std::string& folder, const std::string& mask) {
  FileFinderFilter filter;
  filter.ResetFilter();
  filter.folder = folder;
  filter.mask = mask;
  return filter;
}

std::vector<std::string> Results(const FileFinder& finder) {
  std::vector<std::string> paths;
  for (int i = 0; i < finder.GetResultCount(); ++i)
    paths.push_back(finder.GetResult(i).GetPathText());
  return paths;
}

TEST(FileFinder, RecursionFinishesTheDeepestFoldersFirstAndEntersEachAfterItsSubFolders) {
  auto machine = Xp();
  for (const char* path : {"C:\\s\\a.txt", "C:\\s\\b\\b.txt", "C:\\s\\b\\c\\c.txt",
                           "C:\\s\\b\\c\\skip.ini", "C:\\s\\d\\d.txt"})
    machine->files.WriteFile(path, "x");
  sim::ProcessScope scope(*machine);
  FileFinder finder;
  Recorder recorder(finder);
  FileFinderFilter filter = Filter("C:\\s", "*.txt");
  filter.recurse = 1;
  EXPECT_EQ(4, finder.Search(filter));
  EXPECT_EQ("C:\\s\\",
            filter.folder);  // the caller's record keeps the backslash
  const std::vector<Event> expected = {
      {FOUND_ENTER_FOLDER, "C:\\s\\b\\c\\"}, {FOUND_MATCH, "C:\\s\\b\\c\\c.txt"},
      {FOUND_ENTER_FOLDER, "C:\\s\\b\\"},    {FOUND_MATCH, "C:\\s\\b\\b.txt"},
      {FOUND_ENTER_FOLDER, "C:\\s\\d\\"},    {FOUND_MATCH, "C:\\s\\d\\d.txt"},
      {FOUND_ENTER_FOLDER, "C:\\s\\"},       {FOUND_MATCH, "C:\\s\\a.txt"},
  };
  EXPECT_EQ(expected, recorder.events);
  EXPECT_EQ((std::vector<std::string>{"C:\\s\\b\\c\\c.txt", "C:\\s\\b\\b.txt", "C:\\s\\d\\d.txt",
                                      "C:\\s\\a.txt"}),
            Results(finder));
}

TEST(FileFinder, WithoutRecurseOnlyTheFolderItselfIsSearched) {
  auto machine = Xp();
  machine->files.WriteFile("C:\\s\\a.txt", "x");
  machine->files.WriteFile("C:\\s\\b\\b.txt", "x");
  sim::ProcessScope scope(*machine);
  FileFinder finder;
  Recorder recorder(finder);
  FileFinderFilter filter = Filter("C:\\s\\", "*.txt");
  EXPECT_EQ(1, finder.Search(filter));
  EXPECT_EQ((std::vector<Event>{{FOUND_ENTER_FOLDER, "C:\\s\\"}, {FOUND_MATCH, "C:\\s\\a.txt"}}),
            recorder.events);
}

TEST(FileFinder, AFolderMatchingTheMaskIsTestedLikeAFileAndListedWithATrailingBackslash) {
  auto machine = Xp();
  machine->files.MakeDirectories("C:\\s\\logs.txt");
  machine->files.WriteFile("C:\\s\\logs.txt\\inner.txt", "needle");
  machine->files.WriteFile("C:\\s\\z.txt", "needle");
  sim::ProcessScope scope(*machine);
  {
    FileFinder finder;
    Recorder recorder(finder);
    FileFinderFilter filter = Filter("C:\\s", "*.txt");
    EXPECT_EQ(2, finder.Search(filter));
    EXPECT_EQ((std::vector<std::string>{"C:\\s\\logs.txt\\", "C:\\s\\z.txt"}), Results(finder));
    EXPECT_EQ(2, recorder.Count(FOUND_MATCH));
  }
  {
    // A folder always fails the content test.
    FileFinder finder;
    Recorder recorder(finder);
    FileFinderFilter filter = Filter("C:\\s", "*.txt");
    filter.flags = FIND_BY_TEXT;
    filter.text = "needle";
    EXPECT_EQ(1, finder.Search(filter));
    EXPECT_EQ(
        (std::vector<Event>{
            {FOUND_ENTER_FOLDER, "C:\\s\\"}, {FOUND_REJECTED, ""}, {FOUND_MATCH, "C:\\s\\z.txt"}}),
        recorder.events);
  }
}

TEST(FileFinder, DotEntriesAreSkippedWithoutNotification) {
  auto machine = Xp();
  machine->files.MakeDirectories("C:\\s\\empty");
  sim::ProcessScope scope(*machine);
  FileFinder finder;
  Recorder recorder(finder);
  FileFinderFilter filter = Filter("C:\\s\\empty", "*.*");
  EXPECT_EQ(0, finder.Search(filter));
  EXPECT_EQ((std::vector<Event>{{FOUND_ENTER_FOLDER, "C:\\s\\empty\\"}}), recorder.events);
}

TEST(FileFinder, AMissingFolderYieldsNothingButStillSendsItsEnterNotification) {
  auto machine = Xp();
  machine->files.WriteFile("C:\\s\\a.txt", "x");
  sim::ProcessScope scope(*machine);
  FileFinder finder;
  Recorder recorder(finder);
  FileFinderFilter filter = Filter("C:\\s", "*.txt");
  ASSERT_EQ(1, finder.Search(filter));
  recorder.events.clear();
  for (const char* folder : {"C:\\missing", "C:\\s\\a.txt\\below", "Q:\\nodrive"}) {
    SCOPED_TRACE(folder);
    filter = Filter(folder, "*.*");
    filter.recurse = 1;
    EXPECT_EQ(1, finder.Search(filter));  // the earlier find still counts
    EXPECT_EQ((std::vector<Event>{{FOUND_ENTER_FOLDER, std::string(folder) + "\\"}}),
              recorder.events);
    recorder.events.clear();
  }
}

TEST(FileFinder, ResultsAddUpOverSearchesUntilCleared) {
  auto machine = Xp();
  machine->files.WriteFile("C:\\s\\a.inf", "x");
  machine->files.WriteFile("C:\\s\\b.inf", "x");
  machine->files.WriteFile("C:\\s\\a.pnf", "x");
  sim::ProcessScope scope(*machine);
  FileFinder finder;
  FileFinderFilter filter = Filter("C:\\s", "*.inf");
  EXPECT_EQ(2, finder.Search(filter));
  filter.mask = "*.pnf";
  EXPECT_EQ(3, finder.Search(filter));
  EXPECT_EQ(3, finder.GetResultCount());
  EXPECT_EQ((std::vector<std::string>{"C:\\s\\a.inf", "C:\\s\\b.inf", "C:\\s\\a.pnf"}),
            Results(finder));
  // An index out of range gives an empty path.
  for (int index : {-1, 3, 100}) {
    PathInfo info = finder.GetResult(index);
    EXPECT_EQ("", info.sourceText) << index;
    EXPECT_STREQ("", info.GetPathText()) << index;
  }
  finder.ClearResults();
  EXPECT_EQ(0, finder.GetResultCount());
  finder.ClearResults();
  EXPECT_EQ(0, finder.GetResultCount());
  EXPECT_EQ(1, finder.Search(filter));
}

TEST(FileFinder, RelativeAndEmptyFoldersAreFoundFromTheCurrentDirectoryAsAbsolutePaths) {
  auto machine = Xp();
  machine->files.WriteFile("C:\\work\\top.txt", "x");
  machine->files.WriteFile("C:\\work\\sub\\low.txt", "x");
  machine->files.WriteFile("C:\\atroot.txt", "x");
  sim::ProcessOptions options;
  options.currentDirectory = "C:\\work";
  sim::ProcessScope scope(*machine, options);
  struct Case {
    const char* folder;
    const char* folderAfter;
    std::vector<std::string> results;
  };
  const Case cases[] = {
      {"", "", {"C:\\work\\top.txt"}},
      {"sub", "sub\\", {"C:\\work\\sub\\low.txt"}},
      {"C:/work/sub/", "C:/work/sub/", {"C:\\work\\sub\\low.txt"}},
      {"C:\\work\\sub\\..", "C:\\work\\sub\\..\\", {"C:\\work\\top.txt"}},
      // A drive's root gets no second separator in the found path.
      {"C:", "C:\\", {"C:\\atroot.txt"}},
      {"\\", "\\", {"C:\\atroot.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    FileFinder finder;
    FileFinderFilter filter = Filter(c.folder, "*.txt");
    finder.Search(filter);
    EXPECT_EQ(c.folderAfter, filter.folder);
    EXPECT_EQ(c.results, Results(finder));
  }
}

TEST(FileFinder, SizeBoundsAreInclusive) {
  auto machine = Xp();
  for (int size : {0, 9, 10, 11, 19, 20, 21})
    machine->files.WriteFile("C:\\s\\f" + std::to_string(size), std::string(size, 'x'));
  sim::ProcessScope scope(*machine);
  struct Case {
    LONGLONG minSize, maxSize;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {10, 20, {"f10", "f11", "f19", "f20"}}, {0, 0, {"f0"}},        {20, 10, {}},
      {21, 0x7fffffffffffffffll, {"f21"}},    {-5, 9, {"f0", "f9"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.minSize) + ".." + std::to_string(c.maxSize));
    FileFinder finder;
    FileFinderFilter filter = Filter("C:\\s", "f*");
    filter.flags = FIND_BY_SIZE;
    filter.minSize = c.minSize;
    filter.maxSize = c.maxSize;
    finder.Search(filter);
    std::vector<std::string> expected;
    for (const std::string& name : c.names) expected.push_back("C:\\s\\" + name);
    EXPECT_EQ(expected, Results(finder));
  }
}

TEST(FileFinder, DateBoundsAreInclusiveForEachOfTheThreeTimeStamps) {
  const FinderTime from = 1200000000, to = 1200086400;  // 2008-01-10, one day
  struct Stamp {
    const char* name;
    int64_t seconds;
  };
  const Stamp stamps[] = {
      {"before", from - 1}, {"atfrom", from},  {"inside", from + 5000},
      {"atto", to},         {"after", to + 1},
  };
  enum Which { kModified, kCreated, kAccessed };
  const struct {
    DWORD flag;
    Which which;
  } kinds[] = {
      {FIND_BY_MODIFIED, kModified}, {FIND_BY_CREATED, kCreated}, {FIND_BY_ACCESSED, kAccessed}};
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.flag);
    auto machine = Xp();
    // Only the time stamp under test varies; the other two lie outside every
    // range.
    for (const Stamp& s : stamps) {
      auto node = machine->files.WriteFile(std::string("C:\\s\\") + s.name, "x");
      node->creationTime = node->lastWriteTime = node->lastAccessTime = TicksOf(100);
      uint64_t& stamp = kind.which == kModified  ? node->lastWriteTime
                        : kind.which == kCreated ? node->creationTime
                                                 : node->lastAccessTime;
      stamp = TicksOf(s.seconds) + 9999999;  // parts of a second do not count
    }
    sim::ProcessScope scope(*machine);
    FileFinder finder;
    FileFinderFilter filter = Filter("C:\\s", "*");
    filter.flags = kind.flag;
    filter.modifiedFrom = filter.createdFrom = filter.accessedFrom = from;
    filter.modifiedTo = filter.createdTo = filter.accessedTo = to;
    finder.Search(filter);
    EXPECT_EQ((std::vector<std::string>{"C:\\s\\atfrom", "C:\\s\\atto", "C:\\s\\inside"}),
              Results(finder));
  }
}

TEST(FileFinder, ATimeStampOutsideTheThirtyTwoBitCountComparesAsMinusOne) {
  auto machine = Xp();
  const struct {
    const char* name;
    uint64_t ticks;
  } stamps[] = {
      {"y1960", TicksOf(-315619200)},  // 1960-01-01
      {"y2040", TicksOf(2208988800)},  // 2040-01-01
      {"y1970", TicksOf(0)},
      {"y2038", TicksOf(0x7fffffff)},
  };
  for (const auto& s : stamps)
    machine->files.WriteFile(std::string("C:\\s\\") + s.name, "x")->lastWriteTime = s.ticks;
  sim::ProcessScope scope(*machine);
  struct Case {
    FinderTime from, to;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {-1, -1, {"y1960", "y2040"}},
      {0, 0x7fffffff, {"y1970", "y2038"}},
  };
  for (const Case& c : cases) {
    FileFinder finder;
    FileFinderFilter filter = Filter("C:\\s", "y*");
    filter.flags = FIND_BY_MODIFIED;
    filter.modifiedFrom = c.from;
    filter.modifiedTo = c.to;
    finder.Search(filter);
    std::vector<std::string> expected;
    for (const std::string& name : c.names) expected.push_back("C:\\s\\" + name);
    EXPECT_EQ(expected, Results(finder)) << c.from;
  }
}

TEST(FileFinder, ResetFilterSetsEveryTimeBoundToNowAndKeepsTheText) {
  auto machine = Xp();
  const int64_t now = 1400000000;  // 2014-05-13
  machine->SetClock(TicksOf(now));
  machine->files.WriteFile("C:\\s\\new.txt", "x");
  auto old = machine->files.WriteFile("C:\\s\\old.txt", "x");
  old->lastWriteTime = TicksOf(now - 1);
  sim::ProcessScope scope(*machine);
  FileFinderFilter filter;
  filter.folder = "C:\\elsewhere";
  filter.mask = "*.inf";
  filter.text = "kept";
  filter.recurse = 1;
  filter.flags = FIND_BY_TEXT;
  filter.minSize = filter.maxSize = 7;
  filter.attributeMask = FILE_ATTRIBUTE_HIDDEN;
  filter.ResetFilter();
  EXPECT_EQ("", filter.folder);
  EXPECT_EQ("*.*", filter.mask);
  EXPECT_EQ("kept", filter.text);
  EXPECT_EQ(0, filter.recurse);
  EXPECT_EQ(0u, filter.flags);
  EXPECT_EQ(0, filter.minSize);
  EXPECT_EQ(0, filter.maxSize);
  EXPECT_EQ(0u, filter.attributeMask);
  for (FinderTime t : {filter.createdFrom, filter.createdTo, filter.modifiedFrom, filter.modifiedTo,
                       filter.accessedFrom, filter.accessedTo})
    EXPECT_EQ(now, t);
  // A file written now lies within [now, now].
  FileFinder finder;
  filter.folder = "C:\\s";
  filter.flags = FIND_BY_MODIFIED;
  finder.Search(filter);
  EXPECT_EQ((std::vector<std::string>{"C:\\s\\new.txt"}), Results(finder));
}

TEST(FileFinder, AttributeTestNeedsOneOfTheMaskBits) {
  auto machine = Xp();
  machine->files.WriteFile("C:\\s\\plain", "x", FILE_ATTRIBUTE_ARCHIVE);
  machine->files.WriteFile("C:\\s\\ro", "x", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  machine->files.WriteFile("C:\\s\\hidden", "x", FILE_ATTRIBUTE_HIDDEN);
  machine->files.MakeDirectories("C:\\s\\dir");
  sim::ProcessScope scope(*machine);
  struct Case {
    DWORD mask;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, {"hidden", "ro"}},
      {FILE_ATTRIBUTE_DIRECTORY, {"dir\\"}},
      {FILE_ATTRIBUTE_ARCHIVE, {"plain", "ro"}},
      {0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask);
    FileFinder finder;
    FileFinderFilter filter = Filter("C:\\s", "*");
    filter.flags = FIND_BY_ATTRIBUTES;
    filter.attributeMask = c.mask;
    finder.Search(filter);
    std::vector<std::string> expected;
    for (const std::string& name : c.names) expected.push_back("C:\\s\\" + name);
    EXPECT_EQ(expected, Results(finder));
  }
}

TEST(FileFinder, UnknownFlagBitsAreIgnoredAndNoFlagPassesEveryEntry) {
  auto machine = Xp();
  machine->files.WriteFile("C:\\s\\a", "");
  machine->files.MakeDirectories("C:\\s\\d");
  sim::ProcessScope scope(*machine);
  for (DWORD flags : {0u, 0x40u, 0xffffffc0u}) {
    SCOPED_TRACE(flags);
    FileFinder finder;
    FileFinderFilter filter = Filter("C:\\s", "*");
    filter.flags = flags;
    finder.Search(filter);
    EXPECT_EQ((std::vector<std::string>{"C:\\s\\a", "C:\\s\\d\\"}), Results(finder));
  }
}

TEST(FileFinder, TheFirstFailingTestEndsTheTestingBeforeTheContentIsRead) {
  auto machine = Xp();
  machine->files.WriteFile("C:\\s\\small", "needle");
  machine->files.WriteFile("C:\\s\\large", "needle and more");
  sim::ProcessScope scope(*machine);
  FileFinder finder;
  Recorder recorder(finder);
  FileFinderFilter filter = Filter("C:\\s", "*");
  filter.flags = FIND_BY_SIZE | FIND_BY_TEXT;
  filter.text = "NEEDLE";
  filter.minSize = 0;
  filter.maxSize = 6;
  const int opensBefore = machine->faults.CallCounts()["CreateFileA"];
  EXPECT_EQ(1, finder.Search(filter));
  EXPECT_EQ((std::vector<std::string>{"C:\\s\\small"}), Results(finder));
  // Only the file that passed the size test was opened.
  EXPECT_EQ(opensBefore + 1, machine->faults.CallCounts()["CreateFileA"]);
  EXPECT_EQ(
      (std::vector<Event>{
          {FOUND_ENTER_FOLDER, "C:\\s\\"}, {FOUND_REJECTED, ""}, {FOUND_MATCH, "C:\\s\\small"}}),
      recorder.events);
}

TEST(FileFinder, TheNotificationMayDeleteTheFileJustFound) {
  auto machine = Xp();
  for (const char* name : {"oem1.inf", "oem2.inf", "oem3.inf", "oem4.inf"})
    machine->files.WriteFile(std::string("C:\\s\\") + name,
                             std::string(name) == "oem3.inf" ? "other" : "VEN_6A3C&DEV_5E17");
  sim::ProcessScope scope(*machine);
  FileFinder finder;
  Recorder recorder(finder);
  recorder.onEvent = [](FileFinder& f, const Event& e) {
    if (e.code != FOUND_MATCH) return;
    PathInfo found = f.GetResult(f.GetResultCount() - 1);
    EXPECT_TRUE(DeleteFileA(found.GetPathText())) << e.subject;
  };
  FileFinderFilter filter = Filter("C:\\s", "oem*.inf");
  filter.flags = FIND_BY_TEXT;
  filter.text = "ven_6a3c&dev_5e17";
  EXPECT_EQ(3, finder.Search(filter));
  EXPECT_EQ(3, recorder.Count(FOUND_MATCH));
  EXPECT_EQ(1, recorder.Count(FOUND_REJECTED));
  EXPECT_TRUE(machine->files.Find("C:\\s\\oem3.inf"));
  for (const char* gone : {"oem1.inf", "oem2.inf", "oem4.inf"})
    EXPECT_FALSE(machine->files.Find(std::string("C:\\s\\") + gone)) << gone;
}

// A progress notification of a running content test may test another file: with the
// running test's own text or another one (which once replaced the scan in use), the
// nested test gives its own answer, and the running one still finds its text, here 16-bit
// and across the border of two read-ahead buffer-fulls, whose bytes the nested test does
// not overwrite.
TEST(FileFinder, AProgressNotificationMayTestAnotherFilesContents) {
  const std::string id = "VEN_6A3C&DEV_5E17";
  std::string wide;
  for (char c : std::string(33000, '.') + id + std::string(3000, '.')) wide += {c, '\0'};
  struct Case {
    const char* what;
    std::string nestedText;
    std::string nestedContent;
    int nestedResult;
  };
  const Case cases[] = {
      {"the same text, not in the other file", id, std::string(5000, '-'), 0},
      {"the same text, in the other file", id, "x" + id, 1},
      {"another text, in the other file", "needle", std::string(3000, '-') + "NEEDLE", 1},
      {"another text, not in the other file", "needle", std::string(3000, '-'), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto machine = Xp();
    machine->files.WriteFile("C:\\s\\oem1.inf", wide);
    machine->files.WriteFile("C:\\other\\file.txt", c.nestedContent);
    sim::ProcessScope scope(*machine);
    FileFinder finder;
    Recorder recorder(finder);
    int nested = 0;
    recorder.onEvent = [&](FileFinder& f, const Event& e) {
      if (e.code != FOUND_PROGRESS) return;
      ++nested;
      EXPECT_EQ(c.nestedResult, f.FileContainsText("C:\\other\\file.txt", c.nestedText));
    };
    FileFinderFilter filter = Filter("C:\\s", "*.inf");
    filter.flags = FIND_BY_TEXT;
    filter.text = id;
    EXPECT_EQ(1, finder.Search(filter));
    // 16-bit text of 72,068 bytes, the ID ending at byte 66,033: cycle 595 of R = 111.
    EXPECT_EQ(59, nested);
  }
}

// The tree the Stop cases search: three levels, files everywhere.
void WriteStopTree(sim::Machine& machine) {
  for (const char* path :
       {"C:\\s\\a\\deep\\d1.txt", "C:\\s\\a\\deep\\d2.txt", "C:\\s\\a\\a1.txt", "C:\\s\\a\\a2.txt",
        "C:\\s\\b\\b1.txt", "C:\\s\\s1.txt", "C:\\s\\s2.txt"})
    machine.files.WriteFile(path, "x");
}

TEST(FileFinder, StopFromTheNotificationEndsEveryLevelAndEnclosingFoldersStillSendCode2) {
  struct Case {
    const char* name;
    Event stopAt;  // the notification whose handler calls Stop
    std::vector<Event> expected;
    int count;
  };
  const Case cases[] = {
      {"at the first match in the deepest folder",
       {FOUND_MATCH, "C:\\s\\a\\deep\\d1.txt"},
       {{FOUND_ENTER_FOLDER, "C:\\s\\a\\deep\\"},
        {FOUND_MATCH, "C:\\s\\a\\deep\\d1.txt"},
        {FOUND_ENTER_FOLDER, "C:\\s\\a\\"},
        {FOUND_ENTER_FOLDER, "C:\\s\\"}},
       1},
      {"on entering a folder",
       {FOUND_ENTER_FOLDER, "C:\\s\\a\\"},
       {{FOUND_ENTER_FOLDER, "C:\\s\\a\\deep\\"},
        {FOUND_MATCH, "C:\\s\\a\\deep\\d1.txt"},
        {FOUND_MATCH, "C:\\s\\a\\deep\\d2.txt"},
        {FOUND_ENTER_FOLDER, "C:\\s\\a\\"},
        {FOUND_ENTER_FOLDER, "C:\\s\\"}},
       2},
      {"on a rejected entry",
       {FOUND_REJECTED, ""},
       {{FOUND_ENTER_FOLDER, "C:\\s\\a\\deep\\"},
        {FOUND_MATCH, "C:\\s\\a\\deep\\d1.txt"},
        {FOUND_MATCH, "C:\\s\\a\\deep\\d2.txt"},
        {FOUND_ENTER_FOLDER, "C:\\s\\a\\"},
        {FOUND_REJECTED, ""},
        {FOUND_ENTER_FOLDER, "C:\\s\\"}},
       2},
      {"at a match in the top folder",
       {FOUND_MATCH, "C:\\s\\s1.txt"},
       {{FOUND_ENTER_FOLDER, "C:\\s\\a\\deep\\"},
        {FOUND_MATCH, "C:\\s\\a\\deep\\d1.txt"},
        {FOUND_MATCH, "C:\\s\\a\\deep\\d2.txt"},
        {FOUND_ENTER_FOLDER, "C:\\s\\a\\"},
        {FOUND_REJECTED, ""},
        {FOUND_MATCH, "C:\\s\\a\\a2.txt"},
        {FOUND_ENTER_FOLDER, "C:\\s\\b\\"},
        {FOUND_MATCH, "C:\\s\\b\\b1.txt"},
        {FOUND_ENTER_FOLDER, "C:\\s\\"},
        {FOUND_MATCH, "C:\\s\\s1.txt"}},
       5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto machine = Xp();
    WriteStopTree(*machine);
    // a1.txt fails the size test, so that a rejection comes up.
    machine->files.WriteFile("C:\\s\\a\\a1.txt", "xx");
    sim::ProcessScope scope(*machine);
    FileFinder finder;
    Recorder recorder(finder);
    const Event stopAt = c.stopAt;
    recorder.onEvent = [stopAt](FileFinder& f, const Event& e) {
      if (e == stopAt) f.Stop();
    };
    FileFinderFilter filter = Filter("C:\\s", "*.txt");
    filter.recurse = 1;
    filter.flags = FIND_BY_SIZE;
    filter.minSize = 1;
    filter.maxSize = 1;
    EXPECT_EQ(c.count, finder.Search(filter));
    EXPECT_EQ(c.expected, recorder.events);
    EXPECT_EQ(c.count, finder.GetResultCount());
  }
}

TEST(FileFinder, StopBetweenSearchesHasNoEffectOnTheNext) {
  auto machine = Xp();
  WriteStopTree(*machine);
  sim::ProcessScope scope(*machine);
  FileFinder finder;
  Recorder recorder(finder);
  finder.Stop();
  FileFinderFilter filter = Filter("C:\\s", "*.txt");
  filter.recurse = 1;
  EXPECT_EQ(7, finder.Search(filter));
  // A stop in one search leaves the next one whole.
  recorder.onEvent = [](FileFinder& f, const Event& e) {
    if (e.code == FOUND_MATCH) f.Stop();
  };
  finder.ClearResults();
  EXPECT_EQ(1, finder.Search(filter));
  recorder.onEvent = nullptr;
  finder.ClearResults();
  EXPECT_EQ(7, finder.Search(filter));
}

TEST(FileFinder, EnumerationHandlesAreClosedOnEveryPath) {
  auto machine = Xp();
  WriteStopTree(*machine);
  sim::ProcessScope scope(*machine);
  const size_t handlesBefore = scope.process().handles.Count();
  FileFinder finder;
  Recorder recorder(finder);
  FileFinderFilter filter = Filter("C:\\s", "*.txt");
  filter.recurse = 1;
  filter.flags = FIND_BY_TEXT;
  filter.text = "x";
  EXPECT_EQ(7, finder.Search(filter));
  EXPECT_EQ(handlesBefore, scope.process().handles.Count());
  recorder.onEvent = [](FileFinder& f, const Event& e) {
    if (e.code == FOUND_MATCH) f.Stop();
  };
  EXPECT_EQ(8, finder.Search(filter));
  EXPECT_EQ(handlesBefore, scope.process().handles.Count());
}

// One open enumeration per level: the enclosing folders' folder enumerations, and for
// the folder being examined only its entry enumeration (its folder enumeration is
// closed before that one opens).
TEST(FileFinder, EachLevelHoldsAtMostOneOpenEnumeration) {
  auto machine = Xp();
  WriteStopTree(*machine);
  sim::ProcessScope scope(*machine);
  FileFinder finder;
  Recorder recorder(finder);
  std::vector<std::string> seen;
  sim::Process& process = scope.process();
  recorder.onEvent = [&seen, &process](FileFinder&, const Event& e) {
    seen.push_back(std::to_string(e.code) + " " + e.subject + " " +
                   std::to_string(process.handles.CountOf<sim::FindHandle>()));
  };
  FileFinderFilter filter = Filter("C:\\s", "*1.txt");
  filter.recurse = 1;
  finder.Search(filter);
  EXPECT_EQ((std::vector<std::string>{"2 C:\\s\\a\\deep\\ 2", "0 C:\\s\\a\\deep\\d1.txt 3",
                                      "2 C:\\s\\a\\ 1", "0 C:\\s\\a\\a1.txt 2", "2 C:\\s\\b\\ 1",
                                      "0 C:\\s\\b\\b1.txt 2", "2 C:\\s\\ 0", "0 C:\\s\\s1.txt 1"}),
            seen);
}

TEST(FileFinder, AFailingEnumerationYieldsNoEntries) {
  auto machine = Xp();
  WriteStopTree(*machine);
  machine->faults.Add({"FindFirstFileA", ERROR_ACCESS_DENIED, 0, "\\s\\a\\"});
  sim::ProcessScope scope(*machine);
  FileFinder finder;
  Recorder recorder(finder);
  FileFinderFilter filter = Filter("C:\\s", "*.txt");
  filter.recurse = 1;
  // C:\s\a and everything below it cannot be listed; the rest is found.
  EXPECT_EQ(3, finder.Search(filter));
  EXPECT_EQ((std::vector<std::string>{"C:\\s\\b\\b1.txt", "C:\\s\\s1.txt", "C:\\s\\s2.txt"}),
            Results(finder));
  EXPECT_EQ(3, recorder.Count(FOUND_ENTER_FOLDER));
}

}  // namespace
