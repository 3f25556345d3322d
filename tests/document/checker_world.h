// The gesture checker's world: random maps and settings, random gesture sequences through the one
// event door under the manual clock, in the window an edit session shows (the window program's
// own screen, undo keys and Paste Style chooser), the invariants each gesture must keep, and the
// shrinking of a failing sequence. Used by the checker test and by the gesture fuzz target; needs
// an application home and the manual clock (kit/testing). Each user includes it in one file only.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_delegate.h"
#include "document/checker_invariants.h"
#include "document/pseudo_map_view_controller.h"
#include "editing/topic_attribute_picker.h"
#include "formats/map_formats.h"
#include "helpers/global_helpers_identifiers.h"
#include "kit/core/app_paths.h"
#include "kit/core/files.h"
#include "kit/core/lock.h"
#include "kit/core/run_loop.h"
#include "kit/core/user_defaults.h"
#include "kit/testing/app_home.h"
#include "kit/testing/event_script.h"
#include "kit/ui/button.h"
#include "kit/ui/menu_controller.h"
#include "kit/ui/pasteboard.h"
#include "kit/ui/scroll_view.h"
#include "kit/ui/table_view.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"
#include "model/app_services.h"
#include "model/node_view.h"
#include "session/edit_session.h"

namespace checker {

using kit::Point;

constexpr std::size_t kActions = 40;
// The screen is compared with a direct draw after one action in so many (chosen by the action
// itself, so that a shrunk sequence compares after the same actions) and at the end of a sequence.
bool screenAfter(const struct Action& a);

#define CHECKER_KINDS(X)                                                                                        \
  X(Tap, "tap", 6) X(SlowTap, "slow tap", 2) X(DoubleTap, "double tap", 4) X(LateSecondTap, "late second tap", 1) \
  X(BackgroundTap, "background tap", 3) X(BackgroundDoubleTap, "background double tap", 2)                       \
  X(LiftReleased, "lift released", 2) X(LiftAndDrag, "lift and drag", 5) X(FreeDrag, "free drag", 4)             \
  X(SmallMove, "small move", 2) X(DragToEdge, "drag to edge", 3) X(FoldTap, "fold tap", 2)                       \
  X(FoldDoubleTap, "fold double tap", 1) X(GripDrag, "grip drag", 3) X(GripTap, "grip tap", 1)                   \
  X(MenuItem, "menu item", 14) X(Type, "type", 5) X(Preedit, "pre-edit", 2) X(Undo, "undo", 4)                   \
  X(Redo, "redo", 2) X(Reopen, "reopen", 1) X(Pan, "pan", 1) X(KeysThenTouch, "keys then touch", 3)               \
  X(DropLeftByTouch, "drop menu left by a touch", 2) X(MissTouch, "touch outside the topic's box", 2)             \
  X(BadgeLongPress, "long press on a badge", 2) X(RelationshipDrag, "relationship handle drag", 3)               \
  X(Wheel, "wheel", 2) X(TouchCancel, "touch cancel", 1) X(Shake, "shake", 1) X(Escape, "escape", 2)              \
  X(TwoTouches, "two touches", 1) X(Chooser, "paste style chooser", 3)

enum class Kind : int {
#define X(name, text, weight) name,
  CHECKER_KINDS(X)
#undef X
      Count
};
constexpr const char* kKindNames[] = {
#define X(name, text, weight) text,
    CHECKER_KINDS(X)
#undef X
};
// Relative weights: menus and the gestures that open them come often, so that their items get
// chosen.
constexpr int kWeights[] = {
#define X(name, text, weight) weight,
    CHECKER_KINDS(X)
#undef X
};

// The random numbers an action resolves against the map as it is when it runs.
struct Action {
  Kind kind;
  float u[4];
};

bool screenAfter(const Action& a) {
  static const int every = std::getenv("QUILL_CHECKER_SCREEN_EVERY") ? std::atoi(std::getenv("QUILL_CHECKER_SCREEN_EVERY")) : 8;
  return every <= 1 || static_cast<int>(a.u[0] * 7919 + a.u[1] * 104729) % every == 0;
}

std::string describe(const Action& a) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "%s (%.3f %.3f %.3f %.3f)", kKindNames[static_cast<int>(a.kind)], a.u[0], a.u[1],
                a.u[2], a.u[3]);
  return buf;
}

// QUILL_CHECKER_KINDS_OFF: gestures left out of new sequences, by name, separated by "|" (while a
// known fault is being mended).
std::vector<int> weights() {
  std::vector<int> w(std::begin(kWeights), std::end(kWeights));
  if (const char* off = std::getenv("QUILL_CHECKER_KINDS_OFF")) {
    std::istringstream list(off);
    for (std::string item; std::getline(list, item, '|');)
      for (std::size_t k = 0; k < w.size(); ++k)
        if (item == kKindNames[k]) w[k] = 0;
  }
  return w;
}

std::vector<Action> randomActions(std::uint64_t seed, std::size_t count) {
  std::mt19937_64 rng(seed * 7919 + 17);
  const std::vector<int> w = weights();
  std::discrete_distribution<int> kind(w.begin(), w.end());
  std::uniform_real_distribution<float> u(0, 1);
  std::vector<Action> out;
  for (std::size_t i = 0; i < count; ++i) {
    Action a{static_cast<Kind>(kind(rng)), {}};
    for (float& x : a.u) x = u(rng);
    out.push_back(a);
  }
  return out;
}

// What QUILL_CHECKER_SURVEY prints: how often each gesture found something to act on, and each
// menu item was chosen.
std::map<std::string, std::size_t>& survey() {
  static std::map<std::string, std::size_t> counts;
  return counts;
}

// ---- Random settings and maps ------------------------------------------------------------------

// Every setting that changes interaction, drawn per sequence from the seed over the shipped
// defaults; set for this process only.
constexpr const char* kBoolSettings[] = {"ui_auto_scroll",         "ui_keyboard_shortcut",
                                         "ui_keyboard_shortcut_triple_delete_disabled",
                                         "ui_geo_create_enabled_", "ui_crosshair_enabled",
                                         "ui_animation_enabled",   "ui_default_justify_centre",
                                         "te_enabled",             "ui_capitalize_words",
                                         "ui_capitalize_sentences"};

void drawSettings(std::uint64_t seed) {
  std::mt19937_64 rng(seed * 104729 + 3);
  kit::UserDefaults& d = kit::UserDefaults::standard();
  d.setVolatile("ui_topic_resize_handle", kit::Value(static_cast<std::int64_t>(rng() % 3)));
  for (const char* key : kBoolSettings) d.setVolatile(key, kit::Value(rng() % 2 == 0));
}

