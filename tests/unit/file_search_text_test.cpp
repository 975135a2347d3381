// FileFinder::FileContainsText: chunks of B = max(2L, 128) bytes read R = B - L
// at a time behind an overlap of L bytes, NUL bytes filtered out in place,
// letter case ignored, a progress notification after every 10th chunk of a
// file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "file_search/file_finder.h"
#include "file_search_test_support.h"
#include "platform/win32.h"

namespace {

using file_search_test::Recorder;
using file_search_test::Xp;

const char kPath[] = "C:\\scan\\file.bin";

// The bytes each read asks for, for a text of `length` bytes.
size_t ReadSize(size_t length) { return std::max<size_t>(2 * length, 128) - length; }

// Each character followed by a NUL byte: text as a 16-bit little-endian file
// holds it.
std::string Wide(const std::string& text) {
  std::string wide;
  for (char c : text) {
    wide += c;
    wide += '\0';
  }
  return wide;
}

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

class FileContainsText : public ::testing::Test {
 protected:
  FileContainsText() : machine_(Xp()), scope_(*machine_) {}

  int Scan(const std::string& content, const std::string& text) {
    machine_->files.WriteFile(kPath, content);
    return finder_.FileContainsText(kPath, text);
  }
  int Reads() { return machine_->faults.CallCounts()["ReadFile"]; }

