#include "kit/gtk/main_loop.h"

#include <gtk/gtk.h>

#include <climits>
#include <cmath>

#include "kit/core/clock.h"
#include "kit/core/run_loop.h"
#include "kit/ui/screen_updates.h"

namespace kit::gtk {

namespace {

gboolean prepare(GSource*, gint* timeout) {
  *timeout = MainLoop::waitMilliseconds();
  return *timeout == 0;
}

gboolean check(GSource*) { return MainLoop::waitMilliseconds() == 0; }

gboolean dispatch(GSource*, GSourceFunc, gpointer) {
  RunLoop::main().runOnce();
  return G_SOURCE_CONTINUE;
}

GSourceFuncs gFuncs = {prepare, check, dispatch, nullptr, nullptr, nullptr};

}  // namespace

bool initialize(std::string& error) {
  if (gtk_init_check()) return true;
  const char* display = g_getenv("DISPLAY");
  const char* wayland = g_getenv("WAYLAND_DISPLAY");
  if ((!display || !*display) && (!wayland || !*wayland))
    error = "no display to open a window on (neither DISPLAY nor WAYLAND_DISPLAY is set)";
  else
    error = std::string("cannot open the display ") + (display && *display ? display : wayland);
  return false;
}

struct MainLoop::Impl {
  GSource* source = nullptr;
  GMainLoop* loop = nullptr;
};

MainLoop::MainLoop() : impl_(new Impl) {
  impl_->source = g_source_new(&gFuncs, sizeof(GSource));
  g_source_set_priority(impl_->source, G_PRIORITY_DEFAULT);
  g_source_set_name(impl_->source, "kit run loop");
  g_source_attach(impl_->source, nullptr);
  impl_->loop = g_main_loop_new(nullptr, FALSE);
  // Workers and tiles post from their threads; GLib's poll must then return.
  RunLoop::main().setWakeHandler([] { g_main_context_wakeup(nullptr); });
  setHostListensForTiles(true);
}

MainLoop::~MainLoop() {
  setHostListensForTiles(false);
  RunLoop::main().setWakeHandler(nullptr);
  g_source_destroy(impl_->source);
  g_source_unref(impl_->source);
  g_main_loop_unref(impl_->loop);
  delete impl_;
}

void MainLoop::run() { g_main_loop_run(impl_->loop); }

void MainLoop::quit() { g_main_loop_quit(impl_->loop); }

int MainLoop::waitMilliseconds() {
  RunLoop& loop = RunLoop::main();
  if (loop.hasPostedWork()) return 0;
  const double next = loop.nextFireTime();
  if (!std::isfinite(next)) return -1;
  const double wait = (next - Clock::current().monotonicSeconds()) * 1000;
  if (wait <= 0) return 0;
  return static_cast<int>(std::min(std::ceil(wait), double(INT_MAX / 2)));
}

}  // namespace kit::gtk
