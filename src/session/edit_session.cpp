#include "session/edit_session.h"

#include <sys/stat.h>
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

constexpr std::uint64_t kInputLimit = std::uint64_t(1) << 30;
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

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Why a file could not be replaced at path, found by making its replacement; nullopt when it can.
std::optional<std::string> whyNotWritable(const std::string& path) {
  if (!kit::FileManager::isDirectory(folderOf(path))) return std::string("its folder does not exist");
  if (!kit::ReplacementFile::create(path)) return std::string(std::strerror(errno));
  return std::nullopt;
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

struct EditSession::Impl : kit::ViewControllerDelegate {
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

  bool save() {
    if (doc.isModified()) changedSinceSnapshot = true;
    if (!doc.saveMapToFile(path)) return false;
    ++saves;
    lastSave = now();
    return true;
  }

  std::string versionsFolder() { return kit::AppPaths::documents() + "/versions/" + doc.mapID(); }

  // The map file as it is now goes into the map's versions folder, named by the local time.
  bool takeSnapshot() {
    if (doc.isModified() && !save()) return false;
    const std::string folder = versionsFolder();
    if (!kit::FileManager::createDirectories(folder)) return false;
    const std::string stamp =
        GlobalHelpers::_createStringFromDate(kit::Clock::current().now(), "%Y%m%d-%H%M%S").value_or("snapshot");
    std::string target = folder + "/" + stamp + ".qlm";
    for (int n = 2; kit::FileManager::exists(target); ++n) target = folder + "/" + stamp + "-" + std::to_string(n) + ".qlm";
    std::optional<kit::Data> bytes = kit::FileManager::readFile(path);
    if (!bytes || !kit::FileManager::writeAtomically(target, *bytes)) return false;
    GlobalHelpers::purgeOldFilesFrom(folder, static_cast<int>(kMostVersions));
    lastSnapshot = now();
    changedSinceSnapshot = false;
    return true;
  }

  void onTick() {
    if (dragging()) return;  // the map is half moved: the next tick saves it whole
    kit::LockGuard guard(AppServices::globalTreeLock());
    const double t = now();
    if ((changedSinceSnapshot || doc.isModified()) && t - lastSnapshot >= kSnapshotInterval)
      takeSnapshot();
    else if (doc.isModified() && t - lastSave >= kSaveInterval)
      save();
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
  std::string title;
  kit::TimerRef tick;
  kit::RunLoop::HookId hook = 0;
  double lastSave = 0, lastSnapshot = 0;
  bool changedSinceSnapshot = false;
  int saves = 0;
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
  const bool mapFile = strings::pathHasExtensionNoCase(path, "qlm");
  if (!kit::FileManager::exists(path)) {
    if (!mapFile) return fail("no such file (a new map is made for a name ending in .qlm)");
    if (std::optional<std::string> why = whyNotWritable(path)) return fail("it cannot be made: " + *why);
    s.path = path;
    s.startNewMap(GlobalHelpers::getMapNameFromPath(path));
    if (!s.save()) return fail("it cannot be written");
  } else {
    if (::access(path.c_str(), R_OK) != 0) return fail(std::strerror(errno));
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_size) > kInputLimit)
      return fail("it is larger than 1 GiB");
    std::string bytes;
    if (!mapFile) {
      std::optional<std::string> text = kit::FileManager::readText(path);
      if (!text) return fail(std::strerror(errno));
      bytes = std::move(*text);
    }
    const MapImport::InputKind kind = mapFile ? MapImport::InputKind::MapFile : MapImport::inputKindFor(path, bytes);
    if (kind == MapImport::InputKind::MapFile) {
      {
        kit::AlertCapture alerts;
        if (!s.doc.loadMapFromFile(path))
          return fail(alerts.last().empty() ? std::string("it is not a map file") : alerts.last());
      }
      if (!s.doc.bigView()->rootNode()) return fail("it holds no topics");
      // Edits that could never be saved are refused before they are made.
      if (std::optional<std::string> why = whyNotWritable(path)) return fail("it cannot be saved: " + *why);
      s.path = path;
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
      if (!MapImport::buildNewMap(s.doc, std::move(*map), name, false, 0)) return fail("it holds no topics");
      s.path = target;
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

bool EditSession::close() {
  Impl& s = *impl_;
  kit::LockGuard guard(AppServices::globalTreeLock());
  s.endInteractions();
  if (s.tick) s.tick->invalidate();
  const bool changed = s.changedSinceSnapshot || s.doc.isModified();
  bool ok = !s.doc.isModified() || s.save();
  if (ok && changed) ok = s.takeSnapshot();
  s.noteTitle();
  return ok && !s.doc.isModified();
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
