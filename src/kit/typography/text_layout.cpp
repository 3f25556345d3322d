#include "kit/typography/text_layout.h"

#include <hb-ot.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <utility>
#include <vector>

#include "kit/graphics/cairo_bridge.h"
#include "kit/typography/pango_support.h"

namespace kit::pango {

namespace {

int toUnits(double points) {
  double u = points * PANGO_SCALE;
  if (!(u > 0)) return 0;
  return u >= INT_MAX / 2 ? INT_MAX / 2 : static_cast<int>(u);
}

bool truncating(LineBreakMode m) {
  return m == LineBreakMode::HeadTruncation || m == LineBreakMode::TailTruncation ||
         m == LineBreakMode::MiddleTruncation;
}

// Wrapped text is laid out from prefixes of this many bytes and more (see breakLines).
constexpr size_t kPrefixBytes = 4096;

// The largest character boundary at or before byte n of valid UTF-8.
size_t utf8Boundary(const std::string& text, size_t n) {
  if (n >= text.size()) return text.size();
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return n;
}

// A word longer than a line is broken inside one Pango item, and Pango shapes the rest of the
// item again for every line it breaks off: quadratic in the word's length (a 10,000-letter word
// took 80 ms). Runs of printable ASCII without a break longer than this are cut into items of
// kItemBytes by attribute boundaries that change nothing else; only kerning across the cuts goes.
constexpr size_t kLongRunBytes = 256;
constexpr size_t kItemBytes = 64;

// The attributes of a wrapped layout: no hyphen where a line breaks inside a word (Pango adds
// one, a character the text does not have: "T-i-n-y"), and the cuts of long runs.
void setWrapAttributes(PangoLayout* layout, const std::string& text) {
  PangoAttrList* given = pango_layout_get_attributes(layout);
  PangoAttrList* list = given ? pango_attr_list_copy(given) : pango_attr_list_new();
  pango_attr_list_insert(list, pango_attr_insert_hyphens_new(FALSE));
  auto printable = [](char c) { return c > 0x20 && c < 0x7F; };
  for (size_t i = 0; i < text.size();) {
    if (!printable(text[i])) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < text.size() && printable(text[end])) ++end;
    if (end - i > kLongRunBytes) {
      for (size_t at = i; at < end; at += kItemBytes) {
        PangoAttribute* cut = pango_attr_fallback_new(TRUE);
        cut->start_index = static_cast<guint>(at);
        cut->end_index = static_cast<guint>(std::min(end, at + kItemBytes));
        pango_attr_list_insert(list, cut);
      }
    }
    i = end;
  }
  pango_layout_set_attributes(layout, list);
  pango_attr_list_unref(list);
}

bool hasColourGlyphs(PangoFont* font) {
  hb_font_t* hb = font ? pango_font_get_hb_font(font) : nullptr;
  if (!hb) return false;
  hb_face_t* face = hb_font_get_face(hb);
  return hb_ot_color_has_png(face) || hb_ot_color_has_layers(face) || hb_ot_color_has_svg(face);
}

// The run once more in the system font's full block, stretched to the colour glyphs' width and
// painted with a transparent pattern (Cairo skips a clear colour and glyphs without ink): its
// characters join the page's text in place, and nothing more is seen.
void showRunAsInvisibleText(cairo_t* cr, PangoLayoutLine* line, PangoGlyphItem* run, double x, double y) {
  PangoFontDescription* d = pango_font_describe(run->item->analysis.font);
  pango_font_description_set_family_static(d, "DejaVu Sans");
  PangoContext* context = pango_layout_get_context(line->layout);
  PangoFont* font = pango_font_map_load_font(pango_context_get_font_map(context), context, d);
  pango_font_description_free(d);
  hb_codepoint_t block = 0;
  PangoRectangle logical{};
  if (font && hb_font_get_nominal_glyph(pango_font_get_hb_font(font), 0x2588, &block))
    pango_font_get_glyph_extents(font, block, nullptr, &logical);
  const int width = run->glyphs->glyphs[0].geometry.width;
  if (logical.width <= 0 || width <= 0) {
    if (font) g_object_unref(font);
    return;
  }
  const double stretch = static_cast<double>(width) / logical.width;
  PangoGlyphItem copy{pango_item_copy(run->item), pango_glyph_string_copy(run->glyphs), 0, 0, 0};
  g_object_unref(copy.item->analysis.font);
  copy.item->analysis.font = font;  // the copy owns it now
  for (int i = 0; i < copy.glyphs->num_glyphs; ++i) {
    PangoGlyphInfo& g = copy.glyphs->glyphs[i];
    if (g.glyph != PANGO_GLYPH_EMPTY && !(g.glyph & PANGO_GLYPH_UNKNOWN_FLAG)) g.glyph = block;
    g.geometry.width = static_cast<int>(std::lround(g.geometry.width / stretch));
    g.geometry.x_offset = static_cast<int>(std::lround(g.geometry.x_offset / stretch));
  }
  cairo_pattern_t* clear = newInvisiblePattern();
  cairo_save(cr);
  cairo_set_source(cr, clear);
  cairo_translate(cr, x, y);
  cairo_scale(cr, stretch, 1.0);
  cairo_move_to(cr, 0, 0);
  pango_cairo_show_glyph_item(cr, pango_layout_get_text(line->layout), &copy);
  cairo_restore(cr);
  cairo_pattern_destroy(clear);
  pango_item_free(copy.item);
  pango_glyph_string_free(copy.glyphs);
}

// The run's colour glyphs as a picture of its own at four times the resolution of the page.
void paintRunAsPicture(cairo_t* cr, PangoGlyphItem* run, double x, double y) {
  PangoRectangle ink{};
  pango_glyph_string_extents(run->glyphs, run->item->analysis.font, &ink, nullptr);
  const double ix = std::floor(static_cast<double>(ink.x) / PANGO_SCALE) - 1;
  const double iy = std::floor(static_cast<double>(ink.y) / PANGO_SCALE) - 1;
  const double iw = std::ceil(static_cast<double>(ink.width) / PANGO_SCALE) + 2;
  const double ih = std::ceil(static_cast<double>(ink.height) / PANGO_SCALE) + 2;
  double ux = 1, uy = 0;
  cairo_user_to_device_distance(cr, &ux, &uy);
  const double scale = std::min(4 * std::max(std::hypot(ux, uy), 0.25), 2048 / std::max(iw, ih));
  const int pw = static_cast<int>(std::ceil(iw * scale)), ph = static_cast<int>(std::ceil(ih * scale));
  if (!(scale > 0) || pw <= 0 || ph <= 0) return;
  cairo_surface_t* picture = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pw, ph);
  cairo_t* pc = cairo_create(picture);
  cairo_scale(pc, scale, scale);
  cairo_move_to(pc, -ix, -iy);
  pango_cairo_show_glyph_string(pc, run->item->analysis.font, run->glyphs);
  cairo_destroy(pc);
  double alpha = 1, r, g, b;
  cairo_pattern_get_rgba(cairo_get_source(cr), &r, &g, &b, &alpha);  // fails on a pattern: stays 1
  cairo_save(cr);
  cairo_translate(cr, x + ix, y + iy);
  cairo_scale(cr, 1 / scale, 1 / scale);
  cairo_set_source_surface(cr, picture, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_rectangle(cr, 0, 0, pw, ph);
  cairo_clip(cr);
  cairo_paint_with_alpha(cr, alpha);
  cairo_restore(cr);
  cairo_surface_destroy(picture);
}

// Cairo 1.16 puts colour glyphs (emoji) on a PDF page as 72 dpi pictures without their
// characters, and lists a picture used twice twice in the page's resources (a damaged
// dictionary). On PDF pages the colour runs are therefore left out of Pango's drawing of the
// line and drawn here, each as a picture of its own and as invisible text.
void showLineOnPdf(cairo_t* cr, PangoLayoutLine* line, double x, double y) {
  std::vector<std::pair<PangoGlyphItem*, std::vector<PangoGlyph>>> colour;
  for (GSList* r = line->runs; r; r = r->next) {
    auto* run = static_cast<PangoGlyphItem*>(r->data);
    if (run->glyphs->num_glyphs == 0 || !hasColourGlyphs(run->item->analysis.font)) continue;
    std::vector<PangoGlyph> glyphs;
    for (int i = 0; i < run->glyphs->num_glyphs; ++i) {
      glyphs.push_back(run->glyphs->glyphs[i].glyph);
      run->glyphs->glyphs[i].glyph = PANGO_GLYPH_EMPTY;
    }
    colour.emplace_back(run, std::move(glyphs));
  }
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout_line(cr, line);
  for (auto& [run, glyphs] : colour)
    for (int i = 0; i < run->glyphs->num_glyphs; ++i) run->glyphs->glyphs[i].glyph = glyphs[static_cast<size_t>(i)];
  if (colour.empty()) return;
  for (GSList* r = line->runs; r; r = r->next) {
    auto* run = static_cast<PangoGlyphItem*>(r->data);
    const double runX = x;
    x += static_cast<double>(pango_glyph_string_get_width(run->glyphs)) / PANGO_SCALE;
    if (std::none_of(colour.begin(), colour.end(), [&](const auto& c) { return c.first == run; })) continue;
    paintRunAsPicture(cr, run, runX, y);
    showRunAsInvisibleText(cr, line, run, runX, y);
  }
}

}  // namespace

