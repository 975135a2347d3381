#include "file_search/file_finder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "file_search/read_ahead_file.h"
#include "file_search/text_scan.h"

namespace {

constexpr int64_t kTicksPerSecond = 10000000;

int64_t Ticks(const FILETIME& t) {
  return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

// Days from 1970-01-01 to a date of the Gregorian calendar.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// A time stamp as the finder compares it: read as local calendar time, then
// counted in seconds since 1970 UTC, which takes the local offset back out. A
// stamp the 32-bit count cannot hold (before 1970, after 2038) or cannot
// convert gives -1, as the C library's mktime does.
FinderTime TimeFromFileTime(const FILETIME& utc) {
  FILETIME local;
  SYSTEMTIME calendar;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &calendar)) return -1;
  const int64_t localSeconds =
      DaysFromCivil(calendar.wYear, calendar.wMonth, calendar.wDay) * 86400 +
      calendar.wHour * 3600 + calendar.wMinute * 60 + calendar.wSecond;
  const int64_t offset = (Ticks(local) - Ticks(utc)) / kTicksPerSecond;
  const int64_t seconds = localSeconds - offset;
  if (seconds < 0 || seconds > INT32_MAX) return -1;
  return static_cast<FinderTime>(seconds);
}

FinderTime CurrentTime() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return TimeFromFileTime(now);
}

bool IsDots(const WIN32_FIND_DATAA& entry) {
  return std::strcmp(entry.cFileName, ".") == 0 || std::strcmp(entry.cFileName, "..") == 0;
}

bool IsDirectory(const WIN32_FIND_DATAA& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool InRange(FinderTime value, FinderTime from, FinderTime to) {
  return value >= from && value <= to;
}

// One enumeration of the entries that match a pattern. The handle is closed
// when the object goes away, on every path.
class Enumeration {
 public:
  explicit Enumeration(std::string pattern) : pattern_(std::move(pattern)) {}
  ~Enumeration() {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
  }
  Enumeration(const Enumeration&) = delete;
  Enumeration& operator=(const Enumeration&) = delete;

  // Makes the next entry current; false when there is none (or no enumeration).
  bool Fetch() {
    if (!started_) {
      started_ = true;
      if (!FindRoot()) return false;
      handle_ = FindFirstFileA(pattern_.c_str(), &entry_);
      return handle_ != INVALID_HANDLE_VALUE;
    }
    return handle_ != INVALID_HANDLE_VALUE && FindNextFileA(handle_, &entry_) != FALSE;
  }

  const WIN32_FIND_DATAA& entry() const { return entry_; }

  // Sets `path` to the current entry's absolute path: the pattern's folder made
  // absolute, a separator, the name. One string serves every entry of a folder
  // without a new allocation for each.
  void FilePath(std::string* path) const {
    path->assign(root_);
    path->append(entry_.cFileName);
  }

 private:
  // The absolute folder of the pattern, with its closing separator; false when the
  // pattern names no valid path.
  bool FindRoot() {
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(pattern_.c_str(), sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full) return false;
    root_.assign(full, length);
    const size_t separator = root_.find_last_of("\\/");
    if (separator != std::string::npos) root_.erase(separator);
    if (root_.empty() || (root_.back() != '\\' && root_.back() != '/')) root_ += '\\';
    return true;
  }

  std::string pattern_;
  std::string root_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA entry_ = {};
  bool started_ = false;
};

}  // namespace

void FileFinderFilter::ResetFilter() {
  folder.clear();
  mask = "*.*";
  recurse = 0;
  flags = 0;
  minSize = 0;
  maxSize = 0;
  createdFrom = CurrentTime();
  createdTo = CurrentTime();
  modifiedFrom = CurrentTime();
  modifiedTo = CurrentTime();
  accessedFrom = CurrentTime();
  accessedTo = CurrentTime();
  attributeMask = 0;
}

void FileFinder::SetCallback(FileFoundCallback function, DWORD userData) {
  callback_ = function;
  userData_ = userData;
}

void FileFinder::ClearResults() { results_.clear(); }

PathInfo FileFinder::GetResult(int index) const {
  if (index < 0 || index >= GetResultCount()) return PathInfo("");
  return PathInfo(results_[static_cast<size_t>(index)]);
}

