#include "kit/gtk/host_window.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>

#include "kit/core/run_loop.h"
#include "kit/graphics/context.h"
#include "kit/gtk/input_mapping.h"
#include "kit/ui/compositor.h"
#include "kit/ui/screen_updates.h"
#include "kit/ui/window.h"

namespace kit::gtk {

struct HostWindow::Impl {
  Window& window;
  Callbacks callbacks;
  GtkWidget* gtkWindow = nullptr;
  GtkWidget* area = nullptr;
  GtkIMContext* im = nullptr;
  RunLoop::HookId hook = 0;
  TouchIds touches;
  double lastPinchScale = 1;
  Point lastPointer;
  // Kit events for a window that is gone are dropped, so queued ones are harmless.
  std::weak_ptr<Window*> alive;

  Impl(Window& w, Callbacks c) : window(w), callbacks(std::move(c)), alive(w.aliveToken()) {}

  void send(InputEvent e) {
    if (alive.expired()) return;
    submit(window, std::move(e));
  }

  // A GDK event's position, given in its surface's coordinates, in the drawing area's. Events
  // without one (X11's wheel steps) are where the pointer was last seen.
  Point areaPoint(GdkEvent* event) {
    double x = 0, y = 0;
    if (!gdk_event_get_position(event, &x, &y) || !std::isfinite(x) || !std::isfinite(y)) return lastPointer;
    GtkNative* native = gtk_widget_get_native(area);
    if (!native) return lastPointer = Point(static_cast<Float>(x), static_cast<Float>(y));
    double nx = 0, ny = 0;
    gtk_native_get_surface_transform(native, &nx, &ny);
    double wx = x - nx, wy = y - ny;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_widget_translate_coordinates(GTK_WIDGET(native), area, x - nx, y - ny, &wx, &wy);
    G_GNUC_END_IGNORE_DEPRECATIONS
    return lastPointer = Point(static_cast<Float>(wx), static_cast<Float>(wy));
  }

  void touch(const void* sequence, TouchPhase phase, Point p) {
    int id;
    if (phase == TouchPhase::Began) {
      if (touches.find(sequence)) return;  // a second press of a touch already down
      id = touches.begin(sequence);
    } else {
      auto found = touches.find(sequence);
      if (!found) return;
      id = *found;
      if (phase == TouchPhase::Ended || phase == TouchPhase::Cancelled) touches.end(sequence);
    }
    send(TouchInput{id, phase, p, std::nullopt});
  }

  void cancelAllTouches() {
    auto down = touches.down();
    for (const auto& [sequence, id] : down) {
      send(TouchInput{id, TouchPhase::Cancelled, Point(), std::nullopt});
      touches.end(sequence);
    }
  }

  bool pointerEvent(GdkEvent* event) {
    const GdkEventType type = gdk_event_get_event_type(event);
    switch (type) {
      case GDK_BUTTON_PRESS:
      case GDK_BUTTON_RELEASE: {
        // Touchscreens come as touches; the pointer they emulate is not a second finger.
        if (gdk_event_get_pointer_emulated(event) || gdk_button_event_get_button(event) != GDK_BUTTON_PRIMARY)
          return false;
        if (type == GDK_BUTTON_PRESS) gtk_widget_grab_focus(area);
        touch(nullptr, type == GDK_BUTTON_PRESS ? TouchPhase::Began : TouchPhase::Ended, areaPoint(event));
        return true;
      }
      case GDK_MOTION_NOTIFY:
      case GDK_ENTER_NOTIFY: {
        const Point p = areaPoint(event);
        if (type != GDK_MOTION_NOTIFY || gdk_event_get_pointer_emulated(event) || !touches.find(nullptr)) return false;
        touch(nullptr, TouchPhase::Moved, p);
        return true;
      }
      case GDK_GRAB_BROKEN:
        if (touches.find(nullptr)) touch(nullptr, TouchPhase::Cancelled, Point());
        return false;
      case GDK_TOUCH_BEGIN:
      case GDK_TOUCH_UPDATE:
      case GDK_TOUCH_END:
      case GDK_TOUCH_CANCEL: {
        const void* sequence = gdk_event_get_event_sequence(event);
        if (!sequence) return false;
        const TouchPhase phase = type == GDK_TOUCH_BEGIN    ? TouchPhase::Began
                                 : type == GDK_TOUCH_UPDATE ? TouchPhase::Moved
                                 : type == GDK_TOUCH_END    ? TouchPhase::Ended
                                                            : TouchPhase::Cancelled;
        if (phase == TouchPhase::Began) gtk_widget_grab_focus(area);
        touch(sequence, phase, areaPoint(event));
        return false;  // the pinch gesture sees touches too
      }
      case GDK_SCROLL:
        scroll(event);
        return true;
      default:
        return false;
    }
  }

