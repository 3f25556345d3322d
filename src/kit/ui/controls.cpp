#include "kit/ui/controls.h"

#include <algorithm>
#include <cmath>

#include "kit/graphics/context.h"
#include "kit/graphics/path.h"

namespace kit {

namespace {
float unit(float v) { return std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, 1.0f); }

}  // namespace

Path roundedRectPath(const Rect& r, Float radius) {
  Path p;
  radius = std::min({radius, r.size.width / 2, r.size.height / 2});
  const Float x0 = r.minX(), y0 = r.minY(), x1 = r.maxX(), y1 = r.maxY();
  p.moveTo(Point(x0 + radius, y0));
  p.addArc(Point(x1 - radius, y0 + radius), radius, -M_PI / 2, 0, false);
  p.addArc(Point(x1 - radius, y1 - radius), radius, 0, M_PI / 2, false);
  p.addArc(Point(x0 + radius, y1 - radius), radius, M_PI / 2, M_PI, false);
  p.addArc(Point(x0 + radius, y0 + radius), radius, M_PI, 3 * M_PI / 2, false);
  p.closePath();
  return p;
}

namespace {

// Text centred both ways in rect, on one line.
void drawCentred(GraphicsContext& ctx, const std::string& text, const Rect& rect, const Font& font) {
  const Size s = sizeWithFont(text, font);
  drawInRect(ctx, text, Rect(rect.minX(), rect.midY() - s.height / 2, rect.size.width, s.height), font,
             LineBreakMode::TailTruncation, TextAlignment::Center);
}
}  // namespace

namespace {
std::string& versionSlot() {
  static std::string version = "5.0";
  return version;
}
}  // namespace
const std::string& systemVersion() { return versionSlot(); }
void setSystemVersion(std::string version) { versionSlot() = std::move(version); }

Color clampedColor(const Color& c) { return Color(unit(c.red), unit(c.green), unit(c.blue), unit(c.alpha)); }

void fillLinearGradient(GraphicsContext& ctx, const Rect& rect, const Color& from, const Color& to, Point start,
                        Point end) {
  ctx.saveGState();
  ctx.clipToRect(rect);
  ctx.drawLinearGradient({{0, clampedColor(from)}, {1, clampedColor(to)}}, start, end, true, true);
  ctx.restoreGState();
}

// ---- Label ----------------------------------------------------------------------------------------

Label::Label(const Rect& frame) : View(frame), font_(Font::systemFont(17)) { setOpaque(false); }

Font Label::fittedFont() const {
  if (!adjusts_ || text_.empty()) return font_;
  Font f = font_;
  const Float width = bounds().size.width;
  while (f.pointSize() > minimumFontSize_ && sizeWithFont(text_, f).width > width)
    f = f.withSize(std::max<Float>(minimumFontSize_, f.pointSize() - 1));
  return f;
}

void Label::drawRect(GraphicsContext& ctx, const Rect&) {
  if (text_.empty()) return;
  const Font f = fittedFont();
  const Rect b = bounds();
  const Size s = sizeWithFont(text_, f);
  ctx.setFillColor(textColor_);
  drawInRect(ctx, text_, Rect(b.minX(), b.midY() - s.height / 2, b.size.width, s.height), f,
             LineBreakMode::TailTruncation, alignment_);
}

// ---- ImageView ------------------------------------------------------------------------------------

void ImageView::drawRect(GraphicsContext& ctx, const Rect&) {
  if (!image_) return;
  const Rect b = bounds();
  const Size s = image_->size();
  if (s.width <= 0 || s.height <= 0) return;
  const Float k = std::min<Float>({1, b.size.width / s.width, b.size.height / s.height});
  const Size d(s.width * k, s.height * k);
  ctx.drawImage(*image_, Rect(b.midX() - d.width / 2, b.midY() - d.height / 2, d.width, d.height));
}

// ---- SegmentedControl -----------------------------------------------------------------------------

SegmentedControl::SegmentedControl(std::vector<std::string> titles, const Rect& frame)
    : Control(frame), titles_(std::move(titles)) {
  setOpaque(false);
}

const std::string& SegmentedControl::titleForSegment(int i) const {
  static const std::string kNone;
  return i >= 0 && i < numberOfSegments() ? titles_[static_cast<std::size_t>(i)] : kNone;
}

void SegmentedControl::setSelectedSegmentIndex(int index) {
  selected_ = index >= 0 && index < numberOfSegments() ? index : kNoSegment;
  setNeedsDisplay();
}

int SegmentedControl::segmentAt(Point p) const {
  const Rect b = bounds();
  if (titles_.empty() || !pointInside(p) || b.size.width <= 0) return kNoSegment;
  const int i = static_cast<int>((p.x - b.minX()) / (b.size.width / numberOfSegments()));
  return std::clamp(i, 0, numberOfSegments() - 1);
}

void SegmentedControl::endTracking(Point p) {
  const int hit = segmentAt(p);
  Control::endTracking(p);
  if (hit == kNoSegment || hit == selected_) return;
  // Not through the setter: a subclass that reports selections made in code would report twice.
  selected_ = hit;
  setNeedsDisplay();
  sendActionsForControlEvents(ControlEventValueChanged);
}

