#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>
#include <string>

#include "platform/sim/name_order.h"

namespace sim {
namespace {

TEST(CompareNames, FoldsAsciiLettersOnly) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {"abc", "ABC", 0},       {"abc", "abd", -1}, {"ab", "abc", -1}, {"", "", 0},
      {"\xe9", "\xc9", 1},  // bytes above 0x7F are compared as they are
      {"Z", "_", -1},       // upper-case folding puts '_' after the letters
      {"COM10:", "com3:", -1},
  };
  for (const auto& c : cases) {
    const int r = CompareNames(c.a, c.b);
    EXPECT_EQ(c.sign, (r > 0) - (r < 0)) << c.a << " vs " << c.b;
  }
}

// The map behaves like a std::map with a case-insensitive order, whatever the
// sequence of inserts and erases, and answers positions in that order.
TEST(OrderedNameMap, MatchesAReferenceMapUnderRandomOperations) {
  std::mt19937 rng(7);
  OrderedNameMap<int> map;
  std::map<std::string, int, NameLess> reference;
  for (int step = 0; step < 20000; ++step) {
    std::string name = "k" + std::to_string(rng() % 500);
    if (rng() % 2) name[0] = 'K';  // the same name in other case
    const int op = static_cast<int>(rng() % 3);
    if (op < 2) {
      map.Put(name, step);
      auto it = reference.find(name);
      if (it == reference.end()) {
        reference.emplace(name, step);
      } else {
        it->second = step;
      }
    } else {
      EXPECT_EQ(reference.erase(name) == 1, map.Erase(name));
    }
  }
  ASSERT_EQ(reference.size(), map.Size());
  size_t i = 0;
  for (const auto& [name, value] : reference) {
    auto at = map.At(i++);
    ASSERT_NE(nullptr, at.first);
    EXPECT_TRUE(NamesEqual(name, *at.first));
    EXPECT_EQ(value, *at.second);
  }
  EXPECT_EQ(nullptr, map.At(reference.size()).first);
}

TEST(OrderedNameMap, KeepsTheFirstSpellingWhenReplaced) {
  OrderedNameMap<int> map;
  map.Put("PortName", 1);
  map.Put("PORTNAME", 2);
  ASSERT_EQ(1u, map.Size());
  EXPECT_EQ("PortName", *map.At(0).first);
  EXPECT_EQ(2, *map.Find("portname"));
}

// Positions are found in logarithmic time: walking 100,000 entries by index and
// deleting them at index 0 stays far below quadratic cost.
TEST(OrderedNameMap, IndexAccessStaysFastOnLargeMaps) {
  OrderedNameMap<int> map;
  const int n = 100000;
  for (int i = 0; i < n; ++i) map.Put("key" + std::to_string(i), i);
  const auto start = std::chrono::steady_clock::now();
  long long sum = 0;
  for (size_t i = 0; i < map.Size(); ++i) sum += *map.At(i).second;
  while (!map.Empty()) map.Erase(*map.At(0).first);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(static_cast<long long>(n) * (n - 1) / 2, sum);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count(), 10);
}

}  // namespace
}  // namespace sim
