#include "file_search/read_ahead_file.h"

#include <algorithm>
#include <cstring>

ReadAheadFile::ReadAheadFile(const std::string& path)
    : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {}

ReadAheadFile::~ReadAheadFile() {
  if (isOpen()) CloseHandle(handle_);
}

bool ReadAheadFile::Read(char* destination, size_t size, size_t* got) {
  *got = 0;
  while (*got < size) {
    if (next_ == filled_) {
      if (atEnd_) break;
      if (!Refill()) return false;
      if (filled_ == 0) break;
    }
    const size_t n = std::min(size - *got, filled_ - next_);
    std::memcpy(destination + *got, buffer_.get() + next_, n);
    next_ += n;
    *got += n;
  }
  return true;
}

bool ReadAheadFile::Refill() {
  if (!buffer_) buffer_.reset(new char[kBufferSize]);
  next_ = 0;
  filled_ = 0;
  DWORD read = 0;
  if (!ReadFile(handle_, buffer_.get(), kBufferSize, &read, nullptr)) {
    atEnd_ = true;
    return false;
  }
  filled_ = std::min<size_t>(read, kBufferSize);
  // A disk file reads short only at its end; asking again would cost a call to
  // learn that nothing follows.
  atEnd_ = read < kBufferSize;
  return true;
}
