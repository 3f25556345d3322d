// Themes from a dictionary, the default theme, and the readers of foreign style documents.
#include <array>
#include <string>

#include "helpers/global_helpers_colour.h"
#include "helpers/global_helpers_shapes.h"
#include "helpers/xpath_query.h"
#include "kit/core/format.h"
#include "model/map_theme.h"

namespace {

kit::Array toArray(const std::vector<std::string>& texts) {
  kit::Array a;
  a.reserve(texts.size());
  for (const std::string& t : texts) a.emplace_back(t);
  return a;
}

}  // namespace

std::unique_ptr<MapTheme> MapTheme::themeFromDictionary(const kit::Value& dictionary) {
  if (dictionary.isDictionary() && dictionary.contains("level0"))
    return std::make_unique<MapTheme>(dictionary.dictionary());
  return themeDefault();
}

std::unique_ptr<MapTheme> MapTheme::themeDefault() {
  kit::Dictionary d;
  d["level0"] = kit::Dictionary{{"fillColour", ""}, {"shape", 2}};
  d["level1"] = kit::Dictionary{{"fillColour", ""}, {"shape", 0}};
  return std::make_unique<MapTheme>(std::move(d));
}

std::unique_ptr<MapTheme> MapTheme::themeFromNM5StyleSheet(const std::string& path, std::string_view themeID,
                                                           std::string_view colourSetID) {
  std::unique_ptr<XPathQuery> query = XPathQuery::objectWithXMLFile(path);
  if (!query) return themeFromDictionary(kit::Dictionary{});

  const std::string id(themeID);
  const std::optional<std::string> probe = query->singleValueQuery("//style-sheet/themes/theme/@id");
  const bool styleSheetRoot = probe && !probe->empty();
  std::string themePath;
  if (styleSheetRoot)
    themePath = id.empty() ? "//style-sheet/themes/theme" : kit::format("//style-sheet/themes/theme[@id=\"%@\"]", id);
  else
    themePath = id.empty() ? "//styles/themes/theme" : kit::format("//styles/themes/theme[@id=\"%@\"]", id);

  kit::Dictionary d;
  d["id"] = id.empty() ? std::string("default") : id;

  std::optional<std::vector<std::string>> base =
      query->multiValueQuery("//*/color-set[@id='%@']/base-colors/color", std::string(colourSetID));
  if (!base || base->empty()) base = query->multiValueQuery("%@/color-set/base-colors/color", themePath);
  if (base) d["baseColours"] = toArray(*base);

  if (std::optional<std::string> mode =
          query->singleValueQuery("%@/root-topic-style/children-coloring-mode-style/@coloring-mode", themePath))
    d["colourMode"] = *mode;

  std::string stem = themePath + "/root-topic-style/";
  for (int level = 0; level < kLevelCount; ++level) {
    kit::Dictionary values;
    if (std::optional<std::string> fill = query->singleValueQuery("%@fill-style/solid-color/@color", stem))
      values["fillColour"] = *fill;
    values["shape"] = GlobalHelpers::getShapeFromNM5(
        query->singleValueQuery("%@shape-style/topic-shape-style/@type", stem));
    d[kit::format("level%d", level)] = std::move(values);
    stem += "children-default-style/";
  }
  return themeFromDictionary(d);
}

kit::Dictionary MapTheme::_queryStyleSettingsFromCDMZ(const XPathQuery& query, std::string_view style,
                                                      std::string_view presetPath) {
  struct Setting {
    const char* format;
    const char* key;
    bool colour;
  };
  static constexpr std::array<Setting, 4> kSettings{{
      {"%@/%@/Style/FillBackground/Color", "fillColour", true},
      {"%@/%@/Style/FontColor/Color", "textColour", true},
      {"%@/%@/Style/LineColor/Color", "lineColour", true},
      {"%@/%@/Style/TopicShapeType", "shape", false},
  }};
  const std::string preset(presetPath), name(style);
  kit::Dictionary values;
  for (const Setting& s : kSettings) {
    std::optional<std::string> text = query.singleValueQuery(s.format, preset, name);
    if (!text || text->empty()) continue;
    if (s.colour)
      values[s.key] = GlobalHelpers::switchRGBBGR(*text).value_or(*text);  // stored BBGGRR
    else
      values[s.key] = GlobalHelpers::getShapeFromCDMZ(*text);
  }
  return values;
}

std::unique_ptr<MapTheme> MapTheme::themeFromCDMZ(std::span<const std::uint8_t> data) {
  std::unique_ptr<XPathQuery> query = XPathQuery::objectWithXMLData(data);
  if (!query) return themeDefault();
  std::optional<std::string> presetID = query->singleValueQuery("//Document/Projects/Project/StylePreset/@master");
  if (!presetID) return themeDefault();
  const std::string presetPath = kit::format("//Document/StylePresets/StylePreset[@id=\"%@\"]", *presetID);

  static constexpr std::array<const char*, kLevelCount> kStyles{
      "CentralTopicStyle", "MainTopicStyle", "SubtopicLevel2Style", "SubtopicLevel3Style", "SubtopicLevel4Style"};
  kit::Dictionary d;
  for (int level = 0; level < kLevelCount; ++level) {
    kit::Dictionary values = _queryStyleSettingsFromCDMZ(*query, kStyles[static_cast<std::size_t>(level)], presetPath);
    if (values.empty()) break;  // levels stay contiguous from the central topic down
    d[kit::format("level%d", level)] = std::move(values);
  }
  return themeFromDictionary(d);
}
