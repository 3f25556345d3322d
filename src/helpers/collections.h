// Nil-safe dictionary and array access, row moving and deep copies.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "kit/core/value.h"

namespace collections {

// Sets the value for the key; a null value (nil) leaves the dictionary unchanged.
void setObjectEx(kit::Dictionary& d, std::string_view key, kit::Value value);
// The same on a Value; a null receiver becomes a dictionary only when something is set. A
// receiver of another type is left alone.
void setObjectEx(kit::Value& d, std::string_view key, kit::Value value);

// The element at the index; nullptr when the index is not below the count.
template <class T>
const T* objectAtIndexEx(const std::vector<T>& a, std::size_t index) {
  return index < a.size() ? &a[index] : nullptr;
}
// The same for an array Value; the null value when out of range or not an array.
const kit::Value& objectAtIndexEx(const kit::Value& a, std::size_t index);

// Removes the element at the index and hands it to the caller; nullopt and no change when the
// index is out of range.
template <class T>
std::optional<T> removeAndReturnObjectAtIndex(std::vector<T>& a, std::size_t index) {
  if (index >= a.size()) return std::nullopt;
  std::optional<T> out(std::move(a[index]));
  a.erase(a.begin() + static_cast<std::ptrdiff_t>(index));
  return out;
}

// Moves the element at `from` to `toIndex`, shifting the ones between by one toward the vacated
// place (neighbours are exchanged). Nothing when either index is out of range or they are equal.
template <class T>
void moveRowAtIndex(std::vector<T>& a, std::size_t from, std::size_t toIndex) {
  if (from >= a.size() || toIndex >= a.size() || from == toIndex) return;
  const auto f = a.begin() + static_cast<std::ptrdiff_t>(from);
  const auto t = a.begin() + static_cast<std::ptrdiff_t>(toIndex);
  if (from > toIndex) {
    std::rotate(t, f, f + 1);
  } else {
    std::rotate(f, f + 1, t + 1);
  }
}
void moveRowAtIndex(kit::Value& a, std::size_t from, std::size_t toIndex);

// A copy sharing nothing with the original at any level (containers included), so that changes
// to either never show in the other.
kit::Value mutableCopyDeep(const kit::Value& v);
kit::Dictionary mutableCopyDeep(const kit::Dictionary& d);
kit::Array mutableCopyDeep(const kit::Array& a);

}  // namespace collections
