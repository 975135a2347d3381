// The uninstaller's search of the Windows INF folder at real size: 3,000 INF and
// PNF files, about 100 MB, 8-bit and 16-bit INFs and 16-bit PNFs, searched for two
// of the card's IDs the way the uninstaller does (masks "**.inf*" then "**.pnf*",
// sub-folders too, attribute mask 0x927, the content test); then the same for a
// folder of 16-bit PNF files alone (1,500 files, about 50 MB), the kind that takes
// the scan longest. A few files hold an ID, some of them across a chunk border of
// the 16-bit scan. The same program runs natively on the simulated Windows and, built
// in the Windows trees, under Wine on a folder on the host's disk (bench_host.h).
//
// Fails only on what does not depend on the clock: the number of files each search
// and each ID's content tests find must be the number planted, the searches may take
// no more ReadFile calls than the scan's read-ahead buffer needs (where the host
// counts them), and the heap that a scan uses must not grow with the file's size (a
// 1 MB and a 50 MB file are scanned with a counting allocator). Reports, for each
// folder, where the time of a search goes beside a plain read of the same files
// through the same calls (the best of ROUNDS rounds, 5 unless set; other work on the
// machine slows some rounds): the plain read, of whole files into a 1 MiB buffer and
// 64 KiB a call as the content test reads (the ratios are of the faster of the two:
// under Wine a call costs more the larger its buffer), the content test, the folder
// walk alone (the searches without the content test) and the whole search; a WARNING
// line when the content test is slower than two thirds of the plain read. The last
// line reads
//   inf-search <X> MB/s, plain read <Y> MB/s, ratio <R>, whole search <S>,
//   PNF alone <P>, sieve <W> bytes, peak <Z> MiB
// (one line): the INF folder's content test and plain read, their ratio and the whole
// search's, the content test's ratio for the PNF folder, the sieve's step as this
// processor and system chose it, and the process's peak memory.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "bench_host.h"
#include "file_search/anchor_sieve.h"
#include "file_search/file_finder.h"
#include "file_search/read_ahead_file.h"
#include "platform/win32.h"

// ---- A counting allocator: every operator new of the program, with its high-water
// mark. Sizes are what malloc really handed out, so that a delete subtracts exactly
// what its new added.

namespace {
std::atomic<int64_t> g_heapInUse{0};
std::atomic<int64_t> g_heapPeak{0};

void* CountedAllocate(size_t size) {
  void* block = std::malloc(size ? size : 1);
  if (!block) throw std::bad_alloc();
  const int64_t handedOut = static_cast<int64_t>(bench::BlockSize(block));
  const int64_t now = g_heapInUse.fetch_add(handedOut) + handedOut;
  int64_t peak = g_heapPeak.load();
  while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
  }
  return block;
}

void CountedFree(void* block) {
  if (!block) return;
  g_heapInUse.fetch_sub(static_cast<int64_t>(bench::BlockSize(block)));
  std::free(block);
}
}  // namespace