void FileFinder::Notify(int code) {
  if (!callback_) return;
  const bool outer = notifying_;
  notifying_ = true;
  callback_(this, code, userData_);
  notifying_ = outer;
}

int FileFinder::Search(FileFinderFilter& filter) {
  stop_ = false;
  filter.folder = IncludeTrailingSeparator(filter.folder, 0);

  // Sub-folders first, each finished before this folder's own entries; the
  // folder enumeration is closed before the entry enumeration opens.
  if (filter.recurse) {
    Enumeration folders(filter.folder + "*.*");
    while (!stop_ && folders.Fetch()) {
      const WIN32_FIND_DATAA& entry = folders.entry();
      if (!IsDirectory(entry) || IsDots(entry)) continue;
      FileFinderFilter subFolder = filter;
      subFolder.folder = filter.folder + entry.cFileName;
      Search(subFolder);
    }
  }

  currentFolder_ = filter.folder;
  Notify(FOUND_ENTER_FOLDER);

  Enumeration entries(filter.folder + filter.mask);
  std::string path;
  while (!stop_ && entries.Fetch()) {
    const WIN32_FIND_DATAA& entry = entries.entry();
    if (IsDots(entry)) continue;
    entries.FilePath(&path);
    if (PassesTests(entry, path, filter)) {
      results_.push_back(IsDirectory(entry) ? path + '\\' : path);
      Notify(FOUND_MATCH);
    } else {
      Notify(FOUND_REJECTED);
    }
  }
  return GetResultCount();
}

bool FileFinder::PassesTests(const WIN32_FIND_DATAA& entry, const std::string& path,
                             const FileFinderFilter& filter) {
  if (filter.flags & FIND_BY_ATTRIBUTES) {
    if ((entry.dwFileAttributes & filter.attributeMask) == 0) return false;
  }
  if (filter.flags & FIND_BY_SIZE) {
    const LONGLONG size = static_cast<LONGLONG>(
        (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow);
    if (size < filter.minSize || size > filter.maxSize) return false;
  }
  if (filter.flags & FIND_BY_MODIFIED) {
    const FinderTime t = TimeFromFileTime(entry.ftLastWriteTime);
    if (!InRange(t, filter.modifiedFrom, filter.modifiedTo)) return false;
  }
  if (filter.flags & FIND_BY_CREATED) {
    const FinderTime t = TimeFromFileTime(entry.ftCreationTime);
    if (!InRange(t, filter.createdFrom, filter.createdTo)) return false;
  }
  if (filter.flags & FIND_BY_ACCESSED) {
    const FinderTime t = TimeFromFileTime(entry.ftLastAccessTime);
    if (!InRange(t, filter.accessedFrom, filter.accessedTo)) return false;
  }
  if (filter.flags & FIND_BY_TEXT) {
    if (!FileContainsText(path, filter.text)) return false;
  }
  return true;
}

// The cycles of the scan, and with them the progress notifications, are those
// of the chunk rule (see text_scan.h).
int FileFinder::FileContainsText(const std::string& path, const std::string& text) {
  if (text.empty()) return 0;
  if (scanning_) {
    // Asked from a progress notification of a running content test, whose scan and
    // buffer are in use until it returns: this one gets its own.
    TextScan scan(text);
    std::unique_ptr<char[]> buffer(new char[ReadAheadFile::kBufferSize]);
    return ContentTest(scan, path, buffer.get());
  }
  if (!readAhead_) readAhead_.reset(new char[ReadAheadFile::kBufferSize]);
  if (!scan_ || scan_->text() != text) scan_.reset(new TextScan(text));
  struct Running {
    bool& flag;
    explicit Running(bool& f) : flag(f) { flag = true; }
    ~Running() { flag = false; }
  } running(scanning_);
  return ContentTest(*scan_, path, readAhead_.get());
}

int FileFinder::ContentTest(TextScan& scan, const std::string& path, char* buffer) {
  ReadAheadFile file(path, buffer);
  if (!file.isOpen()) return 0;
  CycleCounter::Callback tenth = nullptr;
  if (callback_ && !notifying_)
    tenth = [](void* finder) { static_cast<FileFinder*>(finder)->Notify(FOUND_PROGRESS); };
  CycleCounter cycles(tenth, this);
  return scan.In(file, cycles) ? 1 : 0;
}