void dropSettings() {
  kit::UserDefaults& d = kit::UserDefaults::standard();
  d.setVolatile("ui_topic_resize_handle", std::nullopt);
  for (const char* key : kBoolSettings) d.setVolatile(key, std::nullopt);
}

const char* const kWords[] = {"plan", "idea", "garden", "über", "naïve", "日本語", "テキスト", "😀", "été",
                              "x",    "a much longer topic text that wraps over several lines of the box",
                              "Ωμέγα", "ok"};

std::string randomText(std::mt19937_64& rng) {
  std::string s;
  const int words = 1 + static_cast<int>(rng() % 4);
  for (int i = 0; i < words; ++i) {
    if (i) s += ' ';
    s += kWords[rng() % std::size(kWords)];
  }
  if (rng() % 20 == 0)
    for (int i = 0; i < 30; ++i) s += " ünïcödé";
  return s;
}

void buildRandomMap(PseudoMapViewController& doc, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  BigView* canvas = doc.bigView();
  doc.setMapSetting("KeepOrganised", rng() % 2 == 0);
  doc.setRainbow(rng() % 2 == 0);
  NodeView* root = canvas->createChildNodeOf(nullptr, Point());
  root->setStrName("Central " + randomText(rng));
  root->_calcLayout();
  const int tiers[] = {1, 4, 12, 40, 300};
  const int most = tiers[rng() % std::size(tiers)];
  const int count = 1 + static_cast<int>(rng() % static_cast<std::uint64_t>(most));
  struct Made {
    NodeView* topic;
    int depth;
  };
  std::vector<Made> made{{root, 0}};
  for (int i = 1; i < count; ++i) {
    Made parent = made[rng() % made.size()];
    if (parent.depth >= 8) parent = made[0];
    const bool floating = parent.topic == root && rng() % 5 == 0;
    const Point c = parent.topic->center();
    const float side = parent.topic == root ? (rng() % 2 ? 1.0f : -1.0f)
                                            : (parent.topic->isLogicallyToRightOfRoot() ? 1.0f : -1.0f);
    const float dy = static_cast<float>(static_cast<int>(rng() % 400) - 200);
    const float dx = side * (floating ? 600.0f : 160.0f + static_cast<float>(rng() % 80));
    NodeView* n = canvas->createChildNodeOf(parent.topic, Point(c.x + dx, c.y + dy));
    n->setStrName(randomText(rng));
    if (floating) n->setIsFloating(true, false);
    else if (parent.topic != root && rng() % 10 == 0) n->setIsCallout(true, false);
    if (rng() % 15 == 0) n->setHasBoundary(true, false);
    if (rng() % 12 == 0) n->setStrLink("https://example.org");
    if (rng() % 10 == 0) n->setProgress(static_cast<std::int32_t>(25 * (rng() % 5)), false);
    n->_calcLayout();
    made.push_back({n, floating ? 1 : parent.depth + 1});
  }
  for (int r = static_cast<int>(rng() % 4); r > 0 && made.size() > 2; --r) {
    NodeView* a = made[rng() % made.size()].topic;
    NodeView* b = made[rng() % made.size()].topic;
    if (a != b) canvas->createRelationshipBetweenNode(a, 0, b, 1, Point(), RGB255{200, 40, 40});
  }
  for (const Made& m : made)
    if (m.topic->getChildTopicCount() > 0 && rng() % 8 == 0) canvas->toggleFoldState(m.topic);
  canvas->setSelectedNode(root, true);
  canvas->evaluateDisplayAttributesForSelectedBranchAndRedraw();
  if (doc.getKeepOrganised()) canvas->rearrangeAll(false);
}

// The shipped defaults under the drawn settings, read by a delegate as the window program's is.
struct Settings {
  explicit Settings(std::uint64_t seed) { drawSettings(seed); }
  ~Settings() { dropSettings(); }
  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;
};

// ---- Scripted input that knows which touches are down ------------------------------------------

class Script {
 public:
  explicit Script(kit::Window& window) : s_(window) {}
  void wait(double seconds) { s_.wait(seconds); }
  void down(Point p, int id = 1) {
    downs_.push_back(p);
    held_.insert(id);
    s_.down(p, id);
  }
  void move(Point p, int id = 1) { s_.move(p, id); }
  void up(Point p, int id = 1) {
    held_.erase(id);
    s_.up(p, id);
  }
  void cancel(Point p, int id = 1) {
    held_.erase(id);
    s_.cancel(p, id);
  }
  void tap(Point p) {
    down(p);
    wait(0.05);
    up(p);
  }
  void doubleTap(Point p) {
    tap(p);
    wait(0.15);
    tap(p);
  }
  void press(Point p, double seconds) {
    down(p);
    wait(seconds);
    up(p);
  }
  // Down at from, to `to` in `steps` moves over `seconds`, not lifted.
  void path(Point from, Point to, int steps, double seconds, int id = 1) {
    for (int i = 1; i <= steps; ++i) {
      wait(seconds / steps);
      const float t = static_cast<float>(i) / static_cast<float>(steps);
      move(Point(from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t), id);
    }
  }
  // Down at from, to `to` in `steps` moves over `seconds`, and up there.
  void drag(Point from, Point to, int steps, double seconds) {
    down(from);
    path(from, to, steps, seconds);
    up(to);
  }
  kit::EventScript& keys() { return s_; }
  bool touchDown() const { return !held_.empty(); }
  // Where touches went down since the last call.
  std::vector<Point> takeDowns() { return std::exchange(downs_, {}); }

 private:
  kit::EventScript s_;
  std::set<int> held_;
  std::vector<Point> downs_;
};

// ---- The world: one open map in an edit session's window ---------------------------------------

class World {
 public:
  explicit World(std::uint64_t seed) : settings_(seed) {
    app_->rereadSettings();
    // Both clipboards start empty.
    kit::Pasteboard::general().clear();
    for (int c : {1, 2})
      kit::FileManager::remove(kit::AppPaths::temporary() + "/" + GlobalHelpers::clipboardNameForType(c));
    path_ = kit::AppPaths::temporary() + "/checker.qlm";
    {
      PseudoMapViewController built;
      buildRandomMap(built, seed);
      built.saveMapToFile(path_);
    }
    open();
  }
  ~World() {
    if (session_) session_->close(true);
    session_.reset();
  }
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  BigView* canvas() const { return doc().bigView(); }

