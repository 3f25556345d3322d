// The window of `quillmere edit`: a program of its own, so that the command does not load GTK
// for its other work. `quillmere edit FILE` starts it in its own place (exec).
#include <glib-unix.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "app/app_delegate.h"
#include "cli/cli.h"
#include "kit/core/run_loop.h"
#include "kit/gtk/clipboard.h"
#include "kit/gtk/desktop_launch.h"
#include "kit/gtk/host_window.h"
#include "kit/gtk/main_loop.h"
#include "kit/ui/pasteboard.h"
#include "session/edit_session.h"

namespace {

constexpr kit::Size kWindowSize(1024, 768);

// Milliseconds since this process started, from the kernel's record of its start.
double millisecondsSinceProcessStart() {
  std::ifstream in("/proc/self/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The fields after the command's name (which may hold blanks) start past its last ')'.
  std::size_t close = stat.rfind(')');
  timespec now{};
  const long ticks = sysconf(_SC_CLK_TCK);
  if (close == std::string::npos || ticks <= 0 || clock_gettime(CLOCK_BOOTTIME, &now) != 0) return -1;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  // The state is field 3; the start time (in clock ticks after boot) is field 22.
  for (int i = 3; i <= 22 && (fields >> field); ++i) {
    if (i != 22) continue;
    const double started = std::strtod(field.c_str(), nullptr) / static_cast<double>(ticks);
    return (static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9 - started) * 1000;
  }
  return -1;
}

// The figures of the frames drawn, for the session's state.
struct FrameFigures {
  double frames = 0, last = 0, max = 0;
  bool first = false;
};

bool isShortcut(const kit::KeyInput& k, const char* character, unsigned modifiers) {
  return k.key == kit::Key::Other && k.character == character && k.modifiers == modifiers;
}

// Messages are one line each.
std::string oneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\r', ' ');
  return text;
}

int edit(const std::string& path, std::ostream& err) {
  std::string error;
  if (!kit::gtk::initialize(error)) {
    err << "quillmere: " << oneLine(error) << "\n";
    return cli::kExitFailure;
  }
  AppDelegate app;
  app.applicationDidBecomeActive();
  kit::gtk::MainLoop loop;
  kit::gtk::ClipboardHost clipboard;
  kit::Pasteboard::general().setHost(&clipboard);
  struct BoardRelease {
    ~BoardRelease() { kit::Pasteboard::general().setHost(nullptr); }
  } boardRelease;

  std::unique_ptr<EditSession> session = EditSession::open(path, error);
  if (!session) {
    err << "quillmere: " << oneLine(error) << "\n";
    return cli::kExitFailure;
  }
  EditSession& s = *session;

  bool closed = false, saved = false;
  auto close = [&] {
    if (closed) return;
    closed = true;
    saved = s.close();
    loop.quit();
  };
  FrameFigures figures;
  kit::gtk::HostWindow::Callbacks callbacks;
  callbacks.resized = [&s](kit::Size size) { s.setWindowSize(size); };
  callbacks.hostKey = [&s](const kit::KeyInput& k) {
    using kit::kControl, kit::kShift;
    if (isShortcut(k, "z", kControl)) {
      kit::RunLoop::main().post([&s] { s.undo(); });
      return true;
    }
    if (isShortcut(k, "z", kControl | kShift) || isShortcut(k, "y", kControl)) {
      kit::RunLoop::main().post([&s] { s.redo(); });
      return true;
    }
    return false;
  };
  callbacks.closeRequested = close;
  callbacks.framePresented = [&s, &figures](double ms, bool complete) {
    figures.frames += 1;
    figures.last = ms;
    figures.max = std::max(figures.max, ms);
    const bool first = complete && !figures.first;
    const double sinceStart = first ? millisecondsSinceProcessStart() : 0;
    figures.first = figures.first || complete;
    // The session changes only inside a pass; this one also writes the state with the figures.
    kit::RunLoop::main().post([&s, f = figures, first, sinceStart] {
      s.setHostValue("frames", f.frames);
      s.setHostValue("lastFrameMs", f.last);
      s.setHostValue("maxFrameMs", f.max);
      if (first) s.setHostValue("firstFrameMs", sinceStart);
    });
  };
  // A link to another map opens it in a window of its own: this program again.
  std::error_code noProgram;
  const std::string self = std::filesystem::read_symlink("/proc/self/exe", noProgram).string();
  s.setLinkHandlers({[](const std::string& uri) { kit::gtk::openURIWithDesktop(uri); },
                     [self](const std::string& map) {
                       if (!self.empty()) kit::gtk::startDetached({self, "--", map});
                     }});
  kit::gtk::HostWindow host(s.window(), kWindowSize, std::move(callbacks));
  s.setWindowSize(kWindowSize);
  host.setTitle(s.title());
  s.setTitleChanged([&] { host.setTitle(s.title()); });
  const kit::RunLoop::HookId stateHook = kit::RunLoop::main().addEndOfPassHook([&s] { s.writeStateIfChanged(); });

  // Interrupted, the map is saved as when the window closes, in a pass of the main run loop.
  auto onSignal = [](gpointer data) -> gboolean {
    auto* closing = static_cast<decltype(close)*>(data);
    kit::RunLoop::main().post([closing] { (*closing)(); });
    return G_SOURCE_CONTINUE;
  };
  const guint sigint = g_unix_signal_add(SIGINT, onSignal, &close);
  const guint sigterm = g_unix_signal_add(SIGTERM, onSignal, &close);

  host.present();
  loop.run();

  g_source_remove(sigint);
  g_source_remove(sigterm);
  kit::RunLoop::main().removeEndOfPassHook(stateHook);
  s.setTitleChanged(nullptr);
  if (!saved) {
    err << "quillmere: could not save the map to " << oneLine(s.mapPath()) << "\n";
    return cli::kExitFailure;
  }
  return cli::kExitOK;
}

}  // namespace

// Started by `quillmere edit FILE` as `quillmere-edit -- FILE`.
int main(int argc, char** argv) {
  if (argc != 3 || std::string(argv[1]) != "--") {
    std::cerr << "quillmere-edit: start it as quillmere edit FILE\n";
    return cli::kExitUsage;
  }
  return edit(argv[2], std::cerr);
}
