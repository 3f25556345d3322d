#include "kit/ui/screen_updates.h"

#include "kit/core/run_loop.h"

namespace kit {

namespace {
std::atomic<bool> gListening{false};
std::atomic<bool> gWakePending{false};
}  // namespace

void noteTilesFinished() {
  noteScreenChange();
  if (!gListening.load(std::memory_order_acquire)) return;
  if (gWakePending.exchange(true, std::memory_order_acq_rel)) return;
  RunLoop::main().post([] { gWakePending.store(false, std::memory_order_release); });
}

void setHostListensForTiles(bool listens) { gListening.store(listens, std::memory_order_release); }

void releaseTileImages(std::vector<ImageRef>&& images) {
  std::erase(images, nullptr);
  if (images.empty()) return;
  if (!gListening.load(std::memory_order_acquire)) {
    images.clear();
    return;
  }
  RunLoop::main().post([held = std::move(images)] {});
}

}  // namespace kit
