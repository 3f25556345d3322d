// Measuring and drawing text in a font: wrapped sizes, drawing into a rectangle, the size of a
// laid-out frame and single-line truncation measured by the font. 72 dpi, unhinted metrics,
// sizes rounded up to whole points (the kit's typography). Safe from any thread.
#pragma once

#include <string>
#include <string_view>

#include "kit/core/geometry.h"
#include "kit/graphics/color.h"
#include "kit/graphics/context.h"
#include "kit/typography/attributed_string.h"
#include "kit/typography/font.h"

namespace strings {

// The size the text takes in the font, word-wrapped within the width and keeping the whole
// lines that fit the height. The kit's measurer keeps the sizes it found (a bounded, locked
// table), so a text met again in the same font and constraint is not laid out again.
kit::Size sizeWithFontEx(std::string_view text, const kit::Font& font, kit::Size constrainedToSize);
// Drops the kept sizes, so that the next measurements lay the texts out (benchmarks).
void forgetMeasuredSizes();

// Sets the colour as fill and stroke colour of the context and draws the text wrapped inside
// the rectangle.
void drawInContext(std::string_view text, kit::GraphicsContext& context, const kit::Rect& constrainedByRect,
                   const kit::Font& withFont, const kit::Color& withColour);

// The size of the text set in a frame of frameSize: the widest line, and from the frame's top
// to the last line's descent, both rounded up to whole points; (0, 0) when there are no lines.
kit::Size _measureFrame(const kit::AttributedString& frame, kit::Size frameSize);

// Single-line titles measured in the font: the text before its first line break, shortened to
// the longest prefix that fits with "..." in place of its last character.
std::string stringByTruncatingToWidth(std::string_view s, float width, const kit::Font& withFont);
std::string _stringByTruncatingToWidth(std::string_view s, float width, const kit::Font& withFont);

// The wrapped-size measurer sizeWithFontEx uses. Tests put a deterministic or counting one in
// its place; nullptr restores the kit's.
using SizeMeasurer = kit::Size (*)(std::string_view text, const kit::Font& font, kit::Size constraint);
void setSizeMeasurerForTesting(SizeMeasurer measurer);

}  // namespace strings
