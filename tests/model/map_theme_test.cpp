#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "helpers/global_helpers_colour.h"
#include "kit/testing/app_home.h"
#include "model/fake_document_services.h"
#include "model/map_theme.h"
#include "model/tree_builder.h"

namespace {

bool isUnset(RGB255 c) { return RGB255IsDefault(c); }

void expectColour(RGB255 c, float r, float g, float b, float tolerance = 0.01f) {
  EXPECT_NEAR(c.r, r, tolerance);
  EXPECT_NEAR(c.g, g, tolerance);
  EXPECT_NEAR(c.b, b, tolerance);
}

void expectUnit(RGB1 c, float r, float g, float b, float tolerance = 1e-4f) {
  EXPECT_NEAR(c.r, r, tolerance);
  EXPECT_NEAR(c.g, g, tolerance);
  EXPECT_NEAR(c.b, b, tolerance);
}

void expectAbsentLevel(const MapTheme& t, int level) {
  EXPECT_TRUE(isUnset(t.getFillColourForLevel(level))) << level;
  EXPECT_TRUE(isUnset(t.getLineColourForLevel(level))) << level;
  EXPECT_EQ(t.getShapeForLevel(level), 99) << level;
  EXPECT_EQ(t.getWidthForLevel(level), 0) << level;
  EXPECT_EQ(t.getFontSizeForLevel(level), 0) << level;
}

void expectDefaultTheme(const MapTheme& t) {
  EXPECT_EQ(t.getShapeForLevel(0), 2);
  EXPECT_EQ(t.getShapeForLevel(1), 0);
  EXPECT_TRUE(isUnset(t.getFillColourForLevel(0)));
  EXPECT_TRUE(isUnset(t.getFillColourForLevel(1)));
  for (int level = 2; level < 10; ++level) expectAbsentLevel(t, level);
  EXPECT_TRUE(t.getColourSet().empty());
}

std::unique_ptr<MapTheme> themeWithLevel0(kit::Dictionary level0, kit::Dictionary extra = {}) {
  extra["level0"] = std::move(level0);
  return MapTheme::themeFromDictionary(extra);
}

const kit::Array kPalette{"FF0000", "#00FF00", "0000FF"};

}  // namespace

// ---- Building from a dictionary ----

TEST(MapThemeDictionary, DictionaryWithoutLevel0GivesTheDefaultTheme) {
  expectDefaultTheme(*MapTheme::themeFromDictionary(kit::Value()));
  expectDefaultTheme(*MapTheme::themeFromDictionary(kit::Dictionary{}));
  expectDefaultTheme(*MapTheme::themeFromDictionary(kit::Dictionary{{"level1", kit::Dictionary{{"shape", 1}}}}));
  expectDefaultTheme(*MapTheme::themeFromDictionary(kit::Value("level0")));
  expectDefaultTheme(*MapTheme::themeFromDictionary(kit::Array{kit::Dictionary{{"level0", 1}}}));
}

TEST(MapThemeDictionary, ThemeKeepsItsOwnCopy) {
  kit::Value source = kit::Dictionary{{"level0", kit::Dictionary{{"shape", 1}}}};
  auto t = MapTheme::themeFromDictionary(source);
  source.mutableDictionary()["level0"].set("shape", 3);
  EXPECT_EQ(t->getShapeForLevel(0), 1);
  EXPECT_EQ(t->getThemeAsDictionary().at("level0")["shape"].intValue(), 1);
}

TEST(MapThemeDictionary, LevelValuesAreRead) {
  kit::Dictionary d{
      {"level0", kit::Dictionary{{"fillColour", "#FF8000"}, {"lineColour", "102030"}, {"shape", 1}, {"width", 250},
                                 {"fontSize", 24}}},
      {"level3", kit::Dictionary{{"fillColour", "FF0A0B0C"}, {"shape", 3.0}, {"fontSize", "16"}}},
  };
  auto t = MapTheme::themeFromDictionary(d);
  expectColour(t->getFillColourForLevel(0), 255, 128, 0);
  expectColour(t->getLineColourForLevel(0), 16, 32, 48);
  EXPECT_EQ(t->getShapeForLevel(0), 1);
  EXPECT_EQ(t->getWidthForLevel(0), 250);
  EXPECT_EQ(t->getFontSizeForLevel(0), 24);
  expectColour(t->getFillColourForLevel(3), 10, 11, 12);
  EXPECT_EQ(t->getShapeForLevel(3), 3);
  EXPECT_EQ(t->getFontSizeForLevel(3), 16);
  EXPECT_EQ(t->getWidthForLevel(3), 0);
  expectAbsentLevel(*t, 1);
  expectAbsentLevel(*t, 4);
  expectAbsentLevel(*t, -1);
}

