#include "kit/graphics/context.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "kit/graphics/cairo_bridge.h"
#include "kit/graphics/shadow_mask.h"

namespace kit {

namespace {

bool invertible(const cairo_matrix_t& m) {
  cairo_matrix_t copy = m;
  return cairo_matrix_invert(&copy) == CAIRO_STATUS_SUCCESS;
}

cairo_matrix_t multiply(const cairo_matrix_t& first, const cairo_matrix_t& then) {
  cairo_matrix_t r;
  cairo_matrix_multiply(&r, &first, &then);
  return r;
}

// The device box of a user-space rectangle under m, grown to whole device units.
cairo_rectangle_int_t deviceBox(const cairo_matrix_t& m, double x1, double y1, double x2, double y2) {
  double xs[4] = {x1, x2, x1, x2}, ys[4] = {y1, y1, y2, y2};
  double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
  for (int i = 0; i < 4; ++i) {
    double x = xs[i], y = ys[i];
    cairo_matrix_transform_point(&m, &x, &y);
    minX = std::min(minX, x); maxX = std::max(maxX, x);
    minY = std::min(minY, y); maxY = std::max(maxY, y);
  }
  cairo_rectangle_int_t r{0, 0, 0, 0};
  if (!(std::isfinite(minX) && std::isfinite(minY) && std::isfinite(maxX) && std::isfinite(maxY))) return r;
  // Beyond what any surface holds: clamp so the integer box cannot overflow.
  constexpr double lim = 1 << 28;
  minX = std::clamp(std::floor(minX), -lim, lim); minY = std::clamp(std::floor(minY), -lim, lim);
  maxX = std::clamp(std::ceil(maxX), -lim, lim); maxY = std::clamp(std::ceil(maxY), -lim, lim);
  r.x = static_cast<int>(minX);
  r.y = static_cast<int>(minY);
  r.width = static_cast<int>(maxX - minX);
  r.height = static_cast<int>(maxY - minY);
  return r;
}

cairo_rectangle_int_t intersect(const cairo_rectangle_int_t& a, const cairo_rectangle_int_t& b) {
  int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
  int x1 = std::min(a.x + a.width, b.x + b.width), y1 = std::min(a.y + a.height, b.y + b.height);
  if (x1 <= x0 || y1 <= y0) return {0, 0, 0, 0};
  return {x0, y0, x1 - x0, y1 - y0};
}

// A pattern source that tiles the image from user-space origin.
cairo_pattern_t* patternFor(const Image& img) {
  cairo_pattern_t* p = cairo_pattern_create_for_surface(img.surface());
  cairo_pattern_set_extend(p, CAIRO_EXTEND_REPEAT);
  cairo_matrix_t m;
  cairo_matrix_init_scale(&m, img.scale(), img.scale());
  cairo_pattern_set_matrix(p, &m);
  return p;
}

thread_local std::vector<GraphicsContext*> tContextStack;

// The link as it goes into Cairo's `uri='...'` attribute. Cairo 1.16 copies the attribute's
// text into the PDF string "(...)" unescaped (later versions escape it themselves), so nothing
// may reach it that a PDF string treats specially: a backslash, and a parenthesis without its
// partner (paired ones are legal inside the string and keep the address exact). Those, blanks,
// controls, non-ASCII bytes and what is never part of a URI are percent-encoded, which a reader
// resolves to the same address; a quote is escaped for the attribute syntax.
std::string linkAttributeText(const std::string& url) {
  std::vector<bool> paired(url.size(), false);
  std::vector<std::size_t> open;
  for (std::size_t i = 0; i < url.size(); ++i) {
    if (url[i] == '(') {
      open.push_back(i);
    } else if (url[i] == ')' && !open.empty()) {
      paired[open.back()] = paired[i] = true;
      open.pop_back();
    }
  }
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(url.size());
  for (std::size_t i = 0; i < url.size(); ++i) {
    unsigned char ch = static_cast<unsigned char>(url[i]);
    bool encode = ch <= 0x20 || ch >= 0x7f || std::strchr("\\\"<>^`{|}", ch) != nullptr ||
                  ((ch == '(' || ch == ')') && !paired[i]);
    if (encode) {
      out += '%';
      out += hex[ch >> 4];
      out += hex[ch & 15];
    } else {
      if (ch == '\'') out += '\\';
      out += static_cast<char>(ch);
    }
  }
  return out;
}

}  // namespace

GraphicsContext::GraphicsContext(cairo_t* cr, Kind kind, const AffineTransform& baseToDevice)
    : cr_(cairo_reference(cr)), kind_(kind) {
  cairo_save(cr_);
  cairo_matrix_t current;
  cairo_get_matrix(cr_, &current);
  cairo_matrix_t b = toCairo(baseToDevice);
  base_ = multiply(b, current);
  if (!invertible(base_)) cairo_matrix_init_identity(&base_);
  State s;
  s.ctm = base_;
  states_.push_back(s);
  applyCtm();
}

GraphicsContext::~GraphicsContext() {
  while (states_.size() > 1) restoreGState();
  cairo_new_path(cr_);
  cairo_restore(cr_);
  cairo_destroy(cr_);
}

// ---- State ----

void GraphicsContext::saveGState() {
  cairo_save(cr_);
  states_.push_back(states_.back());
}

void GraphicsContext::restoreGState() {
  if (states_.size() <= 1) return;
  states_.pop_back();
  cairo_restore(cr_);
  applyCtm();
}

void GraphicsContext::applyCtm() {
  State& s = st();
  s.singular = !invertible(s.ctm);
  if (!s.singular) cairo_set_matrix(cr_, &s.ctm);
}

void GraphicsContext::setCtm(const cairo_matrix_t& m) {
  st().ctm = m;
  applyCtm();
}

// ---- Transform ----

void GraphicsContext::translateCTM(Float tx, Float ty) {
  cairo_matrix_t m = st().ctm;
  cairo_matrix_translate(&m, tx, ty);
  setCtm(m);
}

void GraphicsContext::scaleCTM(Float sx, Float sy) {
  cairo_matrix_t m = st().ctm;
  cairo_matrix_scale(&m, sx, sy);
  setCtm(m);
}

void GraphicsContext::rotateCTM(Float radians) {
  cairo_matrix_t m = st().ctm;
  cairo_matrix_rotate(&m, radians);
  setCtm(m);
}

void GraphicsContext::concatCTM(const AffineTransform& t) {
  cairo_matrix_t tm = toCairo(t);
  setCtm(multiply(tm, st().ctm));
}

AffineTransform GraphicsContext::getCTM() const {
  cairo_matrix_t inv = base_;
  cairo_matrix_invert(&inv);
  return fromCairo(multiply(st().ctm, inv));
}

AffineTransform GraphicsContext::userToDevice() const { return fromCairo(st().ctm); }

// ---- Colours, alpha, lines ----

void GraphicsContext::setFillColor(const Color& c) { st().fill = c; }
void GraphicsContext::setStrokeColor(const Color& c) { st().stroke = c; }

void GraphicsContext::setAlpha(float a) {
  st().alpha = std::isfinite(a) ? std::clamp(a, 0.0f, 1.0f) : 1.0f;
}

void GraphicsContext::setBlendMode(BlendMode m) { st().blend = m; }

cairo_operator_t GraphicsContext::op() const {
  switch (st().blend) {
    case BlendMode::Multiply: return CAIRO_OPERATOR_MULTIPLY;
    case BlendMode::Clear: return CAIRO_OPERATOR_CLEAR;
    case BlendMode::Copy: return CAIRO_OPERATOR_SOURCE;
    default: return CAIRO_OPERATOR_OVER;
  }
}

void GraphicsContext::setLineWidth(Float w) {
  if (std::isfinite(w) && w >= 0) cairo_set_line_width(cr_, w);
}

Float GraphicsContext::lineWidth() const { return static_cast<Float>(cairo_get_line_width(cr_)); }

void GraphicsContext::setLineCap(LineCap c) {
  cairo_set_line_cap(cr_, c == LineCap::Round    ? CAIRO_LINE_CAP_ROUND
                          : c == LineCap::Square ? CAIRO_LINE_CAP_SQUARE
                                                 : CAIRO_LINE_CAP_BUTT);
}

void GraphicsContext::setLineJoin(LineJoin j) {
  cairo_set_line_join(cr_, j == LineJoin::Round   ? CAIRO_LINE_JOIN_ROUND
                           : j == LineJoin::Bevel ? CAIRO_LINE_JOIN_BEVEL
                                                  : CAIRO_LINE_JOIN_MITER);
}

void GraphicsContext::setMiterLimit(Float limit) {
  if (std::isfinite(limit) && limit >= 1) cairo_set_miter_limit(cr_, limit);
}

void GraphicsContext::setLineDash(Float phase, const std::vector<Float>& lengths) {
  std::vector<double> d;
  double total = 0;
  for (Float f : lengths) {
    // Cairo puts the whole context into an error state for a negative or all-zero pattern.
    if (!std::isfinite(f) || f < 0) return;
    d.push_back(f);
    total += f;
  }
  if (d.empty() || total <= 0) {
    cairo_set_dash(cr_, nullptr, 0, 0);
    return;
  }
  cairo_set_dash(cr_, d.data(), static_cast<int>(d.size()), std::isfinite(phase) ? phase : 0);
}

void GraphicsContext::setShadow(Size offset, Float blur, std::optional<Color> color) {
  State& s = st();
  s.shadowOffset = Size(std::isfinite(offset.width) ? offset.width : 0,
                        std::isfinite(offset.height) ? offset.height : 0);
  s.shadowBlur = std::isfinite(blur) && blur > 0 ? blur : 0;
  if (color && !(color->alpha > 0)) color.reset();
  s.shadowColor = std::move(color);
}

void GraphicsContext::setShadow(Size offset, Float blur) {
  setShadow(offset, blur, Color::black(1.0f / 3.0f));
}

bool GraphicsContext::shadowOn() const {
  const State& s = st();
  return s.shadowColor && !s.singular && s.alpha > 0 && s.blend != BlendMode::Clear;
}

// ---- Path ----

void GraphicsContext::beginPath() { cairo_new_path(cr_); }

void GraphicsContext::addPath(const Path& p) {
  if (!st().singular) appendPath(cr_, p);
}

void GraphicsContext::addRect(const Rect& r) {
  if (!st().singular) appendRect(cr_, r);
}

void GraphicsContext::addEllipseInRect(const Rect& r) {
  if (!st().singular) appendEllipse(cr_, r);
}

void GraphicsContext::moveTo(Point p) {
  if (!st().singular && std::isfinite(p.x) && std::isfinite(p.y)) cairo_move_to(cr_, p.x, p.y);
}

void GraphicsContext::addLineTo(Point p) {
  if (!st().singular && std::isfinite(p.x) && std::isfinite(p.y)) cairo_line_to(cr_, p.x, p.y);
}

void GraphicsContext::closePath() {
  if (cairo_has_current_point(cr_)) cairo_close_path(cr_);
}

bool GraphicsContext::isPathEmpty() const {
  cairo_path_t* p = cairo_copy_path(cr_);
  bool empty = p->status != CAIRO_STATUS_SUCCESS || p->num_data == 0;
  cairo_path_destroy(p);
  return empty;
}

Rect GraphicsContext::pathBoundingBox() const {
  if (isPathEmpty() || st().singular) return Rect::null();
  double x1, y1, x2, y2;
  cairo_path_extents(cr_, &x1, &y1, &x2, &y2);
  return Rect(static_cast<Float>(x1), static_cast<Float>(y1), static_cast<Float>(x2 - x1),
              static_cast<Float>(y2 - y1));
}

void GraphicsContext::setSource(const Color& c, float extraAlpha) {
  if (c.isPattern()) {
    cairo_pattern_t* p = patternFor(*c.pattern);
    cairo_set_source(cr_, p);
    cairo_pattern_destroy(p);
  } else {
    cairo_set_source_rgba(cr_, c.red, c.green, c.blue, c.alpha * st().alpha * extraAlpha);
  }
}

void GraphicsContext::paintPath(const Color& c, bool stroke, bool evenOdd) {
  cairo_set_fill_rule(cr_, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
  cairo_set_operator(cr_, op());
  setSource(c);
  float a = c.alpha * st().alpha;
  if (c.isPattern() && a < 1) {
    // A pattern has no colour alpha: paint it through a group.
    cairo_push_group(cr_);
    if (stroke) cairo_stroke_preserve(cr_); else cairo_fill_preserve(cr_);
    cairo_pop_group_to_source(cr_);
    cairo_paint_with_alpha(cr_, a);
  } else if (stroke) {
    cairo_stroke_preserve(cr_);
  } else {
    cairo_fill_preserve(cr_);
  }
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
}

void GraphicsContext::shadowForPath(bool stroke, bool evenOdd, const Color& c) {
  const State& s = st();
  double x1, y1, x2, y2;
  if (stroke)
    cairo_stroke_extents(cr_, &x1, &y1, &x2, &y2);
  else
    cairo_fill_extents(cr_, &x1, &y1, &x2, &y2);
  if (!(x2 > x1 && y2 > y1)) return;
  cairo_rectangle_int_t box = deviceBox(s.ctm, x1, y1, x2, y2);

  // The shape in device coordinates, relative to its box: the cache key and the mask's input.
  cairo_identity_matrix(cr_);
  cairo_path_t* path = cairo_copy_path(cr_);
  cairo_set_matrix(cr_, &s.ctm);
  if (path->status != CAIRO_STATUS_SUCCESS) {
    cairo_path_destroy(path);
    return;
  }
  float alpha = c.isPattern() ? 1.0f : c.alpha;
  std::vector<double> key{stroke ? 1.0 : 0.0, evenOdd ? 1.0 : 0.0, alpha};
  if (stroke) {
    key.insert(key.end(), {cairo_get_line_width(cr_), static_cast<double>(cairo_get_line_cap(cr_)),
                           static_cast<double>(cairo_get_line_join(cr_)), cairo_get_miter_limit(cr_),
                           s.ctm.xx, s.ctm.yx, s.ctm.xy, s.ctm.yy});
    int n = cairo_get_dash_count(cr_);
    if (n > 0) {
      std::vector<double> dashes(static_cast<size_t>(n));
      double offset;
      cairo_get_dash(cr_, dashes.data(), &offset);
      key.push_back(offset);
      key.insert(key.end(), dashes.begin(), dashes.end());
    }
  }
  key.push_back(-1);  // the path follows
  for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
    const cairo_path_data_t& h = path->data[i];
    key.push_back(h.header.type);
    for (int j = 1; j < h.header.length; ++j) {
      key.push_back(path->data[i + j].point.x - box.x);
      key.push_back(path->data[i + j].point.y - box.y);
    }
  }
  cairo_matrix_t linear = s.ctm;
  linear.x0 = linear.y0 = 0;
  double width = cairo_get_line_width(cr_), miter = cairo_get_miter_limit(cr_);
  cairo_line_cap_t cap = cairo_get_line_cap(cr_);
  cairo_line_join_t join = cairo_get_line_join(cr_);
  int dashCount = cairo_get_dash_count(cr_);
  std::vector<double> dashes(static_cast<size_t>(std::max(dashCount, 0)));
  double dashOffset = 0;
  if (dashCount > 0) cairo_get_dash(cr_, dashes.data(), &dashOffset);
  auto draw = [&](cairo_t* m) {
    cairo_translate(m, -box.x, -box.y);
    cairo_append_path(m, path);
    cairo_set_source_rgba(m, 0, 0, 0, alpha);
    if (stroke) {
      cairo_transform(m, &linear);
      cairo_set_line_width(m, width);
      cairo_set_line_cap(m, cap);
      cairo_set_line_join(m, join);
      cairo_set_miter_limit(m, miter);
      if (dashCount > 0) cairo_set_dash(m, dashes.data(), dashCount, dashOffset);
      cairo_stroke(m);
    } else {
      cairo_set_fill_rule(m, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
      cairo_fill(m);
    }
  };
  drawShadow(box, draw, &key);
  cairo_path_destroy(path);
}

void GraphicsContext::drawShadow(const cairo_rectangle_int_t& shapeBox,
                                 const std::function<void(cairo_t*)>& drawMask,
                                 const std::vector<double>* cacheKey) {
  const State& s = st();
  if (shapeBox.width <= 0 || shapeBox.height <= 0) return;
  // Offset and blur live in base space.
  double dx = base_.xx * s.shadowOffset.width + base_.xy * s.shadowOffset.height;
  double dy = base_.yx * s.shadowOffset.width + base_.yy * s.shadowOffset.height;
  double baseScale = std::sqrt(std::fabs(base_.xx * base_.yy - base_.xy * base_.yx));
  double blur = s.shadowBlur * baseScale;

  // Nothing beyond the clip can show: a huge shape on a small tile needs only a small mask.
  double cx1, cy1, cx2, cy2;
  cairo_clip_extents(cr_, &cx1, &cy1, &cx2, &cy2);
  cairo_rectangle_int_t clip = deviceBox(s.ctm, cx1, cy1, cx2, cy2);
  int margin = static_cast<int>(std::ceil(2 * blur + std::fabs(dx) + std::fabs(dy))) + 2;
  clip.x -= margin;
  clip.y -= margin;
  clip.width += 2 * margin;
  clip.height += 2 * margin;
  cairo_rectangle_int_t box = intersect(shapeBox, clip);
  if (box.width <= 0 || box.height <= 0) return;
  // A shape of modest size keeps its whole mask, made once and reused by every frame and tile
  // that shows it; only a large one is cut to what the clip can show.
  constexpr double kWholeMaskPixels = 512.0 * 512.0;
  if (static_cast<double>(shapeBox.width) * shapeBox.height <= kWholeMaskPixels) box = shapeBox;
  bool clipped = box.x != shapeBox.x || box.y != shapeBox.y || box.width != shapeBox.width ||
                 box.height != shapeBox.height;
  int ox = box.x - shapeBox.x, oy = box.y - shapeBox.y;
  auto draw = [&](cairo_t* m) {
    cairo_translate(m, -ox, -oy);
    drawMask(m);
  };
  // A large shape cut to the clip is kept under where the cut lies, so the same tile, or the
  // same view, drawn again reuses it.
  std::vector<double> key;
  if (cacheKey) {
    key = *cacheKey;
    if (clipped) key.insert(key.end(), {-2.0, double(ox), double(oy), double(box.width), double(box.height)});
  }
  shadow::MaskRef mask = shadow::blurredMask(box.width, box.height, blur, draw, cacheKey ? &key : nullptr);
  if (!mask) return;

  const Color& c = *s.shadowColor;
  cairo_save(cr_);
  cairo_identity_matrix(cr_);
  cairo_set_source_rgba(cr_, c.red, c.green, c.blue, c.alpha * s.alpha);
  cairo_set_operator(cr_, op());
  cairo_pattern_t* mp = cairo_pattern_create_for_surface(mask->surface);
  cairo_matrix_t mm;
  // Device point -> mask pixel.
  cairo_matrix_init_translate(&mm, mask->pad, mask->pad);
  cairo_matrix_scale(&mm, mask->scale, mask->scale);
  cairo_matrix_translate(&mm, -(box.x + dx), -(box.y + dy));
  cairo_pattern_set_matrix(mp, &mm);
  if (!isPdf()) {
    // Only over the ink, band by band, on whole device pixels with a pixel to spare for the
    // mask's filtering: a thin link across a tile then paints a thin band, not the tile.
    const double inv = 1.0 / mask->scale, ox = box.x + dx - mask->pad * inv, oy = box.y + dy - mask->pad * inv;
    // The caller's path, in device space, waits aside while the bands clip.
    cairo_path_t* kept = cairo_copy_path(cr_);
    cairo_new_path(cr_);
    bool any = false;
    for (std::size_t i = 0; i < mask->bandInk.size(); ++i) {
      const auto [first, last] = mask->bandInk[i];
      if (last < first) continue;
      const double y0 = static_cast<double>(i) * shadow::Mask::kBandRows;
      const double x1 = std::floor(ox + (first - 1) * inv) - 1, x2 = std::ceil(ox + (last + 2) * inv) + 1;
      const double y1 = std::floor(oy + (y0 - 1) * inv) - 1;
      const double y2 = std::ceil(oy + (y0 + shadow::Mask::kBandRows + 1) * inv) + 1;
      cairo_rectangle(cr_, x1, y1, x2 - x1, y2 - y1);
      any = true;
    }
    if (any) {
      cairo_clip(cr_);
      cairo_mask(cr_, mp);
    } else {
      cairo_new_path(cr_);
    }
    cairo_append_path(cr_, kept);
    cairo_path_destroy(kept);
  } else {
    cairo_mask(cr_, mp);
  }
  cairo_pattern_destroy(mp);
  cairo_restore(cr_);
}

void GraphicsContext::fillPath() { drawPath(PathDrawingMode::Fill); }
void GraphicsContext::eoFillPath() { drawPath(PathDrawingMode::EOFill); }
void GraphicsContext::strokePath() { drawPath(PathDrawingMode::Stroke); }

void GraphicsContext::drawPath(PathDrawingMode mode) {
  if (st().singular || st().alpha <= 0) {
    cairo_new_path(cr_);
    return;
  }
  bool fill = mode != PathDrawingMode::Stroke;
  bool stroke = mode == PathDrawingMode::Stroke || mode == PathDrawingMode::FillStroke ||
                mode == PathDrawingMode::EOFillStroke;
  bool evenOdd = mode == PathDrawingMode::EOFill || mode == PathDrawingMode::EOFillStroke;
  if (shadowOn()) {
    // One shadow per drawing call: a fill-and-stroke casts the fill's (the outline adds half a
    // line width, lost in the blur), so the two do not darken each other.
    if (fill)
      shadowForPath(false, evenOdd, st().fill);
    else
      shadowForPath(true, evenOdd, st().stroke);
  }
  if (fill) paintPath(st().fill, false, evenOdd);
  if (stroke) paintPath(st().stroke, true, evenOdd);
  cairo_new_path(cr_);
}

namespace {

// Keeps the caller's current path across an operation that builds its own.
class PathKeeper {
 public:
  explicit PathKeeper(cairo_t* cr) : cr_(cr) {
    if (cairo_has_current_point(cr_)) {
      cairo_matrix_t m;
      cairo_get_matrix(cr_, &m);
      cairo_identity_matrix(cr_);
      saved_ = cairo_copy_path(cr_);
      cairo_set_matrix(cr_, &m);
    }
    cairo_new_path(cr_);
  }
  ~PathKeeper() {
    cairo_new_path(cr_);
    if (saved_) {
      cairo_matrix_t m;
      cairo_get_matrix(cr_, &m);
      cairo_identity_matrix(cr_);
      cairo_append_path(cr_, saved_);
      cairo_set_matrix(cr_, &m);
      cairo_path_destroy(saved_);
    }
  }
  PathKeeper(const PathKeeper&) = delete;
  PathKeeper& operator=(const PathKeeper&) = delete;

 private:
  cairo_t* cr_;
  cairo_path_t* saved_ = nullptr;
};

}  // namespace

void GraphicsContext::fillRect(const Rect& r) {
  PathKeeper keep(cr_);
  addRect(r);
  drawPath(PathDrawingMode::Fill);
}

void GraphicsContext::strokeRect(const Rect& r) {
  PathKeeper keep(cr_);
  addRect(r);
  drawPath(PathDrawingMode::Stroke);
}

void GraphicsContext::clearRect(const Rect& r) {
  if (st().singular) return;
  PathKeeper keep(cr_);
  addRect(r);
  cairo_set_operator(cr_, CAIRO_OPERATOR_CLEAR);
  cairo_fill(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
}

void GraphicsContext::fillEllipseInRect(const Rect& r) {
  PathKeeper keep(cr_);
  addEllipseInRect(r);
  drawPath(PathDrawingMode::Fill);
}

void GraphicsContext::strokeEllipseInRect(const Rect& r) {
  PathKeeper keep(cr_);
  addEllipseInRect(r);
  drawPath(PathDrawingMode::Stroke);
}

void GraphicsContext::strokeLineSegments(const std::vector<Point>& pairs) {
  PathKeeper keep(cr_);
  for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
    moveTo(pairs[i]);
    addLineTo(pairs[i + 1]);
  }
  drawPath(PathDrawingMode::Stroke);
}

// ---- Clipping ----

void GraphicsContext::clip() {
  if (st().singular) {
    // Everything collapses to nothing under a singular transform: clip everything away.
    cairo_new_path(cr_);
    cairo_save(cr_);
    cairo_identity_matrix(cr_);
    cairo_rectangle(cr_, 0, 0, 0, 0);
    cairo_restore(cr_);
  }
  cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
  cairo_clip(cr_);
}

void GraphicsContext::eoClip() {
  cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_EVEN_ODD);
  cairo_clip(cr_);
  cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
}

void GraphicsContext::clipToRect(const Rect& r) {
  PathKeeper keep(cr_);
  Rect s = r.standardized();
  if (r.isNull() || st().singular) {
    cairo_save(cr_);
    cairo_identity_matrix(cr_);
    cairo_rectangle(cr_, 0, 0, 0, 0);
    cairo_restore(cr_);
  } else {
    addRect(s);
  }
  cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
  cairo_clip(cr_);
}

Rect GraphicsContext::clipBoundingBox() const {
  if (st().singular) return Rect::null();
  double x1, y1, x2, y2;
  cairo_clip_extents(cr_, &x1, &y1, &x2, &y2);
  if (!(x2 > x1 && y2 > y1)) return Rect::null();
  return Rect(static_cast<Float>(x1), static_cast<Float>(y1), static_cast<Float>(x2 - x1),
              static_cast<Float>(y2 - y1));
}

// ---- Images, gradients ----

void GraphicsContext::drawImage(const Image& image, const Rect& rect) {
  drawImage(image, rect, st().blend, 1);
}

void GraphicsContext::drawImage(const Image& image, const Rect& rect, BlendMode mode, float alpha) {
  if (rect.isEmpty() || st().singular) return;
  Rect r = rect.standardized();
  if (!std::isfinite(r.origin.x) || !std::isfinite(r.origin.y) || !std::isfinite(r.size.width) ||
      !std::isfinite(r.size.height))
    return;
  float a = (std::isfinite(alpha) ? std::clamp(alpha, 0.0f, 1.0f) : 1.0f) * st().alpha;
  if (a <= 0) return;
  double sx = r.size.width / image.pixelWidth(), sy = r.size.height / image.pixelHeight();
  auto paint = [&](cairo_t* c, bool forMask) {
    cairo_save(c);
    cairo_translate(c, r.origin.x, r.origin.y);
    cairo_scale(c, sx, sy);
    cairo_rectangle(c, 0, 0, image.pixelWidth(), image.pixelHeight());
    cairo_clip(c);
    cairo_set_source_surface(c, image.surface(), 0, 0);
    // Cairo 1.16 names a reused image twice in a PDF page's resources (a duplicate key that
    // checkers flag) unless it comes as a repeating pattern, which gets its own resources; the
    // clip shows exactly one tile.
    cairo_pattern_set_extend(cairo_get_source(c), isPdf() && !forMask ? CAIRO_EXTEND_REPEAT : CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(c), CAIRO_FILTER_GOOD);
    if (forMask) cairo_paint(c); else cairo_paint_with_alpha(c, a);
    cairo_restore(c);
  };
  PathKeeper keep(cr_);
  BlendMode saved = st().blend;
  st().blend = mode;
  if (shadowOn()) {
    cairo_rectangle_int_t box = deviceBox(st().ctm, r.minX(), r.minY(), r.maxX(), r.maxY());
    cairo_matrix_t ctm = st().ctm;
    drawShadow(box, [&](cairo_t* m) {
      cairo_translate(m, -box.x, -box.y);
      cairo_transform(m, &ctm);
      paint(m, true);
    }, nullptr);
  }
  cairo_set_operator(cr_, op());
  paint(cr_, false);
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
  st().blend = saved;
}

void GraphicsContext::drawLinearGradient(const std::vector<GradientStop>& stops, Point start, Point end,
                                         bool extendStart, bool extendEnd) {
  if (stops.empty() || st().singular || st().alpha <= 0) return;
  if (!std::isfinite(start.x) || !std::isfinite(start.y) || !std::isfinite(end.x) || !std::isfinite(end.y))
    return;
  std::vector<GradientStop> sorted = stops;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const GradientStop& a, const GradientStop& b) { return a.location < b.location; });
  cairo_pattern_t* p = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
  for (const GradientStop& s : sorted) {
    double loc = std::isfinite(s.location) ? std::clamp(s.location, 0.0f, 1.0f) : 0.0;
    cairo_pattern_add_color_stop_rgba(p, loc, s.color.red, s.color.green, s.color.blue, s.color.alpha);
  }
  PathKeeper keep(cr_);
  cairo_save(cr_);
  if (extendStart || extendEnd) {
    cairo_pattern_set_extend(p, CAIRO_EXTEND_PAD);
    if (extendStart != extendEnd) {
      // Only one side extends: clip away the half-plane beyond the other end point.
      double ax = end.x - start.x, ay = end.y - start.y;
      double len = std::hypot(ax, ay);
      if (len > 0) {
        ax /= len;
        ay /= len;
        // Large enough to cover the clip, small enough for Cairo's fixed-point coordinates.
        double cx1, cy1, cx2, cy2;
        cairo_clip_extents(cr_, &cx1, &cy1, &cx2, &cy2);
        double big = 2 * (std::fabs(cx1) + std::fabs(cy1) + std::fabs(cx2) + std::fabs(cy2) +
                          std::fabs(start.x) + std::fabs(start.y) + std::fabs(end.x) + std::fabs(end.y)) + 1;
        Point edge = extendEnd ? start : end;
        double dir = extendEnd ? 1 : -1;  // keep the side towards the extended end
        double px = -ay, py = ax;
        cairo_move_to(cr_, edge.x + px * big, edge.y + py * big);
        cairo_line_to(cr_, edge.x - px * big, edge.y - py * big);
        cairo_line_to(cr_, edge.x - px * big + dir * ax * big, edge.y - py * big + dir * ay * big);
        cairo_line_to(cr_, edge.x + px * big + dir * ax * big, edge.y + py * big + dir * ay * big);
        cairo_close_path(cr_);
        cairo_clip(cr_);
      }
    }
  } else {
    cairo_pattern_set_extend(p, CAIRO_EXTEND_NONE);
  }
  cairo_set_source(cr_, p);
  cairo_set_operator(cr_, op());
  cairo_paint_with_alpha(cr_, st().alpha);
  cairo_restore(cr_);
  cairo_pattern_destroy(p);
}

