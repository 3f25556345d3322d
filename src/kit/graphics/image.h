// Immutable bitmap images: decoding (PNG, JPEG, GIF, SVG), encoding (PNG, JPEG), resizing,
// rounded corners and the cache of named resource images.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kit/core/geometry.h"

namespace kit {

class Image;
using ImageRef = std::shared_ptr<const Image>;

// The largest image side in pixels; larger images are refused, never truncated.
inline constexpr int kMaxImageSide = 32767;

enum class InterpolationQuality { Default = 0, None = 1, Low = 2, High = 3, Medium = 4 };

// One pixel with straight (not premultiplied) components.
struct Pixel {
  std::uint8_t red = 0, green = 0, blue = 0, alpha = 0;
  friend bool operator==(const Pixel&, const Pixel&) = default;
};

class Image {
 public:
  // Takes a reference to an ARGB32 or RGB24 image surface; null when the surface is not a valid
  // image surface of that kind or a side exceeds kMaxImageSide. scale = pixels per point.
  static ImageRef fromSurface(cairo_surface_t* surface, float scale = 1);
  // PNG, JPEG or GIF (first frame), told apart by their signatures. Null for damaged or
  // unknown data.
  static ImageRef fromData(std::span<const std::uint8_t> bytes, float scale = 1);
  static ImageRef fromFile(const std::string& path, float scale = 1);
  // The size fromFile would give a PNG, JPEG or GIF file, read from its header (the IHDR chunk,
  // the frame header, the logical screen) without decoding the pixels; nullopt for what the
  // decoders refuse at their headers, and for SVG.
  static std::optional<Size> sizeOfFile(const std::string& path, float scale = 1);
  // An SVG document rendered at its intrinsic size times scale (pixels), with that scale.
  static ImageRef fromSvgData(std::span<const std::uint8_t> bytes, float scale = 1);
  // A transparent image of the given pixel size; null when a side is not 1..kMaxImageSide.
  static ImageRef blank(int pixelWidth, int pixelHeight, float scale = 1);

  ~Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  // In points: pixels divided by the scale.
  Size size() const;
  float scale() const { return scale_; }
  int pixelWidth() const;
  int pixelHeight() const;
  bool hasAlpha() const;
  // The pixel at (x, y) counted from the top left, or nullopt outside the image.
  std::optional<Pixel> pixelAt(int x, int y) const;

  // PNG bytes; nullopt when encoding fails.
  std::optional<std::vector<std::uint8_t>> pngData() const;
  // JPEG bytes at quality 0..1 (1.0 = the encoder's best, without chroma subsampling);
  // transparency is flattened onto white.
  std::optional<std::vector<std::uint8_t>> jpegData(float quality) const;

  // The image drawn into a new image of newSize points (at this image's scale); null when the
  // size rounds to nothing or exceeds the limit.
  ImageRef resized(Size newSize, InterpolationQuality quality = InterpolationQuality::High) const;
  // A copy with an alpha channel, clipped to a rounded rectangle inset by borderSize pixels with
  // corners of radius cornerSize pixels; the area outside is transparent.
  ImageRef roundedCorner(int cornerSize, int borderSize) const;

  // The backing ARGB32 surface: read it, never draw into it (images are shared across threads).
  cairo_surface_t* surface() const { return surface_; }

 private:
  Image(cairo_surface_t* surface, float scale) : surface_(surface), scale_(scale) {}
  cairo_surface_t* surface_;
  float scale_;
};

// The resource image called name: the file "name" in the resources folder, else "name.png",
// else the SVG of the same stem rendered at its own size. Cached for the process; safe from any
// thread. Null when no such image can be read.
ImageRef imageNamed(const std::string& name);
// Forgets every cached named image (tests that change the resources folder).
void clearNamedImageCache();

}  // namespace kit