TEST(MapThemeDictionary, LevelsBeyondFourAreLookedUpByKey) {
  auto t = themeWithLevel0({{"shape", 1}}, {{"level7", kit::Dictionary{{"fillColour", "010203"}, {"shape", 2}}}});
  EXPECT_EQ(t->getShapeForLevel(7), 2);
  expectColour(t->getFillColourForLevel(7), 1, 2, 3);
  // Deeper entries are read in advance too; the walk up the tree may stop past the deepest.
  EXPECT_EQ(t->cachedValuesForLevel(7).shape, 2);
  EXPECT_EQ(t->cachedValuesForLevel(6).shape, 99);
  EXPECT_EQ(t->cachedValuesForLevel(0).shape, 1);
  EXPECT_EQ(t->levelLimit(), 8);
  // Only the key "level%d" writes names a level.
  auto odd = themeWithLevel0({}, {{"level09", kit::Dictionary{{"shape", 2}}}, {"level+9", kit::Dictionary{{"shape", 2}}},
                                  {"level9x", kit::Dictionary{{"shape", 2}}}, {"level6", "not a dictionary"}});
  EXPECT_EQ(odd->getShapeForLevel(9), 99);
  EXPECT_EQ(odd->levelLimit(), MapTheme::kLevelCount);
}

TEST(MapThemeDictionary, ColourStringsThatBeginWithCButHaveNoVAreHex) {
  auto t = themeWithLevel0({{"fillColour", "C0FFEE"}, {"lineColour", "CCCCCC"}});
  expectColour(t->getFillColourForLevel(0), 0xC0, 0xFF, 0xEE);
  expectColour(t->getLineColourForLevel(0), 0xCC, 0xCC, 0xCC);
}

// ---- Malformed theme input never crashes and gives the absent values ----

TEST(MapThemeMalformed, WrongTypesGiveAbsentValues) {
  kit::Dictionary d{
      {"level0", "not a dictionary"},
      {"level1", kit::Dictionary{{"fillColour", 12}, {"lineColour", kit::Array{"FF0000"}}, {"shape", kit::Array{}},
                                 {"width", kit::Dictionary{}}, {"fontSize", kit::Data{1, 2}}}},
      {"level2", kit::Dictionary{{"fillColour", ""}, {"lineColour", "nonsense"}, {"shape", "oval"}}},
      {"level3", kit::Dictionary{{"fillColour", "#12345"}, {"lineColour", "00FF0000"}}},
      {"baseColours", "FF0000"},
  };
  auto t = MapTheme::themeFromDictionary(d);
  expectAbsentLevel(*t, 0);
  expectAbsentLevel(*t, 1);
  EXPECT_TRUE(isUnset(t->getFillColourForLevel(2)));
  EXPECT_TRUE(isUnset(t->getLineColourForLevel(2)));
  EXPECT_EQ(t->getShapeForLevel(2), 0);  // a string reads as a number, as the platform reads it
  EXPECT_TRUE(isUnset(t->getFillColourForLevel(3)));
  EXPECT_TRUE(isUnset(t->getLineColourForLevel(3)));  // alpha other than FF
  EXPECT_FALSE(t->getBaseColours().has_value());
  EXPECT_TRUE(t->getColourSet().empty());
}

TEST(MapThemeMalformed, HugeAndOddNumbersStayInRange) {
  auto t = themeWithLevel0({{"shape", 1e300}, {"width", -1e300}, {"fontSize", std::nan("")}});
  EXPECT_GT(t->getShapeForLevel(0), 0);
  EXPECT_LT(t->getWidthForLevel(0), 0);
  EXPECT_EQ(t->getFontSizeForLevel(0), 0);
  EXPECT_EQ(themeWithLevel0({{"fontSize", 1e300}})->getFontSizeForLevel(0), 1000);
  EXPECT_EQ(themeWithLevel0({{"fontSize", -5}})->getFontSizeForLevel(0), 0);
}

