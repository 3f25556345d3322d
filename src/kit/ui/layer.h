// Light layers drawn above a view's tiles: a tree of plain layers and shape layers, each with a
// transform, composited over the tiles when a frame is drawn. Moving a layer (its transform)
// redraws nothing else, which is what a drag needs.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "kit/core/geometry.h"
#include "kit/graphics/color.h"
#include "kit/graphics/context.h"
#include "kit/graphics/path.h"
#include "kit/ui/screen_updates.h"

namespace kit {

class Layer {
 public:
  Layer() = default;
  virtual ~Layer();
  Layer(const Layer&) = delete;
  Layer& operator=(const Layer&) = delete;

  Layer* superlayer() const { return superlayer_; }
  const std::vector<std::shared_ptr<Layer>>& sublayers() const { return sublayers_; }
  // On top of the others.
  void addSublayer(std::shared_ptr<Layer> layer);
  // At index (0 is drawn first); an index past the end adds on top.
  void insertSublayer(std::shared_ptr<Layer> layer, std::size_t index);
  void removeFromSuperlayer();

  // Applied to this layer's content and sublayers, in the superlayer's coordinates.
  const AffineTransform& transform() const { return transform_; }
  void setTransform(const AffineTransform& t) {
    transform_ = t;
    noteScreenChange();
  }
  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden) {
    hidden_ = hidden;
    noteScreenChange();
  }

  // Draws the layer and its sublayers into context, whose user space is the superlayer's.
  void render(GraphicsContext& context) const;

 protected:
  virtual void drawContent(GraphicsContext&) const {}

 private:
  Layer* superlayer_ = nullptr;
  std::vector<std::shared_ptr<Layer>> sublayers_;
  AffineTransform transform_;
  bool hidden_ = false;
};

// A path filled, then stroked; no colour means that part is not drawn.
class ShapeLayer : public Layer {
 public:
  const Path& path() const { return path_; }
  void setPath(Path path) {
    path_ = std::move(path);
    noteScreenChange();
  }
  const std::optional<Color>& strokeColor() const { return stroke_; }
  void setStrokeColor(std::optional<Color> c) {
    stroke_ = c;
    noteScreenChange();
  }
  const std::optional<Color>& fillColor() const { return fill_; }
  void setFillColor(std::optional<Color> c) {
    fill_ = c;
    noteScreenChange();
  }
  Float lineWidth() const { return lineWidth_; }
  void setLineWidth(Float w) {
    lineWidth_ = w;
    noteScreenChange();
  }

 protected:
  void drawContent(GraphicsContext& context) const override;

 private:
  Path path_;
  std::optional<Color> stroke_;
  std::optional<Color> fill_;
  Float lineWidth_ = 1;
};

}  // namespace kit
