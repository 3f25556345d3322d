#include "session/edit_session.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <system_error>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "app/app_delegate.h"
#include "document/map_import.h"
#include "document/pseudo_map_view_controller.h"
#include "editing/topic_attribute_picker.h"
#include "helpers/float_over.h"
#include "helpers/global_helpers_dates.h"
#include "helpers/global_helpers_file_formats.h"
#include "helpers/global_helpers_files.h"
#include "helpers/strings.h"
#include "kit/core/app_paths.h"
#include "kit/core/clock.h"
#include "kit/core/file_lock.h"
#include "kit/core/files.h"
#include "kit/core/lock.h"
#include "kit/core/replacement_file.h"
#include "kit/core/run_loop.h"
#include "kit/text/utf.h"
#include "kit/ui/alert.h"
#include "kit/ui/keyboard.h"
#include "kit/ui/menu_controller.h"
#include "kit/ui/pasteboard.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"
#include "model/app_services.h"
#include "model/map_theme.h"
#include "model/node_view.h"

namespace {

constexpr std::size_t kMostVersions = 100;
constexpr float kMinimumZoom = 0.25f;
constexpr float kMaximumZoom = 2.0f;
// How far a topic's shape may reach beyond its view's frame, for the state's first rough test.
constexpr float kShapeMargin = 64;

// The one-line message of a failure: line breaks and the blanks about them become one space.
std::string oneLine(std::string_view text) {
  std::string line;
  bool blank = false;
  for (char c : text) {
    if (c == '\n' || c == '\r' || c == '\t') {
      blank = true;
      continue;
    }
    if (blank && !line.empty() && line.back() != ' ' && c != ' ') line += ' ';
    blank = false;
    line += c;
  }
  return line;
}

using kit::folderOf;

// Why a file could not be replaced at path, found by making its replacement; nullopt when it can.
std::optional<std::string> whyNotWritable(const std::string& path) {
  if (!kit::FileManager::isDirectory(folderOf(path))) return std::string("its folder does not exist");
  return kit::ReplacementFile::whyNot(path);
}

// The file's name, and that name without its extension.
std::string fileNameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string stemOf(const std::string& path) {
  std::string name = fileNameOf(path);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

// The local time as text, for file names.
std::string stamp(std::string_view format) {
  return GlobalHelpers::_createStringFromDate(kit::Clock::current().now(), format).value_or("0");
}

// base + end, or, when that is taken, base + separator + 2 + end, and so on.
std::string unusedPath(const std::string& base, const std::string& separator, const std::string& end) {
  std::string path = base + end;
  for (int n = 2; kit::FileManager::exists(path); ++n) path = base + separator + std::to_string(n) + end;
  return path;
}

// Why a file could not be written at target, from the errno of the failed write.
std::string whyNotWritten(const std::string& target, int err) {
  const std::string folder = folderOf(target);
  if (!kit::FileManager::exists(folder)) return "the folder '" + folder + "' does not exist";
  return err ? std::string(std::strerror(err)) : std::string("it could not be written");
}

// Makes the folder with its parents; nullopt when it is there, else why not.
std::optional<std::string> whyNoFolder(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::error_code isError;
  if (std::filesystem::is_directory(folder, isError)) return std::nullopt;
  return ec ? ec.message() : std::string("it is not a folder");
}

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

std::optional<FileIdentity> identityOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{st.st_dev, st.st_ino, st.st_size, static_cast<std::int64_t>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec};
}

// Who holds a map, for the one who is refused it.
std::string holderText() {
  char host[256] = {};
  const bool named = ::gethostname(host, sizeof host - 1) == 0 && host[0];
  return fmt::format("quillmere edit, process {}{}{}", ::getpid(), named ? " on " : "", named ? host : "");
}

// The state is read by a test while the program runs: replaced whole by a rename, but not waited
// for on the disk as a map file is.
bool replaceQuickly(const std::string& path, std::string_view text) {
  std::string temp = path + ".tmp-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = kit::writeAll(fd, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

// ---- JSON text ---------------------------------------------------------------------------------

void appendJSONString(std::string& out, std::string_view s) {
  const bool valid = kit::isValidUtf8(s);
  out += '"';
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) out += fmt::format("\\u{:04x}", c);
        else if (c >= 0x80 && !valid) out += "\\ufffd";  // never pass on broken UTF-8
        else out += static_cast<char>(c);
    }
  }
  out += '"';
}

