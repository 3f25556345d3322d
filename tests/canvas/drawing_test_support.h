// Support for the canvas drawing tests: access to the drag and guide state, exact placement of
// topics by their shape frames, and rendering a region of the canvas into an image.
#pragma once

#include <functional>

#include "canvas/big_view.h"
#include "canvas/canvas_test_support.h"
#include "kit/graphics/image_context.h"
#include "model/app_services.h"

class BigViewDrawingTestAccess {
 public:
  static void setDraggingTopic(BigView& c, NodeView* t) { c.draggingTopic_ = t; }
  static void setFloatingGuidesOn(BigView& c, bool on) { c.bFloatingGuidesOn_ = on; }
  static bool redrawEvent(const BigView& c) { return c.redrawEvent_; }
};

// Process-wide drawing values back to their defaults around each test.
class DrawingTest : public CanvasTest {
 protected:
  void SetUp() override {
    CanvasTest::SetUp();
    resetFlags();
  }
  void TearDown() override {
    CanvasTest::TearDown();
    resetFlags();
  }
  static void resetFlags() {
    AppServices::setTaperLinksFlag(false);
    AppServices::setDropShadowFlag(false);
    AppServices::setCurrentCanvasStyle(0);
    AppServices::setExternalDisplayFlag(false);
  }

  // Moves the topic (alone) horizontally so that its shape frame starts at x, or ends at x.
  static void placeMinX(NodeView* n, float x) {
    float dx = x - n->getAdjustedNodeShapeFrame().minX();
    n->setCenter(kit::Point(n->center().x + dx, n->center().y));
  }
  static void placeMaxX(NodeView* n, float x) {
    float dx = x - n->getAdjustedNodeShapeFrame().maxX();
    n->setCenter(kit::Point(n->center().x + dx, n->center().y));
  }
  static void placeMinY(NodeView* n, float y) {
    float dy = y - n->getAdjustedNodeShapeFrame().minY();
    n->setCenter(kit::Point(n->center().x, n->center().y + dy));
  }

  // The canvas region drawn by `draw` into a transparent image of the region's size (one pixel
  // per point, the region's origin at the image's top left).
  static kit::ImageRef render(const kit::Rect& region, const std::function<void(kit::GraphicsContext&)>& draw) {
    auto ic = kit::ImageContext::create(region.size, false, 1);
    if (!ic) return nullptr;
    kit::GraphicsContext& g = ic->context();
    g.translateCTM(-region.minX(), -region.minY());
    draw(g);
    return ic->image();
  }
  // Alpha of the pixel at canvas point p of an image rendered for region.
  static int alphaAt(const kit::ImageRef& img, const kit::Rect& region, kit::Point p) {
    auto px = img->pixelAt(static_cast<int>(p.x - region.minX()), static_cast<int>(p.y - region.minY()));
    return px ? px->alpha : -1;
  }
};
