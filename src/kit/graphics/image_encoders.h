// PNG and JPEG encoders fed row by row with Cairo's pixels, writing to a byte sink as they go,
// so that an image never needs to be whole in memory, neither its pixels nor its file.
#pragma once

#include <cstddef>
#include <memory>

#include "kit/core/files.h"

namespace kit {

class RowEncoder {
 public:
  virtual ~RowEncoder() = default;
  // Rows of native-endian premultiplied ARGB32 words (xRGB when the encoder was made without
  // alpha), top to bottom, `stride` bytes apart. False once anything has failed.
  virtual bool writeRows(const unsigned char* data, std::size_t stride, int rows) = 0;
  // After the last row: false when the encoder failed or did not get every row.
  virtual bool finish() = 0;
};

// PNG with an alpha channel or, when alpha is false, RGB (the alpha byte is then ignored).
// Null when the size is outside 1..PNG_USER_WIDTH_MAX / PNG_USER_HEIGHT_MAX.
std::unique_ptr<RowEncoder> makePngEncoder(int width, int height, bool alpha, ByteSink sink);
// Baseline JPEG at quality 1..100, with full-resolution chroma; with alpha, premultiplied
// pixels are flattened onto white, without it the alpha byte is ignored. Null when a side is
// outside 1..JPEG_MAX_DIMENSION.
std::unique_ptr<RowEncoder> makeJpegEncoder(int width, int height, bool alpha, int quality, ByteSink sink);

// The largest side, in pixels, that each encoder takes.
int maxPngSide();
int maxJpegSide();

}  // namespace kit
