#include "file_search/read_ahead_file.h"

#include <algorithm>
#include <cstring>

ReadAheadFile::ReadAheadFile(const std::string& path, char* buffer)
    : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)),
      buffer_(buffer) {}

ReadAheadFile::~ReadAheadFile() {
  if (isOpen()) CloseHandle(handle_);
}

bool ReadAheadFile::Read(char* destination, size_t size, size_t* got) {
  *got = 0;
  while (*got < size) {
    const char* bytes = nullptr;
    size_t n = 0;
    if (!Next(size - *got, &bytes, &n)) return false;
    if (n == 0) break;
    std::memcpy(destination + *got, bytes, n);
    *got += n;
  }
  return true;
}

bool ReadAheadFile::Next(size_t most, const char** bytes, size_t* got) {
  *got = 0;
  if (next_ == filled_) {
    if (atEnd_) return true;
    if (!Refill()) return false;
  }
  *got = std::min(most, filled_ - next_);
  *bytes = buffer_ + next_;
  next_ += *got;
  return true;
}

bool ReadAheadFile::Refill() {
  if (!buffer_) {
    own_.reset(new char[kBufferSize]);
    buffer_ = own_.get();
  }
  next_ = 0;
  filled_ = 0;
  DWORD read = 0;
  if (!ReadFile(handle_, buffer_, kBufferSize, &read, nullptr)) {
    atEnd_ = true;
    return false;
  }
  filled_ = std::min<size_t>(read, kBufferSize);
  // A disk file reads short only at its end; asking again would cost a call to
  // learn that nothing follows.
  atEnd_ = read < kBufferSize;
  return true;
}