void SegmentedControl::drawRect(GraphicsContext& ctx, const Rect&) {
  const Rect b = bounds().insetBy(0.5f, 0.5f);
  const int n = numberOfSegments();
  const Path outline = roundedRectPath(b, 7);
  ctx.saveGState();
  ctx.beginPath();
  ctx.addPath(outline);
  ctx.clip();
  fillLinearGradient(ctx, b, Color::white(), Color::gray(0.86f), Point(0, b.minY()), Point(0, b.maxY()));
  const Float w = n > 0 ? b.size.width / n : 0;
  if (selected_ != kNoSegment) {
    const Rect s(b.minX() + w * selected_, b.minY(), w, b.size.height);
    const Color t = clampedColor(tint_);
    fillLinearGradient(ctx, s, Color(t.red * 1.25f, t.green * 1.25f, t.blue * 1.25f), t, Point(0, b.minY()),
                       Point(0, b.maxY()));
  }
  ctx.restoreGState();
  ctx.setStrokeColor(Color::gray(0.55f));
  ctx.setLineWidth(1);
  ctx.beginPath();
  ctx.addPath(outline);
  ctx.strokePath();
  for (int i = 1; i < n; ++i) ctx.strokeLineSegments({Point(b.minX() + w * i, b.minY()), Point(b.minX() + w * i, b.maxY())});
  const Font font = Font::boldSystemFont(13);
  for (int i = 0; i < n; ++i) {
    ctx.setFillColor(i == selected_ ? Color::white() : Color::gray(0.3f));
    drawCentred(ctx, titles_[static_cast<std::size_t>(i)], Rect(b.minX() + w * i + 4, b.minY(), w - 8, b.size.height),
                font);
  }
}

// ---- Slider ---------------------------------------------------------------------------------------

Slider::Slider(const Rect& frame) : Control(frame) { setOpaque(false); }

void Slider::setValue(float v) {
  if (std::isnan(v)) return;
  value_ = std::clamp(v, min_, max_);
  setNeedsDisplay();
}

void Slider::setRange(float minimum, float maximum) {
  if (std::isnan(minimum) || std::isnan(maximum) || maximum < minimum) return;
  min_ = minimum;
  max_ = maximum;
  setValue(value_);
}

static constexpr Float kThumb = 23;

void Slider::trackTo(Point p) {
  const Rect b = bounds();
  const Float track = b.size.width - kThumb;
  if (track <= 0) return;
  const float before = value_;
  setValue(min_ + (max_ - min_) * static_cast<float>((p.x - b.minX() - kThumb / 2) / track));
  if (value_ != before) sendActionsForControlEvents(ControlEventValueChanged);
}

void Slider::beginTracking(Point p, int tapCount) {
  Control::beginTracking(p, tapCount);
  trackTo(p);
}

void Slider::continueTracking(Point p) {
  Control::continueTracking(p);
  trackTo(p);
}

void Slider::drawRect(GraphicsContext& ctx, const Rect&) {
  const Rect b = bounds();
  const Float track = std::max<Float>(0, b.size.width - kThumb);
  const Float f = max_ > min_ ? (value_ - min_) / (max_ - min_) : 0;
  const Float x = b.minX() + kThumb / 2 + track * f;
  const Rect rail(b.minX() + kThumb / 2, b.midY() - 4.5f, track, 9);
  ctx.setFillColor(Color::gray(0.8f));
  ctx.beginPath();
  ctx.addPath(roundedRectPath(rail, 4.5f));
  ctx.fillPath();
  ctx.setFillColor(Color(0.2f, 0.45f, 0.9f));
  ctx.beginPath();
  ctx.addPath(roundedRectPath(Rect(rail.minX(), rail.minY(), x - rail.minX(), rail.size.height), 4.5f));
  ctx.fillPath();
  ctx.saveGState();
  ctx.setShadow(Size(0, 1), 2, Color::black(0.4f));
  ctx.setFillColor(Color::white());
  ctx.fillEllipseInRect(Rect(x - kThumb / 2, b.midY() - kThumb / 2, kThumb, kThumb));
  ctx.restoreGState();
  ctx.setStrokeColor(Color::gray(0.6f));
  ctx.strokeEllipseInRect(Rect(x - kThumb / 2, b.midY() - kThumb / 2, kThumb, kThumb));
}

// ---- TextField ------------------------------------------------------------------------------------

namespace {
std::string oneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\r', ' ');
  return text;
}
}  // namespace

TextField::TextField(const Rect& frame) : TextView(frame) {
  setScrollEnabled(false);
  setAutocapitalizationType(AutocapitalizationType::None);
}

void TextField::insertText(const std::string& text) { TextView::insertText(oneLine(text)); }
void TextField::paste(const std::string& text) { TextView::paste(oneLine(text)); }

void TextField::drawRect(GraphicsContext& ctx, const Rect& rect) {
  const Rect b = bounds();
  if (border_ == BorderStyle::RoundedRect) {
    ctx.setFillColor(Color::white());
    ctx.beginPath();
    ctx.addPath(roundedRectPath(b.insetBy(0.5f, 0.5f), 6));
    ctx.fillPath();
    ctx.setStrokeColor(Color::gray(0.6f));
    ctx.beginPath();
    ctx.addPath(roundedRectPath(b.insetBy(0.5f, 0.5f), 6));
    ctx.strokePath();
  }
  if (text().empty() && !hasMarkedText() && !placeholder_.empty()) {
    ctx.setFillColor(Color::gray(0.7f));
    drawInRect(ctx, placeholder_, b.insetBy(kInset, kInset), font(), LineBreakMode::TailTruncation, textAlignment());
    return;
  }
  TextView::drawRect(ctx, rect);
}

}  // namespace kit
