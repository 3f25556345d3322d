// Input from the outside world. A host (the desktop window, or a test's script) describes what
// happened as plain values and hands them to `submit`, the one door into kit: each event is
// stamped with the run loop's clock (unless it carries a time), queued, and delivered alone and in
// order on the main run loop, under its dispatch lock.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "kit/core/geometry.h"

namespace kit {

class Window;
class View;

enum class TouchPhase { Began, Moved, Stationary, Ended, Cancelled };

// One finger (or the primary pointer button). `id` ties the phases of one touch together.
struct TouchInput {
  int id = 0;
  TouchPhase phase = TouchPhase::Began;
  Point windowPoint;
  std::optional<double> time;
};

// A key that is not text: arrows, deletion, return, escape, function keys, shortcuts.
enum class Key { Other, Backspace, Delete, Return, Tab, Escape, Left, Right, Up, Down, Home, End };
enum KeyModifier : unsigned { kShift = 1, kControl = 2, kAlt = 4, kSuper = 8 };
struct KeyInput {
  Key key = Key::Other;
  unsigned modifiers = 0;
  // The character the key stands for when it is a shortcut (Ctrl+Z gives "z").
  std::string character;
  std::optional<double> time;
};

// Text from a keyboard or an input method: committed text, or the pre-edit (marked) text with
// its caret in UTF-16 units, or the end of the pre-edit without a commit.
struct TextInput {
  enum class Kind { Commit, Preedit, PreeditEnd } kind = Kind::Commit;
  std::string text;
  std::size_t caret = 0;
  std::optional<double> time;
};

// Wheel or touchpad scrolling, in points, over windowPoint.
struct ScrollInput {
  Point windowPoint;
  float dx = 0, dy = 0;
  std::optional<double> time;
};

// Pinch or Ctrl+wheel: the zoom multiplies by `factor` about windowPoint.
struct MagnifyInput {
  Point windowPoint;
  float factor = 1;
  std::optional<double> time;
};

enum class MotionType { Shake };
struct MotionInput {
  MotionType type = MotionType::Shake;
  std::optional<double> time;
};

using InputEvent = std::variant<TouchInput, KeyInput, TextInput, ScrollInput, MagnifyInput, MotionInput>;

// Queues the event for the window; safe from any thread. Events for a window that is gone by the
// time they are delivered are dropped.
void submit(Window& window, InputEvent event);

// The run loop's clock, the time base of every event.
double eventTime();

class Touch {
 public:
  int identifier() const { return id_; }
  TouchPhase phase() const { return phase_; }
  // The view hit at touch-down, kept for the touch's life (nullptr once that view has gone).
  View* view() const { return view_; }
  Window* window() const { return window_; }
  // In the coordinates of v; nullptr: the window's.
  Point locationInView(const View* v) const;
  Point previousLocationInView(const View* v) const;
  double timestamp() const { return timestamp_; }
  // 1 for a single tap, 2 for the second of a double tap; 0 once the touch has moved as a drag.
  int tapCount() const { return tapCount_; }

 private:
  friend class Window;
  int id_ = 0;
  TouchPhase phase_ = TouchPhase::Began;
  View* view_ = nullptr;
  Window* window_ = nullptr;
  Point location_, previous_, start_;
  double timestamp_ = 0;
  int tapCount_ = 1;
};

using TouchSet = std::vector<Touch*>;

// What a responder is told along with the touches: the time and every touch now down.
class Event {
 public:
  enum class Type { Touches, Motion };
  Type type() const { return type_; }
  double timestamp() const { return timestamp_; }
  const TouchSet& allTouches() const { return all_; }

 private:
  friend class Window;
  Type type_ = Type::Touches;
  double timestamp_ = 0;
  TouchSet all_;
};

}  // namespace kit
