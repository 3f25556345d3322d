// Image files of any size within their format's limits, drawn and encoded in horizontal strips:
// only a strip's pixels are ever in memory, and the file's bytes go to a sink as they are made.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>

#include "kit/core/geometry.h"
#include "kit/graphics/color.h"
#include "kit/graphics/context.h"
#include "kit/graphics/image_encoders.h"

namespace kit {

enum class ImageFileFormat { PNG, JPEG };

struct StripImage {
  ImageFileFormat format = ImageFileFormat::PNG;
  Size size;        // in points
  float scale = 1;  // pixels per point
  // PNG: keep an alpha channel (else RGB). JPEG: flatten translucent pixels onto white.
  bool alpha = true;
  float quality = 1;  // JPEG, 0..1
  // What each part starts as: this plain colour (a pattern is not used), or transparent.
  std::optional<Color> background;
  // The pixels of one strip; two strips are in memory at once, one drawn while the other is
  // encoded. A strip is at least one row and at most kMaxImageSide rows.
  std::size_t stripBytes = std::size_t(32) << 20;
};

// Draws a part of the image: the context's user space is the image's, in points, y down from
// its top left corner; its clip is `part` (in those points), which the drawing may use to leave
// out what lies elsewhere. The pieces come in order, top to bottom and, in a strip wider than a
// bitmap can be, left to right; each starts as the background.
using ImagePartDrawer = std::function<void(GraphicsContext& context, const Rect& part)>;

// The largest side, in pixels, that a format takes.
int maxImageFileSide(ImageFileFormat format);
// The most pixels a picture may have (16,384 squared), however large its side limits: past it a
// picture takes days to write, or fills a disk, with little more to see.
constexpr double kMaxImageFilePixels = 16384.0 * 16384.0;
// The image's size in pixels at a scale: the points times the scale, rounded up.
Size pixelSizeFor(Size size, float scale);
// The scale (at most `scale`) at which the image's pixel sides fit the format and its points
// area (unrounded) fits kMaxImageFilePixels; 0 when none does.
float fittingScale(ImageFileFormat format, Size size, float scale = 1);

// Draws the image part by part and writes the file to the sink. False when the size is empty or
// over the format's limit at this scale, or when memory, the encoder or the sink failed.
bool writeImageInStrips(const StripImage& image, const ImagePartDrawer& draw, const ByteSink& sink);

}  // namespace kit
