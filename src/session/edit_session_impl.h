// What the files of the edit session share: the session's state and the helpers that more than one
// of them uses. The session's life is in edit_session.cpp, its saving in edit_session_saving.cpp,
// the autosave tick in edit_session_autosave.cpp, the Paste Style chooser in
// edit_session_chooser.cpp and the state file for tests in edit_session_state.cpp.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/app_delegate.h"
#include "document/link_target.h"
#include "document/pseudo_map_view_controller.h"
#include "kit/core/file_lock.h"
#include "kit/core/run_loop.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"
#include "model/app_services.h"
#include "session/edit_session.h"

namespace edit_session {

// What tells one version of a file from another: a rename over it, a write into it or its
// removal changes it.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t seconds = 0;
  long nanoseconds = 0;
  bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> identityOf(const std::string& path);

// Why a file could not be replaced at path, found by making its replacement; nullopt when it can.
std::optional<std::string> whyNotWritable(const std::string& path);

}  // namespace edit_session

struct EditSession::Impl : kit::ViewControllerDelegate, LinkOpener {
  Impl();
  ~Impl() override;

  // ---- Opening ----------------------------------------------------------------------------------

  // A new map whose central topic holds name, as an import of one line would make it.
  void startNewMap(const std::string& name);
  void show();

  // ---- Saving -----------------------------------------------------------------------------------

  double now() const;

  // Saves the map file, unless another program changed or removed it since this session read or
  // last wrote it: then the map goes beside it under a name of its own, where the session saves
  // from then on. False, with the reason in saveError, when nothing could be written.
  // The first save of a map made in this session makes its file only where nothing is: when
  // another program made one meanwhile, the map goes beside it.
  bool save();
  // Writes the map into the file at target, replacing it, or as a new file (fresh) where nothing
  // is; false with errno.
  bool writeMap(const std::string& target, bool fresh);
  // writeMap, and the session's note of the save (or of why it failed, and nameTaken).
  bool write(const std::string& target, bool fresh = false);
  // The map goes under a new name beside the map file, which happened (to the map file) says why.
  bool saveBeside(const std::string& happened);
  std::string versionsFolder();
  // The map file as it is now goes into the map's versions folder, named by the local time. False
  // when the map could not be saved, or its copy kept (the reason in snapshotError).
  bool takeSnapshot();
  static std::string recoveredFolder();
  // A map that cannot be saved where it belongs goes into the application home; the line says
  // where, or that even that failed.
  std::string recover();
  // The first failure of a run of failed saves is said once, with why.
  void reportSaveFailure();
  // Says why the last save failed, then what becomes of the edits.
  void showSaveFailure(const std::string& outcome);

  void onTick();

  // ---- Interactions in progress -----------------------------------------------------------------

  bool dragging() const;
  // A keystroke command still waiting runs first, so that what is saved or undone is whole.
  void commitEditing();
  // Ends what is under way: the edit keeps its text, the chooser and the menus close, and a drag
  // is cancelled, putting the map back as it was before the drag.
  void endInteractions();
  // A save while an editor was open wrote its grown box's layout, which closing the editor undoes:
  // once the edit has ended, the map needs saving again.
  void noteEditEnded();

  // ---- Links ------------------------------------------------------------------------------------

  void openAddress(const std::string& uri) override;
  // A relative path is read from this map's folder. Only a map file that exists opens (opening
  // makes a missing one), and not this one, which is open here.
  void openMap(const std::string& given) override;

  // ---- The Paste Style chooser ------------------------------------------------------------------

  void presentChooser(kit::Value attributes, NodeView* topic);
  // The chooser's own button is still running: it goes at the next pass.
  void chooserFinished();
  void onDone(kit::ViewController&, const kit::Value&) override;
  void onCancel(kit::ViewController&, const kit::Value&) override;
  void closeChooser();
  std::vector<std::string> screenTitles() const;

  // ---- Title ------------------------------------------------------------------------------------

  std::string currentTitle();
  void noteTitle();
  void endOfPass();

  // ---- State ------------------------------------------------------------------------------------

  std::string stateText();

  // Before any map; a delegate of the session's own also reads the settings.
  std::unique_ptr<AppDelegate> app = [] {
    if (AppServices::iconTable()) return std::unique_ptr<AppDelegate>();
    auto made = std::make_unique<AppDelegate>();
    made->applicationDidBecomeActive();
    return made;
  }();
  std::string path;
  kit::Window window{kit::Rect(0, 0, 1024, 768)};
  PseudoMapViewController doc;
  MapScrollView scroll{kit::Rect(0, 0, 1024, 768)};
  std::unique_ptr<kit::NavigationController> chooser;
  std::function<void()> titleChanged;
  EditSession::LinkHandlers links;
  std::string title;
  kit::TimerRef tick;
  kit::RunLoop::HookId hook = 0;
  double lastSave = 0, lastSnapshot = 0;
  bool changedSinceSnapshot = false;
  int saves = 0;
  // The map file as this session read or last wrote it; nothing while it is still to be made.
  std::optional<edit_session::FileIdentity> known;
  // The latest write of a new file failed because its name was taken.
  bool nameTaken = false;
  std::optional<kit::FileLock> lock;
  std::string saveError, snapshotError;
  bool reportedFailure = false;
  bool closeRefused = false;
  bool savedWhileEditing = false;
  std::optional<Closing> closing;
  bool ownsScreenProvider = false;
  std::string statePath;
  std::string lastState;
  std::map<std::string, double> hostValues;
};
