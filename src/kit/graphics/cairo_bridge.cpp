#include "kit/graphics/cairo_bridge.h"

#include <cmath>
#include <numbers>

namespace kit {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

bool finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// The arc's end angle after the same normalisation as Path: the end moves by whole turns onto
// the drawing side of the start, and more than one turn draws exactly one.
double arcEnd(double start, double end, bool clockwise) {
  double d = end - start;
  if (!clockwise) {
    if (d < 0) {
      double m = std::fmod(d, kTwoPi);
      d = m == 0 ? 0 : m + kTwoPi;
    }
    return start + std::fmin(d, kTwoPi);
  }
  if (d > 0) {
    double m = std::fmod(d, kTwoPi);
    d = m == 0 ? 0 : m - kTwoPi;
  }
  return start + std::fmax(d, -kTwoPi);
}

}  // namespace

void appendPath(cairo_t* cr, const Path& path) {
  for (const Path::Element& e : path.elements()) {
    switch (e.op) {
      case Path::Op::Move:
        if (finite(e.p[0])) cairo_move_to(cr, e.p[0].x, e.p[0].y);
        break;
      case Path::Op::Line:
        if (finite(e.p[0])) cairo_line_to(cr, e.p[0].x, e.p[0].y);
        break;
      case Path::Op::Quad: {
        if (!finite(e.p[0]) || !finite(e.p[1])) break;
        // Without a current point the control point starts the sub-path, as Cairo's own curve
        // call does.
        if (!cairo_has_current_point(cr)) cairo_move_to(cr, e.p[0].x, e.p[0].y);
        double x0, y0;
        cairo_get_current_point(cr, &x0, &y0);
        double qx = e.p[0].x, qy = e.p[0].y, x = e.p[1].x, y = e.p[1].y;
        cairo_curve_to(cr, x0 + 2.0 / 3.0 * (qx - x0), y0 + 2.0 / 3.0 * (qy - y0),
                       x + 2.0 / 3.0 * (qx - x), y + 2.0 / 3.0 * (qy - y), x, y);
        break;
      }
      case Path::Op::Cubic:
        if (finite(e.p[0]) && finite(e.p[1]) && finite(e.p[2]))
          cairo_curve_to(cr, e.p[0].x, e.p[0].y, e.p[1].x, e.p[1].y, e.p[2].x, e.p[2].y);
        break;
      case Path::Op::Arc: {
        double r = e.radius;
        if (!finite(e.p[0]) || !std::isfinite(r) || !std::isfinite(e.startAngle) ||
            !std::isfinite(e.endAngle))
          break;
        r = std::fabs(r);
        double end = arcEnd(e.startAngle, e.endAngle, e.clockwise);
        if (e.clockwise)
          cairo_arc_negative(cr, e.p[0].x, e.p[0].y, r, e.startAngle, end);
        else
          cairo_arc(cr, e.p[0].x, e.p[0].y, r, e.startAngle, end);
        break;
      }
      case Path::Op::Close:
        if (cairo_has_current_point(cr)) cairo_close_path(cr);
        break;
    }
  }
}

void appendRect(cairo_t* cr, const Rect& r) {
  if (r.isNull()) return;
  Rect s = r.standardized();
  if (!std::isfinite(s.origin.x) || !std::isfinite(s.origin.y) || !std::isfinite(s.size.width) ||
      !std::isfinite(s.size.height))
    return;
  cairo_rectangle(cr, s.origin.x, s.origin.y, s.size.width, s.size.height);
}

void appendEllipse(cairo_t* cr, const Rect& r) {
  if (r.isNull()) return;
  Rect s = r.standardized();
  if (!std::isfinite(s.origin.x) || !std::isfinite(s.origin.y) || !std::isfinite(s.size.width) ||
      !std::isfinite(s.size.height))
    return;
  if (s.size.width == 0 || s.size.height == 0) {
    // A degenerate ellipse is a line; a scale of zero would make the matrix singular.
    cairo_move_to(cr, s.origin.x, s.origin.y);
    cairo_line_to(cr, s.origin.x + s.size.width, s.origin.y + s.size.height);
    cairo_close_path(cr);
    return;
  }
  cairo_matrix_t saved;
  cairo_get_matrix(cr, &saved);
  cairo_translate(cr, s.midX(), s.midY());
  cairo_scale(cr, s.size.width / 2.0, s.size.height / 2.0);
  cairo_new_sub_path(cr);
  cairo_arc(cr, 0, 0, 1, 0, kTwoPi);
  cairo_close_path(cr);
  cairo_set_matrix(cr, &saved);
}

cairo_pattern_t* newInvisiblePattern() {
  static unsigned char clearPixel[4] = {0, 0, 0, 0};
  cairo_surface_t* px = cairo_image_surface_create_for_data(clearPixel, CAIRO_FORMAT_ARGB32, 1, 1, 4);
  cairo_pattern_t* p = cairo_pattern_create_for_surface(px);
  cairo_pattern_set_extend(p, CAIRO_EXTEND_REPEAT);
  cairo_surface_destroy(px);
  return p;
}

}  // namespace kit
