#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>
#include <string>

#include "kit/core/app_paths.h"
#include "kit/core/files.h"
#include "kit/io/plist.h"
#include "kit/testing/app_home.h"
#include "kit/testing/hostile_input.h"

using namespace kit;

namespace {

Value sample() {
  Dictionary d;
  d["bool"] = true;
  d["false"] = false;
  d["negative"] = -1;
  d["big"] = std::int64_t{-9000000000000};
  d["max"] = std::numeric_limits<std::int64_t>::max();
  d["real"] = 0.1;
  d["tiny"] = -1.5e-300;
  d["text"] = "Grüße <&> \"quoted\"";
  d["empty"] = "";
  d["data"] = Data{0, 1, 2, 255, 0};
  d["date"] = Date{1700000000};
  d["list"] = Array{1, "two", Array{}, Dictionary{}};
  d["nested"] = Dictionary{{"a", Dictionary{{"b", Array{3.5}}}}};
  return Value(d);
}

}  // namespace

TEST(Plist, XmlRoundTrip) {
  Value v = sample();
  std::string xml = plist::writeXML(v);
  ASSERT_FALSE(xml.empty());
  EXPECT_NE(xml.find("<plist"), std::string::npos);
  auto back = plist::read(xml);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, v);
  EXPECT_TRUE((*back)["negative"].isInteger());
  EXPECT_TRUE((*back)["real"].isReal());
  EXPECT_TRUE((*back)["bool"].isBool());
}

// libplist writes control characters and U+FFFF into XML as they are; what it wrote reads back all the same
// (a map whose theme holds one must open again).
TEST(Plist, XmlWithControlCharactersReadsBack) {
  Value v(kit::Dictionary{{"Theme", Value(kit::Dictionary{{"fill", Value(std::string("C\x01V\x1f \uFFFF"))}})},
                          {"MapData", Value(std::string("<QuillmereRelative/>"))}});
  auto back = plist::read(plist::writeXML(v));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, v);
}

TEST(Plist, BinaryRoundTripKeepsFractionsOfDates) {
  Value v = sample();
  v.set("date", Date{1700000000.25});
  v.set("before2001", Date{978307200.0 - 1.75});
  Data bin = plist::writeBinary(v);
  ASSERT_GE(bin.size(), 8u);
  EXPECT_EQ(std::string(bin.begin(), bin.begin() + 6), "bplist");
  auto back = plist::read(bin);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, v);
  // 1800-01-01 lies before the 32-bit seconds libplist carries (1901 counted from 2001): it
  // reads as the earliest second it can carry, and that writes and reads back the same.
  using namespace std::literals;
  auto early = plist::read(
      "bplist00\xa1\x01\x33\xc1\xf7\xa1\x20\x8f\xfc\x00\x00\x08\x0a\x00\x00\x00\x00\x00\x00\x01\x01"
      "\x00\x00\x00\x00\x00\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x13"sv);
  ASSERT_TRUE(early && early->isArray() && early->array().size() == 1u);
  EXPECT_EQ(early->array()[0].date().seconds, 978307200.0 - 2147483648.0);
  EXPECT_EQ(plist::read(plist::writeBinary(*early)), early);
}

TEST(Plist, XmlDatesKeepWholeSeconds) {
  Value v(Dictionary{{"d", Date{1700000000.75}}, {"old", Date{0}}});
  auto back = plist::read(plist::writeXML(v));
  ASSERT_TRUE(back);
  EXPECT_EQ((*back)["d"].date().seconds, 1700000000);
  EXPECT_EQ((*back)["old"].date().seconds, 0);
}

TEST(Plist, GeometryIsWrittenAsText) {
  Value v(Dictionary{{"centre", Point(10.5f, -2)}, {"size", Size(3, 4)}, {"frame", Rect(1, 2, 3, 4)}});
  auto back = plist::read(plist::writeBinary(v));
  ASSERT_TRUE(back);
  EXPECT_EQ((*back)["centre"].string(), "{10.5, -2}");
  EXPECT_EQ((*back)["size"].string(), "{3, 4}");
  EXPECT_EQ((*back)["frame"].string(), "{{1, 2}, {3, 4}}");
}