TEST(MapThemeMalformed, BadReferencesGiveTheUnsetMarker) {
  for (const char* ref : {"C", "CV", "C1V", "CxV1", "C1X1V1", "C-1V0", "C3V0", "C99999999999V0", "C+-1V0", "C1+V0"}) {
    auto t = themeWithLevel0({{"fillColour", ref}}, {{"baseColours", kPalette}});
    EXPECT_TRUE(isUnset(t->getFillColourForLevel(0))) << ref;
  }
  // A base colour that is not a colour string fails the reference too.
  auto t = themeWithLevel0({{"fillColour", "C0V0"}}, {{"baseColours", kit::Array{42}}});
  EXPECT_TRUE(isUnset(t->getFillColourForLevel(0)));
}

// ---- Colour references ----

TEST(MapThemeReferences, ReferenceWithVariationZeroIsTheBaseColour) {
  expectUnit(Novamind::calculatedColorForCV("C1V0", kPalette), 0, 1, 0);
  auto t = themeWithLevel0({{"fillColour", "C1V0"}, {"lineColour", "C 2V 0"}}, {{"baseColours", kPalette}});
  expectColour(t->getFillColourForLevel(0), 0, 255, 0);
  expectColour(t->getLineColourForLevel(0), 0, 0, 255);  // scanf skips blanks before a number
}

TEST(MapThemeReferences, OutOfRangeIndexGivesUnsetMarkerThatSurvivesScaling) {
  RGB1 c = Novamind::calculatedColorForCV("C5V0", kPalette);
  EXPECT_TRUE(isUnset(RGB255FromUnit(c)));
  EXPECT_TRUE(isUnset(RGB255FromUnit(Novamind::calculatedColorForCV("C0V0", {}))));
  EXPECT_TRUE(isUnset(RGB255FromUnit(Novamind::calculatedColorForCV("", kPalette))));
}

TEST(MapThemeReferences, VariationOutsideOneToFiveIsBlack) {
  expectUnit(Novamind::calculatedColorForCV("C1V7", kPalette), 0, 0, 0);
  expectUnit(Novamind::calculatedColorForBaseColor({0.2f, 0.4f, 0.6f}, -1), 0, 0, 0);
  expectUnit(Novamind::calculatedColorForBaseColor({0.2f, 0.4f, 0.6f}, 6), 0, 0, 0);
}

TEST(MapThemeReferences, VariationsOfBlackAndWhiteMeetInTheMiddle) {
  expectUnit(Novamind::calculatedColorForBaseColor({0, 0, 0}, 1), 0.5f, 0.5f, 0.5f);
  expectUnit(Novamind::calculatedColorForBaseColor({1, 1, 1}, 5), 0.5f, 0.5f, 0.5f);
  expectUnit(Novamind::calculatedColorForBaseColor({0, 0, 0}, 5), 0.05f, 0.05f, 0.05f);
  expectUnit(Novamind::calculatedColorForBaseColor({1, 1, 1}, 1), 0.95f, 0.95f, 0.95f);
}

TEST(MapThemeReferences, EachBrightnessClassFollowsItsRow) {
  // Dark grey (brightness 0.1): lighter by half the distance to white at variation 3.
  expectUnit(Novamind::calculatedColorForBaseColor({0.1f, 0.1f, 0.1f}, 3), 0.55f, 0.55f, 0.55f);
  // Pure red is a middle colour (brightness about 0.49): lighter and paler for 1 to 3 ...
  expectUnit(Novamind::calculatedColorForBaseColor({1, 0, 0}, 1), 1, 0.6f, 0.6f);
  expectUnit(Novamind::calculatedColorForBaseColor({1, 0, 0}, 3), 1, 0.2f, 0.2f);
  // ... and darker for 4 and 5.
  expectUnit(Novamind::calculatedColorForBaseColor({1, 0, 0}, 4), 0.75f, 0, 0);
  expectUnit(Novamind::calculatedColorForBaseColor({1, 0, 0}, 5), 0.5f, 0, 0);
  // Light grey (brightness 0.9) darkens.
  expectUnit(Novamind::calculatedColorForBaseColor({0.9f, 0.9f, 0.9f}, 2), 0.675f, 0.675f, 0.675f);
  // A light colour of saturation 0.5 keeps its hue and gains saturation (x1.2) when darkened.
  RGB1 light = Novamind::calculatedColorForBaseColor({1, 1, 0.5f}, 1);
  HSV hsv = RGBToHSV(light);
  EXPECT_NEAR(hsv.h, 1.0f / 6.0f, 1e-4f);
  EXPECT_NEAR(hsv.s, 0.6f, 1e-4f);
  EXPECT_NEAR(hsv.v, 0.9f, 1e-4f);
}

