#include "helpers/collections.h"

namespace collections {

void setObjectEx(kit::Dictionary& d, std::string_view key, kit::Value value) {
  if (value.isNull()) return;
  auto it = d.find(key);
  if (it != d.end()) {
    it->second = std::move(value);
  } else {
    d.emplace(std::string(key), std::move(value));
  }
}

void setObjectEx(kit::Value& d, std::string_view key, kit::Value value) {
  if (value.isNull() || !(d.isNull() || d.isDictionary())) return;
  d.mutableDictionary();
  d.set(key, std::move(value));
}

const kit::Value& objectAtIndexEx(const kit::Value& a, std::size_t index) {
  if (!a.isArray() || index >= a.array().size()) return kit::Value::nullValue();
  return a.array()[index];
}

void moveRowAtIndex(kit::Value& a, std::size_t from, std::size_t toIndex) {
  if (!a.isArray()) return;
  const std::size_t n = a.array().size();
  if (from >= n || toIndex >= n || from == toIndex) return;
  moveRowAtIndex(a.mutableArray(), from, toIndex);
}

kit::Dictionary mutableCopyDeep(const kit::Dictionary& d) {
  kit::Dictionary out;
  for (const auto& [key, value] : d) out.emplace_hint(out.end(), key, mutableCopyDeep(value));
  return out;
}

kit::Array mutableCopyDeep(const kit::Array& a) {
  kit::Array out;
  out.reserve(a.size());
  for (const kit::Value& v : a) out.push_back(mutableCopyDeep(v));
  return out;
}

kit::Value mutableCopyDeep(const kit::Value& v) {
  // Containers are rebuilt so that no storage is shared, not even copy-on-write storage.
  if (v.isDictionary()) return kit::Value(mutableCopyDeep(v.dictionary()));
  if (v.isArray()) return kit::Value(mutableCopyDeep(v.array()));
  return v;
}

}  // namespace collections
