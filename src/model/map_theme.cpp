#include "model/map_theme.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "helpers/global_helpers_colour.h"
#include "helpers/strings.h"
#include "kit/core/format.h"
#include "model/node_view.h"

namespace {

constexpr RGB255 kUnset{0, 0, 254};
constexpr int kColourSetLevels = 10;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// One "%d" conversion as scanf reads it: blanks, an optional sign, digits. Out of range fails.
bool scanInt(std::string_view s, std::size_t& pos, int& out) {
  while (pos < s.size() && isBlank(s[pos])) ++pos;
  std::size_t start = pos;
  if (pos < s.size() && s[pos] == '+') {
    ++start, ++pos;
    if (pos >= s.size() || s[pos] < '0' || s[pos] > '9') return false;
  }
  const char* first = s.data() + start;
  const char* last = s.data() + s.size();
  auto [end, ec] = std::from_chars(first, last, out);
  if (ec != std::errc() || end == first) return false;
  pos = static_cast<std::size_t>(end - s.data());
  return true;
}

// "C%dV%d": index, then variation.
bool scanReference(std::string_view s, int& index, int& variation) {
  std::size_t pos = 0;
  if (pos >= s.size() || s[pos] != 'C') return false;
  ++pos;
  if (!scanInt(s, pos, index)) return false;
  if (pos >= s.size() || s[pos] != 'V') return false;
  ++pos;
  return scanInt(s, pos, variation);
}

// Reads the base colour a reference points at; nullopt when it cannot be resolved.
std::optional<RGB1> resolveReference(std::string_view reference, const kit::Array& baseColours) {
  int index = 0, variation = 0;
  if (!scanReference(reference, index, variation)) return std::nullopt;
  if (index < 0 || static_cast<std::size_t>(index) >= baseColours.size()) return std::nullopt;
  const kit::Value& base = baseColours[static_cast<std::size_t>(index)];
  if (!base.isString()) return std::nullopt;
  RGB255 colour = strings::extractColourComponents(base.string());
  if (RGB255IsDefault(colour)) return std::nullopt;
  return Novamind::calculatedColorForBaseColor(RGB255ToUnit(colour), variation);
}

RGB255 readColour(const kit::Value& level, std::string_view key, const kit::Array& baseColours) {
  const kit::Value& v = level[key];
  if (!v.isString() || v.string().empty()) return kUnset;
  const std::string& text = v.string();
  if (text.front() == 'C' && text.find('V') != std::string::npos) {
    std::optional<RGB1> c = resolveReference(text, baseColours);
    return c ? RGB255FromUnit(*c) : kUnset;
  }
  return strings::extractColourComponents(text);
}

// A number, or a string read as the platform reads numbers; anything else is absent.
int readInt(const kit::Value& level, std::string_view key, int absent) {
  const kit::Value& v = level[key];
  if (!v.isNumber() && !v.isString()) return absent;
  std::int64_t n = v.integerValue();
  if (n > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (n < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(n);
}

}  // namespace

// ---- Theme -----------------------------------------------------------------------------------

MapTheme::MapTheme() = default;

MapTheme::MapTheme(kit::Dictionary dictionary) : dataDict_(std::move(dictionary)) { refreshLevels(); }

std::string MapTheme::description() const { return kit::Value(dataDict_).description(); }

MapTheme::LevelValues MapTheme::readLevel(int level) const {
  LevelValues values;
  auto it = dataDict_.find(kit::format("level%d", level));
  if (it == dataDict_.end() || !it->second.isDictionary()) return values;
  const kit::Value& dict = it->second;
  auto base = dataDict_.find("baseColours");
  const kit::Array& colours = base != dataDict_.end() ? base->second.array() : kit::Value::nullValue().array();
  values.fillColour = readColour(dict, "fillColour", colours);
  values.lineColour = readColour(dict, "lineColour", colours);
  values.shape = readInt(dict, "shape", 99);
  values.width = readInt(dict, "width", 0);
  // A whole number: 0 (absent) below the least size, the largest above it.
  values.fontSize = std::min(readInt(dict, "fontSize", 0), static_cast<int>(NodeView::kMaxFontSize));
  if (values.fontSize < NodeView::kMinFontSize) values.fontSize = 0;
  return values;
}

void MapTheme::refreshLevels() {
  for (int i = 0; i < kLevelCount; ++i) levels_[static_cast<std::size_t>(i)] = readLevel(i);
  // Deeper levels are whatever "level%d" keys the dictionary holds beyond the first five.
  deeperLevels_.clear();
  constexpr std::string_view kPrefix = "level";
  for (auto it = dataDict_.lower_bound(std::string(kPrefix)); it != dataDict_.end(); ++it) {
    const std::string& key = it->first;
    if (!strings::hasPrefixEx(key, kPrefix)) break;
    const std::string_view digits = std::string_view(key).substr(kPrefix.size());
    int level = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), level);
    if (ec != std::errc() || end != digits.data() + digits.size() || level < kLevelCount) continue;
    if (kit::format("level%d", level) != key || !it->second.isDictionary()) continue;
    deeperLevels_.emplace(level, readLevel(level));
  }
}

MapTheme::LevelValues MapTheme::valuesForLevel(int level) const {
  if (level >= 0) return cachedValuesForLevel(level);
  return readLevel(level);
}

const MapTheme::LevelValues& MapTheme::cachedValuesForLevel(int level) const {
  static const LevelValues absent;
  if (level >= 0 && level < kLevelCount) return levels_[static_cast<std::size_t>(level)];
  const auto it = deeperLevels_.find(level);
  return it != deeperLevels_.end() ? it->second : absent;
}

