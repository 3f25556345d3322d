// The gesture checker's world: random maps, random gesture sequences through the one event door
// under the manual clock, the invariants each gesture must keep, and the shrinking of a failing
// sequence. Used by the checker test and by the gesture fuzz target; needs an application home
// and the manual clock (kit/testing). Each user includes it in one file only.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "document/pseudo_map_view_controller.h"
#include "formats/map_formats.h"
#include "helpers/global_helpers_identifiers.h"
#include "kit/core/app_paths.h"
#include "kit/core/files.h"
#include "kit/core/run_loop.h"
#include "kit/core/user_defaults.h"
#include "kit/testing/event_script.h"
#include "kit/ui/keyboard.h"
#include "kit/ui/menu_controller.h"
#include "kit/ui/pasteboard.h"
#include "kit/ui/window.h"
#include "model/app_services.h"
#include "model/node_view.h"

namespace checker {

using kit::Point;

constexpr std::size_t kActions = 40;

enum class Kind : int {
  Tap,
  SlowTap,
  DoubleTap,
  LateSecondTap,
  BackgroundTap,
  BackgroundDoubleTap,
  LiftReleased,
  LiftAndDrag,
  FreeDrag,
  SmallMove,
  DragToEdge,
  FoldTap,
  FoldDoubleTap,
  GripDrag,
  GripTap,
  MenuItem,
  Type,
  Preedit,
  Undo,
  Redo,
  Reopen,
  Pan,
  Count
};

constexpr const char* kKindNames[] = {
    "tap",           "slow tap",      "double tap",  "late second tap", "background tap", "background double tap",
    "lift released", "lift and drag", "free drag",   "small move",      "drag to edge",   "fold tap",
    "fold double tap", "grip drag",   "grip tap",    "menu item",       "type",           "pre-edit",
    "undo",          "redo",          "reopen",      "pan"};

// Relative weights: menus and taps that open them come often, so that their items get chosen.
constexpr int kWeights[] = {8, 3, 4, 2, 4, 2, 3, 6, 4, 3, 2, 3, 1, 2, 1, 14, 6, 1, 4, 2, 1, 1};
static_assert(std::size(kWeights) == static_cast<std::size_t>(Kind::Count));

// The random numbers an action resolves against the map as it is when it runs.
struct Action {
  Kind kind;
  float u[4];
};

std::string describe(const Action& a) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "%s (%.3f %.3f %.3f %.3f)", kKindNames[static_cast<int>(a.kind)], a.u[0], a.u[1],
                a.u[2], a.u[3]);
  return buf;
}

std::vector<Action> randomActions(std::uint64_t seed, std::size_t count) {
  std::mt19937_64 rng(seed * 7919 + 17);
  std::discrete_distribution<int> kind(std::begin(kWeights), std::end(kWeights));
  std::uniform_real_distribution<float> u(0, 1);
  std::vector<Action> out;
  for (std::size_t i = 0; i < count; ++i) {
    Action a{static_cast<Kind>(kind(rng)), {}};
    for (float& x : a.u) x = u(rng);
    out.push_back(a);
  }
  return out;
}

// ---- Random maps -------------------------------------------------------------------------------

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
    const bool floating = parent.topic == root && rng() % 12 == 0;
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

// ---- The world: one open map in a window ---------------------------------------------------------

class World {
 public:
  explicit World(std::uint64_t seed) {
    window_.keyboard().setHeight(0);
    window_.addSubview(&scroll_);
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
    endInteractions();
    script_.wait(1);
    scroll_.removeFromSuperview();
  }
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  BigView* canvas() const { return doc_->bigView(); }

  // Runs the action; "" or what broke.
  std::string step(const Action& a) {
    run(a);
    if (std::getenv("QUILL_CHECKER_VERBOSE"))
      kit::FileManager::write("/tmp/checker-step" + std::to_string(steps_++) + ".xml", xml());
    std::string what = check(a.kind == Kind::Undo || a.kind == Kind::Redo);
    // QUILL_CHECKER_IGNORE: invariants left out of this run, separated by "|".
    if (const char* ignore = std::getenv("QUILL_CHECKER_IGNORE"); ignore && !what.empty()) {
      std::istringstream list(ignore);
      for (std::string item; std::getline(list, item, '|');)
        if (!item.empty() && what.rfind(item, 0) == 0) return {};
    }
    return what;
  }

 private:
  std::string xml() const { return MapFormats::dumpMap(*doc_->bigView()); }

  void open() {
    scroll_.setContentView(nullptr);
    doc_ = std::make_unique<PseudoMapViewController>();
    doc_->loadMapFromFile(path_);
    scroll_.setContentView(canvas());
    doc_->centreScreenOnRootNode();
    script_.wait(1);
    doc_->undoManager()->removeAllActions();
    layers_ = canvas()->canvasLayer().sublayers().size();
    settle(xml());
  }