// ---- Text ----

void GraphicsContext::drawText(const Rect& userBounds, const std::function<void(cairo_t*)>& render) {
  if (st().singular || st().alpha <= 0) return;
  PathKeeper keep(cr_);
  if (shadowOn() && !userBounds.isEmpty()) {
    Rect b = userBounds.standardized();
    cairo_rectangle_int_t box = deviceBox(st().ctm, b.minX(), b.minY(), b.maxX(), b.maxY());
    cairo_matrix_t ctm = st().ctm;
    float a = st().fill.isPattern() ? 1.0f : st().fill.alpha;
    drawShadow(box, [&](cairo_t* m) {
      cairo_translate(m, -box.x, -box.y);
      cairo_transform(m, &ctm);
      cairo_set_source_rgba(m, 0, 0, 0, a);
      render(m);
    }, nullptr);
  }
  drawDirect(render);
}

void GraphicsContext::drawDirect(const std::function<void(cairo_t*)>& render) {
  if (st().singular || st().alpha <= 0) return;
  const Color& c = st().fill;
  float a = c.alpha * st().alpha;
  cairo_save(cr_);
  cairo_set_operator(cr_, op());
  setSource(c);
  if (c.isPattern() && a < 1) {
    cairo_push_group(cr_);
    setSource(c);
    render(cr_);
    cairo_pop_group_to_source(cr_);
    cairo_paint_with_alpha(cr_, a);
  } else {
    render(cr_);
  }
  cairo_restore(cr_);
}

