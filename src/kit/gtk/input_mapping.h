// The desktop's input as kit's events: pure translations from GDK's key values, modifier masks,
// scroll deltas and touch sequences, kept apart from the widgets so that they can be tested
// without a display.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "kit/core/geometry.h"
#include "kit/ui/event.h"

namespace kit::gtk {

// The key that stands for shaking the device.
inline constexpr const char* kShakeKeyName = "F6";
bool isShakeKey(unsigned keyval);

// Shift, Control, Alt and Super of a GDK modifier mask as kit's modifier bits.
unsigned modifiersFor(unsigned gdkState);
// A key press as kit's key; nullopt for keys kit is not told of (a modifier alone). Keys that are
// not listed in kit::Key carry the lower-case character they type, as a shortcut reads it.
std::optional<KeyInput> keyInputFor(unsigned keyval, unsigned gdkState);

// Points one wheel step scrolls.
inline constexpr float kWheelStepPoints = 48;
// How far the view's content offset moves for scroll deltas: wheel steps (discrete, or smooth
// in wheel units) are scaled, touchpad deltas are surface pixels already.
Point scrollPoints(double dx, double dy, bool wheelUnits);
// Ctrl+wheel: the zoom factor for a vertical delta in wheel steps; scrolling up zooms in.
float wheelZoomFactor(double stepsY);

// The caret of a pre-edit string, given in characters, in UTF-16 units (kit's unit).
std::size_t utf16Offset(std::string_view utf8, std::size_t characters);

// Ids of the touches that are down: the mouse's primary button is one touch, each touchscreen
// sequence another; an id stays the same for all phases of its touch and is never that of
// another touch still down.
class TouchIds {
 public:
  static constexpr int kMouse = 1;
  // A new touch for the sequence (a touch-down; the mouse is the null sequence); a sequence
  // already down keeps its id.
  int begin(const void* sequence);
  // The id of a touch that is down, or nullopt (a sequence never begun, or cancelled).
  std::optional<int> find(const void* sequence) const;
  // The touch ended or was cancelled: later events of the sequence are not its.
  void end(const void* sequence);
  // Every touch down, for cancelling them all.
  const std::map<const void*, int>& down() const { return down_; }

 private:
  std::map<const void*, int> down_;
  int next_ = kMouse + 1;
};

}  // namespace kit::gtk
