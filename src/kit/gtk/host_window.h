// A desktop window that shows a kit::Window: its size is the kit window's size, its frames are
// kit's screen frames (drawScreenFrame), and the pointer, touchscreen, wheel, pinch, keys and the
// input method reach kit through kit::submit. Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "kit/core/geometry.h"
#include "kit/ui/event.h"

namespace kit {
class Window;
}

namespace kit::gtk {

class HostWindow {
 public:
  struct Callbacks {
    // The drawing area has a new size (points); runs inside a run-loop pass.
    std::function<void(Size)> resized;
    // A key before kit sees it: true when the host takes it (then kit never does). Called at
    // once; work it starts belongs in a run-loop pass (RunLoop::post).
    std::function<bool(const KeyInput&)> hostKey;
    // The user closes the window; runs inside a run-loop pass. The window stays until the owner
    // destroys it.
    std::function<void()> closeRequested;
    // After each frame that showed the window: its time on this thread (layout, drawing and
    // rendering) and whether every tile in it was ready.
    std::function<void(double drawMilliseconds, bool complete)> framePresented;
  };

  HostWindow(Window& window, Size size, Callbacks callbacks);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  void present();
  void setTitle(const std::string& title);
  // Draws a new frame soon (the display's next frame).
  void redraw();

  struct Impl;  // the widgets and their signal handlers

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace kit::gtk