  void endInteractions() {
    if (NodeView* editing = NodeView::currentEditingTopic()) editing->inPlaceEdit(false);
    window_.viewLeaving(scroll_);
    canvas()->hideMenuController();
  }

  // The topics on screen, in tree order.
  std::vector<NodeView*> visibleTopics() const {
    std::vector<NodeView*> out;
    NodeView* root = canvas()->rootNode();
    if (!root) return out;
    std::vector<NodeView*> all{root};
    for (NodeView* n : root->getListOfDescendents()) all.push_back(n);
    const kit::Rect seen = window_.bounds().insetBy(8, 8);
    for (NodeView* n : all)
      if (n->alpha() > 0 && seen.contains(on(n))) out.push_back(n);
    return out;
  }
  Point on(const NodeView* n) const { return canvas()->convertPointToView(n->center(), &window_); }
  NodeView* pick(float u) const {
    std::vector<NodeView*> v = visibleTopics();
    if (v.empty()) return nullptr;
    return v[std::min(v.size() - 1, static_cast<std::size_t>(u * static_cast<float>(v.size())))];
  }
  Point anywhere(float ux, float uy) const {
    const kit::Rect b = window_.bounds();
    return Point(b.minX() + 4 + ux * (b.width() - 8), b.minY() + 4 + uy * (b.height() - 8));
  }
  // A point on the background near u, else nothing.
  std::optional<Point> background(float ux, float uy) {
    for (int i = 0; i < 8; ++i) {
      const Point p = anywhere(std::fmod(ux + 0.37f * static_cast<float>(i), 1.0f), std::fmod(uy + 0.61f * static_cast<float>(i), 1.0f));
      if (window_.hitTest(p) == canvas()) return p;
    }
    return std::nullopt;
  }
  void path(Point from, Point to, int steps, double seconds) {
    for (int i = 1; i <= steps; ++i) {
      script_.wait(seconds / steps);
      const float t = static_cast<float>(i) / static_cast<float>(steps);
      script_.move(Point(from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t));
    }
  }
  std::optional<Point> disclosure(float u) {
    std::vector<NodeView*> v;
    for (NodeView* n : visibleTopics())
      if (n->getChildTopicCount() > 0 && !n->getDisclosureTarget().isEmpty()) v.push_back(n);
    if (v.empty()) return std::nullopt;
    NodeView* n = v[std::min(v.size() - 1, static_cast<std::size_t>(u * static_cast<float>(v.size())))];
    return n->convertPointToView(n->getDisclosureTarget().mid(), &window_);
  }
  std::optional<Point> grip() {
    kit::View* tool = canvas()->topicResizeTool();
    if (!tool || !tool->superview() || tool->alpha() == 0 || tool->isHidden()) return std::nullopt;
    const Point p = tool->superview()->convertPointToView(tool->center(), &window_);
    if (!window_.bounds().contains(p) || window_.hitTest(p) != tool) return std::nullopt;
    return p;
  }

