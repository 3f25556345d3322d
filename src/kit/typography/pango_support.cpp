#include "kit/typography/pango_support.h"

#include <fontconfig/fontconfig.h>
#include <glib.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace kit {

namespace {

std::once_flag gFontconfigOnce;

// Loading the configuration once, before any drawing thread asks, keeps the threads from racing
// to build fontconfig's caches.
void loadFontConfiguration() {
  std::call_once(gFontconfigOnce, [] { FcInit(); });
}

// The text state of one thread, made ahead on another. The worker is joined when the process
// ends, so that it never runs on while the libraries are torn down.
struct Preparation {
  std::mutex mutex;
  std::unique_ptr<std::thread> worker;
  std::thread::id forThread;
  pid_t forProcess = 0;
  bool taken = false;
  std::unique_ptr<pango::ThreadState> state;
  // Whether the worker ran in this process: a child forked meanwhile has none to wait for.
  bool ownWorker() const { return worker && worker->joinable() && forProcess == ::getpid(); }
  ~Preparation() {
    if (ownWorker()) {
      worker->join();
    } else if (worker && worker->joinable()) {
      // Left as they are: the thread and its state belong to the parent process.
      (void)worker.release();
      (void)state.release();
    }
  }
};

Preparation& preparation() {
  static Preparation p;
  return p;
}

}  // namespace

void prepareFontsInBackground(const Font& first) {
  static std::once_flag started;
  std::call_once(started, [&first] {
    Preparation& p = preparation();
    std::lock_guard lock(p.mutex);
    p.forThread = std::this_thread::get_id();
    p.forProcess = ::getpid();
    try {
      p.worker = std::make_unique<std::thread>([&p, first] {
        auto state = std::make_unique<pango::ThreadState>();
        // Laying out one letter loads the face and its shaping tables into the font map.
        PangoLayout* l = pango::resetLayout(*state, false);
        PangoFontDescription* d = pango::newDescription(first);
        pango_layout_set_font_description(l, d);
        pango_font_description_free(d);
        pango_layout_set_text(l, "M", 1);
        pango_layout_get_size(l, nullptr, nullptr);
        p.state = std::move(state);
      });
    } catch (const std::system_error&) {
      // Without a thread the state is made at the first use, as it would be anyway.
    }
  });
}

}  // namespace kit

namespace kit::pango {

namespace {

// The state made ahead for the calling thread, once; null for any other thread.
std::unique_ptr<ThreadState> takePrepared() {
  Preparation& p = preparation();
  std::lock_guard lock(p.mutex);
  if (p.taken || !p.ownWorker() || p.forThread != std::this_thread::get_id()) return nullptr;
  p.taken = true;
  p.worker->join();
  return std::move(p.state);
}

}  // namespace

ThreadState::ThreadState() {
  loadFontConfiguration();
  fontMap = pango_cairo_font_map_new();
  pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(fontMap), 72.0);
  context = pango_font_map_create_context(fontMap);
  pango_cairo_context_set_resolution(context, 72.0);
  cairo_font_options_t* options = cairo_font_options_create();
  // Unhinted metrics: the same measurements on images, PDF pages and at every zoom.
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  pango_cairo_context_set_font_options(context, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(context, FALSE);
  pango_context_set_language(context, pango_language_from_string("en"));
  pango_context_set_base_dir(context, PANGO_DIRECTION_LTR);
  layout = pango_layout_new(context);
  auxLayout = pango_layout_new(context);
}

ThreadState::~ThreadState() {
  for (auto& [key, run] : plainRuns) g_object_unref(run.font);
  g_object_unref(auxLayout);
  g_object_unref(layout);
  g_object_unref(context);
  g_object_unref(fontMap);
}

ThreadState& thread() {
  thread_local std::unique_ptr<ThreadState> state;
  if (!state) state = takePrepared();
  if (!state) state = std::make_unique<ThreadState>();
  return *state;
}

PangoLayout* resetLayout(bool aux) { return resetLayout(thread(), aux); }

PangoLayout* resetLayout(ThreadState& state, bool aux) {
  PangoLayout* l = aux ? state.auxLayout : state.layout;
  pango_layout_set_attributes(l, nullptr);
  pango_layout_set_font_description(l, nullptr);
  pango_layout_set_width(l, -1);
  pango_layout_set_height(l, -1);
  pango_layout_set_wrap(l, PANGO_WRAP_WORD_CHAR);
  pango_layout_set_ellipsize(l, PANGO_ELLIPSIZE_NONE);
  pango_layout_set_alignment(l, PANGO_ALIGN_LEFT);
  pango_layout_set_indent(l, 0);
  pango_layout_set_spacing(l, 0);
  pango_layout_set_single_paragraph_mode(l, FALSE);
  return l;
}

PangoFontDescription* newDescription(const Font& font) {
  PangoFontDescription* d = pango_font_description_new();
  pango_font_description_set_family_static(d, "DejaVu Sans");
  pango_font_description_set_weight(d, font.isBold() ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(d, font.isItalic() ? PANGO_STYLE_OBLIQUE : PANGO_STYLE_NORMAL);
  pango_font_description_set_absolute_size(d, static_cast<double>(font.pointSize()) * PANGO_SCALE);
  return d;
}

std::string validUtf8(std::string_view text) {
  bool clean = g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
  if (clean) return std::string(text);
  gchar* fixed = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
  std::string out(fixed);
  g_free(fixed);
  return out;
}

}  // namespace kit::pango
