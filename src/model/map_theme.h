// The map's theme: per-level defaults (fill and line colour, shape, width, font size) for topics
// without an own style, a colour mode and base colours. It is one dictionary, stored under
// "Theme" in the map file:
//   "id"            theme id
//   "colourMode"    "Rainbow" marks rainbow colouring
//   "baseColours"   array of colour strings that "C<index>V<variation>" references index
//   "level0".."level4"  dictionaries with "fillColour", "lineColour", "textColour" (colour
//                   strings), "shape", "width", "fontSize" (numbers)
// A colour string is hex ("RRGGBB", "#RRGGBB", "FFRRGGBB") or a base-colour reference.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>

#include "helpers/colour_types.h"
#include "kit/core/value.h"

class XPathQuery;

class MapTheme {
 public:
  // What one level answers. Anything absent or unreadable gives the unset marker (0, 0, 254),
  // shape 99, width 0 and font size 0.
  struct LevelValues {
    RGB255 fillColour{0, 0, 254};
    RGB255 lineColour{0, 0, 254};
    int shape = 99;
    int width = 0;
    int fontSize = 0;
  };
  // Levels 0 to 4 carry theme values as the builders write them; these, and any deeper
  // "level5", "level6", ... entries, are read once whenever the dictionary changes.
  static constexpr int kLevelCount = 5;

  // An empty theme: every level answers the absent values.
  MapTheme();
  // Wraps a copy of the dictionary.
  explicit MapTheme(kit::Dictionary dictionary);

  // A theme on a copy of the dictionary when it is a dictionary with a "level0" entry;
  // otherwise the default theme.
  static std::unique_ptr<MapTheme> themeFromDictionary(const kit::Value& dictionary);
  // An oval central topic, rounded rectangles below, no colours.
  static std::unique_ptr<MapTheme> themeDefault();
  // Reads a NovaMind 5 style-sheet file; the default theme when it cannot be read.
  static std::unique_ptr<MapTheme> themeFromNM5StyleSheet(const std::string& path, std::string_view themeID,
                                                          std::string_view colourSetID);
  // Reads the style preset of a ConceptDraw document; the default theme when it has none.
  static std::unique_ptr<MapTheme> themeFromCDMZ(std::span<const std::uint8_t> data);

  // The dictionary itself, as the map file stores it. Changes go through the setters so that
  // the levels read from it stay current.
  const kit::Dictionary& getThemeAsDictionary() const { return dataDict_; }
  std::string description() const;

  RGB255 getFillColourForLevel(int level) const { return valuesForLevel(level).fillColour; }
  RGB255 getLineColourForLevel(int level) const { return valuesForLevel(level).lineColour; }
  int getShapeForLevel(int level) const { return valuesForLevel(level).shape; }
  int getWidthForLevel(int level) const { return valuesForLevel(level).width; }
  int getFontSizeForLevel(int level) const { return valuesForLevel(level).fontSize; }
  // From the values read in advance (a negative level is looked up).
  LevelValues valuesForLevel(int level) const;
  // Pre-read values (no look-up); the absent values for a level without an entry.
  const LevelValues& cachedValuesForLevel(int level) const;
  // One past the deepest level with an entry, at least kLevelCount: every level from here on
  // answers the absent values, so a topic need not count its ancestors any further.
  int levelLimit() const { return deeperLevels_.empty() ? kLevelCount : deeperLevels_.rbegin()->first + 1; }

  // "RRGGBB" of every fill colour of levels 0 to 9 that is set.
  std::set<std::string> getColourSet() const;

  // nullopt leaves the mode unchanged.
  void setColourMode(std::optional<std::string_view> mode);
  bool isRainbowColourMode() const;

  // nullopt when absent (or not an array).
  std::optional<kit::Array> getBaseColours() const;
  // nullopt leaves the colours unchanged.
  void setBaseColours(std::optional<kit::Array> colours);

 private:
  static kit::Dictionary _queryStyleSettingsFromCDMZ(const XPathQuery& query, std::string_view style,
                                                     std::string_view presetPath);
  LevelValues readLevel(int level) const;
  void refreshLevels();

  kit::Dictionary dataDict_;
  std::array<LevelValues, kLevelCount> levels_{};
  std::map<int, LevelValues> deeperLevels_;
};

// NovaMind colour references: a base colour and a numbered variation of it.
class Novamind {
 public:
  // "C<index>V<variation>" against the base colours; the unset marker divided by 255 when the
  // reference cannot be resolved.
  static RGB1 calculatedColorForCV(std::string_view reference, const kit::Array& baseColours);
  // Variation 0 is the colour itself; 1 to 5 lighten dark and darken light colours; any other
  // variation is black.
  static RGB1 calculatedColorForBaseColor(RGB1 colour, int variation);
};

// Hue, saturation and perceived brightness (HSP), each on 0..1, of r, g, b on 0..1.
struct HSP {
  double h = 0, s = 0, p = 0;
};
HSP RGBToHSP(double r, double g, double b);
