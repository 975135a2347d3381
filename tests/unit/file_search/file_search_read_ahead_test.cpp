// ReadAheadFile: requests of any size, served from a buffer of fixed size, give
// the file's bytes in order and fewer than asked only at the end; one ReadFile
// per buffer-full; no sharing; closed on every path; a read error reported.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "file_search/read_ahead_file.h"
#include "file_search_test_support.h"
#include "platform/win32.h"

namespace {

using file_search_test::Xp;

const char kPath[] = "C:\\scan\\file.bin";
constexpr size_t kBuffer = ReadAheadFile::kBufferSize;

// Bytes that differ from one position to the next, NUL bytes among them.
std::string Pattern(size_t size) {
  std::string content(size, '\0');
  for (size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 7 + i / 251) % 256);
  return content;
}

class ReadAhead : public ::testing::Test {
 protected:
  ReadAhead() : machine_(Xp()), scope_(*machine_) {}
  int Reads() { return machine_->faults.CallCounts()["ReadFile"]; }

  std::unique_ptr<sim::Machine> machine_;
  sim::ProcessScope scope_;
};

TEST_F(ReadAhead, RequestsOfAnySizeGiveTheWholeFileInOrder) {
  const size_t sizes[] = {0, 1, 110, kBuffer - 1, kBuffer, kBuffer + 1, 3 * kBuffer + 17};
  const size_t requests[] = {1, 111, 4096, kBuffer, kBuffer + 3, 3 * kBuffer};
  for (size_t size : sizes) {
    const std::string content = Pattern(size);
    machine_->files.WriteFile(kPath, content);
    for (size_t request : requests) {
      SCOPED_TRACE(std::to_string(size) + " bytes in requests of " + std::to_string(request));
      const int before = Reads();
      ReadAheadFile file(kPath);
      ASSERT_TRUE(file.isOpen());
      std::string read;
      std::vector<char> chunk(request);
      size_t got = 0;
      // Every request is served whole until the end of the file.
      do {
        ASSERT_TRUE(file.Read(chunk.data(), request, &got));
        read.append(chunk.data(), got);
        if (got != request) {
          EXPECT_EQ(size, read.size());
        }
      } while (got == request);
      EXPECT_EQ(content, read);
      // Past the end: nothing more, and no further call.
      const int atEnd = Reads();
      EXPECT_TRUE(file.Read(chunk.data(), request, &got));
      EXPECT_EQ(0u, got);
      EXPECT_EQ(atEnd, Reads());
      // One call per buffer-full, and one that comes back short.
      EXPECT_EQ(static_cast<int>(size / kBuffer + 1), Reads() - before);
    }
  }
}

TEST_F(ReadAhead, TheFileIsSharedWithNoOneAndClosedWithTheObject) {
  machine_->files.WriteFile(kPath, "abc");
  const size_t handles = scope_.process().handles.Count();
  {
    ReadAheadFile file(kPath);
    ASSERT_TRUE(file.isOpen());
    EXPECT_EQ(handles + 1, scope_.process().handles.Count());
    HANDLE other = CreateFileA(kPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, other);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  }
  EXPECT_EQ(handles, scope_.process().handles.Count());
  // Held open elsewhere, even with every sharing bit: this open fails.
  HANDLE other = CreateFileA(kPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, other);
  EXPECT_FALSE(ReadAheadFile(kPath).isOpen());
  CloseHandle(other);
  EXPECT_FALSE(ReadAheadFile("C:\\scan\\missing.bin").isOpen());
  machine_->files.MakeDirectories("C:\\scan\\folder");
  EXPECT_FALSE(ReadAheadFile("C:\\scan\\folder").isOpen());
  EXPECT_EQ(handles, scope_.process().handles.Count());
}

TEST_F(ReadAhead, AReadErrorIsReportedWithTheBytesAlreadyCopied) {
  const std::string content = Pattern(2 * kBuffer + 10);
  machine_->files.WriteFile(kPath, content);
  machine_->faults.Add({"ReadFile", ERROR_GEN_FAILURE, 2, ""});
  const size_t handles = scope_.process().handles.Count();
  {
    ReadAheadFile file(kPath);
    std::vector<char> chunk(kBuffer + 100);
    size_t got = 1;
    // The first buffer-full comes, the second call fails.
    EXPECT_FALSE(file.Read(chunk.data(), chunk.size(), &got));
    EXPECT_EQ(kBuffer, got);
    EXPECT_EQ(content.substr(0, kBuffer), std::string(chunk.data(), got));
    // After an error the file reads as ended.
    EXPECT_TRUE(file.Read(chunk.data(), chunk.size(), &got));
    EXPECT_EQ(0u, got);
  }
  EXPECT_EQ(handles, scope_.process().handles.Count());
}

}  // namespace
