// The shared edit menu: one row of titled items over a target rectangle in a view. Kit draws it
// (a view at the front of the target's window), so a host only shows the window.
//
// Only the items whose action the first responder accepts (canPerformAction) are shown. When the
// user chooses an item its action runs first; then the menu hides and posts the did-hide
// notification, so an action may set up a second menu that its did-hide observer shows. Every
// hide of a visible menu posts did-hide: a chosen item, a touch elsewhere, or code.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kit/core/geometry.h"

namespace kit {

class View;
class Responder;
struct KeyInput;

struct MenuItem {
  std::string title;
  std::string action;  // "copy:", "move:" ...
};

enum class MenuArrowDirection { Default, Up, Down, Left, Right };

class MenuController {
 public:
  static constexpr const char* kDidHideNotification = "MenuControllerDidHideMenuNotification";

  // Main thread only.
  static MenuController& shared();

  void setMenuItems(std::vector<MenuItem> items) { items_ = std::move(items); }
  const std::vector<MenuItem>& menuItems() const { return items_; }
  // In view's bounds coordinates. The zero rectangle keeps the last target (and its view).
  void setTargetRect(const Rect& rect, View* inView);
  const Rect& targetRect() const { return targetRect_; }
  View* targetView() const { return targetView_; }
  void setArrowDirection(MenuArrowDirection d) { arrow_ = d; }
  MenuArrowDirection arrowDirection() const { return arrow_; }

  // Showing with no target, no window or no accepted item shows nothing.
  void setMenuVisible(bool visible, bool animated);
  bool isMenuVisible() const { return visible_; }

  // The items on show, in order (empty while hidden).
  const std::vector<MenuItem>& visibleItems() const { return shown_; }
  // The menu's frame in its window's coordinates (zero while hidden).
  Rect menuFrame() const;
  // The frame of the i-th item on show, in its window's coordinates (zero when there is none).
  Rect itemFrame(std::size_t i) const;
  // Chooses the shown item with that title as a touch on it would; false when none shows.
  bool chooseItem(std::string_view title);
  // What a touch anywhere but on the menu does: the menu hides.
  void dismissByTouchElsewhere() { setMenuVisible(false, false); }
  // The window calls this at every touch-down, after delivering it (hit: the view touched, or
  // nullptr): a touch in the menu's window but not on the menu hides it.
  void touchBeganAt(const View* window, const View* hit);
  // The window calls this for every key before its first responder sees it: Escape in the
  // menu's window hides the menu as a touch elsewhere does. True when the key went to the menu.
  bool keyPressedIn(const View* window, const KeyInput& key);
  // A view that goes away: the menu hides without notice when it targets the view.
  void forgetView(const View* view);

  MenuController(const MenuController&) = delete;
  MenuController& operator=(const MenuController&) = delete;

 private:
  class MenuView;
  MenuController();
  ~MenuController();
  void hide(bool notify);
  Responder* firstResponder() const;

  std::vector<MenuItem> items_;
  std::vector<MenuItem> shown_;
  Rect targetRect_;
  View* targetView_ = nullptr;
  MenuArrowDirection arrow_ = MenuArrowDirection::Default;
  bool visible_ = false;
  std::unique_ptr<MenuView> view_;
};

}  // namespace kit
