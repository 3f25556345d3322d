// A layer whose content is drawn in square tiles on worker threads, several at once, each with
// its own graphics context (and so its own Cairo and Pango state). Finished tiles are kept and
// shown until they are marked again. A synchronous path draws any rectangle through the same
// delegate on the calling thread.
//
// The owner may give a lock that every drawing holds from start to end (the map's tree lock):
// a tile then never sees the owner's data half-changed. Workers wait for that lock without
// blocking a detach, so detaching the delegate while holding the lock cannot deadlock. With that
// lock and a batch preparer the drawing is one batch at a time anyway: the first worker then
// draws every batch, keeping its caches warm.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "kit/core/geometry.h"
#include "kit/core/lock.h"
#include "kit/graphics/context.h"
#include "kit/graphics/image.h"

namespace kit {

class TiledLayer {
 public:
  // Draws the layer's content that meets `tile` into context, whose user space is the layer's
  // bounds space and whose clip is the tile. May run on any thread.
  using Delegate = std::function<void(GraphicsContext& context, const Rect& tile)>;
  // Optional, for content whose drawing starts with a costly look at all of it: a worker then
  // takes several queued tiles at once and, in one hold of the drawing lock, calls this once with
  // the union of their rectangles; the drawer it returns draws any rectangle within that union
  // exactly as the delegate would draw it as a tile. Tiles whose parts fill a rectangle are then
  // drawn as one picture and cut apart. A null drawer falls back to the delegate, tile by tile.
  using BatchPreparer = std::function<Delegate(const Rect& area)>;

  // workers 0 chooses from the machine (at least 2, at most 4).
  explicit TiledLayer(Size tileSize = Size(256, 256), int workers = 0);
  // Detaches the delegate (waiting for tiles being drawn) and stops the workers.
  ~TiledLayer();
  TiledLayer(const TiledLayer&) = delete;
  TiledLayer& operator=(const TiledLayer&) = delete;

  // A new delegate, or none. Returns only when no tile is being drawn by the old one, so its
  // owner may go away afterwards; tiles queued for it are dropped. The preparer goes with it.
  void setDelegate(Delegate delegate, BatchPreparer batch = nullptr);
  bool hasDelegate() const;
  // Held around every drawing, tiles and synchronous; not owned. Set before drawing starts.
  void setDrawingLock(RecursiveLock* lock);

  Rect bounds() const;
  // Tiles outside new bounds are dropped.
  void setBounds(const Rect& bounds);
  Size tileSize() const { return tileSize_; }
  // Pixels per point of the tile images; a change drops every tile.
  float contentsScale() const;
  void setContentsScale(float scale);
  // When set, a tile at the edge of the visible rectangle is drawn only where it is visible (on
  // whole pixels), and grows as more of it comes into view, the part already drawn kept: a
  // screen then draws little more than itself. Off by default: every tile is drawn whole.
  void setDrawsVisiblePartsOnly(bool flag);
  // Finished tiles replace old ones at once when 0.
  double fadeDuration() const { return fadeDuration_; }
  void setFadeDuration(double seconds) { fadeDuration_ = seconds; }

  // ---- Needs display --------------------------------------------------------------------------
  // Every tile.
  void setNeedsDisplay();
  // The tiles that meet r.
  void setNeedsDisplayInRect(const Rect& r);
  // Set by either call above, cleared by the next displayRect.
  bool needsDisplay() const;

  // ---- Tile drawing -----------------------------------------------------------------------------
  // Queues every tile meeting `visible` that is marked or not drawn yet; returns at once. Tiles
  // of earlier passes that no longer meet `visible` leave the queue.
  void displayRect(const Rect& visible);
  // Waits until the queue is empty and no tile is being drawn.
  void waitUntilIdle();
  // Paints the finished tiles meeting r into context, in bounds coordinates (as a screen shows
  // them); missing tiles leave their area untouched. Returns how many tiles it painted.
  int drawTiles(GraphicsContext& context, const Rect& r) const;
  // The tile at column and row (0-based from the bounds' origin), or null; transparent where it
  // was not drawn.
  ImageRef tileImage(int column, int row) const;
  Rect tileRect(int column, int row) const;
  // True when the tile is drawn and not marked since.
  bool isTileCurrent(int column, int row) const;
  // True when every tile that displayRect(visible) would draw is drawn and not marked since: a
  // tile that only touches `visible` (no whole pixel of it shows) is not drawn and not asked.
  bool isVisibleCurrent(const Rect& visible) const;

