// Canvas drawing: what a drawing of a region shows (links, wedges, guides, boundaries, canvas
// colour), what it leaves out (outside the clip, hidden and folded branches, the dragged
// branch), how redraw requests recompute boundaries, and which topics a tile draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "canvas/drawing_test_support.h"
#include "model/tree_builder.h"

using kit::GraphicsContext;
using kit::Point;
using kit::Rect;

namespace {

class CanvasDrawingTest : public DrawingTest {
 protected:
  void SetUp() override {
    DrawingTest::SetUp();
    root = make(nullptr, {}, "Central");
    c = root->center();
    right = make(root, Point(c.x + 400, c.y), "Right");
    left = make(root, Point(c.x - 400, c.y), "Left");
    right->setColourWithRGB255(RGB255{255, 0, 0}, false, false);
    left->setColourWithRGB255(RGB255{0, 0, 255}, false, false);
    region = Rect(c.x - 600, c.y - 300, 1200, 600);
  }

  kit::ImageRef draw(int type, const Rect& clip) {
    return render(region, [&](GraphicsContext& g) { canvas->drawInContext(g, type, clip); });
  }
  // The strongest alpha within r points of p.
  int alphaNear(const kit::ImageRef& img, Point p, int r = 1) const {
    int best = 0;
    for (int dy = -r; dy <= r; ++dy)
      for (int dx = -r; dx <= r; ++dx) best = std::max(best, alphaAt(img, region, Point(p.x + dx, p.y + dy)));
    return best;
  }
  // The middle of the side-to-side link from k to its parent (a straight line when level).
  Point linkMiddle(NodeView* k) const {
    Point s, e;
    int type = 3;
    EXPECT_TRUE(BigView::calculateInterTopicLinkGeometryFrom(k, k->parentNode(), s, e, type));
    EXPECT_EQ(type, 3);
    return Point((s.x + e.x) / 2, (s.y + e.y) / 2);
  }

