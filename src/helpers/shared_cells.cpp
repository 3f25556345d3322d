#include "helpers/shared_cells.h"

#include <algorithm>
#include <cstdlib>

#include "helpers/global_helpers_colour.h"
#include "helpers/global_helpers_geometry.h"
#include "kit/graphics/context.h"
#include "kit/graphics/path.h"
#include "kit/typography/font.h"
#include "kit/ui/alert.h"

using kit::Color;
using kit::ControlEvents;
using kit::Float;
using kit::Rect;

namespace {

const Color kDetailBlue(0.31f, 0.4f, 0.56f);
constexpr kit::ControlEvents kDownEvents = kit::ControlEventTouchDown | kit::ControlEventTouchDragEnter;
constexpr kit::ControlEvents kUpEvents = kit::ControlEventTouchDragExit | kit::ControlEventTouchUpInside |
                                         kit::ControlEventTouchUpOutside | kit::ControlEventTouchCancel;

// The pressed and released looks of a button, wired as the interface files wire them.
template <typename Down, typename Up>
void wirePress(kit::Button& button, const void* owner, Down down, Up up) {
  button.addTarget(owner, [down](kit::Control&, ControlEvents) { down(); }, kDownEvents);
  button.addTarget(owner, [up](kit::Control&, ControlEvents) { up(); }, kUpEvents);
}

// An image at its own size, centred vertically, with its left edge at x.
Rect imageBox(const kit::ImageRef& image, Float x, const Rect& in) {
  const kit::Size s = image ? image->size() : kit::Size(0, 0);
  return Rect(x, in.midY() - s.height / 2, s.width, s.height);
}

Color unitColour(RGB1 c) { return kit::clampedColor(Color(c.r, c.g, c.b)); }

}  // namespace

void PressButton::drawRect(kit::GraphicsContext& ctx, const Rect& rect) {
  if (isHighlighted()) {
    const Rect b = bounds();
    kit::fillLinearGradient(ctx, b, Color(0.02f, 0.55f, 0.96f), Color(0.0f, 0.37f, 0.89f), kit::Point(0, b.minY()),
                            kit::Point(0, b.maxY()));
  }
  kit::Button::drawRect(ctx, rect);
}

// ---- EnhancedCell ---------------------------------------------------------------------------------

EnhancedCell::EnhancedCell() : kit::TableViewCell("EnhancedCell") {
  setSelectionStyle(kit::TableViewCellSelectionStyle::Blue);
  theTitleLabel_.setFont(kit::Font::boldSystemFont(17));
  theLabel_.setFont(kit::Font::systemFont(17));
  theLabel_.setTextAlignment(kit::TextAlignment::Right);
  for (kit::View* v : std::initializer_list<kit::View*>{&theIcon_, &theTitleLabel_, &theLabel_, &theDisclosure_, &theButton_})
    contentView().addSubview(v);
  awakeFromNib();
  layoutSubviews();
}

EnhancedCell::~EnhancedCell() { theButton_.removeTarget(this); }

void EnhancedCell::awakeFromNib() {
  wirePress(theButton_, this, [this] { onButtonTouchDown(); }, [this] { onButtonTouchUp(); });
  onButtonTouchUp();
}

void EnhancedCell::onButtonTouchDown() {
  theDisclosure_.setImage(kit::imageNamed("disclosure-selected.png"));
  theLabel_.setTextColor(Color::white());
  theTitleLabel_.setTextColor(Color::white());
  setSelected(true, false);
}

void EnhancedCell::onButtonTouchUp() {
  theDisclosure_.setImage(kit::imageNamed("disclosure.png"));
  theLabel_.setTextColor(kDetailBlue);
  theTitleLabel_.setTextColor(Color::black());
  setSelected(false, false);
}

void EnhancedCell::layoutSubviews() {
  kit::TableViewCell::layoutSubviews();
  const Rect c = contentView().bounds();
  theIcon_.setFrame(Rect(c.minX() + 8, c.midY() - 16, 32, 32));
  theDisclosure_.setFrame(imageBox(theDisclosure_.image(), c.maxX() - 22, c));
  const Float left = c.minX() + 48, right = c.maxX() - 28;
  const Float split = left + (right - left) * 0.55f;
  theTitleLabel_.setFrame(Rect(left, c.minY(), split - left, c.height()));
  theLabel_.setFrame(Rect(split, c.minY(), right - split, c.height()));
  theButton_.setFrame(c);
}

// ---- EnhancedCellDual -----------------------------------------------------------------------------

EnhancedCellDual::EnhancedCellDual() : kit::TableViewCell("EnhancedCellDual") {
  setSelectionStyle(kit::TableViewCellSelectionStyle::None);
  for (int side = 0; side < 2; ++side) {
    label_[side].setFont(kit::Font::boldSystemFont(17));
    disclosure_[side].setImage(kit::imageNamed("disclosure.png"));
    contentView().addSubview(&button_[side]);
    for (kit::View* v : std::initializer_list<kit::View*>{&icon_[side], &label_[side], &disclosure_[side]}) {
      v->setUserInteractionEnabled(false);
      contentView().addSubview(v);
    }
  }
  awakeFromNib();
  layoutSubviews();
}