std::set<std::string> MapTheme::getColourSet() const {
  std::set<std::string> set;
  for (int level = 0; level < kColourSetLevels; ++level) {
    RGB255 c = getFillColourForLevel(level);
    if (!RGB255IsDefault(c)) set.insert(GlobalHelpers::getColourAsStringWithRGB255(c));
  }
  return set;
}

void MapTheme::setColourMode(std::optional<std::string_view> mode) {
  if (mode) dataDict_["colourMode"] = kit::Value(*mode);
}

bool MapTheme::isRainbowColourMode() const {
  auto it = dataDict_.find("colourMode");
  if (it == dataDict_.end() || !it->second.isString()) return false;
  return strings::isEqualToStringWithCase(it->second.string(), "Rainbow");
}

std::optional<kit::Array> MapTheme::getBaseColours() const {
  auto it = dataDict_.find("baseColours");
  if (it == dataDict_.end() || !it->second.isArray()) return std::nullopt;
  return it->second.array();
}

void MapTheme::setBaseColours(std::optional<kit::Array> colours) {
  if (!colours) return;
  dataDict_["baseColours"] = kit::Value(std::move(*colours));
  refreshLevels();  // references resolve against the new palette
}

// ---- Colour references -----------------------------------------------------------------------

RGB1 Novamind::calculatedColorForCV(std::string_view reference, const kit::Array& baseColours) {
  if (std::optional<RGB1> c = resolveReference(reference, baseColours)) return *c;
  return RGB1{kUnset.r / 255.0f, kUnset.g / 255.0f, kUnset.b / 255.0f};
}

RGB1 Novamind::calculatedColorForBaseColor(RGB1 colour, int variation) {
  if (variation == 0) return colour;
  if (variation < 1 || variation > 5) return RGB1{0, 0, 0};
  const std::size_t n = static_cast<std::size_t>(variation - 1);

  HSV hsv = RGBToHSV(colour);
  const float s = hsv.s, v = hsv.v;
  const double p = RGBToHSP(colour.r, colour.g, colour.b).p;
  int brightnessClass = 2;
  if (p < 0.02) brightnessClass = 0;
  else if (p < 0.15) brightnessClass = 1;
  else if (p > 0.98) brightnessClass = 4;
  else if (p > 0.85) brightnessClass = 3;

  float raised = s;
  if (s < 0.1f) raised = s;
  else if (s < 0.4f) raised = 1.3f * s;
  else if (s < 0.6f) raised = 1.2f * s;
  else if (s < 0.85f) raised = 1.1f * s;

  static constexpr float kNearBlackS[] = {0.5f, 0.65f, 0.75f, 0.85f, 0.95f};
  static constexpr float kNearBlackV[] = {0.5f, 0.35f, 0.25f, 0.15f, 0.05f};
  static constexpr float kDarkS[] = {0.1f, 0.25f, 0.5f, 0.75f, 0.9f};
  static constexpr float kDarkV[] = {0.9f, 0.75f, 0.5f, 0.25f, 0.1f};
  static constexpr float kMiddleS[] = {0.4f, 0.6f, 0.8f};
  static constexpr float kMiddleV[] = {0.8f, 0.6f, 0.4f};
  static constexpr float kMiddleDarken[] = {0, 0, 0, 0.75f, 0.5f};
  static constexpr float kLight[] = {0.9f, 0.75f, 0.5f, 0.25f, 0.1f};
  static constexpr float kNearWhite[] = {0.95f, 0.85f, 0.75f, 0.65f, 0.5f};

  float S = s, V = v;
  switch (brightnessClass) {
    case 0:
      S = s * kNearBlackS[n];
      V = (1 - v) * kNearBlackV[n];
      break;
    case 1:
      S = s * kDarkS[n];
      V = v + (1 - v) * kDarkV[n];
      break;
    case 2:
      if (n < 3) {
        S = s * kMiddleS[n];
        V = v + (1 - v) * kMiddleV[n];
      } else {
        S = raised;
        V = v * kMiddleDarken[n];
      }
      break;
    case 3:
      S = raised;
      V = v * kLight[n];
      break;
    default:
      S = s;
      V = v * kNearWhite[n];
      break;
  }
  return HSVToRGB1(HSV{hsv.h, S, V});
}

HSP RGBToHSP(double r, double g, double b) {
  HSP out;
  out.p = std::sqrt(0.241 * r * r + 0.691 * g * g + 0.068 * b * b);
  if (r == g && r == b) return out;
  if (r >= g && r >= b) {
    if (b >= g) {
      out.h = 1.0 - (b - g) / (r - g) / 6.0;
      out.s = 1.0 - g / r;
    } else {
      out.h = (g - b) / (r - b) / 6.0;
      out.s = 1.0 - b / r;
    }
  } else if (g >= r && g >= b) {
    if (r >= b) {
      out.h = 2.0 / 6.0 - (r - b) / (g - b) / 6.0;
      out.s = 1.0 - b / g;
    } else {
      out.h = 2.0 / 6.0 + (b - r) / (g - r) / 6.0;
      out.s = 1.0 - r / g;
    }
  } else {
    if (g >= r) {
      out.h = 4.0 / 6.0 - (g - r) / (b - r) / 6.0;
      out.s = 1.0 - r / b;
    } else {
      out.h = 4.0 / 6.0 + (r - g) / (b - g) / 6.0;
      out.s = 1.0 - g / b;
    }
  }
  return out;
}