// Shortest text that reads back as the same number, in the C locale; JSON has no NaN.
void appendJSONNumber(std::string& out, double v) {
  if (!std::isfinite(v)) out += "null";
  else out += fmt::format("{}", v);
}

void appendJSONNumber(std::string& out, float v) {
  if (!std::isfinite(v)) out += "null";
  else out += fmt::format("{}", v);
}

void appendFrame(std::string& out, const kit::Rect& r) {
  out += "\"x\": ";
  appendJSONNumber(out, r.minX());
  out += ", \"y\": ";
  appendJSONNumber(out, r.minY());
  out += ", \"w\": ";
  appendJSONNumber(out, r.width());
  out += ", \"h\": ";
  appendJSONNumber(out, r.height());
}

}  // namespace

struct EditSession::Impl : kit::ViewControllerDelegate, LinkOpener {
  Impl() {
    window.keyboard().setHeight(0);  // a desktop has its own keyboard
    scroll.setMinimumZoomScale(kMinimumZoom);
    scroll.setMaximumZoomScale(kMaximumZoom);
  }

  ~Impl() override {
    kit::RunLoop::main().removeEndOfPassHook(hook);
    kit::RunLoop::main().cancelAll(this);
    closeChooser();
    if (ownsScreenProvider) FloatOver::setCurrentScreenProvider({});
    doc.bigView()->setPasteStyleChooserPresenter({});
    doc.bigView()->hideMenuController();
    scroll.removeFromSuperview();
  }

  // ---- Opening ----------------------------------------------------------------------------------

  // A new map whose central topic holds name, as an import of one line would make it.
  void startNewMap(const std::string& name) {
    MapFormats::ParsedMap map;
    map.topics.emplace_back().text = name;
    MapImport::buildNewMap(doc, std::move(map), name, false, 0);
  }

  void show() {
    doc.undoManager()->removeAllActions();
    doc.clearModified();
    BigView* canvas = doc.bigView();
    scroll.setContentView(canvas);
    window.addSubview(&scroll);
    canvas->setPasteStyleChooserPresenter([this](kit::Value attributes, NodeView* topic) {
      presentChooser(std::move(attributes), topic);
    });
    FloatOver::setCurrentScreenProvider([this]() -> kit::View* { return &window; });
    ownsScreenProvider = true;
    doc.setLinkOpener(this);
    doc.centreScreenOnRootNode();
    // Keys and the shake reach the map before any tap.
    canvas->becomeFirstResponder();
    const double now = kit::Clock::current().monotonicSeconds();
    lastSave = lastSnapshot = now;
    tick = kit::RunLoop::main().scheduleTimer(kTickInterval, true, [this](kit::Timer&) { onTick(); }, {}, this);
    hook = kit::RunLoop::main().addEndOfPassHook([this] { endOfPass(); });
    title = currentTitle();
  }


  // ---- Saving -----------------------------------------------------------------------------------

  double now() const { return kit::Clock::current().monotonicSeconds(); }

  // Saves the map file, unless another program changed or removed it since this session read or
  // last wrote it: then the map goes beside it under a name of its own, where the session saves
  // from then on. False, with the reason in saveError, when nothing could be written.
  bool save() {
    if (doc.isModified()) changedSinceSnapshot = true;
    const std::optional<FileIdentity> current = identityOf(path);
    if (known && current != known) {
      // With its folder gone there is nowhere beside it either.
      if (!current && !kit::FileManager::exists(folderOf(path))) return write(path);
      return saveBeside(!current);
    }
    return write(path);
  }

  bool write(const std::string& target) {
    errno = 0;
    if (!doc.saveMapToFile(target)) {
      saveError = "could not save the map to '" + target + "': " + whyNotWritten(target, errno);
      return false;
    }
    ++saves;
    lastSave = now();
    known = identityOf(target);
    saveError.clear();
    reportedFailure = closeRefused = false;
    return true;
  }

