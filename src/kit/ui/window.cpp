#include "kit/ui/window.h"

#include <cmath>

#include "kit/core/clock.h"
#include "kit/core/run_loop.h"
#include "kit/ui/keyboard.h"
#include "kit/ui/menu_controller.h"
#include "kit/ui/scroll_view.h"
#include "kit/ui/screen_updates.h"

namespace kit {

namespace {

float distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

template <class T>
std::optional<double> timeOf(const T& e) {
  return e.time;
}

}  // namespace

double eventTime() { return Clock::current().monotonicSeconds(); }

void submit(Window& window, InputEvent event) {
  // Stamp on arrival, so that a host's own time base never reaches the responders.
  std::visit([](auto& e) { if (!e.time) e.time = eventTime(); }, event);
  std::weak_ptr<Window*> token = window.aliveToken();
  RunLoop::main().post([token, event = std::move(event)] {
    if (auto alive = token.lock()) (*alive)->sendEvent(event);
  });
}

Point Touch::locationInView(const View* v) const {
  if (!v || !window_) return location_;
  return v->convertPointFromView(location_, window_);
}

Point Touch::previousLocationInView(const View* v) const {
  if (!v || !window_) return previous_;
  return v->convertPointFromView(previous_, window_);
}

Window::Window(const Rect& frame)
    : View(frame), keyboard_(std::make_unique<Keyboard>(*this)), alive_(std::make_shared<Window*>(this)) {}

Window::~Window() {
  alive_.reset();
  touches_.clear();
  firstResponder_ = nullptr;
}

bool Window::makeFirstResponder(Responder* r) {
  if (firstResponder_ == r) return true;
  if (Responder* current = firstResponder_) {
    if (!current->canResignFirstResponder() || !current->resignFirstResponder()) return false;
    // A responder that resigned cleared itself; one that did not is replaced all the same.
  }
  firstResponder_ = r;
  return true;
}

void Window::clearFirstResponder(Responder* r) {
  if (firstResponder_ == r) firstResponder_ = nullptr;
}

void Window::viewLeaving(View& view) {
  if (auto* v = dynamic_cast<View*>(firstResponder_); v && (v == &view || v->isDescendantOf(&view))) {
    v->resignFirstResponder();
    clearFirstResponder(v);
  }
  for (auto it = touches_.begin(); it != touches_.end();) {
    Touch& t = *it->second.touch;
    if (t.view_ && (t.view_ == &view || t.view_->isDescendantOf(&view))) {
      // The touch goes on for the window but reaches nobody: its view is told it is cancelled.
      View* gone = t.view_;
      t.phase_ = TouchPhase::Cancelled;
      Event e = touchEvent(t.timestamp_);
      if (!it->second.panning) gone->touchesCancelled({&t}, e);
      t.view_ = nullptr;
      dropped_[it->first] = true;
      it = touches_.erase(it);
    } else {
      ++it;
    }
  }
}

void Window::sendEvent(const InputEvent& event) {
  // Controls need not mark themselves for display: every delivered event draws a frame.
  noteScreenChange();
  double time = std::visit([](const auto& e) { return e.time.value_or(eventTime()); }, event);
  std::visit(
      [&](const auto& e) {
        using T = std::decay_t<decltype(e)>;
        if constexpr (std::is_same_v<T, TouchInput>) {
          sendTouch(e, time);
          // The touched view sees the touch-down before an open edit menu goes.
          if (e.phase == TouchPhase::Began) {
            auto it = touches_.find(e.id);
            MenuController::shared().touchBeganAt(this, it != touches_.end() ? it->second.touch->view() : nullptr);
          }
        }
        else if constexpr (std::is_same_v<T, KeyInput>) sendKey(e);
        else if constexpr (std::is_same_v<T, TextInput>) sendText(e);
        else if constexpr (std::is_same_v<T, ScrollInput>) sendScroll(e);
        else if constexpr (std::is_same_v<T, MagnifyInput>) sendMagnify(e);
        else sendMotion(e, time);
      },
      event);
}

Event Window::touchEvent(double time) const {
  Event e;
  e.type_ = Event::Type::Touches;
  e.timestamp_ = time;
  for (const auto& [id, state] : touches_) e.all_.push_back(state.touch.get());
  return e;
}

ScrollView* Window::scrollViewAt(Point windowPoint) const {
  View* hit = const_cast<Window*>(this)->hitTestForScrolling(convertPointFromView(windowPoint, this));
  for (View* v = hit; v; v = v->superview())
    if (auto* sv = dynamic_cast<ScrollView*>(v)) return sv;
  return nullptr;
}

void Window::sendTouch(const TouchInput& in, double time) {
  if (in.phase == TouchPhase::Began) {
    if (touches_.count(in.id)) return;  // a repeated touch-down for a finger already down
    dropped_.erase(in.id);
    // Before the hit test: what they do may add or remove the view under the finger.
    RunLoop::main().runPerformsBeforeTouch();
    View* hit = ignoring_ > 0 ? nullptr : hitTest(in.windowPoint);
    if (!hit) {
      dropped_[in.id] = true;
      return;
    }
    auto touch = std::make_unique<Touch>();
    touch->id_ = in.id;
    touch->window_ = this;
    touch->view_ = hit;
    touch->location_ = touch->previous_ = touch->start_ = in.windowPoint;
    touch->timestamp_ = time;
    const bool again = lastWasTap_ && time - lastUpTime_ <= kMultiTapInterval &&
                       distance(in.windowPoint, lastDownPoint_) <= kMultiTapDistance;
    touch->tapCount_ = again ? lastTapCount_ + 1 : 1;
    lastDownPoint_ = in.windowPoint;
    lastTapCount_ = touch->tapCount_;
    // Until it lifts as a tap, this touch starts no series.
    lastWasTap_ = false;

    TouchState state;
    state.touch = std::move(touch);
    for (View* v = hit; v; v = v->superview()) {
      if (auto* sv = dynamic_cast<ScrollView*>(v)) {
        state.scrollView = sv;
        break;
      }
    }
    auto& stored = touches_[in.id] = std::move(state);
    if (stored.scrollView) {
      if (hit == stored.scrollView) {
        stored.panning = true;
      } else {
        Event e = touchEvent(time);
        TouchSet set{stored.touch.get()};
        if (!stored.scrollView->isScrollEnabled() || stored.scrollView->touchesShouldBegin(set, e, hit)) {
          if (!stored.scrollView->isScrollEnabled()) stored.decided = true;
        } else {
          stored.panning = true;
        }
      }
      if (stored.panning) return;
    }
    deliver(stored, TouchPhase::Began, time);
    return;
  }

  auto it = touches_.find(in.id);
  if (it == touches_.end()) {
    if (in.phase == TouchPhase::Ended || in.phase == TouchPhase::Cancelled) dropped_.erase(in.id);
    return;
  }
  TouchState& state = it->second;
  Touch& t = *state.touch;
  t.previous_ = t.location_;
  t.location_ = in.windowPoint;
  t.timestamp_ = time;
  if (t.tapCount_ != 0 &&
      (std::fabs(t.location_.x - t.start_.x) > kTapHysteresis || std::fabs(t.location_.y - t.start_.y) > kTapHysteresis))
    t.tapCount_ = 0;
  if (in.phase == TouchPhase::Ended && t.tapCount_ != 0 && touches_.size() == 1) {
    lastWasTap_ = true;
    lastUpTime_ = time;
  }

  if (in.phase == TouchPhase::Moved && state.scrollView && !state.panning && !state.decided &&
      distance(t.location_, t.start_) > kPanThreshold) {
    ScrollView* sv = state.scrollView;
    if (sv->isScrollEnabled() && sv->canCancelContentTouches() && t.view_ &&
        sv->touchesShouldCancelInContentView(t.view_)) {
      deliver(state, TouchPhase::Cancelled, time);
      state.panning = true;
      // The drag so far becomes the pan's start.
      t.previous_ = t.start_;
    } else {
      state.decided = true;
    }
  }

  if (state.panning) {
    ScrollView* sv = state.scrollView;
    if (in.phase == TouchPhase::Moved) {
      if (!sv->isDragging() && distance(t.location_, t.start_) > kPanThreshold) sv->beginDragging();
      // The window's delta: converting through the scroll view's moving bounds would chase the
      // offset.
      if (sv->isDragging()) sv->panBy(Point(t.location_.x - t.previous_.x, t.location_.y - t.previous_.y));
      return;
    }
    if (sv->isDragging()) sv->endDragging();
    touches_.erase(it);
    return;
  }

  deliver(state, in.phase, time);
  if (in.phase == TouchPhase::Ended || in.phase == TouchPhase::Cancelled) touches_.erase(in.id);
}

void Window::deliver(TouchState& state, TouchPhase phase, double time) {
  Touch& t = *state.touch;
  t.phase_ = phase;
  View* v = t.view_;
  if (!v) return;
  Event e = touchEvent(time);
  TouchSet set{&t};
  switch (phase) {
    case TouchPhase::Began: v->touchesBegan(set, e); break;
    case TouchPhase::Moved:
    case TouchPhase::Stationary: v->touchesMoved(set, e); break;
    case TouchPhase::Ended: v->touchesEnded(set, e); break;
    case TouchPhase::Cancelled: v->touchesCancelled(set, e); break;
  }
}

void Window::sendKey(const KeyInput& in) {
  if (MenuController::shared().keyPressedIn(this, in)) return;
  if (Responder* r = firstResponder_ ? firstResponder_ : this) r->keyDown(in);
}

void Window::sendText(const TextInput& in) {
  auto* client = dynamic_cast<TextInputClient*>(firstResponder_);
  if (!client) return;
  switch (in.kind) {
    case TextInput::Kind::Commit: client->insertText(in.text); break;
    case TextInput::Kind::Preedit: client->setMarkedText(in.text, in.caret); break;
    case TextInput::Kind::PreeditEnd: client->unmarkText(); break;
  }
}

void Window::sendScroll(const ScrollInput& in) {
  if (ScrollView* sv = scrollViewAt(in.windowPoint); sv && sv->isScrollEnabled()) sv->panBy(Point(-in.dx, -in.dy));
}

void Window::sendMagnify(const MagnifyInput& in) {
  if (!(in.factor > 0) || !std::isfinite(in.factor)) return;
  if (ScrollView* sv = scrollViewAt(in.windowPoint))
    sv->zoomBy(in.factor, sv->convertPointFromView(in.windowPoint, this));
}

void Window::sendMotion(const MotionInput& in, double time) {
  Event e;
  e.type_ = Event::Type::Motion;
  e.timestamp_ = time;
  Responder* r = firstResponder_ ? firstResponder_ : this;
  r->motionBegan(in.type, e);
  r->motionEnded(in.type, e);
}

}  // namespace kit
