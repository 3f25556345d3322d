// The tiled layer: which tiles are drawn and redrawn, what a tile's context looks like, the
// drawing lock around every drawing, detaching while tiles draw, and the synchronous path.
#include "kit/ui/tiled_layer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "kit/core/run_loop.h"
#include "kit/graphics/image_context.h"
#include "kit/ui/screen_updates.h"

namespace kit {
namespace {

using namespace std::chrono_literals;

// Waits up to two seconds for the condition.
template <typename Pred>
bool eventually(Pred pred) {
  auto until = std::chrono::steady_clock::now() + 2s;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// Records each tile drawn and how many drawings ran at once.
struct Recorder {
  std::mutex m;
  std::multiset<std::pair<int, int>> tiles;  // (x, y) of each tile rect drawn
  std::atomic<int> running{0}, maxRunning{0}, calls{0};

  TiledLayer::Delegate delegate() {
    return [this](GraphicsContext& g, const Rect& r) {
      int now = ++running;
      int seen = maxRunning.load();
      while (now > seen && !maxRunning.compare_exchange_weak(seen, now)) {
      }
      ++calls;
      g.setFillColor(Color(1, 0, 0));
      g.fillRect(Rect(-100000, -100000, 200000, 200000));
      {
        std::lock_guard<std::mutex> l(m);
        tiles.insert({static_cast<int>(r.minX()), static_cast<int>(r.minY())});
      }
      --running;
    };
  }
  std::size_t count() {
    std::lock_guard<std::mutex> l(m);
    return tiles.size();
  }
  std::size_t countOf(int x, int y) {
    std::lock_guard<std::mutex> l(m);
    return tiles.count({x, y});
  }
};

class TiledLayerTest : public ::testing::Test {
 protected:
  TiledLayerTest() : layer(Size(256, 256), 3) {
    layer.setBounds(Rect(0, 0, 4096, 4096));
    layer.setDelegate(rec.delegate());
  }
  ~TiledLayerTest() override { layer.setDelegate(nullptr); }
  Recorder rec;
  RecursiveLock lock;
  TiledLayer layer;
};

// ---- Which tiles are drawn ---------------------------------------------------------------------

TEST_F(TiledLayerTest, DrawsEachVisibleTileOnceUntilMarked) {
  layer.displayRect(Rect(10, 10, 600, 300));  // columns 0-2, rows 0-1
  layer.waitUntilIdle();
  EXPECT_EQ(rec.count(), 6u);
  EXPECT_TRUE(layer.isTileCurrent(2, 1));
  EXPECT_FALSE(layer.isTileCurrent(3, 0));

  layer.displayRect(Rect(10, 10, 600, 300));
  layer.waitUntilIdle();
  EXPECT_EQ(rec.count(), 6u);

  layer.setNeedsDisplayInRect(Rect(300, 20, 10, 10));
  EXPECT_FALSE(layer.isTileCurrent(1, 0));
  EXPECT_TRUE(layer.isTileCurrent(0, 0));
  layer.displayRect(Rect(10, 10, 600, 300));
  layer.waitUntilIdle();
  EXPECT_EQ(rec.count(), 7u);
  EXPECT_EQ(rec.countOf(256, 0), 2u);

  layer.setNeedsDisplay();
  layer.displayRect(Rect(10, 10, 600, 300));
  layer.waitUntilIdle();
  EXPECT_EQ(rec.count(), 13u);
}

TEST_F(TiledLayerTest, ATileThatFailedIsDrawnAgainOnlyOnceMarked) {
  std::atomic<int> calls{0};
  layer.setDelegate([&calls](GraphicsContext& g, const Rect&) { calls += 1, cairo_scale(g.cairo(), 0, 0); });  // fails
  for (int pass = 0; pass < 3; ++pass, layer.waitUntilIdle()) {
    if (pass == 2) layer.setNeedsDisplay();
    layer.displayRect(Rect(10, 10, 100, 100));
  }
  EXPECT_EQ(calls, 2);  // not on every frame while idle
}

TEST_F(TiledLayerTest, VisiblePartsOnlyDrawsWhatIsSeenAndGrowsAsItScrollsIn) {
  std::mutex m;
  std::vector<Rect> clips;  // the clip of each drawing, in layer coordinates
  layer.setDelegate([&](GraphicsContext& g, const Rect&) {
    {
      std::lock_guard<std::mutex> l(m);
      clips.push_back(g.clipBoundingBox());
    }
    g.setFillColor(Color(1, 0, 0));
    g.fillRect(Rect(-1000, -1000, 10000, 10000));
  });
  layer.setDrawsVisiblePartsOnly(true);
  layer.displayRect(Rect(100.5f, 10, 50, 40));  // inside tile (0, 0)
  layer.waitUntilIdle();
  ImageRef first = layer.tileImage(0, 0);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->pixelAt(100, 20)->red, 255);  // the half-covered pixel is drawn whole
  EXPECT_EQ(first->pixelAt(99, 20)->alpha, 0);
  EXPECT_EQ(first->pixelAt(200, 20)->alpha, 0);
  EXPECT_TRUE(layer.isTileCurrent(0, 0));

  // Scrolled right: only the newly seen strip is drawn, the first part kept.
  layer.displayRect(Rect(140, 10, 80, 40));
  layer.waitUntilIdle();
  ImageRef grown = layer.tileImage(0, 0);
  EXPECT_EQ(grown->pixelAt(120, 20)->red, 255);
  EXPECT_EQ(grown->pixelAt(210, 20)->red, 255);
  EXPECT_EQ(grown->pixelAt(230, 20)->alpha, 0);
  // Back inside what is drawn: nothing more.
  layer.displayRect(Rect(110, 15, 60, 30));
  layer.waitUntilIdle();
  std::lock_guard<std::mutex> l(m);
  ASSERT_EQ(clips.size(), 2u);
  EXPECT_EQ(clips[0], Rect(100, 10, 51, 40));
  EXPECT_EQ(clips[1], Rect(151, 10, 69, 40));
}

TEST_F(TiledLayerTest, EdgesOnATileBoundaryDoNotReachTheNextTile) {
  layer.displayRect(Rect(0, 0, 512, 256));
  layer.waitUntilIdle();
  EXPECT_EQ(rec.count(), 2u);
}

// A visible edge a rounding error past a tile's edge shows no pixel of the next tile: it is not
// drawn, and the visible part counts as finished without it.
TEST_F(TiledLayerTest, ATileTouchedOnlyByRoundingIsNeitherDrawnNorAwaited) {
  layer.setDrawsVisiblePartsOnly(true);
  layer.setContentsScale(1.278834f);
  const Rect visible(100, 100, 412.0001f, 100);  // ends 0.0001 points into column 2
  layer.displayRect(visible);
  layer.waitUntilIdle();
  EXPECT_EQ(rec.count(), 2u);
  EXPECT_TRUE(layer.isVisibleCurrent(visible));
}

TEST_F(TiledLayerTest, NeedsDisplayIsClearedByTheNextDisplayPass) {
  EXPECT_FALSE(layer.needsDisplay());
  layer.setNeedsDisplay();
  EXPECT_TRUE(layer.needsDisplay());
  layer.displayRect(Rect(0, 0, 10, 10));
  EXPECT_FALSE(layer.needsDisplay());
  layer.setNeedsDisplayInRect(Rect(0, 0, 1, 1));
  EXPECT_TRUE(layer.needsDisplay());
}

TEST_F(TiledLayerTest, NothingOutsideTheBounds) {
  layer.displayRect(Rect(5000, 5000, 300, 300));
  layer.displayRect(Rect::null());
  layer.waitUntilIdle();
  EXPECT_EQ(rec.count(), 0u);
}

TEST_F(TiledLayerTest, TileContextIsInLayerCoordinatesAndClippedToTheTile) {
  layer.setDelegate([](GraphicsContext& g, const Rect&) {
    g.setFillColor(Color(1, 0, 0));
    g.fillRect(Rect(-1000, -1000, 10000, 10000));
    g.setFillColor(Color(0, 0, 1));
    g.fillRect(Rect(300, 10, 20, 20));
  });
  layer.displayRect(Rect(256, 0, 10, 10));
  layer.waitUntilIdle();
  ImageRef img = layer.tileImage(1, 0);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->pixelWidth(), 256);
  EXPECT_EQ(img->pixelAt(50, 15)->blue, 255);
  EXPECT_EQ(img->pixelAt(5, 5)->red, 255);
  EXPECT_EQ(layer.tileRect(1, 0), Rect(256, 0, 256, 256));
}

TEST_F(TiledLayerTest, ContentsScaleSizesTheTileImages) {
  layer.setContentsScale(2);
  layer.displayRect(Rect(0, 0, 10, 10));
  layer.waitUntilIdle();
  ASSERT_TRUE(layer.tileImage(0, 0));
  EXPECT_EQ(layer.tileImage(0, 0)->pixelWidth(), 512);
  layer.setContentsScale(0);  // refused
  EXPECT_EQ(layer.contentsScale(), 2);
}

TEST_F(TiledLayerTest, NewBoundsOriginDropsEveryTile) {
  layer.displayRect(Rect(0, 0, 10, 10));
  layer.waitUntilIdle();
  ASSERT_TRUE(layer.tileImage(0, 0));
  layer.setBounds(Rect(100, 0, 4096, 4096));
  EXPECT_FALSE(layer.tileImage(0, 0));
  EXPECT_EQ(layer.tileRect(0, 0), Rect(100, 0, 256, 256));
}

TEST_F(TiledLayerTest, DrawTilesPaintsTheFinishedTiles) {
  layer.displayRect(Rect(0, 0, 300, 100));
  layer.waitUntilIdle();
  auto ic = ImageContext::create(Size(600, 100));
  EXPECT_EQ(layer.drawTiles(ic->context(), Rect(0, 0, 600, 100)), 2);
  ImageRef img = ic->image();
  EXPECT_EQ(img->pixelAt(400, 50)->red, 255);
  EXPECT_EQ(img->pixelAt(550, 50)->alpha, 0);  // column 2 was never drawn
}

TEST_F(TiledLayerTest, TileMarkedWhileBeingDrawnStaysMarked) {
  std::mutex m;
  std::condition_variable cv;
  bool started = false, proceed = false;
  layer.setDelegate([&](GraphicsContext&, const Rect&) {
    std::unique_lock<std::mutex> l(m);
    started = true;
    cv.notify_all();
    cv.wait(l, [&] { return proceed; });
  });
  layer.displayRect(Rect(0, 0, 10, 10));
  {
    std::unique_lock<std::mutex> l(m);
    cv.wait(l, [&] { return started; });
  }
  layer.setNeedsDisplay();
  {
    std::lock_guard<std::mutex> l(m);
    proceed = true;
  }
  cv.notify_all();
  layer.waitUntilIdle();
  EXPECT_TRUE(layer.tileImage(0, 0));
  EXPECT_FALSE(layer.isTileCurrent(0, 0));
  layer.displayRect(Rect(0, 0, 10, 10));
  layer.waitUntilIdle();
  EXPECT_TRUE(layer.isTileCurrent(0, 0));
}

// ---- Batches ------------------------------------------------------------------------------------

// Records the areas a preparer was asked for and the rectangles its drawers drew; a drawer fills
// its rectangle blue with one red pixel at (517, 261), which lies in tile (2, 1).
struct BatchRecorder {
  std::mutex m;
  std::vector<Rect> areas, drawn;
  std::atomic<int> outside{0};  // drawings outside the area prepared for them

