// The fixture of the simulated KERNEL32 file tests: a machine with C:\work and a
// process on it, and a file handle that is closed on every path.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
#include "platform/win32.h"

namespace sim_files_test {

// A handle closed on every path.
class File {
 public:
  explicit File(HANDLE h) : h_(h) {}
  ~File() { Close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept : h_(other.h_) { other.h_ = INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  void Close() {
    if (valid()) CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE h_;
};

// A FILETIME as the 100-ns ticks it counts.
inline uint64_t Ticks(const FILETIME& t) {
  return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kUnset = 4711;  // a last error no call sets

class SimFiles : public ::testing::Test {
 protected:
  SimFiles() {
    machine.files.MakeDirectories("C:\\work");
    Put("C:\\work\\old.txt", "old");
  }

  static sim::ProcessOptions Options() {
    sim::ProcessOptions o;
    o.modulePath = "C:\\work\\prog.exe";
    return o;
  }

  File Open(const std::string& path, DWORD access, DWORD share = 0,
            DWORD disposition = OPEN_EXISTING, DWORD attributes = 0) {
    return File(
        CreateFileA(path.c_str(), access, share, nullptr, disposition, attributes, nullptr));
  }

  void Put(const std::string& path, const std::string& content,
           DWORD attributes = FILE_ATTRIBUTE_ARCHIVE) {
    ASSERT_TRUE(machine.files.WriteFile(path, content, attributes)) << path;
  }

  std::shared_ptr<sim::FsNode> Node(const std::string& path) { return machine.files.Find(path); }

  std::string Content(const std::string& path) {
    auto node = Node(path);
    return node ? node->content : "<missing>";
  }

  static std::string Write(HANDLE h, const std::string& text) {
    DWORD n = 0;
    if (!WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr)) return "<error>";
    return std::to_string(n);
  }

  sim::Machine machine;
  sim::ProcessScope scope{machine, Options()};
};

}  // namespace sim_files_test
