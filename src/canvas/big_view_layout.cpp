// Automatic layout: every topic's children in one column beside it, the column centred on the
// parent; the keep-organised entry point; balancing the central topic's children over its two
// sides.
//
// Cost: linear in the number of topics. Branch rectangles are not walked again for every
// sibling at every level: one layout keeps them (BranchRectCache), so placing one topic's
// children costs its number of children plus the moves. A move by whole points of a branch
// that moves rigidly sets its topic's centre and leaves the rest of the branch owing the move;
// one walk at the end of the layout (or before the layout reads below a topic that owes) pays
// what every topic owes, instead of a walk of the branch at every level above it.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "canvas/big_view.h"
#include "kit/core/lock.h"
#include "model/app_services.h"
#include "model/relationship_view.h"

namespace {

constexpr float kHorizontalGap = 70.0f;
constexpr float kVerticalGap = 10.0f;

bool isLaidOutAsChild(const NodeView* n) { return !n->isFloating() && !n->isCallout(); }

// One view animation block of the shared duration. The kit has no animations: values are set
// at once, as a headless canvas needs, so the block only brackets the moves.
class AnimationBlock {
 public:
  explicit AnimationBlock(bool animated) : open_(animated) {
    if (open_) duration_ = AppServices::sharedAnimationDuration();
  }
  ~AnimationBlock() { commit(); }
  AnimationBlock(const AnimationBlock&) = delete;
  AnimationBlock& operator=(const AnimationBlock&) = delete;
  void commit() { open_ = false; }

 private:
  bool open_;
  double duration_ = 0;
};

// What one layout keeps per topic, in one array in the order the layout first meets the topics:
// each topic carries its index there (NodeView::layoutMark), so a look-up reads the topic the
// layout is reading anyway instead of probing a table spread over megabytes. Emptying keeps the
// array's storage; every pass in the process has its own number, so a mark left by an earlier
// pass, or by another thread's, never looks current.
template <typename V>
class TopicTable {
 public:
  TopicTable() : pass_(nextPass()) {}
  V* find(const NodeView* key) {
    const NodeView::LayoutMark& m = key->layoutMark();
    if (m.pass != pass_ || m.index >= slots_.size() || slots_[m.index].key != key) return nullptr;
    return &slots_[m.index].value;
  }
  V& operator[](const NodeView* key) {
    if (V* v = find(key)) return *v;
    key->layoutMark() = NodeView::LayoutMark{pass_, static_cast<std::uint32_t>(slots_.size())};
    slots_.push_back(Slot{key, V()});
    return slots_.back().value;
  }
  void clear() {
    slots_.clear();
    pass_ = nextPass();
  }

 private:
  struct Slot {
    const NodeView* key;
    V value;
  };
  static std::uint32_t nextPass() {
    static std::atomic<std::uint32_t> passes{0};
    std::uint32_t p;
    while ((p = ++passes) == 0) {}  // 0 is the mark of a topic no layout has used
    return p;
  }
  std::vector<Slot> slots_;
  std::uint32_t pass_;
};

// The branch rectangles of one layout, equal to getBranchBoundingRect's, built bottom-up and
// kept while their branches stay put. Layout moves branches by whole points (moveBranchTo), so
// a branch whose centres are all on whole points moves rigidly and its rectangle follows its
// topic's centre; the rectangles of the parents of a moved branch are dropped as it moves. A
// topic with a boundary is measured by the topic itself, its outline rebuilt.
class BranchRectCache {
 public:
  kit::Rect rectOf(NodeView* top) {
    if (auto k = kept(top)) return k->rect;
    return measure(top);
  }
  // getAdjustedNodeFrame, measured once: a topic's frame moves with its centre.
  kit::Rect frameOf(NodeView* n);
  // Before `n`'s branch moves: the rectangles that include it go, and with a centre off the
  // whole-point grid (the branch will not move rigidly) those inside it too.
  void willMove(NodeView* n);
  // Moves n's branch so that n's centre is at `to` (on whole points), as NodeView::moveTo
  // would, leaving the topics below n owing the move when the branch moves rigidly; false when
  // it cannot wait, after paying every move owed.
  bool moveLater(NodeView* n, kit::Point to);
  // Pays every move owed: afterwards each topic is where the moves put it.
  void settleMoves();
  // Before reading the topics below n: they are where their moves put them. Layout reads a
  // topic only after reading its parent this way, or from a topic no move has carried.
  void settleBelow(const NodeView* n) {
    const Entry* e = entries_.find(n);
    if (e && e->owes) settleMoves();
  }

