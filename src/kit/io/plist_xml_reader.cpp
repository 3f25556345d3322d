// XML property lists read through the event parser. libplist decodes each entity of a string in
// place and moves the rest of the text every time, so a map of many topics (its whole XML is one
// escaped string) took time quadratic in its size; libxml2 expands entities as it goes.
#include <time.h>

#include <charconv>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "kit/io/plist_reader.h"
#include "kit/io/xml.h"

namespace kit::plist::detail {

namespace {

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Decimal, or hexadecimal after "0x", with a sign; values past INT64_MAX read as the unsigned
// number's bits, as libplist stores them.
std::optional<std::int64_t> parseInteger(std::string_view s) {
  s = trimmed(s);
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  std::uint64_t u = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), u, base);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return negative ? static_cast<std::int64_t>(0 - u) : static_cast<std::int64_t>(u);
}

std::optional<double> parseReal(std::string_view s) {
  s = trimmed(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double d = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return d;
}

// "2023-11-14T22:13:20Z"; a fraction of a second is read too.
std::optional<Date> parseDate(std::string_view s) {
  s = trimmed(s);
  int f[6] = {};
  const char separators[] = "--T::";
  std::size_t at = 0;
  for (int i = 0; i < 6; ++i) {
    auto [end, ec] = std::from_chars(s.data() + at, s.data() + s.size(), f[i]);
    if (ec != std::errc()) return std::nullopt;
    at = static_cast<std::size_t>(end - s.data());
    if (i < 5) {
      if (at >= s.size() || s[at] != separators[i]) return std::nullopt;
      ++at;
    }
  }
  double fraction = 0;
  if (at < s.size() && s[at] == '.') {
    std::size_t digits = at + 1;
    while (digits < s.size() && s[digits] >= '0' && s[digits] <= '9') ++digits;
    auto r = parseReal("0" + std::string(s.substr(at, digits - at)));
    if (!r) return std::nullopt;
    fraction = *r;
    at = digits;
  }
  if (at + 1 != s.size() || s[at] != 'Z') return std::nullopt;
  struct tm t {};
  t.tm_year = f[0] - 1900;
  t.tm_mon = f[1] - 1;
  t.tm_mday = f[2];
  t.tm_hour = f[3];
  t.tm_min = f[4];
  t.tm_sec = f[5];
  const time_t seconds = timegm(&t);
  return Date{static_cast<double>(seconds) + fraction};
}

// Base64 with white space anywhere; nothing for any other stray character.
std::optional<Data> parseBase64(std::string_view s) {
  Data out;
  out.reserve(s.size() * 3 / 4);
  std::uint32_t bits = 0;
  int count = 0, padding = 0;
  for (char c : s) {
    int v;
    if (c >= 'A' && c <= 'Z') v = c - 'A';
    else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
    else if (c >= '0' && c <= '9') v = c - '0' + 52;
    else if (c == '+') v = 62;
    else if (c == '/') v = 63;
    else if (c == '=') { ++padding; continue; }
    else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    else return std::nullopt;
    if (padding) return std::nullopt;  // text after the padding
    bits = (bits << 6) | static_cast<std::uint32_t>(v);
    if (++count == 4) {
      out.push_back(static_cast<std::uint8_t>(bits >> 16));
      out.push_back(static_cast<std::uint8_t>(bits >> 8));
      out.push_back(static_cast<std::uint8_t>(bits));
      bits = 0;
      count = 0;
    }
  }
  if (count == 1) return std::nullopt;
  if (count >= 2) out.push_back(static_cast<std::uint8_t>(bits >> (count == 2 ? 4 : 10)));
  if (count == 3) out.push_back(static_cast<std::uint8_t>(bits >> 2));
  return out;
}

class Reader : public XMLParserDelegate {
 public:
  std::optional<Value> result;
  bool failed = false;

  void didStartElementWithAttributes(XMLParser& parser, std::string_view name, const XMLAttributes&) override {
    if (inText_) return fail(parser);  // values hold no elements
    if (name == "plist" && stack_.empty() && !result && !sawPlist_) {
      sawPlist_ = true;
    } else if (name == "dict") {
      stack_.push_back(Frame{true, {}, {}, {}, false});
    } else if (name == "array") {
      stack_.push_back(Frame{false, {}, {}, {}, false});
    } else if (name == "key" || name == "string" || name == "integer" || name == "real" || name == "date" ||
               name == "data") {
      inText_ = true;
      text_.clear();
    } else if (name != "true" && name != "false") {
      fail(parser);
    }
  }

  void foundCharacters(XMLParser&, std::string_view chars) override {
    if (inText_) text_ += chars;
  }

  void didEndElement(XMLParser& parser, const std::string& name) override {
    inText_ = false;
    if (name == "plist") return;
    if (name == "dict" || name == "array") {
      if (stack_.empty()) return fail(parser);
      Frame done = std::move(stack_.back());
      stack_.pop_back();
      if (done.hasKey) return fail(parser);  // a key without its value
      return add(parser, done.isDictionary ? Value(std::move(done.dictionary)) : Value(std::move(done.array)));
    }
    if (name == "key") {
      if (stack_.empty() || !stack_.back().isDictionary || stack_.back().hasKey) return fail(parser);
      stack_.back().key = std::move(text_);
      stack_.back().hasKey = true;
      return;
    }
    if (name == "true" || name == "false") return add(parser, Value(name == "true"));
    if (name == "string") return add(parser, Value(std::move(text_)));
    if (name == "integer") {
      if (auto v = parseInteger(text_)) return add(parser, Value(*v));
    } else if (name == "real") {
      if (auto v = parseReal(text_)) return add(parser, Value(*v));
    } else if (name == "date") {
      if (auto v = parseDate(text_)) return add(parser, Value(*v));
    } else if (name == "data") {
      if (auto v = parseBase64(text_)) return add(parser, Value(std::move(*v)));
    }
    fail(parser);
  }

  bool complete() const { return !failed && stack_.empty() && result.has_value(); }

 private:
  struct Frame {
    bool isDictionary;
    Array array;
    Dictionary dictionary;
    std::string key;  // the dictionary's key waiting for its value
    bool hasKey = false;
  };

  void add(XMLParser& parser, Value v) {
    if (stack_.empty()) {
      if (result) return fail(parser);  // one value only
      result = std::move(v);
      return;
    }
    Frame& f = stack_.back();
    if (f.isDictionary) {
      if (!f.hasKey) return fail(parser);
      f.dictionary.insert_or_assign(std::move(f.key), std::move(v));  // a repeated key: the last wins
      f.key.clear();
      f.hasKey = false;
    } else {
      f.array.push_back(std::move(v));
    }
  }

  void fail(XMLParser& parser) {
    failed = true;
    parser.abortParsing();
  }

  std::vector<Frame> stack_;
  std::string text_;
  bool inText_ = false;
  bool sawPlist_ = false;
};

}  // namespace

std::optional<Value> readXML(std::string_view bytes, ReadFailure& why) {
  Reader reader;
  XMLParser parser = XMLParser::borrowing(bytes);
  parser.setDelegate(&reader);
  if (!parser.parse() || !reader.complete()) {
    const auto& error = parser.parserError();
    why = error && error->code == XMLParser::kTooDeepError ? ReadFailure::TooDeep : ReadFailure::Damaged;
    return std::nullopt;
  }
  return std::move(reader.result);
}

}  // namespace kit::plist::detail