  // ---- Synchronous drawing ------------------------------------------------------------------
  // Draws r through the delegate into context on this thread, clipped to r, under the drawing
  // lock. Nothing without a delegate.
  void drawInContext(GraphicsContext& context, const Rect& r);

  // ---- Counters (tests, benchmarks) ---------------------------------------------------------
  std::size_t tilesDrawn() const;
  // The most tiles seen taken by workers at the same moment (drawing or waiting for the lock).
  int maxTilesInFlight() const;
  int tilesInFlight() const;
  int workerCount() const { return static_cast<int>(workerCount_); }

 private:
  using Key = std::pair<int, int>;  // row, column: map order is reading order
  struct Tile {
    ImageRef image;                 // of drawnPart only
    std::uint64_t drawnStamp = 0;   // the stamp the image was asked at
    std::uint64_t dirtyStamp = 0;   // last marking of this tile alone
    std::uint64_t queuedStamp = 0;  // stamp of the queued or running job, 0 when none
    std::uint64_t failedStamp = 0;  // stamp of a drawing that failed: not tried again unmarked
    Rect drawnPart;                 // what the image holds of the tile
    Rect queuedPart;                // what the queued or running job draws
  };
  struct Job {
    Key key;
    Rect rect;
    std::uint64_t stamp;
    std::uint64_t delegateEpoch;
    Rect part;            // the tile's part to hold when drawn
    ImageRef base;        // the tile's current image, when the job only adds to it
    Rect basePart;        // what base holds
  };

  struct TileRange {
    int c0, r0, c1, r1;
  };
  // The tiles meeting v (within the bounds, not empty).
  TileRange tileRangeLocked(const Rect& v) const;
  // What of tile tr a pass over v draws: empty when no whole pixel of it shows.
  Rect wantedPartLocked(const Rect& tr, const Rect& v) const;
  void startWorkersLocked();
  static void lowerWorkerPriority();
  static constexpr int kWorkerNice = 5;
  void workerMain(std::size_t index);
  // Whether only the first worker takes tiles: with a preparer and a drawing lock.
  bool soleDrawerLocked() const;
  void runJobs(const std::vector<Job>& jobs, const Delegate& delegate, const BatchPreparer& batch);
  bool lockForDrawing(std::uint64_t epoch);
  bool isCurrentLocked(const Key& key) const;
  std::uint64_t requiredStampLocked(const Tile& t) const;
  Rect tileRectLocked(const Key& key) const;
  void dropTilesOutsideLocked(const Rect& keep);

  const Size tileSize_;
  const std::size_t workerCount_;
  double fadeDuration_ = 0.25;
  bool visiblePartsOnly_ = false;

  mutable std::mutex m_;
  std::condition_variable work_;       // workers wait for jobs or stop
  std::condition_variable firstWork_;  // the first worker does
  std::condition_variable idle_;  // waiters for an empty queue and no running job
  Delegate delegate_;
  BatchPreparer batch_;
  std::uint64_t delegateEpoch_ = 1;
  RecursiveLock* drawingLock_ = nullptr;
  Rect bounds_;
  float scale_ = 1;
  bool needsDisplay_ = false;
  std::uint64_t stamp_ = 1;
  std::uint64_t allDirtyStamp_ = 1;
  std::map<Key, Tile> tiles_;
  std::deque<Job> queue_;
  int inFlight_ = 0;
  int maxInFlight_ = 0;
  std::size_t tilesDrawn_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace kit
