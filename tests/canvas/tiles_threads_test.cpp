// Tiles drawn on worker threads while the main thread keeps editing the map. The main thread's
// handling of each edit holds the global tree lock, as every tile does for its whole drawing;
// under ThreadSanitizer this test shows that nothing a tile reads changes beneath it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "canvas/drawing_test_support.h"

using kit::GraphicsContext;
using kit::Point;
using kit::Rect;

namespace {

class TilesThreadsTest : public DrawingTest {};

// Within a few levels: translucent layers antialias a little differently at a tile's edge (a
// stale tile differs by whole shapes).
bool close(kit::Pixel a, kit::Pixel b) {
  auto near = [](int x, int y) { return std::abs(x - y) <= 8; };
  return near(a.red, b.red) && near(a.green, b.green) && near(a.blue, b.blue) && near(a.alpha, b.alpha);
}

TEST_F(TilesThreadsTest, EditingWhileTilesDraw) {
  NodeView* root = make(nullptr, {}, "Central");
  const Point c = root->center();
  const Rect visible(c.x - 1024, c.y - 768, 2048, 1536);
  std::vector<NodeView*> topics{root};
  std::mt19937 rng(7);
  auto pick = [&] { return topics[std::uniform_int_distribution<std::size_t>(0, topics.size() - 1)(rng)]; };
  auto offset = [&] { return std::uniform_real_distribution<float>(-900, 900)(rng); };

  {
    kit::LockGuard edit(AppServices::globalTreeLock());
    for (int i = 0; i < 60; ++i) topics.push_back(make(pick(), Point(c.x + offset(), c.y + offset() / 2), "Topic"));
  }
  AppServices::setTaperLinksFlag(true);
  canvas->requestRedraw();
  canvas->displayLayer(visible);

  for (int round = 0; round < 60; ++round) {
    {
      kit::LockGuard edit(AppServices::globalTreeLock());
      NodeView* t = pick();
      switch (round % 6) {
        case 0:
          topics.push_back(make(t, Point(c.x + offset(), c.y + offset() / 2), "New"));
          break;
        case 1:
          if (t != root) {
            std::vector<NodeView*> gone = t->getListOfDescendents();
            std::erase_if(topics, [&](NodeView* n) { return std::find(gone.begin(), gone.end(), n) != gone.end(); });
            canvas->deleteBranch(t);
          }
          break;
        case 2:
          t->moveByX(offset() / 10, offset() / 10, true);
          break;
        case 3:
          t->setColourWithRGB255(RGB255{static_cast<float>(round * 4), 90, 200}, false, false);
          break;
        case 4:
          t->setHasBoundary(!t->hasBoundary(), false);
          break;
        case 5:
          t->setBrightness(round % 12 == 5 ? 0.1f : 1.0f);
          t->recursivelyUpdateVisiblity();
          break;
      }
      canvas->setNeedsDisplay();
    }
    canvas->requestRedraw();
    canvas->displayLayer(visible);
  }
  canvas->layer().waitUntilIdle();
  EXPECT_GT(canvas->layer().tilesDrawn(), 0u);
  EXPECT_GE(canvas->layer().maxTilesInFlight(), 1);

  // After the last pass the tiles show the map as it is now.
  canvas->displayLayer(visible);
  canvas->layer().waitUntilIdle();
  Rect probe(c.x - 512, c.y - 384, 1024, 768);
  auto tiled = render(probe, [&](GraphicsContext& g) { canvas->layer().drawTiles(g, probe); });
  auto direct = render(probe, [&](GraphicsContext& g) { canvas->layer().drawInContext(g, probe); });
  int differing = 0;
  for (int y = 0; y < 768; y += 4)
    for (int x = 0; x < 1024; x += 4)
      if (!close(*tiled->pixelAt(x, y), *direct->pixelAt(x, y))) ++differing;
  // A stale tile differs over whole topics and links (hundreds of samples); a few edge pixels
  // where a link's stroked pieces meet may antialias differently.
  EXPECT_LE(differing, 8);
}

TEST_F(TilesThreadsTest, TakingTheCanvasDownWhileTilesDraw) {
  NodeView* root = make(nullptr, {}, "Central");
  const Point c = root->center();
  for (int i = 0; i < 40; ++i) make(root, Point(c.x + (i % 2 ? 300.0f : -300.0f), c.y + 30.0f * i - 600), "Topic");
  const Rect visible(c.x - 2048, c.y - 2048, 4096, 4096);
  canvas->requestRedraw();
  canvas->displayLayer(visible);
  // Taken down with tiles queued and drawing: once preDealloc returns no tile draws again, and
  // none is queued by a later frame.
  canvas->preDealloc();
  const std::size_t drawn = canvas->layer().tilesDrawn();
  canvas->requestRedraw();
  canvas->displayLayer(visible);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  canvas->layer().waitUntilIdle();
  EXPECT_EQ(canvas->layer().tilesDrawn(), drawn);
  EXPECT_EQ(canvas->layer().tilesInFlight(), 0);
}

}  // namespace