  TiledLayer::BatchPreparer preparer() {
    return [this](const Rect& area) -> TiledLayer::Delegate {
      {
        std::lock_guard<std::mutex> l(m);
        areas.push_back(area);
      }
      return [this, area](GraphicsContext& g, const Rect& r) {
        if (!area.contains(r)) ++outside;
        g.setFillColor(Color(0, 0, 1));
        g.fillRect(r);
        g.setFillColor(Color(1, 0, 0));
        g.fillRect(Rect(517, 261, 1, 1));
        std::lock_guard<std::mutex> l(m);
        drawn.push_back(r);
      };
    };
  }
};

TEST_F(TiledLayerTest, TilesOfAPassArePreparedOnceAndDrawnInOneHoldOfTheLock) {
  BatchRecorder batch;
  layer.setDelegate(rec.delegate(), batch.preparer());
  layer.setDrawingLock(&lock);
  lock.lock();
  layer.displayRect(Rect(10, 10, 600, 300));  // columns 0-2, rows 0-1
  // One worker took every tile of the pass.
  EXPECT_TRUE(eventually([&] { return layer.tilesInFlight() == 6; }));
  lock.unlock();
  layer.waitUntilIdle();
  ASSERT_EQ(batch.areas.size(), 1u);
  EXPECT_EQ(batch.areas[0], Rect(0, 0, 768, 512));
  // Drawn as one picture, which the tiles share.
  EXPECT_EQ(batch.drawn, std::vector<Rect>{Rect(0, 0, 768, 512)});
  EXPECT_EQ(rec.calls.load(), 0);
  EXPECT_EQ(layer.tilesDrawn(), 6u);
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_TRUE(layer.isTileCurrent(c, r));
  ImageRef tile = layer.tileImage(2, 1);
  ASSERT_TRUE(tile);
  EXPECT_EQ(tile->pixelWidth(), 256);
  EXPECT_EQ(tile->pixelAt(5, 5)->red, 255);
  EXPECT_EQ(tile->pixelAt(6, 5)->blue, 255);
  EXPECT_EQ(tile->pixelAt(5, 6)->blue, 255);
  EXPECT_EQ(layer.tileImage(1, 1)->pixelAt(255, 5)->blue, 255);
}

TEST_F(TiledLayerTest, EdgeTilesOfAPassMakeOnePictureOfTheVisibleRectangle) {
  BatchRecorder batch;
  layer.setDelegate(rec.delegate(), batch.preparer());
  layer.setDrawsVisiblePartsOnly(true);
  layer.displayRect(Rect(500.5f, 250, 300, 100));  // the edges of columns 1-3, rows 0-1
  layer.waitUntilIdle();
  EXPECT_EQ(batch.drawn, std::vector<Rect>{Rect(500, 250, 301, 100)});
  ImageRef tile = layer.tileImage(2, 1);
  ASSERT_TRUE(tile);
  EXPECT_EQ(tile->pixelAt(5, 5)->red, 255);
  EXPECT_EQ(tile->pixelAt(6, 5)->blue, 255);
  EXPECT_EQ(tile->pixelAt(5, 94)->alpha, 0);  // below what was visible
  ASSERT_TRUE(layer.tileImage(1, 0));
  EXPECT_EQ(layer.tileImage(1, 0)->pixelAt(244, 249)->alpha, 0);
  EXPECT_EQ(layer.tileImage(1, 0)->pixelAt(244, 250)->blue, 255);
  // A picture shows on screen where its tiles are.
  auto ic = ImageContext::create(Size(1024, 512));
  layer.drawTiles(ic->context(), Rect(0, 0, 1024, 512));
  ImageRef screen = ic->image();
  EXPECT_EQ(screen->pixelAt(517, 261)->red, 255);
  EXPECT_EQ(screen->pixelAt(518, 261)->blue, 255);
  EXPECT_EQ(screen->pixelAt(800, 300)->blue, 255);
  EXPECT_EQ(screen->pixelAt(801, 300)->alpha, 0);

  // Marked tiles that do not fill a rectangle: the row that does is one picture, the other tile
  // is drawn on its own (its drawer is asked for the tile, clipped to the part).
  layer.setNeedsDisplayInRect(Rect(600, 260, 1, 1));  // tile (2, 1)
  layer.setNeedsDisplayInRect(Rect(780, 100, 1, 1));  // tile (3, 0)
  layer.setNeedsDisplayInRect(Rect(780, 300, 1, 1));  // tile (3, 1)
  {
    std::lock_guard<std::mutex> l(batch.m);
    batch.drawn.clear();
  }
  layer.displayRect(Rect(500.5f, 250, 300, 100));
  layer.waitUntilIdle();
  std::lock_guard<std::mutex> l(batch.m);
  ASSERT_EQ(batch.drawn.size(), 2u);
  auto drew = [&](const Rect& r) { return std::find(batch.drawn.begin(), batch.drawn.end(), r) != batch.drawn.end(); };
  EXPECT_TRUE(drew(Rect(512, 256, 289, 94)));
  EXPECT_TRUE(drew(Rect(768, 0, 256, 256)));
  EXPECT_EQ(layer.tileImage(2, 1)->pixelAt(5, 5)->red, 255);
}

TEST(TiledLayerPictures, TilesTooWideForOnePictureAreDrawnOneByOne) {
  TiledLayer wide(Size(20000, 1), 2);  // two tiles side by side: 40,000 pixels
  wide.setBounds(Rect(0, 0, 40000, 1));
  BatchRecorder batch;
  wide.setDelegate([](GraphicsContext&, const Rect&) {}, batch.preparer());
  wide.displayRect(Rect(0, 0, 40000, 1));
  wide.waitUntilIdle();
  EXPECT_EQ(batch.drawn.size(), 2u);
  ASSERT_TRUE(wide.isTileCurrent(1, 0));
  EXPECT_EQ(wide.tileImage(1, 0)->pixelAt(19999, 0)->blue, 255);
  wide.setDelegate(nullptr);
}

TEST_F(TiledLayerTest, LargePassesAreSplitIntoBoundedBatches) {
  BatchRecorder batch;
  layer.setDelegate(rec.delegate(), batch.preparer());
  layer.displayRect(Rect(0, 0, 4096, 2048));  // 128 tiles
  layer.waitUntilIdle();
  EXPECT_GE(batch.areas.size(), 8u);
  EXPECT_EQ(batch.outside.load(), 0);
  EXPECT_EQ(layer.tilesDrawn(), 128u);
  // Every tile drawn once: pictures that do not overlap and cover the pass.
  double covered = 0;
  for (std::size_t i = 0; i < batch.drawn.size(); ++i) {
    covered += static_cast<double>(batch.drawn[i].width()) * batch.drawn[i].height();
    for (std::size_t k = i + 1; k < batch.drawn.size(); ++k)
      EXPECT_TRUE(batch.drawn[i].intersection(batch.drawn[k]).isEmpty());
  }
  EXPECT_EQ(covered, 4096.0 * 2048);
}

TEST_F(TiledLayerTest, BatchesUnderTheDrawingLockAreAllDrawnByOneWorker) {
  std::mutex m;
  std::set<std::thread::id> threads;
  layer.setDrawingLock(&lock);
  layer.setDelegate(rec.delegate(), [&](const Rect&) -> TiledLayer::Delegate {
    return [&](GraphicsContext&, const Rect&) {
      std::lock_guard<std::mutex> l(m);
      threads.insert(std::this_thread::get_id());
    };
  });
  for (int pass = 0; pass < 20; ++pass) {
    layer.setNeedsDisplay();
    layer.displayRect(Rect(0, 0, 4096, 1024));  // 64 tiles, four batches
    if (pass % 2) layer.waitUntilIdle();
  }
  layer.waitUntilIdle();
  EXPECT_EQ(threads.size(), 1u);
  EXPECT_EQ(layer.maxTilesInFlight(), 16);
}

TEST_F(TiledLayerTest, WithoutADrawerTheDelegateDrawsTheBatch) {
  std::atomic<int> prepared{0};
  layer.setDelegate(rec.delegate(), [&](const Rect&) -> TiledLayer::Delegate {
    ++prepared;
    return nullptr;
  });
  layer.displayRect(Rect(0, 0, 1024, 256));
  layer.waitUntilIdle();
  EXPECT_GE(prepared.load(), 1);
  EXPECT_EQ(rec.count(), 4u);
  EXPECT_TRUE(layer.isTileCurrent(3, 0));
}

TEST_F(TiledLayerTest, DetachDropsThePreparer) {
  BatchRecorder batch;
  layer.setDelegate(rec.delegate(), batch.preparer());
  layer.setDrawingLock(&lock);
  lock.lock();
  layer.displayRect(Rect(0, 0, 1024, 512));
  ASSERT_TRUE(eventually([&] { return layer.tilesInFlight() > 0; }));
  layer.setDelegate(nullptr);  // must not wait for the lock this thread holds
  lock.unlock();
  layer.waitUntilIdle();
  EXPECT_TRUE(batch.areas.empty());
  EXPECT_EQ(layer.tilesDrawn(), 0u);
}

// ---- The drawing lock and detaching ------------------------------------------------------------

TEST_F(TiledLayerTest, TilesWaitForTheDrawingLockAndDrawOneAtATime) {
  layer.setDrawingLock(&lock);
  lock.lock();
  layer.displayRect(Rect(0, 0, 1024, 512));  // 8 tiles
  // Several tiles are taken at once, all waiting for the lock.
  EXPECT_TRUE(eventually([&] { return layer.tilesInFlight() == 3; }));
  EXPECT_EQ(rec.calls.load(), 0);
  lock.unlock();
  layer.waitUntilIdle();
  EXPECT_EQ(rec.count(), 8u);
  EXPECT_EQ(rec.maxRunning.load(), 1);
  EXPECT_EQ(layer.maxTilesInFlight(), 3);
}

TEST_F(TiledLayerTest, DetachWhileHoldingTheDrawingLockCallsTilesOff) {
  layer.setDrawingLock(&lock);
  lock.lock();
  layer.displayRect(Rect(0, 0, 1024, 512));
  ASSERT_TRUE(eventually([&] { return layer.tilesInFlight() > 0; }));
  layer.setDelegate(nullptr);  // must not wait for the lock this thread holds
  lock.unlock();
  layer.waitUntilIdle();
  EXPECT_EQ(rec.calls.load(), 0);
  EXPECT_EQ(layer.tilesDrawn(), 0u);
  EXPECT_FALSE(layer.hasDelegate());
}

TEST_F(TiledLayerTest, DetachWaitsForTheTileBeingDrawn) {
  std::atomic<bool> started{false}, finished{false};
  layer.setDelegate([&](GraphicsContext&, const Rect&) {
    started = true;
    std::this_thread::sleep_for(50ms);
    finished = true;
  });
  layer.displayRect(Rect(0, 0, 10, 10));
  ASSERT_TRUE(eventually([&] { return started.load(); }));
  layer.setDelegate(nullptr);
  EXPECT_TRUE(finished.load());
  // The tile was drawn for a delegate that is gone: it is not shown.
  EXPECT_FALSE(layer.tileImage(0, 0));
}

TEST_F(TiledLayerTest, ScrolledAwayTilesLeaveTheQueue) {
  layer.setDrawingLock(&lock);
  lock.lock();
  layer.displayRect(Rect(0, 0, 2048, 2048));  // 64 tiles
  ASSERT_TRUE(eventually([&] { return layer.tilesInFlight() == 3; }));
  layer.displayRect(Rect(2900, 2900, 100, 100));
  lock.unlock();
  layer.waitUntilIdle();
  // The three already taken, and the one now visible.
  EXPECT_EQ(rec.count(), 4u);
  EXPECT_EQ(rec.countOf(2816, 2816), 1u);
}

TEST_F(TiledLayerTest, SynchronousDrawingClipsAndHoldsTheLock) {
  layer.setDrawingLock(&lock);
  bool lockedElsewhere = true;
  layer.setDelegate([&](GraphicsContext& g, const Rect& r) {
    std::thread other([&] {
      lockedElsewhere = !lock.try_lock();
      if (!lockedElsewhere) lock.unlock();
    });
    other.join();
    EXPECT_EQ(r, Rect(10, 10, 20, 20));
    g.setFillColor(Color(0, 1, 0));
    g.fillRect(Rect(0, 0, 100, 100));
  });
  auto ic = ImageContext::create(Size(100, 100));
  layer.drawInContext(ic->context(), Rect(10, 10, 20, 20));
  EXPECT_TRUE(lockedElsewhere);
  ImageRef img = ic->image();
  EXPECT_EQ(img->pixelAt(15, 15)->green, 255);
  EXPECT_EQ(img->pixelAt(50, 50)->alpha, 0);
  EXPECT_EQ(layer.tilesDrawn(), 0u);  // not a tile
}

// A host's toolkit hangs copies onto the tile images it is given to draw, which must not be torn
// down on a worker: while a host listens, the images a worker replaces, whole or grown from a
// part, are freed by the main run loop.
TEST_F(TiledLayerTest, WhileAHostListensReplacedTileImagesAreFreedOnTheMainThread) {
  static std::atomic<std::thread::id> freedOn;
  static cairo_user_data_key_t key;
  struct Listening {
    Listening() { setHostListensForTiles(true); }
    ~Listening() { setHostListensForTiles(false); }
  } listening;
  auto watchTile = [&] {
    ImageRef image = layer.tileImage(0, 0);
    ASSERT_TRUE(image);
    cairo_surface_set_user_data(image->surface(), &key, &key, [](void*) { freedOn = std::this_thread::get_id(); });
    freedOn = std::thread::id();
  };
  auto expectFreedByTheMainLoop = [&] {
    layer.waitUntilIdle();
    EXPECT_EQ(freedOn.load(), std::thread::id());
    while (RunLoop::main().hasPostedWork()) RunLoop::main().runOnce();
    EXPECT_EQ(freedOn.load(), std::this_thread::get_id());
  };

  layer.displayRect(Rect(0, 0, 256, 256));
  layer.waitUntilIdle();
  watchTile();
  layer.setNeedsDisplay();
  layer.displayRect(Rect(0, 0, 256, 256));
  expectFreedByTheMainLoop();
  // (A partly drawn tile is handed out as a copy, so the image a growing tile replaces cannot be
  // watched from here.)
}

TEST(TiledLayer, DestroyedWithQueuedTiles) {
  std::atomic<int> calls{0};
  {
    TiledLayer layer(Size(64, 64), 2);
    layer.setBounds(Rect(0, 0, 4096, 4096));
    layer.setDelegate([&](GraphicsContext&, const Rect&) {
      ++calls;
      std::this_thread::sleep_for(1ms);
    });
    layer.displayRect(Rect(0, 0, 4096, 4096));
  }
  EXPECT_LT(calls.load(), 4096);
}

TEST(TiledLayer, NoDelegateNoDrawing) {
  TiledLayer layer;
  layer.setBounds(Rect(0, 0, 1000, 1000));
  layer.displayRect(Rect(0, 0, 1000, 1000));
  layer.waitUntilIdle();
  EXPECT_EQ(layer.tilesDrawn(), 0u);
  auto ic = ImageContext::create(Size(10, 10));
  layer.drawInContext(ic->context(), Rect(0, 0, 10, 10));
  EXPECT_EQ(ic->image()->pixelAt(5, 5)->alpha, 0);
}

}  // namespace
}  // namespace kit
