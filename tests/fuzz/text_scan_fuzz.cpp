// FileFinder::FileContainsText on any file and text, against the plain reading of the
// rule: the file's bytes without their NUL bytes, 'a' to 'z' upper-cased, behind L
// spaces (L the text's length), hold the upper-cased text; an empty text never matches.
// The progress notifications come after every 10th cycle of R = max(2L, 128) - L bytes,
// the cycles the scan takes being those up to the one that finds the text or reads
// fewer than R bytes. The scan leaves no handle open.
//
// The input: byte 0 gives L, bytes 1 and 2 a run of filler that goes before the file's
// own bytes, byte 3 the filler's kind and its scale: up to 1 KiB, or, with bit 7, up to
// 128 KiB so that cycles cross the 64 KiB borders of the read-ahead buffer (fewer of
// those, as they take far longer); then the text's L bytes, then the file's bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "file_search/file_finder.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"

namespace {

constexpr char kPath[] = "C:\\scan\\file.bin";
constexpr size_t kHeaderBytes = 4;
constexpr size_t kLongestText = 200;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "text_scan_fuzz: %s\n", what.c_str());
  std::abort();
}

sim::Machine& Machine() {
  static std::unique_ptr<sim::Machine> machine = [] {
    std::string error;
    auto made = sim::MachineFromEdition("xp", &error);
    if (!made) Fail("no xp machine: " + error);
    return made;
  }();
  return *machine;
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// Filler of `size` bytes: NUL bytes, 8-bit text, 16-bit text, or the text's own first
// character in both forms (which keeps a scan from passing over cycles).
std::string Filler(size_t size, uint8_t kind, const std::string& text) {
  const char first = text.empty() ? 'e' : text[0];
  std::string out(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    switch (kind % 4) {
      case 0:
        break;
      case 1:
        out[i] = static_cast<char>('a' + i % 26);
        break;
      case 2:
        out[i] = i % 2 ? '\0' : static_cast<char>('A' + (i / 2) % 26);
        break;
      case 3:
        out[i] = i % 3 ? first : static_cast<char>(first ^ 0x20);
        break;
    }
  }
  return out;
}

// Whether the rule finds `text` in `content`, and how many cycles it takes.
bool Reference(const std::string& content, const std::string& text, size_t* cycles) {
  *cycles = 0;
  if (text.empty()) return false;
  const size_t length = text.size();
  const size_t readSize = std::max<size_t>(2 * length, 128) - length;
  std::string filtered(length, ' ');
  for (char c : content)
    if (c != '\0') filtered += c;
  const size_t at = Upper(filtered).find(Upper(text));
  if (at == std::string::npos) {
    // Every cycle up to the first that reads fewer than R bytes, none at the end.
    *cycles = content.size() / readSize + 1;
    return false;
  }
  // The first cycle whose filtered bytes reach the match's end.
  size_t seen = 0;
  for (size_t raw = 0;; raw += readSize) {
    ++*cycles;
    for (size_t i = raw; i < std::min(raw + readSize, content.size()); ++i)
      if (content[i] != '\0') ++seen;
    if (seen >= at) return true;
  }
}

constexpr DWORD kUserData = 0x5CA11ED;
int g_progress = 0;

void CountProgress(FileFinder*, int code, DWORD userData) {
  if (userData != kUserData) Fail("the notification's value changed");
  if (code == FOUND_PROGRESS) ++g_progress;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHeaderBytes) return 0;
  const size_t length = std::min<size_t>(data[0] % (kLongestText + 1), size - kHeaderBytes);
  const size_t fillerSize =
      data[3] & 0x80 ? (static_cast<size_t>(data[1]) << 9) | (data[2] << 1) | (data[0] & 1)
                     : (static_cast<size_t>(data[1]) << 2) | (data[2] & 3);
  const std::string text(reinterpret_cast<const char*>(data) + kHeaderBytes, length);
  const std::string content =
      Filler(fillerSize, data[3], text) +
      std::string(reinterpret_cast<const char*>(data) + kHeaderBytes + length,
                  size - kHeaderBytes - length);

  sim::Machine& machine = Machine();
  machine.files.WriteFile(kPath, content);
  sim::ProcessScope scope(machine);
  FileFinder finder;
  finder.SetCallback(&CountProgress, kUserData);
  g_progress = 0;
  const size_t handles = scope.process().handles.Count();
  const int found = finder.FileContainsText(kPath, text);
  if (scope.process().handles.Count() != handles) Fail("the scan left a handle open");

  size_t cycles = 0;
  const bool expected = Reference(content, text, &cycles);
  if (found != (expected ? 1 : 0)) {
    Fail("found " + std::to_string(found) + ", the rule says " + std::to_string(expected) +
         ", text of " + std::to_string(length) + " bytes in " + std::to_string(content.size()));
  }
  if (static_cast<size_t>(g_progress) != cycles / 10) {
    Fail(std::to_string(g_progress) + " progress notifications for " + std::to_string(cycles) +
         " cycles");
  }
  return 0;
}