  // Settled branches. A column that its layout left stacked on one side, sorted, on whole
  // points and with all its deeper columns settled is what laying it out again would give,
  // as long as later moves carry it rigidly: the second side's pass over a central topic then
  // passes it by instead of measuring it all again.
  void didPlaceChildren(NodeView* p);
  bool isSettled(NodeView* n) {
    const Entry* e = entries_.find(n);
    return !bent_ && e && e->settled;
  }
  // Whether a walk since forgetWalks went through every topic below `top` and met no floating
  // topic or callout: then no floating topic is left to look for there.
  void forgetWalks() { looseFreeTop_ = nullptr; }
  void walked(const NodeView* top, bool wholeAndLooseFree) {
    if (wholeAndLooseFree) looseFreeTop_ = top;
  }
  bool hasNoFloatingBelow(const NodeView* top) const { return top && looseFreeTop_ == top; }

  // Forgets everything for the next layout, keeping the storage.
  void reset() {
    entries_.clear();
    owing_.clear();
    bent_ = false;
    looseFreeTop_ = nullptr;
  }

 private:
  // A sum of moves, kept in doubles: whole points add up exactly far beyond a float's
  // whole-number range, so a topic is rounded once, when it is paid.
  struct Offset {
    double x = 0, y = 0;
    bool isZero() const { return x == 0 && y == 0; }
    Offset plus(double dx, double dy) const { return Offset{x + dx, y + dy}; }
  };
  struct Entry {
    kit::Rect rect;
    kit::Point centre;         // the topic's centre when the branch was measured
    bool rigid = false;        // whole-point centres and no outline inside: follows the centre
    // Rigid, and all that a move carries besides, outside the rectangle, on whole points too:
    // callouts, the topics a fold hides, relationship control points. Its moves can wait.
    bool portable = false;
    bool valid = false;        // the branch rectangle
    bool hasFrame = false;
    bool settled = false;
    bool owes = false;         // the topics below still owe `owed`
    kit::Rect frame;
    kit::Point frameCentre;
    Offset owed;
  };
  struct Measured {
    kit::Rect rect;
    bool rigid;
    bool portable;
  };
  struct Step {
    NodeView* node;
    std::size_t next;
    Measured m;
  };

  static bool onWholePoints(kit::Point p) { return p.x == std::nearbyint(p.x) && p.y == std::nearbyint(p.y); }
  // The relationships a topic's moves carry along.
  static bool controlPointsOnWholePoints(const NodeView* n) {
    if (!n->hasRelationships()) return true;
    for (const RelationshipView* r : n->getRelationships())
      if (!onWholePoints(r->center())) return false;
    return true;
  }
  static kit::Point movedBy(kit::Point p, Offset d) {
    return kit::Point(static_cast<kit::Float>(p.x + d.x), static_cast<kit::Float>(p.y + d.y));
  }
  std::optional<Measured> kept(NodeView* n) {
    const Entry* e = entries_.find(n);
    if (!e || !e->valid) return std::nullopt;
    const kit::Point c = n->center();
    if (c == e->centre) return Measured{e->rect, e->rigid, e->portable};
    if (!e->rigid) return std::nullopt;
    return Measured{e->rect.offsetBy(c.x - e->centre.x, c.y - e->centre.y), true, e->portable};
  }
  kit::Rect measure(NodeView* top);
  bool isSettledEntry(const NodeView* n) {
    const Entry* e = entries_.find(n);
    return e && e->settled;
  }
  void store(NodeView* n, const Measured& m) {
    Entry& e = entries_[n];
    e.rect = m.rect;
    e.centre = n->center();
    e.rigid = m.rigid;
    e.portable = m.portable;
    e.valid = true;
  }

