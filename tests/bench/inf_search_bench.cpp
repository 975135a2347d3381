// The uninstaller's search of the Windows INF folder at real size: 3,000 INF and
// PNF files, about 100 MB, 8-bit and 16-bit INFs and 16-bit PNFs, searched for two
// of the card's IDs the way the uninstaller does (masks "**.inf*" then "**.pnf*",
// sub-folders too, attribute mask 0x927, the content test); then the same for a
// folder of 16-bit PNF files alone (1,500 files, about 50 MB), the kind that takes
// the scan longest. A few files hold an ID, some of them across a chunk border of
// the 16-bit scan.
//
// Fails only on what does not depend on the clock: the number of files each search
// finds must be the number planted, the searches may take no more ReadFile calls
// than the scan's read-ahead buffer needs, and the heap that a scan uses must not
// grow with the file's size (a 1 MB and a 50 MB file are scanned with a counting
// allocator). Reports each folder's search rate beside a plain read of the same
// files through the same simulated calls, both in processor time of the thread and
// the best of three rounds (other work on the machine slows some rounds), as a
// line of its own, with a WARNING line when a search is slower than two thirds of
// its plain read, and the run's peak resident size; the last line reads
//   inf-search <X> MB/s, plain read <Y> MB/s, ratio <R>, PNF alone <P>, peak <Z> MiB
#include <sys/resource.h>
#include <time.h>

#include <malloc.h>

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

#include "file_search/file_finder.h"
#include "platform/sim/machine/machine.h"
#include "platform/sim/machine/process.h"
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
  const int64_t now = g_heapInUse.fetch_add(static_cast<int64_t>(malloc_usable_size(block))) +
                      static_cast<int64_t>(malloc_usable_size(block));
  int64_t peak = g_heapPeak.load();
  while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
  }
  return block;
}

