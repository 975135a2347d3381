#include <gtest/gtest.h>

#include <chrono>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/sim/machine/name_order.h"

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

// Walks in order through a cursor (by index, by name, and lookups hinted by where
// a walk stands) give what the order gives, also when entries are inserted or
// erased between two steps; so does ForEach.
TEST(OrderedNameMap, CursorWalksFollowTheOrderWhateverChangesBetweenSteps) {
  std::mt19937 rng(11);
  OrderedNameMap<int> map;
  std::map<std::string, int, NameLess> reference;
  auto nth = [&](size_t i) {
    auto it = reference.begin();
    std::advance(it, i);
    return it;
  };
  OrderedNameMap<int>::Cursor byIndex, byName;
  size_t index = 0;
  std::string last;  // the name the walk by name returned last; "" before the first
  for (int step = 0; step < 20000; ++step) {
    const std::string name = (rng() % 2 ? "k" : "K") + std::to_string(rng() % 300);
    switch (rng() % 6) {
      case 0:
        map.Put(name, step);
        reference[name] = step;
        break;
      case 1:
        EXPECT_EQ(reference.erase(name) == 1, map.Erase(name));
        break;
      case 2: {  // the walk by index takes a step, or stays, or starts again
        const size_t at = rng() % 4 == 0 ? 0 : index + rng() % 2;
        auto entry = map.At(at, &byIndex);
        ASSERT_EQ(at < reference.size(), entry.first != nullptr) << step;
        if (!entry.first) break;
        EXPECT_TRUE(NamesEqual(nth(at)->first, *entry.first)) << step;
        EXPECT_EQ(nth(at)->second, *entry.second) << step;
        index = at;
        break;
      }
      case 3: {  // the walk by name takes a step
        auto entry = map.FirstAfter(last, &byName);
        auto expected = reference.upper_bound(last);
        ASSERT_EQ(expected != reference.end(), entry.first != nullptr) << step;
        last = entry.first ? *entry.first : "";
        if (entry.first) {
          EXPECT_TRUE(NamesEqual(expected->first, last)) << step;
        }
        break;
      }
      case 4: {  // a lookup hinted by the walk by index
        const int* found = map.Find(name, &byIndex);
        auto expected = reference.find(name);
        ASSERT_EQ(expected != reference.end(), found != nullptr) << step;
        if (found) {
          EXPECT_EQ(expected->second, *found) << step;
        }
        break;
      }
      case 5: {
        std::vector<std::string> names;
        map.ForEach([&](const std::string& n, int) { names.push_back(n); });
        ASSERT_EQ(reference.size(), names.size()) << step;
        size_t i = 0;
        for (const auto& entry : reference) EXPECT_TRUE(NamesEqual(entry.first, names[i++]));
        break;
      }
    }
  }
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
