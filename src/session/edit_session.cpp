// The life of an edit session: opening a map (or importing an outline beside it), showing it in
// the window, the title, undo and redo, links, and closing.
#include "session/edit_session.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

#include <fmt/format.h>

#include "document/map_import.h"
#include "helpers/float_over.h"
#include "helpers/global_helpers_file_formats.h"
#include "helpers/strings.h"
#include "kit/core/app_paths.h"
#include "kit/core/clock.h"
#include "kit/core/files.h"
#include "kit/core/lock.h"
#include "kit/core/name_limit.h"
#include "kit/ui/alert.h"
#include "kit/ui/keyboard.h"
#include "model/node_view.h"
#include "session/edit_session_impl.h"

namespace {

constexpr float kMinimumZoom = 0.25f;
constexpr float kMaximumZoom = 2.0f;

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

// Who holds a map, for the one who is refused it.
std::string holderText() {
  char host[256] = {};
  const bool named = ::gethostname(host, sizeof host - 1) == 0 && host[0];
  return fmt::format("quillmere edit, process {}{}{}", ::getpid(), named ? " on " : "", named ? host : "");
}

}  // namespace

using edit_session::identityOf;
using edit_session::whyNotWritable;
using kit::folderOf;

EditSession::Impl::Impl() {
  window.keyboard().setHeight(0);  // a desktop has its own keyboard
  scroll.setMinimumZoomScale(kMinimumZoom);
  scroll.setMaximumZoomScale(kMaximumZoom);
}

EditSession::Impl::~Impl() {
  kit::RunLoop::main().removeEndOfPassHook(hook);
  kit::RunLoop::main().cancelAll(this);
  closeChooser();
  if (ownsScreenProvider) FloatOver::setCurrentScreenProvider({});
  doc.bigView()->setPasteStyleChooserPresenter({});
  doc.bigView()->hideMenuController();
  scroll.removeFromSuperview();
}

// ---- Opening ----------------------------------------------------------------------------------

void EditSession::Impl::startNewMap(const std::string& name) {
  MapFormats::ParsedMap map;
  map.topics.emplace_back().text = name;
  MapImport::buildNewMap(doc, std::move(map), name, false, 0);
}

void EditSession::Impl::show() {
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

// ---- Interactions in progress -----------------------------------------------------------------

bool EditSession::Impl::dragging() const {
  const BigView* c = doc.bigView();
  return c->draggingTopic() || c->draggingRelationship() || c->dragDropNode();
}

void EditSession::Impl::commitEditing() { NodeView::finishEditing(); }

void EditSession::Impl::endInteractions() {
  commitEditing();
  closeChooser();
  window.viewLeaving(scroll);
  doc.bigView()->hideMenuController();
}

void EditSession::Impl::noteEditEnded() {
  if (!savedWhileEditing || NodeView::currentEditingTopic()) return;
  savedWhileEditing = false;
  doc.setModified();
}

// ---- Links ------------------------------------------------------------------------------------

void EditSession::Impl::openAddress(const std::string& uri) {
  if (links.openAddress) links.openAddress(uri);
}

void EditSession::Impl::openMap(const std::string& given) {
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

// ---- Title ------------------------------------------------------------------------------------

std::string EditSession::Impl::currentTitle() { return doc.mapName() + (doc.isModified() ? " *" : ""); }

void EditSession::Impl::noteTitle() {
  std::string now = currentTitle();
  if (now == title) return;
  title = std::move(now);
  if (titleChanged) titleChanged();
}

void EditSession::Impl::endOfPass() {
  // As on a desktop, the map takes the keys and the shake back once nothing else holds them
  // (an edit ended, by Escape say).
  if (!window.firstResponder()) doc.bigView()->becomeFirstResponder();
  noteEditEnded();
  if (doc.isModified()) changedSinceSnapshot = true;
  noteTitle();
}

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
    if (!s.write(path, true))
      return fail(s.nameTaken ? "it is a link that leads nowhere, or another program made it meanwhile; remove the "
                                "link, or open the map again"
                              : s.saveError);
  } else {
    // Taken before the reading: a change made meanwhile is then seen before the first save.
    const std::optional<edit_session::FileIdentity> before = identityOf(path);
    // The command's reader: a regular file of at most 1 GiB, read once whole.
    std::string why;
    std::optional<std::string> read = kit::readWhole(path, why);
    if (!read) return fail(why);
    const std::string bytes = std::move(*read);
    const MapImport::InputKind kind = mapFile ? MapImport::InputKind::MapFile : MapImport::inputKindFor(path, bytes);
    if (kind == MapImport::InputKind::MapFile) {
      if (std::optional<std::string> why = lockMap(path)) return fail(*why);
      s.known = before;
      {
        kit::AlertCapture alerts;
        if (!s.doc.loadMapFromData(path, bytes))
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
      // Named after the outline, shortened to leave room for the extension.
      const std::string name = kit::fitName(GlobalHelpers::getMapNameFromPath(path), "", kit::kNameLimit - 4);
      const std::string target = folderOf(path) + "/" + name + ".qlm";
      const std::string taken = "'" + target + "' already exists; open that map, or move it away to import this file again";
      if (kit::FileManager::itemExists(target)) return fail(taken);
      if (std::optional<std::string> whyNot = whyNotWritable(target))
        return fail("'" + target + "' cannot be made: " + *whyNot);
      if (std::optional<std::string> held = lockMap(target)) return fail("'" + target + "': " + *held);
      if (!MapImport::buildNewMap(s.doc, std::move(*map), name, false, 0)) return fail("it holds no topics");
      s.path = target;
      claimMap(target);
      // The import took its time: a map another program made there meanwhile is not written over.
      if (!s.write(target, true)) return fail(s.nameTaken ? taken : s.saveError);
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
  s.noteEditEnded();
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
