// The in-place editor laid over a topic: a borderless text view that remembers the topic's frames
// from before editing and the last three gesture keystrokes (space, new line, backspace with
// nothing to delete) with their times, and classifies them into commands.
#pragma once

#include "kit/core/geometry.h"
#include "kit/core/value.h"
#include "kit/ui/text_view.h"

class UITextViewEx : public kit::TextView {
 public:
  // Gesture characters.
  enum : int { kOther = 0, kSpace = 1, kNewLine = 2, kEmptyBackspace = 3 };
  // Gesture results.
  enum : int { kNone = 0, kThreeSpaces = 1, kThreeSpacesAfterPeriod = 2, kThreeBackspaces = 3, kThreeNewLines = 4 };

  using kit::TextView::TextView;

  void pushCharacter(int code);
  void periodInserted();
  int interpret() const;
  void reset();

  void paste(const std::string& text) override;
  // A backspace with nothing to delete is reported as a change too, so that the delegate sees
  // each one of a run of them.
  void deleteBackward() override;
  // Also keeps the size of "&" in the font, the average character the topic layout adds.
  void setFont(const kit::Font& font);
  kit::Size getSizeOfAvgChar() const { return sizeOfAvgChar_; }

  bool modified() const { return modified_; }
  void setModified(bool m) { modified_ = m; }
  bool pasted() const { return pasted_; }
  void setPasted(bool p) { pasted_ = p; }
  bool loggedSpaceAlready() const { return loggedSpaceAlready_; }
  void setLoggedSpaceAlready(bool b) { loggedSpaceAlready_ = b; }
  bool loggedEnterAlready() const { return loggedEnterAlready_; }
  void setLoggedEnterAlready(bool b) { loggedEnterAlready_ = b; }
  const kit::Rect& preEditNodeFrame() const { return preEditNodeFrame_; }
  void setPreEditNodeFrame(const kit::Rect& r) { preEditNodeFrame_ = r; }
  const kit::Rect& preEditBranchFrame() const { return preEditBranchFrame_; }
  void setPreEditBranchFrame(const kit::Rect& r) { preEditBranchFrame_ = r; }
  // The map's places before the editor opened: undo of the edit's text puts them back.
  const kit::Value& preEditPositions() const { return preEditPositions_; }
  void setPreEditPositions(kit::Value v) { preEditPositions_ = std::move(v); }

 private:
  static double absoluteTime();

  bool modified_ = false;
  bool pasted_ = false;
  kit::Size sizeOfAvgChar_;
  kit::Rect preEditNodeFrame_, preEditBranchFrame_;
  kit::Value preEditPositions_;
  int char1_ = 0, char2_ = 0, char3_ = 0;
  double char1Time_ = 0, char2Time_ = 0, char3Time_ = 0;
  double periodInsertedTime_ = 0;
  bool loggedSpaceAlready_ = false;
  bool loggedEnterAlready_ = false;
};