  // Runs the action; "" or what broke.
  std::string step(const Action& a) {
    showItem_ = shownItemFrame("Show");
    script_->takeDowns();
    const bool acted = run(a);
    if (acted) ++survey()[std::string("gesture: ") + kKindNames[static_cast<int>(a.kind)]];
    // "Show" unfolds without an undo step of its own, however it is chosen.
    for (const Point& p : script_->takeDowns())
      if (showItem_ && showItem_->contains(p)) unrecorded_ = true;
    if (std::getenv("QUILL_CHECKER_VERBOSE"))
      kit::FileManager::write("/tmp/checker-step" + std::to_string(steps_) + ".xml", xml());
    ++steps_;
    std::string what = std::exchange(broke_, {});
    if (what.empty()) {
      // The checks undo, redo and save outside any pass: tiles wait for them as for a pass.
      kit::LockGuard guard(AppServices::globalTreeLock());
      what = reopenDiffers_.empty() ? check(a.kind) : std::exchange(reopenDiffers_, {});
    }
    if (what.empty() && screenAfter(a) && quiet()) what = screen();
    return ignored(what) ? std::string() : what;
  }

  // At the end of a sequence: the screen once more.
  std::string finish() {
    if (!quiet()) return {};
    std::string what = screen();
    return ignored(what) ? std::string() : what;
  }

 private:
  // QUILL_CHECKER_IGNORE: invariants left out of this run, separated by "|".
  static bool ignored(const std::string& what) {
    const char* ignore = std::getenv("QUILL_CHECKER_IGNORE");
    if (!ignore || what.empty()) return false;
    std::istringstream list(ignore);
    for (std::string item; std::getline(list, item, '|');)
      if (!item.empty() && what.rfind(item, 0) == 0) return true;
    return false;
  }

  std::string screen() const {
    std::string what = screenDiffers(window(), overlaps());
    if (auto* scroll = dynamic_cast<kit::ScrollView*>(canvas()->superview()); scroll && !what.empty())
      what += " (zoom " + std::to_string(scroll->zoomScale()) + ")";
    return what;
  }
  PseudoMapViewController& doc() const { return session_->document(); }
  kit::Window& window() const { return session_->window(); }
  std::string xml() const { return MapFormats::dumpMap(*canvas()); }

  void open() {
    std::string error;
    session_ = EditSession::open(path_, error);
    if (!session_) {
      std::fprintf(stderr, "checker: %s\n", error.c_str());
      std::abort();
    }
    script_ = std::make_unique<Script>(window());
    script_->wait(1);
    layers_ = canvas()->canvasLayer().sublayers().size();
    history_.clear();
    settle(xml());
  }

  // ---- Finding things on screen ----------------------------------------------------------------

  // The topics on screen, in tree order; with `only`, those it accepts.
  template <typename F>
  std::vector<NodeView*> visibleTopics(F only) const {
    std::vector<NodeView*> out;
    NodeView* root = canvas()->rootNode();
    if (!root) return out;
    std::vector<NodeView*> all{root};
    for (NodeView* n : root->getListOfDescendents()) all.push_back(n);
    const kit::Rect seen = window().bounds().insetBy(8, 8);
    for (NodeView* n : all)
      if (n->alpha() > 0 && seen.contains(on(n)) && only(n)) out.push_back(n);
    return out;
  }
  std::vector<NodeView*> visibleTopics() const {
    return visibleTopics([](NodeView*) { return true; });
  }
  template <typename T>
  static T* choose(const std::vector<T*>& v, float u) {
    if (v.empty()) return nullptr;
    return v[std::min(v.size() - 1, static_cast<std::size_t>(u * static_cast<float>(v.size())))];
  }
  Point on(const NodeView* n) const { return canvas()->convertPointToView(n->center(), &window()); }
  // The middle of a part of n, when a touch there reaches n.
  std::optional<Point> on(NodeView* n, const kit::Rect& part) const {
    const Point p = n->convertPointToView(part.mid(), &window());
    if (window().hitTest(p) != n) return std::nullopt;
    return p;
  }
  NodeView* pick(float u) const { return choose(visibleTopics(), u); }
  // Floating topics and callouts (whose menus differ) or folded ones, when u is small and there are any.
  NodeView* pickSpecial(float u) const {
    if (u < 0.35f) {
      std::vector<NodeView*> v = visibleTopics([](NodeView* n) { return n->isFloating() || n->isCallout() || n->isFolded(); });
      if (!v.empty()) return choose(v, u / 0.35f);
    }
    return pick(u);
  }
  NodeView* pickOther(float u, const NodeView* not_) const {
    std::vector<NodeView*> v = visibleTopics([not_](NodeView* n) { return n != not_; });
    return choose(v, u);
  }
  Point anywhere(float ux, float uy) const {
    const kit::Rect b = window().bounds();
    return Point(b.minX() + 4 + ux * (b.width() - 8), b.minY() + 4 + uy * (b.height() - 8));
  }
  // A point on the background near u, else nothing.
  std::optional<Point> background(float ux, float uy) const {
    for (int i = 0; i < 8; ++i) {
      const Point p = anywhere(std::fmod(ux + 0.37f * static_cast<float>(i), 1.0f),
                               std::fmod(uy + 0.61f * static_cast<float>(i), 1.0f));
      if (window().hitTest(p) == canvas()) return p;
    }
    return std::nullopt;
  }
  std::optional<Point> disclosure(float u) const {
    NodeView* n = choose(visibleTopics([](NodeView* t) {
                           return t->getChildTopicCount() > 0 && !t->getDisclosureTarget().isEmpty();
                         }),
                         u);
    if (!n) return std::nullopt;
    return on(n, n->getDisclosureTarget());
  }
  std::optional<Point> taskBadge(float u) const {
    NodeView* n = choose(visibleTopics([](NodeView* t) { return !t->rcTaskBadge().isEmpty(); }), u);
    if (!n) return std::nullopt;
    return on(n, n->rcTaskBadge());
  }
  // A point inside a topic's view where its hit test gives 0 (outside its box).
  std::optional<Point> outsideBox(float u) const {
    std::vector<std::pair<NodeView*, Point>> found;
    for (NodeView* n : visibleTopics()) {
      const kit::Rect b = n->bounds();
      for (Point p : {Point(b.minX() + 1, b.minY() + 1), Point(b.maxX() - 1, b.minY() + 1),
                      Point(b.minX() + 1, b.maxY() - 1), Point(b.maxX() - 1, b.maxY() - 1),
                      Point(b.midX(), b.minY() + 1), Point(b.midX(), b.maxY() - 1)}) {
        const Point w = n->convertPointToView(p, &window());
        if (n->getHitTestResult(p) == 0 && window().hitTest(w) == n) {
          found.emplace_back(n, w);
          break;
        }
      }
    }
    if (found.empty()) return std::nullopt;
    return found[std::min(found.size() - 1, static_cast<std::size_t>(u * static_cast<float>(found.size())))].second;
  }
  std::optional<Point> grip() const {
    kit::View* tool = canvas()->topicResizeTool();
    if (!tool || !tool->superview() || tool->alpha() == 0 || tool->isHidden()) return std::nullopt;
    const Point p = tool->superview()->convertPointToView(tool->center(), &window());
    if (!window().bounds().contains(p) || window().hitTest(p) != tool) return std::nullopt;
    return p;
  }
  // Where two of the canvas's views on screen (topics, buttons, read-outs) overlap, in window
  // coordinates.
  std::vector<kit::Rect> overlaps() const {
    std::vector<kit::Rect> frames, out;
    for (kit::View* v = canvas()->firstSubview(); v; v = v->nextSibling())
      if (v->alpha() > 0 && !v->isHidden())
        if (const kit::Rect f = v->convertRectToView(v->bounds(), &window()); f.intersects(window().bounds()))
          frames.push_back(f);
    for (std::size_t i = 0; i < frames.size(); ++i)
      for (std::size_t j = i + 1; j < frames.size(); ++j)
        if (frames[i].intersects(frames[j])) out.push_back(frames[i].intersection(frames[j]).insetBy(-2, -2));
    return out;
  }
  static bool menuVisible() {
    const kit::MenuController& menu = kit::MenuController::shared();
    return menu.isMenuVisible() && !menu.visibleItems().empty();
  }
  static std::optional<kit::Rect> shownItemFrame(const std::string& title) {
    const kit::MenuController& menu = kit::MenuController::shared();
    if (!menuVisible()) return std::nullopt;
    for (std::size_t i = 0; i < menu.visibleItems().size(); ++i)
      if (menu.visibleItems()[i].title == title) return menu.itemFrame(i);
    return std::nullopt;
  }
  // The Paste Style chooser when it is open.
  TopicAttributePicker* chooser() const {
    std::vector<kit::View*> views{&window()};
    while (!views.empty()) {
      kit::View* v = views.back();
      views.pop_back();
      if (auto* table = dynamic_cast<kit::TableView*>(v))
        if (auto* picker = dynamic_cast<TopicAttributePicker*>(table->dataSource())) return picker;
      for (kit::View* s = v->firstSubview(); s; s = s->nextSibling()) views.push_back(s);
    }
    return nullptr;
  }

