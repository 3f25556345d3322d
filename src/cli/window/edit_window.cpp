// The window of `quillmere edit`: a program of its own, so that the command does not load GTK
// for its other work. `quillmere edit FILE` starts it in its own place (exec).
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
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
#include "kit/ui/alert.h"
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

// The signals that end the window as its close button does, but without asking twice: the map
// is saved, or kept in a recovery copy. Closing the terminal sends SIGHUP.
constexpr std::array<int, 4> kClosingSignals = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// A handler writes the signal into a pipe that the main loop watches (GLib's own signal sources
// know no SIGQUIT).
int signalPipe[2] = {-1, -1};

extern "C" void onClosingSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  if (::write(signalPipe[1], &byte, 1) < 0) {
    // The pipe is full: a signal is already waiting, which closes the window as well.
  }
  errno = saved;
}

// Installs the handlers; a parent may have left these signals blocked.
bool watchClosingSignals(std::string& error) {
  GError* failure = nullptr;
  if (!g_unix_open_pipe(signalPipe, FD_CLOEXEC, &failure) || !g_unix_set_fd_nonblocking(signalPipe[1], TRUE, nullptr) ||
      !g_unix_set_fd_nonblocking(signalPipe[0], TRUE, nullptr)) {
    error = std::string("cannot watch for signals: ") + (failure ? failure->message : "no pipe");
    if (failure) g_error_free(failure);
    return false;
  }
  sigset_t set;
  sigemptyset(&set);
  struct sigaction action {};
  action.sa_handler = onClosingSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : kClosingSignals) {
    sigaddset(&set, signal);
    sigaction(signal, &action, nullptr);
  }
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  return true;
}

// Alerts appear as small windows of their own, each with its buttons, which close it.
void presentAlert(const kit::AlertRecord& alert) {
  // Over the map's window, the first one made.
  GListModel* windows = gtk_window_get_toplevels();
  GtkWindow* parent = g_list_model_get_n_items(windows) ? GTK_WINDOW(g_list_model_get_item(windows, 0)) : nullptr;
  GtkWidget* dialog = gtk_window_new();
  if (parent) {
    gtk_window_set_transient_for(GTK_WINDOW(dialog), parent);
    g_object_unref(parent);
  }
  gtk_window_set_title(GTK_WINDOW(dialog), alert.title.c_str());
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  for (auto margin : {gtk_widget_set_margin_top, gtk_widget_set_margin_bottom, gtk_widget_set_margin_start,
                      gtk_widget_set_margin_end})
    margin(box, 18);
  GtkWidget* title = gtk_label_new(alert.title.c_str());
  gtk_widget_add_css_class(title, "title-4");
  gtk_box_append(GTK_BOX(box), title);
  GtkWidget* message = gtk_label_new(alert.message.c_str());
  gtk_label_set_wrap(GTK_LABEL(message), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(message), 60);
  gtk_label_set_selectable(GTK_LABEL(message), TRUE);
  gtk_box_append(GTK_BOX(box), message);
  GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_widget_set_halign(buttons, GTK_ALIGN_END);
  GtkWidget* button = nullptr;
  for (const std::string& label : alert.buttons.empty() ? std::vector<std::string>{"OK"} : alert.buttons) {
    button = gtk_button_new_with_label(label.c_str());
    g_signal_connect_swapped(button, "clicked", G_CALLBACK(gtk_window_destroy), dialog);
    gtk_box_append(GTK_BOX(buttons), button);
  }
  gtk_box_append(GTK_BOX(box), buttons);
  gtk_window_set_child(GTK_WINDOW(dialog), box);
  // The last button takes Return, not the message (which would show all selected).
  gtk_window_set_default_widget(GTK_WINDOW(dialog), button);
  gtk_window_set_focus(GTK_WINDOW(dialog), button);
  gtk_window_present(GTK_WINDOW(dialog));
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

  // The close button asks once: a map that cannot be saved keeps the window, with an alert.
  bool ended = false;
  EditSession::Closing closing;
  auto close = [&](bool insist) {
    if (ended) return;
    closing = s.close(insist);
    if (!closing.closed) return;
    ended = true;
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
  callbacks.closeRequested = [&close] { close(false); };
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
  auto onSignal = [](gint fd, GIOCondition, gpointer data) -> gboolean {
    unsigned char drained[64];
    while (::read(fd, drained, sizeof drained) > 0) {
    }
    auto* closing = static_cast<decltype(close)*>(data);
    kit::RunLoop::main().post([closing] { (*closing)(true); });
    return G_SOURCE_CONTINUE;
  };
  const guint signals = g_unix_fd_add(signalPipe[0], G_IO_IN, onSignal, &close);
  kit::Alert::Presenter previousPresenter = kit::Alert::setPresenter(presentAlert);

  host.present();
  loop.run();

  kit::Alert::setPresenter(std::move(previousPresenter));
  g_source_remove(signals);
  kit::RunLoop::main().removeEndOfPassHook(stateHook);
  s.setTitleChanged(nullptr);
  if (!closing.message.empty()) err << "quillmere: " << oneLine(closing.message) << "\n";
  return closing.saved ? cli::kExitOK : cli::kExitFailure;
}

}  // namespace

// Started by `quillmere edit FILE` as `quillmere-edit -- FILE`.
int main(int argc, char** argv) {
  if (argc != 3 || std::string(argv[1]) != "--") {
    std::cerr << "quillmere-edit: start it as quillmere edit FILE\n";
    return cli::kExitUsage;
  }
  std::string error;
  if (!watchClosingSignals(error)) {
    std::cerr << "quillmere: " << error << "\n";
    return cli::kExitFailure;
  }
  return edit(argv[2], std::cerr);
}
