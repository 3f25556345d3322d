// Automatic layout: every topic's children in one column beside it, the column centred on the
// parent; the keep-organised entry point; balancing the central topic's children over its two
// sides.
//
// Cost: the moves walk each moved branch, so a whole layout is linear in the sum of the branch
// sizes (n times the mean depth), as the algorithm moves them. Branch rectangles are not walked
// again for every sibling at every level: one layout keeps them (BranchRectCache), so placing
// one topic's children costs its number of children plus the moves.
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
    if (auto k = kept(top)) return k->first;
    return measure(top);
  }
  // getAdjustedNodeFrame, measured once: a topic's frame moves with its centre.
  kit::Rect frameOf(NodeView* n);
  // Before `n`'s branch moves: the rectangles that include it go, and with a centre off the
  // whole-point grid (the branch will not move rigidly) those inside it too.
  void willMove(NodeView* n);

  // Settled branches. A column that its layout left stacked on one side, sorted, on whole
  // points and with all its deeper columns settled is what laying it out again would give,
  // as long as later moves carry it rigidly: the second side's pass over a central topic then
  // passes it by instead of measuring it all again.
  void didPlaceChildren(NodeView* p);
  bool isSettled(NodeView* n) {
    const Entry* e = entries_.find(n);
    return !bent_ && e && e->settled;
  }
  // Forgets everything for the next layout, keeping the storage.
  void reset() {
    entries_.clear();
    bent_ = false;
  }

 private:
  struct Entry {
    kit::Rect rect;
    kit::Point centre;         // the topic's centre when the branch was measured
    bool rigid = false;        // whole-point centres and no outline inside: follows the centre
    bool valid = false;        // the branch rectangle
    bool hasFrame = false;
    kit::Rect frame;
    kit::Point frameCentre;
    bool settled = false;
  };
  struct Step {
    NodeView* node;
    std::size_t next;
    kit::Rect rect;
    bool rigid;
  };
  using Measured = std::pair<kit::Rect, bool>;  // rectangle, rigid

  static bool onWholePoints(kit::Point p) { return p.x == std::nearbyint(p.x) && p.y == std::nearbyint(p.y); }
  std::optional<Measured> kept(NodeView* n) {
    const Entry* e = entries_.find(n);
    if (!e || !e->valid) return std::nullopt;
    const kit::Point c = n->center();
    if (c == e->centre) return Measured(e->rect, e->rigid);
    if (!e->rigid) return std::nullopt;
    return Measured(e->rect.offsetBy(c.x - e->centre.x, c.y - e->centre.y), true);
  }
  kit::Rect measure(NodeView* top);
  bool isSettledEntry(const NodeView* n) {
    const Entry* e = entries_.find(n);
    return e && e->settled;
  }
  void store(NodeView* n, const Measured& m) {
    Entry& e = entries_[n];
    e.rect = m.first;
    e.centre = n->center();
    e.rigid = m.second;
    e.valid = true;
  }

  TopicTable<Entry> entries_;
  std::vector<Step> steps_;  // rectOf's walk, kept for its storage
  bool bent_ = false;  // a branch moved off whole points: nothing counts as settled
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
// unless it is folded), without recursion: outlines can be thousands of levels deep.
kit::Rect BranchRectCache::measure(NodeView* top) {
  std::vector<Step>& stack = steps_;
  const std::size_t base = stack.size();  // above whatever a walk under way still holds
  // A branch already known, or nothing after pushing a step that measures it.
  auto begin = [&](NodeView* n) -> std::optional<Measured> {
    if (auto k = kept(n)) return k;
    if (n->hasBoundary()) {
      const Measured m(n->getBranchBoundingRect(), false);
      store(n, m);
      return m;
    }
    stack.push_back(Step{n, 0, frameOf(n), onWholePoints(n->center())});
    return std::nullopt;
  };
  auto merge = [](Step& into, const Measured& part) {
    into.rect = into.rect.isEmpty() ? part.first : into.rect.unionWith(part.first);
    into.rigid = into.rigid && part.second;
  };
  if (auto known = begin(top)) return known->first;
  while (true) {
    Step& s = stack.back();
    const NodeView::ChildList& children = s.node->childNodes();
    if (!s.node->isFolded() && s.next < children.size()) {
      NodeView* child = children[s.next++].get();
      if (!isLaidOutAsChild(child)) continue;
      if (auto known = begin(child)) merge(stack.back(), *known);  // s may have moved
      continue;
    }
    const Step finished = s;
    stack.pop_back();
    store(finished.node, Measured(finished.rect, finished.rigid));
    if (stack.size() == base) return finished.rect;
    merge(stack.back(), Measured(finished.rect, finished.rigid));
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
  if (activeCache) activeCache->willMove(n);
  n->moveTo(kit::Point(kit::roundHalfEven(p.x), kit::roundHalfEven(p.y)), true);
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

void arrangeSiblings(NodeView* topic, bool belowIt, bool align) {
  if (!topic || !topic->hasSiblingTopics()) return;
  NodeView* parent = topic->parentNode();
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
  const bool parentSide = align && !parent->isRoot() && parent->isLogicallyToRightOfRoot();
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
    rearrangeChildren(root, animated);
    for (NodeView* f : getListOfFloatingNodes(root)) rearrangeChildren(f, animated);
  }
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
  struct Step {
    NodeView* node;
    std::size_t next;
  };
  std::vector<Step> stack{{topic, 0}};
  while (!stack.empty()) {
    Step& s = stack.back();
    const NodeView::ChildList& children = s.node->childNodes();
    if (s.next == 0)
      for (const auto& c : children) c->prefetchForLayout();
    if (s.next < children.size()) {
      NodeView* child = children[s.next++].get();
      if (isLaidOutAsChild(child) && !child->childNodes().empty() && !activeCache->isSettled(child))
        stack.push_back({child, 0});
      continue;
    }
    NodeView* n = s.node;
    stack.pop_back();
    rearrangeImmediateChildren(n, onSide, false);
    activeCache->didPlaceChildren(n);
  }
}

void BigView::rearrangeImmediateChildren(NodeView* topic, int onSide, bool animated) {
  if (!topic) return;
  LayoutPass pass;
  AnimationBlock animation(animated);

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
  if (!root) onSide = topic->isLogicallyToRightOfRoot() ? Side::Right : Side::Left;

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
  arrangeSiblings(top, true, true);
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