  bool saveBeside(bool removed) {
    const std::string original = path;
    const std::string target =
        unusedPath(folderOf(path) + "/" + stemOf(path) + " (conflict " + stamp("%Y-%m-%d %H%M%S"), " ", ").qlm");
    if (!write(target)) return false;
    path = target;
    doc.setMapName(stemOf(target));
    kit::Alert::show("The map was saved as a new file",
                     "'" + fileNameOf(original) + "' was " + (removed ? "removed" : "changed") +
                         " by another program after this window read it, so it was not written over. This "
                         "window's map was saved beside it as '" + fileNameOf(target) +
                         "', where this window saves from now on.");
    return true;
  }

  std::string versionsFolder() { return kit::AppPaths::documents() + "/versions/" + doc.storageKey(); }

  // The map file as it is now goes into the map's versions folder, named by the local time. False
  // when the map could not be saved, or its copy kept (the reason in snapshotError).
  bool takeSnapshot() {
    if (doc.isModified() && !save()) return false;
    const std::string folder = versionsFolder();
    auto fail = [&](const std::string& why) {
      snapshotError = "the application home cannot keep its version in '" + folder + "': " + why;
      return false;
    };
    if (std::optional<std::string> why = whyNoFolder(folder)) return fail(*why);
    const std::string target = unusedPath(folder + "/" + stamp("%Y%m%d-%H%M%S"), "-", ".qlm");
    std::optional<kit::Data> bytes = kit::FileManager::readFile(path);
    if (!bytes) return fail(std::strerror(errno));
    errno = 0;
    if (!kit::FileManager::writeAtomically(target, *bytes)) return fail(whyNotWritten(target, errno));
    GlobalHelpers::purgeOldFilesFrom(folder, static_cast<int>(kMostVersions));
    lastSnapshot = now();
    changedSinceSnapshot = false;
    return true;
  }

  static std::string recoveredFolder() { return kit::AppPaths::home() + "/Documents/recovered"; }

  // A map that cannot be saved where it belongs goes into the application home; the line says
  // where, or that even that failed.
  std::string recover() {
    const std::string folder = recoveredFolder();
    std::optional<std::string> problem = whyNoFolder(folder);
    if (!problem) {
      const std::string target = unusedPath(folder + "/" + stemOf(path) + "-" + stamp("%Y%m%d-%H%M%S"), "-", ".qlm");
      errno = 0;
      if (doc.saveMapToFile(target)) return saveError + "; the edits are in '" + target + "'";
      problem = whyNotWritten(target, errno);
    }
    return saveError + ", nor a recovery copy into '" + folder + "': " + *problem + "; the edits are lost";
  }

  // The first failure of a run of failed saves is said once, with why.
  void reportSaveFailure() {
    if (saveError.empty() || reportedFailure) return;
    showSaveFailure("The edits are kept in this window, and saving is tried again.");
  }

  // Says why the last save failed, then what becomes of the edits.
  void showSaveFailure(const std::string& outcome) {
    reportedFailure = true;
    std::string why = saveError;
    if (!why.empty() && why[0] >= 'a' && why[0] <= 'z') why[0] = static_cast<char>(why[0] - 'a' + 'A');
    kit::Alert::show("The map could not be saved", why + ". " + outcome);
  }

  void onTick() {
    if (dragging()) return;  // the map is half moved: the next tick saves it whole
    kit::LockGuard guard(AppServices::globalTreeLock());
    const double t = now();
    if ((changedSinceSnapshot || doc.isModified()) && t - lastSnapshot >= kSnapshotInterval)
      takeSnapshot();
    else if (doc.isModified() && t - lastSave >= kSaveInterval)
      save();
    if (doc.isModified()) reportSaveFailure();
  }

  // ---- Interactions in progress -----------------------------------------------------------------

  bool dragging() const {
    const BigView* c = doc.bigView();
    return c->draggingTopic() || c->draggingRelationship() || c->dragDropNode();
  }

  // A keystroke command still waiting runs first, so that what is saved or undone is whole.
  void commitEditing() { NodeView::finishEditing(); }

  // Ends what is under way: the edit keeps its text, the chooser and the menus close, and a drag
  // is cancelled, putting the map back as it was before the drag.
  void endInteractions() {
    commitEditing();
    closeChooser();
    window.viewLeaving(scroll);
    doc.bigView()->hideMenuController();
  }