  // ---- Gestures --------------------------------------------------------------------------------

  // Opens an editor on a topic by the double tap, types into it; false when none opened.
  bool edit(float u) {
    if (NodeView::currentEditingTopic()) return true;
    NodeView* n = pick(u);
    if (!n) return false;
    script_->doubleTap(on(n));
    script_->wait(0.6);
    if (!NodeView::currentEditingTopic()) return false;
    script_->keys().type(u < 0.5f ? "ab" : "x");
    script_->wait(0.1);
    return true;
  }

  RelationshipView* relationship(const std::string& id) const {
    for (const auto& r : canvas()->relationships())
      if (r->uuid() == id) return r.get();
    return nullptr;
  }

  // Whether every topic below a main topic lies on its parent's side of the central topic. One that
  // does not is aligned with its column by the organiser but not stacked in it, so organising
  // twice differs from organising once.
  bool oneSidedColumns() const {
    NodeView* root = canvas()->rootNode();
    if (!root) return true;
    for (NodeView* n : root->getListOfDescendents()) {
      NodeView* p = n->parentNode();
      if (n == root || !p || p->isRoot() || n->isFloating() || n->isCallout()) continue;
      if (n->isToRightOfParent() != p->isLogicallyToRightOfRoot()) return false;
    }
    return true;
  }

  // Kept organised, a main topic dropped in a new place leaves the central topic's children
  // organised: the organiser run again moves none of them more than 20 points (wrapped text can
  // settle a little apart; below other topics, one dropped across its parent is aligned with the
  // column but not stacked in it, so only the main topics are asked).
  void keptOrganised(NodeView* d) {
    NodeView* root = canvas()->rootNode();
    if (!d || !canvas()->isKeepOrganised() || d->parentNode() != root || d->isCallout() || d->isFloating()) return;
    std::vector<std::pair<NodeView*, Point>> places;
    for (const auto& c : root->childNodes()) places.emplace_back(c.get(), c->center());
    canvas()->rearrangeChildren(root, false);
    for (const auto& [c, at] : places)
      if (std::fabs(c->center().x - at.x) > 20 || std::fabs(c->center().y - at.y) > 20)
        broke_ = "a main topic dropped in a map kept organised left the map unorganised";
  }

  // Lifts n by the long press; the touch stays down.
  void lift(NodeView* n) {
    // Read before the touch: a command still waiting from keys runs first and may delete n.
    const double hold = n->strLink().empty() ? 0.65 : 1.15;
    script_->down(on(n));
    script_->wait(hold);
  }

  // Opens a menu by one of the gestures that show one.
  void openMenu(float u, float v) {
    Script& s = *script_;
    switch (static_cast<int>(u * 5)) {
      case 0:
      case 1: {  // a tap on the selected topic
        NodeView* n = pickSpecial(v);
        if (!n) return;
        if (canvas()->selectedNode() != n) {
          const std::string id = n->uuid();
          s.tap(on(n));
          s.wait(0.6);
          // A command waiting from keys runs before the touch and may have deleted the topic.
          if (!(n = canvas()->getNodeByUUID(id))) return;
        }
        s.tap(on(n));
        s.wait(0.6);
        // A topic's own menu (Copy, but no drop) offers Cut and Delete on any but the central topic.
        if (shownItemFrame("Copy") && !shownItemFrame("Move") && canvas()->selectedNode() == n && !n->isRoot() &&
            (!shownItemFrame("Cut") || !shownItemFrame("Delete")))
          broke_ = "a topic's menu lacks Cut or Delete";
        return;
      }
      case 2:
        if (std::optional<Point> p = background(v, 1 - v)) {
          s.tap(*p);
          s.wait(0.6);
        }
        return;
      case 3:
        if (std::optional<Point> p = disclosure(v)) {
          s.doubleTap(*p);
          s.wait(0.6);
        }
        return;
      default: {  // a drop: the lifted topic let go on another
        NodeView* n = pickSpecial(v);
        if (!n || n == canvas()->rootNode()) return;
        NodeView* onto = pickSpecial(std::fmod(v * 7.1f, 1.0f));
        if (!onto || onto == n) onto = pickOther(std::fmod(v * 3.3f, 1.0f), n);
        if (!onto) return;
        const Point from = on(n), to = on(onto);
        lift(n);
        s.path(from, to, 5, 0.25);
        s.up(to);
        s.wait(0.6);
        return;
      }
    }
  }

