#include "kit/ui/text_view.h"

#include <algorithm>
#include <cmath>

#include <unicode/brkiter.h>
#include <unicode/unistr.h>

#include <memory>

#include "kit/graphics/context.h"
#include "kit/text/utf.h"
#include "kit/ui/keyboard.h"
#include "kit/ui/pasteboard.h"
#include "kit/ui/window.h"

namespace kit {

TextView::TextView(const Rect& frame) : View(frame), font_(Font::systemFont(17)) { setOpaque(false); }

TextView::~TextView() {
  if (editing_) {
    // Going away while editing: the keyboard goes with it; the delegate is not called from a
    // half-destroyed view.
    if (Window* w = window()) w->keyboard().hide();
  }
}

namespace {
const Color kSelectionColour(0.70f, 0.82f, 1.0f, 1.0f);
constexpr Float kCaretWidth = 2;
}  // namespace

void TextView::setText(std::string text) {
  text_ = sanitizeUtf8(text);
  marked_.clear();
  selection_ = TextRange{utf16Length(text_), 0};
  anchor_ = selection_.location;
  setNeedsDisplay();
}

void TextView::setSelectedRange(TextRange r) {
  const std::size_t n = utf16Length(text_);
  r.location = std::min(r.location, n);
  r.length = std::min(r.length, n - r.location);
  anchor_ = r.location;
  if (r == selection_) return;
  selection_ = r;
  setNeedsDisplay();
  if (delegate_) delegate_->textViewDidChangeSelection(*this);
}

void TextView::selectFromAnchor(std::size_t to) {
  const std::size_t anchor = anchor_;
  setSelectedRange(to < anchor ? TextRange{to, anchor - to} : TextRange{anchor, to - anchor});
  anchor_ = anchor;
}

std::size_t TextView::stepBack(std::size_t at) const {
  if (at == 0) return 0;
  const char16_t unit = utf16CodeUnitAt(text_, at - 1);
  return unit >= 0xDC00 && unit <= 0xDFFF && at >= 2 ? at - 2 : at - 1;
}

std::size_t TextView::stepForward(std::size_t at) const {
  const std::size_t n = utf16Length(text_);
  if (at >= n) return n;
  const char16_t unit = utf16CodeUnitAt(text_, at);
  return unit >= 0xD800 && unit <= 0xDBFF && at + 2 <= n ? at + 2 : at + 1;
}

std::string TextView::shownText() const {
  std::string shown = text_;
  if (!marked_.empty()) shown.insert(utf16IndexToByteOffset(text_, selection_.location), marked_);
  return shown;
}

Size TextView::textSize() const {
  const Size b = bounds().size;
  return Size(std::max(1.0f, b.width - 2 * kInset), std::max(1.0f, b.height - 2 * kInset));
}

std::size_t TextView::positionAt(Point p) const {
  const Rect b = bounds();
  const std::size_t offset = offsetForPoint(text_, font_, textSize(), alignment_,
                                            Point(p.x - b.origin.x - kInset, p.y - b.origin.y - kInset));
  return byteOffsetToUtf16Index(text_, offset);
}

TextRange TextView::wordAt(std::size_t at) const {
  const std::u16string units = utf8ToUtf16(text_);
  if (units.empty()) return TextRange{};
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> words(icu::BreakIterator::createWordInstance(icu::Locale::getRoot(), status));
  if (U_FAILURE(status) || !words) return TextRange{at, 0};
  const icu::UnicodeString u(units.data(), static_cast<int32_t>(units.size()));
  words->setText(u);
  const auto n = static_cast<int32_t>(units.size());
  const int32_t from = std::min(static_cast<int32_t>(at), n - 1);
  int32_t end = words->following(from);
  int32_t start = words->preceding(from + 1);
  if (end == icu::BreakIterator::DONE) end = n;
  if (start == icu::BreakIterator::DONE) start = 0;
  return TextRange{static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)};
}

Size TextView::contentSize() const {
  const float width = bounds().size.width;
  // The caret's line after a trailing line break counts, and so does pre-edit text.
  std::string shown = marked_.empty() ? std::string() : shownText();
  std::string_view text = marked_.empty() ? std::string_view(text_) : std::string_view(shown);
  std::string padded;
  if (text.empty()) text = "&";
  else if (text.back() == '\n') text = padded = std::string(text) + " ";
  Size s = measure_.measure(text, font_, std::max(1.0f, width - 2 * kInset));
  return Size(width, s.height + 2 * kInset);
}

bool TextView::becomeFirstResponder() {
  if (isFirstResponder()) return true;
  if (!editable_ || (delegate_ && !delegate_->textViewShouldBeginEditing(*this))) return false;
  if (!View::becomeFirstResponder()) return false;
  editing_ = true;
  if (Window* w = window()) w->keyboard().show();
  if (delegate_) delegate_->textViewDidBeginEditing(*this);
  return true;
}

