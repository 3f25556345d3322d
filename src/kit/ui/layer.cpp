#include "kit/ui/layer.h"

#include <algorithm>

namespace kit {

Layer::~Layer() {
  for (auto& l : sublayers_) l->superlayer_ = nullptr;
}

void Layer::addSublayer(std::shared_ptr<Layer> layer) { insertSublayer(std::move(layer), sublayers_.size()); }

void Layer::insertSublayer(std::shared_ptr<Layer> layer, std::size_t index) {
  if (!layer || layer.get() == this) return;
  // Taking a reference first: removal from the old superlayer may drop its last owner.
  std::shared_ptr<Layer> keep = std::move(layer);
  keep->removeFromSuperlayer();
  keep->superlayer_ = this;
  noteScreenChange();
  sublayers_.insert(sublayers_.begin() + static_cast<std::ptrdiff_t>(std::min(index, sublayers_.size())), keep);
}

void Layer::removeFromSuperlayer() {
  Layer* s = superlayer_;
  if (!s) return;
  superlayer_ = nullptr;
  noteScreenChange();
  auto& v = s->sublayers_;
  v.erase(std::remove_if(v.begin(), v.end(), [this](const std::shared_ptr<Layer>& l) { return l.get() == this; }),
          v.end());
}

void Layer::render(GraphicsContext& context) const {
  if (hidden_) return;
  context.saveGState();
  if (!transform_.isIdentity()) context.concatCTM(transform_);
  drawContent(context);
  for (const auto& l : sublayers_) l->render(context);
  context.restoreGState();
}

void ShapeLayer::drawContent(GraphicsContext& context) const {
  if (path_.isEmpty()) return;
  if (fill_ && fill_->alpha > 0) {
    context.setFillColor(*fill_);
    context.beginPath();
    context.addPath(path_);
    context.fillPath();
  }
  if (stroke_ && stroke_->alpha > 0 && lineWidth_ > 0) {
    context.setStrokeColor(*stroke_);
    context.setLineWidth(lineWidth_);
    context.beginPath();
    context.addPath(path_);
    context.strokePath();
  }
}

}  // namespace kit
