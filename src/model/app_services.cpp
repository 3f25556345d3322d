#include "model/app_services.h"

#include <atomic>

namespace AppServices {

namespace {
std::atomic<kit::RecursiveLock*> installedLock{nullptr};
std::atomic<int> canvasStyle{0};
std::atomic<bool> dropShadow{false};
std::atomic<bool> rainbow{false};
std::atomic<double> animationDuration{0.0};
std::atomic<bool> taperLinks{false};
std::atomic<bool> centreJustification{false};
std::atomic<bool> keyboardShortcuts{false};
std::atomic<bool> tripleDeleteDisabled{false};
std::atomic<bool> externalDisplay{false};
std::atomic<const IconTable*> installedIconTable{nullptr};

kit::RecursiveLock& fallbackLock() {
  static kit::RecursiveLock lock;
  return lock;
}
}  // namespace

kit::RecursiveLock& globalTreeLock() {
  kit::RecursiveLock* l = installedLock.load(std::memory_order_acquire);
  return l ? *l : fallbackLock();
}

void installGlobalTreeLock(kit::RecursiveLock* lock) { installedLock.store(lock, std::memory_order_release); }

int currentCanvasStyle() { return canvasStyle.load(); }
void setCurrentCanvasStyle(int style) { canvasStyle.store(style); }
bool dropShadowFlag() { return dropShadow.load(); }
void setDropShadowFlag(bool on) { dropShadow.store(on); }
bool rainbowFlag() { return rainbow.load(); }
void setRainbowFlag(bool on) { rainbow.store(on); }

double sharedAnimationDuration() { return animationDuration.load(); }
void setSharedAnimationDuration(double seconds) { animationDuration.store(seconds); }
bool taperLinksFlag() { return taperLinks.load(); }
void setTaperLinksFlag(bool on) { taperLinks.store(on); }
bool centreJustificationFlag() { return centreJustification.load(); }
void setCentreJustificationFlag(bool on) { centreJustification.store(on); }
bool keyboardShortcutsFlag() { return keyboardShortcuts.load(); }
void setKeyboardShortcutsFlag(bool on) { keyboardShortcuts.store(on); }
bool tripleDeleteDisabledFlag() { return tripleDeleteDisabled.load(); }
void setTripleDeleteDisabledFlag(bool on) { tripleDeleteDisabled.store(on); }

bool externalDisplayFlag() { return externalDisplay.load(); }
void setExternalDisplayFlag(bool on) { externalDisplay.store(on); }

const IconTable* iconTable() { return installedIconTable.load(std::memory_order_acquire); }
void installIconTable(const IconTable* table) { installedIconTable.store(table, std::memory_order_release); }

}  // namespace AppServices
