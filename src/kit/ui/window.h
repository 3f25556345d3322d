// The root of a screen's views. The window delivers the events that `submit` queued: it hit-tests
// touches once, at touch-down, and sends every later phase to the same view; counts taps; lets a
// scroll view take a drag from its content; sends keys, text and motion to the first responder.
#pragma once

#include <functional>
#include <map>
#include <memory>

#include "kit/ui/event.h"
#include "kit/ui/view.h"

namespace kit {

class ScrollView;
class Keyboard;

class Window : public View {
 public:
  explicit Window(const Rect& frame);
  ~Window() override;

  bool isWindow() const override { return true; }

  Responder* firstResponder() const { return firstResponder_; }
  // Makes r the first responder after the current one resigns; false when it refuses.
  bool makeFirstResponder(Responder* r);
  // Called by a resigning responder.
  void clearFirstResponder(Responder* r);

  // While ignoring (nestable), touches that begin are dropped with all their later phases.
  void beginIgnoringInteractionEvents() { ++ignoring_; }
  void endIgnoringInteractionEvents() { if (ignoring_ > 0) --ignoring_; }
  bool isIgnoringInteractionEvents() const { return ignoring_ > 0; }

  // The simulated on-screen keyboard that text inputs show while they edit.
  Keyboard& keyboard() { return *keyboard_; }

  // Delivers one event now; `submit` calls it on the main run loop.
  void sendEvent(const InputEvent& event);

  // A view (or a branch) leaves this window: its touches are cancelled and it stops being first
  // responder, so that nothing later reaches it.
  void viewLeaving(View& view);

  // Multi-tap rule and tap hysteresis, in seconds and points. The interval counts from the
  // previous tap's lift and is as long as the canvas waits for a second tap, so that a second tap
  // the canvas still waits for always arrives counted 2. The hysteresis is per axis.
  static constexpr double kMultiTapInterval = 0.5;
  static constexpr float kMultiTapDistance = 25;
  static constexpr float kTapHysteresis = 10;
  // How far a touch on a scroll view's content moves before the scroll view may take it.
  static constexpr float kPanThreshold = 10;

  // A token that queued events check before delivery.
  std::weak_ptr<Window*> aliveToken() const { return alive_; }

 private:
  struct TouchState {
    std::unique_ptr<Touch> touch;
    ScrollView* scrollView = nullptr;  // the scroll view that may take the drag
    bool panning = false;              // the scroll view has it; the content does not
    bool decided = false;              // the content keeps it for good
  };

  void sendTouch(const TouchInput& in, double time);
  void sendKey(const KeyInput& in);
  void sendText(const TextInput& in);
  void sendScroll(const ScrollInput& in);
  void sendMagnify(const MagnifyInput& in);
  void sendMotion(const MotionInput& in, double time);
  void deliver(TouchState& state, TouchPhase phase, double time);
  Event touchEvent(double time) const;
  ScrollView* scrollViewAt(Point windowPoint) const;

  Responder* firstResponder_ = nullptr;
  int ignoring_ = 0;
  std::map<int, TouchState> touches_;
  // Touch ids dropped at touch-down (ignored interaction, or nothing hit).
  std::map<int, bool> dropped_;
  // The last tap's touch-down point and lift, for counting taps.
  double lastUpTime_ = -1e9;
  Point lastDownPoint_;
  int lastTapCount_ = 0;
  bool lastWasTap_ = false;
  std::unique_ptr<Keyboard> keyboard_;
  std::shared_ptr<Window*> alive_;
};

}  // namespace kit
