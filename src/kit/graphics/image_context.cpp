#include "kit/graphics/image_context.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace kit {

std::unique_ptr<ImageContext> ImageContext::create(Size size, bool opaque, float scale) {
  if (!(scale > 0) || !std::isfinite(scale)) return nullptr;
  double pw = std::ceil(static_cast<double>(size.width) * scale - 1e-3);
  double ph = std::ceil(static_cast<double>(size.height) * scale - 1e-3);
  if (!(pw >= 1 && ph >= 1 && pw <= kMaxImageSide && ph <= kMaxImageSide)) return nullptr;
  cairo_surface_t* s = cairo_image_surface_create(opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32,
                                                  static_cast<int>(pw), static_cast<int>(ph));
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  std::unique_ptr<ImageContext> ic(new ImageContext);
  ic->surface_ = s;
  ic->cr_ = cairo_create(s);
  ic->size_ = size;
  ic->scale_ = scale;
  ic->ctx_ = std::make_unique<GraphicsContext>(ic->cr_, GraphicsContext::Kind::Image,
                                               AffineTransform::scale(scale, scale));
  return ic;
}

ImageContext::~ImageContext() {
  ctx_.reset();
  if (cr_) cairo_destroy(cr_);
  cairo_surface_destroy(surface_);
}

ImageRef ImageContext::takeImage() {
  if (!cr_ || cairo_status(cr_) != CAIRO_STATUS_SUCCESS) return nullptr;
  ctx_.reset();
  cairo_destroy(cr_);
  cr_ = nullptr;
  return Image::fromSurface(surface_, scale_);
}

ImageRef ImageContext::image() const {
  if (!cr_ || cairo_status(cr_) != CAIRO_STATUS_SUCCESS) return nullptr;
  cairo_surface_flush(surface_);
  int w = cairo_image_surface_get_width(surface_), h = cairo_image_surface_get_height(surface_);
  cairo_surface_t* copy = cairo_image_surface_create(cairo_image_surface_get_format(surface_), w, h);
  if (cairo_surface_status(copy) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(copy);
    return nullptr;
  }
  cairo_surface_flush(copy);
  int ss = cairo_image_surface_get_stride(surface_), ds = cairo_image_surface_get_stride(copy);
  const unsigned char* src = cairo_image_surface_get_data(surface_);
  unsigned char* dst = cairo_image_surface_get_data(copy);
  for (int y = 0; y < h; ++y)
    std::memcpy(dst + static_cast<size_t>(y) * ds, src + static_cast<size_t>(y) * ss, static_cast<size_t>(w) * 4);
  cairo_surface_mark_dirty(copy);
  ImageRef img = Image::fromSurface(copy, scale_);
  cairo_surface_destroy(copy);
  return img;
}

namespace {
thread_local std::vector<std::unique_ptr<ImageContext>> tImageContexts;
}

bool beginImageContext(Size size, bool opaque, float scale) {
  auto ic = ImageContext::create(size, opaque, scale);
  if (!ic) return false;
  pushContext(&ic->context());
  tImageContexts.push_back(std::move(ic));
  return true;
}

ImageRef imageFromCurrentImageContext() {
  if (tImageContexts.empty() || currentContext() != &tImageContexts.back()->context()) return nullptr;
  return tImageContexts.back()->image();
}

void endImageContext() {
  if (tImageContexts.empty()) return;
  if (currentContext() == &tImageContexts.back()->context()) popContext();
  tImageContexts.pop_back();
}

}  // namespace kit
