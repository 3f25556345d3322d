// Parsing map XML into records: the native format and OPML, chosen by the root element. Nothing
// here touches a canvas, so a document that fails half-way leaves no trace.
#include <algorithm>
#include <array>
#include <iterator>
#include <limits>

#include "formats/map_formats.h"
#include "formats/xml_text.h"
#include "helpers/global_helpers_file_formats.h"
#include "kit/core/format.h"
#include "kit/io/xml.h"
#include "model/node_view.h"

namespace MapFormats {

using detail::parseHexColour;
using detail::parseInteger;
using detail::parseReal;

namespace {

constexpr std::size_t kMostReservedTopics = std::size_t{1} << 16;
constexpr float kMaxWidth = 100000;

// Every attribute name the reader knows, shortest first; Key follows the same order.
constexpr std::string_view kNames[] = {
    "x",     "y",     "to",    "dx",    "dy",     "ref",    "due",    "url",    "uuid",     "text",     "note",
    "link",  "from",  "name",  "level", "_uuid",  "icon1",  "icon2",  "image",    "shape",    "width",
    "start", "toEnd", "_note", "effort", "colour", "folded", "rollup", "callout", "percent",  "fromEnd",
    "loading", "fontSize", "floating", "boundary", "textStyle"};
enum Key {
  X, Y, To, Dx, Dy, Ref, Due, Url, Uuid, Text, Note,
  Link, From, Name, Level, PastedUuid, Icon1, Icon2, Image, Shape, Width,
  Start, ToEnd, OpmlNote, Effort, Colour, Folded, Rollup, Callout, Percent, FromEnd,
  Loading, FontSize, Floating, Boundary, TextStyle, KeyCount
};
static_assert(std::size(kNames) == KeyCount);
static_assert(kNames[PastedUuid] == "_uuid" && kNames[OpmlNote] == "_note" && kNames[TextStyle] == "textStyle");
constexpr std::size_t kLongestName = 9;
static_assert([] {
  for (std::size_t i = 1; i < std::size(kNames); ++i)
    if (kNames[i - 1].size() > kNames[i].size() || kNames[i].size() > kLongestName) return false;
  return true;
}());

// Length, first, middle and last letter tell every known name apart: they index a small table
// that holds the one candidate, which a single comparison then confirms.
constexpr std::size_t slotOfName(std::string_view n) {
  auto at = [&n](std::size_t i) { return static_cast<std::size_t>(static_cast<unsigned char>(n[i])); };
  return (n.size() + at(0) + at(n.size() - 1) + at(n.size() / 2) * 14) & 255;
}
constexpr std::array<std::int8_t, 256> kNameSlots = [] {
  std::array<std::int8_t, 256> slots{};
  for (auto& s : slots) s = -1;
  for (int k = 0; k < KeyCount; ++k) slots[slotOfName(kNames[k])] = static_cast<std::int8_t>(k);
  return slots;
}();
static_assert([] {
  for (int k = 0; k < KeyCount; ++k)
    if (kNameSlots[slotOfName(kNames[k])] != k) return false;  // two names share a slot
  return true;
}());

// Same text, compared a letter at a time: known names are a few letters long, too short to be
// worth a library call.
bool sameName(std::string_view known, std::string_view name) {
  if (known.size() != name.size()) return false;
  for (std::size_t i = 0; i < known.size(); ++i)
    if (known[i] != name[i]) return false;
  return true;
}

// What each name means, by the address the parser gives it for the whole parse: the few names of
// a map come back on every tag, and one comparison of addresses then replaces reading them.
class NameMemo {
 public:
  int keyOf(const kit::XMLAttribute& a) {
    if (!a.nameID) return lookUp(a.name);
    const std::uint64_t h = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(a.nameID)) * 0x9E3779B97F4A7C15ull;
    Entry& e = entries_[static_cast<std::size_t>(h >> 58)];
    if (e.id != a.nameID) e = {a.nameID, lookUp(a.name)};
    return e.key;
  }

