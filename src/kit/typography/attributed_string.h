// Text with attributes over byte ranges (font, colour, underline, strike-through) and one
// paragraph style (line-break mode, alignment), measured and drawn as a frame.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "kit/core/geometry.h"
#include "kit/graphics/color.h"
#include "kit/graphics/context.h"
#include "kit/typography/font.h"
#include "kit/typography/string_drawing.h"

namespace kit {

// A range in bytes of UTF-8 text; length npos runs to the end.
struct TextByteRange {
  size_t start = 0;
  size_t length = std::string::npos;
};

class AttributedString {
 public:
  using Range = TextByteRange;
  struct Run {
    Range range;
    std::optional<Font> font;
    std::optional<Color> color;
    std::optional<bool> underline;
    std::optional<bool> strikethrough;
  };

  AttributedString() = default;
  explicit AttributedString(std::string text) : text_(std::move(text)) {}

  const std::string& string() const { return text_; }
  size_t length() const { return text_.size(); }

  // Later settings win where ranges overlap. Without a font the system font of 12 points applies;
  // without a colour, black.
  void setFont(const Font& font, Range r = {});
  void setColor(const Color& color, Range r = {});
  void setUnderline(bool on, Range r = {});
  void setStrikethrough(bool on, Range r = {});
  void setLineBreakMode(LineBreakMode mode) { lineBreak_ = mode; }
  void setAlignment(TextAlignment a) { alignment_ = a; }
  LineBreakMode lineBreakMode() const { return lineBreak_; }
  TextAlignment alignment() const { return alignment_; }
  const std::vector<Run>& runs() const { return runs_; }

 private:
  std::string text_;
  std::vector<Run> runs_;
  LineBreakMode lineBreak_ = LineBreakMode::WordWrap;
  TextAlignment alignment_ = TextAlignment::Left;
};

// The platform's line-break numbers: 0 to 3 and 5 as they are, anything else tail truncation.
LineBreakMode lineBreakModeFromNumber(int n);

// The size of the text set in a frame of frameSize (a limit of 0 or less is no limit): width of
// the widest line, height from the frame's top to the last line's descent, both rounded up.
// Lines that do not fit the height are left out. (0, 0) for an empty text. Wrapping modes wrap;
// clipping and truncation modes keep each paragraph on one line (cut, or shortened with "…").
Size measureFrame(const AttributedString& s, Size frameSize);

// Draws the frame's lines at rect's top left; runs without a colour use the context's fill
// colour. Returns the measured size.
Size drawFrame(GraphicsContext& ctx, const AttributedString& s, const Rect& rect);

}  // namespace kit
