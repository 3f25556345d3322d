// Binary property lists ("bplist00") read by our own code. libplist's reader recurses without a
// limit (a list nested 100,000 levels overflowed the stack), takes time quadratic in the depth,
// copies an object for every reference to it (so shared containers multiply) and asserts on a
// UTF-16 string holding U+0000. This one checks every offset, length and reference against the
// file, stops at a depth and at a budget of values and bytes proportional to the input, and so
// reads any file in time linear in its size.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "kit/io/plist_reader.h"
#include "kit/text/utf.h"

namespace kit::plist::detail {

namespace {

constexpr std::size_t kHeader = 8, kTrailer = 32;

std::uint64_t bigEndian(const unsigned char* p, std::size_t n) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}

class BinaryReader {
 public:
  explicit BinaryReader(std::string_view bytes)
      : p_(reinterpret_cast<const unsigned char*>(bytes.data())), size_(bytes.size()),
        // Every value read stands for at least one byte of references; what text and data a file
        // may spell out by repeating one object is bounded as entity expansion is.
        valuesLeft_(bytes.size()), bytesLeft_(16 * static_cast<std::uint64_t>(bytes.size()) + (16u << 20)) {}

  std::optional<Value> run(ReadFailure& why) {
    if (size_ < kHeader + kTrailer || std::memcmp(p_, "bplist00", kHeader) != 0) return fail(why);
    const unsigned char* t = p_ + size_ - kTrailer;
    offsetSize_ = t[6];
    refSize_ = t[7];
    objects_ = bigEndian(t + 8, 8);
    const std::uint64_t top = bigEndian(t + 16, 8), table = bigEndian(t + 24, 8);
    if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8 || objects_ == 0 || top >= objects_)
      return fail(why);
    // Objects lie between the header and the offset table, which ends at the trailer.
    const std::uint64_t tableRoom = size_ - kTrailer;
    if (table < kHeader || table > tableRoom || objects_ > (tableRoom - table) / offsetSize_) return fail(why);
    table_ = p_ + table;
    objectsEnd_ = table;
    std::optional<Value> v = object(top, 0);
    if (!v) why = tooDeep_ ? ReadFailure::TooDeep : ReadFailure::Damaged;
    return v;
  }

 private:
  static std::optional<Value> fail(ReadFailure& why) {
    why = ReadFailure::Damaged;
    return std::nullopt;
  }

  // The offset of an object, nullopt for one outside the object area.
  std::optional<std::uint64_t> offsetOf(std::uint64_t ref) const {
    if (ref >= objects_) return std::nullopt;
    const std::uint64_t at = bigEndian(table_ + ref * offsetSize_, offsetSize_);
    if (at < kHeader || at >= objectsEnd_) return std::nullopt;
    return at;
  }

  // Bytes left in the object area from `at`.
  std::uint64_t room(std::uint64_t at) const { return at <= objectsEnd_ ? objectsEnd_ - at : 0; }

  // The count of a marker: its low nibble, or an integer object after it when that is 0xF.
  // `at` moves past what was read.
  std::optional<std::uint64_t> count(unsigned char marker, std::uint64_t& at) const {
    if ((marker & 0xF) != 0xF) return marker & 0xF;
    if (room(at) < 1 || (p_[at] >> 4) != 0x1) return std::nullopt;
    const std::size_t n = std::size_t{1} << (p_[at] & 0xF);
    if (n > 8 || room(at + 1) < n) return std::nullopt;
    const std::uint64_t c = bigEndian(p_ + at + 1, n);
    at += 1 + n;
    return c;
  }

  bool spend(std::uint64_t textBytes) {
    if (valuesLeft_ == 0 || textBytes > bytesLeft_) return false;
    --valuesLeft_;
    bytesLeft_ -= textBytes;
    return true;
  }

  // Text that could not be written back whole (NUL, not UTF-8) marks a damaged list.
  static std::optional<std::string> checkedText(std::string s) {
    if (std::memchr(s.data(), 0, s.size()) || !isValidUtf8(s)) return std::nullopt;
    return s;
  }

  // ASCII (0x5n) or UTF-16 (0x6n) text; nullopt for anything else.
  std::optional<std::string> text(std::uint64_t ref) {
    const std::optional<std::uint64_t> start = offsetOf(ref);
    if (!start) return std::nullopt;
    std::uint64_t at = *start + 1;
    const unsigned char marker = p_[*start];
    const std::optional<std::uint64_t> n = count(marker, at);
    if (!n) return std::nullopt;
    if ((marker >> 4) == 0x5) {
      if (*n > room(at) || !spend(*n)) return std::nullopt;
      return checkedText(std::string(reinterpret_cast<const char*>(p_ + at), *n));
    }
    if ((marker >> 4) != 0x6 || *n > room(at) / 2 || !spend(3 * *n)) return std::nullopt;
    std::string out;
    out.reserve(*n);
    for (std::uint64_t i = 0; i < *n; ++i) {
      char32_t c = static_cast<char32_t>(bigEndian(p_ + at + 2 * i, 2));
      if (c >= 0xD800 && c < 0xDC00) {  // a lead surrogate needs its trail
        if (i + 1 == *n) return std::nullopt;
        const char32_t trail = static_cast<char32_t>(bigEndian(p_ + at + 2 * (i + 1), 2));
        if (trail < 0xDC00 || trail >= 0xE000) return std::nullopt;
        c = 0x10000 + ((c - 0xD800) << 10) + (trail - 0xDC00);
        ++i;
      } else if (c >= 0xDC00 && c < 0xE000) {
        return std::nullopt;
      }
      appendUtf8(out, c);
    }
    return checkedText(std::move(out));
  }

