// The transient message panel laid over a view or the current screen: a translucent dark rounded
// panel with white bold text, optionally with a spinner or a progress bar, optionally blocking
// every touch while it is up, optionally removing itself after a time that may follow from the
// length of its text, and moving with the on-screen keyboard.
//
// Panels are made only by displayModal. While shown a panel belongs to the set of shown panels;
// the creator keeps a shared pointer to update, wait for or dismiss it. Dismissing (or its
// lifetime running out) takes it off its view and ends its modal block.
#pragma once

#include <any>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "kit/core/notification_center.h"
#include "kit/core/run_loop.h"
#include "kit/ui/button.h"
#include "kit/ui/progress_views.h"

namespace kit {
class Window;
}

class FloatOver : public kit::Button {
 public:
  enum Position : int { kCentre = 0, kBottomRight = 1, kTopRight = 2 };
  enum Type : int { kTextOnly = 0, kSpinner = 1, kProgressBar = 2 };

  // modal: the window ignores touches while the panel is up. floatOver: nullptr for the current
  // screen. period: 0 stays until dismissed, -1 the title's reading time, else seconds (never
  // below 1.25 s).
  static std::shared_ptr<FloatOver> displayModal(bool modal, kit::View* floatOver, int position,
                                                 std::optional<std::string> title, float fontSize, int type,
                                                 double period);
  // The current screen's view, for panels made without a view (the application installs it).
  static void setCurrentScreenProvider(std::function<kit::View*()> provider);

  ~FloatOver() override;

  kit::ProgressView* progressView() const { return progressView_.get(); }
  kit::ActivityIndicatorView* activityIndicator() const { return spinner_.get(); }
  // Blocks the calling thread for what is left of seconds since the panel was made.
  void sleepForRemainderOf(float seconds);
  double getElapsedTimeInSecs() const;
  void setLifetime(double seconds);
  void onTimeForGoodbye();
  // Takes the panel off its view, ends its modal block and lets it go.
  void dismiss();
  bool isShown() const { return superview() != nullptr; }
  // A panel taken off its view by its creator (or whose view goes) ends as a dismissed one.
  void didLeaveSuperview() override;

  const std::any& userContext() const { return userContext_; }
  void setUserContext(std::any context) { userContext_ = std::move(context); }
  const std::function<void()>& userSelector() const { return userSelector_; }
  void setUserSelector(std::function<void()> selector) { userSelector_ = std::move(selector); }

  const std::optional<std::string>& szLabel() const { return szLabel_; }
  const kit::Rect& rcLabel() const { return rcLabel_; }
  float labelFontSize() const { return labelFontSize_; }
  int floatOverPosition() const { return floatOverPosition_; }
  bool bModal() const { return bModal_; }
  double startTime() const { return startTime_; }

  void keyboardWillShow(const kit::Notification& note);
  void keyboardWillHide(const kit::Notification& note);
  void fillRoundedRect(const kit::Rect& rect, kit::GraphicsContext& context);
  void drawRect(kit::GraphicsContext& context, const kit::Rect& rect) override;

 private:
  FloatOver();
  void followKeyboard(const kit::Notification& note, float direction);
  std::shared_ptr<FloatOver> unlist();
  void endModal();

  std::optional<std::string> szLabel_;
  kit::Rect rcLabel_;
  float labelFontSize_ = 0;
  int floatOverPosition_ = kCentre;
  std::unique_ptr<kit::ProgressView> progressView_;
  std::unique_ptr<kit::ActivityIndicatorView> spinner_;
  double startTime_ = 0;
  bool bModal_ = false;
  std::weak_ptr<kit::Window*> modalWindow_;
  std::any userContext_;
  std::function<void()> userSelector_;
  kit::ObserverOwner observing_{this};
  kit::PerformOwner performs_{this};
};
