#include "kit/ui/view_animation.h"

#include <cmath>
#include <vector>

#include "kit/core/run_loop.h"

namespace kit {

namespace {

struct Block {
  const void* owner = nullptr;
  double duration = 0.2;
  ViewAnimation::Completion didStop;
};

// Main-thread state, as every view change is.
std::vector<Block>& stack() {
  static std::vector<Block> s;
  return s;
}
bool enabled = true;
const char kAnimationsOwner = 0;

void schedule(Block b) {
  if (!b.didStop) return;
  double delay = enabled && std::isfinite(b.duration) && b.duration > 0 ? b.duration : 0;
  const void* owner = b.owner ? b.owner : &kAnimationsOwner;
  RunLoop::main().performAfterDelay(owner, "animationDidStop", {}, delay,
                                    [fn = std::move(b.didStop)] { fn(true); });
}

}  // namespace

void ViewAnimation::beginAnimations(const void* owner) { stack().push_back(Block{owner, 0.2, {}}); }

void ViewAnimation::setAnimationDuration(double seconds) {
  if (!stack().empty()) stack().back().duration = seconds;
}

void ViewAnimation::setAnimationDidStop(Completion fn) {
  if (!stack().empty()) stack().back().didStop = std::move(fn);
}

void ViewAnimation::commitAnimations() {
  if (stack().empty()) return;
  Block b = std::move(stack().back());
  stack().pop_back();
  schedule(std::move(b));
}

void ViewAnimation::animate(double seconds, const std::function<void()>& changes, Completion completion,
                            const void* owner) {
  beginAnimations(owner);
  setAnimationDuration(seconds);
  setAnimationDidStop(std::move(completion));
  if (changes) changes();
  commitAnimations();
}

void ViewAnimation::setAnimationsEnabled(bool e) { enabled = e; }
bool ViewAnimation::areAnimationsEnabled() { return enabled; }
int ViewAnimation::openBlocks() { return static_cast<int>(stack().size()); }

}  // namespace kit
