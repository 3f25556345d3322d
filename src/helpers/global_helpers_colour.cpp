#include "helpers/global_helpers_colour.h"

#include <cmath>
#include <cstdio>
#include <numbers>

#include "helpers/global_helpers_geometry.h"
#include "kit/graphics/image_context.h"
#include "kit/text/utf.h"

namespace {

// Float to integer as the phone's processor converts: truncation, saturating at the ends of the
// range, NaN giving 0. (A plain cast of an out-of-range float is undefined behaviour.)
std::int32_t toInt32(float x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483648.0f) return INT32_MAX;
  if (x <= -2147483648.0f) return INT32_MIN;
  return static_cast<std::int32_t>(x);
}

std::uint32_t toUInt32(float x) {
  if (std::isnan(x) || x <= 0) return 0;
  if (x >= 4294967296.0f) return UINT32_MAX;
  return static_cast<std::uint32_t>(x);
}


HSV rgbToHsv(float r, float g, float b) {
  float max = std::fmax(r, std::fmax(g, b));
  float min = std::fmin(r, std::fmin(g, b));
  // fmax/fmin skip a NaN; the plain comparisons of the algorithm do not.
  if (std::isnan(r) || std::isnan(g) || std::isnan(b)) {
    max = r > g ? r : g;
    max = max > b ? max : b;
    min = r < g ? r : g;
    min = min < b ? min : b;
  }
  float delta = max - min;
  if (delta == 0) return HSV{0, 0, max};
  float s = delta / max;
  double half = delta * 0.5;
  float dr = static_cast<float>(((max - r) / 6.0f + half) / delta);
  float dg = static_cast<float>(((max - g) / 6.0f + half) / delta);
  float db = static_cast<float>(((max - b) / 6.0f + half) / delta);
  float h;
  if (r == max) {
    h = db - dg;
  } else if (g == max) {
    h = static_cast<float>(1.0 / 3.0 + dr - db);
  } else if (b == max) {
    h = static_cast<float>(2.0 / 3.0 + dg - dr);
  } else {
    return HSV{0, s, max};
  }
  if (h < 0) h += 1;
  if (h > 1) h -= 1;
  return HSV{h, s, max};
}

}  // namespace

RGB255 RGB255Make(float r, float g, float b) { return RGB255{r, g, b}; }
RGB1 RGB1Make(float r, float g, float b) { return RGB1{r, g, b}; }
HSV HSVMake(float h, float s, float v) { return HSV{h, s, v}; }

RGB255 RGB255Default() { return RGB255{0, 0, 254}; }

RGB255 RGB255FromUnit(RGB1 c) {
  return RGB255{static_cast<float>(c.r * 255.0), static_cast<float>(c.g * 255.0), static_cast<float>(c.b * 255.0)};
}

RGB1 RGB255ToUnit(RGB255 c) {
  return RGB1{static_cast<float>(c.r / 255.0), static_cast<float>(c.g / 255.0), static_cast<float>(c.b / 255.0)};
}

bool RGB255IsBlack(RGB255 c) { return c.r == 0.0f && c.g == 0.0f && c.b == 0.0f; }
RGB255 RGB255LightGrey() { return RGB255{230, 230, 230}; }

std::uint32_t RGB255ToARGBInteger(RGB255 c) {
  return toUInt32(c.r) * 65536u + toUInt32(c.g) * 256u + toUInt32(c.b) + 255u * 16777216u;
}

bool RGB255IsStandard(RGB255 c) {
  if (RGB255IsDefault(c)) return true;
  static const RGB255 kStandard[] = {{0, 0, 0},     {255, 255, 255}, {255, 0, 0},   {0, 255, 0},
                                     {0, 0, 255},   {255, 0, 255},   {255, 127, 0}, {255, 255, 0}};
  for (const RGB255& s : kStandard)
    if (RGB255EqualToColour(c, s)) return true;
  return false;
}

kit::Dictionary RGB255ToDictionary(RGB255 c) {
  return kit::Dictionary{{"r", kit::Value(c.r)}, {"g", kit::Value(c.g)}, {"b", kit::Value(c.b)}};
}

RGB255 RGB255FromDictionary(const kit::Value& dictionary) {
  if (!dictionary.isDictionary()) return RGB255Default();
  return RGB255{dictionary["r"].floatValue(), dictionary["g"].floatValue(), dictionary["b"].floatValue()};
}

HSV RGBToHSV(RGB255 c) { return rgbToHsv(c.r, c.g, c.b); }
HSV RGBToHSV(RGB1 c) { return rgbToHsv(c.r, c.g, c.b); }

RGB255 HSVToRGB(HSV c) {
  float v = c.v;
  if (c.s == 0) return RGB255{v, v, v};
  float x = c.h * 6;
  if (x == 6) x = 0;
  std::int32_t i = toInt32(std::floor(x));
  float f = x - static_cast<float>(i);
  float p = v * (1 - c.s);
  float q = v * (1 - c.s * f);
  float t = v * (1 - c.s * (1 - f));
  switch (i) {
    case 0: return RGB255{v, t, p};
    case 1: return RGB255{q, v, p};
    case 2: return RGB255{p, v, t};
    case 3: return RGB255{p, q, v};
    case 4: return RGB255{t, p, v};
    default: return RGB255{v, p, q};
  }
}

RGB1 HSVToRGB1(HSV c) {
  RGB255 r = HSVToRGB(c);
  return RGB1{r.r, r.g, r.b};
}