  void run(const Action& a) {
    const float* u = a.u;
    kit::EventScript& s = script_;
    switch (a.kind) {
      case Kind::Tap:
      case Kind::SlowTap:
      case Kind::DoubleTap:
      case Kind::LateSecondTap: {
        NodeView* n = pick(u[0]);
        if (!n) break;
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
        break;
      }
      case Kind::BackgroundTap:
      case Kind::BackgroundDoubleTap: {
        const std::optional<Point> p = background(u[0], u[1]);
        if (!p) break;
        if (a.kind == Kind::BackgroundTap) s.tap(*p);
        else s.doubleTap(*p);
        s.wait(0.6);
        break;
      }
      case Kind::LiftReleased:
      case Kind::LiftAndDrag:
      case Kind::FreeDrag:
      case Kind::SmallMove:
      case Kind::DragToEdge: {
        NodeView* n = pick(u[0]);
        if (!n) break;
        const Point p = on(n);
        const bool lift = a.kind == Kind::LiftReleased || a.kind == Kind::LiftAndDrag ||
                          (a.kind == Kind::DragToEdge && u[3] < 0.5f);
        s.down(p);
        if (lift) s.wait(n->strLink().empty() ? 0.65 : 1.15);
        else s.wait(0.02);
        Point to = p;
        if (a.kind == Kind::LiftReleased || a.kind == Kind::SmallMove) {
          const float d = 1 + 9 * u[1];
          to = Point(p.x + (u[2] < 0.5f ? d : -d), p.y + (u[3] < 0.5f ? d : 0));
          if (u[2] < 0.7f) path(p, to, 2, 0.05);
        } else if (a.kind == Kind::DragToEdge) {
          const kit::Rect b = window_.bounds();
          const float in = 2 + 26 * u[2];
          to = u[1] < 0.25f   ? Point(b.minX() + in, p.y)
               : u[1] < 0.5f  ? Point(b.maxX() - in, p.y)
               : u[1] < 0.75f ? Point(p.x, b.minY() + in)
                              : Point(p.x, b.maxY() - in);
          path(p, to, 6, 0.2);
          s.wait(0.05 + 0.4 * u[3]);
        } else {
          NodeView* onto = u[3] < 0.5f ? pick(u[1]) : nullptr;
          to = onto && onto != n ? on(onto)
               : u[3] < 0.8f     ? anywhere(u[1], u[2])
                                 : p;  // back to where it started
          path(p, to, 5, 0.25);
        }
        s.up(to);
        s.wait(0.6);
        break;
      }
      case Kind::FoldTap:
      case Kind::FoldDoubleTap: {
        const std::optional<Point> p = disclosure(u[0]);
        if (!p) break;
        if (a.kind == Kind::FoldTap) s.tap(*p);
        else s.doubleTap(*p);
        s.wait(0.6);
        break;
      }
      case Kind::GripDrag:
      case Kind::GripTap: {
        const std::optional<Point> p = grip();
        if (!p) break;
        if (a.kind == Kind::GripTap) {
          s.tap(*p);
        } else {
          s.down(*p);
          path(*p, Point(p->x + 200 * (u[1] - 0.5f), p->y + 100 * (u[2] - 0.5f)), 4, 0.2);
          s.up(Point(p->x + 200 * (u[1] - 0.5f), p->y + 100 * (u[2] - 0.5f)));
        }
        s.wait(0.6);
        break;
      }
      case Kind::MenuItem: {
        kit::MenuController& menu = kit::MenuController::shared();
        if (!menu.isMenuVisible() || menu.visibleItems().empty()) break;
        const auto& items = menu.visibleItems();
        const std::string title = items[std::min(items.size() - 1, static_cast<std::size_t>(u[0] * static_cast<float>(items.size())))].title;
        if (std::getenv("QUILL_CHECKER_VERBOSE")) std::printf("  menu item \"%s\"\n", title.c_str());
        menu.chooseItem(title);
        // "Show" unfolds without an undo step of its own: the map starts anew from here.
        if (title == "Show") unrecorded_ = true;
        s.wait(0.6);
        break;
      }
      case Kind::Type: {
        if (!NodeView::currentEditingTopic()) break;
        const int what = static_cast<int>(u[0] * 7);
        const int times = what >= 4 ? 3 : 1 + static_cast<int>(u[1] * 2);
        for (int i = 0; i < times; ++i) {
          if (what == 0) s.type("a");
          else if (what == 1) s.type("漢😀");
          else if (what == 2) s.backspace();
          else if (what == 3) s.type(" ");
          else if (what == 4) s.type("\n");
          else if (what == 5) s.type(" ");
          else s.backspace();
          s.wait(0.05);
        }
        s.wait(0.3 + 0.3 * u[2]);
        break;
      }
      case Kind::Preedit: {
        if (!NodeView::currentEditingTopic()) break;
        s.preedit("ni", 2);
        s.wait(0.1);
        if (u[1] < 0.7f) {
          s.type("你");
          s.endPreedit();
        }
        s.wait(0.3);
        break;
      }
      case Kind::Undo:
      case Kind::Redo:
        undoOrRedo(a.kind == Kind::Undo);
        s.wait(0.6);
        break;
      case Kind::Reopen:
        endInteractions();
        doc_->saveMapToFile(path_);
        open();
        break;
      case Kind::Pan: {
        const std::optional<Point> p = background(u[0], u[1]);
        if (!p) break;
        const Point to(p->x + 300 * (u[2] - 0.5f), p->y + 300 * (u[3] - 0.5f));
        s.down(*p);
        path(*p, to, 4, 0.2);
        s.up(to);
        s.wait(0.6);
        break;
      }
      case Kind::Count:
        break;
    }
  }

  // As the desktop's undo key: nothing mid-drag; an edit is committed first and the menu closes.
  void undoOrRedo(bool undoing) {
    BigView* c = canvas();
    if (c->draggingTopic() || c->draggingRelationship() || c->dragDropNode()) return;
    if (NodeView* editing = NodeView::currentEditingTopic()) editing->inPlaceEdit(false);
    c->hideMenuController();
    kit::RunLoop::main().runOnce();
    undoing ? doc_->undoManager()->undo() : doc_->undoManager()->redo();
  }

  bool menuShowing() const {
    const kit::MenuController& menu = kit::MenuController::shared();
    return (menu.isMenuVisible() && menu.targetView() == canvas()) || canvas()->menuOptions() != 0;
  }

