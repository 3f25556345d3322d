// The property-list value: null, bool, integer, real, string, date, data, array, dictionary and
// boxed geometry. Value semantics, so a deep copy is a plain copy.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "kit/core/geometry.h"

namespace kit {

class Value;
using Array = std::vector<Value>;
// Keys sorted: enumeration order is deterministic.
using Dictionary = std::map<std::string, Value, std::less<>>;
using Data = std::vector<std::uint8_t>;

// A point in time: seconds since 1970-01-01 00:00:00 UTC.
struct Date {
  double seconds = 0;
  friend bool operator==(const Date& a, const Date& b) { return a.seconds == b.seconds; }
  friend bool operator<(const Date& a, const Date& b) { return a.seconds < b.seconds; }
};

class Value {
 public:
  enum class Type { Null, Bool, Integer, Real, String, Date, Data, Array, Dictionary, Point, Size, Rect };

  Value() = default;
  Value(std::nullptr_t) {}
  Value(bool b) : v_(b) {}
  Value(int i) : v_(static_cast<std::int64_t>(i)) {}
  Value(long i) : v_(static_cast<std::int64_t>(i)) {}
  Value(long long i) : v_(static_cast<std::int64_t>(i)) {}
  Value(unsigned i) : v_(static_cast<std::int64_t>(i)) {}
  Value(unsigned long i) : v_(static_cast<std::int64_t>(i)) {}
  Value(unsigned long long i) : v_(static_cast<std::int64_t>(i)) {}
  Value(float d) : v_(static_cast<double>(d)) {}
  Value(double d) : v_(d) {}
  Value(const char* s) : v_(std::string(s ? s : "")) {}
  Value(std::string s) : v_(std::move(s)) {}
  Value(std::string_view s) : v_(std::string(s)) {}
  Value(kit::Date d) : v_(d) {}
  Value(Data d) : v_(std::move(d)) {}
  Value(Array a) : v_(std::make_shared<Array>(std::move(a))) {}
  Value(Dictionary d) : v_(std::make_shared<Dictionary>(std::move(d))) {}
  Value(Point p) : v_(p) {}
  Value(kit::Size s) : v_(s) {}
  Value(kit::Rect r) : v_(r) {}

  Value(const Value&) = default;
  Value(Value&&) noexcept = default;
  Value& operator=(const Value&) = default;
  Value& operator=(Value&&) noexcept = default;

  Type type() const { return static_cast<Type>(v_.index()); }
  bool isNull() const { return type() == Type::Null; }
  bool isBool() const { return type() == Type::Bool; }
  bool isInteger() const { return type() == Type::Integer; }
  bool isReal() const { return type() == Type::Real; }
  bool isNumber() const { return isBool() || isInteger() || isReal(); }
  bool isString() const { return type() == Type::String; }
  bool isDate() const { return type() == Type::Date; }
  bool isData() const { return type() == Type::Data; }
  bool isArray() const { return type() == Type::Array; }
  bool isDictionary() const { return type() == Type::Dictionary; }
  bool isPoint() const { return type() == Type::Point; }
  bool isSize() const { return type() == Type::Size; }
  bool isRect() const { return type() == Type::Rect; }
  explicit operator bool() const = delete;

  // Number readings with the platform's rules: numbers convert, strings parse as much as they
  // can (leading blanks skipped, 0 when nothing parses); anything else gives 0 / false.
  std::int64_t integerValue() const;
  int intValue() const { return static_cast<int>(integerValue()); }
  double doubleValue() const;
  float floatValue() const { return static_cast<float>(doubleValue()); }
  // Strings: YES when the first non-blank character after an optional sign and leading zeros
  // is Y, y, T, t or a digit 1-9.
  bool boolValue() const;

  // Typed access; the empty/zero value when the type differs.
  const std::string& string() const;
  kit::Date date() const;
  const Data& data() const;
  const Array& array() const;
  const Dictionary& dictionary() const;
  Point point() const;
  kit::Size size() const;
  kit::Rect rect() const;

  // Mutable access; turns a null value into an empty container first.
  Array& mutableArray();
  Dictionary& mutableDictionary();

  // Dictionary look-up; a null value when absent or not a dictionary.
  const Value& operator[](std::string_view key) const;
  bool contains(std::string_view key) const;
  // Sets key; a null value removes it (so that nil is never stored).
  void set(std::string_view key, Value v);
  void remove(std::string_view key);

  // Number of elements of an array or dictionary, length in bytes of string/data, else 0.
  std::size_t count() const;

  // A readable one-line rendering for logs and "%@" formatting.
  std::string description() const;

  friend bool operator==(const Value& a, const Value& b);
  friend bool operator!=(const Value& a, const Value& b) { return !(a == b); }

  static const Value& nullValue();

 private:
  // Containers are shared between copies until one is written (copy on write), so copies are
  // cheap and still independent. Mutation is a main-thread affair.
  void makeUnique();

  std::variant<std::monostate, bool, std::int64_t, double, std::string, kit::Date, Data,
               std::shared_ptr<Array>, std::shared_ptr<Dictionary>, Point, kit::Size, kit::Rect>
      v_;
};

}  // namespace kit