 private:
  static int lookUp(std::string_view name) {
    if (name.empty() || name.size() > kLongestName) return -1;
    const int k = kNameSlots[slotOfName(name)];
    return k >= 0 && sameName(kNames[k], name) ? k : -1;
  }
  struct Entry {
    const void* id = nullptr;
    int key = -1;
  };
  std::array<Entry, 64> entries_{};
};

// A tag's known attributes, found in one pass so that each lookup after it costs nothing.
class Attributes {
 public:
  Attributes(const kit::XMLAttributes& all, NameMemo& names) {
    for (const kit::XMLAttribute& a : all) {
      const int k = names.keyOf(a);
      if (k < 0) continue;
      data_[k] = a.value.data();  // a repeated name: the last wins
      size_[k] = a.value.size();
      present_ |= std::uint64_t{1} << k;
    }
  }
  bool has(Key k) const { return present_ >> k & 1; }
  // Whether any of the keys in the mask is present.
  bool hasAny(std::uint64_t mask) const { return (present_ & mask) != 0; }
  // The value of a present key.
  std::string_view at(Key k) const { return std::string_view(data_[k], size_[k]); }

 private:
  // A presence mask rather than optionals: only the slots found are ever written.
  static_assert(KeyCount <= 64);
  // Left uninitialised: a tag is read for every topic and sets only a few of them.
  std::uint64_t present_ = 0;
  const char* data_[KeyCount];
  std::size_t size_[KeyCount];
};

constexpr std::uint64_t maskOf(std::initializer_list<Key> keys) {
  std::uint64_t m = 0;
  for (Key k : keys) m |= std::uint64_t{1} << k;
  return m;
}

std::string text(const Attributes& attrs, Key name) {
  return attrs.has(name) ? std::string(attrs.at(name)) : std::string();
}

// Sets the string only when the tag has the attribute: most topics lack most of them.
void readText(const Attributes& attrs, Key name, std::string& into) {
  if (attrs.has(name)) into = std::string(attrs.at(name));
}

// The same for a detail: a topic with none of them makes no details.
template <typename Field>
void readDetail(const Attributes& attrs, Key name, Field TopicDetails::*field, TopicRecord& t) {
  if (attrs.has(name)) t.writableDetails().*field = std::string(attrs.at(name));
}

bool flag(const Attributes& attrs, Key name) {
  if (!attrs.has(name)) return false;
  const std::string_view v = attrs.at(name);
  auto n = parseInteger(v);
  return n ? *n != 0 : (v == "true" || v == "yes");
}

// Out-of-range or unreadable values read as absent: the topic keeps its default.
std::optional<double> real(const Attributes& attrs, Key name) {
  return attrs.has(name) ? parseReal(attrs.at(name)) : std::nullopt;
}

std::optional<std::int64_t> integer(const Attributes& attrs, Key name) {
  return attrs.has(name) ? parseInteger(attrs.at(name)) : std::nullopt;
}

std::optional<kit::Point> point(const Attributes& attrs, Key xName, Key yName) {
  auto x = real(attrs, xName), y = real(attrs, yName);
  if (!x || !y) return std::nullopt;
  constexpr double limit = 1e7;  // far beyond any canvas; keeps float arithmetic sane
  if (*x < -limit || *x > limit || *y < -limit || *y > limit) return std::nullopt;
  return kit::Point(static_cast<float>(*x), static_cast<float>(*y));
}

bool inInt32(std::int64_t v) {
  return v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max();
}

void readIdentity(const Attributes& attrs, std::string& uuid, bool& keep) {
  if (attrs.has(Uuid)) {
    uuid = std::string(attrs.at(Uuid));
    keep = true;
  } else if (attrs.has(PastedUuid)) {
    uuid = std::string(attrs.at(PastedUuid));
    keep = false;
  }
}

// Fills a record already in place in the map: topic records are large, so moving one costs.
void readNativeTopic(const Attributes& a, TopicRecord& t) {
  readIdentity(a, t.uuid, t.keepUuid);
  // Hashed while its letters are in the cache: the builder indexes it long after.
  if (!t.uuid.empty()) t.uuidHash = identityHash(t.uuid);
  readText(a, Text, t.text);
  if (a.hasAny(maskOf({Note, Link, Ref, Icon1, Icon2, Image, Effort, Start, Due}))) {
    readDetail(a, Note, &TopicDetails::note, t);
    readDetail(a, Link, &TopicDetails::link, t);
    readDetail(a, Ref, &TopicDetails::referenceID, t);
    readDetail(a, Icon1, &TopicDetails::icon1, t);
    readDetail(a, Icon2, &TopicDetails::icon2, t);
    readDetail(a, Image, &TopicDetails::imageID, t);
    readDetail(a, Effort, &TopicDetails::effort, t);
    if (auto d = real(a, Start)) t.writableDetails().startDate = kit::Date{*d};
    if (auto d = real(a, Due)) t.writableDetails().dueDate = kit::Date{*d};
  }
  if (a.hasAny(maskOf({Colour, Shape, Width, FontSize, TextStyle}))) {
    if (a.has(Colour)) t.colour = parseHexColour(a.at(Colour));
    if (auto s = integer(a, Shape); s && inInt32(*s)) t.shape = static_cast<std::int32_t>(*s);
    if (auto w = real(a, Width); w && *w > 0 && *w <= kMaxWidth) t.width = static_cast<float>(*w);
    if (auto f = real(a, FontSize); f && *f > 0) t.fontSize = std::clamp(static_cast<float>(*f), NodeView::kMinFontSize, NodeView::kMaxFontSize);
    if (auto s = integer(a, TextStyle); s && *s >= 0 && *s <= 0xFFFFFFFFLL) t.textStyle = static_cast<std::uint32_t>(*s);
  }
  if (a.hasAny(maskOf({Callout, Floating, Folded, Boundary, Rollup}))) {
    t.callout = flag(a, Callout);
    t.floating = flag(a, Floating);
    t.folded = flag(a, Folded);
    t.boundary = flag(a, Boundary);
    t.rollup = flag(a, Rollup);
  }
  if (auto p = integer(a, Percent); p && *p >= -1 && *p <= 100) t.percentComplete = static_cast<std::int32_t>(*p);
  t.position = point(a, X, Y);
}

RelationshipRecord readNativeRelationship(const Attributes& a) {
  RelationshipRecord r;
  readIdentity(a, r.uuid, r.keepUuid);
  r.from = text(a, From);
  r.to = text(a, To);
  if (auto e = integer(a, FromEnd); e && *e >= 0 && *e <= 2) r.fromEnd = static_cast<int>(*e);
  if (auto e = integer(a, ToEnd); e && *e >= 0 && *e <= 2) r.toEnd = static_cast<int>(*e);
  if (a.has(Colour)) r.colour = parseHexColour(a.at(Colour));
  r.offset = point(a, Dx, Dy);
  return r;
}

class MapXMLDelegate : public kit::XMLParserDelegate {
 public:
  ParsedMap map;
  std::string failure;
  std::string title;  // OPML head title
  int tops = 0;       // top-level records