std::string withoutTrailingBreak(std::string text) {
  if (!text.empty() && text.back() == '\n') {
    text.pop_back();
    if (!text.empty() && text.back() == '\r') text.pop_back();
  } else if (!text.empty() && text.back() == '\r') {
    text.pop_back();
  }
  return text;
}

Lines breakLines(PangoLayout* layout, const std::string& text, double width, double height,
                 LineBreakMode mode, PangoAlignment align, bool perParagraph) {
  Lines out;
  out.layout = layout;
  int widthUnits = std::isfinite(width) ? toUnits(width) : 0;
  if (perParagraph && mode == LineBreakMode::Clip) widthUnits = 0;
  if (widthUnits > 0) {
    pango_layout_set_width(layout, widthUnits);
    pango_layout_set_wrap(layout, mode == LineBreakMode::CharacterWrap ? PANGO_WRAP_CHAR : PANGO_WRAP_WORD_CHAR);
    if (perParagraph && truncating(mode)) {
      pango_layout_set_ellipsize(layout, mode == LineBreakMode::HeadTruncation     ? PANGO_ELLIPSIZE_START
                                         : mode == LineBreakMode::MiddleTruncation ? PANGO_ELLIPSIZE_MIDDLE
                                                                                   : PANGO_ELLIPSIZE_END);
    }
  }
  pango_layout_set_alignment(layout, align);
  if (widthUnits > 0) setWrapAttributes(layout, text);

  // A tolerance of a thousandth of a point absorbs rounding in the caller's arithmetic.
  int limit = std::isfinite(height) && height > 0 ? toUnits(height + 0.001) : INT_MAX;
  auto keepLines = [&] {
    out.kept.clear();
    PangoLayoutIter* it = pango_layout_get_iter(layout);
    do {
      KeptLine k;
      k.line = pango_layout_iter_get_line_readonly(it);
      pango_layout_iter_get_line_extents(it, nullptr, &k.logical);
      k.baseline = pango_layout_iter_get_baseline(it);
      if (!out.kept.empty() && k.logical.y + k.logical.height > limit) break;
      out.kept.push_back(k);
    } while (pango_layout_iter_next_line(it));
    pango_layout_iter_free(it);
    return static_cast<size_t>(pango_layout_get_line_count(layout));
  };
  // Pango adds up a paragraph's glyph widths in int units, so a paragraph some two million points
  // long (300 KB of text) overflows and breaks into nonsense. Under a height limit only the first
  // lines count: wrapped text is laid out from a prefix, doubled until two lines lie beyond the
  // kept ones; lines are broken greedily, so those kept are then the whole text's own.
  size_t lineCount = 0;
  bool settled = false;
  if (limit < INT_MAX && widthUnits > 0 && pango_layout_get_ellipsize(layout) == PANGO_ELLIPSIZE_NONE) {
    for (size_t want = kPrefixBytes; want < text.size() && !settled; want *= 2) {
      pango_layout_set_text(layout, text.data(), static_cast<int>(utf8Boundary(text, want)));
      lineCount = keepLines();
      settled = lineCount >= out.kept.size() + 2;
    }
    if (!settled && text.size() > kPrefixBytes) pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
  }
  if (!settled) lineCount = keepLines();
  bool more = out.kept.size() < lineCount;

  if (more && truncating(mode) && widthUnits > 0 && !perParagraph) {
    // The rest of the text from the last kept line on, on one line, shortened with "…".
    const KeptLine& last = out.kept.back();
    std::string rest = text.substr(static_cast<size_t>(std::clamp(last.line->start_index, 0, static_cast<int>(text.size()))));
    if (rest.size() > 2 * kPrefixBytes) {
      // One line shows little of a long rest: its start and end are enough for any ellipsis.
      const size_t head = utf8Boundary(rest, kPrefixBytes);
      const size_t tail = utf8Boundary(rest, rest.size() - kPrefixBytes);
      rest = rest.substr(0, head) + rest.substr(tail);
    }
    std::replace(rest.begin(), rest.end(), '\n', ' ');
    std::replace(rest.begin(), rest.end(), '\r', ' ');
    PangoLayout* aux = resetLayout(true);
    pango_layout_set_font_description(aux, pango_layout_get_font_description(layout));
    if (PangoAttrList* attrs = pango_layout_get_attributes(layout)) {
      // Attributes are indexed from the start of the whole text: shift them onto the rest.
      PangoAttrList* shifted = pango_attr_list_copy(attrs);
      pango_attr_list_update(shifted, 0, last.line->start_index, 0);
      pango_layout_set_attributes(aux, shifted);
      pango_attr_list_unref(shifted);
    }
    pango_layout_set_text(aux, rest.data(), static_cast<int>(rest.size()));
    pango_layout_set_single_paragraph_mode(aux, TRUE);
    pango_layout_set_width(aux, widthUnits);
    pango_layout_set_ellipsize(aux, mode == LineBreakMode::HeadTruncation     ? PANGO_ELLIPSIZE_START
                                    : mode == LineBreakMode::MiddleTruncation ? PANGO_ELLIPSIZE_MIDDLE
                                                                              : PANGO_ELLIPSIZE_END);
    pango_layout_set_alignment(aux, align);
    PangoLayoutIter* ai = pango_layout_get_iter(aux);
    pango_layout_iter_get_line_extents(ai, nullptr, &out.truncatedLogical);
    pango_layout_iter_free(ai);
    out.truncated = aux;
  }

  int w = 0;
  for (size_t i = 0; i < out.kept.size(); ++i) {
    bool replaced = out.truncated && i + 1 == out.kept.size();
    w = std::max(w, replaced ? out.truncatedLogical.width : out.kept[i].logical.width);
  }
  const KeptLine& last = out.kept.back();
  out.widthUnits = w;
  out.heightUnits = last.logical.y + last.logical.height - out.kept.front().logical.y;
  out.empty = false;
  return out;
}