void CountedFree(void* block) {
  if (!block) return;
  g_heapInUse.fetch_sub(static_cast<int64_t>(malloc_usable_size(block)));
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
const int kRounds = getenv("ROUNDS") ? atoi(getenv("ROUNDS")) : 5;
constexpr DWORD kCardAttributeMask = 0x927;
// R of the scan for a 17-character ID: B = 128, R = 128 - 17.
constexpr size_t kChunkRead = 111;
// The read-ahead buffer of the scan.
constexpr size_t kReadAhead = 64 * 1024;

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

// What the generator put on the machine.
struct Folder {
  std::string infFolder;
  int64_t infBytes = 0;  // of the files "**.inf*" covers
  int64_t pnfBytes = 0;  // of the files "**.pnf*" covers
  // planted[id][0]: INF files that hold the ID and pass the attribute test;
  // planted[id][1]: PNF files likewise.
  int planted[kIdCount][2] = {};
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

Folder Generate(sim::Machine& machine, const std::string& path, const Kinds& kinds) {
  Folder folder;
  folder.infFolder = path;
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
    const bool normalOnly = planted && p % 7 == 5;
    if (normalOnly) attributes = 0;
    if (plantedId >= 0 && !normalOnly) ++folder.planted[plantedId][isPnf ? 1 : 0];
    if (plantedId >= 0) ++folder.holding[plantedId];
    (isPnf ? folder.pnfBytes : folder.infBytes) += static_cast<int64_t>(content.size());
    folder.readsToTheEnd += static_cast<int64_t>(content.size() / kReadAhead + 1);
    const std::string path = folder.infFolder + sub + "\\" + name;
    machine.files.WriteFile(path, std::move(content), attributes);
    folder.paths.push_back(path);
  }
  return folder;
}

int g_matches = 0;

void CountMatch(FileFinder*, int code, DWORD) {
  if (code == FOUND_MATCH) ++g_matches;
}

// Processor time of this thread: the machine's other work (CI runs two jobs on two
// cores) does not count against the rates.
double ThreadSeconds() {
  timespec now = {};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double Megabytes(int64_t bytes) { return static_cast<double>(bytes) / 1e6; }

// The uninstaller's two searches for one ID; the matches found by each.
void SearchForId(const std::string& infFolder, const char* id, int found[2]) {
  FileFinder finder;
  finder.SetCallback(&CountMatch, 0);
  FileFinderFilter filter;
  filter.ResetFilter();
  const char* const masks[2] = {"**.inf*", "**.pnf*"};
  for (int m = 0; m < 2; ++m) {
    filter.folder = infFolder;
    filter.mask = masks[m];
    filter.text = id;
    filter.recurse = 1;
    filter.flags |= FIND_BY_ATTRIBUTES | FIND_BY_TEXT;
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

// Opens each file and reads it whole into `buffer` (a large one, allocated and
// touched beforehand so that its pages cost the read nothing), through the
// simulated calls.
bool PlainRead(const std::vector<std::string>& paths, std::vector<char>& buffer, int64_t* bytes) {
  *bytes = 0;
  for (const std::string& path : paths) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "cannot open %s: %u\n", path.c_str(),
                   static_cast<unsigned>(GetLastError()));
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
// its highest, beyond what was in use before it.
int64_t ScanHighWater(sim::Machine& machine, size_t size) {
  const std::string path = "C:\\memory\\scan.inf";
  std::string content = "\xff\xfe";
  content.reserve(size);
  while (content.size() < size) content += content.size() % 2 ? '\0' : 'x';
  machine.files.WriteFile(path, std::move(content));
  FileFinder finder;
  finder.SetCallback(&CountMatch, 0);
  const int64_t before = g_heapInUse.load();
  g_heapPeak.store(before);
  const int found = finder.FileContainsText(path, kIds[0]);
  const int64_t highWater = g_heapPeak.load() - before;
  sim::FileSystem::Detach(machine.files.Find(path));
  return found ? -1 : highWater;
}

// Rates in MB/s, each the best of kRounds rounds: the content test on every file
// of the folder, the whole search (enumeration, attribute tests and the content
// test), and a plain read of the same files.
struct Rates {
  double content = 0, search = 0, read = 0;
  double Ratio() const { return content / read; }
};

// The uninstaller's searches of the folder, the content test of each of its files,
// and a plain read of them; false when a deterministic measure fails.
bool Measure(sim::Machine& machine, const Folder& folder, Rates* rates) {
  bool ok = true;
  double searchSeconds = 0, contentSeconds = 0, readSeconds = 0;
  auto best = [](int round, double seconds, double* bestSeconds) {
    if (round == 0 || seconds < *bestSeconds) *bestSeconds = seconds;
  };
  for (int round = 0; round < kRounds; ++round) {
    const int readsBefore = machine.faults.CallCounts()["ReadFile"];
    double started = ThreadSeconds();
    int found[kIdCount][2] = {};
    for (int id = 0; id < kIdCount; ++id) SearchForId(folder.infFolder, kIds[id], found[id]);
    best(round, ThreadSeconds() - started, &searchSeconds);
    const int searchReads = machine.faults.CallCounts()["ReadFile"] - readsBefore;
    for (int id = 0; id < kIdCount && round == 0; ++id) {
      std::printf("%s: %d INF and %d PNF files found, %d and %d planted\n", kIds[id], found[id][0],
                  found[id][1], folder.planted[id][0], folder.planted[id][1]);
    }
    for (int id = 0; id < kIdCount; ++id) {
      if (found[id][0] != folder.planted[id][0] || found[id][1] != folder.planted[id][1]) {
        std::fprintf(stderr, "FAILED: %s: the search found other files than were planted\n",
                     kIds[id]);
        ok = false;
      }
    }
    // Two searches per ID, together over every file once: a file scanned to its end
    // takes the reads of the read-ahead buffer, one where a match stops early fewer.
    if (searchReads > kIdCount * folder.readsToTheEnd) {
      std::fprintf(stderr, "FAILED: %d ReadFile calls, more than the %lld of the read-ahead\n",
                   searchReads, static_cast<long long>(kIdCount * folder.readsToTheEnd));
      ok = false;
    }
    if (round == 0) std::printf("%d ReadFile calls for the searches\n", searchReads);

    started = ThreadSeconds();
    int holding[kIdCount] = {};
    for (int id = 0; id < kIdCount; ++id) holding[id] = ContentTests(folder.paths, kIds[id]);
    best(round, ThreadSeconds() - started, &contentSeconds);
    for (int id = 0; id < kIdCount; ++id) {
      if (holding[id] != folder.holding[id]) {
        std::fprintf(stderr, "FAILED: %s: the content test found %d files, %d hold it\n", kIds[id],
                     holding[id], folder.holding[id]);
        ok = false;
      }
    }

    int64_t plainBytes = 0;
    std::vector<char> buffer(1 << 20, 1);
    started = ThreadSeconds();
    if (!PlainRead(folder.paths, buffer, &plainBytes)) {
      std::fprintf(stderr, "FAILED: the plain read\n");
      return false;
    }
    best(round, ThreadSeconds() - started, &readSeconds);
    if (plainBytes != folder.infBytes + folder.pnfBytes) {
      std::fprintf(stderr, "FAILED: the plain read brought %lld bytes\n",
                   static_cast<long long>(plainBytes));
      ok = false;
    }
  }
  // Each search, and each ID's content tests, read every file, save the few where
  // a match stops early.
  const int64_t bytes = folder.infBytes + folder.pnfBytes;
  rates->search = Megabytes(kIdCount * bytes) / searchSeconds;
  rates->content = Megabytes(kIdCount * bytes) / contentSeconds;
  rates->read = Megabytes(bytes) / readSeconds;
  return ok;
}

double PeakResidentMiB() {
  rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

}  // namespace

int main() {
  std::string error;
  auto machine = sim::MachineFromEdition("xp", &error);
  if (!machine) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  sim::ProcessScope scope(*machine);
  bool ok = true;

  // Memory first, on an otherwise small machine.
  const int64_t small = ScanHighWater(*machine, 1u << 20);
  const int64_t large = ScanHighWater(*machine, 50u << 20);
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
    const double generating = ThreadSeconds();
    const std::string path =
        machine->os.windowsFolder + (kinds[f]->pnfOnly ? "\\pnf-only" : "\\inf");
    const Folder folder = Generate(*machine, path, *kinds[f]);
    std::printf("%s: generated %d files, %.1f MB (INF %.1f MB, PNF %.1f MB) in %.2f s\n", names[f],
                kinds[f]->files, Megabytes(folder.infBytes + folder.pnfBytes),
                Megabytes(folder.infBytes), Megabytes(folder.pnfBytes),
                ThreadSeconds() - generating);
    std::printf("%d of the 16-bit files hold their ID across a chunk border\n",
                folder.acrossBorders);
    if (folder.acrossBorders < 5) {
      std::fprintf(stderr, "FAILED: too few IDs planted across chunk borders\n");
      ok = false;
    }
    if (!Measure(*machine, folder, &rates[f])) ok = false;
    std::printf(
        "%s: content test %.0f MB/s, plain read %.0f MB/s, ratio %.3f; whole search %.0f MB/s\n",
        names[f], rates[f].content, rates[f].read, rates[f].Ratio(), rates[f].search);
    if (rates[f].Ratio() < 2.0 / 3) {
      std::printf(
          "WARNING: the content test of the %s runs at less than two thirds of the plain "
          "read's rate\n",
          names[f]);
    }
    for (const std::string& file : folder.paths) sim::FileSystem::Detach(machine->files.Find(file));
  }
  std::printf(
      "inf-search %.0f MB/s, plain read %.0f MB/s, ratio %.3f, PNF alone %.3f, peak %.0f "
      "MiB\n",
      rates[0].content, rates[0].read, rates[0].Ratio(), rates[1].Ratio(), PeakResidentMiB());
  return ok ? 0 : 1;
}
