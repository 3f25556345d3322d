// The responder chain: touches, motion, keys and edit actions that a responder does not handle go
// to its next responder (a view's is its superview; the window's is nobody).
#pragma once

#include <string>
#include <string_view>

#include "kit/ui/event.h"

namespace kit {

class Responder {
 public:
  virtual ~Responder() = default;

  virtual Responder* nextResponder() const { return nullptr; }

  // The default of each passes the call on to the next responder.
  virtual void touchesBegan(const TouchSet& touches, const Event& event);
  virtual void touchesMoved(const TouchSet& touches, const Event& event);
  virtual void touchesEnded(const TouchSet& touches, const Event& event);
  virtual void touchesCancelled(const TouchSet& touches, const Event& event);
  virtual void motionBegan(MotionType motion, const Event& event);
  virtual void motionEnded(MotionType motion, const Event& event);
  virtual void motionCancelled(MotionType motion, const Event& event);
  // A key that is not text; returns whether some responder on the chain took it.
  virtual bool keyDown(const KeyInput& key);

  virtual bool canBecomeFirstResponder() const { return false; }
  virtual bool canResignFirstResponder() const { return true; }
  virtual bool becomeFirstResponder() { return false; }
  virtual bool resignFirstResponder() { return true; }
  virtual bool isFirstResponder() const { return false; }

  // Whether the responder can perform the named edit action ("copy:", "paste:" ...); the default
  // asks the next responder.
  virtual bool canPerformAction(std::string_view action, const void* sender) const;
  // Runs the named edit action (a chosen menu item); the default passes it to the next
  // responder. Returns whether some responder ran it.
  virtual bool performAction(std::string_view action, const void* sender);
};

// A responder that takes typed text: the first responder gets committed text, pre-edit text and
// deletion through this interface.
class TextInputClient {
 public:
  virtual ~TextInputClient() = default;
  virtual void insertText(const std::string& text) = 0;
  virtual void deleteBackward() = 0;
  // Marked (pre-edit) text shown at the caret but not yet part of the text; caret in UTF-16 units.
  virtual void setMarkedText(const std::string& text, std::size_t caret) = 0;
  virtual void unmarkText() = 0;
  virtual bool hasMarkedText() const = 0;
};

}  // namespace kit