  void chooseFromMenu(float u) {
    kit::MenuController& menu = kit::MenuController::shared();
    const auto& items = menu.visibleItems();
    // Items that show only in a submenu or a rare state are sought two times in five, so that a
    // short run reaches them too.
    static const std::set<std::string> rare = {"Align", "Above", "Below", "Both", "Children", "Siblings", "Show",
                                               "Justify", "All",   "Float", "Apply To Siblings",
                                               "Apply To Children", "Delete Topic", "Delete Branch", "Float a Copy"};
    std::vector<std::string> sought;
    for (const auto& item : items)
      if (rare.count(item.title)) sought.push_back(item.title);
    const std::string title =
        u < 0.4f && !sought.empty()
            ? sought[std::min(sought.size() - 1, static_cast<std::size_t>(u / 0.4f * static_cast<float>(sought.size())))]
            : items[std::min(items.size() - 1, static_cast<std::size_t>(u * static_cast<float>(items.size())))].title;
    if (std::getenv("QUILL_CHECKER_VERBOSE")) std::printf("  menu item \"%s\"\n", title.c_str());
    ++survey()["menu item: " + title];
    menu.chooseItem(title);
    if (title == "Show") unrecorded_ = true;
    script_->wait(0.6);
  }

  // Undo or redo as the window's keys do it (posted, as the host posts them).
  void undoKey(bool undoing) {
    kit::RunLoop::main().post([this, undoing] { undoing ? session_->undo() : session_->redo(); });
    script_->wait(0.6);
  }

