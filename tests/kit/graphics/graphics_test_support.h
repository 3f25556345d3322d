// Small helpers for the graphics tests: drawing into a fresh image and reading pixels back.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

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

}  // namespace kit::test
