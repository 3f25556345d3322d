#include "kit/testing/event_script.h"

#include "kit/core/run_loop.h"

namespace kit {

void EventScript::send(InputEvent e) {
  submit(window_, std::move(e));
  RunLoop::main().runOnce();
}

void EventScript::wait(double seconds) { RunLoop::main().runUntil(eventTime() + seconds); }

void EventScript::tap(Point p, int id) {
  down(p, id);
  wait(0.05);
  up(p, id);
}

void EventScript::doubleTap(Point p) {
  tap(p);
  wait(0.15);
  tap(p);
}

void EventScript::press(Point p, double seconds) {
  down(p);
  wait(seconds);
  up(p);
}

void EventScript::drag(const std::vector<Point>& path, double seconds) {
  if (path.empty()) return;
  down(path.front());
  const double step = path.size() > 1 ? seconds / static_cast<double>(path.size() - 1) : seconds;
  for (std::size_t i = 1; i < path.size(); ++i) {
    wait(step);
    move(path[i]);
  }
  up(path.back());
}

}  // namespace kit