  TopicTable<Entry> entries_;
  std::vector<Step> steps_;  // rectOf's walk, kept for its storage
  std::vector<NodeView*> owing_;  // the topics whose entries owe a move, in the order of owing
  std::vector<std::pair<NodeView*, Offset>> paying_;  // settleMoves's walk
  bool bent_ = false;  // a branch moved off whole points: nothing counts as settled
  const NodeView* looseFreeTop_ = nullptr;
};

kit::Rect BranchRectCache::frameOf(NodeView* n) {
  Entry& e = entries_[n];
  const kit::Point c = n->center();
  if (!e.hasFrame) {
    e.frame = n->getAdjustedNodeFrame();
    e.frameCentre = c;
    e.hasFrame = true;
  }
  if (c == e.frameCentre) return e.frame;
  return e.frame.offsetBy(c.x - e.frameCentre.x, c.y - e.frameCentre.y);
}

// The walk of getBranchBoundingRect (the topic's frame, then its normal children's branches
// unless it is folded), without recursion: outlines can be thousands of levels deep. It goes on
// through callouts and hidden topics, which only tell whether the branch is portable.
kit::Rect BranchRectCache::measure(NodeView* top) {
  std::vector<Step>& stack = steps_;
  const std::size_t base = stack.size();  // above whatever a walk under way still holds
  // A branch already known, or nothing after pushing a step that measures it.
  auto begin = [&](NodeView* n) -> std::optional<Measured> {
    if (auto k = kept(n)) return k;
    if (!owing_.empty()) {
      // Boundaries measure their whole branch; other branches are read down to their children.
      if (n->hasBoundary()) settleMoves();
      else settleBelow(n);
    }
    if (n->hasBoundary()) {
      const Measured m{n->getBranchBoundingRect(), false, false};
      store(n, m);
      return m;
    }
    const bool whole = onWholePoints(n->center());
    const bool portable = whole && controlPointsOnWholePoints(n);
    stack.push_back(Step{n, 0, Measured{frameOf(n), whole, portable}});
    return std::nullopt;
  };
  // Callouts and the topics a fold hides are carried along outside the rectangle: they only
  // decide whether the move can wait (a portable part is rigid too).
  auto merge = [](Step& into, NodeView* child, const Measured& part) {
    into.m.portable = into.m.portable && part.portable;
    if (!isLaidOutAsChild(child) || into.node->isFolded()) return;
    into.m.rect = into.m.rect.isEmpty() ? part.rect : into.m.rect.unionWith(part.rect);
    into.m.rigid = into.m.rigid && part.rigid;
  };
  if (auto known = begin(top)) return known->rect;
  while (true) {
    Step& s = stack.back();
    const NodeView::ChildList& children = s.node->childNodes();
    if (s.next < children.size()) {
      NodeView* child = children[s.next++].get();
      if (child->isFloating()) continue;  // stays behind when the branch moves
      if (auto known = begin(child)) merge(stack.back(), child, *known);  // s may have moved
      continue;
    }
    const Step finished = s;
    stack.pop_back();
    store(finished.node, finished.m);
    if (stack.size() == base) return finished.m.rect;
    merge(stack.back(), finished.node, finished.m);
  }
}

void BranchRectCache::willMove(NodeView* n) {
  if (!onWholePoints(n->center())) {
    for (NodeView* d : n->getListOfDescendents())
      if (Entry* e = entries_.find(d)) *e = Entry();
    bent_ = true;
  }
  // Up through the parents whose rectangles include this branch, to the first already dropped:
  // a kept rectangle was built from kept rectangles of all it includes.
  NodeView* child = n;
  for (NodeView* p = n->parentNode(); p; child = p, p = p->parentNode()) {
    if (!isLaidOutAsChild(child) || p->isFolded()) return;
    Entry* e = entries_.find(p);
    if (!e || !e->valid) return;
    e->valid = false;
  }
}

// The same places as moving the branch at once wherever that is exact (every centre and move a
// whole number inside a float's whole-number range), and at any size without walking the
// branch: a deep outline grows past that range, and a walk of the branch at every level above
// it is quadratic.
bool BranchRectCache::moveLater(NodeView* n, kit::Point to) {
  Entry* e = entries_.find(n);
  const kit::Point c = n->center();
  const double dx = double(to.x) - c.x, dy = double(to.y) - c.y;
  // Below a floating topic the moves would also refresh rainbow colours: they do not wait.
  const bool portable = e && e->valid && e->rigid && e->portable && !n->isRoot() && onWholePoints(c) &&
                        onWholePoints(to) && std::isfinite(dx) && std::isfinite(dy);
  if (!portable) {
    settleMoves();
    return false;
  }
  willMove(n);
  n->moveTo(to, false);
  if (std::fabs(dx) < 1.0 && std::fabs(dy) < 1.0) return true;  // what moveTo leaves alone
  e->owed = e->owed.plus(dx, dy);
  if (!e->owes) {
    e->owes = true;
    owing_.push_back(n);
  }
  return true;
}

// A walk down from each topic that owes, latest first: a branch moves after the branches
// inside it, so the walk from the outer one meets the inner ones and pays their moves along.
void BranchRectCache::settleMoves() {
  while (!owing_.empty()) {
    NodeView* top = owing_.back();
    owing_.pop_back();
    Entry* e = entries_.find(top);
    if (!e || !e->owes) continue;
    e->owes = false;
    paying_.clear();
    paying_.emplace_back(top, e->owed);
    e->owed = Offset();
    while (!paying_.empty()) {
      const auto [n, d] = paying_.back();
      paying_.pop_back();
      for (const auto& c : n->childNodes()) {
        NodeView* k = c.get();
        if (k->isFloating()) continue;  // floating topics stay behind, as with moveByX
        Offset below = d;
        // What moveByX does to a topic of a portable branch: whole points need no rounding,
        // and there is no rainbow colour to refresh.
        if (!d.isZero()) {
          k->setCenter(movedBy(k->center(), d));
          if (k->hasRelationships())
            for (RelationshipView* r : k->getRelationships()) r->setCenter(movedBy(r->center(), d));
        }
        if (Entry* ke = entries_.find(k); ke && ke->owes) {
          below = below.plus(ke->owed.x, ke->owed.y);
          ke->owes = false;
          ke->owed = Offset();
        }
        if (!below.isZero()) paying_.emplace_back(k, below);
      }
    }
  }
}

void BranchRectCache::didPlaceChildren(NodeView* p) {
  if (Entry* e = entries_.find(p)) e->settled = false;
  if (p->isRoot() || !onWholePoints(p->center())) return;
  std::size_t normal = 0;
  bool right = false, sameSide = true, sorted = true;
  const NodeView* prev = nullptr;
  for (const auto& c : p->childNodes()) {
    const NodeView* k = c.get();
    // Floating topics stay behind when the branch moves: the order by height can change.
    if (k->isFloating() || !onWholePoints(k->center())) return;
    if (prev && k->center().y < prev->center().y) sorted = false;
    prev = k;
    if (k->isCallout()) continue;
    if (normal++ == 0) right = k->isToRightOfParent();
    else if (k->isToRightOfParent() != right) sameSide = false;
    if (!k->childNodes().empty() && !isSettledEntry(k)) return;
  }
  // A single child is not sorted again.
  if (normal > 1 && !(sorted && sameSide)) return;
  entries_[p].settled = true;
}

// The cache of the layout under way: the outermost layout call opens it and empties it on
// return, so nothing is kept across edits; its storage waits for the thread's next layout.
thread_local BranchRectCache* activeCache = nullptr;
thread_local std::unique_ptr<BranchRectCache> spareCache;

class LayoutPass {
 public:
  LayoutPass() {
    if (!activeCache) {
      owned_ = spareCache ? std::move(spareCache) : std::make_unique<BranchRectCache>();
      activeCache = owned_.get();
    }
  }
  ~LayoutPass() {
    if (!owned_) return;
    owned_->settleMoves();
    activeCache = nullptr;
    owned_->reset();
    spareCache = std::move(owned_);
  }
  LayoutPass(const LayoutPass&) = delete;
  LayoutPass& operator=(const LayoutPass&) = delete;

