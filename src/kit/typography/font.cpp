#include "kit/typography/font.h"

#include <cmath>
#include <map>
#include <mutex>
#include <tuple>

#include "kit/typography/pango_support.h"

namespace kit {

namespace {

constexpr Float kDefaultSize = 12;
constexpr Float kMaxSize = 4096;

Float sane(Float size) {
  if (!std::isfinite(size) || size <= 0) return kDefaultSize;
  return std::fmin(size, kMaxSize);
}

const char* faceName(bool bold, bool italic) {
  if (bold && italic) return "DejaVuSans-BoldOblique";
  if (bold) return "DejaVuSans-Bold";
  if (italic) return "DejaVuSans-Oblique";
  return "DejaVuSans";
}

struct Metrics {
  Float ascent = 0, descent = 0;
};

// Shared by all threads, so behind a lock.
Metrics metricsFor(const Font& f) {
  static std::mutex mutex;
  static auto* cache = new std::map<std::tuple<bool, bool, Float>, Metrics>;
  auto key = std::make_tuple(f.isBold(), f.isItalic(), f.pointSize());
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = cache->find(key);
    if (it != cache->end()) return it->second;
  }
  PangoFontDescription* d = pango::newDescription(f);
  PangoFontMetrics* m = pango_context_get_metrics(pango::thread().context, d, nullptr);
  Metrics r;
  r.ascent = static_cast<Float>(pango_font_metrics_get_ascent(m)) / PANGO_SCALE;
  r.descent = static_cast<Float>(pango_font_metrics_get_descent(m)) / PANGO_SCALE;
  pango_font_metrics_unref(m);
  pango_font_description_free(d);
  std::lock_guard<std::mutex> lock(mutex);
  cache->emplace(key, r);
  return r;
}

}  // namespace

Font::Font(std::string name, Float size, bool bold, bool italic)
    : name_(std::move(name)), size_(sane(size)), bold_(bold), italic_(italic) {}

Font Font::systemFont(Float size) { return Font(faceName(false, false), size, false, false); }
Font Font::boldSystemFont(Float size) { return Font(faceName(true, false), size, true, false); }
Font Font::italicSystemFont(Float size) { return Font(faceName(false, true), size, false, true); }

std::optional<Font> Font::fontWithName(const std::string& name, Float size) {
  static const std::map<std::string, std::pair<bool, bool>, std::less<>> names = {
      {"Helvetica", {false, false}},
      {"Helvetica-Bold", {true, false}},
      {"Helvetica-Oblique", {false, true}},
      {"Helvetica-BoldOblique", {true, true}},
      {"DejaVuSans", {false, false}},
      {"DejaVuSans-Bold", {true, false}},
      {"DejaVuSans-Oblique", {false, true}},
      {"DejaVuSans-BoldOblique", {true, true}},
      {"DejaVu Sans", {false, false}},
  };
  auto it = names.find(name);
  if (it == names.end()) return std::nullopt;
  auto [bold, italic] = it->second;
  return Font(faceName(bold, italic), size, bold, italic);
}

const std::string& Font::familyName() const {
  static const std::string family = "DejaVu Sans";
  return family;
}

Font Font::withSize(Float size) const { return Font(name_, size, bold_, italic_); }

Float Font::ascender() const { return metricsFor(*this).ascent; }
Float Font::descender() const { return -metricsFor(*this).descent; }
Float Font::lineHeight() const {
  Metrics m = metricsFor(*this);
  return m.ascent + m.descent;
}

}  // namespace kit