bool TextView::resignFirstResponder() {
  const bool was = editing_;
  // Text still being composed is kept: the edit ends with it committed.
  if (was && !marked_.empty()) insertText(std::string(marked_));
  Window* w = window();
  View::resignFirstResponder();
  if (!was) return true;
  editing_ = false;
  selectingTouch_ = nullptr;
  marked_.clear();
  if (w) w->keyboard().hide();
  if (delegate_) delegate_->textViewDidEndEditing(*this);
  return true;
}

bool TextView::replace(TextRange range, const std::string& text) {
  const std::size_t n = utf16Length(text_);
  range.location = std::min(range.location, n);
  range.length = std::min(range.length, n - range.location);
  if (delegate_ && !delegate_->textViewShouldChangeTextInRange(*this, range, text)) return false;
  if (range.length == 0 && text.empty()) return true;
  const std::size_t from = utf16IndexToByteOffset(text_, range.location);
  const std::size_t to = utf16IndexToByteOffset(text_, range.location + range.length);
  text_.replace(from, to - from, text);
  selection_ = TextRange{range.location + utf16Length(text), 0};
  anchor_ = selection_.location;
  setNeedsDisplay();
  if (delegate_) delegate_->textViewDidChange(*this);
  return true;
}

void TextView::insertText(const std::string& text) {
  if (!editable_) return;
  // Text from outside may be broken UTF-8: it is repaired, never stored as it came.
  const std::string clean = sanitizeUtf8(text);
  const bool composing = !marked_.empty();
  marked_.clear();
  if (!replace(selection_, clean) && composing && delegate_) delegate_->textViewDidChangeMarkedText(*this);
}

void TextView::paste(const std::string& text) { insertText(text); }

void TextView::deleteBackward() {
  if (!editable_) return;
  marked_.clear();
  if (selection_.length > 0) {
    replace(selection_, "");
    return;
  }
  const std::size_t at = selection_.location;
  if (at == 0) {
    replace(TextRange{0, 0}, "");
    return;
  }
  // One code point back; a surrogate pair goes as a whole.
  std::size_t len = 1;
  const char16_t unit = utf16CodeUnitAt(text_, at - 1);
  if (unit >= 0xDC00 && unit <= 0xDFFF && at >= 2) len = 2;
  replace(TextRange{at - len, len}, "");
}

void TextView::setMarkedText(const std::string& text, std::size_t caret) {
  (void)caret;
  if (!editable_) return;
  if (marked_.empty() && selection_.length > 0) replace(selection_, "");
  marked_ = sanitizeUtf8(text);
  setNeedsDisplay();
  if (delegate_) delegate_->textViewDidChangeMarkedText(*this);
}

void TextView::unmarkText() {
  if (marked_.empty()) return;
  marked_.clear();
  setNeedsDisplay();
  if (delegate_) delegate_->textViewDidChangeMarkedText(*this);
}

bool TextView::keyDown(const KeyInput& key) {
  if (!editing_) return View::keyDown(key);
  const std::size_t n = utf16Length(text_);
  const bool shift = (key.modifiers & kShift) != 0;
  // Arrows and Home/End move the caret, or with Shift the selection's moving end.
  auto moveTo = [&](std::size_t to) {
    if (shift) selectFromAnchor(to);
    else setSelectedRange(TextRange{to, 0});
    return true;
  };
  switch (key.key) {
    case Key::Backspace: deleteBackward(); return true;
    case Key::Return: insertText("\n"); return true;
    case Key::Delete:
      if (selection_.length > 0) replace(selection_, "");
      else if (selection_.location < n) replace(TextRange{selection_.location, stepForward(selection_.location) - selection_.location}, "");
      return true;
    case Key::Left:
      if (!shift && selection_.length) return moveTo(selection_.location);
      return moveTo(stepBack(shift ? movingEnd() : selection_.location));
    case Key::Right:
      if (!shift && selection_.length) return moveTo(selection_.location + selection_.length);
      return moveTo(stepForward(shift ? movingEnd() : selection_.location));
    case Key::Home: case Key::Up: return moveTo(0);
    case Key::End: case Key::Down: return moveTo(n);
    case Key::Escape: resignFirstResponder(); return true;  // the edit ends, keeping its text
    default: break;
  }
  if ((key.modifiers & (kControl | kAlt | kSuper)) == kControl) {
    const char* action = key.character == "a"   ? "selectAll:"
                         : key.character == "c" ? "copy:"
                         : key.character == "x" ? "cut:"
                         : key.character == "v" ? "paste:"
                                                : nullptr;
    if (action) {
      if (canPerformAction(action, this)) performAction(action, this);
      return true;  // a text field's own shortcut, even when there is nothing to do
    }
  }
  return View::keyDown(key);
}

bool TextView::canPerformAction(std::string_view action, const void* sender) const {
  if (editing_ && (action == "paste:" || action == "selectAll:" ||
                   ((action == "copy:" || action == "cut:") && selection_.length > 0)))
    return true;
  return View::canPerformAction(action, sender);
}

