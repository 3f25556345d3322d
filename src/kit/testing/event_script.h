// Scripted input for tests: touches, typing, pre-edit, keys and shakes go through kit::submit, the
// same door a desktop host uses, and the main run loop delivers them under the manual clock.
#pragma once

#include <string>
#include <vector>

#include "kit/core/clock.h"
#include "kit/ui/window.h"

namespace kit {

class EventScript {
 public:
  explicit EventScript(Window& window) : window_(window) {}

  // Lets time pass, running everything due meanwhile.
  void wait(double seconds);
  double now() const { return eventTime(); }

  void down(Point p, int id = 1) { send(TouchInput{id, TouchPhase::Began, p, {}}); }
  void move(Point p, int id = 1) { send(TouchInput{id, TouchPhase::Moved, p, {}}); }
  void up(Point p, int id = 1) { send(TouchInput{id, TouchPhase::Ended, p, {}}); }
  void cancel(Point p, int id = 1) { send(TouchInput{id, TouchPhase::Cancelled, p, {}}); }

  // A quick tap (0.05 s down).
  void tap(Point p, int id = 1);
  // Two quick taps 0.15 s apart.
  void doubleTap(Point p);
  // Down, held for `seconds`, then up.
  void press(Point p, double seconds);
  // Down at the first point, through the others in `seconds`, up at the last.
  void drag(const std::vector<Point>& path, double seconds);

  void type(const std::string& text) { send(TextInput{TextInput::Kind::Commit, text, 0, {}}); }
  void preedit(const std::string& text, std::size_t caret) { send(TextInput{TextInput::Kind::Preedit, text, caret, {}}); }
  void endPreedit() { send(TextInput{TextInput::Kind::PreeditEnd, {}, 0, {}}); }
  void key(Key k, unsigned modifiers = 0) { send(KeyInput{k, modifiers, {}, {}}); }
  void backspace() { key(Key::Backspace); }
  void shake() { send(MotionInput{}); }
  void scroll(Point p, float dx, float dy) { send(ScrollInput{p, dx, dy, {}}); }
  void magnify(Point p, float factor) { send(MagnifyInput{p, factor, {}}); }

  // Submits and delivers at once.
  void send(InputEvent e);

 private:
  Window& window_;
};

}  // namespace kit
