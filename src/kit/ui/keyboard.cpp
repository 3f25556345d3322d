#include "kit/ui/keyboard.h"

#include "kit/core/notification_center.h"
#include "kit/ui/window.h"

namespace kit {

Rect Keyboard::frame() const {
  Rect w = window_.frame();
  return Rect(w.origin.x, w.maxY() - height_, w.size.width, height_);
}

void Keyboard::post(const char* name) {
  Dictionary info{{"frame", Value(frame())}, {"duration", Value(duration_)}};
  NotificationCenter::defaultCenter().post(name, &window_, Value(std::move(info)));
}

void Keyboard::show() {
  if (visible_) return;
  post(kKeyboardWillShow);
  visible_ = true;
  post(kKeyboardDidShow);
}

void Keyboard::hide() {
  if (!visible_) return;
  post(kKeyboardWillHide);
  visible_ = false;
  post(kKeyboardDidHide);
}

}  // namespace kit
