// The content scan's sieve as this Windows tree builds it, under Wine: the width
// chosen for what a processor and its system answer (the 64-byte sieve in 64-bit
// builds only), and every width this processor runs giving the byte loop's result
// and cycles on real files read through ReadFile.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "file_search/anchor_sieve.h"
#include "file_search/read_ahead_file.h"
#include "file_search/text_scan.h"
#include "platform/win32.h"

namespace {

constexpr uint32_t kSse = 1u << 25, kSse2 = 1u << 26;                           // leaf 1, EDX
constexpr uint32_t kOsxsave = 1u << 27, kAvx = 1u << 28;                        // leaf 1, ECX
constexpr uint32_t kAvx2 = 1u << 5, kAvx512f = 1u << 16, kAvx512bw = 1u << 30;  // leaf 7, EBX

ProcessorFeatures Features(uint32_t edx, uint32_t ecx, uint32_t ebx7, uint64_t xcr0) {
  ProcessorFeatures f;
  f.leaf1Edx = edx;
  f.leaf1Ecx = ecx;
  f.leaf7Ebx = ebx7;
  f.xcr0 = xcr0;
  return f;
}

TEST(SieveChoice, FollowsWhatTheProcessorHasAndWhatTheSystemSaves) {
  const bool build64 = sizeof(void*) == 8;
  const uint32_t sse = kSse | kSse2, avx = kAvx | kOsxsave, avx512 = kAvx2 | kAvx512f | kAvx512bw;
  struct Case {
    const char* what;
    ProcessorFeatures features;
    SieveWidth expected;
  };
  const Case cases[] = {
      {"no CPUID answers", Features(0, 0, 0, 0), SieveWidth::kBytes},
      {"Pentium III: SSE, no SSE2", Features(kSse, 0, 0, 0), SieveWidth::kBytes},
      {"Pentium 4", Features(sse, 0, 0, 0), SieveWidth::kSse2},
      {"AVX2 on XP: no OSXSAVE", Features(sse, kAvx, kAvx2, 0), SieveWidth::kSse2},
      {"AVX2, XCR0 without the 32-byte registers", Features(sse, avx, kAvx2, 0x3),
       SieveWidth::kSse2},
      {"AVX2 bit without the AVX bit", Features(sse, kOsxsave, kAvx2, 0x7), SieveWidth::kSse2},
      {"AVX2 saved", Features(sse, avx, kAvx2, 0x7), SieveWidth::kAvx2},
      {"AVX-512BW, the system saves no 64-byte registers", Features(sse, avx, avx512, 0x7),
       SieveWidth::kAvx2},
      {"AVX-512F without BW", Features(sse, avx, kAvx2 | kAvx512f, 0xe7), SieveWidth::kAvx2},
      {"AVX-512BW saved", Features(sse, avx, avx512, 0xe7),
       build64 ? SieveWidth::kAvx512 : SieveWidth::kAvx2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(static_cast<int>(c.expected), static_cast<int>(WidestSieveFor(c.features))) << c.what;
    EXPECT_TRUE(SieveRunsOn(SieveWidth::kBytes, c.features)) << c.what;
  }
  std::printf("this processor and system: the %d-byte sieve\n", static_cast<int>(WidestSieve()));
  EXPECT_EQ(static_cast<int>(WidestSieve()),
            static_cast<int>(WidestSieveFor(ProcessorFeatures::OfThisProcessor())));
}

// Random files of 8-bit and 16-bit text, NUL runs and near misses, some large enough
// to cross the read-ahead buffer's border, with the text planted now and then.
TEST(SieveWidths, EveryWidthThisProcessorRunsGivesTheByteLoopsResultAndCycles) {
  char folder[MAX_PATH];
  const DWORD length = GetTempPathA(sizeof folder, folder);
  ASSERT_TRUE(length > 0 && length < sizeof folder);
  const std::string path = std::string(folder, length) + "kestrolin-sieve-test.bin";
  std::mt19937 random(20261209);
  const std::string texts[] = {"VEN_6A3C&DEV_5E17", "&", "ab", "Q&q", std::string(70, 'z') + "&"};
  const char pieces[] = "&&QqZzab-_ VEN6Ac\0";
  int found = 0;
  for (int round = 0; round < 300; ++round) {
    const std::string& text = texts[round % 5];
    const size_t size = round % 10 == 0 ? 60000 + random() % 20000 : random() % 3000;
    std::string content;
    while (content.size() < size) {
      const size_t run = 1 + random() % 40;
      const int kind = random() % 4;
      for (size_t i = 0; i < run; ++i) {
        const char c = pieces[random() % (sizeof pieces - 1)];
        if (kind == 0) content += c;
        if (kind == 1) content += {c, '\0'};
        if (kind == 2) content += '\0';
      }
      if (kind == 3 && random() % 4 == 0) content += random() % 2 ? text : std::string();
    }
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    ASSERT_TRUE(
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
    CloseHandle(file);
    size_t byteCycles = 0;
    bool byteFound = false;
    for (SieveWidth width :
         {SieveWidth::kBytes, SieveWidth::kSse2, SieveWidth::kAvx2, SieveWidth::kAvx512}) {
      if (!SieveRuns(width)) continue;
      ReadAheadFile reader(path);
      ASSERT_TRUE(reader.isOpen());
      CycleCounter cycles(nullptr, nullptr);
      const bool in = TextScan(text, width).In(reader, cycles);
      if (width == SieveWidth::kBytes) {
        byteFound = in;
        byteCycles = cycles.total();
        found += in;
        continue;
      }
      ASSERT_EQ(byteFound, in) << "round " << round << ", width " << static_cast<int>(width);
      ASSERT_EQ(byteCycles, cycles.total())
          << "round " << round << ", width " << static_cast<int>(width);
    }
  }
  DeleteFileA(path.c_str());
  EXPECT_GT(found, 20);
}

}  // namespace
