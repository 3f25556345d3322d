#include "kit/graphics/image_strips.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <future>
#include <memory>
#include <new>
#include <system_error>

#include "kit/graphics/image.h"

namespace kit {

namespace {

double pixels(Float points, float scale) { return std::ceil(static_cast<double>(points) * scale - 1e-3); }

// Draws rows y0 .. y0 + rows of the image into buf (rows of `stride` bytes), one bitmap-sized
// column after another, each a Cairo surface over its part of the rows.
bool drawStrip(const StripImage& image, const ImagePartDrawer& draw, unsigned char* buf, int width,
               std::size_t stride, int y0, int rows) {
  for (int x0 = 0; x0 < width; x0 += kMaxImageSide) {
    const int columns = std::min(kMaxImageSide, width - x0);
    cairo_surface_t* s = cairo_image_surface_create_for_data(buf + static_cast<std::size_t>(x0) * 4,
                                                             CAIRO_FORMAT_ARGB32, columns, rows, static_cast<int>(stride));
    cairo_t* cr = cairo_create(s);
    // A solid paint of the whole surface: Cairo fills it as fast as memory is written.
    const Color none = Color::black(0);
    const Color& bg = image.background ? *image.background : none;
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, bg.red, bg.green, bg.blue, bg.alpha);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    {
      const float k = image.scale;
      GraphicsContext context(cr, GraphicsContext::Kind::Image,
                              AffineTransform(k, 0, 0, k, static_cast<Float>(-x0), static_cast<Float>(-y0)));
      const Rect part(static_cast<Float>(x0 / double(k)), static_cast<Float>(y0 / double(k)),
                      static_cast<Float>(columns / double(k)), static_cast<Float>(rows / double(k)));
      draw(context, part);
    }
    const bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    cairo_surface_flush(s);
    cairo_surface_destroy(s);
    if (!ok) return false;
  }
  return true;
}

}  // namespace

int maxImageFileSide(ImageFileFormat format) {
  return format == ImageFileFormat::PNG ? maxPngSide() : maxJpegSide();
}

Size pixelSizeFor(Size size, float scale) {
  return Size(static_cast<Float>(pixels(size.width, scale)), static_cast<Float>(pixels(size.height, scale)));
}

float fittingScale(ImageFileFormat format, Size size, float scale) {
  const double w = size.width, h = size.height, side = maxImageFileSide(format);
  if (!(w > 0 && h > 0 && scale > 0) || !std::isfinite(w) || !std::isfinite(h) || !std::isfinite(scale)) return 0;
  float s = static_cast<float>(std::min({double(scale), side / w, side / h, std::sqrt(kMaxImageFilePixels / w / h)}));
  auto fits = [&](float k) {
    return pixels(size.width, k) <= side && pixels(size.height, k) <= side && w * k * h * k <= kMaxImageFilePixels;
  };
  while (s > 0 && !fits(s)) s = std::nextafter(s, 0.0f);
  return s;
}

bool writeImageInStrips(const StripImage& image, const ImagePartDrawer& draw, const ByteSink& sink) {
  if (!(image.scale > 0) || !std::isfinite(image.scale)) return false;
  const double pw = pixels(image.size.width, image.scale), ph = pixels(image.size.height, image.scale);
  const double side = maxImageFileSide(image.format);
  if (!(pw >= 1 && ph >= 1 && pw <= side && ph <= side)) return false;
  const int width = static_cast<int>(pw), height = static_cast<int>(ph);

  std::unique_ptr<RowEncoder> encoder;
  if (image.format == ImageFileFormat::PNG) {
    encoder = makePngEncoder(width, height, image.alpha, sink);
  } else {
    const float q = std::isfinite(image.quality) ? std::clamp(image.quality, 0.0f, 1.0f) : 1.0f;
    encoder = makeJpegEncoder(width, height, true, static_cast<int>(std::nearbyint(q * 100)), sink);
  }
  if (!encoder) return false;

  const std::size_t stride = static_cast<std::size_t>(width) * 4;
  const int rowsPerStrip = static_cast<int>(
      std::clamp<std::size_t>(image.stripBytes / stride, 1, static_cast<std::size_t>(std::min(height, kMaxImageSide))));
  const bool several = rowsPerStrip < height;
  const std::size_t bytes = stride * static_cast<std::size_t>(rowsPerStrip);
  std::unique_ptr<unsigned char[]> buffers[2];
  for (int i = 0; i < (several ? 2 : 1); ++i) {
    buffers[i].reset(new (std::nothrow) unsigned char[bytes]);
    if (!buffers[i]) return false;
  }

  // The next strip is drawn while the one before is encoded; the encoder takes strips in order,
  // and a buffer is drawn into again only once its strip has been encoded.
  auto encode = [&encoder, stride](const unsigned char* buf, int rows) { return encoder->writeRows(buf, stride, rows); };
  std::future<bool> pending;
  bool ok = true;
  for (int y0 = 0, strip = 0; ok && y0 < height; y0 += rowsPerStrip, ++strip) {
    const int rows = std::min(rowsPerStrip, height - y0);
    unsigned char* buf = buffers[strip % 2].get();
    ok = drawStrip(image, draw, buf, width, stride, y0, rows);
    if (pending.valid()) ok = pending.get() && ok;
    if (!ok) break;
    if (!several) {
      ok = encode(buf, rows);
      break;
    }
    try {
      pending = std::async(std::launch::async, encode, buf, rows);
    } catch (const std::system_error&) {
      ok = encode(buf, rows);
    }
  }
  if (pending.valid()) ok = pending.get() && ok;
  return ok && encoder->finish();
}

}  // namespace kit