std::optional<std::pair<int, int>> plainLineUnits(std::string_view text, const Font& font, double width) {
  constexpr std::size_t kLongestPlainLine = 1024;
  if (text.empty() || text.size() > kLongestPlainLine) return std::nullopt;
  bool letter = false;
  for (char c : text) {
    if (c < 0x20 || c > 0x7E) return std::nullopt;
    letter = letter || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  }
  // Without a letter the run's script would be Common, which shapes differently.
  if (!letter) return std::nullopt;

  ThreadState& state = thread();
  const std::uint64_t key = std::uint64_t{std::bit_cast<std::uint32_t>(static_cast<float>(font.pointSize()))} << 2 |
                            (font.isBold() ? 1u : 0u) | (font.isItalic() ? 2u : 0u);
  auto found = state.plainRuns.find(key);
  if (found == state.plainRuns.end()) {
    // The run a layout makes of one letter in the font: every printable ASCII character is in the
    // same face and script, so the same analysis holds for the whole text.
    ThreadState::PlainRun run;
    PangoLayout* probe = pango_layout_new(state.context);
    PangoFontDescription* d = newDescription(font);
    pango_layout_set_font_description(probe, d);
    pango_font_description_free(d);
    pango_layout_set_text(probe, "a", 1);
    PangoLayoutLine* line = pango_layout_get_line_readonly(probe, 0);
    if (line && line->runs && !line->runs->next) {
      const PangoItem* item = static_cast<PangoGlyphItem*>(line->runs->data)->item;
      if (item->analysis.font && !item->analysis.extra_attrs) {
        run.analysis = item->analysis;
        run.font = PANGO_FONT(g_object_ref(item->analysis.font));
      }
    }
    g_object_unref(probe);
    if (state.plainRuns.size() >= 256) {
      for (auto& [k, r] : state.plainRuns)
        if (r.font) g_object_unref(r.font);
      state.plainRuns.clear();
    }
    found = state.plainRuns.emplace(key, run).first;
  }
  const ThreadState::PlainRun& run = found->second;
  if (!run.font) return std::nullopt;

  PangoGlyphString* glyphs = pango_glyph_string_new();
  pango_shape_with_flags(text.data(), static_cast<int>(text.size()), text.data(), static_cast<int>(text.size()),
                         &run.analysis, glyphs, PANGO_SHAPE_NONE);
  PangoRectangle logical{};
  pango_glyph_string_extents(glyphs, run.font, nullptr, &logical);
  pango_glyph_string_free(glyphs);
  // A line as wide as the limit or wider may wrap: that is the layout's decision.
  const int limit = std::isfinite(width) ? toUnits(width) : 0;
  if (limit > 0 && logical.width >= limit) return std::nullopt;
  return std::make_pair(logical.width, logical.height);
}

