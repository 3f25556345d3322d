// The small views several screens share: table cells with a pressed look, cells built around one
// control, the colour swatch and brightness strip of the colour pickers, a segmented control that
// also reports selections made in code, and a button, alert and action sheet carrying a context.
// The cells that an interface file would describe build their parts in code.
#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "helpers/colour_types.h"
#include "kit/core/value.h"
#include "kit/typography/font.h"
#include "kit/ui/controls.h"
#include "kit/ui/table_view.h"

// A button that shows the selection gradient while pressed (the halves of the dual cell).
class PressButton : public kit::Button {
 public:
  PressButton() { setOpaque(false); }
  void drawRect(kit::GraphicsContext& ctx, const kit::Rect& rect) override;
};

// Icon, title, detail text and disclosure over one button covering the cell; pressing the button
// shows the selected look.
class EnhancedCell : public kit::TableViewCell {
 public:
  EnhancedCell();
  ~EnhancedCell() override;
  kit::Button& theButton() { return theButton_; }
  kit::ImageView& theDisclosure() { return theDisclosure_; }
  kit::Label& theTitleLabel() { return theTitleLabel_; }
  kit::Label& theLabel() { return theLabel_; }
  kit::ImageView& theIcon() { return theIcon_; }
  void awakeFromNib();
  void onButtonTouchDown();
  void onButtonTouchUp();
  void layoutSubviews() override;

 private:
  kit::Button theButton_;
  kit::ImageView theDisclosure_, theIcon_;
  kit::Label theTitleLabel_, theLabel_;
};

// Two halves, each an icon, a label, a disclosure and a button; the cell itself never selects.
class EnhancedCellDual : public kit::TableViewCell {
 public:
  EnhancedCellDual();
  ~EnhancedCellDual() override;
  kit::Label& theLabel1() { return label_[0]; }
  kit::Label& theLabel2() { return label_[1]; }
  kit::Button& theButton1() { return button_[0]; }
  kit::Button& theButton2() { return button_[1]; }
  kit::ImageView& theDisclosure1() { return disclosure_[0]; }
  kit::ImageView& theDisclosure2() { return disclosure_[1]; }
  kit::ImageView& theIcon1() { return icon_[0]; }
  kit::ImageView& theIcon2() { return icon_[1]; }
  void awakeFromNib();
  void onButton1TouchDown() { pressSide(0, true); }
  void onButton1TouchUp() { pressSide(0, false); }
  void onButton2TouchDown() { pressSide(1, true); }
  void onButton2TouchUp() { pressSide(1, false); }
  void layoutSubviews() override;

 private:
  void pressSide(int side, bool down);
  PressButton button_[2];
  kit::Label label_[2];
  kit::ImageView disclosure_[2], icon_[2];
};

// A rounded swatch of one colour; the unset colour shows as a cog when asked.
class ColourSwatchButton : public kit::Button {
 public:
  explicit ColourSwatchButton(const kit::Rect& frame = kit::Rect());
  RGB1 rgb1() const { return rgb1_; }
  bool cogForDefault() const { return cogForDefault_; }
  void setCogForDefault(bool c) { cogForDefault_ = c; setNeedsDisplay(); }
  void setColourWithRGB255(RGB255 c);
  void setColourWithHSV(HSV c);
  RGB255 getRGB255() const;
  void copyColourFrom(const ColourSwatchButton& other) { setColourWithRGB255(other.getRGB255()); }
  // {"r", "g", "b"} on 0..255, floating-point numbers.
  kit::Dictionary getRGBDictionary() const;
  void drawRect(kit::GraphicsContext& ctx, const kit::Rect& rect) override;

 private:
  RGB1 rgb1_;
  bool cogForDefault_ = false;
};

class NodeEditCellShapeColor : public EnhancedCellDual {
 public:
  NodeEditCellShapeColor();
  ColourSwatchButton& selectedColorIcon() { return swatch_; }
  // The unset colour shows as a cog.
  void setColourWithRGB255(RGB255 c);
  void layoutSubviews() override;

 private:
  ColourSwatchButton swatch_;
};

// The task page drives its label, slider and icon.
class NodeEditCellProgress : public kit::TableViewCell {
 public:
  NodeEditCellProgress();
  kit::Label& progressLabel() { return progressLabel_; }
  kit::Slider& progressSlider() { return progressSlider_; }
  kit::ImageView& progressIcon() { return progressIcon_; }
  void awakeFromNib() {}
  void layoutSubviews() override;

 private:
  kit::Label progressLabel_;
  kit::Slider progressSlider_;
  kit::ImageView progressIcon_;
};

