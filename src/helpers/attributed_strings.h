// Whole-text attribute setters on attributed strings.
#pragma once

#include "helpers/colour_types.h"
#include "kit/graphics/color.h"
#include "kit/typography/attributed_string.h"
#include "kit/typography/font.h"

namespace attributed_strings {

// A font of the same name and point size over the whole text.
void setFont(kit::AttributedString& s, const kit::Font& font);
// The platform's numbers: 0 to 3 and 5 as they are, anything else truncation at the tail.
void setLineBreakMode(kit::AttributedString& s, int mode);
void setColourWithColour(kit::AttributedString& s, const kit::Color& colour);
// An opaque colour from a 0..1 triple.
void setColourWithRGB1(kit::AttributedString& s, RGB1 colour);

}  // namespace attributed_strings