EnhancedCellDual::~EnhancedCellDual() {
  for (PressButton& b : button_) b.removeTarget(this);
}

void EnhancedCellDual::awakeFromNib() {
  wirePress(button_[0], this, [this] { onButton1TouchDown(); }, [this] { onButton1TouchUp(); });
  wirePress(button_[1], this, [this] { onButton2TouchDown(); }, [this] { onButton2TouchUp(); });
}

void EnhancedCellDual::pressSide(int side, bool down) {
  disclosure_[side].setImage(kit::imageNamed(down ? "disclosure-selected.png" : "disclosure.png"));
  label_[side].setTextColor(down ? Color::white() : Color::black());
}

void EnhancedCellDual::layoutSubviews() {
  kit::TableViewCell::layoutSubviews();
  const Rect c = contentView().bounds();
  const Float half = c.width() / 2;
  for (int side = 0; side < 2; ++side) {
    const Rect h(c.minX() + half * side, c.minY(), half, c.height());
    button_[side].setFrame(h.insetBy(side == 0 ? 0 : 0.5f, 0));
    icon_[side].setFrame(Rect(h.minX() + 6, h.midY() - 14, 28, 28));
    disclosure_[side].setFrame(imageBox(disclosure_[side].image(), h.maxX() - 20, h));
    label_[side].setFrame(Rect(h.minX() + 40, h.minY(), std::max<Float>(0, h.width() - 64), h.height()));
  }
}

// ---- ColourSwatchButton ---------------------------------------------------------------------------

ColourSwatchButton::ColourSwatchButton(const Rect& frame) : kit::Button(frame) { setOpaque(false); }

void ColourSwatchButton::setColourWithRGB255(RGB255 c) {
  rgb1_ = RGB1{c.r / 255.0f, c.g / 255.0f, c.b / 255.0f};
  setNeedsDisplay();
}

void ColourSwatchButton::setColourWithHSV(HSV c) {
  rgb1_ = HSVToRGB1(c);
  setNeedsDisplay();
}

RGB255 ColourSwatchButton::getRGB255() const { return RGB255{rgb1_.r * 255.0f, rgb1_.g * 255.0f, rgb1_.b * 255.0f}; }

kit::Dictionary ColourSwatchButton::getRGBDictionary() const { return RGB255ToDictionary(getRGB255()); }

void ColourSwatchButton::drawRect(kit::GraphicsContext& ctx, const Rect&) {
  const Rect b = bounds();
  const RGB255 c = getRGB255();
  if (cogForDefault_ && c.r == 0 && c.g == 0 && c.b == 254) {
    if (kit::ImageRef cog = kit::imageNamed("gear-small-black.png")) {
      const kit::Size s = cog->size();
      ctx.drawImage(*cog, Rect(b.midX() - s.width / 2, b.midY() - s.height / 2, s.width, s.height));
    }
    return;
  }
  kit::Path path;
  GlobalHelpers::addRoundedRect(b.insetBy(4, 4), path);
  ctx.saveGState();
  GlobalHelpers::setShadow(true, ctx, 0);
  ctx.setFillColor(unitColour(rgb1_));
  ctx.beginPath();
  ctx.addPath(path);
  ctx.fillPath();
  ctx.restoreGState();
}

// ---- NodeEditCellShapeColor -----------------------------------------------------------------------

NodeEditCellShapeColor::NodeEditCellShapeColor() {
  swatch_.setUserInteractionEnabled(false);
  contentView().addSubview(&swatch_);
  layoutSubviews();
}

void NodeEditCellShapeColor::setColourWithRGB255(RGB255 c) {
  swatch_.setCogForDefault(true);
  swatch_.setColourWithRGB255(c);
}

void NodeEditCellShapeColor::layoutSubviews() {
  EnhancedCellDual::layoutSubviews();
  const Rect c = contentView().bounds();
  // In the second half, in place of its icon.
  swatch_.setFrame(Rect(c.midX() + 2, c.midY() - 18, 36, 36));
}

// ---- NodeEditCellProgress -------------------------------------------------------------------------

NodeEditCellProgress::NodeEditCellProgress() : kit::TableViewCell("NodeEditCellProgress") {
  setSelectionStyle(kit::TableViewCellSelectionStyle::None);
  progressLabel_.setFont(kit::Font::boldSystemFont(17));
  progressLabel_.setTextAlignment(kit::TextAlignment::Right);
  progressSlider_.setRange(0, 100);
  for (kit::View* v : std::initializer_list<kit::View*>{&progressIcon_, &progressSlider_, &progressLabel_})
    contentView().addSubview(v);
  layoutSubviews();
}

