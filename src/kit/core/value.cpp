#include "kit/core/value.h"

#include "kit/core/format.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include <fmt/format.h>

namespace kit {

namespace {

const std::string kEmptyString;
const Data kEmptyData;
const Array kEmptyArray;
const Dictionary kEmptyDictionary;

std::string formatReal(double d) { return formatDouble(d); }

}  // namespace

const Value& Value::nullValue() {
  static const Value v;
  return v;
}

std::int64_t Value::integerValue() const {
  switch (type()) {
    case Type::Bool: return std::get<bool>(v_) ? 1 : 0;
    case Type::Integer: return std::get<std::int64_t>(v_);
    case Type::Real: {
      double d = std::get<double>(v_);
      if (std::isnan(d)) return 0;
      if (d >= 9.2e18) return INT64_MAX;
      if (d <= -9.2e18) return INT64_MIN;
      return static_cast<std::int64_t>(d);
    }
    case Type::String: return parseInt(std::get<std::string>(v_));
    default: return 0;
  }
}

double Value::doubleValue() const {
  switch (type()) {
    case Type::Bool: return std::get<bool>(v_) ? 1 : 0;
    case Type::Integer: return static_cast<double>(std::get<std::int64_t>(v_));
    case Type::Real: return std::get<double>(v_);
    case Type::String: return parseDouble(std::get<std::string>(v_));
    default: return 0;
  }
}

bool Value::boolValue() const {
  switch (type()) {
    case Type::Bool: return std::get<bool>(v_);
    case Type::Integer: return std::get<std::int64_t>(v_) != 0;
    case Type::Real: return std::get<double>(v_) != 0;
    case Type::String: return parseBool(std::get<std::string>(v_));
    default: return false;
  }
}

const std::string& Value::string() const {
  if (auto p = std::get_if<std::string>(&v_)) return *p;
  return kEmptyString;
}
Date Value::date() const {
  if (auto p = std::get_if<kit::Date>(&v_)) return *p;
  return {};
}
const Data& Value::data() const {
  if (auto p = std::get_if<Data>(&v_)) return *p;
  return kEmptyData;
}
const Array& Value::array() const {
  if (auto p = std::get_if<std::shared_ptr<Array>>(&v_)) return **p;
  return kEmptyArray;
}
const Dictionary& Value::dictionary() const {
  if (auto p = std::get_if<std::shared_ptr<Dictionary>>(&v_)) return **p;
  return kEmptyDictionary;
}
Point Value::point() const {
  if (auto p = std::get_if<Point>(&v_)) return *p;
  return {};
}
kit::Size Value::size() const {
  if (auto p = std::get_if<kit::Size>(&v_)) return *p;
  return {};
}
kit::Rect Value::rect() const {
  if (auto p = std::get_if<kit::Rect>(&v_)) return *p;
  return {};
}

void Value::makeUnique() {
  if (auto p = std::get_if<std::shared_ptr<Array>>(&v_)) {
    if (p->use_count() > 1) *p = std::make_shared<Array>(**p);
  } else if (auto q = std::get_if<std::shared_ptr<Dictionary>>(&v_)) {
    if (q->use_count() > 1) *q = std::make_shared<Dictionary>(**q);
  }
}

Array& Value::mutableArray() {
  if (!isArray()) v_ = std::make_shared<Array>();
  makeUnique();
  return *std::get<std::shared_ptr<Array>>(v_);
}

Dictionary& Value::mutableDictionary() {
  if (!isDictionary()) v_ = std::make_shared<Dictionary>();
  makeUnique();
  return *std::get<std::shared_ptr<Dictionary>>(v_);
}

const Value& Value::operator[](std::string_view key) const {
  if (!isDictionary()) return nullValue();
  const Dictionary& d = dictionary();
  auto it = d.find(key);
  return it == d.end() ? nullValue() : it->second;
}

bool Value::contains(std::string_view key) const {
  if (!isDictionary()) return false;
  return dictionary().find(key) != dictionary().end();
}

void Value::set(std::string_view key, Value v) {
  if (v.isNull()) {
    remove(key);
    return;
  }
  Dictionary& d = mutableDictionary();
  auto it = d.find(key);
  if (it != d.end()) it->second = std::move(v);
  else d.emplace(std::string(key), std::move(v));
}

void Value::remove(std::string_view key) {
  if (!isDictionary()) return;
  Dictionary& d = mutableDictionary();
  auto it = d.find(key);
  if (it != d.end()) d.erase(it);
}

std::size_t Value::count() const {
  switch (type()) {
    case Type::Array: return array().size();
    case Type::Dictionary: return dictionary().size();
    case Type::String: return string().size();
    case Type::Data: return data().size();
    default: return 0;
  }
}

std::string Value::description() const {
  switch (type()) {
    case Type::Null: return "(null)";
    case Type::Bool: return std::get<bool>(v_) ? "1" : "0";
    case Type::Integer: return std::to_string(std::get<std::int64_t>(v_));
    case Type::Real: return formatReal(std::get<double>(v_));
    case Type::String: return string();
    case Type::Date: return formatReal(date().seconds);
    case Type::Data: return fmt::format("<{} bytes>", data().size());
    case Type::Array: {
      std::string s = "(";
      bool first = true;
      for (const Value& v : array()) {
        s += first ? "" : ", ";
        s += v.description();
        first = false;
      }
      return s + ")";
    }
    case Type::Dictionary: {
      std::string s = "{";
      for (const auto& [k, v] : dictionary()) s += k + " = " + v.description() + "; ";
      return s + "}";
    }
    case Type::Point: {
      Point p = point();
      return fmt::format("{{{}, {}}}", formatFloat(p.x), formatFloat(p.y));
    }
    case Type::Size: {
      kit::Size z = size();
      return fmt::format("{{{}, {}}}", formatFloat(z.width), formatFloat(z.height));
    }
    case Type::Rect: {
      kit::Rect r = rect();
      return fmt::format("{{{{{}, {}}}, {{{}, {}}}}}", formatFloat(r.origin.x), formatFloat(r.origin.y),
                         formatFloat(r.size.width), formatFloat(r.size.height));
    }
  }
  return {};
}

bool operator==(const Value& a, const Value& b) {
  // Numbers compare by value across bool, integer and real, as number objects do.
  if (a.isNumber() && b.isNumber()) {
    if (a.isReal() || b.isReal()) return a.doubleValue() == b.doubleValue();
    return a.integerValue() == b.integerValue();
  }
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case Value::Type::Null: return true;
    case Value::Type::String: return a.string() == b.string();
    case Value::Type::Date: return a.date() == b.date();
    case Value::Type::Data: return a.data() == b.data();
    case Value::Type::Array: return a.array() == b.array();
    case Value::Type::Dictionary: return a.dictionary() == b.dictionary();
    case Value::Type::Point: return a.point() == b.point();
    case Value::Type::Size: return a.size() == b.size();
    case Value::Type::Rect: return a.rect() == b.rect();
    default: return false;
  }
}

}  // namespace kit
