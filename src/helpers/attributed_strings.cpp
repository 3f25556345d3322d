#include "helpers/attributed_strings.h"

namespace attributed_strings {

void setFont(kit::AttributedString& s, const kit::Font& font) {
  // Made again from name and size, as the platform does; a name it cannot make keeps the font.
  const auto made = kit::Font::fontWithName(font.fontName(), font.pointSize());
  s.setFont(made ? *made : font);
}

void setLineBreakMode(kit::AttributedString& s, int mode) { s.setLineBreakMode(kit::lineBreakModeFromNumber(mode)); }

void setColourWithColour(kit::AttributedString& s, const kit::Color& colour) { s.setColor(colour); }

void setColourWithRGB1(kit::AttributedString& s, RGB1 colour) { s.setColor(kit::Color(colour.r, colour.g, colour.b, 1)); }

}  // namespace attributed_strings