  // ---- Links ------------------------------------------------------------------------------------

  void openAddress(const std::string& uri) override {
    if (links.openAddress) links.openAddress(uri);
  }

  // A relative path is read from this map's folder. Only a map file that exists opens (opening
  // makes a missing one), and not this one, which is open here.
  void openMap(const std::string& given) override {
    namespace fs = std::filesystem;
    if (!links.openMap) return;
    fs::path p(given);
    if (p.is_relative()) p = fs::path(folderOf(path)) / p;
    std::error_code ec;
    const fs::path target = fs::weakly_canonical(p, ec);
    if (ec || !fs::is_regular_file(target, ec) || !strings::pathHasExtensionNoCase(target.string(), "qlm")) return;
    if (fs::equivalent(target, path, ec) || ec) return;
    links.openMap(target.string());
  }

  // ---- The Paste Style chooser ------------------------------------------------------------------

  void presentChooser(kit::Value attributes, NodeView* topic) {
    if (chooser || !topic) return;
    doc.bigView()->hideMenuController();
    commitEditing();
    chooser = std::make_unique<kit::NavigationController>(std::make_unique<kit::ViewController>());
    chooser->view().setFrame(window.bounds());
    window.addSubview(&chooser->view());
    chooser->viewDidAppear(false);
    auto picker = std::make_unique<TopicAttributePicker>(std::move(attributes), topic);
    picker->setViewControllerDelegate(this);
    chooser->pushViewController(std::move(picker), true);
  }

  // The chooser's own button is still running: it goes at the next pass.
  void chooserFinished() {
    kit::RunLoop::main().performAfterDelay(this, "closeChooser", kit::Value(), 0, [this] { closeChooser(); });
  }
  void onDone(kit::ViewController&, const kit::Value&) override { chooserFinished(); }
  void onCancel(kit::ViewController&, const kit::Value&) override { chooserFinished(); }

  void closeChooser() {
    if (!chooser) return;
    window.viewLeaving(chooser->view());
    chooser->view().removeFromSuperview();
    chooser.reset();
    kit::RunLoop::main().cancelPerforms(this);
  }

  std::vector<std::string> screenTitles() const {
    std::vector<std::string> titles;
    if (!chooser) return titles;
    const std::vector<kit::ViewController*> stack = chooser->viewControllers();
    for (std::size_t i = 1; i < stack.size(); ++i) titles.push_back(stack[i]->title());
    return titles;
  }

  // ---- Title ------------------------------------------------------------------------------------

  std::string currentTitle() { return doc.mapName() + (doc.isModified() ? " *" : ""); }

  void noteTitle() {
    std::string now = currentTitle();
    if (now == title) return;
    title = std::move(now);
    if (titleChanged) titleChanged();
  }

  void endOfPass() {
    // As on a desktop, the map takes the keys and the shake back once nothing else holds them
    // (an edit ended, by Escape say).
    if (!window.firstResponder()) doc.bigView()->becomeFirstResponder();
    if (doc.isModified()) changedSinceSnapshot = true;
    noteTitle();
  }

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
  // The map file as this session read or last wrote it.
  std::optional<FileIdentity> known;
  std::optional<kit::FileLock> lock;
  std::string saveError, snapshotError;
  bool reportedFailure = false;
  bool closeRefused = false;
  std::optional<Closing> closing;
  bool ownsScreenProvider = false;
  std::string statePath;
  std::string lastState;
  std::map<std::string, double> hostValues;
};

EditSession::EditSession() : impl_(std::make_unique<Impl>()) {}

EditSession::~EditSession() = default;