  std::string check(bool undoRedo) {
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
    for (const NodeView* n : tree)
      if (n->isInPlaceEdit() && n != c->selectedNode()) return "an open editor is not on the selected topic";

    if (c->touchView()) return {};
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
    }
    if (NodeView::currentEditingTopic()) editedSinceSettled_ = true;
    if (c->dragDropNode() || NodeView::currentEditingTopic()) return {};
    if (unrecorded_) {
      unrecorded_ = false;
      settle(xml());
      return {};
    }
    // A change that records nothing (as "Show", which then offers "Realign") is a new start even
    // while its menu shows; undo itself is checked at quiet moments only.
    kit::RunLoop::main().runOnce();
    if (menuShowing()) {
      if (doc_->undoManager()->undoCount() == settledSteps_ && !editedSinceSettled_) settle(xml());
      return {};
    }
    const std::string now = xml();
    if (undoRedo) {
      settle(now);
      return {};
    }
    if (std::getenv("QUILL_CHECKER_VERBOSE")) kit::FileManager::write("/tmp/checker-now.xml", now);
    kit::UndoManager& undo = *doc_->undoManager();
    kit::RunLoop::main().runOnce();
    const std::size_t steps = undo.undoCount();
    if (steps > settledSteps_ && undo.redoCount() == 0) {
      for (std::size_t i = settledSteps_; i < steps; ++i) undo.undo();
      const std::string back = xml();
      for (std::size_t i = settledSteps_; i < steps; ++i) undo.redo();
      const std::string again = xml();
      if (std::getenv("QUILL_CHECKER_VERBOSE") && back != settledXml_) {
        kit::FileManager::write("/tmp/checker-want.xml", settledXml_);
        kit::FileManager::write("/tmp/checker-got.xml", back);
      }
      if (back != settledXml_) return "undo does not give back the map:\n" + firstDifference(settledXml_, back);
      if (again != now) return "redo does not give back the map:\n" + firstDifference(now, again);
    }
    // Saved and read back: the same map.
    PseudoMapViewController copy;
    const std::string saved = kit::AppPaths::temporary() + "/checker-copy.qlm";
    doc_->saveMapToFile(saved);
    copy.loadMapFromFile(saved);
    const std::string read = MapFormats::dumpMap(*copy.bigView());
    // The reader puts the central topic in the canvas's middle: places are compared from it.
    if (relativePlaces(read) != relativePlaces(now))
      return "the map read back differs:\n" + firstDifference(relativePlaces(now), relativePlaces(read));
    settle(now);
    return {};
  }

  // The topics' places as offsets from the first topic's (the central topic's).
  static std::string relativePlaces(const std::string& xml) {
    static const std::regex place(" x=\"([-0-9.e]+)\" y=\"([-0-9.e]+)\"");
    std::string out;
    bool first = true;
    double x0 = 0, y0 = 0;
    auto from = xml.cbegin();
    for (std::sregex_iterator it(xml.begin(), xml.end(), place), end; it != end; ++it) {
      const double x = std::stod((*it)[1]), y = std::stod((*it)[2]);
      if (first) x0 = x, y0 = y, first = false;
      out.append(from, (*it)[0].first);
      out += " x=" + std::to_string(x - x0) + " y=" + std::to_string(y - y0);
      from = (*it)[0].second;
    }
    out.append(from, xml.cend());
    return out;
  }

  void settle(const std::string& now) {
    editedSinceSettled_ = false;
    settledXml_ = now;
    settledSteps_ = doc_->undoManager()->undoCount();
  }

  static std::string firstDifference(const std::string& want, const std::string& got) {
    std::size_t i = 0;
    while (i < want.size() && i < got.size() && want[i] == got[i]) ++i;
    const std::size_t from = i > 200 ? i - 200 : 0;
    return "  wanted ..." + want.substr(from, 400) + "\n  got    ..." + got.substr(from, 400);
  }

  std::unique_ptr<PseudoMapViewController> doc_;
  kit::Window window_{kit::Rect(0, 0, 1024, 768)};
  MapScrollView scroll_{kit::Rect(0, 0, 1024, 768)};
  kit::EventScript script_{window_};
  std::string path_;
  std::size_t layers_ = 0;
  // The map at the last quiet moment (no touch, drop or editor), and the undo steps then.
  std::string settledXml_;
  std::size_t settledSteps_ = 0;
  int steps_ = 0;
  bool editedSinceSettled_ = false;
  bool unrecorded_ = false;
};

struct Failure {
  std::size_t at = 0;
  std::string what;
  explicit operator bool() const { return !what.empty(); }
};

Failure runSequence(std::uint64_t seed, const std::vector<Action>& actions) {
  World world(seed);
  for (std::size_t i = 0; i < actions.size(); ++i)
    if (std::string what = world.step(actions[i]); !what.empty()) return {i, what};
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
