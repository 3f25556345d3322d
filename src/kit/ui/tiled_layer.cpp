#include "kit/ui/tiled_layer.h"

#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>

#include "kit/graphics/image_context.h"
#include "kit/ui/screen_updates.h"

namespace kit {

namespace {

// Past this many kept tiles, tiles away from the visible area are forgotten.
constexpr std::size_t kMaxKeptTiles = 512;
// Most tiles one worker takes at once with a batch preparer: a screenful, and a bound on the
// images held at the same time.
constexpr std::size_t kMaxBatchTiles = 16;

// Releases the drawing lock when the drawing ends, however it ends.
class DrawingLockRelease {
 public:
  explicit DrawingLockRelease(RecursiveLock* l) : l_(l) {}
  ~DrawingLockRelease() {
    if (l_) l_->unlock();
  }
  DrawingLockRelease(const DrawingLockRelease&) = delete;
  DrawingLockRelease& operator=(const DrawingLockRelease&) = delete;

 private:
  RecursiveLock* l_;
};

std::size_t chooseWorkers(int asked) {
  if (asked > 0) return static_cast<std::size_t>(asked);
  unsigned hw = std::thread::hardware_concurrency();
  return std::clamp<std::size_t>(hw, 2, 4);
}

// r (inside tile) grown to whole pixels of the tile's image at `scale`.
Rect wholePixels(const Rect& r, const Rect& tile, float scale) {
  if (r.isNull() || r.isEmpty()) return r;
  auto out = [&](Float v, Float origin, bool up) {
    const double p = (static_cast<double>(v) - origin) * scale;
    return origin + static_cast<Float>((up ? std::ceil(p - 1e-3) : std::floor(p + 1e-3)) / scale);
  };
  const Float x0 = out(r.minX(), tile.minX(), false), x1 = out(r.maxX(), tile.minX(), true);
  const Float y0 = out(r.minY(), tile.minY(), false), y1 = out(r.maxY(), tile.minY(), true);
  return Rect(x0, y0, x1 - x0, y1 - y0).intersection(tile);
}

bool covers(const Rect& outer, const Rect& inner) {
  return !outer.isNull() && outer.minX() <= inner.minX() && outer.minY() <= inner.minY() &&
         outer.maxX() >= inner.maxX() && outer.maxY() >= inner.maxY();
}

// part less held: at most four rectangles (above, below, left, right of held).
std::vector<Rect> pieces(const Rect& part, const Rect& held) {
  if (held.isNull() || !held.intersects(part)) return {part};
  std::vector<Rect> out;
  const Rect h = held.intersection(part);
  if (h.minY() > part.minY()) out.emplace_back(part.minX(), part.minY(), part.width(), h.minY() - part.minY());
  if (h.maxY() < part.maxY()) out.emplace_back(part.minX(), h.maxY(), part.width(), part.maxY() - h.maxY());
  if (h.minX() > part.minX()) out.emplace_back(part.minX(), h.minY(), h.minX() - part.minX(), h.height());
  if (h.maxX() < part.maxX()) out.emplace_back(h.maxX(), h.minY(), part.maxX() - h.maxX(), h.height());
  return out;
}

// A length in points as whole pixels (parts of tiles are whole pixels by construction).
int pixel(Float v, float scale) { return static_cast<int>(std::lround(static_cast<double>(v) * scale)); }

// Whether every tile starts on a whole pixel of one grid: a tile's sides are whole pixels.
bool onePixelGrid(Size tile, float scale) {
  auto whole = [scale](Float side) {
    const double p = static_cast<double>(side) * scale;
    return std::fabs(p - std::round(p)) < 1e-3;
  };
  return whole(tile.width) && whole(tile.height);
}

std::vector<std::vector<std::size_t>> singleGroups(std::size_t n) {
  std::vector<std::vector<std::size_t>> out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = {i};
  return out;
}

// The parts (of distinct tiles, on one pixel grid from origin) grouped so that each group of more
// than one fills its bounding rectangle exactly: all of them when they do, else each row's when
// that row's do; the rest, and parts added to a kept image, stand alone.
std::vector<std::vector<std::size_t>> rectangleGroups(const std::vector<Rect>& parts, const std::vector<int>& rows,
                                                      const std::vector<bool>& adds, Point origin, float scale) {
  auto fills = [&](const std::vector<std::size_t>& group) {
    long long area = 0;
    int x0 = std::numeric_limits<int>::max(), y0 = x0, x1 = std::numeric_limits<int>::min(), y1 = x1;
    for (std::size_t i : group) {
      const Rect& p = parts[i];
      const int a = pixel(p.minX() - origin.x, scale), b = pixel(p.minY() - origin.y, scale);
      const int c = pixel(p.maxX() - origin.x, scale), d = pixel(p.maxY() - origin.y, scale);
      area += static_cast<long long>(c - a) * (d - b);
      x0 = std::min(x0, a), y0 = std::min(y0, b), x1 = std::max(x1, c), y1 = std::max(y1, d);
    }
    return area == static_cast<long long>(x1 - x0) * (y1 - y0);
  };
  std::vector<std::vector<std::size_t>> out;
  std::vector<std::size_t> whole;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (adds[i] || parts[i].isNull() || parts[i].isEmpty()) out.push_back({i});
    else whole.push_back(i);
  }
  if (whole.size() > 1 && fills(whole)) {
    out.push_back(std::move(whole));
    return out;
  }
  std::map<int, std::vector<std::size_t>> byRow;
  for (std::size_t i : whole) byRow[rows[i]].push_back(i);
  for (auto& [row, group] : byRow) {
    if (group.size() > 1 && fills(group)) {
      out.push_back(std::move(group));
    } else {
      for (std::size_t i : group) out.push_back({i});
    }
  }
  return out;
}

const cairo_user_data_key_t kWholePicture{};

// The w x h pixels of image at (x, y) as an image of their own that shares them: a picture cut
// into tiles is not copied, and lives as long as one of its tiles.
ImageRef partOf(const Image& image, int x, int y, int w, int h) {
  cairo_surface_t* from = image.surface();
  const int fw = cairo_image_surface_get_width(from), fh = cairo_image_surface_get_height(from);
  x = std::clamp(x, 0, fw), y = std::clamp(y, 0, fh);
  w = std::min(w, fw - x), h = std::min(h, fh - y);
  if (w < 1 || h < 1) return nullptr;
  const int stride = cairo_image_surface_get_stride(from);
  unsigned char* data = cairo_image_surface_get_data(from) + static_cast<std::size_t>(y) * stride + x * 4;
  cairo_surface_t* s = cairo_image_surface_create_for_data(data, cairo_image_surface_get_format(from), w, h, stride);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  cairo_surface_t* whole = cairo_surface_reference(from);
  auto release = [](void* p) { cairo_surface_destroy(static_cast<cairo_surface_t*>(p)); };
  if (cairo_surface_set_user_data(s, &kWholePicture, whole, release) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(whole);
    cairo_surface_destroy(s);
    return nullptr;
  }
  ImageRef out = Image::fromSurface(s, image.scale());
  cairo_surface_destroy(s);
  return out;
}

}  // namespace