  void didStartElementWithAttributes(kit::XMLParser& parser, std::string_view name,
                                     const kit::XMLAttributes& attrs) override {
    ++depth_;
    if (depth_ == 1) {
      if (name == "QuillmereRelative") {
        map.fileFormat = GlobalHelpers::kFileTypeQLM;
      } else if (name == "opml") {
        map.fileFormat = GlobalHelpers::kFileTypeOPML;
      } else {
        fail(parser, "it is not a map in a format that can be read");
      }
      return;
    }
    if (map.fileFormat == GlobalHelpers::kFileTypeQLM) {
      nativeStart(parser, name, Attributes(attrs, names_));
    } else {
      opmlStart(name, Attributes(attrs, names_));
    }
  }

  void didEndElement(kit::XMLParser&, const std::string& name) override {
    if (map.fileFormat == GlobalHelpers::kFileTypeOPML) {
      if (name == "outline" && inBody_ && !outlineStack_.empty()) outlineStack_.pop_back();
      if (name == "body") inBody_ = false;
      if (name == "title") inTitle_ = false;
    }
    if (depth_ == topicDepth_) topicDepth_ = 0;
    --depth_;
  }

  void foundCharacters(kit::XMLParser&, std::string_view chars) override {
    if (inTitle_) title += chars;
  }

 private:
  void fail(kit::XMLParser& parser, std::string why) {
    failure = std::move(why);
    parser.abortParsing();
  }