std::unique_ptr<EditSession> EditSession::open(const std::string& given, std::string& error) {
  error.clear();
  const std::string shown = "'" + given + "'";
  auto fail = [&](const std::string& why) -> std::unique_ptr<EditSession> {
    error = oneLine("cannot open " + shown + ": " + why);
    return nullptr;
  };
  if (given.empty()) {
    error = "cannot open a map: no file named";
    return nullptr;
  }
  std::error_code ec;
  std::string path = std::filesystem::absolute(given, ec).lexically_normal().string();
  if (ec || path.empty()) path = given;
  if (kit::FileManager::isDirectory(path)) return fail("it is a folder");

  std::unique_ptr<EditSession> session(new EditSession());
  Impl& s = *session->impl_;
  // One session of a map per application home: its lock, keyed as its snapshots are. A home that
  // cannot hold the lock does not stop the editing; the check before each save still guards.
  auto lockMap = [&](const std::string& target) -> std::optional<std::string> {
    const std::string key = PseudoMapViewController::storageKeyForFile(target);
    kit::FileLock::Attempt attempt = kit::FileLock::tryLock(kit::AppPaths::home() + "/tmp/locks/" + key + ".lock", holderText());
    if (attempt.outcome == kit::FileLock::Outcome::HeldElsewhere)
      return "it is already open in another window" + (attempt.holder.empty() ? std::string() : " (" + attempt.holder + ")");
    if (attempt.lock) s.lock = std::move(attempt.lock);
    return std::nullopt;
  };
  // The lock is held: undo snapshots a window of this map left behind when it crashed go.
  auto claimMap = [&](const std::string& target) {
    s.doc.setMapFile(target);
    if (s.lock) s.doc.removeAllUndoSnapshotsOfMap();
  };
  const bool mapFile = strings::pathHasExtensionNoCase(path, "qlm");
  if (!kit::FileManager::exists(path)) {
    if (!mapFile) return fail("no such file (a new map is made for a name ending in .qlm)");
    if (std::optional<std::string> why = whyNotWritable(path)) return fail("it cannot be made: " + *why);
    if (std::optional<std::string> why = lockMap(path)) return fail(*why);
    s.path = path;
    s.startNewMap(GlobalHelpers::getMapNameFromPath(path));
    claimMap(path);
    if (!s.save()) return fail("it cannot be written");
  } else {
    // The command's reader: a regular file of at most 1 GiB, read once whole.
    std::string why;
    std::optional<std::string> read = MapImport::readInput(path, MapImport::InputSource::RegularFile, why);
    if (!read) return fail(why);
    const std::string bytes = std::move(*read);
    const MapImport::InputKind kind = mapFile ? MapImport::InputKind::MapFile : MapImport::inputKindFor(path, bytes);
    if (kind == MapImport::InputKind::MapFile) {
      if (std::optional<std::string> why = lockMap(path)) return fail(*why);
      // Taken before the reading: a change made meanwhile is then seen before the first save.
      s.known = identityOf(path);
      {
        kit::AlertCapture alerts;
        if (!s.doc.loadMapFromFile(path))
          return fail(alerts.last().empty() ? std::string("it is not a map file") : alerts.last());
      }
      if (!s.doc.bigView()->rootNode()) return fail("it holds no topics");
      // Edits that could never be saved are refused before they are made.
      if (std::optional<std::string> why = whyNotWritable(path)) return fail("it cannot be saved: " + *why);
      s.path = path;
      claimMap(path);
    } else {
      std::string why;
      std::optional<MapFormats::ParsedMap> map = kind == MapImport::InputKind::MapXML ? MapImport::parseXML(bytes, why)
                                                                                     : MapImport::parseOutline(bytes, why);
      if (!map) return fail(why);
      const std::string name = GlobalHelpers::getMapNameFromPath(path);
      const std::string target = folderOf(path) + "/" + name + ".qlm";
      if (kit::FileManager::exists(target))
        return fail("'" + target + "' already exists; open that map, or move it away to import this file again");
      if (std::optional<std::string> whyNot = whyNotWritable(target))
        return fail("'" + target + "' cannot be made: " + *whyNot);
      if (std::optional<std::string> held = lockMap(target)) return fail("'" + target + "': " + *held);
      if (!MapImport::buildNewMap(s.doc, std::move(*map), name, false, 0)) return fail("it holds no topics");
      s.path = target;
      claimMap(target);
      if (!s.save()) return fail("'" + target + "' cannot be written");
    }
  }
  s.show();
  if (const char* state = std::getenv("QUILLMERE_STATE"); state && *state) s.statePath = state;
  kit::Alert::clearShown();  // the state's alert is the latest one shown over this map
  return session;
}

kit::Window& EditSession::window() { return impl_->window; }