TEST(MapThemeReferences, PerceivedBrightness) {
  EXPECT_DOUBLE_EQ(RGBToHSP(0, 0, 0).p, 0.0);
  EXPECT_NEAR(RGBToHSP(1, 1, 1).p, 1.0, 1e-12);
  EXPECT_NEAR(RGBToHSP(0, 1, 0).p, std::sqrt(0.691), 1e-12);
  EXPECT_NEAR(RGBToHSP(1, 0, 0).p, std::sqrt(0.241), 1e-12);
  EXPECT_NEAR(RGBToHSP(0, 0, 1).p, std::sqrt(0.068), 1e-12);
  // Half red (P 0.245) is a middle colour, half blue (P 0.130) a dark one, so their first
  // variations differ: (h, 0.4 s, v + 0.8 (1 - v)) against (h, 0.1 s, v + 0.9 (1 - v)).
  expectUnit(Novamind::calculatedColorForBaseColor({0.5f, 0, 0}, 1), 0.9f, 0.54f, 0.54f);
  expectUnit(Novamind::calculatedColorForBaseColor({0, 0, 0.5f}, 1), 0.855f, 0.855f, 0.95f);
}

TEST(MapThemeReferences, LevelsFollowANewPalette) {
  auto t = themeWithLevel0({{"fillColour", "C0V0"}}, {{"baseColours", kPalette}});
  expectColour(t->getFillColourForLevel(0), 255, 0, 0);
  EXPECT_EQ(t->cachedValuesForLevel(0).fillColour.r, 255);
  t->setBaseColours(kit::Array{"123456"});
  expectColour(t->getFillColourForLevel(0), 0x12, 0x34, 0x56);
  expectColour(t->cachedValuesForLevel(0).fillColour, 0x12, 0x34, 0x56);
  t->setBaseColours(std::nullopt);
  ASSERT_TRUE(t->getBaseColours());
  EXPECT_EQ(*t->getBaseColours(), (kit::Array{"123456"}));
  t->setBaseColours(kit::Array{});
  EXPECT_TRUE(isUnset(t->getFillColourForLevel(0)));
}

// ---- Colour mode and colour set ----

TEST(MapThemeColourMode, RainbowIsMatchedWithCase) {
  auto t = MapTheme::themeDefault();
  EXPECT_FALSE(t->isRainbowColourMode());
  t->setColourMode("Rainbow");
  EXPECT_TRUE(t->isRainbowColourMode());
  t->setColourMode(std::nullopt);
  EXPECT_TRUE(t->isRainbowColourMode());
  t->setColourMode("rainbow");
  EXPECT_FALSE(t->isRainbowColourMode());
  EXPECT_EQ(t->getThemeAsDictionary().at("colourMode").string(), "rainbow");
  auto odd = themeWithLevel0({}, {{"colourMode", 1}});
  EXPECT_FALSE(odd->isRainbowColourMode());
}

TEST(MapThemeColourSet, HoldsTheSetFillColoursOfLevelsZeroToNine) {
  auto t = themeWithLevel0({{"fillColour", "ff0000"}, {"lineColour", "00FF00"}},
                           {{"level1", kit::Dictionary{{"fillColour", "#FF0000"}}},
                            {"level2", kit::Dictionary{{"fillColour", "C0V1"}}},
                            {"level9", kit::Dictionary{{"fillColour", "0A0B0C"}}},
                            {"level10", kit::Dictionary{{"fillColour", "FFFFFF"}}},
                            {"baseColours", kit::Array{"000000"}}});
  EXPECT_EQ(t->getColourSet(), (std::set<std::string>{"FF0000", "7F7F7F", "0A0B0C"}));
}

// ---- NovaMind 5 style sheets ----

