// View animation blocks. Values set inside a block change at once (the on-screen interpolation is
// cosmetic); the block's completion runs after its duration on the main run loop, also for a
// duration of 0 (then on the next pass), with finished = true. Blocks nest; each commit schedules
// its own completion. With animations disabled, durations count as 0.
#pragma once

#include <functional>
#include <string>

namespace kit {

class ViewAnimation {
 public:
  using Completion = std::function<void(bool finished)>;

  // Begin/commit style. owner cancels the completion when it goes (RunLoop::cancelAll(owner)).
  static void beginAnimations(const void* owner = nullptr);
  static void setAnimationDuration(double seconds);
  static void setAnimationDidStop(Completion fn);
  static void commitAnimations();

  // Block style: runs changes now, then completion after the duration.
  static void animate(double seconds, const std::function<void()>& changes, Completion completion = {},
                      const void* owner = nullptr);

  static void setAnimationsEnabled(bool enabled);
  static bool areAnimationsEnabled();
  // Blocks begun and not yet committed.
  static int openBlocks();
};

}  // namespace kit
