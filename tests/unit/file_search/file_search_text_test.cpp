// FileFinder::FileContainsText: cycles of R = B - L bytes, B = max(2L, 128),
// behind an overlap of the last L characters of the previous cycle's text, NUL
// bytes filtered out, letter case ignored, a progress notification after every
// 10th cycle of a file; the bytes come through a read-ahead buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "file_search/file_finder.h"
#include "file_search/read_ahead_file.h"
#include "file_search/text_scan.h"
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
  // The same scan with a sieve of the given width; the cycles it took.
  int Scan(const std::string& content, const std::string& text, SieveWidth width,
           size_t* cycleCount = nullptr) {
    machine_->files.WriteFile(kPath, content);
    ReadAheadFile file(kPath);
    CycleCounter cycles(nullptr, nullptr);
    const int found = TextScan(text, width).In(file, cycles) ? 1 : 0;
    if (cycleCount) *cycleCount = cycles.total();
    return found;
  }
  int Reads() { return machine_->faults.CallCounts()["ReadFile"]; }
  void AgreesWithTheFilteredContent(SieveWidth width);

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

// A read error after the file opened, on the first buffer-full or a later one,
// ends the scan as a file without the text; the file is closed.
TEST_F(FileContainsText, AReadErrorCountsAsAFileWithoutTheText) {
  constexpr size_t buffer = ReadAheadFile::kBufferSize;
  machine_->files.WriteFile(kPath, std::string(buffer + 500, 'a') + "needle");
  const size_t handles = scope_.process().handles.Count();
  for (int nth : {1, 2}) {
    SCOPED_TRACE(nth);
    machine_->faults.Clear();
    machine_->faults.Add({"ReadFile", ERROR_GEN_FAILURE, nth, ""});
    EXPECT_EQ(0, finder_.FileContainsText(kPath, "needle"));
    EXPECT_EQ(handles, scope_.process().handles.Count());
    EXPECT_EQ(1, finder_.FileContainsText(kPath, "needle"));
  }
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

// Cycles, seen through the progress notification after every 10th: a file of
// N bytes takes floor(N / R) + 1 cycles when the text is not in it, since a
// cycle that got all R bytes asks for another and a shorter one is the last. A
// file of 9R bytes thus takes 10 cycles, one byte less only 9.
TEST_F(FileContainsText, EachCycleTakesRBytesAndAShortOneEndsTheScan) {
  Recorder recorder(finder_);
  struct Case {
    size_t length;
    size_t r;
  };
  // R = B - L: 111 for the card's 17-character ID, 64 for 64 characters (B =
  // 128), 65 for 65 (B = 130), 100 for 100 (B = 200).
  const Case cases[] = {{17, 111}, {64, 64}, {65, 65}, {100, 100}, {1, 127}};
  for (const Case& c : cases) {
    ASSERT_EQ(c.r, ReadSize(c.length));
    const std::string text(c.length, 'q');
    struct Size {
      size_t bytes;
      int notifications;
    };
    const Size sizes[] = {
        {0, 0},        {c.r - 1, 0},      {9 * c.r - 1, 0}, {9 * c.r, 1}, {19 * c.r - 1, 1},
        {19 * c.r, 2}, {99 * c.r - 1, 9}, {99 * c.r, 10}};
    for (const Size& s : sizes) {
      SCOPED_TRACE(std::to_string(c.length) + "-byte text, " + std::to_string(s.bytes) + " bytes");
      recorder.events.clear();
      EXPECT_EQ(0, Scan(std::string(s.bytes, 'a'), text));
      EXPECT_EQ(s.notifications, recorder.Count(FOUND_PROGRESS));
    }
  }
}

// The file reaches the cycles through the read-ahead buffer: ReadFile is called
// once per buffer-full, and once more only when the last call filled the buffer
// (a short read is the end of the file). The cycles and the progress
// notifications are those the chunk rule gives, whatever the buffer.
TEST_F(FileContainsText, OneReadFeedsManyCyclesAndTheCyclesStayAsTheRuleSays) {
  Recorder recorder(finder_);
  constexpr size_t buffer = ReadAheadFile::kBufferSize;
  const std::string text = "VEN_6A3C&DEV_5E17";
  const size_t r = ReadSize(text.size());
  for (size_t size :
       {size_t{0}, size_t{5000}, buffer - 1, buffer, buffer + 1, 3 * buffer + 5, size_t{1} << 20}) {
    for (bool wide : {false, true}) {
      SCOPED_TRACE(std::to_string(size) + (wide ? " bytes of 16-bit text" : " bytes"));
      // Content that never holds the text: the scan reads it all.
      const std::string content =
          wide ? Wide(std::string(size / 2, 'x')) + std::string(size % 2, 'y')
               : std::string(size, 'x');
      ASSERT_EQ(size, content.size());
      recorder.events.clear();
      const int before = Reads();
      EXPECT_EQ(0, Scan(content, text));
      EXPECT_EQ(static_cast<int>(size / buffer + 1), Reads() - before);
      const size_t cycles = size / r + 1;
      EXPECT_EQ(static_cast<int>(cycles / 10), recorder.Count(FOUND_PROGRESS));
    }
  }
}

// The scan stops in the cycle that completes the text: no further cycle, and
// no read beyond the buffer-full that holds it. A text whose last byte lies at
// byte e of the file is complete in cycle e / R + 1.
TEST_F(FileContainsText, TheScanEndsAtTheChunkThatHoldsTheText) {
  Recorder recorder(finder_);
  constexpr size_t buffer = ReadAheadFile::kBufferSize;
  const std::string text = "VEN_6A3C&DEV_5E17";
  const size_t r = ReadSize(text.size());
  for (size_t at :
       {size_t{20}, size_t{111 * 3 + 20}, size_t{111 * 29 - 5}, buffer - 3, 2 * buffer + 100}) {
    SCOPED_TRACE(at);
    const std::string content = std::string(at, 'a') + text + std::string(4 * buffer, 'b');
    recorder.events.clear();
    const int before = Reads();
    EXPECT_EQ(1, Scan(content, text));
    const size_t last = at + text.size() - 1;
    EXPECT_EQ(static_cast<int>(last / buffer + 1), Reads() - before);
    EXPECT_EQ(static_cast<int>((last / r + 1) / 10), recorder.Count(FOUND_PROGRESS));
  }
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

// Any file, 8-bit, 16-bit or mixed, with runs of NUL bytes long enough to fill
// whole chunks: the scan finds the text exactly where the file's content with
// every NUL byte removed, upper-cased and behind L spaces (the first overlap),
// holds it, wherever the chunk borders fall; with every sieve width this
// processor runs (a search uses the widest, other processors a narrower one).
TEST_F(FileContainsText, AnyFileAgreesWithASearchOfItsWholeFilteredContent) {
  for (SieveWidth width :
       {SieveWidth::kBytes, SieveWidth::kSse2, SieveWidth::kAvx2, SieveWidth::kAvx512}) {
    if (SieveRuns(width)) AgreesWithTheFilteredContent(width);
  }
}

void FileContainsText::AgreesWithTheFilteredContent(SieveWidth width) {
  SCOPED_TRACE("sieve width " + std::to_string(static_cast<int>(width)));
  std::mt19937 random(20261208);
  const std::string alphabet = "abAB-";
  auto randomText = [&](size_t length) {
    std::string s;
    for (size_t i = 0; i < length; ++i) s += alphabet[random() % alphabet.size()];
    return s;
  };
  auto randomCase = [&](std::string s) {
    for (char& ch : s)
      if (random() % 2) ch = static_cast<char>(std::tolower(ch));
    return s;
  };
  // Content of `size` bytes: 8-bit runs, 16-bit runs and NUL runs, as asked.
  enum Kind { kEightBit, kSixteenBit, kMixed };
  auto randomContent = [&](Kind kind, size_t size, size_t r) {
    std::string content;
    while (content.size() < size) {
      const int run = kind == kEightBit ? 0 : kind == kSixteenBit ? 1 : random() % 3;
      const size_t length = 1 + random() % (2 * r);
      if (run == 0) content += randomText(length);
      if (run == 1) content += Wide(randomText(length / 2 + 1));
      if (run == 2) content += std::string(length, '\0');
    }
    content.resize(size);
    return content;
  };
  auto filtered = [](const std::string& content) {
    std::string out;
    for (char ch : content)
      if (ch != '\0') out += ch;
    return out;
  };
  const size_t lengths[] = {1, 2, 3, 5, 17, 63, 64, 65, 66, 90};
  int found = 0, missing = 0;
  for (int round = 0; round < 3000; ++round) {
    const Kind kind = static_cast<Kind>(round % 3);
    const size_t length = lengths[random() % (sizeof lengths / sizeof lengths[0])];
    // No leading space: the first overlap's spaces would count for it.
    const std::string text = randomText(length);
    const size_t r = ReadSize(length);
    // Sizes around the chunk borders, up to the sixth.
    const size_t border = r * (random() % 7);
    const int shift =
        static_cast<int>(random() % (4 * length + 9)) - static_cast<int>(2 * length + 4);
    const size_t size = static_cast<size_t>(std::max<int>(0, static_cast<int>(border) + shift));
    std::string content = randomContent(kind, size, r);
    // Half the files get the text planted across or near a border, as 8-bit
    // or 16-bit characters, or with a few NUL bytes between two of them.
    std::string planted = randomCase(text);
    if (random() % 3 == 0) {
      planted = Wide(planted);
    } else if (random() % 2) {
      planted.insert(random() % planted.size(), std::string(1 + random() % 4, '\0'));
    }
    if (random() % 2 && size >= planted.size()) {
      const size_t at = std::min(size - planted.size(),
                                 border > planted.size() ? border - random() % planted.size() : 0);
      content.replace(at, planted.size(), planted);
    }
    const int expected =
        Upper(std::string(length, ' ') + filtered(content)).find(Upper(text)) != std::string::npos;
    (expected ? found : missing) += 1;
    ASSERT_EQ(expected, Scan(content, text, width))
        << "text \"" << text << "\" in " << size << " bytes of kind " << kind;
  }
  // Both outcomes occur often enough for the comparison to mean something.
  EXPECT_GT(found, 600);
  EXPECT_GT(missing, 600);
}

// The borders that the carried overlap must bridge, one case each.
TEST_F(FileContainsText, MatchesAcrossBordersOfEveryKindOfChunkAreFound) {
  const std::string id = "VEN_6A3C&DEV_5E17";    // R = 111
  const std::string t64(64, 'q'), t65(65, 'q');  // R = 64 (B = 128), R = 65 (B = 130)
  const std::string nuls(111, '\0');
  struct Case {
    const char* what;
    std::string content;
    std::string text;
    int expected;
  };
  const Case cases[] = {
      {"8-bit across the first border", std::string(100, '.') + id, id, 1},
      {"8-bit half, 16-bit half across the border",
       std::string(104, '.') + "VEN_6A3C" + Wide("&DEV_5E17"), id, 1},
      {"16-bit half, 8-bit half across the border",
       std::string(95, '.') + Wide("VEN_6A3C") + "&DEV_5E17", id, 1},
      {"a whole chunk of NUL bytes inside the text",
       std::string(100, '.') + "VEN_6A3C" + nuls + nuls + "&DEV_5E17", id, 1},
      {"a first chunk of NUL bytes only", nuls + nuls + Wide(id), id, 1},
      {"NUL bytes only", nuls + nuls + nuls, id, 0},
      {"16-bit text at the very end", Wide(std::string(300, '.') + id), id, 1},
      {"16-bit text at the very end, its last NUL cut off",
       Wide(std::string(300, '.') + id).substr(0, 2 * 317 - 1), id, 1},
      {"16-bit text one character short at the end", Wide(std::string(300, '.') + id.substr(0, 16)),
       id, 0},
      {"16-bit, shorter than R", Wide(id), id, 1},
      {"16-bit, shorter than R, text incomplete", Wide(id.substr(1)), id, 0},
      {"64 characters as 16-bit text across borders", Wide(std::string(50, '.') + t64), t64, 1},
      {"65 characters as 16-bit text across borders", Wide(std::string(50, '.') + t65), t65, 1},
      {"64 characters, one short", Wide(std::string(50, '.') + t64.substr(1)), t64, 0},
      {"65 characters, one short", Wide(std::string(50, '.') + t65.substr(1)), t65, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, Scan(c.content, c.text)) << c.what;
  }
}

// The card's ID as a 16-bit file holds it, straddling a chunk border at every
// offset: R = 111 for 17 characters, so the borders lie at bytes 111 (inside a
// character when the text starts on an even byte) and 222 (between two
// characters). Each border is tried with the ID starting on either parity, and
// with the border anywhere from just before its first byte to just after its
// last.
TEST_F(FileContainsText, SixteenBitIdsAcrossAChunkBorderAreFoundAtEveryOffset) {
  const std::string id = "VEN_6A3C&DEV_5E17";
  const std::string wideId = Wide(id);  // 34 bytes
  const size_t r = ReadSize(id.size());
  ASSERT_EQ(111u, r);
  for (size_t border : {r, 2 * r, 3 * r}) {
    for (size_t before = 0; before <= wideId.size(); ++before) {
      // `before` bytes of the ID lie in front of the border.
      const size_t at = border - before;
      SCOPED_TRACE("border " + std::to_string(border) + ", " + std::to_string(before) +
                   " bytes before it, ID at byte " + std::to_string(at));
      // 16-bit filler in front (a byte-order mark, then characters), 16-bit
      // text behind, and the ID in lower case: case is ignored on the way.
      std::string content = "\xff\xfe" + Wide(std::string(at, '.')).substr(0, at - 2);
      ASSERT_EQ(at, content.size());
      content += Wide("ven_6a3c&dev_5e17") + Wide(std::string(300, '-'));
      EXPECT_EQ(1, Scan(content, id));
      // One character different: not found, wherever the border lies.
      std::string near = content;
      near[at + 2 * 16] = '8';
      EXPECT_EQ(0, Scan(near, id));
    }
  }
}

// A text that lies across a border of two read-ahead buffer-fulls is found in the
// cycle that holds its last byte, at every sieve width this processor runs: cycle
// e / R + 1 for a last byte at e, also where a chunk border lies between the read
// border and that byte. 8-bit and 16-bit, with NUL bytes inside, across the first and
// the second read border, from every start up to the text's whole length before it.
TEST_F(FileContainsText, ATextAcrossAReadBorderEndsTheScanInTheCycleOfItsLastByte) {
  constexpr size_t buffer = ReadAheadFile::kBufferSize;
  const std::string id = "VEN_6A3C&DEV_5E17";
  struct Case {
    const char* what;
    std::string text;
    std::string planted;
  };
  const Case cases[] = {
      {"8-bit ID", id, "ven_6a3c&dev_5e17"},
      {"16-bit ID", id, Wide(id)},
      {"16-bit ID, NUL bytes inside", id,
       Wide("VEN_6A3C") + std::string(90, '\0') + Wide("&DEV_5E17")},
      {"100 characters", std::string(60, 'q') + "&" + std::string(39, 'q'),
       std::string(60, 'Q') + "&" + std::string(39, 'q')},
  };
  for (const Case& c : cases) {
    const size_t r = ReadSize(c.text.size());
    for (size_t border : {buffer, 2 * buffer}) {
      for (size_t before = 1; before < c.planted.size(); before += 3) {
        SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(before) + " bytes before byte " +
                     std::to_string(border));
        const std::string content =
            std::string(border - before, 'x') + c.planted + std::string(300, 'x');
        const size_t last = border - before + c.planted.find_last_not_of('\0');
        for (SieveWidth width :
             {SieveWidth::kBytes, SieveWidth::kSse2, SieveWidth::kAvx2, SieveWidth::kAvx512}) {
          if (!SieveRuns(width)) continue;
          size_t cycles = 0;
          ASSERT_EQ(1, Scan(content, c.text, width, &cycles));
          ASSERT_EQ(last / r + 1, cycles) << "width " << static_cast<int>(width);
        }
      }
    }
  }
}

// Large files, whose cycles cross the read-ahead buffer's borders, against the
// chunk rule worked out in full on the whole content: the result and the cycles
// agree at every sieve width this processor runs (a text across a read border is
// reported in the cycle where it ends), and so do the finder's progress
// notifications, with NUL runs longer than a chunk, 16-bit text, and the text, or
// only its rarest characters, planted near the borders.
TEST_F(FileContainsText, LargeFilesGiveTheResultAndCyclesOfTheChunkRule) {
  // Every cycle worked: the filtered text behind L spaces, chunk by chunk; the
  // cycles it takes and whether it finds the text.
  auto reference = [](const std::string& content, const std::string& text, size_t* cycles) {
    const std::string pattern = Upper(text);
    const size_t r = ReadSize(text.size());
    std::string window(text.size(), ' ');
    for (size_t at = 0, n = 1;; at += r, ++n) {
      const size_t taken = std::min(r, content.size() - std::min(at, content.size()));
      for (size_t i = at; i < at + taken; ++i)
        if (content[i] != '\0') window += Upper(std::string(1, content[i]));
      *cycles = n;
      if (window.find(pattern) != std::string::npos) return 1;
      if (taken != r) return 0;
      window.erase(0, window.size() - text.size());
    }
  };
  constexpr size_t buffer = ReadAheadFile::kBufferSize;
  std::mt19937 random(4711);
  // Near misses around the anchor character (the text's beginnings and ends, in
  // 8-bit and 16-bit characters), also for texts that hold it more than once.
  const std::string texts[] = {"VEN_6A3C&DEV_5E17",        "a&b", "&",     "xyz",
                               std::string(70, 'q') + "&", "&x&", "ab&&ba"};
  constexpr int kTexts = sizeof texts / sizeof texts[0];
  Recorder recorder(finder_);
  for (int round = 0; round < 280; ++round) {
    const std::string& text = texts[round % kTexts];
    const size_t size = buffer + random() % (2 * buffer);
    std::string content;
    while (content.size() < size) {
      const int run = random() % 6;
      const size_t length = 1 + random() % 400;
      if (run == 0) content += std::string(length, '\0');
      if (run == 1) content += Wide(std::string(length, 'x'));
      if (run == 2) content += std::string(length, 'y') + (random() % 8 ? "" : "&");
      if (run == 3) content += text.substr(0, 1 + random() % text.size());
      if (run == 4) content += text.substr(random() % text.size());
      if (run == 5)
        content += Wide(text.substr(random() % text.size(), 1 + random() % text.size()));
    }
    content.resize(size);
    if (round / kTexts % 2) {
      const std::string planted = round / kTexts % 4 == 1 ? Wide(text) : text;
      // A chunk border near a border of the read-ahead buffer.
      const size_t r = ReadSize(text.size());
      const size_t border = r * (buffer / r + random() % 3) + (random() % 3 == 0 ? buffer : 0);
      const size_t at = std::min(size - planted.size(), border - random() % planted.size());
      content.replace(at, planted.size(), planted);
    }
    size_t cycles = 0;
    const int expected = reference(content, text, &cycles);
    recorder.events.clear();
    ASSERT_EQ(expected, Scan(content, text)) << "round " << round;
    ASSERT_EQ(static_cast<int>(cycles / 10), recorder.Count(FOUND_PROGRESS)) << "round " << round;
    for (SieveWidth width :
         {SieveWidth::kBytes, SieveWidth::kSse2, SieveWidth::kAvx2, SieveWidth::kAvx512}) {
      if (!SieveRuns(width)) continue;
      size_t taken = 0;
      ASSERT_EQ(expected, Scan(content, text, width, &taken)) << "round " << round;
      ASSERT_EQ(cycles, taken) << "round " << round << ", width " << static_cast<int>(width);
    }
  }
}

}  // namespace