namespace {

class StyleSheetFiles : public ::testing::Test {
 protected:
  kit::TemporaryAppHome home;
  std::string write(const std::string& name, const std::string& text) {
    std::string path = home.path() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
};

// Two themes; the first has its own palette and a rainbow root, the second a shared palette.
const char* kStyleSheet = R"(<?xml version="1.0" encoding="UTF-8"?>
<style-sheet>
  <color-sets>
    <color-set id="shared"><base-colors><color>112233</color><color>#445566</color></base-colors></color-set>
  </color-sets>
  <themes>
    <theme id="first">
      <color-set id="own"><base-colors><color>FF0000</color><color>0000FF</color></base-colors></color-set>
      <root-topic-style>
        <children-coloring-mode-style coloring-mode="Rainbow"/>
        <fill-style><solid-color color="C1V0"/></fill-style>
        <shape-style><topic-shape-style type="Oval"/></shape-style>
        <children-default-style>
          <fill-style><solid-color color="00FF00"/></fill-style>
          <shape-style><topic-shape-style type="ChamferedRectangle"/></shape-style>
          <children-default-style>
            <shape-style><topic-shape-style type="Line"/></shape-style>
            <children-default-style>
              <fill-style><solid-color color="#ABCDEF"/></fill-style>
              <shape-style><topic-shape-style type="Star"/></shape-style>
              <children-default-style>
                <shape-style><topic-shape-style type="Rectangle"/></shape-style>
                <children-default-style>
                  <shape-style><topic-shape-style type="Oval"/></shape-style>
                </children-default-style>
              </children-default-style>
            </children-default-style>
          </children-default-style>
        </children-default-style>
      </root-topic-style>
    </theme>
    <theme id="second">
      <root-topic-style>
        <fill-style><solid-color color="C0V0"/></fill-style>
        <shape-style><topic-shape-style type="Rectangle"/></shape-style>
      </root-topic-style>
    </theme>
  </themes>
</style-sheet>
)";

}  // namespace

TEST_F(StyleSheetFiles, ReadsTheNamedThemeWithItsOwnPalette) {
  auto t = MapTheme::themeFromNM5StyleSheet(write("a.xml", kStyleSheet), "first", "missing");
  const kit::Dictionary& d = t->getThemeAsDictionary();
  EXPECT_EQ(d.at("id").string(), "first");
  EXPECT_EQ(*t->getBaseColours(), (kit::Array{"FF0000", "0000FF"}));
  EXPECT_TRUE(t->isRainbowColourMode());
  expectColour(t->getFillColourForLevel(0), 0, 0, 255);
  EXPECT_EQ(t->getShapeForLevel(0), 2);
  expectColour(t->getFillColourForLevel(1), 0, 255, 0);
  EXPECT_EQ(t->getShapeForLevel(1), 0);
  EXPECT_TRUE(isUnset(t->getFillColourForLevel(2)));
  EXPECT_FALSE(d.at("level2").contains("fillColour"));
  EXPECT_EQ(t->getShapeForLevel(2), 3);
  expectColour(t->getFillColourForLevel(3), 0xAB, 0xCD, 0xEF);
  EXPECT_EQ(t->getShapeForLevel(3), 99);  // an unknown shape name
  EXPECT_EQ(t->getShapeForLevel(4), 1);
  EXPECT_FALSE(d.contains("level5"));  // five levels only, however deep the sheet goes
  EXPECT_EQ(t->getShapeForLevel(7), 99);
}

TEST_F(StyleSheetFiles, NamedColourSetComesBeforeTheThemesOwn) {
  auto t = MapTheme::themeFromNM5StyleSheet(write("a.xml", kStyleSheet), "first", "shared");
  EXPECT_EQ(*t->getBaseColours(), (kit::Array{"112233", "#445566"}));
  expectColour(t->getFillColourForLevel(0), 0x44, 0x55, 0x66);
}

TEST_F(StyleSheetFiles, EmptyThemeIDTakesTheFirstThemeAndIsCalledDefault) {
  auto t = MapTheme::themeFromNM5StyleSheet(write("a.xml", kStyleSheet), "", "");
  EXPECT_EQ(t->getThemeAsDictionary().at("id").string(), "default");
  EXPECT_EQ(t->getShapeForLevel(0), 2);
  EXPECT_EQ(t->getShapeForLevel(2), 3);
}