void EditSession::setWindowSize(kit::Size size) {
  if (!std::isfinite(size.width) || !std::isfinite(size.height) || size.width < 1 || size.height < 1) return;
  Impl& s = *impl_;
  const kit::Rect bounds(0, 0, size.width, size.height);
  // The map keeps its middle where it was.
  const kit::Size old = s.scroll.bounds().size;
  const kit::Point offset = s.scroll.contentOffset();
  s.window.setFrame(bounds);
  s.scroll.setFrame(bounds);
  s.scroll.setContentOffset(kit::Point(offset.x + (old.width - size.width) / 2, offset.y + (old.height - size.height) / 2));
  if (s.chooser) s.chooser->view().setFrame(bounds);
}

std::string EditSession::title() const { return impl_->currentTitle(); }

void EditSession::setTitleChanged(std::function<void()> fn) { impl_->titleChanged = std::move(fn); }

void EditSession::setLinkHandlers(LinkHandlers handlers) { impl_->links = std::move(handlers); }

void EditSession::undo() { undoOrRedo(true); }
void EditSession::redo() { undoOrRedo(false); }

void EditSession::undoOrRedo(bool undoing) {
  Impl& s = *impl_;
  // Not in the middle of a drag or while the chooser covers the map; an edit is committed first,
  // so that undo takes back the text just typed.
  if (s.dragging() || s.chooser) return;
  kit::LockGuard guard(AppServices::globalTreeLock());
  // A keystroke command still waiting is dropped: undo takes back the edit whose keys made it.
  NodeView::cancelKeyboardCommands(nullptr);
  s.commitEditing();
  s.doc.bigView()->hideMenuController();
  kit::UndoManager& undo = *s.doc.undoManager();
  undoing ? undo.undo() : undo.redo();
  s.noteTitle();
}

EditSession::Closing EditSession::close(bool insist) {
  Impl& s = *impl_;
  if (s.closing) return *s.closing;
  kit::LockGuard guard(AppServices::globalTreeLock());
  s.endInteractions();
  const bool changed = s.changedSinceSnapshot || s.doc.isModified();
  Closing c;
  if (!s.doc.isModified() || s.save()) {
    c.saved = true;
    // The map is safe: a version the home cannot keep is said, not a failure of the close.
    if (changed && !s.takeSnapshot()) c.message = "the map is saved, but " + s.snapshotError;
  } else if (!insist && !s.closeRefused) {
    // Closing now would lose the edits: the window stays, saying why.
    s.closeRefused = true;
    s.showSaveFailure("The window stays open so that no edit is lost. Close it again to keep the edits in a "
                      "recovery copy in '" + Impl::recoveredFolder() + "'.");
    s.noteTitle();
    return c;
  } else {
    c.message = s.recover();
  }
  if (s.tick) s.tick->invalidate();
  c.closed = true;
  s.closing = c;
  s.noteTitle();
  return c;
}

const std::string& EditSession::mapPath() const { return impl_->path; }
PseudoMapViewController& EditSession::document() { return impl_->doc; }

int EditSession::saveCount() const { return impl_->saves; }
std::string EditSession::versionsFolder() const { return impl_->versionsFolder(); }
std::vector<std::string> EditSession::screenTitles() const { return impl_->screenTitles(); }