 private:
  std::unique_ptr<BranchRectCache> owned_;
};

kit::Rect branchRect(NodeView* n) { return activeCache ? activeCache->rectOf(n) : n->getBranchBoundingRect(); }
kit::Rect frameOf(NodeView* n) { return activeCache ? activeCache->frameOf(n) : n->getAdjustedNodeFrame(); }

// Moves a branch so that its topic's centre lands where a move to p would put it. The target
// is rounded first, so every topic of the branch moves by the same whole points: a move by a
// half point would round odd and even centres apart and bend the branch's inner spacing.
void moveBranchTo(NodeView* n, kit::Point p) {
  const kit::Point c = n->center();
  if (std::fabs(p.x - c.x) < 1.0f && std::fabs(p.y - c.y) < 1.0f) return;  // too small to move
  const kit::Point to(kit::roundHalfEven(p.x), kit::roundHalfEven(p.y));
  if (activeCache) {
    if (activeCache->moveLater(n, to)) return;
    activeCache->willMove(n);
  }
  n->moveTo(to, true);
}

void moveBranchBy(NodeView* n, float dx, float dy) {
  const kit::Point c = n->center();
  moveBranchTo(n, kit::Point(c.x + dx, c.y + dy));
}

// Pre-order lists over the whole tree, floating and callout branches included, walked without
// listing every topic first.
template <typename Pred>
std::vector<NodeView*> listOf(NodeView* top, Pred pred) {
  std::vector<NodeView*> out;
  if (!top) return out;
  thread_local std::vector<NodeView*> stack;
  const std::size_t base = stack.size();
  stack.push_back(top);
  while (stack.size() > base) {
    NodeView* n = stack.back();
    stack.pop_back();
    if (pred(n)) out.push_back(n);
    const NodeView::ChildList& children = n->childNodes();
    for (const auto& c : children) c->prefetchForLayout();
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(it->get());
  }
  return out;
}

std::vector<NodeView*> getListOfCallouts(NodeView* root) {
  return listOf(root, [](NodeView* n) { return n->isCallout(); });
}

std::vector<NodeView*> getListOfFloatingNodes(NodeView* root) {
  return listOf(root, [](NodeView* n) { return n->isFloating(); });
}

// The sibling stacking of arrangeSiblingsOf. With `align`, also alignSiblingNodesWith on the
// same topic, in one move per sibling: the stacking moves only vertically and the alignment
// only horizontally, each reading what the other leaves alone, so the places are the same.
// Whether sorting the children by height would leave them as they are: the sort moves a child
// only past one strictly below it, so a list without such a neighbour needs neither the sort
// nor the tree lock.
bool isSortedVertically(const NodeView::ChildList& children) {
  for (std::size_t i = 1; i < children.size(); ++i)
    if (children[i]->center().y < children[i - 1]->center().y) return false;
  return true;
}

// `parentRight`: the parent's side of the root when the caller knows it; asking a topic walks
// up to the root, and a walk per column is quadratic in a deep outline.
void arrangeSiblings(NodeView* topic, bool belowIt, bool align, std::optional<bool> parentRight = std::nullopt) {
  if (!topic || !topic->hasSiblingTopics()) return;
  NodeView* parent = topic->parentNode();
  if (activeCache) activeCache->settleBelow(parent);
  if (!isSortedVertically(parent->childNodes())) {
    kit::LockGuard guard(AppServices::globalTreeLock());
    parent->sortChildNodesVertically(false);
  }
  const NodeView::ChildList& children = parent->childNodes();
  const bool right = topic->isToRightOfParent();
  // The siblings to stack and the children's flags, in per-thread buffers: a layout arranges
  // thousands of columns. Moves never arrange siblings, so nothing else uses them meanwhile.
  thread_local std::vector<NodeView*> siblings;
  thread_local std::vector<char> stacked;
  siblings.clear();
  stacked.assign(children.size(), 0);
  for (std::size_t i = 0; i < children.size(); ++i) {
    NodeView* k = children[i].get();
    if (k != topic && isLaidOutAsChild(k) && k->isToRightOfParent() == right) {
      siblings.push_back(k);
      stacked[i] = 1;
    }
  }
  // Above the topic the stack grows upwards: the siblings bottom to top.
  if (!belowIt) std::reverse(siblings.begin(), siblings.end());

  // Alignment: the siblings on the topic's logical side of the root get its inner edge. Below
  // a topic that is no root, the children share its side.
  const bool parentSide = align && !parent->isRoot() && (parentRight ? *parentRight : parent->isLogicallyToRightOfRoot());
  const bool logicallyRight = align && topic->isLogicallyToRightOfRootUnder(parentSide);
  const bool rightOfParent = topic->isToRightOfParent();
  const kit::Rect f = align ? frameOf(topic) : kit::Rect();
  auto alignDX = [&](NodeView* k) -> float {
    if (!align || k->isLogicallyToRightOfRootUnder(parentSide) != logicallyRight) return 0;
    const kit::Rect kf = frameOf(k);
    return rightOfParent ? f.minX() - kf.minX() : f.maxX() - kf.maxX();
  };

  kit::Rect prevRect = siblings.empty() ? kit::Rect() : branchRect(topic);
  for (std::size_t i = 0; i < siblings.size(); ++i) {
    NodeView* k = siblings[i];
    const kit::Rect rect = branchRect(k);
    // The view's frame, whose middle is the centre that the move sets; the shape's frame
    // may sit a point or two off it and would bend the 10-point gap.
    const float off = k->frame().midY() - rect.minY();
    const float y = belowIt ? prevRect.maxY() + off + kVerticalGap
                            : prevRect.minY() - (rect.height() - off) - kVerticalGap;
    const kit::Point c = k->center();
    const float dx = alignDX(k);
    // Each part as its own move would take it: none below a point.
    const kit::Point to(std::fabs(dx) < 1.0f ? c.x : kit::roundHalfEven(c.x + dx),
                        std::fabs(y - c.y) < 1.0f ? c.y : kit::roundHalfEven(y));
    moveBranchTo(k, to);
    // The next sibling stacks against where this one now is.
    if (i + 1 < siblings.size()) prevRect = branchRect(k);
  }
  if (!align) return;
  for (std::size_t i = 0; i < children.size(); ++i) {
    NodeView* k = children[i].get();
    if (stacked[i] || k == topic || !isLaidOutAsChild(k)) continue;
    moveBranchBy(k, alignDX(k), 0);
  }
}

// Mirrors a branch to the other side of the pivot: across its vertical axis, and with
// `pointReflection` also across its horizontal axis.
void mirrorAbout(NodeView* child, const NodeView* pivot, bool pointReflection) {
  const kit::Point c = child->center(), p = pivot->center();
  moveBranchBy(child, -2.0f * (c.x - p.x), pointReflection ? -2.0f * (c.y - p.y) : 0.0f);
  child->flipAboutYandRedraw(true);
}

// Places the column of a topic's children on one side, within a layout pass. `right`: the
// topic's side of the root when the caller knows it.
void placeColumn(NodeView* topic, int onSide, std::optional<bool> right) {
  activeCache->settleBelow(topic);

  // The column: every child on the side, its height, and the topmost child.
  const bool root = topic->isRoot();
  NodeView* top = nullptr;
  kit::Rect topRect;
  float height = 0;
  for (const auto& c : topic->childNodes()) {
    NodeView* k = c.get();
    if (!isLaidOutAsChild(k)) continue;
    if (root && k->isToRightOfParent() != (onSide == Side::Right)) continue;
    const kit::Rect r = branchRect(k);
    height += r.height() + kVerticalGap;
    if (!top || k->isAbove(top)) {
      top = k;
      topRect = r;
    }
  }
  if (height != 0) height -= kVerticalGap;
  if (!top) return;
  if (!root) onSide = (right ? *right : topic->isLogicallyToRightOfRoot()) ? Side::Right : Side::Left;

  // The topmost child's near edge 70 points from the parent, its branch's top half the
  // column's height above the parent's centre.
  const kit::Rect parentFrame = frameOf(topic);
  const kit::Rect topFrame = frameOf(top);
  const kit::Point topCentre = top->center();
  float x;
  if (onSide == Side::Right) {
    const float d = topFrame.minX() - parentFrame.maxX();
    x = topCentre.x + (kHorizontalGap - d);
  } else {
    const float d = parentFrame.minX() - topFrame.maxX();
    x = topCentre.x - (kHorizontalGap - d);
  }
  const float y = (topic->center().y - height * 0.5f) + (topCentre.y - topRect.minY());
  moveBranchTo(top, kit::Point(x, y));

  // The others stack below it and line up with it.
  arrangeSiblings(top, true, true, root ? std::nullopt : std::optional<bool>(onSide == Side::Right));
}

}  // namespace