// One text control in the system font of 16 points, of the stored height, placed 8 points in
// and 12 down, as wide as the content less 16; no selection highlight.
template <typename Control>
class OneControlCell : public kit::TableViewCell {
 public:
  explicit OneControlCell(int controlHeight) : control_(std::make_unique<Control>()), height_(controlHeight) {
    setSelectionStyle(kit::TableViewCellSelectionStyle::None);
    control_->setFont(kit::Font::systemFont(16));
    contentView().addSubview(control_.get());
    layoutSubviews();
  }
  ~OneControlCell() override { control_->removeFromSuperview(); }
  void layoutSubviews() override {
    kit::TableViewCell::layoutSubviews();
    const kit::Rect c = contentView().frame();
    control_->setFrame(kit::Rect(c.minX() + 8, c.minY() + 12, std::max<kit::Float>(0, c.width() - 16),
                                 static_cast<kit::Float>(height_)));
  }

 protected:
  std::unique_ptr<Control> control_;

 private:
  int height_;
};

// Without a border.
class TextFieldCell : public OneControlCell<kit::TextField> {
 public:
  explicit TextFieldCell(int textFieldHeight) : OneControlCell(textFieldHeight) {
    control_->setBorderStyle(kit::TextField::BorderStyle::None);
  }
  kit::TextField& textField() { return *control_; }
};

// On a clear background.
class TextViewCell : public OneControlCell<kit::TextView> {
 public:
  explicit TextViewCell(int textViewHeight) : OneControlCell(textViewHeight) {
    control_->setBackgroundColor(kit::Color::clear());
  }
  kit::TextView& textView() { return *control_; }
};

// One full-width button with stretchable images for the normal and pressed looks, as tall as the
// normal image.
class ButtonCell : public kit::TableViewCell {
 public:
  ButtonCell(const std::string& text, kit::ImageRef image, kit::ImageRef imagePressed);
  kit::Button& theButton() { return *theButton_; }
  int buttonHeight() const { return buttonHeight_; }
  void layoutSubviews() override;

 private:
  std::unique_ptr<kit::Button> theButton_;
  int buttonHeight_;
};

// A strip from black at the left to the colour at the right.
class GradientView : public kit::View {
 public:
  explicit GradientView(const kit::Rect& frame = kit::Rect());
  void setColourWithHSV(HSV c);
  kit::Color colour() const { return colour_; }
  void drawRect(kit::GraphicsContext& ctx, const kit::Rect& rect) override;

 private:
  kit::Color colour_ = kit::Color::black();
};

// Remembers the last target and action registered, and sends it for selections made in code
// as well (on system 5.0 and later).
class UISegmentedControlEx : public kit::SegmentedControl {
 public:
  using kit::SegmentedControl::SegmentedControl;
  ~UISegmentedControlEx() override;
  void addTarget(const void* target, Action action, kit::ControlEvents forControlEvents);
  void setSelectedSegmentIndex(int index) override;

 private:
  const void* target_ = nullptr;
  Action action_;
};

class UIButtonEx : public kit::Button {
 public:
  using kit::Button::Button;
  const kit::Value& userContext() const { return userContext_; }
  void setUserContext(kit::Value c) { userContext_ = std::move(c); }

 private:
  kit::Value userContext_;
};

// What an alert and an action sheet share: the buttons, the context, and the owner's callback
// that gets the pressed button's index back with the dialog itself.
template <typename Self>
class ContextDialog {
 public:
  using Delegate = std::function<void(Self& dialog, int buttonIndex)>;
  const kit::Value& userContext() const { return userContext_; }
  void setUserContext(kit::Value c) { userContext_ = std::move(c); }
  const std::vector<std::string>& buttonTitles() const { return buttons_; }
  // The user pressed a button; an index outside the buttons reports nothing.
  void dismissWithClickedButtonIndex(int index) {
    if (index < 0 || index >= static_cast<int>(buttons_.size()) || !delegate_) return;
    Delegate d = delegate_;  // the owner may let the dialog go
    d(static_cast<Self&>(*this), index);
  }

 protected:
  explicit ContextDialog(Delegate delegate) : delegate_(std::move(delegate)) {}
  std::vector<std::string> buttons_;

 private:
  Delegate delegate_;
  kit::Value userContext_;
};

// The cancel button comes first.
class UIAlertViewEx : public ContextDialog<UIAlertViewEx> {
 public:
  UIAlertViewEx(std::string title, std::string message, Delegate delegate, std::string cancelButtonTitle,
                std::vector<std::string> otherButtonTitles = {});
  int cancelButtonIndex() const { return 0; }
  void show();

 private:
  std::string title_, message_;
};

// The destructive button (when given) comes first, the cancel button last.
class UIActionSheetEx : public ContextDialog<UIActionSheetEx> {
 public:
  UIActionSheetEx(std::string title, Delegate delegate, std::string cancelButtonTitle,
                  std::string destructiveButtonTitle, std::vector<std::string> otherButtonTitles = {});
  int cancelButtonIndex() const { return cancel_; }
  int destructiveButtonIndex() const { return destructive_; }
  void show();

 private:
  std::string title_;
  int cancel_ = -1, destructive_ = -1;
};
