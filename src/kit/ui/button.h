// Controls with target-action, and the push button.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kit/graphics/color.h"
#include "kit/ui/view.h"

namespace kit {

class Image;

// Bit set of control events.
enum ControlEvent : std::uint32_t {
  ControlEventTouchDown = 1u << 0,
  ControlEventTouchDownRepeat = 1u << 1,
  ControlEventTouchDragInside = 1u << 2,
  ControlEventTouchDragOutside = 1u << 3,
  ControlEventTouchDragEnter = 1u << 4,
  ControlEventTouchDragExit = 1u << 5,
  ControlEventTouchUpInside = 1u << 6,
  ControlEventTouchUpOutside = 1u << 7,
  ControlEventTouchCancel = 1u << 8,
  ControlEventValueChanged = 1u << 12,
  ControlEventAllTouchEvents = 0x0FFFu,
  ControlEventAllEvents = 0xFFFFFFFFu,
};
using ControlEvents = std::uint32_t;

// Bit set of control states; Normal is no bit.
enum ControlState : std::uint32_t {
  ControlStateNormal = 0,
  ControlStateHighlighted = 1u << 0,
  ControlStateDisabled = 1u << 1,
  ControlStateSelected = 1u << 2,
};

class Control : public View {
 public:
  // The action receives the control that sent it and the events that fired it.
  using Action = std::function<void(Control& sender, ControlEvents events)>;

  using View::View;

  // Registers an action for the events. A target (any pointer, never dereferenced) identifies
  // the registration for removal; objects remove theirs before they die.
  void addTarget(const void* target, Action action, ControlEvents forControlEvents);
  // Removes the target's registrations for any of the events (all of them for a null target).
  void removeTarget(const void* target, ControlEvents forControlEvents = ControlEventAllEvents);
  std::size_t actionCount(ControlEvents forControlEvents = ControlEventAllEvents) const;
  // Calls every action registered for any of the events, in registration order.
  void sendActionsForControlEvents(ControlEvents events);

  bool isEnabled() const { return enabled_; }
  void setEnabled(bool e);
  bool isHighlighted() const { return highlighted_; }
  void setHighlighted(bool h);
  bool isSelected() const { return selected_; }
  void setSelected(bool s);
  ControlState state() const;
  bool isTracking() const { return tracking_; }
  bool isTouchInside() const { return touchInside_; }

  // Touch tracking, points in this view's bounds coordinates. Begin sends touch-down (and
  // touch-down-repeat for a tap count above 1), moves send drag inside/outside plus
  // enter/exit at the boundary, end sends touch-up inside or outside, cancel sends cancel.
  // The control is highlighted while the touch is inside.
  virtual void beginTracking(Point p, int tapCount = 1);
  virtual void continueTracking(Point p);
  virtual void endTracking(Point p);
  virtual void cancelTracking();

  // A touch that begins on the control is tracked by it and goes no further up the chain.
  void touchesBegan(const TouchSet& touches, const Event& event) override;
  void touchesMoved(const TouchSet& touches, const Event& event) override;
  void touchesEnded(const TouchSet& touches, const Event& event) override;
  void touchesCancelled(const TouchSet& touches, const Event& event) override;

  // A touch no farther than this outside the bounds still counts as inside.
  static constexpr Float kTrackingSlop = 70;

 protected:
  virtual void stateChanged() { setNeedsDisplay(); }

 private:
  struct Registration {
    const void* target;
    Action action;
    ControlEvents events;
  };
  bool insideForTracking(Point p) const;

  std::vector<Registration> actions_;
  bool enabled_ = true;
  bool highlighted_ = false;
  bool selected_ = false;
  bool tracking_ = false;
  bool touchInside_ = false;
};

class Button : public Control {
 public:
  // Custom draws only what it is given; RoundedRect draws a white rounded box behind the title.
  enum class Type { Custom, RoundedRect };

  explicit Button(Type type = Type::Custom);
  explicit Button(const Rect& frame, Type type = Type::Custom);

  Type buttonType() const { return type_; }

  // Per-state appearance; a state without its own value uses the normal state's.
  void setTitle(std::optional<std::string> title, ControlState forState);
  std::optional<std::string> titleForState(ControlState state) const;
  void setTitleColor(std::optional<Color> color, ControlState forState);
  std::optional<Color> titleColorForState(ControlState state) const;
  void setImage(std::shared_ptr<const Image> image, ControlState forState);
  // The resource image of that name (imageNamed), read when the button first needs it.
  void setImageNamed(std::string name, ControlState forState);
  std::shared_ptr<const Image> imageForState(ControlState state) const;
  // Background images stretch their middle; the caps stay as they are.
  void setBackgroundImage(std::shared_ptr<const Image> image, ControlState forState);
  std::shared_ptr<const Image> backgroundImageForState(ControlState state) const;
  void setBackgroundImageCaps(int leftCap, int topCap) { leftCap_ = leftCap; topCap_ = topCap; }
  int leftCap() const { return leftCap_; }
  int topCap() const { return topCap_; }

  // What the button shows now.
  std::optional<std::string> currentTitle() const { return titleForState(state()); }
  std::optional<Color> currentTitleColor() const { return titleColorForState(state()); }
  std::shared_ptr<const Image> currentImage() const { return imageForState(state()); }
  std::shared_ptr<const Image> currentBackgroundImage() const { return backgroundImageForState(state()); }

  float titleFontSize() const { return titleFontSize_; }
  void setTitleFontSize(float size) { titleFontSize_ = size; setNeedsDisplay(); }
  bool titleIsBold() const { return titleBold_; }
  void setTitleBold(bool bold) { titleBold_ = bold; setNeedsDisplay(); }

  // The current background image (middle stretched, caps kept), image and title, centred.
  void drawRect(GraphicsContext& ctx, const Rect& rect) override;

 private:
  struct Appearance {
    std::optional<std::string> title;
    std::optional<Color> titleColor;
    // Read from imageName at the first look (buttons live on the main thread).
    mutable std::shared_ptr<const Image> image;
    mutable std::string imageName;
    std::shared_ptr<const Image> background;
    const std::shared_ptr<const Image>& loadedImage() const;
  };
  // Kept per state value; a handful at most.
  std::vector<std::pair<ControlState, Appearance>> appearance_;
  Appearance& appearanceFor(ControlState state);
  const Appearance* findAppearance(ControlState state) const;

  Type type_;
  int leftCap_ = 0, topCap_ = 0;
  float titleFontSize_ = 15;
  bool titleBold_ = false;
};

}  // namespace kit
