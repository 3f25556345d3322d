// The shipped resources: every image the program asks for by name is present, is a whole PNG of a
// size that fits where it is drawn, and the icon table names a drawable image for every icon.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "kit/core/app_paths.h"

namespace fs = std::filesystem;

namespace {

std::string resourcesDir() { return kit::AppPaths::resources(); }

std::vector<std::uint8_t> readBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t be32(const std::uint8_t* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

struct PngSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

// Width and height from IHDR, after walking every chunk: each must fit in the file and carry a
// correct CRC, IHDR must come first and IEND last, with image data in between.
std::optional<PngSize> pngSize(const std::vector<std::uint8_t>& b) {
  static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (b.size() < 8 || !std::equal(kSignature, kSignature + 8, b.begin())) return std::nullopt;
  std::size_t pos = 8;
  std::optional<PngSize> size;
  bool sawData = false;
  while (pos + 12 <= b.size()) {
    std::uint32_t len = be32(&b[pos]);
    if (len > b.size() - pos - 12) return std::nullopt;
    const std::uint8_t* type = &b[pos + 4];
    const std::uint8_t* data = type + 4;
    uLong crc = crc32(0L, type, static_cast<uInt>(len + 4));
    if (crc != be32(data + len)) return std::nullopt;
    std::string name(reinterpret_cast<const char*>(type), 4);
    if (!size) {
      if (name != "IHDR" || len != 13) return std::nullopt;
      size = PngSize{be32(data), be32(data + 4)};
    } else if (name == "IDAT") {
      sawData = true;
    } else if (name == "IEND") {
      if (pos + 12 + len != b.size() || !sawData) return std::nullopt;
      return size;
    }
    pos += 12 + len;
  }
  return std::nullopt;  // no IEND: truncated
}

std::optional<PngSize> pngFileSize(const fs::path& p) {
  if (!fs::is_regular_file(p)) return std::nullopt;
  return pngSize(readBytes(p));
}

// The image look-up by name tries "name", then "name.png".
std::optional<fs::path> lookUp(const std::string& name) {
  fs::path root(resourcesDir());
  for (const fs::path& p : {root / name, root / (name + ".png")}) {
    if (fs::is_regular_file(p)) return p;
  }
  return std::nullopt;
}

struct Expected {
  const char* name;
  std::uint32_t width;  // 0: any size that fits maxSide
  std::uint32_t height;
  std::uint32_t maxSide;
};

// Badges sit in 16 x 16 boxes and icons in 24 x 24 slots; the tools are drawn at their own size
// inside views of fixed size (grip 48, crosshair 60, disclosure button 44).
const Expected kNamedImages[] = {
    {"note.png", 16, 16, 16},
    {"link-web.png", 16, 16, 16},
    {"link-email.png", 16, 16, 16},
    {"link-map-left.png", 16, 16, 16},
    {"link-map-right.png", 16, 16, 16},
    {"task-clock.png", 16, 16, 16},
    {"task-clock-overdue.png", 16, 16, 16},
    {"percent-complete-0.png", 16, 16, 16},
    {"percent-complete-25.png", 16, 16, 16},
    {"percent-complete-50.png", 16, 16, 16},
    {"percent-complete-75.png", 16, 16, 16},
    {"percent-complete-100.png", 16, 16, 16},
    {"icon-missing.png", 24, 24, 24},
    {"shape-rounded-rect.png", 0, 0, 44},
    {"shape-rect.png", 0, 0, 44},
    {"shape-ellipse.png", 0, 0, 44},
    {"shape-line.png", 0, 0, 44},
    {"gear-small-black.png", 0, 0, 32},
    {"crosshair.png", 0, 0, 60},
    {"control-point.png", 0, 0, 44},
    {"topicEditButton", 0, 0, 44},
    {"resizeToolChevrons.png", 0, 0, 48},
    {"resizeToolRight.png", 0, 0, 48},
    {"resizeToolRightGrab.png", 0, 0, 48},
    {"resizeToolLeft.png", 0, 0, 48},
    {"resizeToolLeftGrab.png", 0, 0, 48},
    {"back-button.png", 0, 0, 44},
    {"disclosure.png", 0, 0, 44},
    {"disclosure-selected.png", 0, 0, 44},
    {"paper-graph.png", 0, 0, 256},
    {"paper-line.png", 0, 0, 256},
    {"paper-yellow-graph.png", 0, 0, 256},
    {"paper-yellow-line.png", 0, 0, 256},
    {"paper-graph-indicator.png", 0, 0, 64},
    {"paper-line-indicator.png", 0, 0, 64},
    {"paper-yellow-graph-indicator.png", 0, 0, 64},
    {"paper-yellow-line-indicator.png", 0, 0, 64},
};

// The images must stay small: they are drawn often and loaded at start.
constexpr std::uintmax_t kMaxPngBytes = 8 * 1024;

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

using IconEntry = std::map<std::string, std::string>;

// The icon table as dictionaries of strings; nullopt when it is not an array of such dictionaries.
std::optional<std::vector<IconEntry>> readIconTable(const fs::path& p) {
  std::vector<std::uint8_t> bytes = readBytes(p);
  if (bytes.empty()) return std::nullopt;
  xmlDocPtr doc = xmlReadMemory(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()),
                                "iconList.plist", nullptr, XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_NOERROR |
                                                               XML_PARSE_NOWARNING);
  if (!doc) return std::nullopt;
  auto text = [](xmlNodePtr n) {
    xmlChar* c = xmlNodeGetContent(n);
    std::string s = c ? reinterpret_cast<const char*>(c) : "";
    xmlFree(c);
    return s;
  };
  auto is = [](xmlNodePtr n, const char* name) {
    return n && n->type == XML_ELEMENT_NODE && xmlStrEqual(n->name, BAD_CAST name);
  };
  auto nextElement = [](xmlNodePtr n) {
    while (n && n->type != XML_ELEMENT_NODE) n = n->next;
    return n;
  };
  std::optional<std::vector<IconEntry>> table;
  xmlNodePtr root = xmlDocGetRootElement(doc);
  xmlNodePtr array = is(root, "plist") ? nextElement(root->children) : nullptr;
  if (is(array, "array") && !nextElement(array->next)) {
    table.emplace();
    for (xmlNodePtr d = nextElement(array->children); d && table; d = nextElement(d->next)) {
      if (!is(d, "dict")) {
        table.reset();
        break;
      }
      IconEntry entry;
      for (xmlNodePtr k = nextElement(d->children); k; k = nextElement(k->next)) {
        xmlNodePtr v = nextElement(k->next);
        if (!is(k, "key") || !is(v, "string") || !entry.emplace(text(k), text(v)).second) {
          table.reset();
          break;
        }
        k = v;
      }
      if (table) table->push_back(std::move(entry));
    }
  }
  xmlFreeDoc(doc);
  return table;
}

std::vector<IconEntry> loadIconTable() {
  auto table = readIconTable(fs::path(resourcesDir()) / "iconList.plist");
  EXPECT_TRUE(table.has_value()) << "iconList.plist is not an array of dictionaries of strings";
  return table.value_or(std::vector<IconEntry>{});
}

const std::set<std::string> kTableKeys = {"name", "image", "freemind", "mindmanager", "dezud"};

}  // namespace