  void scroll(GdkEvent* event) {
    double dx = 0, dy = 0;
    bool wheel = true;
    switch (gdk_scroll_event_get_direction(event)) {
      case GDK_SCROLL_UP: dy = -1; break;
      case GDK_SCROLL_DOWN: dy = 1; break;
      case GDK_SCROLL_LEFT: dx = -1; break;
      case GDK_SCROLL_RIGHT: dx = 1; break;
      case GDK_SCROLL_SMOOTH:
        gdk_scroll_event_get_deltas(event, &dx, &dy);
        wheel = gdk_scroll_event_get_unit(event) == GDK_SCROLL_UNIT_WHEEL;
        break;
    }
    const Point at = areaPoint(event);
    if (gdk_event_get_modifier_state(event) & GDK_CONTROL_MASK) {
      const double steps = wheel ? dy : dy / kWheelStepPoints;
      if (steps != 0) send(MagnifyInput{at, wheelZoomFactor(steps), std::nullopt});
      return;
    }
    const Point d = scrollPoints(dx, dy, wheel);
    if (d.x != 0 || d.y != 0) send(ScrollInput{at, d.x, d.y, std::nullopt});
  }

  bool keyPressed(unsigned keyval, GdkModifierType state) {
    if (isShakeKey(keyval)) {
      send(MotionInput{MotionType::Shake, std::nullopt});
      return true;
    }
    std::optional<KeyInput> k = keyInputFor(keyval, state);
    if (!k) return false;
    if (callbacks.hostKey && callbacks.hostKey(*k)) return true;
    send(std::move(*k));
    return true;
  }

  void preeditChanged() {
    char* text = nullptr;
    int cursor = 0;
    gtk_im_context_get_preedit_string(im, &text, nullptr, &cursor);
    std::string s = text ? text : "";
    g_free(text);
    if (s.empty()) {
      send(TextInput{TextInput::Kind::PreeditEnd, {}, 0, std::nullopt});
      return;
    }
    const std::size_t caret = utf16Offset(s, cursor > 0 ? static_cast<std::size_t>(cursor) : 0);
    send(TextInput{TextInput::Kind::Preedit, std::move(s), caret, std::nullopt});
  }

  // The input method's candidate window goes beside the view that takes text. Told only when it
  // moves: an input method may pass each call on over D-Bus.
  void placeInputMethod() {
    auto* view = dynamic_cast<View*>(window.firstResponder());
    if (!view || view == &window) return;
    const Rect r = view->convertRectToView(view->bounds(), nullptr);
    if (!std::isfinite(r.minX()) || !std::isfinite(r.minY()) || !std::isfinite(r.width()) || !std::isfinite(r.height()))
      return;
    // Far off screen is as good as anywhere off screen, and fits an int.
    auto px = [](Float v) { return static_cast<int>(std::clamp(v, Float(-1e6), Float(1e6))); };
    GdkRectangle g{px(r.minX()), px(r.minY()), px(r.width()), px(r.height())};
    if (imPlaced && g.x == imPlace.x && g.y == imPlace.y && g.width == imPlace.width && g.height == imPlace.height)
      return;
    imPlace = g;
    imPlaced = true;
    gtk_im_context_set_cursor_location(im, &g);
  }
  GdkRectangle imPlace{};
  bool imPlaced = false;

  // When the view taking text changes (an edit ended or another began), the input method drops
  // what it was composing: kit committed the pre-edit already, and a commit arriving later
  // would reach whatever takes text next.
  void followTextInput() {
    const void* input = dynamic_cast<TextInputClient*>(window.firstResponder());
    if (input == textInput) return;
    if (textInput) gtk_im_context_reset(im);
    textInput = input;
  }
  const void* textInput = nullptr;  // compared only, never used

  void draw(cairo_t* cr) {
    GraphicsContext ctx(cr);
    ctx.setFillColor(Color::white());
    ctx.fillRect(window.bounds());
    frameComplete = drawScreenFrame(ctx, window);
    drewFrame = true;
  }

