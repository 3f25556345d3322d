// The snippet-expansion proxy that sits between a text view and its own delegate. This system
// has no snippet source, so it expands nothing: every delegate call reaches the next delegate
// unchanged, and its own undo registration is a switch with nothing behind it yet.
#pragma once

#include <string>

#include "kit/ui/text_view.h"

class SMTEDelegateController : public kit::TextViewDelegate {
 public:
  SMTEDelegateController() = default;

  void setProvideUndoSupport(bool on) { provideUndoSupport_ = on; }
  bool provideUndoSupport() const { return provideUndoSupport_; }
  // Not owned; whoever creates the proxy keeps both alive while the text view edits.
  void setNextDelegate(kit::TextViewDelegate* next) { next_ = next; }
  kit::TextViewDelegate* nextDelegate() const { return next_; }

  bool textViewShouldBeginEditing(kit::TextView& tv) override {
    return next_ ? next_->textViewShouldBeginEditing(tv) : true;
  }
  void textViewDidBeginEditing(kit::TextView& tv) override {
    if (next_) next_->textViewDidBeginEditing(tv);
  }
  bool textViewShouldChangeTextInRange(kit::TextView& tv, kit::TextRange range, const std::string& text) override {
    return next_ ? next_->textViewShouldChangeTextInRange(tv, range, text) : true;
  }
  void textViewDidChange(kit::TextView& tv) override {
    if (next_) next_->textViewDidChange(tv);
  }
  void textViewDidChangeSelection(kit::TextView& tv) override {
    if (next_) next_->textViewDidChangeSelection(tv);
  }
  void textViewDidChangeMarkedText(kit::TextView& tv) override {
    if (next_) next_->textViewDidChangeMarkedText(tv);
  }
  void textViewDidEndEditing(kit::TextView& tv) override {
    if (next_) next_->textViewDidEndEditing(tv);
  }

 private:
  kit::TextViewDelegate* next_ = nullptr;
  bool provideUndoSupport_ = true;
};
