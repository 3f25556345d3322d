#include "kit/ui/view_controller.h"

#include <algorithm>

#include "kit/graphics/context.h"
#include "kit/graphics/path.h"
#include "kit/typography/font.h"
#include "kit/typography/string_drawing.h"
#include "kit/ui/controls.h"
#include "kit/ui/window.h"

namespace kit {

// ---- ViewController -------------------------------------------------------------------------------

ViewController::~ViewController() {
  if (view_) {
    if (Window* w = view_->window()) w->viewLeaving(*view_);
    view_->removeFromSuperview();
  }
}

View& ViewController::view() {
  if (!view_) {
    view_ = loadView();
    if (!view_) view_ = std::make_unique<View>(Rect(0, 0, 320, 416));
    viewDidLoad();
  }
  return *view_;
}

std::unique_ptr<View> ViewController::loadView() {
  auto v = std::make_unique<View>(Rect(0, 0, 320, 416));
  v->setBackgroundColor(Color::white());
  return v;
}

void ViewController::setContentSizeForViewInPopover(Size s) {
  popoverSize_ = s;
  if (navigationController_ && navigationController_->topViewController() == this)
    navigationController_->setContentSizeForViewInPopover(Size(s.width, s.height + NavigationController::kBarHeight));
  if (popover_) popover_->contentSizeChanged();
}

// ---- NavigationController -------------------------------------------------------------------------

// The bar: a blue-grey gradient with the top screen's title centred.
class NavigationController::Bar : public View {
 public:
  explicit Bar(NavigationController& nav) : nav_(nav) {}
  void drawRect(GraphicsContext& ctx, const Rect&) override {
    const Rect b = bounds();
    fillLinearGradient(ctx, b, Color(0.69f, 0.74f, 0.8f), Color(0.43f, 0.52f, 0.63f), Point(0, b.minY()),
                       Point(0, b.maxY()));
    ctx.setFillColor(Color(0.18f, 0.24f, 0.32f));
    ctx.fillRect(Rect(b.minX(), b.maxY() - 1, b.width(), 1));
    ViewController* top = nav_.topViewController();
    if (!top || top->title().empty()) return;
    const Font font = Font::boldSystemFont(20);
    const Size s = sizeWithFont(top->title(), font);
    ctx.setFillColor(Color::white());
    drawInRect(ctx, top->title(), Rect(b.minX() + 80, b.midY() - s.height / 2, b.width() - 160, s.height), font,
               LineBreakMode::TailTruncation, TextAlignment::Center);
  }