// ---- PDF ----

void GraphicsContext::setURLForRect(const std::string& url, const Rect& rect) {
  if (kind_ != Kind::Pdf || url.empty() || rect.isEmpty() || st().singular) return;
  Rect r = rect.standardized();
  double xs[4] = {r.minX(), r.maxX(), r.minX(), r.maxX()}, ys[4] = {r.minY(), r.minY(), r.maxY(), r.maxY()};
  double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
  for (int i = 0; i < 4; ++i) {
    double x = xs[i], y = ys[i];
    cairo_matrix_transform_point(&st().ctm, &x, &y);
    x0 = std::min(x0, x); x1 = std::max(x1, x);
    y0 = std::min(y0, y); y1 = std::max(y1, y);
  }
  if (!(std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1))) return;
  std::string attrs = "uri='" + linkAttributeText(url) + "' rect=[";
  double vals[4] = {x0, y0, x1 - x0, y1 - y0};
  for (int i = 0; i < 4; ++i) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, vals[i], std::chars_format::fixed, 3);
    if (res.ec != std::errc()) return;
    if (i) attrs += ' ';
    attrs.append(buf, res.ptr);
  }
  attrs += "]";
  cairo_tag_begin(cr_, CAIRO_TAG_LINK, attrs.c_str());
  cairo_tag_end(cr_, CAIRO_TAG_LINK);
}

// ---- Current context stack ----

GraphicsContext* currentContext() { return tContextStack.empty() ? nullptr : tContextStack.back(); }
void pushContext(GraphicsContext* ctx) { tContextStack.push_back(ctx); }
void popContext() {
  if (!tContextStack.empty()) tContextStack.pop_back();
}

}  // namespace kit
