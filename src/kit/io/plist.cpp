#include "kit/io/plist.h"

#include <plist/plist.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "kit/core/files.h"
#include "kit/core/format.h"
#include "kit/io/plist_reader.h"
#include "kit/text/utf.h"

namespace kit::plist {

namespace {

using detail::kMaxDepth;
using detail::kReferenceEpoch;

struct NodeDeleter {
  void operator()(void* p) const { plist_free(static_cast<plist_t>(p)); }
};
using Node = std::unique_ptr<void, NodeDeleter>;

plist_t toNode(const Value& v, int depth) {
  if (depth > kMaxDepth) return nullptr;
  switch (v.type()) {
    case Value::Type::Null: return nullptr;
    case Value::Type::Bool: return plist_new_bool(v.boolValue() ? 1 : 0);
    // Signed values stored in the unsigned node read back signed.
    case Value::Type::Integer: return plist_new_uint(static_cast<std::uint64_t>(v.integerValue()));
    case Value::Type::Real: return plist_new_real(v.doubleValue());
    case Value::Type::String: return plist_new_string(v.string().c_str());
    case Value::Type::Date: {
      double t = v.date().seconds - kReferenceEpoch;
      if (!std::isfinite(t)) t = 0;
      double whole = std::floor(t);
      constexpr double lo = std::numeric_limits<std::int32_t>::min();
      constexpr double hi = std::numeric_limits<std::int32_t>::max();
      if (whole < lo) whole = lo;
      if (whole > hi) whole = hi;
      double usec = std::round((t - whole) * 1e6);
      if (usec >= 1e6 || usec < 0) usec = 0;
      return plist_new_date(static_cast<std::int32_t>(whole), static_cast<std::int32_t>(usec));
    }
    case Value::Type::Data: {
      const Data& d = v.data();
      return plist_new_data(reinterpret_cast<const char*>(d.data()), d.size());
    }
    case Value::Type::Array: {
      plist_t a = plist_new_array();
      for (const Value& e : v.array()) {
        if (e.isNull()) continue;
        plist_t n = toNode(e, depth + 1);
        if (!n) {
          plist_free(a);
          return nullptr;
        }
        plist_array_append_item(a, n);
      }
      return a;
    }
    case Value::Type::Dictionary: {
      plist_t d = plist_new_dict();
      for (const auto& [k, e] : v.dictionary()) {
        if (e.isNull()) continue;
        plist_t n = toNode(e, depth + 1);
        if (!n) {
          plist_free(d);
          return nullptr;
        }
        plist_dict_set_item(d, k.c_str(), n);
      }
      return d;
    }
    // Boxed geometry is written in its description form: "{x, y}", "{w, h}", "{{x, y}, {w, h}}".
    case Value::Type::Point:
    case Value::Type::Size:
    case Value::Type::Rect: return plist_new_string(v.description().c_str());
  }
  return nullptr;
}

std::optional<Value> fromNode(plist_t n, int depth) {
  if (!n || depth > kMaxDepth) return std::nullopt;
  switch (plist_get_node_type(n)) {
    case PLIST_BOOLEAN: {
      std::uint8_t b = 0;
      plist_get_bool_val(n, &b);
      return Value(b != 0);
    }
    case PLIST_UINT:
    case PLIST_UID: {
      std::uint64_t u = 0;
      if (plist_get_node_type(n) == PLIST_UINT) plist_get_uint_val(n, &u);
      else plist_get_uid_val(n, &u);
      return Value(static_cast<std::int64_t>(u));
    }
    case PLIST_REAL: {
      double d = 0;
      plist_get_real_val(n, &d);
      return Value(d);
    }
    case PLIST_STRING: {
      // Not plist_get_string_val: it aborts on a string holding a NUL (a raw NUL byte in XML).
      std::uint64_t len = 0;
      const char* s = plist_get_string_ptr(n, &len);
      if (!s) return Value(std::string());
      // Text that is not UTF-8 could not be written back whole: the list is damaged.
      if (std::memchr(s, 0, len) || !isValidUtf8(std::string_view(s, len))) return std::nullopt;
      return Value(std::string(s, len));
    }
    case PLIST_KEY: {
      char* s = nullptr;
      plist_get_key_val(n, &s);
      std::optional<Value> v;
      if (!s || isValidUtf8(s)) v = Value(s ? std::string(s) : std::string());
      free(s);
      return v;
    }
    case PLIST_DATE: {
      std::int32_t sec = 0, usec = 0;
      plist_get_date_val(n, &sec, &usec);
      // libplist hands a date over as its seconds cut toward zero and the size of the fraction
      // (so the last second before 2001 cannot be told from the first after it); beyond 32 bits
      // of seconds it gives the lowest value and a meaningless fraction, which reads as that
      // second (writing clamps there too).
      const double fraction = sec == std::numeric_limits<std::int32_t>::min() ? 0 : std::abs(usec) / 1e6;
      return Value(Date{kReferenceEpoch + (sec < 0 ? sec - fraction : sec + fraction)});
    }
    case PLIST_DATA: {
      char* p = nullptr;
      std::uint64_t len = 0;
      plist_get_data_val(n, &p, &len);
      Data d;
      if (p) d.assign(reinterpret_cast<std::uint8_t*>(p), reinterpret_cast<std::uint8_t*>(p) + len);
      free(p);
      return Value(std::move(d));
    }
    case PLIST_ARRAY: {
      Array a;
      std::uint32_t count = plist_array_get_size(n);
      a.reserve(count);
      for (std::uint32_t i = 0; i < count; ++i) {
        auto e = fromNode(plist_array_get_item(n, i), depth + 1);
        if (!e) return std::nullopt;
        a.push_back(std::move(*e));
      }
      return Value(std::move(a));
    }
    case PLIST_DICT: {
      Dictionary d;
      plist_dict_iter it = nullptr;
      plist_dict_new_iter(n, &it);
      if (!it) return Value(std::move(d));
      std::optional<Value> result;
      bool ok = true;
      while (true) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(n, it, &key, &item);
        if (!item) {
          free(key);
          break;
        }
        auto e = fromNode(item, depth + 1);
        if (!e || !key || !isValidUtf8(key)) {
          free(key);
          ok = false;
          break;
        }
        d.insert_or_assign(std::string(key), std::move(*e));
        free(key);
      }
      free(it);
      if (!ok) return std::nullopt;
      return Value(std::move(d));
    }
    default: return std::nullopt;
  }
}

// Characters no XML parser takes, which libplist writes into XML as they are: controls other
// than tab and line ends (NUL aside: a list holding it is damaged), and U+FFFE and U+FFFF.
bool holdsCharacterXMLRefuses(std::string_view bytes) {
  if (bytes.find("\xEF\xBF\xBE") != std::string_view::npos || bytes.find("\xEF\xBF\xBF") != std::string_view::npos)
    return true;
  return std::any_of(bytes.begin(), bytes.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u != 0 && u < 0x20 && u != '\t' && u != '\n' && u != '\r';
  });
}