  bool run(const Action& a) {
    const float* u = a.u;
    Script& s = *script_;
    switch (a.kind) {
      case Kind::Tap:
      case Kind::SlowTap:
      case Kind::DoubleTap:
      case Kind::LateSecondTap: {
        NodeView* n = pickSpecial(u[0]);
        if (!n) return false;
        const Point p = on(n);
        if (a.kind == Kind::Tap) s.tap(p);
        else if (a.kind == Kind::SlowTap) s.press(p, 0.11 + 0.3 * u[1]);
        else if (a.kind == Kind::DoubleTap) s.doubleTap(p);
        else {
          s.tap(p);
          s.wait(0.35 + 0.15 * u[1]);
          s.tap(p);
        }
        s.wait(0.6);
        return true;
      }
      case Kind::BackgroundTap:
      case Kind::BackgroundDoubleTap: {
        const std::optional<Point> p = background(u[0], u[1]);
        if (!p) return false;
        if (a.kind == Kind::BackgroundTap) s.tap(*p);
        else s.doubleTap(*p);
        s.wait(0.6);
        return true;
      }
      case Kind::LiftReleased:
      case Kind::LiftAndDrag:
      case Kind::FreeDrag:
      case Kind::SmallMove:
      case Kind::DragToEdge: {
        NodeView* n = pickSpecial(u[0]);
        if (!n) return false;
        const Point p = on(n);
        const std::string id = n->uuid();
        // No drag or drop menu left over, and no edit that the touch ends (its topic settles later).
        const bool idle = !canvas()->draggingTopic() && !canvas()->dragDropNode() && !NodeView::currentEditingTopic() &&
                          oneSidedColumns();
        const bool lifting = a.kind == Kind::LiftReleased || a.kind == Kind::LiftAndDrag ||
                             (a.kind == Kind::DragToEdge && u[3] < 0.5f);
        if (lifting) lift(n);
        else {
          s.down(p);
          s.wait(0.02);
        }
        Point to = p;
        if (a.kind == Kind::LiftReleased || a.kind == Kind::SmallMove) {
          const float d = 1 + 9 * u[1];
          to = Point(p.x + (u[2] < 0.5f ? d : -d), p.y + (u[3] < 0.5f ? d : 0));
          if (u[2] < 0.7f) s.path(p, to, 2, 0.05);
        } else if (a.kind == Kind::DragToEdge) {
          const kit::Rect b = window().bounds();
          const float inset = 2 + 26 * u[2];
          to = u[1] < 0.25f   ? Point(b.minX() + inset, p.y)
               : u[1] < 0.5f  ? Point(b.maxX() - inset, p.y)
               : u[1] < 0.75f ? Point(p.x, b.minY() + inset)
                              : Point(p.x, b.maxY() - inset);
          s.path(p, to, 6, 0.2);
          auto* scroll = dynamic_cast<kit::ScrollView*>(canvas()->superview());
          const Point before = scroll ? scroll->contentOffset() : Point();
          s.wait(0.05 + 0.4 * u[3]);
          // Autoscroll, if any, goes towards the edge the finger is at.
          const Point after = scroll ? scroll->contentOffset() : Point();
          const float dx = after.x - before.x, dy = after.y - before.y;
          if ((u[1] < 0.25f && dx > 0) || (u[1] >= 0.25f && u[1] < 0.5f && dx < 0) ||
              (u[1] >= 0.5f && u[1] < 0.75f && dy > 0) || (u[1] >= 0.75f && dy < 0))
            broke_ = "autoscroll goes away from the edge";
        } else {
          NodeView* onto = u[3] < 0.5f ? pickSpecial(u[1]) : nullptr;
          to = onto && onto != n ? on(onto)
               : u[3] < 0.8f     ? anywhere(u[1], u[2])
                                 : p;  // back to where it started
          s.path(p, to, 5, 0.25);
        }
        // The topic followed the finger, which ends past the tap's 10 points: a drop, no tap.
        const bool dropped = idle && !lifting && canvas()->draggingTopic() && canvas()->draggingTopic()->uuid() == id &&
                             (std::fabs(to.x - p.x) > 10 || std::fabs(to.y - p.y) > 10);
        s.up(to);
        s.wait(0.6);
        if (dropped) keptOrganised(canvas()->getNodeByUUID(id));
        return true;
      }
      case Kind::FoldTap:
      case Kind::FoldDoubleTap: {
        const std::optional<Point> p = disclosure(u[0]);
        if (!p) return false;
        if (a.kind == Kind::FoldTap) s.tap(*p);
        else s.doubleTap(*p);
        s.wait(0.6);
        return true;
      }
      case Kind::GripDrag:
      case Kind::GripTap: {
        std::optional<Point> p = grip();
        if (!p && u[3] < 0.7f) {
          if (NodeView* n = pick(u[3] / 0.7f)) {
            s.tap(on(n));
            s.wait(0.6);
            p = grip();
          }
        }
        if (!p) return false;
        if (a.kind == Kind::GripTap) {
          s.tap(*p);
        } else {
          const Point to(p->x + 200 * (u[1] - 0.5f), p->y + 100 * (u[2] - 0.5f));
          s.drag(*p, to, 4, 0.2);
        }
        s.wait(0.6);
        return true;
      }
      case Kind::MenuItem: {
        // A menu gesture picks from what a menu shows; with none showing, one is opened first.
        if (!menuVisible()) openMenu(u[1], u[2]);
        if (!menuVisible()) return false;
        chooseFromMenu(u[0]);
        // Some items open a menu of their own (Align, Delete, a drop's items).
        for (int i = 1; i <= 2 && u[3] < 0.8f && menuVisible(); ++i) chooseFromMenu(std::fmod(u[0] * 7.31f * static_cast<float>(i) + u[3], 1.0f));
        return true;
      }
      case Kind::Type: {
        if (!NodeView::currentEditingTopic()) return false;
        const int what = static_cast<int>(u[0] * 7);
        const int times = what >= 4 ? 3 : 1 + static_cast<int>(u[1] * 2);
        for (int i = 0; i < times; ++i) {
          if (what == 0) s.keys().type("a");
          else if (what == 1) s.keys().type("漢😀");
          else if (what == 2) s.keys().backspace();
          else if (what == 3 || what == 5) s.keys().type(" ");
          else if (what == 4) s.keys().type("\n");
          else s.keys().backspace();
          s.wait(0.05);
        }
        s.wait(0.3 + 0.3 * u[2]);
        return true;
      }
      case Kind::Preedit: {
        if (!NodeView::currentEditingTopic()) return false;
        s.keys().preedit("ni", 2);
        s.wait(0.1);
        if (u[1] < 0.7f) {
          s.keys().type("你");
          s.keys().endPreedit();
        }
        s.wait(0.3);
        return true;
      }
      case Kind::Undo:
      case Kind::Redo:
        // Ctrl+Z while editing comes often enough only when sought.
        if (a.kind == Kind::Undo && u[0] < 0.3f) {
          // The edit (or a double tap that opened none) records a step of its own, at the latest
          // when the undo commits it: what could be redone before it is gone.
          const kit::UndoManager& undo = *doc().undoManager();
          const std::size_t steps = undo.undoCount();
          if (edit(u[1]) || undo.undoCount() != steps) history_.erase(history_.upper_bound(steps), history_.end());
        }
        undoKey(a.kind == Kind::Undo);
        return true;
      case Kind::Reopen: {
        // The map as closing leaves it is the map reopened.
        session_->close(true);
        const std::string before = relativePlaces(xml());
        session_.reset();
        open();
        const std::string after = relativePlaces(xml());
        if (after != before) reopenDiffers_ = "the map reopened differs:\n" + firstDifference(before, after);
        return true;
      }
      case Kind::Pan: {
        const std::optional<Point> p = background(u[0], u[1]);
        if (!p) return false;
        const Point to(p->x + 300 * (u[2] - 0.5f), p->y + 300 * (u[3] - 0.5f));
        s.drag(*p, to, 4, 0.2);
        s.wait(0.6);
        return true;
      }
      case Kind::KeysThenTouch: {
        // Three spaces or three backspaces at a topic's start, then within 0.1 s a touch elsewhere.
        if (!edit(u[0])) return false;
        NodeView* editing = NodeView::currentEditingTopic();
        const bool back = u[2] < 0.5f;
        if (back) s.keys().key(kit::Key::Home);
        for (int i = 0; i < 3; ++i) {
          back ? s.keys().backspace() : s.keys().type(" ");
          s.wait(0.01);
        }
        const int how = static_cast<int>(u[3] * 4);
        if (how == 3) {
          const std::optional<Point> p = background(u[1], u[2]);
          if (p) s.doubleTap(*p);
        } else if (NodeView* other = pickOther(u[1], editing)) {
          const Point p = on(other);
          const std::string id = other->uuid();
          const int children = other->getChildTopicCount();
          const bool related = other->isRoot() || editing->isaChildOf(other) || other->isaChildOf(editing);
          // Only spaces taken as a command (they leave the text) make a child: three backspaces
          // hand the deleted topic's children to its parent, and after keys left in the text (the
          // first replaced a selection) a double tap whose second touch finds the background (the
          // map moved) makes its own, as it may after a real command too.
          const bool makesChild = how != 1 && !back && editing->strName().find("   ") == std::string::npos;
          if (how == 0) s.tap(p);
          else if (how == 1) s.doubleTap(p);
          else {
            s.drag(p, Point(p.x + 40, p.y + 30), 3, 0.1);
          }
          s.wait(0.3);
          // The waiting command acts on the topic it was typed in, never on the one touched.
          NodeView* now = canvas()->getNodeByUUID(id);
          if (!now && !related) broke_ = "keys typed in one topic deleted another";
          else if (makesChild && now && now->getChildTopicCount() > children)
            broke_ = "keys typed in one topic gave another a child";
        }
        s.wait(0.6);
        return true;
      }
      case Kind::DropLeftByTouch: {
        // A drop menu, then a tap or a drag on another topic instead of a choice.
        NodeView* n = pickSpecial(u[0]);
        if (!n || n == canvas()->rootNode()) return false;
        NodeView* onto = pickOther(u[1], n);
        if (!onto) return false;
        const Point from = on(n), to = on(onto);
        lift(n);
        s.path(from, to, 5, 0.25);
        s.up(to);
        s.wait(0.3);
        NodeView* b = pickOther(u[2], n);
        if (!b) return true;
        const Point p = on(b);
        if (u[3] < 0.5f) s.tap(p);
        else {
          s.drag(p, Point(p.x + 50, p.y - 20), 3, 0.15);
        }
        s.wait(0.6);
        return true;
      }
      case Kind::MissTouch: {
        const std::optional<Point> p = outsideBox(u[0]);
        if (!p) return false;
        if (u[1] < 0.4f) s.tap(*p);
        else {
          const Point to(p->x + 120 * (u[2] - 0.5f), p->y + 120 * (u[3] - 0.5f));
          s.drag(*p, to, 4, 0.2);
        }
        s.wait(0.6);
        return true;
      }
      case Kind::BadgeLongPress: {
        const std::optional<Point> p = u[0] < 0.5f ? disclosure(u[1]) : taskBadge(u[1]);
        if (!p) return false;
        s.down(*p);
        s.wait(1.3);
        // The fold target and the task badge start no long press.
        if (canvas()->dragDropNode()) broke_ = "a long press on a badge lifted its topic";
        Point to = *p;
        if (u[2] < 0.5f) {
          to = Point(p->x + 80 * (u[3] - 0.5f), p->y + 60);
          s.path(*p, to, 4, 0.2);
        }
        s.up(to);
        s.wait(0.6);
        return true;
      }
      case Kind::RelationshipDrag: {
        const auto& all = canvas()->relationships();
        if (all.empty()) return false;
        RelationshipView* r = all[std::min(all.size() - 1, static_cast<std::size_t>(u[0] * static_cast<float>(all.size())))].get();
        NodeView* end = u[1] < 0.5f ? r->end1() : r->end2();
        if (!end || end->alpha() == 0 || !window().bounds().contains(on(end))) return false;
        // A command waiting from keys runs before the first touch and may delete the edited
        // topic with its relationships: the relationship is found again after the touches.
        const std::string id = r->uuid();
        // While an editor is open on the end, or with the end selected.
        if (u[2] < 0.4f) {
          if (NodeView::currentEditingTopic() != end) {
            s.doubleTap(on(end));
            s.wait(0.6);
            s.keys().type("e");
          }
        } else if (canvas()->selectedNode() != end) {
          s.tap(on(end));
          s.wait(0.6);
        }
        r = relationship(id);
        if (!r) return true;
        const Point h = canvas()->convertPointToView(r->center(), &window());
        if (r->alpha() == 0 || !window().bounds().contains(h) || window().hitTest(h) != r) return false;
        const Point to(h.x + 160 * (u[3] - 0.5f), h.y + 90);
        s.drag(h, to, 4, 0.2);
        s.wait(0.6);
        return true;
      }
      case Kind::Wheel: {
        const Point p = anywhere(u[0], u[1]);
        if (u[2] < 0.5f) s.keys().scroll(p, 200 * (u[3] - 0.5f), 300 * (u[2] - 0.25f));
        else s.keys().magnify(p, 0.7f + 0.6f * u[3]);
        s.wait(0.3);
        return true;
      }
      case Kind::TouchCancel: {
        NodeView* n = pickSpecial(u[0]);
        if (!n) return false;
        const Point p = on(n);
        if (u[1] < 0.4f) lift(n);
        else s.down(p);
        const Point to(p.x + 100 * (u[2] - 0.5f), p.y + 100 * (u[3] - 0.5f));
        s.path(p, to, 3, 0.15);
        s.cancel(to);
        s.wait(0.6);
        return true;
      }
      case Kind::Shake:
        s.keys().shake();
        s.wait(2.2);
        return true;
      case Kind::Escape:
        // Escape ends an edit (or closes a menu); F6 after it shakes.
        if (u[0] < 0.6f) edit(u[1]);
        s.keys().key(kit::Key::Escape);
        s.wait(0.3);
        if (u[2] < 0.4f) {
          s.keys().shake();
          s.wait(2.2);
        }
        return true;
      case Kind::TwoTouches: {
        NodeView* n = pick(u[0]);
        if (!n) return false;
        NodeView* other = pickOther(u[1], n);
        const std::optional<Point> bg = background(u[1], u[2]);
        const Point p = on(n);
        const Point q = other && u[2] < 0.6f ? on(other) : bg ? *bg : anywhere(u[1], u[2]);
        s.down(p, 1);
        s.wait(0.05);
        s.down(q, 2);
        s.path(p, Point(p.x + 30, p.y + 40), 2, 0.1, 1);
        s.path(q, Point(q.x - 30, q.y + 20), 2, 0.1, 2);
        if (u[3] < 0.5f) {
          s.up(Point(p.x + 30, p.y + 40), 1);
          s.up(Point(q.x - 30, q.y + 20), 2);
        } else {
          s.up(Point(q.x - 30, q.y + 20), 2);
          s.up(Point(p.x + 30, p.y + 40), 1);
        }
        s.wait(0.6);
        return true;
      }
      case Kind::Chooser: {
        TopicAttributePicker* picker = chooser();
        if (!picker) return false;
        kit::NavigationController* nav = picker->navigationController();
        kit::View* target = nullptr;
        Point p;
        if (u[0] < 0.5f) {
          kit::TableView& table = picker->tableView();
          const int section = u[1] < 0.6f ? 0 : 1;
          const int rows = table.numberOfRowsInSection(section);
          if (rows > 0) {
            const kit::Rect r = table.rectForRowAtIndexPath({section, std::min(rows - 1, static_cast<int>(u[2] * static_cast<float>(rows)))});
            target = &table;
            p = table.convertPointToView(r.mid(), &window());
          }
        } else if (nav) {
          target = u[0] < 0.8f ? nav->rightBarButton() : nav->leftBarButton();
          if (target) p = target->convertPointToView(target->bounds().mid(), &window());
        }
        if (!target) return false;
        s.tap(p);
        s.wait(0.6);
        return true;
      }
      case Kind::Count:
        break;
    }
    return false;
  }

