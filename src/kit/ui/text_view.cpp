#include "kit/ui/text_view.h"

#include <algorithm>
#include <cmath>

#include "kit/graphics/context.h"
#include "kit/text/utf.h"
#include "kit/ui/keyboard.h"
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

void TextView::setText(std::string text) {
  text_ = sanitizeUtf8(text);
  marked_.clear();
  selection_ = TextRange{utf16Length(text_), 0};
  setNeedsDisplay();
}

void TextView::setSelectedRange(TextRange r) {
  const std::size_t n = utf16Length(text_);
  r.location = std::min(r.location, n);
  r.length = std::min(r.length, n - r.location);
  if (r == selection_) return;
  selection_ = r;
  if (delegate_) delegate_->textViewDidChangeSelection(*this);
}

Size TextView::contentSize() const {
  const float width = bounds().size.width;
  // The caret's line after a trailing line break counts.
  std::string_view text = text_;
  std::string padded;
  if (text.empty()) text = "&";
  else if (text.back() == '\n') text = padded = text_ + " ";
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
  Window* w = window();
  View::resignFirstResponder();
  if (!was) return true;
  editing_ = false;
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
  setNeedsDisplay();
  if (delegate_) delegate_->textViewDidChange(*this);
  return true;
}

void TextView::insertText(const std::string& text) {
  if (!editable_) return;
  // Text from outside may be broken UTF-8: it is repaired, never stored as it came.
  const std::string clean = sanitizeUtf8(text);
  marked_.clear();
  replace(selection_, clean);
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
}

void TextView::unmarkText() {
  marked_.clear();
  setNeedsDisplay();
}

bool TextView::keyDown(const KeyInput& key) {
  if (!editing_) return View::keyDown(key);
  const std::size_t n = utf16Length(text_);
  switch (key.key) {
    case Key::Backspace: deleteBackward(); return true;
    case Key::Return: insertText("\n"); return true;
    case Key::Delete:
      if (selection_.length > 0) replace(selection_, "");
      else if (selection_.location < n) replace(TextRange{selection_.location, 1}, "");
      return true;
    case Key::Left:
      setSelectedRange(TextRange{selection_.length ? selection_.location : (selection_.location ? selection_.location - 1 : 0), 0});
      return true;
    case Key::Right:
      setSelectedRange(TextRange{std::min(n, selection_.location + (selection_.length ? selection_.length : 1)), 0});
      return true;
    case Key::Home: setSelectedRange(TextRange{0, 0}); return true;
    case Key::End: setSelectedRange(TextRange{n, 0}); return true;
    default: return View::keyDown(key);
  }
}

bool TextView::canPerformAction(std::string_view action, const void* sender) const {
  if (editing_ && (action == "paste:" || action == "selectAll:" ||
                   ((action == "copy:" || action == "cut:") && selection_.length > 0)))
    return true;
  return View::canPerformAction(action, sender);
}

void TextView::drawRect(GraphicsContext& ctx, const Rect&) {
  // The pre-edit text shows at the caret without being part of the text.
  std::string shown = text_;
  if (!marked_.empty()) shown.insert(utf16IndexToByteOffset(text_, selection_.location), marked_);
  ctx.setFillColor(textColor_);
  const Rect b = bounds();
  drawInRect(ctx, shown, Rect(b.origin.x + kInset, b.origin.y + kInset, std::max(0.0f, b.size.width - 2 * kInset),
                              std::max(0.0f, b.size.height - 2 * kInset)),
             font_, LineBreakMode::WordWrap, alignment_);
}

}  // namespace kit