  void nativeStart(kit::XMLParser& parser, std::string_view name, const Attributes& attrs) {
    if (name == "topic") {
      if (depth_ != 2) return fail(parser, "a topic is misplaced");
      auto level = integer(attrs, Level);
      if (!level || *level < 0) return fail(parser, "a topic has no valid level");
      const std::int64_t top = static_cast<std::int64_t>(levelStack_.size());
      if (*level > top) return fail(parser, "a topic skips a level");
      if (map.topics.empty() && *level != 0) return fail(parser, "the first topic is not at the top level");
      levelStack_.resize(static_cast<std::size_t>(*level));
      const int parent = levelStack_.empty() ? -1 : levelStack_.back();
      levelStack_.push_back(static_cast<int>(map.topics.size()));
      TopicRecord& t = map.topics.emplace_back();
      readNativeTopic(attrs, t);
      t.parent = parent;
      tops += parent < 0 ? 1 : 0;
      topicDepth_ = depth_;
    } else if (name == "resource") {
      if (depth_ != 3 || topicDepth_ != 2 || map.topics.empty()) return;
      kit::Value r(kit::Dictionary{{"name", text(attrs, Name)}});
      if (attrs.has(Loading)) r.set("loading", std::string(attrs.at(Loading)));
      map.topics.back().writableDetails().resources.push_back(std::move(r));
    } else if (name == "relationship" && depth_ == 2) {
      map.relationships.push_back(readNativeRelationship(attrs));
    }
    // Anything else is left alone, so newer files still open.
  }

  void opmlStart(std::string_view name, const Attributes& attrs) {
    if (name == "body" && depth_ == 2) inBody_ = true;
    if (name == "title" && depth_ == 3) inTitle_ = true;
    if (name != "outline" || !inBody_) return;
    TopicRecord t;
    t.text = text(attrs, Text);
    readDetail(attrs, OpmlNote, &TopicDetails::note, t);
    readDetail(attrs, Url, &TopicDetails::link, t);  // outline links are written as "url"
    t.parent = outlineStack_.empty() ? -1 : outlineStack_.back();
    tops += t.parent < 0 ? 1 : 0;
    outlineStack_.push_back(static_cast<int>(map.topics.size()));
    map.topics.push_back(std::move(t));
  }

  NameMemo names_;
  int depth_ = 0;
  int topicDepth_ = 0;
  std::vector<int> levelStack_;    // native: the open topic at each level
  std::vector<int> outlineStack_;  // OPML: the enclosing outlines
  bool inBody_ = false, inTitle_ = false;
};

// Several top-level topics hang under one new top topic, named after the document's title.
void ensureSingleTop(ParsedMap& map, const std::string& title, int tops) {
  if (tops <= 1) return;
  for (TopicRecord& t : map.topics) t.parent += 1;  // -1 becomes 0, the new top
  TopicRecord top;
  top.text = title;
  map.topics.insert(map.topics.begin(), std::move(top));
}

}  // namespace

ParseResult parseMapXML(std::string_view xml) {
  ParseResult result;
  if (xml.find_first_not_of(" \t\r\n") == std::string_view::npos) {
    result.error = "the map is empty";
    return result;
  }
  MapXMLDelegate delegate;
  // Records are large: spare the regrowth with room for a topic per 64 bytes (the writer's
  // shortest topic is longer), but never much room for text that may be anything.
  delegate.map.topics.reserve(std::min<std::size_t>(xml.size() / 64 + 1, kMostReservedTopics));
  kit::XMLParser parser = kit::XMLParser::borrowing(xml);
  parser.setDelegate(&delegate);
  const bool ok = parser.parse();
  if (!delegate.failure.empty()) {
    result.error = delegate.failure;
    return result;
  }
  if (!ok) {
    const auto& e = parser.parserError();
    if (e && e->code == kit::XMLParser::kTooDeepError) {
      result.error = kit::format("it is nested too deeply (more than %d levels)", kit::XMLParser::kMaxDepth);
    } else if (e && e->code == kit::XMLParser::kExpansionLimitError) {
      result.error = "its entities expand past the expansion limit";
    } else if (e && e->line > 0) {
      result.error = kit::format("it is damaged (line %d: %s)", e->line, e->message.c_str());
    } else {
      result.error = e && !e->message.empty() ? "it is damaged (" + e->message + ")" : "it is damaged";
    }
    return result;
  }
  ensureSingleTop(delegate.map, delegate.title, delegate.tops);
  result.map = std::move(delegate.map);
  return result;
}

}  // namespace MapFormats