TiledLayer::TiledLayer(Size tileSize, int workers)
    : tileSize_(tileSize.width >= 1 && tileSize.height >= 1 ? tileSize : Size(256, 256)),
      workerCount_(chooseWorkers(workers)) {}

TiledLayer::~TiledLayer() {
  setDelegate(nullptr);
  {
    std::lock_guard<std::mutex> g(m_);
    stopping_ = true;
  }
  firstWork_.notify_all();
  work_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void TiledLayer::setDelegate(Delegate delegate, BatchPreparer batch) {
  std::unique_lock<std::mutex> g(m_);
  ++delegateEpoch_;
  Delegate old = std::move(delegate_);
  BatchPreparer oldBatch = std::move(batch_);
  delegate_ = std::move(delegate);
  batch_ = delegate_ ? std::move(batch) : nullptr;
  for (const Job& j : queue_) {
    auto it = tiles_.find(j.key);
    if (it != tiles_.end()) it->second.queuedStamp = 0;
  }
  queue_.clear();
  allDirtyStamp_ = ++stamp_;
  // Workers holding the old delegate either finish their tile or give up waiting for the
  // drawing lock when they see the new epoch.
  idle_.wait(g, [this] { return inFlight_ == 0; });
  g.unlock();
  // The old delegate (and whatever it captured) goes after the last tile that used it.
  old = nullptr;
  oldBatch = nullptr;
}

bool TiledLayer::hasDelegate() const {
  std::lock_guard<std::mutex> g(m_);
  return static_cast<bool>(delegate_);
}

void TiledLayer::setDrawingLock(RecursiveLock* lock) {
  std::lock_guard<std::mutex> g(m_);
  drawingLock_ = lock;
}

Rect TiledLayer::bounds() const {
  std::lock_guard<std::mutex> g(m_);
  return bounds_;
}

void TiledLayer::setBounds(const Rect& bounds) {
  std::lock_guard<std::mutex> g(m_);
  if (bounds == bounds_) return;
  bool originMoved = !(bounds.origin == bounds_.origin);
  bounds_ = bounds;
  if (originMoved) {
    // The grid is anchored at the origin: every tile changes place.
    for (auto it = tiles_.begin(); it != tiles_.end();) {
      if (it->second.queuedStamp) {
        it->second.image = nullptr;
        it->second.drawnStamp = 0;
        ++it;
      } else {
        it = tiles_.erase(it);
      }
    }
  } else {
    dropTilesOutsideLocked(bounds_);
  }
  allDirtyStamp_ = ++stamp_;
}

float TiledLayer::contentsScale() const {
  std::lock_guard<std::mutex> g(m_);
  return scale_;
}

void TiledLayer::setContentsScale(float scale) {
  if (!(scale > 0) || !std::isfinite(scale)) return;
  std::lock_guard<std::mutex> g(m_);
  if (scale == scale_) return;
  scale_ = scale;
  allDirtyStamp_ = ++stamp_;
  for (auto& [key, t] : tiles_) {
    t.image = nullptr;
    t.drawnStamp = 0;
  }
}

void TiledLayer::setDrawsVisiblePartsOnly(bool flag) {
  std::lock_guard<std::mutex> g(m_);
  visiblePartsOnly_ = flag;
}

void TiledLayer::setNeedsDisplay() {
  std::lock_guard<std::mutex> g(m_);
  needsDisplay_ = true;
  allDirtyStamp_ = ++stamp_;
}

void TiledLayer::setNeedsDisplayInRect(const Rect& r) {
  std::lock_guard<std::mutex> g(m_);
  if (r.isNull()) return;
  needsDisplay_ = true;
  std::uint64_t s = ++stamp_;
  for (auto& [key, t] : tiles_)
    if (tileRectLocked(key).intersects(r)) t.dirtyStamp = s;
}

bool TiledLayer::needsDisplay() const {
  std::lock_guard<std::mutex> g(m_);
  return needsDisplay_;
}

std::uint64_t TiledLayer::requiredStampLocked(const Tile& t) const { return std::max(allDirtyStamp_, t.dirtyStamp); }

bool TiledLayer::isCurrentLocked(const Key& key) const {
  auto it = tiles_.find(key);
  if (it == tiles_.end() || !it->second.image) return false;
  return it->second.drawnStamp >= requiredStampLocked(it->second);
}

Rect TiledLayer::tileRectLocked(const Key& key) const {
  return Rect(bounds_.minX() + static_cast<Float>(key.second) * tileSize_.width,
              bounds_.minY() + static_cast<Float>(key.first) * tileSize_.height, tileSize_.width, tileSize_.height);
}

Rect TiledLayer::tileRect(int column, int row) const {
  std::lock_guard<std::mutex> g(m_);
  return tileRectLocked(Key(row, column));
}

void TiledLayer::dropTilesOutsideLocked(const Rect& keep) {
  for (auto it = tiles_.begin(); it != tiles_.end();) {
    if (!it->second.queuedStamp && !tileRectLocked(it->first).intersects(keep)) it = tiles_.erase(it);
    else ++it;
  }
}

void TiledLayer::displayRect(const Rect& visible) {
  std::unique_lock<std::mutex> g(m_);
  needsDisplay_ = false;
  Rect v = visible.intersection(bounds_);
  // Queued tiles that scrolled away are not worth drawing any more.
  for (auto it = queue_.begin(); it != queue_.end();) {
    if (v.isNull() || !it->rect.intersects(v)) {
      auto t = tiles_.find(it->key);
      if (t != tiles_.end()) t->second.queuedStamp = 0;
      it = queue_.erase(it);
    } else {
      ++it;
    }
  }
  if (v.isNull() || v.isEmpty() || !delegate_) return;

  const TileRange range = tileRangeLocked(v);

  if (tiles_.size() > kMaxKeptTiles) dropTilesOutsideLocked(v.insetBy(-v.width(), -v.height()));

  bool queued = false;
  for (int r = range.r0; r <= range.r1; ++r) {
    for (int c = range.c0; c <= range.c1; ++c) {
      Key key(r, c);
      const Rect tr = tileRectLocked(key);
      const Rect want = wantedPartLocked(tr, v);
      // A tile that only touches v, by rounding, has nothing to draw: a job for it would draw
      // nothing and come back every frame.
      if (want.isEmpty()) continue;
      Tile& t = tiles_[key];
      const bool current = t.image && t.drawnStamp >= requiredStampLocked(t);
      if (current && covers(t.drawnPart, want)) continue;
      // Drawn again only once marked: each pass would fail alike, a frame after a frame.
      if (!current && t.failedStamp && t.failedStamp >= requiredStampLocked(t)) continue;
      if (t.queuedStamp && t.queuedStamp >= requiredStampLocked(t)) {
        if (covers(t.queuedPart, want)) continue;
        // Still waiting: the queued job takes the larger part.
        auto waiting = std::find_if(queue_.begin(), queue_.end(), [&](const Job& j) { return j.key == key; });
        if (waiting != queue_.end() && waiting->stamp == t.queuedStamp) {
          waiting->part = t.queuedPart = waiting->part.unionWith(want);
          continue;
        }
      }
      Job job{key, tr, stamp_, delegateEpoch_, want, nullptr, Rect::null()};
      if (current && !(want == tr)) {
        // Only the new part is drawn, over a copy of what the tile already shows.
        job.part = t.drawnPart.unionWith(want);
        job.base = t.image;
        job.basePart = t.drawnPart;
      }
      t.queuedStamp = stamp_;
      t.queuedPart = job.part;
      queue_.push_back(std::move(job));
      queued = true;
    }
  }
  if (!queued) return;
  if (workers_.empty()) startWorkersLocked();
  const bool sole = soleDrawerLocked();
  g.unlock();
  // One worker; it wakes another when it leaves work behind. Waking them all at once from the
  // main thread let them take its processor in the middle of a frame.
  firstWork_.notify_one();
  if (!sole) work_.notify_one();
}

void TiledLayer::lowerWorkerPriority() {
  // Tiles give way to the main thread, so that a screen's frames are not held up by them. On
  // Linux the nice value belongs to the calling thread; batch scheduling keeps a waking worker
  // from preempting the thread that woke it.
  sched_param none{};
  (void)sched_setscheduler(0, SCHED_BATCH, &none);
  errno = 0;
  const int nice = getpriority(PRIO_PROCESS, 0);
  if (errno == 0) (void)setpriority(PRIO_PROCESS, 0, std::min(nice + kWorkerNice, 19));
}

bool TiledLayer::soleDrawerLocked() const { return batch_ && drawingLock_; }

void TiledLayer::startWorkersLocked() {
  for (std::size_t i = 0; i < workerCount_; ++i) workers_.emplace_back([this, i] { workerMain(i); });
}

void TiledLayer::waitUntilIdle() {
  std::unique_lock<std::mutex> g(m_);
  idle_.wait(g, [this] { return queue_.empty() && inFlight_ == 0; });
}

void TiledLayer::workerMain(std::size_t index) {
  lowerWorkerPriority();
  std::unique_lock<std::mutex> g(m_);
  // Batches under a drawing lock draw one after another whatever the thread: the first worker
  // draws them all, so each pass finds its caches (text, fonts, the tree) warm.
  auto ready = [this, index] { return stopping_ || (!queue_.empty() && (index == 0 || !soleDrawerLocked())); };
  for (;;) {
    (index == 0 ? firstWork_ : work_).wait(g, ready);
    if (stopping_) return;
    // One tile at a time, or with a preparer as many as are queued (up to a bound): the
    // preparer's look at the content is then shared by all of them.
    std::vector<Job> jobs;
    std::vector<ImageRef> released;
    const std::size_t most = batch_ ? kMaxBatchTiles : 1;
    while (!queue_.empty() && jobs.size() < most) {
      Job job = queue_.front();
      queue_.pop_front();
      if (job.delegateEpoch == delegateEpoch_ && delegate_) jobs.push_back(job);
      else if (job.base) released.push_back(std::move(job.base));
    }
    if (jobs.empty()) {
      if (queue_.empty() && inFlight_ == 0) idle_.notify_all();
      g.unlock();
      releaseTileImages(std::move(released));
      g.lock();
      continue;
    }
    Delegate delegate = delegate_;
    BatchPreparer batch = jobs.size() > 1 ? batch_ : nullptr;
    const int taken = static_cast<int>(jobs.size());
    if (!queue_.empty()) work_.notify_one();  // the rest for another worker
    inFlight_ += taken;
    maxInFlight_ = std::max(maxInFlight_, inFlight_);
    g.unlock();

    runJobs(jobs, delegate, batch);
    delegate = nullptr;
    batch = nullptr;
    for (Job& job : jobs)
      if (job.base) released.push_back(std::move(job.base));
    releaseTileImages(std::move(released));
    noteTilesFinished();

    g.lock();
    inFlight_ -= taken;
    idle_.notify_all();
  }
}

bool TiledLayer::lockForDrawing(std::uint64_t epoch) {
  RecursiveLock* lock;
  {
    std::lock_guard<std::mutex> g(m_);
    lock = drawingLock_;
  }
  if (!lock) return true;
  // Polling rather than blocking: a detach made while its caller holds this lock must still be
  // able to call the tile off.
  for (;;) {
    if (lock->try_lock()) return true;
    {
      std::lock_guard<std::mutex> g(m_);
      if (epoch != delegateEpoch_ || stopping_) return false;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

void TiledLayer::runJobs(const std::vector<Job>& jobs, const Delegate& delegate, const BatchPreparer& batch) {
  float scale;
  RecursiveLock* lock;
  Point origin;
  {
    std::lock_guard<std::mutex> g(m_);
    scale = scale_;
    lock = drawingLock_;
    origin = bounds_.origin;
  }
  // Jobs taken together share their delegate epoch.
  const std::uint64_t epoch = jobs.front().delegateEpoch;
  Rect area = Rect::null();
  for (const Job& job : jobs) area = area.unionWith(job.part);
  struct Picture {
    std::unique_ptr<ImageContext> ic;
    Rect rect;
    std::vector<std::size_t> members;  // jobs, by index
  };
  std::vector<Picture> pictures;
  bool drawn = false;
  if (!area.isNull() && lockForDrawing(epoch)) {
    DrawingLockRelease release(lock);
    // Made and dropped under the lock: it may hold on to the owner's data.
    Delegate drawer = batch ? batch(area) : nullptr;
    const Delegate& draw = drawer ? drawer : delegate;
    // With a drawer, tiles whose parts fill a rectangle are drawn as one picture and cut apart:
    // what crosses a tile edge (a topic, its text, a link) is then drawn once, not once per tile.
    std::vector<std::vector<std::size_t>> groups;
    if (drawer && onePixelGrid(tileSize_, scale)) {
      std::vector<Rect> parts;
      std::vector<int> rows;
      std::vector<bool> adds;
      for (const Job& job : jobs) {
        parts.push_back(job.part);
        rows.push_back(job.key.first);
        adds.push_back(static_cast<bool>(job.base));
      }
      groups = rectangleGroups(parts, rows, adds, origin, scale);
    } else {
      groups = singleGroups(jobs.size());
    }
    for (std::size_t g = 0; g < groups.size(); ++g) {
      std::vector<std::size_t> group = std::move(groups[g]);
      Rect r = Rect::null();
      for (std::size_t i : group) r = r.unionWith(jobs[i].part);
      // Each image holds only its part of the tile.
      std::unique_ptr<ImageContext> ic = ImageContext::create(r.size, false, scale);
      if (!ic) {
        // Too large a picture: its tiles one by one.
        if (group.size() > 1)
          for (std::size_t i : group) groups.push_back({i});
        continue;
      }
      GraphicsContext& ctx = ic->context();
      CurrentContextScope current(&ctx);
      ctx.translateCTM(-r.minX(), -r.minY());
      ctx.clipToRect(r);
      const Job& job = jobs[group.front()];
      if (group.size() > 1 || (job.part == job.rect && !job.base)) {
        draw(ctx, group.size() > 1 ? r : job.rect);
      } else {
        if (job.base) ctx.drawImage(*job.base, job.basePart, BlendMode::Copy, 1);
        for (const Rect& piece : pieces(job.part, job.basePart)) {
          ctx.saveGState();
          ctx.clipToRect(piece);
          draw(ctx, job.rect);
          ctx.restoreGState();
        }
      }
      pictures.push_back({std::move(ic), r, std::move(group)});
    }
    drawn = true;
  }
  std::vector<ImageRef> images(jobs.size());
  std::vector<bool> made(jobs.size(), false);
  for (Picture& p : pictures) {
    for (std::size_t i : p.members) made[i] = true;
    ImageRef whole = p.ic->takeImage();
    if (p.members.size() == 1) {
      images[p.members.front()] = std::move(whole);
    } else if (whole) {
      for (std::size_t i : p.members) {
        const Rect& part = jobs[i].part;
        images[i] = partOf(*whole, pixel(part.minX() - p.rect.minX(), scale), pixel(part.minY() - p.rect.minY(), scale),
                           pixel(part.width(), scale), pixel(part.height(), scale));
      }
    }
  }

  {
    std::lock_guard<std::mutex> g(m_);
    for (std::size_t i = 0; i < jobs.size(); ++i) {
      const Job& job = jobs[i];
      auto it = tiles_.find(job.key);
      if (it == tiles_.end()) continue;
      Tile& t = it->second;
      if (t.queuedStamp == job.stamp) t.queuedStamp = 0;
      if (!drawn || !made[i]) continue;
      ++tilesDrawn_;
      ImageRef& image = images[i];
      // A tile drawn for an old delegate, scale or grid is not shown.
      if (job.delegateEpoch != delegateEpoch_ || !(tileRectLocked(job.key) == job.rect)) continue;
      if (!image) {
        t.failedStamp = std::max(t.failedStamp, job.stamp);
        continue;
      }
      if (job.stamp < t.drawnStamp) continue;
      std::swap(t.image, image);  // the old image is let go once the lock is released
      t.drawnStamp = job.stamp;
      t.drawnPart = job.part;
    }
  }
  releaseTileImages(std::move(images));
}

int TiledLayer::drawTiles(GraphicsContext& context, const Rect& r) const {
  std::lock_guard<std::mutex> g(m_);
  int n = 0;
  for (const auto& [key, t] : tiles_) {
    if (!t.image) continue;
    if (!t.drawnPart.intersects(r)) continue;
    context.drawImage(*t.image, t.drawnPart);
    ++n;
  }
  return n;
}

ImageRef TiledLayer::tileImage(int column, int row) const {
  std::unique_lock<std::mutex> g(m_);
  auto it = tiles_.find(Key(row, column));
  if (it == tiles_.end() || !it->second.image) return nullptr;
  const Rect tile = tileRectLocked(it->first), part = it->second.drawnPart;
  ImageRef image = it->second.image;
  const float scale = image->scale();
  g.unlock();
  if (part == tile) return image;
  // The part drawn, in a tile that is transparent elsewhere.
  std::unique_ptr<ImageContext> ic = ImageContext::create(tile.size, false, scale);
  if (!ic) return nullptr;
  ic->context().translateCTM(-tile.minX(), -tile.minY());
  ic->context().drawImage(*image, part, BlendMode::Copy, 1);
  return ic->takeImage();
}

TiledLayer::TileRange TiledLayer::tileRangeLocked(const Rect& v) const {
  const Float w = tileSize_.width, h = tileSize_.height;
  const int c0 = static_cast<int>(std::floor((v.minX() - bounds_.minX()) / w));
  const int r0 = static_cast<int>(std::floor((v.minY() - bounds_.minY()) / h));
  const int c1 = std::max(c0, static_cast<int>(std::ceil((v.maxX() - bounds_.minX()) / w)) - 1);
  const int r1 = std::max(r0, static_cast<int>(std::ceil((v.maxY() - bounds_.minY()) / h)) - 1);
  return {c0, r0, c1, r1};
}

Rect TiledLayer::wantedPartLocked(const Rect& tr, const Rect& v) const {
  return visiblePartsOnly_ ? wholePixels(tr.intersection(v), tr, scale_) : tr;
}

bool TiledLayer::isVisibleCurrent(const Rect& visible) const {
  std::lock_guard<std::mutex> g(m_);
  const Rect v = visible.intersection(bounds_);
  if (v.isNull() || v.isEmpty()) return true;
  const TileRange range = tileRangeLocked(v);
  for (int r = range.r0; r <= range.r1; ++r)
    for (int c = range.c0; c <= range.c1; ++c) {
      const Key key(r, c);
      if (!wantedPartLocked(tileRectLocked(key), v).isEmpty() && !isCurrentLocked(key)) return false;
    }
  return true;
}

bool TiledLayer::isTileCurrent(int column, int row) const {
  std::lock_guard<std::mutex> g(m_);
  return isCurrentLocked(Key(row, column));
}

void TiledLayer::drawInContext(GraphicsContext& context, const Rect& r) {
  Delegate delegate;
  RecursiveLock* lock;
  {
    std::lock_guard<std::mutex> g(m_);
    delegate = delegate_;
    lock = drawingLock_;
  }
  if (!delegate || r.isNull()) return;
  context.saveGState();
  context.clipToRect(r);
  {
    if (lock) lock->lock();
    DrawingLockRelease release(lock);
    CurrentContextScope current(&context);
    delegate(context, r);
  }
  context.restoreGState();
}

std::size_t TiledLayer::tilesDrawn() const {
  std::lock_guard<std::mutex> g(m_);
  return tilesDrawn_;
}

int TiledLayer::maxTilesInFlight() const {
  std::lock_guard<std::mutex> g(m_);
  return maxInFlight_;
}

int TiledLayer::tilesInFlight() const {
  std::lock_guard<std::mutex> g(m_);
  return inFlight_;
}

}  // namespace kit
