// The progress bar and the busy spinner. Headless they keep their state and draw a plain
// likeness; their sizes are fixed: the bar 150 x 9, the large spinner 37 x 37.
#pragma once

#include "kit/ui/view.h"

namespace kit {

class ProgressView : public View {
 public:
  static constexpr float kWidth = 150, kHeight = 9;
  ProgressView();
  float progress() const { return progress_; }
  // Clamped to 0...1.
  void setProgress(float p);
  void drawRect(GraphicsContext& context, const Rect& rect) override;

 private:
  float progress_ = 0;
};

class ActivityIndicatorView : public View {
 public:
  static constexpr float kLargeSide = 37;
  // The large white style.
  ActivityIndicatorView();
  void startAnimating() { animating_ = true; setNeedsDisplay(); }
  void stopAnimating() { animating_ = false; setNeedsDisplay(); }
  bool isAnimating() const { return animating_; }
  void drawRect(GraphicsContext& context, const Rect& rect) override;

 private:
  bool animating_ = false;
};

}  // namespace kit
