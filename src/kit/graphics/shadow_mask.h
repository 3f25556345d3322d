// Blurred alpha masks for drop shadows (Cairo has none), with a process-wide cache shared by the
// drawing threads.
#pragma once

#include <cairo.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace kit::shadow {

// An A8 mask and where its top-left pixel lies relative to the shape's device box, in mask
// pixels of size 1 / scale device units.
struct Mask {
  cairo_surface_t* surface = nullptr;
  int pad = 0;        // mask pixels added on every side for the blur
  double scale = 1;   // mask pixels per device unit (below 1 for very large shapes)
  // Per band of kBandRows mask rows, the first and last columns with ink (last < 0: none), so
  // that painting a mostly empty mask covers little more than its ink.
  static constexpr int kBandRows = 16;
  std::vector<std::pair<int, int>> bandInk;
  Mask() = default;
  Mask(const Mask&) = delete;
  Mask& operator=(const Mask&) = delete;
  ~Mask() { if (surface) cairo_surface_destroy(surface); }
};
using MaskRef = std::shared_ptr<const Mask>;

// The blurred mask of a shape whose device box is width x height. draw(cr) draws the shape's
// coverage into cr, whose matrix maps device units (relative to the box's top left) to mask
// pixels. With a key, equal keys share one mask. Null when the box is empty.
MaskRef blurredMask(int width, int height, double blurDevice, const std::function<void(cairo_t*)>& draw,
                    const std::vector<double>* key);

// Three box-blur passes of the given radius over an A8 surface (rows and columns).
void boxBlur(cairo_surface_t* a8, int radius);

// Cached masks and their bytes, and how many masks were ever blurred, for tests.
size_t cachedMaskCount();
size_t blurredMaskCount();
void clearMaskCache();

}  // namespace kit::shadow