TEST_F(StyleSheetFiles, ThemeWithoutPaletteOrDeeperLevels) {
  auto t = MapTheme::themeFromNM5StyleSheet(write("a.xml", kStyleSheet), "second", "none");
  EXPECT_FALSE(t->getBaseColours());
  EXPECT_FALSE(t->isRainbowColourMode());
  EXPECT_TRUE(isUnset(t->getFillColourForLevel(0)));  // C0V0 with no palette
  EXPECT_EQ(t->getShapeForLevel(0), 1);
  // Every level is written with its shape, even when the sheet says nothing.
  for (int level = 1; level < 5; ++level) expectAbsentLevel(*t, level);
  EXPECT_TRUE(t->getThemeAsDictionary().contains("level4"));
}

TEST_F(StyleSheetFiles, StylesRootIsTheAlternativeLayout) {
  const char* sheet = R"(<styles><themes><theme id="t">
      <color-set><base-colors><color>00FFFF</color></base-colors></color-set>
      <root-topic-style><fill-style><solid-color color="C0V0"/></fill-style>
        <shape-style><topic-shape-style type="RoundedRectangle"/></shape-style></root-topic-style>
    </theme></themes></styles>)";
  auto t = MapTheme::themeFromNM5StyleSheet(write("b.xml", sheet), "t", "x");
  expectColour(t->getFillColourForLevel(0), 0, 255, 255);
  EXPECT_EQ(t->getShapeForLevel(0), 0);
}

TEST_F(StyleSheetFiles, UnreadableFilesGiveTheDefaultTheme) {
  expectDefaultTheme(*MapTheme::themeFromNM5StyleSheet(home.path() + "/missing.xml", "a", "b"));
  expectDefaultTheme(*MapTheme::themeFromNM5StyleSheet(write("empty.xml", ""), "a", "b"));
  expectDefaultTheme(*MapTheme::themeFromNM5StyleSheet(write("bin.xml", std::string("\0\1\2\xff", 4)), "a", "b"));
}

TEST_F(StyleSheetFiles, HostileIDsDoNotBreakTheReader) {
  std::string path = write("a.xml", kStyleSheet);
  for (const char* id : {"\"]", "%s%n%@", "first\" or \"1\"=\"1", "']"}) {
    auto t = MapTheme::themeFromNM5StyleSheet(path, id, id);
    EXPECT_EQ(t->getThemeAsDictionary().at("id").string(), id);
    EXPECT_EQ(t->getShapeForLevel(7), 99);
  }
}

// ---- ConceptDraw documents ----

namespace {

std::string style(const char* name, const char* fill, const char* font, const char* line, const char* shape) {
  std::string s = std::string("<") + name + "><Style>";
  if (fill) s += std::string("<FillBackground><Color>") + fill + "</Color></FillBackground>";
  if (font) s += std::string("<FontColor><Color>") + font + "</Color></FontColor>";
  if (line) s += std::string("<LineColor><Color>") + line + "</Color></LineColor>";
  if (shape) s += std::string("<TopicShapeType>") + shape + "</TopicShapeType>";
  return s + "</Style></" + name + ">";
}

std::unique_ptr<MapTheme> fromCDMZ(const std::string& presets, const char* master = "P2") {
  std::string xml = "<Document><Projects><Project><StylePreset master=\"" + std::string(master) +
                    "\"/></Project></Projects><StylePresets>" + presets + "</StylePresets></Document>";
  return MapTheme::themeFromCDMZ(std::span(reinterpret_cast<const std::uint8_t*>(xml.data()), xml.size()));
}

std::string preset(const char* id, const std::string& body) {
  return std::string("<StylePreset id=\"") + id + "\">" + body + "</StylePreset>";
}

}  // namespace

TEST(MapThemeCDMZ, ReadsTheMasterPresetInRGBOrder) {
  auto t = fromCDMZ(preset("P1", style("CentralTopicStyle", "0000FF", nullptr, nullptr, "2")) +
                    preset("P2", style("CentralTopicStyle", "3366FF", "000080", "112233", "6") +
                                     style("MainTopicStyle", nullptr, nullptr, "FFFFFF", "4") +
                                     style("SubtopicLevel2Style", "ABCDEF", nullptr, nullptr, nullptr)));
  const kit::Dictionary& d = t->getThemeAsDictionary();
  expectColour(t->getFillColourForLevel(0), 0xFF, 0x66, 0x33);
  EXPECT_EQ(d.at("level0")["textColour"].string(), "800000");
  expectColour(t->getLineColourForLevel(0), 0x33, 0x22, 0x11);
  EXPECT_EQ(t->getShapeForLevel(0), 2);
  EXPECT_FALSE(d.at("level1").contains("fillColour"));
  expectColour(t->getLineColourForLevel(1), 255, 255, 255);
  EXPECT_EQ(t->getShapeForLevel(1), 0);
  expectColour(t->getFillColourForLevel(2), 0xEF, 0xCD, 0xAB);
  EXPECT_FALSE(d.at("level2").contains("shape"));
  EXPECT_EQ(t->getShapeForLevel(2), 99);
  EXPECT_FALSE(d.contains("level3"));
  EXPECT_EQ(t->getShapeForLevel(7), 99);
}

