// Per-thread Pango state behind the typography functions. Pango objects are not thread-safe, so
// every thread that measures or draws text gets its own font map, context and layout, made once
// and reused (no font-map reloads per call).
#pragma once

#include <pango/pangocairo.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "kit/typography/font.h"

namespace kit::pango {

struct ThreadState {
  PangoFontMap* fontMap = nullptr;
  PangoContext* context = nullptr;
  PangoLayout* layout = nullptr;     // reset by resetLayout() before each use
  PangoLayout* auxLayout = nullptr;  // a second one, for a truncated last line
  // The run Pango makes of plain ASCII text in each face and size (its font and analysis, the
  // font referenced here), so such text can be shaped without a layout; see plainLineUnits.
  struct PlainRun {
    PangoFont* font = nullptr;
    PangoAnalysis analysis{};
  };
  std::unordered_map<std::uint64_t, PlainRun> plainRuns;
  ThreadState();
  ~ThreadState();
  ThreadState(const ThreadState&) = delete;
  ThreadState& operator=(const ThreadState&) = delete;
};

ThreadState& thread();

// The calling thread's layout (or its second one), cleared of text, attributes, width,
// wrapping and ellipsizing.
PangoLayout* resetLayout(bool aux = false);
PangoLayout* resetLayout(ThreadState& state, bool aux);

// A new description of the font (caller frees it).
PangoFontDescription* newDescription(const Font& font);

// Text Pango accepts: invalid UTF-8 and NUL bytes become U+FFFD.
std::string validUtf8(std::string_view text);

// Pango units to points, rounded up to whole points.
inline Float ceilPoints(int units) {
  return units <= 0 ? 0.0f : static_cast<Float>((units + PANGO_SCALE - 1) / PANGO_SCALE);
}

}  // namespace kit::pango
