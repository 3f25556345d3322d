// Small helpers for the graphics tests: drawing into a fresh image and reading pixels back.
#pragma once

#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "kit/graphics/image.h"
#include "kit/graphics/image_context.h"

namespace kit::test {

// Draws into a transparent w x h image (scale 1 unless given) and returns the image.
inline ImageRef drawImage(int w, int h, const std::function<void(GraphicsContext&)>& draw, float scale = 1) {
  auto ic = ImageContext::create(Size(w, h), false, scale);
  if (!ic) return nullptr;
  draw(ic->context());
  return ic->image();
}

inline Pixel px(const ImageRef& img, int x, int y) {
  auto p = img->pixelAt(x, y);
  return p ? *p : Pixel{};
}

// Components within tolerance of the expected (r, g, b, a) bytes.
inline ::testing::AssertionResult near(Pixel p, int r, int g, int b, int a, int tol = 3) {
  if (std::abs(p.red - r) <= tol && std::abs(p.green - g) <= tol && std::abs(p.blue - b) <= tol &&
      std::abs(p.alpha - a) <= tol)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "pixel (" << int(p.red) << ", " << int(p.green) << ", "
                                       << int(p.blue) << ", " << int(p.alpha) << ") expected (" << r
                                       << ", " << g << ", " << b << ", " << a << ")";
}

// A PNG decoded by libpng itself, whatever its size (Image refuses sides over kMaxImageSide).
struct DecodedPng {
  int width = 0, height = 0;
  bool alpha = false;               // the file has an alpha channel
  std::vector<std::uint8_t> rgba;  // straight RGBA, row after row
  Pixel at(int x, int y) const {
    const std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
    return Pixel{p[0], p[1], p[2], p[3]};
  }
};

inline std::optional<DecodedPng> decodePng(std::span<const std::uint8_t> bytes) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return std::nullopt;
  DecodedPng out;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  image.format = PNG_FORMAT_RGBA;
  out.rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr)) {
    png_image_free(&image);
    return std::nullopt;
  }
  return out;
}

}  // namespace kit::test