void* operator new(size_t size) { return CountedAllocate(size); }
void* operator new[](size_t size) { return CountedAllocate(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return CountedAllocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  try {
    return CountedAllocate(size);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* block) noexcept { CountedFree(block); }
void operator delete[](void* block) noexcept { CountedFree(block); }
void operator delete(void* block, size_t) noexcept { CountedFree(block); }
void operator delete[](void* block, size_t) noexcept { CountedFree(block); }

namespace {

const char* const kIds[] = {"VEN_6A3C&DEV_5E17", "VEN_6A3C&DEV_5E18"};
constexpr int kIdCount = 2;
const char* const kMasks[] = {"**.inf*", "**.pnf*"};
const int kRounds = getenv("ROUNDS") ? std::max(1, atoi(getenv("ROUNDS"))) : 5;
constexpr DWORD kCardAttributeMask = 0x927;
// R of the scan for a 17-character ID: B = 128, R = 128 - 17.
constexpr size_t kChunkRead = 111;
constexpr size_t kReadAhead = ReadAheadFile::kBufferSize;

// ---- Files, through the Win32 calls of the host.

std::string LastError() { return "error " + std::to_string(GetLastError()); }

void MakeFolder(const std::string& path, bool* ok) {
  if (CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return;
  std::fprintf(stderr, "FAILED: cannot make %s: %s\n", path.c_str(), LastError().c_str());
  *ok = false;
}

// Writes `content` as the whole file, replacing one there, with those attributes (0:
// FILE_ATTRIBUTE_NORMAL alone).
void WriteWholeFile(const std::string& path, const std::string& content, DWORD attributes,
                    bool* ok) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  const bool wrote =
      file != INVALID_HANDLE_VALUE &&
      WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
      written == content.size();
  const std::string error = LastError();
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (wrote && SetFileAttributesA(path.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL))
    return;
  std::fprintf(stderr, "FAILED: cannot write %s: %s\n", path.c_str(), error.c_str());
  *ok = false;
}

void DeleteWrittenFile(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
}

std::string Wide(const std::string& text) {
  std::string wide;
  wide.reserve(2 * text.size());
  for (char c : text) {
    wide += c;
    wide += '\0';
  }
  return wide;
}

// INF-like text of about `size` characters: sections, keys, strings, comments.
std::string InfText(std::mt19937& random, size_t size) {
  static const char* const kLines[] = {
      "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=System\r\n",
      "ClassGuid={4d36e97d-e325-11ce-bfc1-08002be10318}\r\nProvider=%Msft%\r\n",
      "[Manufacturer]\r\n%Std%=Standard,NTx86\r\n",
      "[Standard.NTx86]\r\n%Dev%=Install_Dev,PCI\\VEN_8086&DEV_2448\r\n",
      "%Dev%=Install_Dev,PCI\\VEN_1000&DEV_0030&SUBSYS_00000000\r\n",
      "[Install_Dev.NT]\r\nCopyFiles=Dev.CopyFiles\r\nAddReg=Dev.AddReg\r\n",
      "HKR,,DevLoader,,*ntkern\r\nHKR,,NTMPDriver,,device.sys\r\n",
      "; The rest of this file is generated; do not edit.\r\n",
      "[Strings]\r\nMsft=\"Microsoft\"\r\nDev=\"Standard device\"\r\n",
      "[SourceDisksFiles]\r\ndevice.sys=1,,12345\r\n",
  };
  std::string text;
  text.reserve(size + 128);
  while (text.size() < size) text += kLines[random() % (sizeof kLines / sizeof kLines[0])];
  text.resize(size);
  return text;
}

// The files a generated folder holds.
struct Kinds {
  int files;
  size_t targetBytes;
  bool pnfOnly;  // else in turn an 8-bit INF, a 16-bit INF and a PNF
};
constexpr Kinds kInfFolder = {3000, 100u << 20, false};
constexpr Kinds kPnfFolder = {1500, 50u << 20, true};

// What the generator wrote.
struct Folder {
  std::string infFolder;
  int64_t infBytes = 0;  // of the files "**.inf*" covers
  int64_t pnfBytes = 0;  // of the files "**.pnf*" covers
  // planted[id][0]: INF files that hold the ID and pass the attribute test with the
  // attributes the system reports (Wine may keep fewer than it was given);
  // planted[id][1]: PNF files likewise.
  int planted[kIdCount][2] = {};
  int passingAttributes = 0;   // files that pass the attribute test
  int holding[kIdCount] = {};  // files that hold the ID, whatever their attributes
  int acrossBorders = 0;       // 16-bit files whose ID straddles a chunk border
  // ReadFile calls a scan of every file to its end takes: one per read-ahead
  // buffer-full, and one that comes back short.
  int64_t readsToTheEnd = 0;
  std::vector<std::string> paths;
};

// A file byte at which a 17-character ID in 16-bit characters straddles a chunk
// border (R = 111 apart) with `before` of its 34 bytes in front of it, within the
// first `size` bytes; the borders chosen vary, and so does their parity.
size_t AcrossBorder(size_t size, size_t before) {
  const size_t border = kChunkRead * (1 + (size / 3 + before * 7) / kChunkRead);
  return border - before;
}

Folder Generate(const std::string& path, const Kinds& kinds, bool* ok) {
  Folder folder;
  folder.infFolder = path;
  MakeFolder(path, ok);
  std::mt19937 random(20261208);
  // Sizes: most files a few KB to some tens of KB, one in fifty between 0.5 and
  // 2.5 MB, scaled so that the folder holds the size asked for.
  std::vector<size_t> sizes(kinds.files);
  double total = 0;
  for (int i = 0; i < kinds.files; ++i) {
    sizes[i] = i % 50 == 7 ? 512 * 1024 + random() % (2 << 20) : 1024 + random() % 40000;
    total += static_cast<double>(sizes[i]);
  }
  for (size_t& s : sizes) {
    s = static_cast<size_t>(static_cast<double>(s) * kinds.targetBytes / total);
  }

  for (int i = 0; i < kinds.files; ++i) {
    // Kinds in turn: 8-bit INF, 16-bit INF with a byte-order mark, PNF (a binary
    // header, then the text as 16-bit characters); or PNFs alone.
    const int kind = kinds.pnfOnly ? 2 : i % 3;
    const bool isPnf = kind == 2;
    // One file in 149 holds an ID (149 is prime to 3, so every kind gets some).
    const bool planted = i % 149 == 11;
    const int p = i / 149;
    // A few files lie in sub-folders, which the search enters too.
    const std::string sub =
        i % 97 == 3 || (planted && p % 4 == 3) ? "\\sub" + std::to_string(i % 4) : "";
    const std::string name = (i % 5 == 0 ? "oem" + std::to_string(i) : "drv" + std::to_string(i)) +
                             (isPnf ? ".pnf" : ".inf");
    std::string content;
    const size_t textSize = kind == 0 ? sizes[i] : sizes[i] / 2;
    std::string text = InfText(random, textSize);
    // The IDs in turn, in upper or lower case; in 16-bit files across a chunk border,
    // with 1 ... 33 of the ID's 34 bytes in front of it.
    int plantedId = -1;
    if (planted) {
      plantedId = p % kIdCount;
      std::string id = kIds[plantedId];
      if (p % 3 == 1)
        for (char& c : id) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (kind == 0) {
        text.replace(random() % (text.size() - id.size()), id.size(), id);
      } else {
        // The 16-bit text starts behind a header of an even number of bytes, so its
        // characters start on even bytes of the file.
        const size_t header = kind == 1 ? 2 : 88;
        const size_t at = AcrossBorder(2 * text.size(), 1 + p % 33) - header;
        const size_t character = at / 2;
        const size_t first = header + 2 * character, last = first + 2 * id.size() - 1;
        if (first / kChunkRead != last / kChunkRead) ++folder.acrossBorders;
        text.resize(std::max(text.size(), character + id.size() + 10), '.');
        text.replace(character, id.size(), id);
      }
    }
    // Near misses: the ID with its last character changed.
    if (i % 149 == 77) text.replace(100, 17, "VEN_6A3C&DEV_5E19");
    if (kind == 0) {
      content = std::move(text);
    } else if (kind == 1) {
      content = "\xff\xfe" + Wide(text);
    } else {
      content.assign(88, '\0');
      content[0] = 0x01;
      content[1] = 0x01;
      content[4] = 0x02;
      content += Wide(text);
    }
    // Attributes: archive mostly, some read-only, hidden or system; a planted file
    // left with FILE_ATTRIBUTE_NORMAL only is not the uninstaller's to find.
    uint32_t attributes = FILE_ATTRIBUTE_ARCHIVE;
    if (i % 7 == 1) attributes |= FILE_ATTRIBUTE_READONLY;
    if (i % 11 == 2) attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (planted && p % 7 == 5) attributes = 0;
    if (plantedId >= 0) ++folder.holding[plantedId];
    (isPnf ? folder.pnfBytes : folder.infBytes) += static_cast<int64_t>(content.size());
    folder.readsToTheEnd += static_cast<int64_t>(content.size() / kReadAhead + 1);
    if (!sub.empty()) MakeFolder(folder.infFolder + sub, ok);
    const std::string file = folder.infFolder + sub + "\\" + name;
    WriteWholeFile(file, content, attributes, ok);
    folder.paths.push_back(file);
    const DWORD kept = GetFileAttributesA(file.c_str());
    if (kept != INVALID_FILE_ATTRIBUTES && (kept & kCardAttributeMask) != 0) {
      ++folder.passingAttributes;
      if (plantedId >= 0) ++folder.planted[plantedId][isPnf ? 1 : 0];
    }
  }
  return folder;
}

int g_matches = 0;

void CountMatch(FileFinder*, int code, DWORD) {
  if (code == FOUND_MATCH) ++g_matches;
}

double Megabytes(int64_t bytes) { return static_cast<double>(bytes) / 1e6; }

// The uninstaller's two searches for one ID, with the content test or without it;
// the matches found by each.
void SearchForId(const std::string& infFolder, const char* id, bool content, int found[2]) {
  FileFinder finder;
  finder.SetCallback(&CountMatch, 0);
  FileFinderFilter filter;
  filter.ResetFilter();
  for (int m = 0; m < 2; ++m) {
    filter.folder = infFolder;
    filter.mask = kMasks[m];
    filter.text = id;
    filter.recurse = 1;
    filter.flags |= FIND_BY_ATTRIBUTES | (content ? FIND_BY_TEXT : 0);
    filter.attributeMask |= kCardAttributeMask;
    finder.ClearResults();
    g_matches = 0;
    finder.Search(filter);
    finder.Stop();
    found[m] = g_matches;
  }
}

// The content test alone, as the search makes it, on every file of the folder for
// one ID: how many files hold it.
int ContentTests(const std::vector<std::string>& paths, const char* id) {
  FileFinder finder;
  finder.SetCallback(&CountMatch, 0);
  int holding = 0;
  for (const std::string& path : paths) holding += finder.FileContainsText(path, id);
  return holding;
}

// The plain read as the content test reads: each file through a read-ahead buffer
// (64 KiB a call), to its end; the bytes read.
int64_t ReadAheadRead(const std::vector<std::string>& paths, char* buffer) {
  int64_t bytes = 0;
  for (const std::string& path : paths) {
    ReadAheadFile file(path, buffer);
    const char* span = nullptr;
    size_t got = 0;
    while (file.Next(SIZE_MAX, &span, &got) && got != 0) bytes += static_cast<int64_t>(got);
  }
  return bytes;
}

// Opens each file and reads it whole into `buffer` (a large one, allocated and
// touched beforehand so that its pages cost the read nothing).
bool PlainRead(const std::vector<std::string>& paths, std::vector<char>& buffer, int64_t* bytes) {
  *bytes = 0;
  for (const std::string& path : paths) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), LastError().c_str());
      return false;
    }
    DWORD read = 0;
    do {
      if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
        CloseHandle(file);
        return false;
      }
      *bytes += read;
    } while (read == buffer.size());
    CloseHandle(file);
  }
  return true;
}

