// The process-wide values that drawing, movement and editing read instead of asking the open
// map or the settings, and the one global tree lock. The application delegate and the document
// controller set them; the model and the canvas only read them. Values are atomic because tiles
// read them on drawing threads.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "kit/core/lock.h"

namespace AppServices {

// The lock that guards every change of a child list, of the canvas's root topic and of the
// relationship list, and each tile's drawing. The application delegate installs the one it
// owns before any map exists; until then (tools and tests without a delegate) a process-wide
// instance stands in. Install only while no map exists.
kit::RecursiveLock& globalTreeLock();
void installGlobalTreeLock(kit::RecursiveLock* lock);

// Mirrors of the open map's settings, kept by the document controller.
int currentCanvasStyle();
void setCurrentCanvasStyle(int style);
bool dropShadowFlag();
void setDropShadowFlag(bool on);
bool rainbowFlag();
void setRainbowFlag(bool on);

// Reread from the user settings each time the application becomes active.
double sharedAnimationDuration();
void setSharedAnimationDuration(double seconds);
bool taperLinksFlag();
void setTaperLinksFlag(bool on);
bool centreJustificationFlag();
void setCentreJustificationFlag(bool on);
bool keyboardShortcutsFlag();
void setKeyboardShortcutsFlag(bool on);
bool tripleDeleteDisabledFlag();
void setTripleDeleteDisabledFlag(bool on);

// On while an external screen shows the map.
bool externalDisplayFlag();
void setExternalDisplayFlag(bool on);

// The application's icon table (the application delegate installs itself); without one no
// icon name translates. Read on drawing threads: install only while no map exists.
class IconTable {
 public:
  virtual ~IconTable() = default;
  // The image name (format 3) or foreign name that a format uses for a native icon name.
  virtual std::optional<std::string> getExportIconFromName(std::string_view name, int forFormat) const = 0;
  // The native icon name that a format's icon name stands for.
  virtual std::optional<std::string> getNativeIconGivenName(std::string_view name, int andFormat) const = 0;
};
const IconTable* iconTable();
void installIconTable(const IconTable* table);

}  // namespace AppServices