  // ---- Invariants ------------------------------------------------------------------------------

  bool menuShowing() const {
    const kit::MenuController& menu = kit::MenuController::shared();
    return (menu.isMenuVisible() && menu.targetView() == canvas()) || canvas()->menuOptions() != 0;
  }

  // Nothing under way: no touch, menu, drag, lift, editor or chooser.
  bool quiet() const {
    BigView* c = canvas();
    return !script_->touchDown() && !menuVisible() && !c->dragDropNode() && !c->draggingTopic() &&
           !c->isAutoscrolling() && !NodeView::currentEditingTopic() && !chooser();
  }

  std::string check(Kind kind) {
    // The history holds only a run of steps each checked to its end.
    if (!settledNow_) history_.clear();
    settledNow_ = false;
    BigView* c = canvas();
    std::set<const NodeView*> tree;
    if (NodeView* root = c->rootNode()) {
      tree.insert(root);
      for (NodeView* n : root->getListOfDescendents()) tree.insert(n);
    }
    auto inTree = [&](const NodeView* n) { return !n || tree.count(n) > 0; };
    if (!inTree(c->selectedNode())) return "the selection is not a topic of the map";
    if (!inTree(c->dragDropNode())) return "the lifted topic is not a topic of the map";
    if (!inTree(c->fosterNode())) return "the drop topic is not a topic of the map";
    if (!inTree(NodeView::currentEditingTopic())) return "the editing topic is not a topic of the map";
    for (const NodeView* n : tree) {
      if (n->isInPlaceEdit() && n != c->selectedNode()) return "an open editor is not on the selected topic";
      if (n->isFloating() && (n->isCallout() || !n->parentNode() || !n->parentNode()->isRoot()))
        return "a floating topic is a callout or not a child of the central topic";
    }

    // Every gesture lifts its touches: none is down now.
    if (c->touchView()) return "the canvas still follows a touch that has ended";
    if (!menuShowing()) {
      if (c->dragDropNode()) return "a topic stays lifted";
      if (c->fosterNode()) return "a drop stays pending";
      if (c->draggingTopic() || c->draggingRelationship()) return "a drag never ended";
      if (c->linkLayer() || c->branchLayer() || c->interBranchRelationshipLayer() ||
          c->canvasLayer().sublayers().size() != layers_)
        return "drag layers stay on the canvas";
      if (c->isAutoscrolling()) return "autoscroll goes on";
      for (const NodeView* n : tree)
        if (n->beingMoved()) return "a topic stays marked as dragged";
      if (c->selectedNode() && c->selectedNode()->alpha() == 0) return "the selection is hidden in a fold";
    }
    if (c->dragDropNode() || NodeView::currentEditingTopic() || chooser()) return {};
    // The changes that record no undo step, by name: "Show".
    if (unrecorded_) {
      unrecorded_ = false;
      history_.clear();
      settle(xml());
      return {};
    }
    kit::RunLoop::main().runOnce();
    // Undo is checked at quiet moments; a menu still showing may act on the map yet.
    if (menuShowing()) return {};
    const std::string now = xml();
    kit::UndoManager& undo = *doc().undoManager();
    const std::size_t steps = undo.undoCount();
    if (std::getenv("QUILL_CHECKER_DEBUG"))
      std::printf("  check %s: steps %zu redo %zu settled %zu\n", kKindNames[static_cast<int>(kind)], steps, undo.redoCount(), settledSteps_);
    if (kind == Kind::Undo || kind == Kind::Redo) {
      // The map as it was when that many steps were done.
      if (auto it = history_.find(steps); it != history_.end() && it->second != now)
        return std::string(kind == Kind::Undo ? "undo" : "redo") + " does not give back the map of that step:\n" +
               firstDifference(it->second, now);
    } else if (steps == settledSteps_ && now != settledXml_ && kind != Kind::Reopen) {
      return "the map changed without an undo step:\n" + firstDifference(settledXml_, now);
    } else if (steps > settledSteps_ && undo.redoCount() == 0) {
      for (std::size_t i = settledSteps_; i < steps; ++i) undo.undo();
      const std::string back = xml();
      for (std::size_t i = settledSteps_; i < steps; ++i) undo.redo();
      const std::string again = xml();
      if (back != settledXml_ && std::getenv("QUILL_CHECKER_VERBOSE")) {
        kit::FileManager::write("/tmp/checker-want.xml", settledXml_);
        kit::FileManager::write("/tmp/checker-got.xml", back);
      }
      if (back != settledXml_) return "undo does not give back the map:\n" + firstDifference(settledXml_, back);
      if (again != now) return "redo does not give back the map:\n" + firstDifference(now, again);
      for (auto it = history_.upper_bound(settledSteps_); it != history_.end();) it = history_.erase(it);
    }
    // Saved, then read on its own and by the program: the same map.
    const std::string saved = kit::AppPaths::temporary() + "/checker-copy.qlm";
    // A copy, which leaves the map's own file (and whether it needs saving) alone.
    const bool modified = doc().isModified();
    doc().saveMapToFile(saved);
    if (modified) doc().setModified();
    if (std::string d = savedFileDiffers(saved, *c); !d.empty()) return "the saved file differs from the map:\n" + d;
    PseudoMapViewController copy;
    copy.loadMapFromFile(saved);
    const std::string read = MapFormats::dumpMap(*copy.bigView());
    if (relativePlaces(read) != relativePlaces(now))
      return "the map read back differs:\n" + firstDifference(relativePlaces(now), relativePlaces(read));
    settle(now);
    return {};
  }

