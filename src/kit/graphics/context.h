// A drawing context over a Cairo context: state, transforms, colours, paths, clipping, images,
// gradients, shadows and PDF links. User space has its y axis pointing down unless the caller
// flips it (PDF pages start y-up, as the platform's do).
#pragma once

#include <cairo.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kit/core/geometry.h"
#include "kit/graphics/color.h"
#include "kit/graphics/image.h"
#include "kit/graphics/path.h"

namespace kit {

enum class LineCap { Butt, Round, Square };
enum class LineJoin { Miter, Round, Bevel };
enum class BlendMode { Normal, Multiply, Clear, Copy };
// How drawPath paints the current path.
enum class PathDrawingMode { Fill, EOFill, Stroke, FillStroke, EOFillStroke };

struct GradientStop {
  float location = 0;  // 0..1 along the axis
  Color color;
};

class GraphicsContext {
 public:
  enum class Kind { Image, Pdf, Other };

  // Draws through cr (referenced, not owned beyond that). baseToDevice maps the context's base
  // space (where shadow offsets and getCTM's results live) to Cairo's device space; user space
  // starts equal to the base space.
  GraphicsContext(cairo_t* cr, Kind kind = Kind::Other,
                  const AffineTransform& baseToDevice = AffineTransform::identity());
  ~GraphicsContext();
  GraphicsContext(const GraphicsContext&) = delete;
  GraphicsContext& operator=(const GraphicsContext&) = delete;

  Kind kind() const { return kind_; }
  bool isPdf() const { return kind_ == Kind::Pdf; }
  // The Cairo context, for text drawing and other direct use. Its matrix is the current CTM
  // (composed with the base), its source unspecified.
  cairo_t* cairo() const { return cr_; }

  // ---- State ----
  void saveGState();
  // Unbalanced restores are ignored.
  void restoreGState();

  // ---- Transform (user space to base space) ----
  void translateCTM(Float tx, Float ty);
  void scaleCTM(Float sx, Float sy);
  void rotateCTM(Float radians);
  void concatCTM(const AffineTransform& t);
  AffineTransform getCTM() const;
  // User space to Cairo device space (pixels of an image, points of a PDF page).
  AffineTransform userToDevice() const;

  // ---- Colours, alpha, lines ----
  void setFillColor(const Color& c);
  void setStrokeColor(const Color& c);
  const Color& fillColor() const { return st().fill; }
  const Color& strokeColor() const { return st().stroke; }
  // Multiplies everything drawn afterwards (fills, strokes, images, text, shadows).
  void setAlpha(float a);
  float alpha() const { return st().alpha; }
  void setBlendMode(BlendMode m);
  void setLineWidth(Float w);
  Float lineWidth() const;
  void setLineCap(LineCap c);
  void setLineJoin(LineJoin j);
  void setMiterLimit(Float limit);
  // An empty pattern ends dashing.
  void setLineDash(Float phase, const std::vector<Float>& lengths);
  // Blurred drop shadow under everything drawn afterwards. offset and blur are in base space
  // (unaffected by the CTM); a colour with zero alpha, or nullopt, switches the shadow off.
  void setShadow(Size offset, Float blur, std::optional<Color> color);
  // The platform's default shadow colour: black at one third alpha.
  void setShadow(Size offset, Float blur);

  // ---- Path ----
  void beginPath();
  void addPath(const Path& p);
  void addRect(const Rect& r);
  void addEllipseInRect(const Rect& r);
  void moveTo(Point p);
  void addLineTo(Point p);
  void closePath();
  bool isPathEmpty() const;
  // Bounding box of the current path in user space; null when empty.
  Rect pathBoundingBox() const;
  // Each of these consumes the current path.
  void fillPath();
  void eoFillPath();
  void strokePath();
  void drawPath(PathDrawingMode mode);

  void fillRect(const Rect& r);
  void strokeRect(const Rect& r);
  // Makes the rectangle transparent (or paper white on an opaque context), ignoring alpha.
  void clearRect(const Rect& r);
  void fillEllipseInRect(const Rect& r);
  void strokeEllipseInRect(const Rect& r);
  void strokeLineSegments(const std::vector<Point>& pairs);

  // ---- Clipping ----
  // Intersects the clip with the current path (consumed).
  void clip();
  void eoClip();
  void clipToRect(const Rect& r);
  // The clip's bounding box in user space.
  Rect clipBoundingBox() const;

  // ---- Images, gradients ----
  // The image fills rect upright in a y-down user space, at the context's alpha.
  void drawImage(const Image& image, const Rect& rect);
  void drawImage(const Image& image, const Rect& rect, BlendMode mode, float alpha);
  // Paints the clip area with the gradient along start -> end; nothing beyond the end points
  // unless asked.
  void drawLinearGradient(const std::vector<GradientStop>& stops, Point start, Point end,
                          bool extendStart = false, bool extendEnd = false);

  // ---- Text (used by kit/typography) ----
  // Runs render(cr) with the fill colour as source and the CTM set, after drawing the shadow of
  // what it draws. userBounds bounds the ink in user space (it sizes the shadow).
  void drawText(const Rect& userBounds, const std::function<void(cairo_t*)>& render);
  // Runs render(cr) with the fill colour as source (alpha applied) and no shadow.
  void drawDirect(const std::function<void(cairo_t*)>& render);

  // ---- PDF ----
  // A link annotation to url over rect, given in user space and mapped through the CTM. Ignored
  // on contexts that are not PDF pages.
  void setURLForRect(const std::string& url, const Rect& rect);

 private:
  struct State {
    Color fill = Color::black();
    Color stroke = Color::black();
    float alpha = 1;
    BlendMode blend = BlendMode::Normal;
    cairo_matrix_t ctm;  // user to device, kept here because Cairo refuses singular matrices
    bool singular = false;
    Size shadowOffset;
    Float shadowBlur = 0;
    std::optional<Color> shadowColor;
  };
  State& st() { return states_.back(); }
  const State& st() const { return states_.back(); }
  void applyCtm();
  void setCtm(const cairo_matrix_t& m);
  bool shadowOn() const;
  void setSource(const Color& c, float extraAlpha = 1);
  cairo_operator_t op() const;
  // Paints the current path (kept) with colour c; fill or stroke.
  void paintPath(const Color& c, bool stroke, bool evenOdd);
  void shadowForPath(bool stroke, bool evenOdd, const Color& c);
  void drawShadow(const cairo_rectangle_int_t& deviceBox, const std::function<void(cairo_t*)>& drawMask,
                  const std::vector<double>* cacheKey);

  cairo_t* cr_;
  Kind kind_;
  cairo_matrix_t base_;
  std::vector<State> states_;
};

// The per-thread stack of current contexts: views draw into the top one.
GraphicsContext* currentContext();
void pushContext(GraphicsContext* ctx);
void popContext();

// Pushes a context for the scope.
class CurrentContextScope {
 public:
  explicit CurrentContextScope(GraphicsContext* ctx) { pushContext(ctx); }
  ~CurrentContextScope() { popContext(); }
  CurrentContextScope(const CurrentContextScope&) = delete;
  CurrentContextScope& operator=(const CurrentContextScope&) = delete;
};

}  // namespace kit