TEST(Plist, NullsAreLeftOutAndANullRootIsNotWritten) {
  Value v(Array{Value(), 1, Value()});
  auto back = plist::read(plist::writeXML(v));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, Value(Array{1}));
  EXPECT_EQ(plist::writeXML(Value()), "");
  EXPECT_TRUE(plist::writeBinary(Value()).empty());
  TemporaryAppHome home;
  EXPECT_FALSE(plist::writeFile(AppPaths::temporary() + "/null.plist", Value()));
  EXPECT_FALSE(FileManager::exists(AppPaths::temporary() + "/null.plist"));
}

TEST(Plist, MalformedInputGivesNothing) {
  EXPECT_FALSE(plist::read(std::string_view()));
  EXPECT_FALSE(plist::read(std::string_view("not a plist")));
  EXPECT_FALSE(plist::read(std::string_view("<plist><dict><key>a</key></plist>")));
  EXPECT_FALSE(plist::read(std::string_view("bplist00")));
  EXPECT_FALSE(plist::read(std::string_view("bplist00\xff\xff\xff\xff\xff\xff\xff\xff", 16)));
  EXPECT_FALSE(plist::readFile("/nonexistent/file.plist"));
}

// libplist aborts on a string or key holding NUL, and text that is not UTF-8 would be cut short
// when written as binary; such a list is damaged, not fatal.
TEST(Plist, StringsHoldingNulOrNonUtf8AreRefused) {
  using namespace std::literals;
  const std::string head = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key>";
  EXPECT_FALSE(plist::read(head + "<string>x\0y</string></dict></plist>"s));
  EXPECT_FALSE(plist::read(head + "<string><![CDATA[x\0y]]></string></dict></plist>"s));
  EXPECT_FALSE(plist::read(head + "<string>Sit\xF2 here</string></dict></plist>"));
  EXPECT_FALSE(plist::read("<plist version=\"1.0\"><dict><key>k\xE9y</key><true/></dict></plist>"sv));
  EXPECT_TRUE(plist::read(head + "<string>caf\xC3\xA9</string></dict></plist>"));
  // Binary: a UTF-16 value "é\0", a UTF-16 key "é\0", and a 16-unit value whose length follows
  // its marker.
  EXPECT_FALSE(plist::read(
      "bplist00\xd1\x01\x02\x51\x61\x62\x00\xe9\x00\x00\x08\x0b\x0d\x00\x00\x00\x00\x00\x00\x01\x01"
      "\x00\x00\x00\x00\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x12"sv));
  EXPECT_FALSE(plist::read(
      "bplist00\xd1\x01\x02\x62\x00\xe9\x00\x00\x10\x01\x08\x0b\x10\x00\x00\x00\x00\x00\x00\x01\x01"
      "\x00\x00\x00\x00\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x12"sv));
  const std::string_view longForm =
      "bplist00\xa1\x01\x6f\x10\x10\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00"
      "\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\x78\x00\xe9\x00\x00\x08\x0a\x00\x00\x00\x00\x00\x00\x01"
      "\x01\x00\x00\x00\x00\x00\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x2d"sv;
  EXPECT_FALSE(plist::read(longForm));
  // The same list with its last unit a letter reads.
  std::string fine(longForm);
  fine[0x2c] = 'z';
  auto v = plist::read(fine);
  ASSERT_TRUE(v);
  ASSERT_EQ(v->array().size(), 1u);
  EXPECT_EQ(v->array()[0].string(), "xxxxxxxxxxxxxx\xC3\xA9z");
}