// How deep dict and array elements nest, counting any such tag (in comments and CDATA too, so
// never less than the truth): libplist's XML reader recurses once per level without a limit.
int xmlNestingDepth(std::string_view bytes) {
  int depth = 0, deepest = 0;
  for (std::size_t at = bytes.find('<'); at != std::string_view::npos; at = bytes.find('<', at + 1)) {
    const bool closing = at + 1 < bytes.size() && bytes[at + 1] == '/';
    std::string_view name = bytes.substr(at + (closing ? 2 : 1));
    std::size_t length = name.substr(0, 4) == "dict" ? 4 : name.substr(0, 5) == "array" ? 5 : 0;
    if (length == 0 || (length < name.size() && name[length] != '>' && name[length] != '/' &&
                        name[length] != ' ' && name[length] != '\t' && name[length] != '\n' && name[length] != '\r'))
      continue;
    if (closing) {
      depth = std::max(0, depth - 1);
      continue;
    }
    const std::size_t end = name.find('>');
    if (end != std::string_view::npos && end > 0 && name[end - 1] == '/') continue;  // empty
    deepest = std::max(deepest, ++depth);
  }
  return deepest;
}

}  // namespace

std::optional<Value> read(std::string_view bytes, ReadFailure& why) {
  why = ReadFailure::Damaged;
  if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  const bool binary = bytes.substr(0, 6) == "bplist";
  std::optional<Value> v = binary ? detail::readBinary(bytes, why) : detail::readXML(bytes, why);
  if (v) {
    why = ReadFailure::None;
    return v;
  }
  if (binary || why == ReadFailure::TooDeep) return std::nullopt;
  // A list libplist wrote with characters that no XML parser takes (a theme string with a control
  // character, say) is still read, by libplist, when it is shallow enough for libplist's recursion.
  if (!holdsCharacterXMLRefuses(bytes)) return std::nullopt;
  if (xmlNestingDepth(bytes) > kMaxDepth) {
    why = ReadFailure::TooDeep;
    return std::nullopt;
  }
  plist_t root = nullptr;
  plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
  if (!root) return std::nullopt;
  Node guard(root);
  v = fromNode(root, 0);
  if (v) why = ReadFailure::None;
  return v;
}

std::optional<Value> read(std::string_view bytes) {
  ReadFailure why;
  return read(bytes, why);
}

std::optional<Value> read(const Data& bytes) {
  return read(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::optional<Value> readFile(const std::string& path, ReadFailure& why) {
  why = ReadFailure::Damaged;
  auto bytes = FileManager::readFile(path);
  if (!bytes) return std::nullopt;
  return read(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), why);
}

std::optional<Value> readFile(const std::string& path) {
  ReadFailure why;
  return readFile(path, why);
}

std::string writeXML(const Value& v) {
  plist_t root = toNode(v, 0);
  if (!root) return {};
  Node guard(root);
  char* xml = nullptr;
  std::uint32_t len = 0;
  plist_to_xml(root, &xml, &len);
  if (!xml) return {};
  std::string out(xml, len);
  plist_to_xml_free(xml);
  return out;
}

Data writeBinary(const Value& v) {
  plist_t root = toNode(v, 0);
  if (!root) return {};
  Node guard(root);
  char* bin = nullptr;
  std::uint32_t len = 0;
  plist_to_bin(root, &bin, &len);
  if (!bin) return {};
  Data out(reinterpret_cast<std::uint8_t*>(bin), reinterpret_cast<std::uint8_t*>(bin) + len);
  plist_to_bin_free(bin);
  return out;
}

bool writeFile(const std::string& path, const Value& v, bool binary) {
  if (binary) {
    Data d = writeBinary(v);
    return !d.empty() && FileManager::writeAtomically(path, d);
  }
  std::string x = writeXML(v);
  return !x.empty() && FileManager::writeAtomically(path, x);
}

}  // namespace kit::plist
