// An editable text area. It pads its text by 8 points on each side (its content height is the
// wrapped text's height at width - 16, plus 16; a trailing line break starts a line), keeps
// pre-edit (marked) text apart from its text and draws it at the caret (ending the edit commits
// it), and tells its delegate about every edit in the platform's order: should-change before,
// did-change after each accepted edit, did-begin and did-end editing as it becomes and stops
// being first responder. While editing it draws its caret or selection and behaves as a text
// field of the desktop: arrows (with Shift extending the selection), Home and End, Ctrl+A, C, X
// and V (the general pasteboard, through paste()), a tap placing the caret, a drag selecting, a
// double tap selecting a word, Escape ending the edit. Positions and ranges count UTF-16 code
// units.
#pragma once

#include <string>

#include "kit/typography/font.h"
#include "kit/typography/string_drawing.h"
#include "kit/ui/view.h"

namespace kit {

struct TextRange {
  std::size_t location = 0;
  std::size_t length = 0;
  friend bool operator==(const TextRange&, const TextRange&) = default;
};

class TextView;

class TextViewDelegate {
 public:
  virtual ~TextViewDelegate() = default;
  virtual bool textViewShouldBeginEditing(TextView&) { return true; }
  virtual void textViewDidBeginEditing(TextView&) {}
  virtual bool textViewShouldChangeTextInRange(TextView&, TextRange, const std::string&) { return true; }
  virtual void textViewDidChange(TextView&) {}
  virtual void textViewDidChangeSelection(TextView&) {}
  // The pre-edit text changed (shown at the caret, not yet part of the text).
  virtual void textViewDidChangeMarkedText(TextView&) {}
  virtual void textViewDidEndEditing(TextView&) {}
};

enum class AutocapitalizationType { None = 0, Words = 1, Sentences = 2, AllCharacters = 3 };

class TextView : public View, public TextInputClient {
 public:
  static constexpr float kInset = 8;

  explicit TextView(const Rect& frame = Rect());
  ~TextView() override;

  const std::string& text() const { return text_; }
  // Replaces the text without asking the delegate; the caret goes to the end.
  void setText(std::string text);
  TextRange selectedRange() const { return selection_; }
  void setSelectedRange(TextRange r);

  const Font& font() const { return font_; }
  void setFont(const Font& f) { font_ = f; setNeedsDisplay(); }
  TextAlignment textAlignment() const { return alignment_; }
  void setTextAlignment(TextAlignment a) { alignment_ = a; setNeedsDisplay(); }
  const Color& textColor() const { return textColor_; }
  void setTextColor(const Color& c) { textColor_ = c; }
  AutocapitalizationType autocapitalizationType() const { return autocap_; }
  void setAutocapitalizationType(AutocapitalizationType t) { autocap_ = t; }
  bool isScrollEnabled() const { return scrollEnabled_; }
  void setScrollEnabled(bool e) { scrollEnabled_ = e; }
  bool isEditable() const { return editable_; }
  void setEditable(bool e) { editable_ = e; }

  TextViewDelegate* delegate() const { return delegate_; }
  void setDelegate(TextViewDelegate* d) { delegate_ = d; }

  // The padded size of the wrapped text at this view's width.
  Size contentSize() const;
  bool isEditing() const { return editing_; }

  bool canBecomeFirstResponder() const override { return editable_; }
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;
  bool keyDown(const KeyInput& key) override;
  bool canPerformAction(std::string_view action, const void* sender) const override;
  // "copy:", "cut:", "paste:" and "selectAll:" while editing.
  bool performAction(std::string_view action, const void* sender) override;
  void touchesBegan(const TouchSet& touches, const Event& event) override;
  void touchesMoved(const TouchSet& touches, const Event& event) override;
  void touchesEnded(const TouchSet& touches, const Event& event) override;
  void touchesCancelled(const TouchSet& touches, const Event& event) override;

  // Typing: replaces the marked text or the selection, through the delegate.
  void insertText(const std::string& text) override;
  // Deletes the selection, or the character before the caret; at the start of the text the
  // delegate is asked about an empty range with empty text.
  void deleteBackward() override;
  void setMarkedText(const std::string& text, std::size_t caret) override;
  void unmarkText() override;
  bool hasMarkedText() const override { return !marked_.empty(); }
  const std::string& markedText() const { return marked_; }
  // The text as it is shown: the pre-edit text at the caret.
  std::string shownText() const;
  // Inserts the text as one edit, as a paste does.
  virtual void paste(const std::string& text);

  void drawRect(GraphicsContext& context, const Rect& rect) override;

 private:
  // The touches of the set other than the one selecting text.
  TouchSet othersThanSelecting(const TouchSet& touches) const;
  // The same, and the selecting touch, when among them, ends.
  TouchSet endSelecting(const TouchSet& touches);
  // Asks the delegate, then replaces range with text and puts the caret after it.
  bool replace(TextRange range, const std::string& text);
  // The selection from the anchor to `to`; the caret alone when they meet.
  void selectFromAnchor(std::size_t to);
  // The end of the selection that arrows and Shift move (the other is the anchor).
  std::size_t movingEnd() const { return selection_.location == anchor_ ? selection_.location + selection_.length : selection_.location; }
  // One character (a surrogate pair whole) before or after a position.
  std::size_t stepBack(std::size_t at) const;
  std::size_t stepForward(std::size_t at) const;
  // The position nearest a point in this view's bounds.
  std::size_t positionAt(Point p) const;
  // The word (or the run of other characters) around a position.
  TextRange wordAt(std::size_t at) const;
  // The size the text is drawn within (wrapped within its width).
  Size textSize() const;

  std::string text_;
  std::string marked_;
  mutable IncrementalTextMeasure measure_;
  TextRange selection_;
  std::size_t anchor_ = 0;  // the end of the selection that stays
  const Touch* selectingTouch_ = nullptr;
  Font font_;
  Color textColor_ = Color::black();
  TextAlignment alignment_ = TextAlignment::Left;
  AutocapitalizationType autocap_ = AutocapitalizationType::Sentences;
  TextViewDelegate* delegate_ = nullptr;
  bool scrollEnabled_ = true;
  bool editable_ = true;
  bool editing_ = false;
};

}  // namespace kit
