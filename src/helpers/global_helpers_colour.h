// Colour triples: makers, the unset marker, conversions between scales, to HSV, text, integers
// and dictionaries; the line colour on a canvas and the rainbow colour wheel. Pure functions,
// safe on drawing threads.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "helpers/colour_types.h"
#include "kit/core/geometry.h"
#include "kit/core/value.h"
#include "kit/graphics/color.h"
#include "kit/graphics/image.h"

RGB255 RGB255Make(float r, float g, float b);
RGB1 RGB1Make(float r, float g, float b);
HSV HSVMake(float h, float s, float v);

// (0, 0, 254): no colour chosen, the automatic or inherited colour applies.
RGB255 RGB255Default();
// Float comparison with (0, 0, 254). Inline, as the next two: every topic asks them.
inline bool RGB255IsDefault(RGB255 c) { return c.r == 0 && c.g == 0 && c.b == 254; }
// Equal bit for bit: (0, 0, 0) and (-0, 0, 0) differ.
inline bool RGB255EqualToColour(RGB255 a, RGB255 b) {
  static_assert(sizeof(RGB255) == 3 * sizeof(float), "no padding between the components");
  return std::memcmp(&a, &b, sizeof a) == 0;
}
RGB255 RGB255FromUnit(RGB1 c);
RGB1 RGB255ToUnit(RGB255 c);
inline bool RGB255IsWhite(RGB255 c) { return c.r == 255.0f && c.g == 255.0f && c.b == 255.0f; }
bool RGB255IsBlack(RGB255 c);
RGB255 RGB255LightGrey();
// 0xFFRRGGBB from the truncated components (negative gives 0); components above 255 carry into
// the next byte and the sum wraps.
std::uint32_t RGB255ToARGBInteger(RGB255 c);
// The unset marker, or bitwise one of black, white, red, green, blue, magenta, orange, yellow.
bool RGB255IsStandard(RGB255 c);
// {"r", "g", "b"} as floating-point numbers.
kit::Dictionary RGB255ToDictionary(RGB255 c);
// A missing key reads as 0; no dictionary (null, or not a dictionary) gives the unset marker.
RGB255 RGB255FromDictionary(const kit::Value& dictionary);

// Either scale; v keeps the scale of the input.
HSV RGBToHSV(RGB255 c);
HSV RGBToHSV(RGB1 c);
// On the scale of v.
RGB255 HSVToRGB(HSV c);
// The same triple typed for the unit scale (when v is on 0..1).
RGB1 HSVToRGB1(HSV c);
bool HSVIsDark(HSV c);
// Darkens v by p percent; a negative p lightens.
HSV HSVReduceBrightness(HSV c, float percentage);
HSV HSVReduceSaturation(HSV c, float percentage);

namespace GlobalHelpers {

// "RRGGBB": the low 8 bits of each truncated component, upper case.
std::string getColourAsStringWithRGB255(RGB255 c);
// RRGGBB <-> BBGGRR by pairs of UTF-16 units; text not 6 units long comes back unchanged.
std::optional<std::string> switchRGBBGR(std::optional<std::string_view> text);
// The colour to draw a link, relationship or boundary line in on a canvas style.
RGB255 adjustColour(RGB255 colour, int forCanvas, bool accountingForShadow);
// The rainbow colour (36 hue steps clockwise from straight up) of a point about a centre.
RGB1 calculateColourWheelColourForPoint(kit::Point point, kit::Point relativeToCentre);
// The canvas background of a canvas style (1 black, 2 textured, 3 to 6 paper patterns, 7 light
// grey, 8 dark grey, 9 pale yellow, any other white), and the same for the small style
// indicator, whose paper patterns are drawn at a scale that shows in a swatch.
kit::Color getCanvasColourFromStyle(int style);
kit::Color getIndicatorCanvasColourFromStyle(int style);
// A swatch of the given size: a (rounded) rectangle 4 points smaller than the image, filled and
// outlined in the colour over a drop shadow. Null when the size makes no image.
kit::ImageRef rectImageWithColor(const kit::Color& color, kit::Size ofSize, bool rounded);

}  // namespace GlobalHelpers
