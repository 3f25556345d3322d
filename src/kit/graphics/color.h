// A device RGB colour with alpha, components 0..1, or a repeating pattern image.
#pragma once

#include <memory>
#include <string>

namespace kit {

class Image;

struct Color {
  float red = 0, green = 0, blue = 0, alpha = 1;
  // When set, the colour paints by tiling this image (paper textures).
  std::shared_ptr<const Image> pattern;

  constexpr Color() = default;
  Color(float r, float g, float b, float a = 1) : red(r), green(g), blue(b), alpha(a) {}
  static Color white(float a = 1) { return Color(1, 1, 1, a); }
  static Color black(float a = 1) { return Color(0, 0, 0, a); }
  static Color clear() { return Color(0, 0, 0, 0); }
  static Color gray(float w, float a = 1) { return Color(w, w, w, a); }
  static Color patternImage(std::shared_ptr<const Image> image) {
    Color c(1, 1, 1, 1);
    c.pattern = std::move(image);
    return c;
  }
  Color withAlpha(float a) const {
    Color c = *this;
    c.alpha = a;
    return c;
  }
  bool isPattern() const { return pattern != nullptr; }
  friend bool operator==(const Color& a, const Color& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue && a.alpha == b.alpha &&
           a.pattern == b.pattern;
  }
};

}  // namespace kit