  void settle(const std::string& now) {
    settledNow_ = true;
    settledXml_ = now;
    settledSteps_ = doc().undoManager()->undoCount();
    history_[settledSteps_] = now;
  }

  // Before the session: the settings it reads, and the delegate that reads them.
  Settings settings_;
  std::unique_ptr<AppDelegate> app_ = std::make_unique<AppDelegate>();
  std::unique_ptr<EditSession> session_;
  std::unique_ptr<Script> script_;
  std::string path_;
  std::size_t layers_ = 0;
  // The map at the last quiet moment, and the undo steps then; the map at each count of steps
  // seen at a quiet moment since the history last began.
  std::string settledXml_;
  std::size_t settledSteps_ = 0;
  std::map<std::size_t, std::string> history_;
  std::optional<kit::Rect> showItem_;
  std::string reopenDiffers_;
  // What a gesture found wrong while it ran.
  std::string broke_;
  int steps_ = 0;
  bool unrecorded_ = false;
  bool settledNow_ = false;
};

struct Failure {
  std::size_t at = 0;
  std::string what;
  explicit operator bool() const { return !what.empty(); }
};

Failure runSequence(std::uint64_t seed, const std::vector<Action>& actions) {
  // A clock of its own, started at a time drawn from the seed: a replay meets the same times.
  kit::ManualClockScope clock;
  clock.clock().advance(static_cast<double>((seed * 2654435761ULL) % 1000000) / 7.0);
  World world(seed);
  for (std::size_t i = 0; i < actions.size(); ++i)
    if (std::string what = world.step(actions[i]); !what.empty()) return {i, what};
  if (std::string what = world.finish(); !what.empty() && !actions.empty()) return {actions.size() - 1, what};
  return {};
}

std::string kindOf(const std::string& what) { return what.substr(0, what.find(':')); }

// Drops gestures while the same kind of failure remains: halves, then quarters, ... then one by one.
std::vector<std::size_t> shrink(std::uint64_t seed, const std::vector<Action>& all, const Failure& failure,
                                const std::chrono::steady_clock::time_point deadline) {
  std::vector<std::size_t> keep;
  for (std::size_t i = 0; i <= failure.at; ++i) keep.push_back(i);
  const std::string kind = kindOf(failure.what);
  for (std::size_t chunk = std::max<std::size_t>(1, keep.size() / 2);; chunk /= 2) {
    for (std::size_t start = 0; start < keep.size() && std::chrono::steady_clock::now() < deadline;) {
      std::vector<std::size_t> trial;
      for (std::size_t i = 0; i < keep.size(); ++i)
        if (i < start || i >= start + chunk) trial.push_back(keep[i]);
      std::vector<Action> actions;
      for (std::size_t i : trial) actions.push_back(all[i]);
      const Failure f = runSequence(seed, actions);
      if (f && kindOf(f.what) == kind) {
        trial.resize(f.at + 1);
        keep = trial;
      } else {
        start += chunk;
      }
    }
    if (chunk == 1) break;
  }
  return keep;
}

std::string report(std::uint64_t seed, const std::vector<Action>& all, const std::vector<std::size_t>& keep,
                   const std::string& what) {
  std::ostringstream out;
  out << "seed " << seed << ": " << what << "\nQUILL_CHECKER_REPLAY=\"" << seed << ":";
  for (std::size_t i = 0; i < keep.size(); ++i) out << (i ? "," : "") << keep[i];
  out << "\"\n";
  for (std::size_t i : keep) out << "  " << i << ": " << describe(all[i]) << "\n";
  return out.str();
}

}  // namespace checker