bool BigView::isKeepOrganised() { return parentController_ && parentController_->getKeepOrganised(); }

void BigView::keepOrganisedAsNecessary(NodeView* topic) {
  if (!isKeepOrganised()) return;
  if (!topic) {
    rearrangeAll(true);
  } else if (topic->isRoot()) {
    rearrangeChildren(topic, true);
  } else {
    const int side = topic->isLogicallyToRightOfRoot() ? Side::Right : Side::Left;
    rearrangeChildren(topic->getRoot(), side, true);
  }
}

void BigView::rearrangeAll(bool animated) {
  LayoutPass pass;
  if (NodeView* root = rootNode_.get()) {
    activeCache->forgetWalks();
    rearrangeChildren(root, animated);
    // A map without floating topics or callouts is not walked once more to find none.
    if (!activeCache->hasNoFloatingBelow(root))
      for (NodeView* f : getListOfFloatingNodes(root)) rearrangeChildren(f, animated);
  }
  activeCache->settleMoves();
  requestRedraw();
}

void BigView::rearrangeAll(bool animated, bool includingCallouts, bool includingFloating) {
  NodeView* root = rootNode_.get();
  std::vector<NodeView*> callouts;
  if (includingCallouts) {
    callouts = getListOfCallouts(root);
    for (NodeView* c : callouts) c->setIsCallout(false, false);
  }
  if (includingFloating) {
    const std::vector<NodeView*> floating = getListOfFloatingNodes(root);
    for (NodeView* f : floating) f->setIsFloating(false, false);
    rearrangeAll(animated);
    for (NodeView* f : floating) f->setIsFloating(true, false);
  } else {
    rearrangeAll(animated);
  }
  for (NodeView* c : callouts) c->setIsCallout(true, false);
  requestRedraw();
}