  NodeView* root = nullptr;
  NodeView* right = nullptr;
  NodeView* left = nullptr;
  Point c;
  Rect region;
};

// ---- Links --------------------------------------------------------------------------------------

TEST_F(CanvasDrawingTest, LinkTakesTheChildsColour) {
  auto img = draw(2, region);
  Point m = linkMiddle(right);
  auto px = img->pixelAt(static_cast<int>(m.x - region.minX()), static_cast<int>(m.y - region.minY()) - 1);
  ASSERT_TRUE(px);
  EXPECT_GT(px->alpha, 200);
  EXPECT_GT(px->red, 200);
  EXPECT_LT(px->blue, 60);
  EXPECT_GT(alphaNear(img, linkMiddle(left)), 200);
}

TEST_F(CanvasDrawingTest, OnlyLinksMeetingTheClipAreDrawn) {
  // The image is not clipped: only the culling keeps the left link out.
  Rect rightOnly(c.x + 150, c.y - 100, 400, 200);
  auto img = draw(2, rightOnly);
  EXPECT_GT(alphaNear(img, linkMiddle(right)), 200);
  EXPECT_EQ(alphaNear(img, linkMiddle(left)), 0);
}

TEST_F(CanvasDrawingTest, HiddenTopicEndsItsBranchesWalk) {
  NodeView* grandchild = make(right, Point(right->center().x + 300, c.y), "Grandchild");
  Point gm = linkMiddle(grandchild);
  make(right, Point(c.x + 200, c.y - 200), "Floating")->setIsFloating(true, false);
  NodeView* floatingChild = make(right->childNodes().back().get(), Point(c.x + 500, c.y - 200));
  right->setAlpha(0);
  auto img = draw(2, region);
  EXPECT_EQ(alphaNear(img, linkMiddle(right)), 0);
  EXPECT_EQ(alphaNear(img, gm), 0);
  EXPECT_GT(alphaNear(img, linkMiddle(floatingChild)), 200);  // but for floating topics
  EXPECT_GT(alphaNear(img, linkMiddle(left)), 200);
}

TEST_F(CanvasDrawingTest, FoldedTopicKeepsOnlyItsCalloutsLinks) {
  NodeView* normal = make(right, Point(right->center().x + 300, c.y), "Normal");
  NodeView* callout = make(right, Point(right->center().x, c.y - 200), "Callout");
  callout->setIsCallout(true, false);
  NodeViewTestAccess::setFolded(right, true);
  Point nm = linkMiddle(normal);
  Point tip, b1, b2;
  BigView::createReverseTaperedLinkPathFrom(right, callout, tip, b1, b2);
  ASSERT_NE(tip, Point());
  Point wedge((tip.x + b1.x + b2.x) / 3, (tip.y + b1.y + b2.y) / 3);
  auto img = draw(2, region);
  EXPECT_EQ(alphaNear(img, nm), 0);
  EXPECT_GT(alphaNear(img, wedge, 0), 200);
}

TEST_F(CanvasDrawingTest, DimmedChildDrawsAFaintLinkInItsFillColour) {
  right->setBrightness(0.1f);
  auto img = draw(2, region);
  int a = alphaNear(img, linkMiddle(right));
  EXPECT_GT(a, 15);
  EXPECT_LT(a, 35);
  EXPECT_GT(alphaNear(img, linkMiddle(left)), 200);
}

TEST_F(CanvasDrawingTest, TaperedLinksAreWedgesIntoTheRootOnly) {
  NodeView* grandchild = make(right, Point(right->center().x + 300, c.y), "Grandchild");
  Point s, e;
  int type = 3;
  ASSERT_TRUE(BigView::calculateInterTopicLinkGeometryFrom(right, root, s, e, type));
  Point nearParent(e.x + 3, e.y + 5);  // inside a 14-wide base, outside a 2-wide stroke
  Point gs, ge;
  ASSERT_TRUE(BigView::calculateInterTopicLinkGeometryFrom(grandchild, right, gs, ge, type));
  Point deepNearParent(ge.x + 3, ge.y + 5);

  auto plain = draw(2, region);
  EXPECT_EQ(alphaNear(plain, nearParent, 0), 0);
  AppServices::setTaperLinksFlag(true);
  auto tapered = draw(2, region);
  EXPECT_GT(alphaNear(tapered, nearParent, 0), 200);
  EXPECT_EQ(alphaNear(tapered, deepNearParent, 0), 0);
  EXPECT_GT(alphaNear(tapered, linkMiddle(grandchild)), 200);
}

TEST_F(CanvasDrawingTest, DraggedBranchIsLeftOut) {
  NodeView* grandchild = make(right, Point(right->center().x + 300, c.y), "Grandchild");
  Point gm = linkMiddle(grandchild);
  BigViewDrawingTestAccess::setDraggingTopic(*canvas, right);
  auto img = draw(0, region);
  BigViewDrawingTestAccess::setDraggingTopic(*canvas, nullptr);
  EXPECT_EQ(alphaNear(img, linkMiddle(right)), 0);
  EXPECT_EQ(alphaNear(img, gm), 0);
  EXPECT_GT(alphaNear(img, linkMiddle(left)), 200);
}

// ---- Floating topics -------------------------------------------------------------------------------

class FloatingGuideTest : public CanvasDrawingTest {
 protected:
  void SetUp() override {
    CanvasDrawingTest::SetUp();
    floating = make(root, Point(c.x, c.y - 250), "Floating");
    floating->setIsFloating(true, false);
    Point tip, b1, b2;
    BigView::createReverseTaperedLinkPathFrom(root, floating, tip, b1, b2);
    guide = Point((tip.x + b1.x + b2.x) / 3, (tip.y + b1.y + b2.y) / 3);
  }
  NodeView* floating = nullptr;
  Point guide;
};

TEST_F(FloatingGuideTest, NoLinkAndNoGuideByDefault) {
  auto img = draw(0, region);
  EXPECT_EQ(alphaNear(img, guide, 0), 0);
}

TEST_F(FloatingGuideTest, GuideOnlyOnScreenWhileGuidesAreOn) {
  BigViewDrawingTestAccess::setFloatingGuidesOn(*canvas, true);
  int screen = alphaNear(draw(0, region), guide, 0);
  EXPECT_GT(screen, 15);
  EXPECT_LT(screen, 35);  // alpha 0.1
  EXPECT_GT(alphaNear(draw(3, region), guide, 0), 15);
  EXPECT_EQ(alphaNear(draw(1, region), guide, 0), 0);
  EXPECT_EQ(alphaNear(draw(2, region), guide, 0), 0);
}

// ---- Boundaries and redraw requests -------------------------------------------------------------

TEST_F(CanvasDrawingTest, RedrawRequestRecomputesBoundariesOnce) {
  right->setHasBoundary(true, false);
  ASSERT_TRUE(right->boundaryPoints().empty());
  canvas->requestRedraw();
  EXPECT_TRUE(BigViewDrawingTestAccess::redrawEvent(*canvas));
  draw(2, region);
  EXPECT_FALSE(BigViewDrawingTestAccess::redrawEvent(*canvas));
  EXPECT_FALSE(right->boundaryPoints().empty());

  right->setBoundaryPoints({});
  draw(2, region);
  EXPECT_TRUE(right->boundaryPoints().empty());
  canvas->requestRedraw();
  canvas->requestRedraw();
  draw(2, region);
  EXPECT_FALSE(right->boundaryPoints().empty());
}

TEST_F(CanvasDrawingTest, BoundaryIsFilledAroundItsBranchAndCulled) {
  right->setHasBoundary(true, false);
  canvas->requestRedraw();
  Rect f = right->getAdjustedNodeFrame();
  // Just outside the topic, inside the outline grown by 10 points.
  Point inside(f.midX(), f.minY() - 4);
  auto img = draw(2, region);
  EXPECT_GT(alphaNear(img, inside, 0), 200);

  Rect away(c.x - 600, c.y - 300, 100, 100);
  auto culled = draw(2, away);
  EXPECT_EQ(alphaNear(culled, inside, 0), 0);
}

TEST_F(CanvasDrawingTest, RequestRedrawMarksTheLayerAndTheExternalDisplay) {
  int external = 0;
  BigView::setExternalDisplayRedraw([&] { ++external; });
  canvas->layer().displayRect(Rect());  // clears the mark
  ASSERT_FALSE(canvas->layer().needsDisplay());
  canvas->requestRedraw();
  EXPECT_TRUE(canvas->layer().needsDisplay());
  EXPECT_EQ(external, 0);
  AppServices::setExternalDisplayFlag(true);
  canvas->requestRedraw();
  EXPECT_EQ(external, 1);
  BigView::setExternalDisplayRedraw(nullptr);
  canvas->requestRedraw();  // no receiver: nothing happens
  EXPECT_EQ(external, 1);
}

TEST_F(CanvasDrawingTest, NothingIsDrawnWithoutARoot) {
  BigView empty(Rect(0, 0, 34560, 30720));
  empty.setParentController(&doc);
  empty.requestRedraw();
  auto img = render(Rect(0, 0, 100, 100), [&](GraphicsContext& g) { empty.drawInContext(g, 0, Rect(0, 0, 100, 100)); });
  EXPECT_EQ(img->pixelAt(50, 50)->alpha, 0);
  EXPECT_TRUE(BigViewDrawingTestAccess::redrawEvent(empty));
  empty.preDealloc();
}

// ---- Tiles ------------------------------------------------------------------------------------------

TEST_F(CanvasDrawingTest, TileFillsWithTheCanvasColour) {
  Rect tile(c.x - 600, c.y - 300, 64, 64);  // no topic, no link
  auto img = render(tile, [&](GraphicsContext& g) {
    g.clipToRect(tile);
    canvas->drawLayer(g, tile);
  });
  auto px = img->pixelAt(10, 10);
  EXPECT_EQ(px->alpha, 255);
  EXPECT_EQ(px->red, 255);
  EXPECT_EQ(px->blue, 255);
}

TEST_F(CanvasDrawingTest, TileDrawsOnlyTheTopicsMeetingIt) {
  NodeView* hidden = make(right, Point(right->center().x + 300, c.y), "Hidden");
  for (NodeView* n : {root, right, left, hidden}) n->setNodeModTally(NodeModTally::Colour);
  hidden->setAlpha(0);
  Rect tile = right->frame().unionWith(hidden->frame());
  render(tile, [&](GraphicsContext& g) {
    g.clipToRect(tile);
    canvas->drawLayer(g, tile);
  });
  // Drawing a topic clears its tally.
  EXPECT_EQ(right->nodeModTally(), 0u);
  EXPECT_NE(left->nodeModTally(), 0u);
  EXPECT_NE(root->nodeModTally(), 0u);
  EXPECT_NE(hidden->nodeModTally(), 0u);
}

TEST_F(CanvasDrawingTest, TileLeavesTheDraggedTopicToItsView) {
  right->setNodeModTally(NodeModTally::Colour);
  BigViewDrawingTestAccess::setDraggingTopic(*canvas, right);
  Rect tile = right->frame();
  render(tile, [&](GraphicsContext& g) { canvas->drawLayer(g, tile); });
  BigViewDrawingTestAccess::setDraggingTopic(*canvas, nullptr);
  EXPECT_NE(right->nodeModTally(), 0u);
}

TEST_F(CanvasDrawingTest, SynchronousLayerDrawingMatchesTheTiles) {
  kit::TiledLayer& layer = canvas->layer();
  Rect view(c.x - 512, c.y - 256, 1024, 512);
  layer.displayRect(view);
  layer.waitUntilIdle();
  auto tiled = render(view, [&](GraphicsContext& g) { EXPECT_GT(layer.drawTiles(g, view), 0); });
  auto direct = render(view, [&](GraphicsContext& g) { layer.drawInContext(g, view); });
  int differing = 0;
  for (int y = 0; y < 512; y += 3)
    for (int x = 0; x < 1024; x += 3)
      if (!(*tiled->pixelAt(x, y) == *direct->pixelAt(x, y))) ++differing;
  EXPECT_EQ(differing, 0);
}

TEST_F(CanvasDrawingTest, SharedWalkDrawsEachTileAsItsOwnWalkWould) {
  // Topics, links and a boundary spread over several tiles, some on tile edges.
  NodeView* far = make(right, Point(c.x + 700, c.y + 180), "Far right");
  make(left, Point(c.x - 650, c.y - 200), "Far left");
  make(far, Point(c.x + 900, c.y - 120), "Leaf");
  right->setHasBoundary(true, false);
  canvas->requestRedraw();
  const float s = 256;
  std::vector<Rect> tiles;
  for (int r = 0; r < 3; ++r)
    for (int k = 0; k < 5; ++k) tiles.push_back(Rect(c.x - 640 + k * s, c.y - 384 + r * s, s, s));
  Rect area = Rect::null();
  for (const Rect& t : tiles) area = area.unionWith(t);
  kit::TiledLayer::Delegate drawer = canvas->prepareLayerTiles(area);
  ASSERT_TRUE(drawer);
  EXPECT_FALSE(BigViewDrawingTestAccess::redrawEvent(*canvas));
  int differing = 0, painted = 0;
  for (const Rect& t : tiles) {
    auto shared = render(t, [&](GraphicsContext& g) {
      g.clipToRect(t);
      drawer(g, t);
    });
    auto own = render(t, [&](GraphicsContext& g) {
      g.clipToRect(t);
      canvas->drawLayer(g, t);
    });
    for (int y = 0; y < 256; y += 2)
      for (int x = 0; x < 256; x += 2) {
        if (!(*shared->pixelAt(x, y) == *own->pixelAt(x, y))) ++differing;
        if (shared->pixelAt(x, y)->red != 255 || shared->pixelAt(x, y)->blue != 255) ++painted;
      }
  }
  EXPECT_EQ(differing, 0);
  EXPECT_GT(painted, 0);
}

// Links are cut to what a tile can show and wedges that pass a tile by are left out: a small
// tile along long links, a wedge and their shadows shows what a large drawing shows there,
// and the tile over no link stays blank.
TEST_F(CanvasDrawingTest, LongLinksInASmallTileMatchALargeDrawing) {
  NodeView* deep = make(right, Point(c.x + 460, c.y + 2400), "Deep");
  NodeView* far = make(root, Point(c.x - 1500, c.y - 2200), "Far");
  make(deep, Point(c.x + 900, c.y + 100), "Back up");
  const Rect large(c.x - 1600, c.y - 2400, 2600, 5000);
  // Tiles over the middles of the long links, one of them over no link at all.
  const std::vector<Rect> tiles{Rect(c.x + 380, c.y + 1100, 64, 64), Rect(c.x - 800, c.y - 1200, 64, 64),
                                Rect(c.x + 600, c.y + 1000, 64, 64), Rect(c.x - 780, c.y - 1020, 64, 64)};
  for (bool decorated : {false, true}) {
    AppServices::setTaperLinksFlag(decorated);
    AppServices::setDropShadowFlag(decorated);
    auto whole = render(large, [&](GraphicsContext& g) { canvas->drawLayer(g, large); });
    int inked = 0, differing = 0;
    for (const Rect& t : tiles) {
      auto tile = render(t, [&](GraphicsContext& g) {
        g.clipToRect(t);
        canvas->drawLayer(g, t);
      });
      for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
          auto a = tile->pixelAt(x, y);
          auto b = whole->pixelAt(static_cast<int>(t.minX() - large.minX()) + x, static_cast<int>(t.minY() - large.minY()) + y);
          // Cairo rounds a few edge pixels of a small surface a step or two apart.
          if (std::abs(a->red - b->red) > 4 || std::abs(a->green - b->green) > 4 || std::abs(a->blue - b->blue) > 4)
            ++differing;
          if (a->red != 255 || a->green != 255 || a->blue != 255) ++inked;
        }
    }
    EXPECT_EQ(differing, 0) << decorated;
    EXPECT_GT(inked, 100) << decorated;
  }
  (void)far;
}

TEST_F(CanvasDrawingTest, NoSharedWalkWithoutARoot) {
  BigView empty(Rect(0, 0, 4096, 4096));
  EXPECT_FALSE(empty.prepareLayerTiles(Rect(0, 0, 1024, 1024)));
}

TEST_F(CanvasDrawingTest, DetachedLayerDrawsNothingMore) {
  kit::TiledLayer& layer = canvas->layer();
  canvas->detachLayer();
  EXPECT_FALSE(layer.hasDelegate());
  layer.displayRect(Rect(c.x - 512, c.y - 256, 1024, 512));
  layer.waitUntilIdle();
  EXPECT_EQ(layer.tilesDrawn(), 0u);
}

}  // namespace