void NodeEditCellProgress::layoutSubviews() {
  kit::TableViewCell::layoutSubviews();
  const Rect c = contentView().bounds();
  progressIcon_.setFrame(Rect(c.minX() + 8, c.midY() - 14, 28, 28));
  progressLabel_.setFrame(Rect(c.maxX() - 68, c.minY(), 58, c.height()));
  progressSlider_.setFrame(Rect(c.minX() + 44, c.minY(), std::max<Float>(0, c.width() - 44 - 76), c.height()));
}

// ---- ButtonCell -----------------------------------------------------------------------------------

ButtonCell::ButtonCell(const std::string& text, kit::ImageRef image, kit::ImageRef imagePressed)
    : theButton_(std::make_unique<kit::Button>(kit::Button::Type::Custom)),
      buttonHeight_(image ? static_cast<int>(image->size().height) : 0) {
  setSelectionStyle(kit::TableViewCellSelectionStyle::None);
  auto background = std::make_unique<kit::View>();
  background->setBackgroundColor(Color::clear());
  background->setOpaque(false);
  setBackgroundView(std::move(background));
  setBackgroundColor(Color::clear());
  theButton_->setTitle(text, kit::ControlStateNormal);
  theButton_->setTitleColor(Color::white(), kit::ControlStateNormal);
  theButton_->setTitleBold(true);
  theButton_->setBackgroundImage(image, kit::ControlStateNormal);
  theButton_->setBackgroundImage(imagePressed, kit::ControlStateHighlighted);
  theButton_->setBackgroundImageCaps(12, 0);
  theButton_->setBackgroundColor(Color::clear());
  contentView().addSubview(theButton_.get());
  layoutSubviews();
}

void ButtonCell::layoutSubviews() {
  kit::TableViewCell::layoutSubviews();
  const Rect c = contentView().frame();
  theButton_->setFrame(Rect(c.minX(), c.minY(), c.width(), static_cast<Float>(buttonHeight_)));
}

// ---- GradientView ---------------------------------------------------------------------------------

GradientView::GradientView(const Rect& frame) : kit::View(frame) {}

void GradientView::setColourWithHSV(HSV c) {
  const RGB1 rgb = HSVToRGB1(c);
  colour_ = unitColour(rgb);
  setNeedsDisplay();
}

void GradientView::drawRect(kit::GraphicsContext& ctx, const Rect&) {
  const Rect b = bounds();
  kit::fillLinearGradient(ctx, b, Color::black(), colour_, kit::Point(0, 0), kit::Point(b.width(), 0));
}

// ---- UISegmentedControlEx -------------------------------------------------------------------------

UISegmentedControlEx::~UISegmentedControlEx() {
  target_ = nullptr;
  action_ = nullptr;
}

void UISegmentedControlEx::addTarget(const void* target, Action action, kit::ControlEvents forControlEvents) {
  kit::SegmentedControl::addTarget(target, action, forControlEvents);
  target_ = target;
  action_ = std::move(action);
}

void UISegmentedControlEx::setSelectedSegmentIndex(int index) {
  kit::SegmentedControl::setSelectedSegmentIndex(index);
  if (std::strtod(kit::systemVersion().c_str(), nullptr) >= 5.0 && action_) {
    Action action = action_;  // the handler may register again
    action(*this, kit::ControlEventValueChanged);
  }
}

// ---- UIAlertViewEx, UIActionSheetEx ---------------------------------------------------------------

UIAlertViewEx::UIAlertViewEx(std::string title, std::string message, Delegate delegate, std::string cancelButtonTitle,
                             std::vector<std::string> otherButtonTitles)
    : ContextDialog(std::move(delegate)), title_(std::move(title)), message_(std::move(message)) {
  buttons_.push_back(std::move(cancelButtonTitle));
  for (std::string& b : otherButtonTitles) buttons_.push_back(std::move(b));
}

void UIAlertViewEx::show() { kit::Alert::show(title_, message_, buttons_); }

UIActionSheetEx::UIActionSheetEx(std::string title, Delegate delegate, std::string cancelButtonTitle,
                                 std::string destructiveButtonTitle, std::vector<std::string> otherButtonTitles)
    : ContextDialog(std::move(delegate)), title_(std::move(title)) {
  if (!destructiveButtonTitle.empty()) {
    destructive_ = 0;
    buttons_.push_back(std::move(destructiveButtonTitle));
  }
  for (std::string& b : otherButtonTitles) buttons_.push_back(std::move(b));
  if (!cancelButtonTitle.empty()) {
    cancel_ = static_cast<int>(buttons_.size());
    buttons_.push_back(std::move(cancelButtonTitle));
  }
}

void UIActionSheetEx::show() { kit::Alert::show(title_, "", buttons_); }