bool HSVIsDark(HSV c) { return static_cast<double>(c.v) < 0.3; }

HSV HSVReduceBrightness(HSV c, float percentage) {
  return HSV{c.h, c.s, c.v + (percentage / -100.0f) * c.v};
}

HSV HSVReduceSaturation(HSV c, float percentage) {
  return HSV{c.h, c.s + (percentage / -100.0f) * c.s, c.v};
}

namespace GlobalHelpers {

std::string getColourAsStringWithRGB255(RGB255 c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%.2X%.2X%.2X", static_cast<unsigned>(toInt32(c.r)) & 0xFFu,
                static_cast<unsigned>(toInt32(c.g)) & 0xFFu, static_cast<unsigned>(toInt32(c.b)) & 0xFFu);
  return std::string(buf, 6);
}

std::optional<std::string> switchRGBBGR(std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  if (kit::utf16Length(*text) != 6) return std::string(*text);
  // Pure ASCII (the usual case) swaps bytes; anything else swaps UTF-16 units as the length
  // counted them.
  if (text->size() == 6) {
    const std::string_view& s = *text;
    return std::string{s[4], s[5], s[2], s[3], s[0], s[1]};
  }
  std::u16string u = kit::utf8ToUtf16(*text);
  if (u.size() != 6) return std::string(*text);
  std::u16string swapped{u[4], u[5], u[2], u[3], u[0], u[1]};
  return kit::utf16ToUtf8(swapped);
}

RGB255 adjustColour(RGB255 colour, int forCanvas, bool accountingForShadow) {
  if (forCanvas == 1 && RGB255IsBlack(colour)) return RGB255{56, 56, 56};
  if (RGB255IsWhite(colour) && !accountingForShadow) return RGB255LightGrey();
  return colour;
}

RGB1 calculateColourWheelColourForPoint(kit::Point point, kit::Point relativeToCentre) {
  const double pi = std::numbers::pi;
  double dx = static_cast<double>(point.x) - relativeToCentre.x;
  double dy = static_cast<double>(point.y) - relativeToCentre.y;
  // At the centre itself 0/0 has no angle: take straight up, like a point just above it.
  double a = (dx == 0 && dy == 0) ? 0.0 : std::atan(std::fabs(dx) / std::fabs(dy));
  double angle;
  if (dy <= 0 && dx > 0) {
    angle = a;
  } else if (dy > 0 && dx > 0) {
    angle = pi - a;
  } else if (dy > 0) {
    angle = pi + a;
  } else {
    angle = 2 * pi - a;
  }
  double degrees = angle * 180.0 / pi;
  double hue = std::floor(degrees / 10.0) * 10.0 / 360.0;
  if (!std::isfinite(hue)) hue = 0;
  return HSVToRGB1(HSV{static_cast<float>(hue), 1, 1});
}

namespace {

// The paper textures are resource images; without them the canvas is plain white.
kit::Color patternOrWhite(const char* name) {
  kit::ImageRef image = kit::imageNamed(name);
  return image ? kit::Color::patternImage(std::move(image)) : kit::Color::white();
}

kit::Color canvasColour(int style, bool indicator) {
  switch (style) {
    case 1: return kit::Color::black();
    case 2: return kit::Color(0.44f, 0.46f, 0.50f);  // the textured background, as a flat slate
    case 3: return patternOrWhite(indicator ? "paper-graph-indicator.png" : "paper-graph.png");
    case 4: return patternOrWhite(indicator ? "paper-line-indicator.png" : "paper-line.png");
    case 5: return patternOrWhite(indicator ? "paper-yellow-graph-indicator.png" : "paper-yellow-graph.png");
    case 6: return patternOrWhite(indicator ? "paper-yellow-line-indicator.png" : "paper-yellow-line.png");
    case 7: return kit::Color::gray(2.0f / 3.0f);
    case 8: return kit::Color::gray(1.0f / 3.0f);
    case 9: return kit::Color(253.0f / 255.0f, 247.0f / 255.0f, 184.0f / 255.0f, 1.0f);
    default: return kit::Color::white();
  }
}

}  // namespace

kit::Color getCanvasColourFromStyle(int style) { return canvasColour(style, false); }

kit::Color getIndicatorCanvasColourFromStyle(int style) { return canvasColour(style, true); }

kit::ImageRef rectImageWithColor(const kit::Color& color, kit::Size ofSize, bool rounded) {
  auto ic = kit::ImageContext::create(ofSize);
  if (!ic) return nullptr;
  kit::GraphicsContext& ctx = ic->context();
  ctx.clearRect(kit::Rect(0, 0, ofSize.width, ofSize.height));
  kit::Rect r(0, 0, ofSize.width - 4, ofSize.height - 4);
  if (r.size.width > 0 && r.size.height > 0) {
    kit::Path path;
    if (rounded) addRoundedRect(r, path);
    else path.addRect(r);
    ctx.addPath(path);
    ctx.setStrokeColor(color);
    ctx.setFillColor(color);
    setShadow(true, ctx, 0);
    ctx.drawPath(kit::PathDrawingMode::FillStroke);
    // Again without the shadow, so the swatch itself is crisp over its shadow.
    ctx.addPath(path);
    ctx.setFillColor(color);
    setShadow(false, ctx, 0);
    ctx.fillPath();
  }
  return ic->image();
}

}  // namespace GlobalHelpers