TEST(Plist, DamagedBinaryAndXmlNeverCrash) {
  std::mt19937 rng(7);
  Data bin = plist::writeBinary(sample());
  std::string xml = plist::writeXML(sample());
  for (int round = 0; round < 300; ++round) {
    Data b = bin;
    std::string x = xml;
    int edits = 1 + round % 8;
    for (int e = 0; e < edits; ++e) {
      b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
      x[rng() % x.size()] = static_cast<char>(rng());
    }
    if (round % 5 == 0) b.resize(rng() % b.size());
    if (round % 7 == 0) x.resize(rng() % x.size());
    (void)plist::read(b);
    (void)plist::read(x);
  }
  SUCCEED();
}

// Lists nested far deeper than any the program writes (an attack on the map file, the
// preferences or the clipboard) are refused as too deep, quickly, without overflowing the stack;
// so is a small binary list whose shared arrays would spell out 2^40 values.
TEST(Plist, DeepNestingIsRefusedAsTooDeepWithoutOverflowing) {
  const auto start = std::chrono::steady_clock::now();
  using kit::testing::nestedBinaryPlist, kit::testing::nestedXMLPlist;
  plist::ReadFailure why = plist::ReadFailure::None;
  EXPECT_FALSE(plist::read(nestedXMLPlist(200000, "<string>x</string>"), why));
  EXPECT_EQ(why, plist::ReadFailure::TooDeep);
  // A control character sends XML to the second reader, which must not take it either.
  why = plist::ReadFailure::None;
  EXPECT_FALSE(plist::read(nestedXMLPlist(200000, "<string>\x01</string>"), why));
  EXPECT_EQ(why, plist::ReadFailure::TooDeep);
  why = plist::ReadFailure::None;
  EXPECT_FALSE(plist::read(nestedBinaryPlist(100000), why));
  EXPECT_EQ(why, plist::ReadFailure::TooDeep);
  EXPECT_FALSE(plist::read(nestedBinaryPlist(40, 2)));
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);

  // Within the limits the same shapes read.
  auto shallow = plist::read(nestedXMLPlist(200, "<string>\x01</string>"));
  ASSERT_TRUE(shallow);
  auto binary = plist::read(nestedBinaryPlist(400));
  ASSERT_TRUE(binary);
  int depth = 0;
  for (const Value* v = &*binary; v->isArray() && !v->array().empty(); v = &v->array()[0]) ++depth;
  EXPECT_EQ(depth, 400);
  auto shared = plist::read(nestedBinaryPlist(3, 2));
  ASSERT_TRUE(shared);
  EXPECT_EQ(shared->array()[1].array()[0].array().size(), 2u);
}

// A map file's whole XML is one escaped string: reading it costs its length, not its square.
TEST(Plist, LongEscapedStringsReadInLinearTime) {
  std::string text;
  for (int i = 0; i < 200000; ++i) text += "<t a=\"&\"/>\n";
  const Value v(Dictionary{{"MapData", text}, {"n", 1}});
  const std::string xml = plist::writeXML(v);
  const auto start = std::chrono::steady_clock::now();
  auto back = plist::read(xml);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, v);
}

TEST(Plist, FilesAreWrittenAtomicallyAsXmlOrBinary) {
  TemporaryAppHome home;
  std::string p = AppPaths::temporary() + "/record.plist";
  ASSERT_TRUE(plist::writeFile(p, sample()));
  auto text = FileManager::readText(p);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->rfind("<?xml", 0), 0u);
  ASSERT_TRUE(plist::writeFile(p, sample(), true));
  EXPECT_EQ(plist::readFile(p), sample());
  EXPECT_EQ(FileManager::listDirectory(AppPaths::temporary()), std::vector<std::string>{"record.plist"});
}

TEST(Plist, SettingsResourceHoldsTheDefaults) {
  auto v = plist::readFile(AppPaths::resource("Settings.plist"));
  ASSERT_TRUE(v);
  EXPECT_TRUE((*v)["ui_auto_scroll"].boolValue());
  EXPECT_EQ((*v)["ui_topic_resize_handle"].integerValue(), 1);
  EXPECT_FALSE(v->contains("export_options_png_include_html_map"));
}
