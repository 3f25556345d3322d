// Conversions between kit geometry and Cairo: matrices, rectangles and paths.
#pragma once

#include <cairo.h>

#include "kit/core/geometry.h"
#include "kit/graphics/path.h"

namespace kit {

inline cairo_matrix_t toCairo(const AffineTransform& t) {
  cairo_matrix_t m;
  cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
  return m;
}

inline AffineTransform fromCairo(const cairo_matrix_t& m) {
  return AffineTransform(static_cast<Float>(m.xx), static_cast<Float>(m.yx), static_cast<Float>(m.xy),
                         static_cast<Float>(m.yy), static_cast<Float>(m.x0), static_cast<Float>(m.y0));
}

// Appends the path's elements to cr's current path in user space. Elements with coordinates that
// are not finite are skipped, so bad geometry never puts the context into an error state.
void appendPath(cairo_t* cr, const Path& path);

// Appends a rectangle (standardised; nothing for the null rectangle).
void appendRect(cairo_t* cr, const Rect& r);

// Appends an ellipse inscribed in r, drawn in the direction of growing angles.
void appendEllipse(cairo_t* cr, const Rect& r);

// A new repeating pattern of one transparent pixel (caller destroys it). Painting with it shows
// nothing, yet Cairo, which skips a clear colour, takes it for real content.
cairo_pattern_t* newInvisiblePattern();

}  // namespace kit
