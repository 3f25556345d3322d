// One map open for editing in a window: the screen that shows it, and the saving rules of an open
// map (the 10 s tick, version snapshots, saving on close, never over a file another program
// changed, never losing edits to a failed save). Knows nothing of the desktop toolkit: a host
// shows `window()` and feeds events into it through kit.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kit/core/geometry.h"

namespace kit {
class View;
class Window;
}  // namespace kit
class PseudoMapViewController;

class EditSession {
 public:
  // The saving rules of an open map, in seconds: a tick every 10 s saves a map changed since
  // its last save once 30 s have passed since that save, or takes a version snapshot (which saves
  // too) of a map changed since the last snapshot once 300 s have passed since it (or since the
  // map was opened).
  static constexpr double kTickInterval = 10;
  static constexpr double kSaveInterval = 30;
  static constexpr double kSnapshotInterval = 300;
  // The state file lists at most this many topics.
  static constexpr std::size_t kMostStateTopics = 2000;

  // Opens FILE: a map file (.qlm) is opened, or created when it does not exist; an OPML file or a
  // plain-text outline becomes a new map saved beside it as NAME.qlm (refused when that exists).
  // A map open in another session of the same application home is refused, saying which process
  // holds it (the lock goes with the session, or with its process however that ends).
  // On failure: nullptr and a one-line message in error. A process without an application
  // delegate gets one for the session's life.
  static std::unique_ptr<EditSession> open(const std::string& path, std::string& error);
  ~EditSession();
  EditSession(const EditSession&) = delete;
  EditSession& operator=(const EditSession&) = delete;

  // The window the host shows (kit's window: the screen size the map screen reads is its size).
  kit::Window& window();
  // The window's size changed (points).
  void setWindowSize(kit::Size size);

  // How the host opens what a followed link leads to: an http, https, ftp or mailto address
  // with the desktop's handler; a map file in a window of its own (an existing .qlm file other
  // than this map, as an absolute path with links resolved). Without them links lead nowhere.
  struct LinkHandlers {
    std::function<void(const std::string& uri)> openAddress;
    std::function<void(const std::string& path)> openMap;
  };
  void setLinkHandlers(LinkHandlers handlers);

  // The map's name, with " *" after it while it has unsaved changes ("garden", "garden *").
  std::string title() const;
  // Called after any pass in which the title may have changed.
  void setTitleChanged(std::function<void()> fn);

  // The desktop's undo and redo keys: nothing while a drag or the Paste Style chooser is under
  // way; an in-place edit is committed first, so that undo takes back the text just typed.
  void undo();
  void redo();

  // What closing came to.
  struct Closing {
    bool closed = false;  // the session has ended: the window may go
    bool saved = false;   // the map file holds the map as it was closed
    std::string message;  // one line for standard error; empty when there is nothing to say
  };
  // Ends a drag (cancelled: the map as before it), an edit (its text kept) or a menu in progress
  // and saves, taking a version snapshot when the map changed since the last one. When the map
  // cannot be saved the session stays open with an alert saying why; asked again, or with
  // insist (a signal), it writes the map to a recovery copy in the application home instead,
  // <home>/Documents/recovered/NAME-YYYYmmdd-HHMMSS.qlm, and the message says where.
  Closing close(bool insist = false);

  // The path of the map file being edited.
  const std::string& mapPath() const;
  PseudoMapViewController& document();
  // How many times the map file was written (the first save of a new or imported map counts).
  int saveCount() const;
  // The map's version snapshots: <home>/Documents/versions/<storage key>/YYYYmmdd-HHMMSS.qlm.
  std::string versionsFolder() const;
  // The titles of the screens shown over the map, bottom first ("Paste Style").
  std::vector<std::string> screenTitles() const;

  // For tests of the desktop host: when QUILLMERE_STATE names a file, the session writes its
  // state there (JSON, replaced atomically) at the end of a pass in which it changed.
  void writeStateIfChanged();
  // A figure the host adds to that state under "host" (frames drawn, slowest frame, ...).
  void setHostValue(const std::string& key, double value);

 private:
  EditSession();
  void undoOrRedo(bool undoing);
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