// ---------------------------------------------------------------- the PNG check itself

TEST(PngCheck, RejectsTruncatedAndCorruptFiles) {
  auto bytes = readBytes(fs::path(resourcesDir()) / "note.png");
  ASSERT_TRUE(pngSize(bytes).has_value());

  auto truncated = bytes;
  truncated.resize(bytes.size() - 5);
  EXPECT_FALSE(pngSize(truncated).has_value());

  auto flipped = bytes;
  flipped[bytes.size() / 2] ^= 0x40;
  EXPECT_FALSE(pngSize(flipped).has_value());

  auto trailing = bytes;
  trailing.push_back(0);
  EXPECT_FALSE(pngSize(trailing).has_value());

  EXPECT_FALSE(pngSize({}).has_value());
  EXPECT_FALSE(pngSize(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 8)).has_value());
}

// ---------------------------------------------------------------- images by name

TEST(NamedImages, EveryNamedImageIsFoundByTheLookUp) {
  for (const Expected& e : kNamedImages) {
    EXPECT_TRUE(lookUp(e.name).has_value()) << e.name << " missing from " << resourcesDir();
  }
}

TEST(NamedImages, EachIsAWholePngOfAFittingSize) {
  for (const Expected& e : kNamedImages) {
    auto path = lookUp(e.name);
    if (!path) continue;  // reported above
    auto size = pngFileSize(*path);
    ASSERT_TRUE(size.has_value()) << e.name << " is not a readable PNG";
    EXPECT_GT(size->width, 0u) << e.name;
    EXPECT_GT(size->height, 0u) << e.name;
    EXPECT_LE(size->width, e.maxSide) << e.name;
    EXPECT_LE(size->height, e.maxSide) << e.name;
    if (e.width) {
      EXPECT_EQ(size->width, e.width) << e.name;
      EXPECT_EQ(size->height, e.height) << e.name;
    }
  }
}

TEST(NamedImages, GripVariantsShareOneSizeSoTheGripDoesNotJump) {
  auto base = pngFileSize(*lookUp("resizeToolRight.png"));
  ASSERT_TRUE(base.has_value());
  for (const char* n : {"resizeToolRightGrab.png", "resizeToolLeft.png", "resizeToolLeftGrab.png",
                        "resizeToolChevrons.png"}) {
    auto s = pngFileSize(*lookUp(n));
    ASSERT_TRUE(s.has_value()) << n;
    EXPECT_EQ(s->width, base->width) << n;
    EXPECT_EQ(s->height, base->height) << n;
  }
}