bool TextView::performAction(std::string_view action, const void* sender) {
  if (!editing_) return View::performAction(action, sender);
  const std::string selected = utf16Substring(text_, selection_.location, selection_.length);
  if (action == "selectAll:") {
    setSelectedRange(TextRange{0, utf16Length(text_)});
  } else if (action == "copy:" || action == "cut:") {
    if (selected.empty()) return true;
    Pasteboard::general().setString(selected);
    if (action == "cut:") replace(selection_, "");
  } else if (action == "paste:") {
    if (std::optional<std::string> text = Pasteboard::general().string(); text && !text->empty()) paste(*text);
  } else {
    return View::performAction(action, sender);
  }
  return true;
}

// ---- Touches: while editing, a tap places the caret, a drag selects, a double tap selects a word

void TextView::touchesBegan(const TouchSet& touches, const Event& event) {
  if (!editing_ || selectingTouch_ || touches.empty()) return View::touchesBegan(touches, event);
  const Touch& t = *touches.front();
  selectingTouch_ = &t;
  const std::size_t at = positionAt(t.locationInView(this));
  if (t.tapCount() == 2) {
    const TextRange word = wordAt(at);
    setSelectedRange(word);
  } else {
    setSelectedRange(TextRange{at, 0});
  }
}

void TextView::touchesMoved(const TouchSet& touches, const Event& event) {
  if (!selectingTouch_) return View::touchesMoved(touches, event);
  for (const Touch* t : touches)
    if (t == selectingTouch_) selectFromAnchor(positionAt(t->locationInView(this)));
  if (TouchSet others = othersThanSelecting(touches); !others.empty()) View::touchesMoved(others, event);
}

void TextView::touchesEnded(const TouchSet& touches, const Event& event) {
  if (!selectingTouch_) return View::touchesEnded(touches, event);
  if (TouchSet others = endSelecting(touches); !others.empty()) View::touchesEnded(others, event);
}

void TextView::touchesCancelled(const TouchSet& touches, const Event& event) {
  if (!selectingTouch_) return View::touchesCancelled(touches, event);
  if (TouchSet others = endSelecting(touches); !others.empty()) View::touchesCancelled(others, event);
}

// A second touch that began while one selects went on to the next responder: so do its moves and
// its end, or whoever followed it never learns that it ended.
TouchSet TextView::othersThanSelecting(const TouchSet& touches) const {
  TouchSet others;
  for (Touch* t : touches)
    if (t != selectingTouch_) others.push_back(t);
  return others;
}

TouchSet TextView::endSelecting(const TouchSet& touches) {
  TouchSet others = othersThanSelecting(touches);
  if (others.size() != touches.size()) selectingTouch_ = nullptr;
  return others;
}

void TextView::drawRect(GraphicsContext& ctx, const Rect&) {
  // The pre-edit text shows at the caret without being part of the text.
  const std::string shown = shownText();
  const Rect b = bounds();
  const Rect textRect(b.origin.x + kInset, b.origin.y + kInset, std::max(0.0f, b.size.width - 2 * kInset),
                      std::max(0.0f, b.size.height - 2 * kInset));
  if (editing_) {
    // The carets this frame needs, from one layout of the text: the selection's two ends, or the
    // caret after the pre-edit text and, with pre-edit text, its start.
    const std::size_t markedUnits = utf16Length(marked_);
    const bool selecting = selection_.length > 0 && marked_.empty();
    std::vector<std::size_t> at;
    if (selecting) at = {selection_.location, selection_.location + selection_.length};
    else at = {selection_.location + markedUnits};
    if (!marked_.empty()) at.push_back(selection_.location);
    for (std::size_t& units : at) units = utf16IndexToByteOffset(shown, units);
    std::vector<Rect> carets = caretRectsForOffsets(shown, font_, textSize(), alignment_, at);
    for (Rect& r : carets) r = r.offsetBy(textRect.origin.x, textRect.origin.y);
    if (selecting) {
      // The selection's lines: from its start to the right edge, whole lines, then to its end.
      const Rect a = carets[0], z = carets[1];
      ctx.setFillColor(kSelectionColour);
      if (a.minY() == z.minY()) {
        ctx.fillRect(Rect(a.minX(), a.minY(), z.minX() - a.minX(), a.height()));
      } else {
        ctx.fillRect(Rect(a.minX(), a.minY(), textRect.maxX() - a.minX(), a.height()));
        if (z.minY() > a.maxY()) ctx.fillRect(Rect(textRect.minX(), a.maxY(), textRect.width(), z.minY() - a.maxY()));
        ctx.fillRect(Rect(textRect.minX(), z.minY(), z.minX() - textRect.minX(), z.height()));
      }
    } else {
      const Rect c = carets[0];
      ctx.setFillColor(textColor_);
      ctx.fillRect(Rect(c.minX() - kCaretWidth / 2, c.minY(), kCaretWidth, c.height()));
    }
    if (!marked_.empty()) {
      // Pre-edit text is underlined, as an input method's composition is.
      const Rect m0 = carets[1], m1 = carets[0];
      ctx.setFillColor(textColor_);
      if (m0.minY() == m1.minY()) ctx.fillRect(Rect(m0.minX(), m0.maxY() - 1, m1.minX() - m0.minX(), 1));
    }
  }
  ctx.setFillColor(textColor_);
  drawInRect(ctx, shown, textRect, font_, LineBreakMode::WordWrap, alignment_);
}

}  // namespace kit