// The heap a scan of one file of `size` bytes of 16-bit text without the ID uses at
// its highest, beyond what was in use before it; -1 when the scan fails.
int64_t ScanHighWater(const std::string& folder, size_t size) {
  const std::string path = folder + "\\scan.inf";
  std::string content = "\xff\xfe";
  content.reserve(size);
  while (content.size() < size) content += content.size() % 2 ? '\0' : 'x';
  bool ok = true;
  WriteWholeFile(path, content, FILE_ATTRIBUTE_ARCHIVE, &ok);
  content = std::string();
  FileFinder finder;
  finder.SetCallback(&CountMatch, 0);
  const int64_t before = g_heapInUse.load();
  g_heapPeak.store(before);
  const int found = finder.FileContainsText(path, kIds[0]);
  const int64_t highWater = g_heapPeak.load() - before;
  DeleteWrittenFile(path);
  return ok && !found ? highWater : -1;
}

// The seconds of each part of a search, the best of the rounds, for one pass over
// the folder's bytes (one ID).
struct Times {
  double read = 0;       // the plain read, whole files into 1 MiB
  double readAhead = 0;  // the plain read as the content test reads, 64 KiB a call
  double content = 0;    // the content test
  double walk = 0;       // the searches without the content test
  double search = 0;     // the whole search
};