TEST(NamedImages, PaperIndicatorsAreSmallerThanTheirPatterns) {
  for (const char* stem : {"paper-graph", "paper-line", "paper-yellow-graph", "paper-yellow-line"}) {
    auto full = pngFileSize(*lookUp(std::string(stem) + ".png"));
    auto small = pngFileSize(*lookUp(std::string(stem) + "-indicator.png"));
    ASSERT_TRUE(full && small) << stem;
    EXPECT_LT(small->width * small->height, full->width * full->height) << stem;
  }
}

// ---------------------------------------------------------------- sources and renderings

TEST(Artwork, EverySourceHasItsRenderingAndNoRenderingIsOrphaned) {
  fs::path root(resourcesDir());
  auto stems = [](const fs::path& dir, const char* ext) {
    std::set<std::string> out;
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.is_regular_file() && entry.path().extension() == ext) out.insert(entry.path().stem().string());
    }
    return out;
  };
  ASSERT_TRUE(fs::is_directory(root / "artwork"));
  ASSERT_TRUE(fs::is_directory(root / "icons"));
  EXPECT_EQ(stems(root / "artwork", ".svg"), stems(root, ".png"));
  EXPECT_EQ(stems(root / "icons", ".svg"), stems(root / "icons", ".png"));
}

TEST(Artwork, EveryPngIsSmallAndWhole) {
  fs::path root(resourcesDir());
  int count = 0;
  for (const fs::path& dir : {root, root / "icons"}) {
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.path().extension() != ".png") continue;
      ++count;
      EXPECT_LE(entry.file_size(), kMaxPngBytes) << entry.path();
      EXPECT_TRUE(pngFileSize(entry.path()).has_value()) << entry.path();
    }
  }
  EXPECT_GE(count, static_cast<int>(std::size(kNamedImages)));
}

// ---------------------------------------------------------------- the icon table

TEST(IconTable, ReadsAsAnArrayOfStringDictionaries) {
  EXPECT_TRUE(readIconTable(fs::path(resourcesDir()) / "iconList.plist").has_value());
  EXPECT_FALSE(readIconTable(fs::path(resourcesDir()) / "no-such-table.plist").has_value());
}

TEST(IconTable, EveryIconHasANameAndADrawableImage) {
  auto table = loadIconTable();
  EXPECT_GE(table.size(), 40u);
  std::set<std::string> names;
  for (const IconEntry& e : table) {
    auto name = e.find("name");
    auto image = e.find("image");
    ASSERT_NE(name, e.end()) << "an entry without a name";
    ASSERT_NE(image, e.end()) << name->second;
    EXPECT_FALSE(name->second.empty());
    // "!" starts the names kept for foreign icons that have no native counterpart.
    EXPECT_NE(name->second.front(), '!') << name->second;
    EXPECT_TRUE(names.insert(name->second).second) << "duplicate " << name->second;
    EXPECT_EQ(image->second, "icons/" + name->second + ".png");
    auto path = lookUp(image->second);
    ASSERT_TRUE(path.has_value()) << image->second;
    auto size = pngFileSize(*path);
    ASSERT_TRUE(size.has_value()) << image->second;
    EXPECT_EQ(size->width, 24u) << image->second;
    EXPECT_EQ(size->height, 24u) << image->second;
  }
}

TEST(IconTable, EveryIconImageIsListed) {
  std::set<std::string> listed;
  for (const IconEntry& e : loadIconTable()) {
    if (e.count("name")) listed.insert(e.at("name"));
  }
  for (const auto& entry : fs::directory_iterator(fs::path(resourcesDir()) / "icons")) {
    if (entry.path().extension() != ".png") continue;
    EXPECT_TRUE(listed.count(entry.path().stem().string())) << entry.path() << " is not in the icon table";
  }
}

TEST(IconTable, ForeignNamesLeadBackToExactlyOneIcon) {
  // The look-up from a foreign name takes the first entry that matches ignoring case: a second
  // entry with the same name under the same key could never be found.
  auto table = loadIconTable();
  std::map<std::string, std::set<std::string>> seen;
  std::map<std::string, int> perKey;
  for (const IconEntry& e : table) {
    for (const auto& [key, value] : e) {
      EXPECT_TRUE(kTableKeys.count(key)) << "unknown key " << key;
      EXPECT_FALSE(value.empty()) << key;
      EXPECT_TRUE(seen[key].insert(lower(value)).second) << key << " repeats " << value;
      ++perKey[key];
    }
  }
  // Each foreign format names a good share of the icons.
  for (const char* key : {"freemind", "mindmanager", "dezud"}) EXPECT_GE(perKey[key], 10) << key;
}