std::string EditSession::Impl::stateText() {
  std::string out;
  out.reserve(4096);
  out += "{\"pid\": " + std::to_string(::getpid());
  out += ", \"title\": ";
  appendJSONString(out, currentTitle());
  out += ", \"modified\": ";
  out += doc.isModified() ? "true" : "false";
  out += ", \"saves\": " + std::to_string(saves);
  out += ", \"path\": ";
  appendJSONString(out, path);
  const kit::Rect bounds = window.bounds();
  out += ", \"window\": {\"w\": ";
  appendJSONNumber(out, bounds.width());
  out += ", \"h\": ";
  appendJSONNumber(out, bounds.height());
  out += "}";

  BigView* canvas = doc.bigView();
  out += ", \"selected\": ";
  if (NodeView* selected = canvas->selectedNode()) appendJSONString(out, selected->uuid());
  else out += "null";
  out += ", \"editing\": ";
  NodeView* editing = NodeView::currentEditingTopic();
  if (editing && editing->inPlaceEditTextView()) {
    out += "{\"uuid\": ";
    appendJSONString(out, editing->uuid());
    out += ", \"text\": ";
    appendJSONString(out, editing->inPlaceEditTextView()->text());
    out += "}";
  } else {
    out += "null";
  }

  const kit::MenuController& menu = kit::MenuController::shared();
  const bool menuShown = menu.isMenuVisible() && menu.targetView() && menu.targetView()->window() == &window;
  out += ", \"menu\": {\"visible\": ";
  out += menuShown ? "true" : "false";
  out += ", \"items\": [";
  if (menuShown)
    for (std::size_t i = 0; i < menu.visibleItems().size(); ++i) {
      out += i ? ", {\"title\": " : "{\"title\": ";
      appendJSONString(out, menu.visibleItems()[i].title);
      out += ", ";
      appendFrame(out, menu.itemFrame(i));
      out += "}";
    }
  out += "]}";

  out += ", \"screens\": [";
  const std::vector<std::string> screens = screenTitles();
  for (std::size_t i = 0; i < screens.size(); ++i) {
    if (i) out += ", ";
    appendJSONString(out, screens[i]);
  }
  out += "]";

  out += ", \"alert\": ";
  const std::vector<kit::AlertRecord>& alerts = kit::Alert::shown();
  if (!alerts.empty()) {
    const kit::AlertRecord& a = alerts.back();
    out += "{\"title\": ";
    appendJSONString(out, a.title);
    out += ", \"message\": ";
    appendJSONString(out, a.message);
    out += ", \"buttons\": [";
    for (std::size_t i = 0; i < a.buttons.size(); ++i) {
      if (i) out += ", ";
      appendJSONString(out, a.buttons[i]);
    }
    out += "]}";
  } else {
    out += "null";
  }

  // The topics at least partly inside the window, in pre-order; a hidden topic hides its branch.
  out += ", \"topics\": [";
  std::size_t listed = 0;
  if (NodeView* root = canvas->rootNode()) {
    // The window in canvas coordinates: only the topics meeting it are converted.
    const kit::Rect seen = window.convertRectToView(bounds, canvas);
    const kit::Rect near = seen.insetBy(-kShapeMargin, -kShapeMargin);
    auto meets = [](const kit::Rect& a, const kit::Rect& b) {
      return a.maxX() > b.minX() && a.minX() < b.maxX() && a.maxY() > b.minY() && a.minY() < b.maxY();
    };
    std::vector<NodeView*> stack{root};
    while (!stack.empty() && listed < kMostStateTopics) {
      NodeView* n = stack.back();
      stack.pop_back();
      if (n->isHidden() || n->alpha() <= 0) continue;
      // The view's frame, cheap to read, holds the shape: most topics are passed over by it.
      kit::Rect shape = n->frame();
      if (meets(shape, near) && meets(shape = n->getAdjustedNodeShapeFrame(), seen)) {
        const kit::Rect frame = canvas->convertRectToView(shape, &window);
        out += listed++ ? ", {\"uuid\": " : "{\"uuid\": ";
        appendJSONString(out, n->uuid());
        out += ", \"text\": ";
        appendJSONString(out, n->strName());
        out += ", \"parent\": ";
        if (NodeView* p = n->parentNode()) appendJSONString(out, p->uuid());
        else out += "null";
        out += ", ";
        appendFrame(out, frame);
        out += "}";
      }
      const auto& children = n->childNodes();
      for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(it->get());
    }
  }
  out += "]";

  out += ", \"pasteboard\": {\"changeCount\": " + std::to_string(kit::Pasteboard::general().changeCount()) + "}";
  out += ", \"host\": {";
  bool first = true;
  for (const auto& [key, value] : hostValues) {
    if (!first) out += ", ";
    first = false;
    appendJSONString(out, key);
    out += ": ";
    appendJSONNumber(out, value);
  }
  out += "}}\n";
  return out;
}

void EditSession::writeStateIfChanged() {
  Impl& s = *impl_;
  if (s.statePath.empty()) return;
  std::string text = s.stateText();
  if (text == s.lastState) return;
  if (replaceQuickly(s.statePath, text)) s.lastState = std::move(text);
}

void EditSession::setHostValue(const std::string& key, double value) { impl_->hostValues[key] = value; }