  std::unique_ptr<sim::Machine> machine_;
  sim::ProcessScope scope_;
  FileFinder finder_;
};

TEST_F(FileContainsText, AnEmptyTextNeverMatches) {
  for (const std::string& content : std::vector<std::string>{
           std::string(), "abc", std::string(300, ' '), std::string(5, '\0')}) {
    EXPECT_EQ(0, Scan(content, "")) << content.size();
  }
  // Nor does an empty text pass the content test of a search.
  FileFinderFilter filter;
  filter.ResetFilter();
  filter.folder = "C:\\scan";
  filter.flags = FIND_BY_TEXT;
  EXPECT_EQ(0, finder_.Search(filter));
}

TEST_F(FileContainsText, LetterCaseIsIgnoredOnBothSides) {
  struct Case {
    const char* content;
    const char* text;
    int expected;
  };
  const Case cases[] = {
      {"[Models] PCI\\ven_6a3c&dev_5e17", "VEN_6A3C&DEV_5E17", 1},
      {"PCI\\VEN_6A3C&DEV_5E17", "ven_6a3c&dev_5e17", 1},
      {"PCI\\VeN_6a3C&dEv_5E17", "vEn_6A3c&DeV_5e17", 1},
      {"PCI\\VEN_6A3C&DEV_5E18", "VEN_6A3C&DEV_5E17", 0},
      // Bytes other than ASCII letters must match exactly.
      {"caf\xc3\xa9", "CAF\xc3\xa9", 1},
      {"[x]", "{X}", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, Scan(c.content, c.text)) << c.content << " / " << c.text;
  }
}

TEST_F(FileContainsText, AFileThatCannotBeOpenedDoesNotHoldTheText) {
  machine_->files.WriteFile("C:\\scan\\held.txt", "needle");
  machine_->files.MakeDirectories("C:\\scan\\folder");
  EXPECT_EQ(0, finder_.FileContainsText("C:\\scan\\missing.txt", "needle"));
  EXPECT_EQ(0, finder_.FileContainsText("C:\\scan\\folder", "needle"));
  EXPECT_EQ(1, finder_.FileContainsText("C:\\scan\\held.txt", "needle"));
  // Held open elsewhere, even for reading with read sharing: the scan shares
  // nothing.
  HANDLE other = CreateFileA("C:\\scan\\held.txt", GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, other);
  EXPECT_EQ(0, finder_.FileContainsText("C:\\scan\\held.txt", "needle"));
  CloseHandle(other);
  EXPECT_EQ(1, finder_.FileContainsText("C:\\scan\\held.txt", "needle"));
}

TEST_F(FileContainsText, AReadErrorCountsAsAFileWithoutTheText) {
  machine_->files.WriteFile(kPath, std::string(500, 'a') + "needle");
  machine_->faults.Add({"ReadFile", ERROR_GEN_FAILURE, 2, ""});
  const size_t handles = scope_.process().handles.Count();
  EXPECT_EQ(0, finder_.FileContainsText(kPath, "needle"));
  EXPECT_EQ(handles, scope_.process().handles.Count());
  EXPECT_EQ(1, finder_.FileContainsText(kPath, "needle"));
}

TEST_F(FileContainsText, SixteenBitTextWithinOneChunkIsFound) {
  const std::string text = "VEN_6A3C&DEV_5E17";
  // A Unicode INF: byte-order mark, then every character as two bytes.
  const std::string before = "\xff\xfe" + Wide("[Models]\r\n%Card%=Install,PCI\\");
  EXPECT_EQ(1, Scan(before + Wide("ven_6a3c&dev_5e17") + Wide("\r\n"), text));
  EXPECT_EQ(1, Scan(Wide(text), text));
  EXPECT_EQ(0, Scan(before + Wide("VEN_6A3C&DEV_5E18"), text));
}

TEST_F(FileContainsText, ATextEndingExactlyAtTheEndOfTheFileIsFound) {
  for (const std::string& text :
       std::vector<std::string>{"VEN_6A3C&DEV_5E17", std::string(64, 'q'), std::string(65, 'q'),
                                std::string(100, 'q'), "z"}) {
    const size_t r = ReadSize(text.size());
    for (size_t size : {text.size(), r - 1, r, r + 1, 2 * r, 3 * r + 7}) {
      if (size < text.size()) continue;
      SCOPED_TRACE(std::to_string(text.size()) + " in " + std::to_string(size));
      const std::string content = std::string(size - text.size(), '.') + text;
      EXPECT_EQ(1, Scan(content, Upper(text)));
      EXPECT_EQ(0, Scan(content.substr(0, size - 1), text));
    }
  }
}

TEST_F(FileContainsText, ReadsAskForRBytesAndAShortReadEndsTheScan) {
  // R = B - L: 111 for the card's 17-character ID, 64 for 64 characters (B =
  // 128), 65 for 65 (B = 130), 100 for 100 (B = 200).
  struct Case {
    size_t length;
    size_t r;
  };
  const Case cases[] = {{17, 111}, {64, 64}, {65, 65}, {100, 100}, {1, 127}};
  for (const Case& c : cases) {
    const std::string text(c.length, 'q');
    ASSERT_EQ(c.r, ReadSize(c.length));
    struct Size {
      size_t bytes;
      int reads;
    };
    // A file shorter than R is scanned in one cycle; a read of exactly R bytes
    // asks for another.
    const Size sizes[] = {{0, 1},           {c.r - 1, 1}, {c.r, 2},        {c.r + 1, 2},
                          {2 * c.r - 1, 2}, {2 * c.r, 3}, {5 * c.r + 3, 6}};
    for (const Size& s : sizes) {
      SCOPED_TRACE(std::to_string(c.length) + "-byte text, " + std::to_string(s.bytes) + " bytes");
      const int before = Reads();
      EXPECT_EQ(0, Scan(std::string(s.bytes, 'a'), text));
      EXPECT_EQ(s.reads, Reads() - before);
    }
  }
}

TEST_F(FileContainsText, TheScanEndsAtTheChunkThatHoldsTheText) {
  const std::string text = "VEN_6A3C&DEV_5E17";  // R = 111
  const std::string content = std::string(111 * 3 + 20, 'a') + text + std::string(1000, 'b');
  const int before = Reads();
  EXPECT_EQ(1, Scan(content, text));
  EXPECT_EQ(4, Reads() - before);
}

TEST_F(FileContainsText, AProgressNotificationFollowsEveryTenthChunkOfOneFile) {
  Recorder recorder(finder_);
  const std::string text = "abcd";  // R = 124
  const size_t r = ReadSize(text.size());
  struct Case {
    int cycles;
    int notifications;
  };
  const Case cases[] = {{1, 0}, {9, 0}, {10, 1}, {11, 1}, {19, 1}, {20, 2}, {21, 2}, {35, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cycles);
    recorder.events.clear();
    // c.cycles - 1 full reads, then a short one.
    EXPECT_EQ(0, Scan(std::string((c.cycles - 1) * r + 7, 'x'), text));
    EXPECT_EQ(c.notifications, recorder.Count(FOUND_PROGRESS));
    EXPECT_EQ(c.notifications, static_cast<int>(recorder.events.size()));
  }
  // The chunk that holds the text counts too.
  recorder.events.clear();
  EXPECT_EQ(1, Scan(std::string(9 * r + 50, 'x') + text + std::string(10 * r, 'x'), text));
  EXPECT_EQ(1, recorder.Count(FOUND_PROGRESS));
}

TEST_F(FileContainsText, TheProgressCountStartsAgainForEveryFile) {
  const std::string text = "abcd";  // R = 124
  for (const char* name : {"C:\\scan\\one.bin", "C:\\scan\\two.bin"})
    machine_->files.WriteFile(name, std::string(14 * 124 + 7, 'x'));  // 15 cycles each
  Recorder recorder(finder_);
  FileFinderFilter filter;
  filter.ResetFilter();
  filter.folder = "C:\\scan";
  filter.mask = "*.bin";
  filter.flags = FIND_BY_TEXT;
  filter.text = text;
  EXPECT_EQ(0, finder_.Search(filter));
  EXPECT_EQ((std::vector<file_search_test::Event>{{FOUND_ENTER_FOLDER, "C:\\scan\\"},
                                                  {FOUND_PROGRESS, ""},
                                                  {FOUND_REJECTED, ""},
                                                  {FOUND_PROGRESS, ""},
                                                  {FOUND_REJECTED, ""}}),
            recorder.events);
}

TEST_F(FileContainsText, TheFirstOverlapIsSpaces) {
  // The first chunk starts behind L spaces, so a text that begins with spaces
  // is found at the start of a file.
  EXPECT_EQ(1, Scan("VEN_6A3C and more", "  ven_6a3c"));
  EXPECT_EQ(0, Scan("xVEN_6A3C and more", "  ven_6a3c"));
}

// Any NUL-free file: the scan finds the text exactly where the whole
// upper-cased content holds it, wherever the chunk borders fall.
TEST_F(FileContainsText, NulFreeFilesAgreeWithASearchOfTheWholeContent) {
  std::mt19937 random(20261208);
  const std::string alphabet = "abAB-";
  auto randomText = [&](size_t length) {
    std::string s;
    for (size_t i = 0; i < length; ++i) s += alphabet[random() % alphabet.size()];
    return s;
  };
  const size_t lengths[] = {1, 2, 3, 5, 17, 63, 64, 65, 66, 90};
  int found = 0, missing = 0;
  for (int round = 0; round < 2500; ++round) {
    const size_t length = lengths[random() % (sizeof lengths / sizeof lengths[0])];
    // No leading space: the first overlap's spaces would count for it.
    const std::string text = randomText(length);
    const size_t r = ReadSize(length);
    // Sizes around the chunk borders, up to the fourth.
    const size_t border = r * (random() % 5);
    const int shift = static_cast<int>(random() % (2 * length + 9)) - static_cast<int>(length + 4);
    const size_t size = static_cast<size_t>(std::max<int>(0, static_cast<int>(border) + shift));
    std::string content = randomText(size);
    // Half the files get the text planted across or near a border.
    if (random() % 2 && size >= length) {
      const size_t at =
          std::min(size - length, border > length / 2 ? border - random() % length : 0);
      for (size_t i = 0; i < length; ++i)
        content[at + i] = random() % 2 ? text[i] : static_cast<char>(std::tolower(text[i]));
    }
    const int expected = Upper(content).find(Upper(text)) != std::string::npos;
    (expected ? found : missing) += 1;
    ASSERT_EQ(expected, Scan(content, text))
        << "text \"" << text << "\" in " << size << " bytes: \"" << content << "\"";
  }
  // Both outcomes occur often enough for the comparison to mean something.
  EXPECT_GT(found, 500);
  EXPECT_GT(missing, 500);
}

// Where a chunk lost NUL bytes, the overlap carried into the next chunk is the
// bytes the filtering left at the buffer's end. In a 16-bit file and an
// 8-character text (B = 128, R = 120), each read brings 60 characters and only
// the last 4 of them are carried over: a match that begins 5 to 7 characters
// before a border is missed.
TEST_F(FileContainsText, SixteenBitMatchesAcrossABorderAreFoundOnlyWithinTheCarriedBytes) {
  const std::string text = "ABCDEFGH";
  ASSERT_EQ(120u, ReadSize(text.size()));
  const std::vector<size_t> missed = {53, 54, 55, 113, 114, 115};  // borders at 60 and 120
  for (size_t at = 40; at <= 130; ++at) {
    SCOPED_TRACE(at);
    std::string chars(200, '.');
    chars.replace(at, text.size(), text);
    const bool isMissed = std::find(missed.begin(), missed.end(), at) != missed.end();
    EXPECT_EQ(isMissed ? 0 : 1, Scan(Wide(chars), text));
    // The same characters as 8-bit text are found wherever they lie.
    EXPECT_EQ(1, Scan(chars, text));
  }
}

}  // namespace
