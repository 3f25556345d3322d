// The on-screen keyboard as the views see it: shown while a text input is first responder, with a
// frame at the bottom of the window and a height the host decides, announced by notifications
// (object: the window; user info "frame": the end frame, "duration": the animation's seconds).
#pragma once

#include "kit/core/geometry.h"

namespace kit {

class Window;

inline constexpr const char* kKeyboardWillShow = "KeyboardWillShow";
inline constexpr const char* kKeyboardDidShow = "KeyboardDidShow";
inline constexpr const char* kKeyboardWillHide = "KeyboardWillHide";
inline constexpr const char* kKeyboardDidHide = "KeyboardDidHide";

class Keyboard {
 public:
  explicit Keyboard(Window& window) : window_(window) {}

  bool isVisible() const { return visible_; }
  // The height a host gives it; a desktop with a physical keyboard can set 0.
  float height() const { return height_; }
  void setHeight(float h) { height_ = h; }
  double animationDuration() const { return duration_; }
  void setAnimationDuration(double d) { duration_ = d; }
  // In window coordinates, along the window's bottom edge.
  Rect frame() const;

  void show();
  void hide();

 private:
  void post(const char* name);

  Window& window_;
  bool visible_ = false;
  float height_ = 216;
  double duration_ = 0.25;
};

}  // namespace kit
