// CopyUpperCasedWithoutNuls against a byte-by-byte reference: 8-bit text, 16-bit
// characters starting on either byte, NUL runs, bytes from 0x80 up and the
// letters' neighbours, at every length and start offset around the eight bytes
// it takes at a time.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "file_search/upper_cased_copy.h"

namespace {

std::string Reference(const std::string& bytes) {
  std::string out;
  for (char c : bytes) {
    if (c == '\0') continue;
    out += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return out;
}

std::string Copied(const std::string& bytes) {
  std::vector<char> out(bytes.size() + 1, '#');
  char* const end =
      CopyUpperCasedWithoutNuls(bytes.data(), bytes.data() + bytes.size(), out.data());
  EXPECT_EQ('#', out[bytes.size()]) << "wrote past the room it was given";
  return std::string(out.data(), end);
}

TEST(CopyUpperCasedWithoutNuls, EveryByteValueAlone) {
  for (int c = 0; c < 256; ++c) {
    for (size_t length : {1, 8, 9, 16}) {
      const std::string bytes(length, static_cast<char>(c));
      EXPECT_EQ(Reference(bytes), Copied(bytes)) << c << " x " << length;
    }
  }
}

TEST(CopyUpperCasedWithoutNuls, TheFormsOfAnInfFileAtEveryOffset) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string wide, wideOther;
  for (char c : std::string("[Version] ven_6a3c&dev_5e17 `az{@AZ[")) {
    wide += c;
    wide += '\0';
    wideOther += '\0';
    wideOther += c;
  }
  const Case cases[] = {
      {"8-bit", "[Version]\r\nPCI\\ven_6a3c&dev_5e17 `az{ @AZ[ \xe1\xfa\x80\xff"},
      {"16-bit", wide},
      {"16-bit, NUL first", wideOther},
      {"16-bit with a character above 0x7f", wide + "\xe9" + std::string(1, '\0') + wide},
      {"16-bit with a NUL character", wide + std::string(6, '\0') + wide},
      {"16-bit with a character above 0xff", wide + "a\x01" + wide},
      {"NUL runs between 8-bit runs", "abc" + std::string(13, '\0') + "defghijklmnop"},
  };
  for (const Case& c : cases) {
    for (size_t from = 0; from < 9; ++from) {
      for (size_t to = from; to <= c.bytes.size(); ++to) {
        const std::string bytes = c.bytes.substr(from, to - from);
        ASSERT_EQ(Reference(bytes), Copied(bytes)) << c.what << " [" << from << ", " << to << ")";
      }
    }
  }
}

TEST(CopyUpperCasedWithoutNuls, RandomBytesFromASmallAlphabet) {
  std::mt19937 random(7);
  // NUL, letters at and around the ends of both cases, a byte from 0x80 up.
  const std::string alphabet("\0\0\0a`z{AZ@[\xe1x", 14);
  for (int round = 0; round < 20000; ++round) {
    std::string bytes(random() % 40, ' ');
    for (char& c : bytes) c = alphabet[random() % alphabet.size()];
    ASSERT_EQ(Reference(bytes), Copied(bytes)) << round;
  }
}

}  // namespace
