// Screens: a view controller owns one screen's view; a navigation controller stacks screens under
// a bar with a title and bar buttons; a popover shows a screen at its preferred content size. A
// screen reports its outcome to whoever opened it through the done/cancel delegation.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kit/core/value.h"
#include "kit/graphics/image.h"
#include "kit/ui/button.h"
#include "kit/ui/view.h"

namespace kit {

class NavigationController;
class PopoverController;
class ViewController;

// The opener's side of a screen: the screen sends itself and a context (null when it has none).
class ViewControllerDelegate {
 public:
  virtual ~ViewControllerDelegate() = default;
  virtual void onDone(ViewController& sender, const Value& context) = 0;
  virtual void onCancel(ViewController& sender, const Value& context) = 0;
};

enum class InterfaceOrientation { Portrait = 1, PortraitUpsideDown = 2, LandscapeLeft = 3, LandscapeRight = 4 };

struct BarButtonItem {
  std::optional<std::string> title;
  ImageRef image;
  std::function<void()> action;
};

struct NavigationItem {
  std::string title;
  std::optional<BarButtonItem> leftBarButtonItem;
  std::optional<BarButtonItem> rightBarButtonItem;
};

class ViewController {
 public:
  ViewController() = default;
  virtual ~ViewController();
  ViewController(const ViewController&) = delete;
  ViewController& operator=(const ViewController&) = delete;

  // Loads the view on first use (loadView, then viewDidLoad).
  View& view();
  bool isViewLoaded() const { return view_ != nullptr; }
  virtual void viewDidLoad() {}
  virtual void viewDidAppear(bool animated) { (void)animated; }
  virtual void viewDidDisappear(bool animated) { (void)animated; }
  virtual void didReceiveMemoryWarning() {}
  virtual void viewDidUnload() {}
  virtual bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) const {
    return o == InterfaceOrientation::Portrait;
  }

  const std::string& title() const { return navigationItem_.title; }
  void setTitle(std::string t) { navigationItem_.title = std::move(t); }
  NavigationItem& navigationItem() { return navigationItem_; }
  const NavigationItem& navigationItem() const { return navigationItem_; }
  // The stack this screen is on, or nullptr.
  NavigationController* navigationController() const { return navigationController_; }

  // The size a popover gives this screen; a popover showing it follows changes.
  Size contentSizeForViewInPopover() const { return popoverSize_; }
  void setContentSizeForViewInPopover(Size s);

 protected:
  // Makes view_; the default is an empty white 320 x 416 view.
  virtual std::unique_ptr<View> loadView();

 private:
  friend class NavigationController;
  friend class PopoverController;
  std::unique_ptr<View> view_;
  NavigationItem navigationItem_;
  NavigationController* navigationController_ = nullptr;
  PopoverController* popover_ = nullptr;
  Size popoverSize_{320, 0};
};

// A bar (44 points) over the top screen's view. Owns the screens pushed on it.
class NavigationController : public ViewController {
 public:
  static constexpr Float kBarHeight = 44;

  explicit NavigationController(std::unique_ptr<ViewController> root);
  ~NavigationController() override;

  void pushViewController(std::unique_ptr<ViewController> vc, bool animated);
  // Keeps the root; returns the screen taken off (nullptr at the root).
  std::unique_ptr<ViewController> popViewControllerAnimated(bool animated);
  ViewController* topViewController() const;
  std::vector<ViewController*> viewControllers() const;
  // The bar's buttons as built for the top screen (tests tap them).
  Button* leftBarButton() const { return left_.get(); }
  Button* rightBarButton() const { return right_.get(); }
  // Rebuilds the bar from the top screen's navigation item.
  void updateBar();

  void viewDidAppear(bool animated) override;
  void viewDidDisappear(bool animated) override;

 protected:
  std::unique_ptr<View> loadView() override;

 private:
  class Bar;
  void showTop();
  void layoutTop();
  std::vector<std::unique_ptr<ViewController>> stack_;
  std::unique_ptr<Bar> bar_;
  std::unique_ptr<Button> left_, right_;
  std::vector<std::unique_ptr<Button>> retired_;
  bool visible_ = false;
};

// Shows a screen in a framed box inside a host view, at the screen's preferred size (the
// height at least the minimum, so that an empty list still shows a box).
class PopoverController {
 public:
  explicit PopoverController(ViewController& content);
  ~PopoverController();
  PopoverController(const PopoverController&) = delete;
  PopoverController& operator=(const PopoverController&) = delete;

  ViewController& contentViewController() const { return content_; }
  // Presents pointing at `from` (host coordinates): the box goes below it, kept inside the host.
  void presentFromRect(const Rect& from, View& host, bool animated);
  void dismissPopoverAnimated(bool animated);
  bool isPopoverVisible() const { return visible_; }
  // The box around the content (nullptr until presented).
  View* popoverView() const;
  // The content's size as shown now.
  Size popoverContentSize() const;
  // The content changed its preferred size.
  void contentSizeChanged();

 private:
  class Frame;
  void layout();
  ViewController& content_;
  std::unique_ptr<Frame> frame_;
  Rect from_;
  bool visible_ = false;
};

}  // namespace kit