void BigView::rearrangeChildren(NodeView* topic, bool animated) {
  if (!topic) return;
  LayoutPass pass;
  AnimationBlock animation(animated);
  if (topic->isRoot()) {
    rearrangeChildren(topic, Side::Left, false);
    rearrangeChildren(topic, Side::Right, false);
  } else {
    rearrangeChildren(topic, Side::Automatic, false);
  }
  animation.commit();
}

void BigView::rearrangeChildren(NodeView* topic, int onSide, bool animated) {
  if (!topic) return;
  LayoutPass pass;
  AnimationBlock animation(animated);
  _rearrangeChildren(topic, onSide);
  animation.commit();
}

// Post-order without recursion: outlines can be thousands of levels deep. Placing a topic's
// children sorts only that topic's child list, never the list being walked one level up.
void BigView::_rearrangeChildren(NodeView* topic, int onSide) {
  if (!topic) return;
  LayoutPass pass;
  // With each topic its side of the root, found from its parent's: asking each topic would
  // walk up to the root from every column.
  struct Step {
    NodeView* node;
    std::size_t next;
    bool right;
  };
  std::vector<Step> stack{{topic, 0, !topic->isRoot() && topic->isLogicallyToRightOfRoot()}};
  bool wholeAndLooseFree = true;
  while (!stack.empty()) {
    Step& s = stack.back();
    const NodeView::ChildList& children = s.node->childNodes();
    if (s.next == 0)
      for (const auto& c : children) c->prefetchForLayout();
    if (s.next < children.size()) {
      NodeView* child = children[s.next++].get();
      if (!isLaidOutAsChild(child)) {
        wholeAndLooseFree = false;
      } else if (!child->childNodes().empty()) {
        if (activeCache->isSettled(child)) {
          wholeAndLooseFree = false;
        } else {
          activeCache->settleBelow(child);
          stack.push_back({child, 0, child->isLogicallyToRightOfRootUnder(s.right)});
        }
      }
      continue;
    }
    const Step done = s;
    stack.pop_back();
    placeColumn(done.node, onSide, done.right);
    activeCache->didPlaceChildren(done.node);
  }
  activeCache->walked(topic, wholeAndLooseFree);
}