  // A frame's time on this thread runs from the frame clock's before-paint to its after-paint:
  // layout, our drawing and GTK's rendering of it.
  void paintBegins() { paintStart = g_get_monotonic_time(); }
  void paintEnded() {
    if (!drewFrame) return;
    drewFrame = false;
    const double ms = static_cast<double>(g_get_monotonic_time() - paintStart) / 1000.0;
    if (callbacks.framePresented) callbacks.framePresented(ms, frameComplete);
  }

  GdkFrameClock* clock = nullptr;
  gint64 paintStart = 0;
  bool drewFrame = false;
  bool frameComplete = false;
};

namespace {

using Impl = HostWindow::Impl;

void onDraw(GtkDrawingArea*, cairo_t* cr, int, int, gpointer data) { static_cast<Impl*>(data)->draw(cr); }

void onResize(GtkDrawingArea*, int width, int height, gpointer data) {
  auto* impl = static_cast<Impl*>(data);
  const Size size(static_cast<Float>(width), static_cast<Float>(height));
  if (!impl->callbacks.resized) return;
  // The window's views change inside a pass, where tiles cannot see them half-changed.
  std::weak_ptr<Window*> alive = impl->alive;
  auto resized = impl->callbacks.resized;
  RunLoop::main().post([alive, resized, size] {
    if (!alive.expired()) resized(size);
  });
}

void onBeforePaint(GdkFrameClock*, gpointer data) { static_cast<Impl*>(data)->paintBegins(); }
void onAfterPaint(GdkFrameClock*, gpointer data) { static_cast<Impl*>(data)->paintEnded(); }

void onRealize(GtkWidget* area, gpointer data) {
  auto* impl = static_cast<Impl*>(data);
  if (impl->clock) return;
  impl->clock = gtk_widget_get_frame_clock(area);
  if (!impl->clock) return;
  g_object_ref(impl->clock);
  g_signal_connect(impl->clock, "before-paint", G_CALLBACK(onBeforePaint), impl);
  g_signal_connect(impl->clock, "after-paint", G_CALLBACK(onAfterPaint), impl);
}

gboolean onLegacyEvent(GtkEventControllerLegacy*, GdkEvent* event, gpointer data) {
  return static_cast<Impl*>(data)->pointerEvent(event);
}

gboolean onKeyPressed(GtkEventControllerKey*, guint keyval, guint, GdkModifierType state, gpointer data) {
  return static_cast<Impl*>(data)->keyPressed(keyval, state);
}

void onCommit(GtkIMContext*, const char* text, gpointer data) {
  if (text && *text) static_cast<Impl*>(data)->send(TextInput{TextInput::Kind::Commit, text, 0, std::nullopt});
}

void onPreeditChanged(GtkIMContext*, gpointer data) { static_cast<Impl*>(data)->preeditChanged(); }

void onPreeditEnd(GtkIMContext*, gpointer data) {
  static_cast<Impl*>(data)->send(TextInput{TextInput::Kind::PreeditEnd, {}, 0, std::nullopt});
}

void onFocusEnter(GtkEventControllerFocus*, gpointer data) { gtk_im_context_focus_in(static_cast<Impl*>(data)->im); }
void onFocusLeave(GtkEventControllerFocus*, gpointer data) { gtk_im_context_focus_out(static_cast<Impl*>(data)->im); }

void onPinchBegin(GtkGesture*, GdkEventSequence*, gpointer data) {
  auto* impl = static_cast<Impl*>(data);
  impl->lastPinchScale = 1;
  // Two fingers zoom: they are no longer touches on the content.
  impl->cancelAllTouches();
}

void onPinchScale(GtkGestureZoom* gesture, double scale, gpointer data) {
  auto* impl = static_cast<Impl*>(data);
  if (!(scale > 0) || !(impl->lastPinchScale > 0)) return;
  const double factor = scale / impl->lastPinchScale;
  impl->lastPinchScale = scale;
  double x = 0, y = 0;
  if (!gtk_gesture_get_bounding_box_center(GTK_GESTURE(gesture), &x, &y)) return;
  impl->send(MagnifyInput{Point(static_cast<Float>(x), static_cast<Float>(y)), static_cast<float>(factor), std::nullopt});
}

gboolean onCloseRequest(GtkWindow*, gpointer data) {
  auto* impl = static_cast<Impl*>(data);
  if (auto closing = impl->callbacks.closeRequested) RunLoop::main().post([closing] { closing(); });
  return TRUE;  // the owner decides when the window goes
}

}  // namespace

HostWindow::HostWindow(Window& window, Size size, Callbacks callbacks)
    : impl_(std::make_unique<Impl>(window, std::move(callbacks))) {
  Impl* impl = impl_.get();
  impl->gtkWindow = gtk_window_new();
  g_object_ref_sink(impl->gtkWindow);
  gtk_window_set_default_size(GTK_WINDOW(impl->gtkWindow), static_cast<int>(size.width),
                              static_cast<int>(size.height));
  impl->area = gtk_drawing_area_new();
  gtk_widget_set_focusable(impl->area, TRUE);
  gtk_widget_set_hexpand(impl->area, TRUE);
  gtk_widget_set_vexpand(impl->area, TRUE);
  gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(impl->area), onDraw, impl, nullptr);
  g_signal_connect(impl->area, "resize", G_CALLBACK(onResize), impl);
  g_signal_connect(impl->area, "realize", G_CALLBACK(onRealize), impl);
  gtk_window_set_child(GTK_WINDOW(impl->gtkWindow), impl->area);
  g_signal_connect(impl->gtkWindow, "close-request", G_CALLBACK(onCloseRequest), impl);