TEST(MapThemeCDMZ, FirstEmptyStyleEndsTheLevels) {
  auto t = fromCDMZ(preset("P2", style("CentralTopicStyle", "000000", nullptr, nullptr, "1") +
                                     style("MainTopicStyle", nullptr, nullptr, nullptr, nullptr) +
                                     style("SubtopicLevel2Style", "FF0000", nullptr, nullptr, "3")));
  const kit::Dictionary& d = t->getThemeAsDictionary();
  EXPECT_TRUE(d.contains("level0"));
  EXPECT_FALSE(d.contains("level1"));
  EXPECT_FALSE(d.contains("level2"));
  EXPECT_EQ(t->getShapeForLevel(0), 3);
  EXPECT_EQ(t->getShapeForLevel(2), 99);
}

TEST(MapThemeCDMZ, UnknownShapeCodeIsStoredAsUnset) {
  auto t = fromCDMZ(preset("P2", style("CentralTopicStyle", nullptr, nullptr, nullptr, "12")));
  EXPECT_EQ(t->getThemeAsDictionary().at("level0")["shape"].intValue(), 99);
  EXPECT_EQ(t->getShapeForLevel(0), 99);
}

TEST(MapThemeCDMZ, WithoutACentralStyleTheThemeIsTheDefault) {
  expectDefaultTheme(*fromCDMZ(preset("P2", style("MainTopicStyle", "FF0000", nullptr, nullptr, "2"))));
  expectDefaultTheme(*fromCDMZ(preset("P1", style("CentralTopicStyle", "FF0000", nullptr, nullptr, "2"))));
  expectDefaultTheme(*fromCDMZ(preset("P2", style("CentralTopicStyle", "", "", "", ""))));
  expectDefaultTheme(*fromCDMZ(preset("P2", style("CentralTopicStyle", "FF0000", nullptr, nullptr, "2")), "&quot;]"));
}

TEST(MapThemeCDMZ, UnreadableDataGivesTheDefaultTheme) {
  expectDefaultTheme(*MapTheme::themeFromCDMZ({}));
  const std::uint8_t junk[] = {0xff, 0xfe, 0x00, 0x3c, 0x00};
  expectDefaultTheme(*MapTheme::themeFromCDMZ(junk));
  std::string noPreset = "<Document><StylePresets/></Document>";
  expectDefaultTheme(
      *MapTheme::themeFromCDMZ(std::span(reinterpret_cast<const std::uint8_t*>(noPreset.data()), noPreset.size())));
}

// ---- Topics read their level from the controller's theme ----

namespace {

class ThemedDocument : public FakeDocumentServices {
 public:
  std::shared_ptr<MapTheme> theme;
  MapTheme* getTheme() override { return theme.get(); }
};

struct ThemedTree {
  ThemedDocument doc;
  std::unique_ptr<NodeView> root;
  std::vector<NodeView*> chain;  // chain[i] is at depth i below the central topic

  explicit ThemedTree(int depth) {
    doc.inheritColour = false;
    doc.inheritShape = false;
    root = std::make_unique<NodeView>(nullptr, &doc);
    chain.push_back(root.get());
    for (int i = 1; i <= depth; ++i) {
      auto n = std::make_unique<NodeView>(chain.back(), &doc);
      chain.push_back(NodeViewTestAccess::append(chain.back(), std::move(n)));
    }
  }
};

std::shared_ptr<MapTheme> levelledTheme() {
  kit::Dictionary d;
  const char* fills[] = {"100000", "200000", "FFFFFF", "400000", "500000"};
  for (int i = 0; i < 5; ++i)
    d["level" + std::to_string(i)] = kit::Dictionary{
        {"fillColour", fills[i]}, {"lineColour", "000060"}, {"shape", i % 4}, {"width", 100 + i}, {"fontSize", 20 + 2 * i}};
  d["level5"] = kit::Dictionary{{"shape", 1}, {"width", 999}};
  return MapTheme::themeFromDictionary(d);
}

}  // namespace

