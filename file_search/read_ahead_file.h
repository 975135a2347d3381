// A file opened for reading that no one else may open meanwhile, read through a
// buffer of fixed size: the content scan asks for a hundred-odd bytes at a
// time, and one ReadFile call now feeds hundreds of those requests. The buffer
// does not grow with the file.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/win32.h"

class ReadAheadFile {
 public:
  // Bytes each ReadFile call asks for.
  static constexpr DWORD kBufferSize = 64 * 1024;

  // Opens `path` for reading without sharing; see isOpen. The buffer is the
  // caller's when `buffer` is given (kBufferSize bytes that outlive the object:
  // one for many files), else allocated at the first read.
  explicit ReadAheadFile(const std::string& path, char* buffer = nullptr);
  ~ReadAheadFile();
  ReadAheadFile(const ReadAheadFile&) = delete;
  ReadAheadFile& operator=(const ReadAheadFile&) = delete;

  // False when the file could not be opened (missing, a folder, no access, or
  // held open elsewhere).
  bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

  // True once every byte was handed out and the last ReadFile came back short:
  // the next request would give nothing, without another ReadFile.
  bool AtEnd() const { return atEnd_ && next_ == filled_; }

  // Copies up to `size` bytes to `destination` and sets `*got`; fewer only at
  // the end of the file. False on a read error, with `*got` bytes copied.
  bool Read(char* destination, size_t size, size_t* got);

  // Hands out up to `most` of the next bytes where they lie in the buffer,
  // without copying: `*bytes` stays valid until the next call. `*got` is 0
  // only at the end of the file, and may be less than `most` where the buffer
  // ends. False on a read error, with `*got` 0.
  bool Next(size_t most, const char** bytes, size_t* got);

 private:
  // Fetches the next buffer-full; false on a read error.
  bool Refill();

  HANDLE handle_;
  std::unique_ptr<char[]> own_;
  char* buffer_;
  size_t next_ = 0;     // first byte of buffer_ not yet handed out
  size_t filled_ = 0;   // bytes of buffer_ the last ReadFile brought
  bool atEnd_ = false;  // a ReadFile brought less than it asked for
};
