// One map open for editing in a window: the screen that shows it, and the saving rules of an open
// map (the 10 s tick, version snapshots, saving on close). Knows nothing of the desktop toolkit:
// a host shows `rootView()` in its window and feeds events into that window through kit.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "kit/core/geometry.h"

namespace kit {
class View;
class Window;
}  // namespace kit
class PseudoMapViewController;

class EditSession {
 public:
  // Opens FILE: a map file (.qlm) is opened, or created when it does not exist; an OPML file or a
  // plain-text outline becomes a new map saved beside it as NAME.qlm (refused when that exists).
  // On failure: nullptr and a one-line message in error.
  static std::unique_ptr<EditSession> open(const std::string& path, std::string& error);
  ~EditSession();
  EditSession(const EditSession&) = delete;
  EditSession& operator=(const EditSession&) = delete;

  // The window the host shows (kit's window: the screen size the map screen reads is its size).
  kit::Window& window();
  // The window's size changed (points).
  void setWindowSize(kit::Size size);

  // The map's name, with a mark when it has unsaved changes.
  std::string title() const;
  // Called after any pass in which the title may have changed.
  void setTitleChanged(std::function<void()> fn);

  // The desktop's undo and redo keys.
  void undo();
  void redo();

  // Ends a drag, an edit or a menu in progress and saves; true when the file on disk is whole
  // and current.
  bool close();

  // The path of the map file being edited.
  const std::string& mapPath() const;
  PseudoMapViewController& document();

  // For tests of the desktop host: when QUILLMERE_STATE names a file, the session writes its
  // state there (JSON, replaced atomically) at the end of a pass in which it changed.
  void writeStateIfChanged();
  // A figure the host adds to that state under "host" (frames drawn, slowest frame, ...).
  void setHostValue(const std::string& key, double value);

 private:
  EditSession();
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