 private:
  NavigationController& nav_;
};

NavigationController::NavigationController(std::unique_ptr<ViewController> root) {
  if (root) {
    root->navigationController_ = this;
    stack_.push_back(std::move(root));
  }
}

NavigationController::~NavigationController() {
  if (isViewLoaded()) view().removeObserver(this);
  // The screens' views live in ours: let them go first.
  while (!stack_.empty()) stack_.pop_back();
}

std::unique_ptr<View> NavigationController::loadView() {
  auto v = std::make_unique<View>(Rect(0, 0, 320, 460));
  v->setBackgroundColor(Color::white());
  v->setClipsToBounds(true);
  bar_ = std::make_unique<Bar>(*this);
  v->addSubview(bar_.get());
  // A popover or window that resizes the stack resizes the screen on top.
  v->addObserver(this, "bounds", [this](View&, std::string_view) { layoutTop(); });
  return v;
}

ViewController* NavigationController::topViewController() const {
  return stack_.empty() ? nullptr : stack_.back().get();
}

std::vector<ViewController*> NavigationController::viewControllers() const {
  std::vector<ViewController*> list;
  for (const auto& vc : stack_) list.push_back(vc.get());
  return list;
}

void NavigationController::layoutTop() {
  View& v = view();
  const Rect b = v.bounds();
  bar_->setFrame(Rect(b.minX(), b.minY(), b.width(), kBarHeight));
  if (left_) left_->setFrame(Rect(5, 5, left_->bounds().width(), kBarHeight - 10));
  if (right_) right_->setFrame(Rect(b.width() - 5 - right_->bounds().width(), 5, right_->bounds().width(), kBarHeight - 10));
  if (ViewController* top = topViewController(); top && top->isViewLoaded())
    top->view().setFrame(Rect(b.minX(), b.minY() + kBarHeight, b.width(), std::max<Float>(0, b.height() - kBarHeight)));
}

void NavigationController::showTop() {
  View& v = view();
  for (const auto& vc : stack_)
    if (vc.get() != topViewController() && vc->isViewLoaded()) vc->view().removeFromSuperview();
  if (ViewController* top = topViewController()) {
    v.insertSubviewBelow(&top->view(), bar_.get());
    layoutTop();
    const Size s = top->contentSizeForViewInPopover();
    ViewController::setContentSizeForViewInPopover(Size(s.width, s.height + kBarHeight));
  }
  layoutTop();
  updateBar();
}

void NavigationController::updateBar() {
  if (!bar_) return;
  // The old buttons may be running the action that changed the stack: they go next time.
  retired_.clear();
  auto make = [&](const std::optional<BarButtonItem>& item, std::unique_ptr<Button>& into, bool left) {
    if (into) {
      into->removeFromSuperview();
      retired_.push_back(std::move(into));
    }
    if (!item) return;
    into = std::make_unique<Button>(Button::Type::Custom);
    into->setTitle(item->title, ControlStateNormal);
    into->setImage(item->image, ControlStateNormal);
    into->setTitleBold(true);
    into->setTitleFontSize(13);
    Float w = 50;
    if (item->image) w = std::max<Float>(w, item->image->size().width + 10);
    const Rect b = bar_->bounds();
    into->setFrame(left ? Rect(b.minX() + 5, b.minY() + 5, w, kBarHeight - 10)
                        : Rect(b.maxX() - 5 - w, b.minY() + 5, w, kBarHeight - 10));
    std::function<void()> action = item->action;
    into->addTarget(this, [action](Control&, ControlEvents) {
      if (action) action();
    }, ControlEventTouchUpInside);
    bar_->addSubview(into.get());
  };
  ViewController* top = topViewController();
  make(top ? top->navigationItem().leftBarButtonItem : std::nullopt, left_, true);
  make(top ? top->navigationItem().rightBarButtonItem : std::nullopt, right_, false);
  bar_->setNeedsDisplay();
}

void NavigationController::pushViewController(std::unique_ptr<ViewController> vc, bool animated) {
  if (!vc) return;
  ViewController* before = topViewController();
  vc->navigationController_ = this;
  stack_.push_back(std::move(vc));
  if (!isViewLoaded()) return;
  if (visible_ && before) before->viewDidDisappear(animated);
  showTop();
  if (visible_) topViewController()->viewDidAppear(animated);
}

std::unique_ptr<ViewController> NavigationController::popViewControllerAnimated(bool animated) {
  if (stack_.size() < 2) return nullptr;
  std::unique_ptr<ViewController> gone = std::move(stack_.back());
  stack_.pop_back();
  gone->navigationController_ = nullptr;
  if (gone->isViewLoaded()) {
    if (Window* w = gone->view().window()) w->viewLeaving(gone->view());
    gone->view().removeFromSuperview();
  }
  if (visible_) gone->viewDidDisappear(animated);
  if (isViewLoaded()) {
    showTop();
    if (visible_) topViewController()->viewDidAppear(animated);
  }
  return gone;
}

void NavigationController::viewDidAppear(bool animated) {
  visible_ = true;
  showTop();
  if (ViewController* top = topViewController()) top->viewDidAppear(animated);
}

void NavigationController::viewDidDisappear(bool animated) {
  visible_ = false;
  if (ViewController* top = topViewController()) top->viewDidDisappear(animated);
}

// ---- PopoverController ----------------------------------------------------------------------------

namespace {
constexpr Float kPopoverBorder = 8;
constexpr Float kPopoverMinimumHeight = 44;
}  // namespace

// A dark rounded frame with a shadow; the content sits inside the border.
class PopoverController::Frame : public View {
 public:
  Frame() { setOpaque(false); }
  void drawRect(GraphicsContext& ctx, const Rect&) override {
    const Rect b = bounds().insetBy(2, 2);
    ctx.saveGState();
    ctx.setShadow(Size(0, 3), 8, Color::black(0.5f));
    ctx.setFillColor(Color(0.11f, 0.15f, 0.22f));
    ctx.beginPath();
    ctx.addPath(roundedRectPath(b, 10));
    ctx.fillPath();
    ctx.restoreGState();
  }
};

PopoverController::PopoverController(ViewController& content) : content_(content) {}

View* PopoverController::popoverView() const { return frame_.get(); }

PopoverController::~PopoverController() {
  if (visible_) dismissPopoverAnimated(false);
  if (content_.popover_ == this) content_.popover_ = nullptr;
}

Size PopoverController::popoverContentSize() const {
  const Size s = content_.contentSizeForViewInPopover();
  return Size(s.width > 0 ? s.width : 320, std::max(s.height, kPopoverMinimumHeight));
}

void PopoverController::layout() {
  if (!frame_ || !frame_->superview()) return;
  const Size s = popoverContentSize();
  const Rect host = frame_->superview()->bounds();
  const Size outer(s.width + 2 * kPopoverBorder, s.height + 2 * kPopoverBorder);
  Float x = std::clamp<Float>(from_.midX() - outer.width / 2, host.minX(), std::max(host.minX(), host.maxX() - outer.width));
  Float y = std::clamp<Float>(from_.maxY(), host.minY(), std::max(host.minY(), host.maxY() - outer.height));
  frame_->setFrame(Rect(x, y, outer.width, outer.height));
  content_.view().setFrame(Rect(kPopoverBorder, kPopoverBorder, s.width, s.height));
  frame_->setNeedsDisplay();
}

void PopoverController::presentFromRect(const Rect& from, View& host, bool animated) {
  if (visible_) dismissPopoverAnimated(false);
  from_ = from;
  if (!frame_) frame_ = std::make_unique<Frame>();
  content_.popover_ = this;
  host.addSubview(frame_.get());
  frame_->addSubview(&content_.view());
  visible_ = true;
  layout();
  content_.viewDidAppear(animated);
}

void PopoverController::dismissPopoverAnimated(bool animated) {
  if (!visible_) return;
  visible_ = false;
  if (Window* w = frame_->window()) w->viewLeaving(*frame_);
  content_.view().removeFromSuperview();
  frame_->removeFromSuperview();
  content_.viewDidDisappear(animated);
}

void PopoverController::contentSizeChanged() {
  if (visible_) layout();
}

}  // namespace kit
