#include "helpers/float_over.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "helpers/global_helpers_geometry.h"
#include "kit/core/clock.h"
#include "kit/graphics/context.h"
#include "kit/graphics/path.h"
#include "kit/typography/string_drawing.h"
#include "kit/ui/keyboard.h"
#include "kit/ui/view_animation.h"
#include "kit/ui/window.h"

namespace {

constexpr double kMinimumLifetime = 1.25;

std::function<kit::View*()>& screenProvider() {
  static std::function<kit::View*()> provider;
  return provider;
}

// The shown panels; a panel leaves when it is dismissed.
std::vector<std::shared_ptr<FloatOver>>& shownPanels() {
  static std::vector<std::shared_ptr<FloatOver>> panels;
  return panels;
}

// Reading time: pieces split at blanks and tabs (empty pieces count) x 60 / 200 seconds.
double readingTime(const std::optional<std::string>& title) {
  if (!title) return 0;
  const auto blanks = std::count_if(title->begin(), title->end(), [](char c) { return c == ' ' || c == '\t'; });
  return static_cast<double>(blanks + 1) * 60.0 / 200.0;
}

// Origin rounded; width and height rounded and made even.
kit::Rect wholeEven(const kit::Rect& r) {
  return kit::Rect(kit::roundHalfEven(r.origin.x), kit::roundHalfEven(r.origin.y), kit::roundToEvenWhole(r.size.width),
                   kit::roundToEvenWhole(r.size.height));
}

// The height of the shown keyboard of the view's window; 0 when it is hidden.
float keyboardHeight(const kit::View* v) {
  kit::Window* w = v ? v->window() : nullptr;
  return w && w->keyboard().isVisible() ? w->keyboard().height() : 0.0f;
}

}  // namespace

void FloatOver::setCurrentScreenProvider(std::function<kit::View*()> provider) {
  screenProvider() = std::move(provider);
}

FloatOver::FloatOver() : kit::Button(kit::Rect()) {}

FloatOver::~FloatOver() { endModal(); }

std::shared_ptr<FloatOver> FloatOver::displayModal(bool modal, kit::View* floatOver, int position,
                                                   std::optional<std::string> title, float fontSize, int type,
                                                   double period) {
  std::shared_ptr<FloatOver> p(new FloatOver());
  p->startTime_ = kit::monotonicSeconds();
  if (period != 0) p->setLifetime(std::max(period == -1 ? readingTime(title) : period, kMinimumLifetime));

  kit::View* parent = floatOver;
  const bool onScreen = !parent;
  if (onScreen && screenProvider()) parent = screenProvider()();

  p->bModal_ = modal;
  if (modal && parent) {
    if (kit::Window* w = parent->window()) {
      w->beginIgnoringInteractionEvents();
      p->modalWindow_ = w->aliveToken();
    }
  }
  p->setOpaque(false);
  p->setBackgroundColor(kit::Color::clear());
  p->labelFontSize_ = fontSize;
  if (onScreen && parent) {
    FloatOver* self = p.get();
    auto& centre = kit::NotificationCenter::defaultCenter();
    centre.addObserver(self, kit::kKeyboardWillShow, nullptr, [self](const kit::Notification& n) { self->keyboardWillShow(n); });
    centre.addObserver(self, kit::kKeyboardWillHide, nullptr, [self](const kit::Notification& n) { self->keyboardWillHide(n); });
  }

  p->szLabel_ = title;
  p->floatOverPosition_ = position;
  const kit::Font font = kit::Font::boldSystemFont(fontSize);
  const kit::Size t = title ? kit::sizeWithFont(*title, font, kit::Size(300, 300), kit::LineBreakMode::TailTruncation)
                            : kit::Size();
  const float tw = t.width, th = t.height;

  kit::Rect bounds, text;
  if (type == kProgressBar) {
    p->progressView_ = std::make_unique<kit::ProgressView>();
    const kit::Size bar = p->progressView_->bounds().size;
    p->addSubview(p->progressView_.get());
    float h = bar.height + 30;
    if (th != 0) h += 10 + th;
    bounds = kit::Rect(0, 0, std::trunc(std::max(tw, bar.width) + 20), std::trunc(h + 10));
    p->progressView_->setCenter(kit::Point(bounds.midX(), bar.height / 2 + 30));
  } else if (type == kSpinner) {
    p->spinner_ = std::make_unique<kit::ActivityIndicatorView>();
    const kit::Size s = p->spinner_->bounds().size;
    p->spinner_->startAnimating();
    p->addSubview(p->spinner_.get());
    const float a = std::trunc(std::max(tw, s.width) + 20);
    float c = s.height / 2 + 10;
    if (th != 0) c += 10 + th;
    const float side = std::max(a, std::trunc(2 * c));
    bounds = kit::Rect(0, 0, side, side);
    p->spinner_->setCenter(bounds.mid());
  } else {
    bounds = kit::Rect(0, 0, tw + 20, th + 20);
  }
  if (type == kProgressBar || type == kSpinner) text = kit::Rect(bounds.midX() - tw / 2, bounds.maxY() - 10 - th, tw, th);
  else text = bounds.insetBy(10, 10);
  p->setBounds(bounds);

  if (parent) {
    const kit::Rect pb = parent->bounds();
    const float kh = keyboardHeight(parent);
    const float w = bounds.size.width, h = bounds.size.height;
    switch (position) {
      case kCentre: p->setCenter(kit::Point(pb.midX(), (pb.maxY() - kh) / 2)); break;
      case kBottomRight: p->setCenter(kit::Point(pb.maxX() - w / 2 - 20, pb.maxY() - h / 2 - 20 - kh)); break;
      case kTopRight: p->setCenter(kit::Point(pb.maxX() - w / 2 - 20, h / 2 + 20 + 44)); break;
      default: p->setCenter(pb.origin); break;
    }
    parent->addSubview(p.get());
  }
  p->setFrame(wholeEven(p->frame()));
  if (p->spinner_) p->spinner_->setCenter(p->bounds().mid());
  p->rcLabel_ = wholeEven(text);
  p->setNeedsDisplay();
  if (parent) shownPanels().push_back(p);
  return p;
}

