// The content scan of one file, by the chunk rule: cycles of R = B - L bytes (L
// the text's length, B = 2L but at least 128), each cycle's bytes with their NUL
// bytes dropped and 'a' to 'z' upper-cased, behind the last L characters of the
// text filtered so far (L spaces before the first cycle); the scan ends with the
// cycle that completes the upper-cased text, or with the first cycle that got
// fewer than R bytes. The scan works on the read-ahead buffer's bytes as they
// lie, without copying them into chunks: it finds the first match and the file
// byte that completes it, and counts the cycles up to that byte's.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "file_search/anchor_sieve.h"
#include "file_search/read_ahead_file.h"

// Counts the cycles of one scan and calls `tenth` after every 10th.
class CycleCounter {
 public:
  static constexpr size_t kCyclesPerCall = 10;
  typedef void (*Callback)(void* context);
  CycleCounter(Callback tenth, void* context) : tenth_(tenth), context_(context) {}

  void Add(size_t cycles) {
    total_ += cycles;
    if (!tenth_) return;
    for (count_ += cycles; count_ >= kCyclesPerCall; count_ -= kCyclesPerCall) tenth_(context_);
  }
  size_t total() const { return total_; }

 private:
  Callback tenth_;
  void* context_;
  size_t count_ = 0;
  size_t total_ = 0;
};

// The scan for one text, made once and used on any number of files.
class TextScan {
 public:
  // `text` must not be empty; `width` is the sieve's (one this processor runs).
  explicit TextScan(const std::string& text, SieveWidth width = WidestSieve());
  ~TextScan();
  TextScan(const TextScan&) = delete;
  TextScan& operator=(const TextScan&) = delete;

  const std::string& text() const { return text_; }
  // Whether the file's filtered text, behind L spaces, holds the text upper-cased;
  // false on a read error (a file that could not be read whole is judged to be
  // without the text). Every cycle is counted on `cycles`, in order, before the
  // next read.
  bool In(ReadAheadFile& file, CycleCounter& cycles);

 private:
  struct Parts;
  std::string text_;
  size_t readSize_;
  SieveWidth width_;
  std::unique_ptr<Parts> parts_;
};
