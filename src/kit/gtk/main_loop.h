// kit's main run loop driven by GLib's main loop: a GLib source runs one run-loop pass whenever
// work is posted or a perform or timer falls due, and RunLoop::post from any thread wakes GLib.
#pragma once

#include <string>

namespace kit::gtk {

// Starts GTK; false with a one-line reason (no display) when it cannot.
bool initialize(std::string& error);

// Attaches the run loop to GLib's default main context for the object's life.
class MainLoop {
 public:
  MainLoop();
  ~MainLoop();
  MainLoop(const MainLoop&) = delete;
  MainLoop& operator=(const MainLoop&) = delete;

  // Runs GLib's main loop (and with it kit's passes) until quit().
  void run();
  void quit();

  // The timeout GLib waits for before the next pass, in milliseconds: 0 when work is posted or
  // due, -1 when nothing is scheduled, else the time to the next fire time rounded up.
  static int waitMilliseconds();

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace kit::gtk