void BigView::rearrangeImmediateChildren(NodeView* topic, int onSide, bool animated) {
  if (!topic) return;
  LayoutPass pass;
  AnimationBlock animation(animated);
  placeColumn(topic, onSide, std::nullopt);
  animation.commit();
}

void BigView::arrangeSiblingsOf(NodeView* topic, bool belowIt, bool animated) {
  if (!topic) return;
  LayoutPass pass;
  AnimationBlock animation(animated);
  arrangeSiblings(topic, belowIt, false);
  animation.commit();
}

void BigView::alignSiblingNodesWith(NodeView* topic, bool animated) {
  if (!topic || !topic->hasSiblingTopics()) return;
  LayoutPass pass;
  AnimationBlock animation(animated);
  // Siblings by their logical side of the root, not by their side of the parent.
  const bool logicallyRight = topic->isLogicallyToRightOfRoot();
  const bool rightOfParent = topic->isToRightOfParent();
  const kit::Rect f = frameOf(topic);
  for (const auto& c : topic->parentNode()->childNodes()) {
    NodeView* k = c.get();
    if (k == topic || !isLaidOutAsChild(k) || k->isLogicallyToRightOfRoot() != logicallyRight) continue;
    const kit::Rect kf = frameOf(k);
    const float dx = rightOfParent ? f.minX() - kf.minX() : f.maxX() - kf.maxX();
    moveBranchBy(k, dx, 0);
  }
  animation.commit();
}

