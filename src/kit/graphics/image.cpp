#include "kit/graphics/image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace kit {

namespace {

bool validSide(int n) { return n >= 1 && n <= kMaxImageSide; }

// Converts any image surface to ARGB32 or RGB24 by painting it (A8/A1/RGB16/RGB30 sources).
cairo_surface_t* toArgb(cairo_surface_t* src) {
  int w = cairo_image_surface_get_width(src), h = cairo_image_surface_get_height(src);
  cairo_surface_t* dst = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  if (cairo_surface_status(dst) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(dst);
    return nullptr;
  }
  cairo_t* cr = cairo_create(dst);
  cairo_set_source_surface(cr, src, 0, 0);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(dst);
  return dst;
}

}  // namespace

ImageRef Image::fromSurface(cairo_surface_t* surface, float scale) {
  if (!surface || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS ||
      cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE)
    return nullptr;
  if (!(scale > 0) || !std::isfinite(scale)) scale = 1;
  if (!validSide(cairo_image_surface_get_width(surface)) ||
      !validSide(cairo_image_surface_get_height(surface)))
    return nullptr;
  cairo_surface_flush(surface);
  cairo_format_t f = cairo_image_surface_get_format(surface);
  cairo_surface_t* own;
  if (f == CAIRO_FORMAT_ARGB32 || f == CAIRO_FORMAT_RGB24) {
    own = cairo_surface_reference(surface);
  } else {
    own = toArgb(surface);
    if (!own) return nullptr;
  }
  return ImageRef(new Image(own, scale));
}

ImageRef Image::blank(int pixelWidth, int pixelHeight, float scale) {
  if (!validSide(pixelWidth) || !validSide(pixelHeight)) return nullptr;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth, pixelHeight);
  ImageRef img = fromSurface(s, scale);
  cairo_surface_destroy(s);
  return img;
}

Image::~Image() { cairo_surface_destroy(surface_); }

int Image::pixelWidth() const { return cairo_image_surface_get_width(surface_); }
int Image::pixelHeight() const { return cairo_image_surface_get_height(surface_); }

Size Image::size() const {
  return Size(static_cast<Float>(pixelWidth() / scale_), static_cast<Float>(pixelHeight() / scale_));
}

bool Image::hasAlpha() const { return cairo_image_surface_get_format(surface_) == CAIRO_FORMAT_ARGB32; }

std::optional<Pixel> Image::pixelAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= pixelWidth() || y >= pixelHeight()) return std::nullopt;
  const unsigned char* data = cairo_image_surface_get_data(surface_);
  int stride = cairo_image_surface_get_stride(surface_);
  std::uint32_t v;
  std::memcpy(&v, data + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 4, 4);
  unsigned a = hasAlpha() ? (v >> 24) & 0xff : 255;
  unsigned r = (v >> 16) & 0xff, g = (v >> 8) & 0xff, b = v & 0xff;
  Pixel p;
  p.alpha = static_cast<std::uint8_t>(a);
  if (a == 0) return p;
  auto un = [a](unsigned c) { return static_cast<std::uint8_t>(std::min(255u, (c * 255 + a / 2) / a)); };
  p.red = un(r);
  p.green = un(g);
  p.blue = un(b);
  return p;
}

ImageRef Image::resized(Size newSize, InterpolationQuality quality) const {
  double pw = std::nearbyint(static_cast<double>(newSize.width) * scale_);
  double ph = std::nearbyint(static_cast<double>(newSize.height) * scale_);
  if (!(pw >= 1 && ph >= 1 && pw <= kMaxImageSide && ph <= kMaxImageSide)) return nullptr;
  int w = static_cast<int>(pw), h = static_cast<int>(ph);
  cairo_surface_t* dst = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  if (cairo_surface_status(dst) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(dst);
    return nullptr;
  }
  cairo_t* cr = cairo_create(dst);
  cairo_scale(cr, pw / pixelWidth(), ph / pixelHeight());
  cairo_set_source_surface(cr, surface_, 0, 0);
  cairo_pattern_t* pat = cairo_get_source(cr);
  // Padding keeps the edges opaque instead of fading into the transparent outside.
  cairo_pattern_set_extend(pat, CAIRO_EXTEND_PAD);
  cairo_filter_t filter = CAIRO_FILTER_GOOD;
  switch (quality) {
    case InterpolationQuality::None: filter = CAIRO_FILTER_NEAREST; break;
    case InterpolationQuality::Low: filter = CAIRO_FILTER_FAST; break;
    case InterpolationQuality::High: filter = CAIRO_FILTER_BEST; break;
    default: filter = CAIRO_FILTER_GOOD; break;
  }
  cairo_pattern_set_filter(pat, filter);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_destroy(cr);
  ImageRef img = fromSurface(dst, scale_);
  cairo_surface_destroy(dst);
  return img;
}

ImageRef Image::roundedCorner(int cornerSize, int borderSize) const {
  int w = pixelWidth(), h = pixelHeight();
  cairo_surface_t* dst = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  if (cairo_surface_status(dst) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(dst);
    return nullptr;
  }
  cairo_t* cr = cairo_create(dst);
  double b = std::max(0, borderSize);
  double x0 = b, y0 = b, x1 = w - b, y1 = h - b;
  if (x1 > x0 && y1 > y0) {
    double r = std::clamp(static_cast<double>(cornerSize), 0.0, std::min(x1 - x0, y1 - y0) / 2);
    constexpr double pi = std::numbers::pi;
    if (r > 0) {
      cairo_new_sub_path(cr);
      cairo_arc(cr, x1 - r, y0 + r, r, -pi / 2, 0);
      cairo_arc(cr, x1 - r, y1 - r, r, 0, pi / 2);
      cairo_arc(cr, x0 + r, y1 - r, r, pi / 2, pi);
      cairo_arc(cr, x0 + r, y0 + r, r, pi, 3 * pi / 2);
      cairo_close_path(cr);
    } else {
      cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
    }
    cairo_clip(cr);
    cairo_set_source_surface(cr, surface_, 0, 0);
    cairo_paint(cr);
  }
  cairo_destroy(cr);
  ImageRef img = fromSurface(dst, scale_);
  cairo_surface_destroy(dst);
  return img;
}

}  // namespace kit