void drawLines(GraphicsContext& ctx, const Lines& lines, Point origin) {
  if (lines.empty) return;
  double ox = origin.x, oy = origin.y;
  Rect ink(origin.x - 2, origin.y - 2,
           static_cast<Float>(std::max(lines.widthUnits, pango_layout_get_width(lines.layout))) / PANGO_SCALE + 4,
           static_cast<Float>(lines.heightUnits) / PANGO_SCALE + 4);
  ctx.drawText(ink, [&](cairo_t* cr) {
    for (size_t i = 0; i < lines.kept.size(); ++i) {
      const KeptLine& k = lines.kept[i];
      PangoLayoutLine* line = k.line;
      double x = k.logical.x;
      if (lines.truncated && i + 1 == lines.kept.size()) {
        line = pango_layout_get_line_readonly(lines.truncated, 0);
        x = lines.truncatedLogical.x;
      }
      if (!line) continue;
      const double lx = ox + x / PANGO_SCALE, ly = oy + static_cast<double>(k.baseline) / PANGO_SCALE;
      if (ctx.isPdf()) {
        showLineOnPdf(cr, line, lx, ly);
      } else {
        cairo_move_to(cr, lx, ly);
        pango_cairo_show_layout_line(cr, line);
      }
    }
  });
}

}  // namespace kit::pango