void BigView::balanceMapAround(NodeView* topic, int order) {
  if (!topic || order == 3) return;
  auto children = [topic] {
    std::vector<NodeView*> out;
    for (const auto& c : topic->childNodes())
      if (!c->isFloating()) out.push_back(c.get());
    return out;
  };
  if (order == 2 || order == 4) {
    for (NodeView* c : children()) mirrorAbout(c, topic, false);
    if (order == 4) return;
    order = 1;
  }

  const std::vector<NodeView*> list = children();
  std::vector<float> heights;
  heights.reserve(list.size());
  float total = 0;
  for (NodeView* c : list) {
    heights.push_back(c->getBranchBoundingRectForAll().height());
    total += heights.back();
  }
  // The split child: where the running height first passes half the total, or the one before
  // it when most of that child lies beyond the half.
  const float half = total * 0.5f;
  std::size_t split = list.size();
  float sum = 0;
  for (std::size_t i = 0; i < list.size(); ++i) {
    sum += heights[i];
    if (sum > half) {
      split = (i > 0 && (sum - half) > heights[i] * 0.5f) ? i - 1 : i;
      break;
    }
  }
  // No height at all: no child passes the half, and nothing crosses.
  for (std::size_t i = split + 1; i < list.size(); ++i) mirrorAbout(list[i], topic, order == 1);
}
