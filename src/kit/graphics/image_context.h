// Bitmap drawing: a context over a fresh image whose pixels become an Image.
#pragma once

#include <memory>

#include "kit/core/geometry.h"
#include "kit/graphics/context.h"
#include "kit/graphics/image.h"

namespace kit {

class ImageContext {
 public:
  // A transparent (or, when opaque, black) bitmap of size x scale pixels, rounded up, with a
  // y-down user space in points. Null when a side would be below 1 or above kMaxImageSide
  // pixels, or the memory cannot be had.
  static std::unique_ptr<ImageContext> create(Size size, bool opaque = false, float scale = 1);
  ~ImageContext();
  ImageContext(const ImageContext&) = delete;
  ImageContext& operator=(const ImageContext&) = delete;

  GraphicsContext& context() { return *ctx_; }
  // A copy of the pixels drawn so far; later drawing does not change it. Null when Cairo has
  // failed (for example out of memory).
  ImageRef image() const;
  // The pixels drawn, handed over without a copy: the context is finished and context() must not
  // be used again. Null when Cairo has failed or the image was already taken.
  ImageRef takeImage();
  Size size() const { return size_; }

 private:
  ImageContext() = default;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  std::unique_ptr<GraphicsContext> ctx_;
  Size size_;
  float scale_ = 1;
};

// The platform's begin/get/end calls over a per-thread stack; begin pushes the new context as
// the current one. begin returns false (and pushes nothing) when the context cannot be made.
bool beginImageContext(Size size, bool opaque = false, float scale = 1);
// Null when the current context is not an image context opened by beginImageContext.
ImageRef imageFromCurrentImageContext();
void endImageContext();

}  // namespace kit
