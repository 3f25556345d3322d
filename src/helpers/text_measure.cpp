#include "helpers/text_measure.h"

#include <atomic>

#include "helpers/strings.h"
#include "kit/typography/string_drawing.h"

namespace strings {

namespace {

kit::Size kitMeasure(std::string_view text, const kit::Font& font, kit::Size constraint) {
  return kit::sizeWithFont(text, font, constraint, kit::LineBreakMode::WordWrap);
}

std::atomic<SizeMeasurer> g_measurer{&kitMeasure};

}  // namespace

void setSizeMeasurerForTesting(SizeMeasurer measurer) { g_measurer.store(measurer ? measurer : &kitMeasure); }

kit::Size sizeWithFontEx(std::string_view text, const kit::Font& font, kit::Size constrainedToSize) {
  return g_measurer.load(std::memory_order_relaxed)(text, font, constrainedToSize);
}

void drawInContext(std::string_view text, kit::GraphicsContext& context, const kit::Rect& constrainedByRect,
                   const kit::Font& withFont, const kit::Color& withColour) {
  context.setFillColor(withColour);
  context.setStrokeColor(withColour);
  kit::drawInRect(context, text, constrainedByRect, withFont, kit::LineBreakMode::WordWrap);
}

kit::Size _measureFrame(const kit::AttributedString& frame, kit::Size frameSize) {
  return kit::measureFrame(frame, frameSize);
}

std::string stringByTruncatingToWidth(std::string_view s, float width, const kit::Font& withFont) {
  std::size_t nl = s.find('\n');
  return _stringByTruncatingToWidth(nl == std::string_view::npos ? s : s.substr(0, nl), width, withFont);
}

std::string _stringByTruncatingToWidth(std::string_view s, float width, const kit::Font& withFont) {
  // Unwrapped single-line widths: a title never wraps while it is being fitted.
  return truncateToWidth(s, width, [&](std::string_view t) { return kit::sizeWithFont(t, withFont).width; });
}

}  // namespace strings
