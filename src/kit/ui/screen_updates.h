// Whether what a screen shows may have changed since its host last drew it. Views, layers and
// delivered events set the mark on the main thread, finished tiles on their own threads; a host
// takes it after each run-loop pass and draws a frame when it was set. One relaxed store per
// change keeps it cheap when a layout moves tens of thousands of views.
#pragma once

#include <atomic>
#include <vector>

#include "kit/graphics/image.h"

namespace kit {

namespace detail {
inline std::atomic<bool> screenChanged{false};
}  // namespace detail

inline void noteScreenChange() { detail::screenChanged.store(true, std::memory_order_relaxed); }
// Reads and clears the mark.
inline bool takeScreenChange() { return detail::screenChanged.exchange(false, std::memory_order_acq_rel); }

// From a tile's worker thread once its image is in place: marks the screen changed and, while a
// host listens, wakes the main run loop (one posted pass for any number of tiles).
void noteTilesFinished();
// A host that draws on screen listens; tests and tools without a screen do not.
void setHostListensForTiles(bool listens);

// Tile images that a worker thread lets go. While a host listens they are freed on the main
// thread: the host's toolkit hangs copies onto images it was given to draw, and tearing those
// down on another thread crashes it. Otherwise they are freed at once.
void releaseTileImages(std::vector<ImageRef>&& images);

}  // namespace kit