  GtkEventController* legacy = gtk_event_controller_legacy_new();
  g_signal_connect(legacy, "event", G_CALLBACK(onLegacyEvent), impl);
  gtk_widget_add_controller(impl->area, legacy);

  GtkGesture* pinch = gtk_gesture_zoom_new();
  g_signal_connect(pinch, "begin", G_CALLBACK(onPinchBegin), impl);
  g_signal_connect(pinch, "scale-changed", G_CALLBACK(onPinchScale), impl);
  gtk_widget_add_controller(impl->area, GTK_EVENT_CONTROLLER(pinch));

  impl->im = gtk_im_multicontext_new();
  gtk_im_context_set_client_widget(impl->im, impl->area);
  g_signal_connect(impl->im, "commit", G_CALLBACK(onCommit), impl);
  g_signal_connect(impl->im, "preedit-changed", G_CALLBACK(onPreeditChanged), impl);
  g_signal_connect(impl->im, "preedit-end", G_CALLBACK(onPreeditEnd), impl);
  GtkEventController* keys = gtk_event_controller_key_new();
  gtk_event_controller_key_set_im_context(GTK_EVENT_CONTROLLER_KEY(keys), impl->im);
  g_signal_connect(keys, "key-pressed", G_CALLBACK(onKeyPressed), impl);
  gtk_widget_add_controller(impl->area, keys);
  GtkEventController* focus = gtk_event_controller_focus_new();
  g_signal_connect(focus, "enter", G_CALLBACK(onFocusEnter), impl);
  g_signal_connect(focus, "leave", G_CALLBACK(onFocusLeave), impl);
  gtk_widget_add_controller(impl->area, focus);

  // A pass that changed what is shown asks for a frame; GTK draws it at the display's next one.
  impl->hook = RunLoop::main().addEndOfPassHook([impl] {
    impl->followTextInput();
    if (!takeScreenChange()) return;
    gtk_widget_queue_draw(impl->area);
    impl->placeInputMethod();
  });
}

HostWindow::~HostWindow() {
  RunLoop::main().removeEndOfPassHook(impl_->hook);
  if (impl_->clock) {
    g_signal_handlers_disconnect_by_data(impl_->clock, impl_.get());
    g_object_unref(impl_->clock);
  }
  gtk_im_context_set_client_widget(impl_->im, nullptr);
  g_signal_handlers_disconnect_by_data(impl_->im, impl_.get());
  g_object_unref(impl_->im);
  g_signal_handlers_disconnect_by_data(impl_->gtkWindow, impl_.get());
  gtk_window_destroy(GTK_WINDOW(impl_->gtkWindow));
  g_object_unref(impl_->gtkWindow);
}

void HostWindow::present() {
  gtk_window_present(GTK_WINDOW(impl_->gtkWindow));
  gtk_widget_grab_focus(impl_->area);
}

void HostWindow::setTitle(const std::string& title) { gtk_window_set_title(GTK_WINDOW(impl_->gtkWindow), title.c_str()); }

void HostWindow::redraw() { gtk_widget_queue_draw(impl_->area); }

}  // namespace kit::gtk
