// Small standard controls drawn with kit graphics: label, image view, segmented control, slider,
// single-line text field.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kit/graphics/image.h"
#include "kit/typography/font.h"
#include "kit/typography/string_drawing.h"
#include "kit/ui/button.h"
#include "kit/ui/text_view.h"

namespace kit {

class Label : public View {
 public:
  explicit Label(const Rect& frame = Rect());
  const std::string& text() const { return text_; }
  void setText(std::string text) { text_ = std::move(text); setNeedsDisplay(); }
  const Color& textColor() const { return textColor_; }
  void setTextColor(const Color& c) { textColor_ = c; setNeedsDisplay(); }
  const Font& font() const { return font_; }
  void setFont(const Font& f) { font_ = f; setNeedsDisplay(); }
  TextAlignment textAlignment() const { return alignment_; }
  void setTextAlignment(TextAlignment a) { alignment_ = a; setNeedsDisplay(); }
  // Shrinks the font (down to minimumFontSize) until the text fits the width on one line.
  bool adjustsFontSizeToFitWidth() const { return adjusts_; }
  void setAdjustsFontSizeToFitWidth(bool a) { adjusts_ = a; setNeedsDisplay(); }
  float minimumFontSize() const { return minimumFontSize_; }
  // The font the text is drawn in now.
  Font fittedFont() const;
  void drawRect(GraphicsContext& ctx, const Rect& rect) override;

 private:
  std::string text_;
  Color textColor_ = Color::black();
  Font font_;
  TextAlignment alignment_ = TextAlignment::Left;
  bool adjusts_ = false;
  float minimumFontSize_ = 10;
};

// Draws its image scaled to fit its bounds, centred, keeping the aspect.
class ImageView : public View {
 public:
  explicit ImageView(const Rect& frame = Rect()) : View(frame) { setOpaque(false); }
  const ImageRef& image() const { return image_; }
  void setImage(ImageRef image) { image_ = std::move(image); setNeedsDisplay(); }
  void drawRect(GraphicsContext& ctx, const Rect& rect) override;

 private:
  ImageRef image_;
};

// A row of equal segments; a tap selects one and sends value-changed.
class SegmentedControl : public Control {
 public:
  static constexpr int kNoSegment = -1;
  explicit SegmentedControl(std::vector<std::string> titles, const Rect& frame = Rect());
  int numberOfSegments() const { return static_cast<int>(titles_.size()); }
  const std::string& titleForSegment(int i) const;
  int selectedSegmentIndex() const { return selected_; }
  // Out of range means no segment. Sends nothing: a selection made in code is not a tap.
  virtual void setSelectedSegmentIndex(int index);
  // The segment under a point in bounds coordinates, kNoSegment when none.
  int segmentAt(Point p) const;
  Color tintColor() const { return tint_; }
  void setTintColor(const Color& c) { tint_ = c; setNeedsDisplay(); }
  void endTracking(Point p) override;
  void drawRect(GraphicsContext& ctx, const Rect& rect) override;

 private:
  std::vector<std::string> titles_;
  int selected_ = kNoSegment;
  Color tint_{0.31f, 0.4f, 0.56f};
};

// A value between minimum and maximum; dragging the thumb sends value-changed.
class Slider : public Control {
 public:
  explicit Slider(const Rect& frame = Rect());
  float value() const { return value_; }
  // Clamped; NaN keeps the value.
  void setValue(float v);
  float minimumValue() const { return min_; }
  float maximumValue() const { return max_; }
  void setRange(float minimum, float maximum);
  void beginTracking(Point p, int tapCount = 1) override;
  void continueTracking(Point p) override;
  void drawRect(GraphicsContext& ctx, const Rect& rect) override;

 private:
  void trackTo(Point p);
  float value_ = 0, min_ = 0, max_ = 1;
};

// One line of editable text: line breaks typed or pasted become spaces.
class TextField : public TextView {
 public:
  enum class BorderStyle { None, RoundedRect };
  explicit TextField(const Rect& frame = Rect());
  BorderStyle borderStyle() const { return border_; }
  void setBorderStyle(BorderStyle b) { border_ = b; setNeedsDisplay(); }
  const std::string& placeholder() const { return placeholder_; }
  void setPlaceholder(std::string p) { placeholder_ = std::move(p); setNeedsDisplay(); }
  void insertText(const std::string& text) override;
  void paste(const std::string& text) override;
  void drawRect(GraphicsContext& ctx, const Rect& rect) override;

 private:
  BorderStyle border_ = BorderStyle::None;
  std::string placeholder_;
};

// The system version the application reports (a platform constant, "5.0"); tests change it.
const std::string& systemVersion();
void setSystemVersion(std::string version);

// Colours from outside (NaN, out of range) are drawn clamped into 0..1; NaN counts as 0.
Color clampedColor(const Color& c);

class Path;
// A rounded rectangle; the radius is kept within half of either side.
Path roundedRectPath(const Rect& r, Float radius);

// Fills rect with a linear gradient from `from` at `start` to `to` at `end`, colours clamped.
void fillLinearGradient(GraphicsContext& ctx, const Rect& rect, const Color& from, const Color& to, Point start,
                        Point end);

}  // namespace kit
