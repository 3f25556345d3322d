// Sorting with three-way comparisons (negative: the first argument goes first, 0: either
// order, positive: the second goes first) that stays safe when the comparison is not a strict
// weak order. std::sort may read past the range when its comparator is inconsistent; this
// bottom-up merge sort only ever indexes inside the runs it merges, so an inconsistent
// comparison can give an odd order but never loses, duplicates or invents an element.
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <utility>
#include <vector>

namespace kit {

namespace sort_detail {

// Runs this short are insertion-sorted in place before merging.
constexpr std::size_t kInsertionRun = 16;

template <typename It, typename Cmp>
void insertionSort(It first, std::size_t n, Cmp& cmp) {
  for (std::size_t i = 1; i < n; ++i) {
    // Move left only while the new element goes strictly first; j never passes the run start.
    for (std::size_t j = i; j > 0 && cmp(first[j], first[j - 1]) < 0; --j) std::iter_swap(first + j, first + (j - 1));
  }
}

}  // namespace sort_detail

// Sorts [first, last) in place. Stable for a consistent comparison. O(n log n) comparisons,
// O(n) extra storage; the elements need only be movable.
template <typename It, typename Cmp>
void stableSortWith3Way(It first, It last, Cmp cmp) {
  using T = typename std::iterator_traits<It>::value_type;
  const std::size_t n = static_cast<std::size_t>(std::distance(first, last));
  if (n < 2) return;

  for (std::size_t lo = 0; lo < n; lo += sort_detail::kInsertionRun)
    sort_detail::insertionSort(first + lo, std::min(sort_detail::kInsertionRun, n - lo), cmp);

  std::vector<T> buffer;
  buffer.reserve(n);
  for (std::size_t width = sort_detail::kInsertionRun; width < n; width *= 2) {
    for (std::size_t lo = 0; lo + width < n; lo += 2 * width) {
      const std::size_t mid = lo + width;
      const std::size_t hi = std::min(lo + 2 * width, n);
      // Already in order across the seam: nothing to merge.
      if (cmp(first[mid], first[mid - 1]) >= 0) continue;
      buffer.clear();
      std::size_t i = lo, j = mid;
      while (i < mid && j < hi) {
        // The right element is taken only when it goes strictly first, which keeps equal
        // elements in their order.
        if (cmp(first[j], first[i]) < 0) buffer.push_back(std::move(first[j++]));
        else buffer.push_back(std::move(first[i++]));
      }
      while (i < mid) buffer.push_back(std::move(first[i++]));
      while (j < hi) buffer.push_back(std::move(first[j++]));
      std::move(buffer.begin(), buffer.end(), first + lo);
    }
  }
}

template <typename T, typename Alloc, typename Cmp>
void stableSortWith3Way(std::vector<T, Alloc>& v, Cmp cmp) {
  stableSortWith3Way(v.begin(), v.end(), std::move(cmp));
}

}  // namespace kit
