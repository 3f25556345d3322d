// Arbitrary bytes through the PNG, JPEG and GIF decoders (the signature picks one). A decoded
// image has a size within the limits, every pixel is readable, and it encodes again.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "kit/graphics/image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kit::ImageRef image = kit::Image::fromData(std::span<const std::uint8_t>(data, size));
  if (!image) return 0;
  const int w = image->pixelWidth(), h = image->pixelHeight();
  if (w < 1 || h < 1 || w > kit::kMaxImageSide || h > kit::kMaxImageSide) std::abort();
  if (!image->pixelAt(0, 0) || !image->pixelAt(w - 1, h - 1) || image->pixelAt(w, h)) std::abort();
  // Small images only: encoding a large one proves nothing more and takes long.
  if (std::int64_t{w} * h <= 4096) {
    auto png = image->pngData();
    if (!png) std::abort();
    kit::ImageRef again = kit::Image::fromData(*png);
    if (!again || again->pixelWidth() != w || again->pixelHeight() != h) std::abort();
    if (!image->jpegData(0.5f)) std::abort();
  }
  return 0;
}