class Rounds {
 public:
  explicit Rounds(double* best) : best_(best), started_(bench::Seconds()) {}
  ~Rounds() {
    const double seconds = bench::Seconds() - started_;
    if (*best_ == 0 || seconds < *best_) *best_ = seconds;
  }

 private:
  double* best_;
  double started_;
};

bool CheckFound(const Folder& folder, int found[kIdCount][2], const char* what) {
  bool ok = true;
  for (int id = 0; id < kIdCount; ++id) {
    if (found[id][0] != folder.planted[id][0] || found[id][1] != folder.planted[id][1]) {
      std::fprintf(stderr, "FAILED: %s: %s found %d INF and %d PNF files, %d and %d planted\n",
                   kIds[id], what, found[id][0], found[id][1], folder.planted[id][0],
                   folder.planted[id][1]);
      ok = false;
    }
  }
  return ok;
}

// Every part of the uninstaller's searches of the folder, each beside the others in
// every round; false when a deterministic measure fails.
bool Measure(const Folder& folder, Times* times) {
  bool ok = true;
  std::vector<char> buffer(1 << 20, 1);
  std::unique_ptr<char[]> readAhead(new char[kReadAhead]);
  const int64_t bytes = folder.infBytes + folder.pnfBytes;
  // Each part runs for both IDs; its time is halved to one pass.
  Times sum;
  for (int round = 0; round < kRounds; ++round) {
    const int64_t readsBefore = bench::ReadFileCalls();
    int found[kIdCount][2] = {};
    {
      Rounds timed(&sum.search);
      for (int id = 0; id < kIdCount; ++id)
        SearchForId(folder.infFolder, kIds[id], true, found[id]);
    }
    const int64_t searchReads = bench::ReadFileCalls() - readsBefore;
    for (int id = 0; id < kIdCount && round == 0; ++id) {
      std::printf("%s: %d INF and %d PNF files found, %d and %d planted\n", kIds[id], found[id][0],
                  found[id][1], folder.planted[id][0], folder.planted[id][1]);
    }
    if (!CheckFound(folder, found, "the search")) ok = false;
    // Two searches per ID, together over every file once: a file scanned to its end
    // takes the reads of the read-ahead buffer, one where a match stops early fewer.
    if (readsBefore >= 0) {
      if (searchReads > kIdCount * folder.readsToTheEnd) {
        std::fprintf(stderr, "FAILED: %lld ReadFile calls, more than the %lld of the read-ahead\n",
                     static_cast<long long>(searchReads),
                     static_cast<long long>(kIdCount * folder.readsToTheEnd));
        ok = false;
      }
      if (round == 0)
        std::printf("%lld ReadFile calls for the searches\n", static_cast<long long>(searchReads));
    }

    int walked[kIdCount][2] = {};
    {
      Rounds timed(&sum.walk);
      for (int id = 0; id < kIdCount; ++id)
        SearchForId(folder.infFolder, kIds[id], false, walked[id]);
    }
    for (int id = 0; id < kIdCount; ++id) {
      if (walked[id][0] + walked[id][1] != folder.passingAttributes) {
        std::fprintf(stderr, "FAILED: the walk found %d files, %d pass the attribute test\n",
                     walked[id][0] + walked[id][1], folder.passingAttributes);
        ok = false;
      }
    }

    int holding[kIdCount] = {};
    {
      Rounds timed(&sum.content);
      for (int id = 0; id < kIdCount; ++id) holding[id] = ContentTests(folder.paths, kIds[id]);
    }
    for (int id = 0; id < kIdCount; ++id) {
      if (holding[id] != folder.holding[id]) {
        std::fprintf(stderr, "FAILED: %s: the content test found %d files, %d hold it\n", kIds[id],
                     holding[id], folder.holding[id]);
        ok = false;
      }
    }

    int64_t readAheadBytes = 0;
    {
      Rounds timed(&sum.readAhead);
      for (int id = 0; id < kIdCount; ++id)
        readAheadBytes += ReadAheadRead(folder.paths, readAhead.get());
    }
    int64_t plainBytes = 0;
    {
      Rounds timed(&sum.read);
      for (int id = 0; id < kIdCount; ++id) {
        int64_t got = 0;
        if (!PlainRead(folder.paths, buffer, &got)) {
          std::fprintf(stderr, "FAILED: the plain read\n");
          return false;
        }
        plainBytes += got;
      }
    }
    if (plainBytes != kIdCount * bytes || readAheadBytes != kIdCount * bytes) {
      std::fprintf(stderr, "FAILED: the reads brought %lld and %lld bytes, not %lld\n",
                   static_cast<long long>(plainBytes), static_cast<long long>(readAheadBytes),
                   static_cast<long long>(kIdCount * bytes));
      ok = false;
    }
  }
  times->read = sum.read / kIdCount;
  times->readAhead = sum.readAhead / kIdCount;
  times->content = sum.content / kIdCount;
  times->walk = sum.walk / kIdCount;
  times->search = sum.search / kIdCount;
  return ok;
}