void FloatOver::sleepForRemainderOf(float seconds) {
  const double left = seconds - getElapsedTimeInSecs();
  if (left > 0) kit::sleepFor(left);
}

double FloatOver::getElapsedTimeInSecs() const { return kit::monotonicSeconds() - startTime_; }

void FloatOver::setLifetime(double seconds) {
  kit::RunLoop::main().performAfterDelay(this, "onTimeForGoodbye:", kit::Value(), seconds, [this] { onTimeForGoodbye(); });
}

void FloatOver::onTimeForGoodbye() { dismiss(); }

void FloatOver::endModal() {
  if (!bModal_) return;
  bModal_ = false;
  if (auto alive = modalWindow_.lock()) (*alive)->endIgnoringInteractionEvents();
}

// Takes the panel out of the list of shown panels; the result may be its last owner.
std::shared_ptr<FloatOver> FloatOver::unlist() {
  auto& panels = shownPanels();
  auto it = std::find_if(panels.begin(), panels.end(), [this](const auto& p) { return p.get() == this; });
  if (it == panels.end()) return nullptr;
  std::shared_ptr<FloatOver> owner = std::move(*it);
  panels.erase(it);
  return owner;
}

void FloatOver::dismiss() {
  std::shared_ptr<FloatOver> last = unlist();  // goes at the end
  endModal();
  removeFromSuperview();
  kit::NotificationCenter::defaultCenter().removeObserver(this);
  kit::RunLoop::main().cancelAll(this);
}

void FloatOver::didLeaveSuperview() {
  std::shared_ptr<FloatOver> kept = unlist();
  if (!kept) return;  // being dismissed
  dismiss();
  // The caller is still inside a call on the panel: the list's hold ends at the next pass.
  kit::RunLoop::main().post([kept = std::move(kept)] {});
}

void FloatOver::keyboardWillShow(const kit::Notification& note) { followKeyboard(note, -1); }
void FloatOver::keyboardWillHide(const kit::Notification& note) { followKeyboard(note, 1); }

void FloatOver::followKeyboard(const kit::Notification& note, float direction) {
  kit::View* parent = superview();
  if (!parent || note.object != parent->window()) return;
  if (floatOverPosition_ != kCentre && floatOverPosition_ != kBottomRight) return;
  const kit::Rect end = parent->convertRectFromView(note.userInfo["frame"].rect(), nullptr);
  const double duration = note.userInfo["duration"].doubleValue();
  kit::ViewAnimation::animate(duration, [&] {
    const kit::Point c = center();
    setCenter(kit::Point(c.x, c.y + direction * end.size.height));
  });
}

void FloatOver::fillRoundedRect(const kit::Rect& rect, kit::GraphicsContext& context) {
  kit::Path path;
  GlobalHelpers::addRoundedRect(rect, path);
  context.setFillColor(kit::Color::black(0.8f));
  context.setStrokeColor(kit::Color::gray(0.5f, 1.0f));
  context.addPath(path);
  context.drawPath(kit::PathDrawingMode::FillStroke);
}

void FloatOver::drawRect(kit::GraphicsContext& context, const kit::Rect&) {
  fillRoundedRect(bounds().insetBy(2, 2), context);
  if (!szLabel_) return;
  context.setFillColor(kit::Color::white());
  kit::drawInRect(context, *szLabel_, rcLabel_, kit::Font::boldSystemFont(labelFontSize_),
                  kit::LineBreakMode::TailTruncation, kit::TextAlignment::Center);
}
