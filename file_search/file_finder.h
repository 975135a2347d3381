// The file finder: a recursive search of a folder for entries that pass the
// tests a filter switches on (attribute bits, size, three date ranges,
// contents), with a notification to the caller for each folder begun, each
// entry judged and the progress of long content scans. The caller may act on a
// found file from inside the notification while the search goes on.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "file_search/path_info.h"
#include "file_search/text_scan.h"
#include "platform/win32.h"

// Bits of FileFinderFilter::flags: which tests apply. Every other bit is
// ignored.
constexpr DWORD FIND_BY_SIZE = 0x01;        // minSize <= size <= maxSize
constexpr DWORD FIND_BY_MODIFIED = 0x02;    // modifiedFrom <= last-write time <= modifiedTo
constexpr DWORD FIND_BY_CREATED = 0x04;     // createdFrom <= creation time <= createdTo
constexpr DWORD FIND_BY_ACCESSED = 0x08;    // accessedFrom <= last-access time <= accessedTo
constexpr DWORD FIND_BY_ATTRIBUTES = 0x10;  // (attributes & attributeMask) != 0
constexpr DWORD FIND_BY_TEXT = 0x20;        // the file's contents hold `text`

// Codes handed to a FileFoundCallback.
constexpr int FOUND_MATCH = 0;         // passed; its path is the last of the results
constexpr int FOUND_REJECTED = 1;      // failed a test
constexpr int FOUND_ENTER_FOLDER = 2;  // the folder's own entries come next
constexpr int FOUND_PROGRESS = 3;      // after every 10th chunk of one content scan

// Seconds since 1970-01-01 00:00 UTC, as a signed 32-bit count.
typedef LONG FinderTime;

// What a search looks for. Search copies it for every sub-folder.
struct FileFinderFilter {
  std::string folder;  // empty: the current directory
  std::string mask;    // wildcards of the file enumeration
  std::string text;    // for FIND_BY_TEXT
  BOOL recurse = 0;
  DWORD flags = 0;
  LONGLONG minSize = 0;
  LONGLONG maxSize = 0;
  FinderTime createdFrom = 0;
  FinderTime createdTo = 0;
  FinderTime modifiedFrom = 0;
  FinderTime modifiedTo = 0;
  FinderTime accessedFrom = 0;
  FinderTime accessedTo = 0;
  DWORD attributeMask = 0;  // FILE_ATTRIBUTE_* bits, one of which must be set

  // Empty folder, mask "*.*", no recursion, no tests, sizes 0, every time bound
  // now; `text` stays as it is.
  void ResetFilter();
};

class FileFinder;

// The notification: the finder, a FOUND_* code and the caller's value,
// unchanged.
typedef void (*FileFoundCallback)(FileFinder* finder, int code, DWORD userData);

class FileFinder {
 public:
  FileFinder() = default;
  virtual ~FileFinder() = default;
  FileFinder(const FileFinder&) = delete;
  FileFinder& operator=(const FileFinder&) = delete;

  void SetCallback(FileFoundCallback function, DWORD userData);

  // Searches filter.folder (and, with recurse, every sub-folder first, deepest
  // first) and returns the number of results, those of earlier searches
  // included. The filter's folder gets its closing backslash.
  int Search(FileFinderFilter& filter);

  // Ends the running search before its next entry; meant for the notification.
  // A search clears it when it starts.
  void Stop() { stop_ = true; }

  void ClearResults();
  int GetResultCount() const { return static_cast<int>(results_.size()); }
  // The index-th result; an index out of range gives an empty path.
  PathInfo GetResult(int index) const;

  // 1 when the file's contents hold `text`, NUL bytes and letter case ignored,
  // else 0. A notification may call it, also one sent by a running content
  // test; a content test asked for from a notification sends no progress
  // notifications.
  int FileContainsText(const std::string& path, const std::string& text);

  // The folder, with its closing backslash, whose own entries are being
  // examined.
  const std::string& currentFolder() const { return currentFolder_; }

 private:
  bool PassesTests(const WIN32_FIND_DATAA& entry, const std::string& path,
                   const FileFinderFilter& filter);
  int ContentTest(TextScan& scan, const std::string& path, char* buffer);
  void Notify(int code);

  std::vector<std::string> results_;
  bool stop_ = false;
  FileFoundCallback callback_ = nullptr;
  DWORD userData_ = 0;
  std::string currentFolder_;
  // Kept from one content test to the next: the scan of the text last looked
  // for, and the read-ahead buffer; in use while scanning_.
  std::unique_ptr<TextScan> scan_;
  std::unique_ptr<char[]> readAhead_;
  bool scanning_ = false;
  bool notifying_ = false;  // the callback is running
};
