// The three-way merge sort: ordinary orders, stability, and safety with comparisons that are
// not strict weak orders.
#include "kit/core/sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <vector>

namespace {

int threeWay(int a, int b) { return a < b ? -1 : (b < a ? 1 : 0); }

std::vector<int> sortedCopy(std::vector<int> v) {
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace

TEST(StableSortWith3Way, SortsEverySizeAroundTheRunLengths) {
  std::mt19937 rng(7);
  for (int n : {0, 1, 2, 3, 15, 16, 17, 31, 32, 33, 100, 1000, 4097}) {
    std::vector<int> v(static_cast<std::size_t>(n));
    for (int& x : v) x = static_cast<int>(rng() % 50);
    const std::vector<int> expected = sortedCopy(v);
    kit::stableSortWith3Way(v, threeWay);
    EXPECT_EQ(v, expected) << "n = " << n;
  }
}

TEST(StableSortWith3Way, EqualElementsKeepTheirOrder) {
  std::mt19937 rng(11);
  std::vector<std::pair<int, int>> v;
  for (int i = 0; i < 2000; ++i) v.emplace_back(static_cast<int>(rng() % 10), i);
  kit::stableSortWith3Way(v, [](const auto& a, const auto& b) { return threeWay(a.first, b.first); });
  for (std::size_t i = 1; i < v.size(); ++i) {
    ASSERT_LE(v[i - 1].first, v[i].first);
    if (v[i - 1].first == v[i].first) {
      ASSERT_LT(v[i - 1].second, v[i].second);
    }
  }
}

TEST(StableSortWith3Way, MoveOnlyElementsAreKept) {
  std::vector<std::unique_ptr<int>> v;
  for (int i = 0; i < 300; ++i) v.push_back(std::make_unique<int>((i * 37) % 101));
  kit::stableSortWith3Way(v, [](const std::unique_ptr<int>& a, const std::unique_ptr<int>& b) {
    return threeWay(*a, *b);
  });
  for (const auto& p : v) ASSERT_NE(p, nullptr);
  for (std::size_t i = 1; i < v.size(); ++i) ASSERT_LE(*v[i - 1], *v[i]);
}

// Comparisons that break the rules: random answers, "always first", and a non-transitive
// cycle. The result is some permutation of the input, never a crash or a lost element.
TEST(StableSortWith3Way, InconsistentComparisonsKeepEveryElement) {
  std::mt19937 rng(3);
  const std::vector<std::function<int(int, int)>> broken = {
      [&rng](int, int) { return static_cast<int>(rng() % 3) - 1; },
      [](int, int) { return -1; },
      [](int, int) { return 1; },
      [](int a, int b) { return ((a - b) % 3 + 3) % 3 == 1 ? -1 : 1; },  // rock, paper, scissors
      [](int a, int b) { return a == b ? -1 : threeWay(b, a); },         // irreflexive broken
  };
  for (const auto& cmp : broken) {
    for (int n : {2, 17, 33, 257, 3000}) {
      std::vector<int> v(static_cast<std::size_t>(n));
      for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = i;
      std::shuffle(v.begin(), v.end(), rng);
      kit::stableSortWith3Way(v, cmp);
      ASSERT_EQ(v.size(), static_cast<std::size_t>(n));
      std::vector<int> check = sortedCopy(v);
      for (int i = 0; i < n; ++i) ASSERT_EQ(check[static_cast<std::size_t>(i)], i);
    }
  }
}