TEST(MapThemeTopics, EachLevelTakesItsThemeValues) {
  ThemedTree tree(6);
  tree.doc.theme = levelledTheme();
  tree.root->evaluateDisplayAttributes(true);
  for (int i = 0; i < 5; ++i) {
    NodeView* n = tree.chain[static_cast<std::size_t>(i)];
    EXPECT_EQ(n->getDisplayShape(), i % 4) << i;
    EXPECT_EQ(n->getDisplayWidth(), 100.0f + i) << i;
    EXPECT_EQ(n->getDisplayFontSize(), 20.0f + 2 * i) << i;
  }
  expectColour(tree.chain[0]->getDisplayColour(), 0x10, 0, 0);
  expectColour(tree.chain[2]->getDisplayColour(), 0, 0, 0x60);  // white fill falls to the line colour
  expectColour(tree.chain[4]->getDisplayColour(), 0x50, 0, 0);
  // The level5 entry serves level 5; deeper topics get no theme values and fall to the defaults.
  EXPECT_EQ(tree.chain[5]->getDisplayShape(), 1);
  EXPECT_EQ(tree.chain[5]->getDisplayWidth(), 999.0f);
  EXPECT_EQ(tree.chain[5]->getDisplayFontSize(), 14.0f);
  EXPECT_TRUE(isUnset(tree.chain[5]->getDisplayColour()));
  NodeView* n = tree.chain[6];
  EXPECT_EQ(n->getDisplayShape(), 0);
  EXPECT_EQ(n->getDisplayWidth(), 300.0f);
  EXPECT_EQ(n->getDisplayFontSize(), 14.0f);
  EXPECT_TRUE(isUnset(n->getDisplayColour()));
}

TEST(MapThemeTopics, ADeepEntryServesOnlyItsOwnLevel) {
  ThemedTree tree(10);
  kit::Dictionary d{{"level0", kit::Dictionary{{"width", 100}}}, {"level8", kit::Dictionary{{"width", 808}}}};
  tree.doc.theme = MapTheme::themeFromDictionary(d);
  tree.root->evaluateDisplayAttributes(true);
  EXPECT_EQ(tree.chain[0]->getDisplayWidth(), 100.0f);
  EXPECT_EQ(tree.chain[7]->getDisplayWidth(), 300.0f);
  EXPECT_EQ(tree.chain[8]->getDisplayWidth(), 808.0f);
  EXPECT_EQ(tree.chain[9]->getDisplayWidth(), 300.0f);
  EXPECT_EQ(tree.chain[10]->getDisplayWidth(), 300.0f);
}

TEST(MapThemeTopics, FloatingTopicIsLevelZeroAndItsChildrenLevelOne) {
  ThemedTree tree(2);
  tree.doc.theme = levelledTheme();
  NodeView* floating = tree.chain[2];
  floating->setIsFloating(true, false);
  auto child = std::make_unique<NodeView>(floating, &tree.doc);
  NodeView* c = NodeViewTestAccess::append(floating, std::move(child));
  tree.root->evaluateDisplayAttributes(true);
  EXPECT_EQ(floating->getDisplayWidth(), 100.0f);
  EXPECT_EQ(c->getDisplayWidth(), 101.0f);
}

TEST(MapThemeTopics, OwnValuesComeBeforeTheThemeAndNewThemesApplyOnReevaluation) {
  ThemedTree tree(1);
  tree.doc.theme = MapTheme::themeDefault();
  tree.root->evaluateDisplayAttributes(true);
  EXPECT_EQ(tree.root->getDisplayShape(), 2);
  EXPECT_EQ(tree.chain[1]->getDisplayShape(), 0);
  tree.chain[1]->setShape(1, false, false);
  tree.doc.theme = levelledTheme();
  tree.root->evaluateDisplayAttributes(true);
  EXPECT_EQ(tree.root->getDisplayShape(), 0);
  EXPECT_EQ(tree.chain[1]->getDisplayShape(), 1);
  EXPECT_EQ(tree.chain[1]->getDisplayFontSize(), 22.0f);
}
