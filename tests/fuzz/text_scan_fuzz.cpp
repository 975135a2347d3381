// The content scan on any file and text, against the plain reading of the rule: the
// file's bytes without their NUL bytes, 'a' to 'z' upper-cased, behind L spaces (L the
// text's length), hold the upper-cased text; an empty text never matches. The scan takes
// cycles of R = max(2L, 128) - L bytes up to the one that holds the match's last byte, or
// to the first that reads fewer than R bytes; it reads the file a read-ahead buffer-full
// (64 KiB) at a time, up to the one that holds that byte, or to the first short one.
// Checked at every sieve width this processor runs (TextScan, the exact cycle count and
// the ReadFile calls), and through FileFinder::FileContainsText, whose progress
// notifications come after every 10th cycle and which leaves no handle open.
//
// The input: byte 0 gives L, bytes 1 and 2 (big-endian, modulo 1024) a run of filler
// that goes before the file's own bytes, byte 3 the filler's kind (bits 0 and 1) and its
// reach: with bit 7 the filler ends that many bytes before the first read-ahead border
// (bit 6 clear) or the second (bit 6 set), so that the file's own bytes, and a text in
// them, lie across it (fewer of those, as they take far longer); then the text's L bytes,
// then the file's own bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "file_search/file_finder.h"
#include "file_search/read_ahead_file.h"
#include "file_search/text_scan.h"
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

// What the rule says of `text` in `content`: whether it is there, the cycles the scan
// takes and the buffer-fulls it reads.
struct Expected {
  bool found = false;
  size_t cycles = 0;
  size_t reads = 0;
};

Expected Reference(const std::string& content, const std::string& text) {
  Expected e;
  const size_t length = text.size();
  const size_t readSize = std::max<size_t>(2 * length, 128) - length;
  // Without the text, every cycle and buffer-full up to the first short one.
  e.cycles = content.size() / readSize + 1;
  e.reads = content.size() / ReadAheadFile::kBufferSize + 1;
  if (text.empty()) return e;
  std::string filtered(length, ' ');
  std::vector<size_t> raw(length, 0);  // the file byte of each filtered character
  for (size_t i = 0; i < content.size(); ++i) {
    if (content[i] == '\0') continue;
    filtered += content[i];
    raw.push_back(i);
  }
  const size_t at = Upper(filtered).find(Upper(text));
  if (at == std::string::npos) return e;
  const size_t last = raw[at + length - 1];
  e.found = true;
  e.cycles = last / readSize + 1;
  e.reads = last / ReadAheadFile::kBufferSize + 1;
  return e;
}

// Win32 calls so far: between opening the file and closing it, the scan makes no
// other call than its reads. (CallCounts would name them, at a far higher cost.)
int Calls(sim::Machine& machine) { return machine.faults.TotalCalls(); }

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
  const size_t run = ((static_cast<size_t>(data[1]) << 8) | data[2]) % 1024;
  const size_t border = ReadAheadFile::kBufferSize * (data[3] & 0x40 ? 2 : 1);
  const size_t fillerSize = data[3] & 0x80 ? border - run : run;
  const std::string text(reinterpret_cast<const char*>(data) + kHeaderBytes, length);
  const std::string content =
      Filler(fillerSize, data[3], text) +
      std::string(reinterpret_cast<const char*>(data) + kHeaderBytes + length,
                  size - kHeaderBytes - length);

  sim::Machine& machine = Machine();
  machine.files.WriteFile(kPath, content);
  sim::ProcessScope scope(machine);
  const Expected expected = Reference(content, text);
  const std::string where = ", text of " + std::to_string(length) + " bytes in " +
                            std::to_string(content.size()) + " bytes";

  for (SieveWidth width :
       {SieveWidth::kBytes, SieveWidth::kSse2, SieveWidth::kAvx2, SieveWidth::kAvx512}) {
    if (text.empty() || !SieveRuns(width)) continue;
    const std::string at = " at sieve width " + std::to_string(static_cast<int>(width)) + where;
    ReadAheadFile file(kPath);
    CycleCounter cycles(nullptr, nullptr);
    const int before = Calls(machine);
    const bool found = TextScan(text, width).In(file, cycles);
    if (found != expected.found)
      Fail("found " + std::to_string(found) + ", the rule says " + std::to_string(expected.found) +
           at);
    if (cycles.total() != expected.cycles)
      Fail(std::to_string(cycles.total()) + " cycles, the rule says " +
           std::to_string(expected.cycles) + at);
    const size_t reads = static_cast<size_t>(Calls(machine) - before);
    if (reads != expected.reads)
      Fail(std::to_string(reads) + " reads, the rule says " + std::to_string(expected.reads) + at);
  }

  FileFinder finder;
  finder.SetCallback(&CountProgress, kUserData);
  g_progress = 0;
  const size_t handles = scope.process().handles.Count();
  const int found = finder.FileContainsText(kPath, text);
  if (scope.process().handles.Count() != handles) Fail("the scan left a handle open");
  if (found != (expected.found ? 1 : 0))
    Fail("the finder found " + std::to_string(found) + ", the rule says " +
         std::to_string(expected.found) + where);
  if (static_cast<size_t>(g_progress) != (text.empty() ? 0 : expected.cycles / 10)) {
    Fail(std::to_string(g_progress) + " progress notifications for " +
         std::to_string(expected.cycles) + " cycles" + where);
  }
  return 0;
}