void RemoveFolder(const Folder& folder) {
  for (const std::string& file : folder.paths) DeleteWrittenFile(file);
  for (int sub = 0; sub < 4; ++sub)
    RemoveDirectoryA((folder.infFolder + "\\sub" + std::to_string(sub)).c_str());
  RemoveDirectoryA(folder.infFolder.c_str());
}

// The parts of one folder's search; the rates of the content test, the plain read
// and the whole search.
struct Rates {
  double content = 0, read = 0, search = 0;
};

Rates Report(const char* name, int64_t bytes, const Times& t) {
  auto rate = [&](double seconds) { return Megabytes(bytes) / seconds; };
  auto ms = [](double seconds) { return seconds * 1e3; };
  // The plain read the others are measured by: the faster of the two.
  const double read = std::min(t.read, t.readAhead);
  std::printf("%s, one pass over its %.1f MB (best of %d rounds, %s):\n", name, Megabytes(bytes),
              kRounds, bench::ClockName());
  std::printf("  plain read, 1 MiB a call   %8.2f ms  %6.0f MB/s\n", ms(t.read), rate(t.read));
  std::printf("  plain read, 64 KiB a call  %8.2f ms  %6.0f MB/s  (the content test's reads)\n",
              ms(t.readAhead), rate(t.readAhead));
  std::printf("  content test               %8.2f ms  %6.0f MB/s  %.3f (the scan %+.2f ms)\n",
              ms(t.content), rate(t.content), read / t.content, ms(t.content - t.readAhead));
  std::printf("  folder walk alone          %8.2f ms               (the searches without it)\n",
              ms(t.walk));
  std::printf(
      "  whole search               %8.2f ms  %6.0f MB/s  %.3f (content test and walk %+.2f ms)\n",
      ms(t.search), rate(t.search), read / t.search, ms(t.search - t.content - t.walk));
  if (read / t.content < 2.0 / 3) {
    std::printf(
        "WARNING: the content test of the %s runs at less than two thirds of the plain read's "
        "rate\n",
        name);
  }
  return Rates{rate(t.content), rate(read), rate(t.search)};
}

}  // namespace