  std::uint64_t refAt(std::uint64_t at) const { return bigEndian(p_ + at, refSize_); }

  std::optional<Value> object(std::uint64_t ref, int depth) {
    if (depth > kMaxDepth) {
      tooDeep_ = true;
      return std::nullopt;
    }
    const std::optional<std::uint64_t> start = offsetOf(ref);
    if (!start) return std::nullopt;
    const unsigned char marker = p_[*start];
    std::uint64_t at = *start + 1;
    switch (marker >> 4) {
      case 0x0:
        if ((marker == 0x08 || marker == 0x09) && spend(0)) return Value(marker == 0x09);
        return std::nullopt;
      case 0x1: {  // 1, 2, 4 and 8 bytes; of 16 the low 8, as libplist keeps them
        const std::size_t n = std::size_t{1} << (marker & 0xF);
        if (n > 16 || room(at) < n || !spend(0)) return std::nullopt;
        const std::size_t kept = n > 8 ? 8 : n;
        return Value(static_cast<std::int64_t>(bigEndian(p_ + at + (n - kept), kept)));
      }
      case 0x2: {
        if ((marker & 0xF) == 2 && room(at) >= 4 && spend(0)) {
          const std::uint32_t bits = static_cast<std::uint32_t>(bigEndian(p_ + at, 4));
          float f;
          std::memcpy(&f, &bits, 4);
          return Value(static_cast<double>(f));
        }
        if ((marker & 0xF) == 3 && room(at) >= 8 && spend(0)) return Value(realAt(at));
        return std::nullopt;
      }
      case 0x3:
        if (marker != 0x33 || room(at) < 8 || !spend(0)) return std::nullopt;
        return Value(dateFromReference(realAt(at)));
      case 0x4: {
        const std::optional<std::uint64_t> n = count(marker, at);
        if (!n || *n > room(at) || !spend(*n)) return std::nullopt;
        return Value(Data(p_ + at, p_ + at + *n));
      }
      case 0x5:
      case 0x6:
        if (std::optional<std::string> s = text(ref)) return Value(std::move(*s));
        return std::nullopt;
      case 0x8: {  // a UID reads as its number
        const std::size_t n = (marker & 0xF) + 1u;
        if (n > 8 || room(at) < n || !spend(0)) return std::nullopt;
        return Value(static_cast<std::int64_t>(bigEndian(p_ + at, n)));
      }
      case 0xA: {
        const std::optional<std::uint64_t> n = count(marker, at);
        if (!n || *n > room(at) / refSize_ || !spend(0)) return std::nullopt;
        Array a;
        a.reserve(static_cast<std::size_t>(*n));
        for (std::uint64_t i = 0; i < *n; ++i) {
          std::optional<Value> e = object(refAt(at + i * refSize_), depth + 1);
          if (!e) return std::nullopt;
          a.push_back(std::move(*e));
        }
        return Value(std::move(a));
      }
      case 0xD: {
        const std::optional<std::uint64_t> n = count(marker, at);
        if (!n || *n > room(at) / refSize_ / 2 || !spend(0)) return std::nullopt;
        Dictionary d;
        for (std::uint64_t i = 0; i < *n; ++i) {
          std::optional<std::string> key = text(refAt(at + i * refSize_));
          if (!key) return std::nullopt;
          std::optional<Value> e = object(refAt(at + (*n + i) * refSize_), depth + 1);
          if (!e) return std::nullopt;
          d.insert_or_assign(std::move(*key), std::move(*e));  // a repeated key: the last wins
        }
        return Value(std::move(d));
      }
      default: return std::nullopt;  // sets, UTF-8 strings and later formats' types
    }
  }

  double realAt(std::uint64_t at) const {
    const std::uint64_t bits = bigEndian(p_ + at, 8);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
  }

  const unsigned char* p_;
  std::size_t size_;
  std::uint64_t valuesLeft_, bytesLeft_;
  std::size_t offsetSize_ = 0, refSize_ = 0;
  std::uint64_t objects_ = 0, objectsEnd_ = 0;
  const unsigned char* table_ = nullptr;
  bool tooDeep_ = false;
};

}  // namespace

Date dateFromReference(double seconds) {
  // Whole seconds within 32 bits and microseconds, as the writer keeps them, so that what is
  // read writes and reads back the same.
  constexpr double lo = std::numeric_limits<std::int32_t>::min();
  constexpr double hi = std::numeric_limits<std::int32_t>::max();
  if (!std::isfinite(seconds) || seconds < lo) seconds = lo;
  if (seconds > hi) seconds = hi;
  double whole = std::floor(seconds);
  double micros = std::round((seconds - whole) * 1e6);
  if (micros >= 1e6) {
    micros = 0;
    if (whole < hi) whole += 1;
  }
  return Date{kReferenceEpoch + (whole + micros / 1e6)};
}

std::optional<Value> readBinary(std::string_view bytes, ReadFailure& why) { return BinaryReader(bytes).run(why); }

}  // namespace kit::plist::detail
