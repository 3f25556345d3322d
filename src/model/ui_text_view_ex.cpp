#include "model/ui_text_view_ex.h"

#include "kit/core/clock.h"
#include "kit/typography/string_drawing.h"

double UITextViewEx::absoluteTime() { return kit::now().seconds; }

void UITextViewEx::pushCharacter(int code) {
  char1_ = char2_;
  char2_ = char3_;
  char3_ = code;
  char1Time_ = char2Time_;
  char2Time_ = char3Time_;
  char3Time_ = absoluteTime();
}

void UITextViewEx::periodInserted() { periodInsertedTime_ = absoluteTime(); }

int UITextViewEx::interpret() const {
  if (!(char3Time_ - char1Time_ < 1.0)) return kNone;
  if (char1_ == kSpace && char2_ == kSpace && char3_ == kSpace)
    return periodInsertedTime_ > char1Time_ ? kThreeSpacesAfterPeriod : kThreeSpaces;
  if (char1_ == kNewLine && char2_ == kNewLine && char3_ == kNewLine) return kThreeNewLines;
  if (char1_ == kEmptyBackspace && char2_ == kEmptyBackspace && char3_ == kEmptyBackspace) return kThreeBackspaces;
  return kNone;
}

void UITextViewEx::reset() {
  char1_ = char2_ = char3_ = 0;
  char1Time_ = char2Time_ = char3Time_ = 0;
  periodInsertedTime_ = 0;
}

void UITextViewEx::paste(const std::string& text) {
  pasted_ = true;
  kit::TextView::paste(text);
}

void UITextViewEx::setFont(const kit::Font& font) {
  kit::TextView::setFont(font);
  sizeOfAvgChar_ = kit::sizeWithFont("&", font);
}

void UITextViewEx::deleteBackward() {
  const bool nothingToDelete = isEditable() && !hasMarkedText() && selectedRange() == kit::TextRange{0, 0};
  kit::TextView::deleteBackward();
  if (nothingToDelete && delegate()) delegate()->textViewDidChange(*this);
}