int main() {
  std::string base, error;
  if (!bench::StartHost(&base, &error)) {
    std::fprintf(stderr, "FAILED: %s\n", error.c_str());
    return 1;
  }
  bool ok = true;
  const SieveWidth width = WidestSieve();
  std::printf("sieve: %d bytes a step, the widest this processor and system run\n",
              static_cast<int>(width));

  // Memory first, before the folders.
  const int64_t small = ScanHighWater(base, 1u << 20);
  const int64_t large = ScanHighWater(base, 50u << 20);
  std::printf("heap high-water of one scan: %lld bytes for 1 MB, %lld bytes for 50 MB\n",
              static_cast<long long>(small), static_cast<long long>(large));
  if (small < 0 || large < 0 || large - small > 1024 || small - large > 1024) {
    std::fprintf(stderr, "FAILED: the heap a scan uses grows with the file's size\n");
    ok = false;
  }

  Rates rates[2];
  const Kinds* const kinds[2] = {&kInfFolder, &kPnfFolder};
  const char* const names[2] = {"INF folder", "PNF folder"};
  for (int f = 0; f < 2; ++f) {
    const double generating = bench::Seconds();
    const std::string path = base + (kinds[f]->pnfOnly ? "\\pnf-only" : "\\inf");
    const Folder folder = Generate(path, *kinds[f], &ok);
    std::printf("%s: generated %d files, %.1f MB (INF %.1f MB, PNF %.1f MB) in %.2f s\n", names[f],
                kinds[f]->files, Megabytes(folder.infBytes + folder.pnfBytes),
                Megabytes(folder.infBytes), Megabytes(folder.pnfBytes),
                bench::Seconds() - generating);
    std::printf("%d of the 16-bit files hold their ID across a chunk border\n",
                folder.acrossBorders);
    if (folder.acrossBorders < 5) {
      std::fprintf(stderr, "FAILED: too few IDs planted across chunk borders\n");
      ok = false;
    }
    Times times;
    if (ok && !Measure(folder, &times)) ok = false;
    if (ok) rates[f] = Report(names[f], folder.infBytes + folder.pnfBytes, times);
    RemoveFolder(folder);
  }
  if (!ok) return 1;
  std::printf(
      "inf-search %.0f MB/s, plain read %.0f MB/s, ratio %.3f, whole search %.3f, PNF alone %.3f, "
      "sieve %d bytes, peak %.0f MiB\n",
      rates[0].content, rates[0].read, rates[0].content / rates[0].read,
      rates[0].search / rates[0].read, rates[1].content / rates[1].read, static_cast<int>(width),
      bench::PeakMiB());
  return 0;
}
