#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "canvas/canvas_test_support.h"
#include "model/relationship_view.h"

using kit::Point;
using kit::Rect;

namespace {

Rect frameOf(NodeView* n) { return n->getAdjustedNodeFrame(); }
Rect branchOf(NodeView* n) { return n->getBranchBoundingRect(); }

std::vector<NodeView*> normalChildren(NodeView* p) {
  std::vector<NodeView*> out;
  for (const auto& c : p->childNodes())
    if (!c->isFloating() && !c->isCallout()) out.push_back(c.get());
  return out;
}

}  // namespace

class AutomaticLayoutTest : public CanvasTest {
 protected:
  NodeView* centralTopic() {
    root = make(nullptr, Point(), "Central topic");
    c = root->center();
    return root;
  }

  // By topic: a layout sorts child lists, so the tree order changes.
  std::map<NodeView*, Point> centres() {
    std::map<NodeView*, Point> out;
    if (canvas->rootNode())
      for (NodeView* n : canvas->rootNode()->getListOfDescendents()) out[n] = n->center();
    return out;
  }

  NodeView* root = nullptr;
  Point c;
};

// ---- Placing one topic's children ----------------------------------------------------------

TEST_F(AutomaticLayoutTest, AnEmptyCanvasAndNilTopicsLayOutNothing) {
  doc.keepOrganised = true;
  canvas->rearrangeAll(false);
  canvas->rearrangeAll(true, true, true);
  canvas->keepOrganisedAsNecessary(nullptr);
  canvas->rearrangeChildren(nullptr, true);
  canvas->rearrangeImmediateChildren(nullptr, Side::Right, true);
  canvas->arrangeSiblingsOf(nullptr, true, true);
  canvas->alignSiblingNodesWith(nullptr, true);
  canvas->balanceMapAround(nullptr, 1);
  EXPECT_EQ(canvas->rootNode(), nullptr);

  centralTopic();
  canvas->rearrangeAll(false);
  canvas->balanceMapAround(root, 1);
  EXPECT_EQ(root->center(), c);
}

TEST_F(AutomaticLayoutTest, ASingleChildIsCentredOnItsParent70PointsAway) {
  centralTopic();
  NodeView* k = make(root, Point(c.x + 400, c.y + 333), "Only child");
  NodeView* left = make(root, Point(c.x - 500, c.y - 271), "Left child");
  canvas->rearrangeChildren(root, false);
  EXPECT_FLOAT_EQ(frameOf(k).minX() - frameOf(root).maxX(), 70);
  EXPECT_FLOAT_EQ(frameOf(root).minX() - frameOf(left).maxX(), 70);
  // The branch's middle on the parent's centre, to the rounding of a whole-point centre.
  EXPECT_NEAR(branchOf(k).midY(), c.y, 0.5f);
  EXPECT_NEAR(branchOf(left).midY(), c.y, 0.5f);
}

TEST_F(AutomaticLayoutTest, TwoEqualChildrenMakeAColumnCentredOnTheParent) {
  centralTopic();
  NodeView* a = make(root, Point(c.x + 300, c.y + 200), "Same");
  NodeView* b = make(root, Point(c.x + 900, c.y - 50), "Same");
  const float h = branchOf(a).height();
  ASSERT_EQ(h, branchOf(b).height());
  canvas->rearrangeImmediateChildren(root, Side::Right, false);
  // b was higher, so it heads the column; the column is 2h + 10 high, its top h + 5 above.
  EXPECT_FLOAT_EQ(branchOf(b).minY(), c.y - (h + 5));
  EXPECT_FLOAT_EQ(branchOf(a).minY(), branchOf(b).maxY() + 10);
  EXPECT_FLOAT_EQ(branchOf(a).maxY() - branchOf(b).minY(), 2 * h + 10);
  EXPECT_FLOAT_EQ(frameOf(a).minX(), frameOf(b).minX());
  EXPECT_EQ(root->childNodes()[0].get(), b);  // sorted top to bottom
}

TEST_F(AutomaticLayoutTest, ASideWithoutChildrenMovesNothing) {
  centralTopic();
  make(root, Point(c.x + 300, c.y + 200), "Right one");
  make(root, Point(c.x + 310, c.y + 207), "Right two");
  const auto before = centres();
  canvas->rearrangeImmediateChildren(root, Side::Left, false);
  EXPECT_EQ(centres(), before);
  canvas->rearrangeChildren(root, Side::Left, true);
  EXPECT_EQ(centres(), before);
}

TEST_F(AutomaticLayoutTest, CalloutsAndFloatingChildrenAreNotPlacedAsChildren) {
  centralTopic();
  NodeView* callout = make(root, Point(c.x + 250, c.y - 400), "Callout");
  callout->setIsCallout(true, false);
  NodeView* floating = make(root, Point(c.x + 260, c.y + 500), "Floating");
  floating->setIsFloating(true, false);
  NodeView* hidden = make(root, Point(c.x + 260, c.y + 520), "Folded away");
  make(hidden, Point(c.x + 600, c.y + 530), "Under the fold");
  hidden->fold();
  const Point calloutAt = callout->center(), floatingAt = floating->center();

  canvas->rearrangeAll(false);
  EXPECT_EQ(callout->center(), calloutAt);
  EXPECT_EQ(floating->center(), floatingAt);
  EXPECT_FLOAT_EQ(frameOf(hidden).minX() - frameOf(root).maxX(), 70);
  // A folded topic stands for its branch: its column is its own frame.
  EXPECT_NEAR(frameOf(hidden).midY(), c.y, 0.5f);
}

TEST_F(AutomaticLayoutTest, ATopicWithOnlyCalloutsAndFloatingChildrenMovesNothing) {
  centralTopic();
  NodeView* main = make(root, Point(c.x + 300, c.y), "Main");
  NodeView* co = make(main, Point(c.x + 600, c.y - 90), "Callout");
  co->setIsCallout(true, false);
  NodeView* fl = make(main, Point(c.x + 610, c.y + 90), "Floating");
  fl->setIsFloating(true, false);
  const auto before = centres();
  canvas->rearrangeImmediateChildren(main, Side::Automatic, false);
  canvas->rearrangeChildren(main, true);
  EXPECT_EQ(centres(), before);
}

TEST_F(AutomaticLayoutTest, AFoldedSiblingCountsAsItsOwnFrame) {
  centralTopic();
  NodeView* folded = make(root, Point(c.x + 300, c.y - 100), "Folded");
  for (int i = 0; i < 6; ++i) make(folded, Point(c.x + 600, c.y - 300 + 100 * i), "Hidden child");
  NodeView* below = make(root, Point(c.x + 300, c.y + 400), "Below");
  folded->fold();
  canvas->rearrangeChildren(root, false);
  EXPECT_EQ(branchOf(folded), frameOf(folded));
  EXPECT_FLOAT_EQ(branchOf(below).minY(), frameOf(folded).maxY() + 10);
}

TEST_F(AutomaticLayoutTest, ChildrenOfANormalTopicGoToItsSideOfTheRoot) {
  centralTopic();
  NodeView* main = make(root, Point(c.x - 400, c.y + 50), "Left main");
  NodeView* b = make(main, Point(c.x - 900, c.y - 300), "b, the topmost");
  // Wrongly right of its parent: aligned with the column but not stacked in it this time.
  NodeView* a = make(main, Point(c.x - 200, c.y + 300), "a");
  canvas->rearrangeImmediateChildren(main, Side::Right, false);  // the side is the topic's own
  EXPECT_FLOAT_EQ(frameOf(main).minX() - frameOf(b).maxX(), 70);
  EXPECT_FLOAT_EQ(frameOf(a).maxX(), frameOf(b).maxX());
  EXPECT_EQ(a->center().y, c.y + 300);
  // Now on the left, it joins the stack.
  canvas->rearrangeChildren(main, false);
  EXPECT_FLOAT_EQ(branchOf(a).minY(), branchOf(b).maxY() + 10);
}

TEST_F(AutomaticLayoutTest, SiblingsStackAboveTheTopicBottomToTop) {
  centralTopic();
  NodeView* a = make(root, Point(c.x + 300, c.y - 300), "a");
  NodeView* b = make(root, Point(c.x + 340, c.y + 20), "b");
  NodeView* t = make(root, Point(c.x + 320, c.y + 600), "t");
  NodeView* other = make(root, Point(c.x - 300, c.y + 900), "other side");
  const Point otherAt = other->center();
  canvas->arrangeSiblingsOf(t, false, true);
  EXPECT_FLOAT_EQ(branchOf(b).maxY(), branchOf(t).minY() - 10);
  EXPECT_FLOAT_EQ(branchOf(a).maxY(), branchOf(b).minY() - 10);
  EXPECT_EQ(a->center().x, c.x + 300);  // only vertical moves
  EXPECT_EQ(other->center(), otherAt);

  canvas->alignSiblingNodesWith(t, false);
  EXPECT_EQ(frameOf(a).minX(), frameOf(t).minX());
  EXPECT_EQ(frameOf(b).minX(), frameOf(t).minX());
  EXPECT_EQ(other->center(), otherAt);
}

// ---- The whole map and keep-organised mode --------------------------------------------------

TEST_F(AutomaticLayoutTest, KeepOrganisedOffDoesNothingAtAll) {
  centralTopic();
  NodeView* main = make(root, Point(c.x + 300, c.y + 200), "Main");
  make(main, Point(c.x + 800, c.y - 700), "Child");
  make(root, Point(c.x - 300, c.y + 250), "Left");
  doc.keepOrganised = false;
  const auto before = centres();
  canvas->keepOrganisedAsNecessary(nullptr);
  canvas->keepOrganisedAsNecessary(root);
  canvas->keepOrganisedAsNecessary(main);
  EXPECT_EQ(centres(), before);
  EXPECT_TRUE(doc.records.empty());
}

TEST_F(AutomaticLayoutTest, KeepOrganisedWithNilLaysOutFloatingTopicsToo) {
  centralTopic();
  NodeView* main = make(root, Point(c.x + 300, c.y + 200), "Main");
  NodeView* floating = make(root, Point(c.x + 2000, c.y + 1500), "Floating");
  floating->setIsFloating(true, false);
  NodeView* fc = make(floating, Point(c.x + 1500, c.y + 2100), "Floating's child");
  const Point floatingAt = floating->center();
  doc.keepOrganised = true;
  canvas->keepOrganisedAsNecessary(nullptr);
  EXPECT_FLOAT_EQ(frameOf(main).minX() - frameOf(root).maxX(), 70);
  EXPECT_EQ(floating->center(), floatingAt);
  // The floating topic is a root of its own: its child goes to its left, beside it.
  EXPECT_FLOAT_EQ(frameOf(floating).minX() - frameOf(fc).maxX(), 70);
  EXPECT_NEAR(branchOf(fc).midY(), floatingAt.y, 0.5f);
  EXPECT_TRUE(doc.records.empty());
}

TEST_F(AutomaticLayoutTest, KeepOrganisedOnATopicLaysOutOnlyItsHalfOfTheRoot) {
  centralTopic();
  NodeView* r1 = make(root, Point(c.x + 300, c.y + 200), "Right one");
  NodeView* r2 = make(root, Point(c.x + 700, c.y + 201), "Right two");
  NodeView* l1 = make(root, Point(c.x - 300, c.y + 200), "Left one");
  NodeView* l2 = make(root, Point(c.x - 700, c.y + 201), "Left two");
  NodeView* deep = make(r1, Point(c.x + 900, c.y - 600), "Deep");
  doc.keepOrganised = true;
  const Point r1At = r1->center(), r2At = r2->center();
  canvas->keepOrganisedAsNecessary(l1);
  EXPECT_FLOAT_EQ(frameOf(root).minX() - frameOf(l1).maxX(), 70);
  EXPECT_FLOAT_EQ(frameOf(l2).maxX(), frameOf(l1).maxX());
  EXPECT_EQ(r1->center(), r1At);
  EXPECT_EQ(r2->center(), r2At);
  // Branches below the root are laid out on both sides alike.
  EXPECT_FLOAT_EQ(frameOf(deep).minX() - frameOf(r1).maxX(), 70);

  canvas->keepOrganisedAsNecessary(root);
  EXPECT_FLOAT_EQ(frameOf(r1).minX() - frameOf(root).maxX(), 70);
}

TEST_F(AutomaticLayoutTest, CalloutsAndFloatingTopicsArePlacedOnceThenGetTheirFlagsBack) {
  centralTopic();
  NodeView* main = make(root, Point(c.x + 300, c.y - 40), "Main");
  NodeView* callout = make(root, Point(c.x + 900, c.y - 800), "Callout");
  callout->setIsCallout(true, false);
  NodeView* floating = make(root, Point(c.x + 1200, c.y + 900), "Floating");
  floating->setIsFloating(true, false);
  const Point calloutAt = callout->center(), floatingAt = floating->center();

  canvas->rearrangeAll(false, true, false);
  EXPECT_TRUE(callout->isCallout());
  EXPECT_NE(callout->center(), calloutAt);
  EXPECT_FLOAT_EQ(frameOf(callout).minX(), frameOf(main).minX());
  EXPECT_EQ(floating->center(), floatingAt);

  canvas->rearrangeAll(false, false, true);
  EXPECT_TRUE(floating->isFloating());
  EXPECT_FLOAT_EQ(frameOf(floating).minX(), frameOf(main).minX());
  // Back to a callout, it keeps its new place through an ordinary layout.
  const Point placed = callout->center();
  canvas->rearrangeAll(false);
  EXPECT_EQ(callout->center(), placed);
  EXPECT_TRUE(doc.records.empty());
}

TEST_F(AutomaticLayoutTest, ACalloutMovesOnlyWithItsParent) {
  centralTopic();
  NodeView* main = make(root, Point(c.x + 300, c.y + 400), "Main");
  NodeView* child = make(main, Point(c.x + 700, c.y + 400), "Child");
  NodeView* callout = make(main, Point(c.x + 320, c.y + 520), "Callout");
  callout->setIsCallout(true, false);
  const float dx = callout->center().x - main->center().x, dy = callout->center().y - main->center().y;
  canvas->rearrangeAll(false);
  EXPECT_EQ(callout->center().x - main->center().x, dx);
  EXPECT_EQ(callout->center().y - main->center().y, dy);
  EXPECT_NEAR(branchOf(child).midY(), main->center().y, 0.5f);
}

// ---- Balancing the central topic's children -------------------------------------------------

class BalanceTest : public AutomaticLayoutTest {
 protected:
  // Four equal children down the right side, laid out.
  void SetUp() override {
    AutomaticLayoutTest::SetUp();
    centralTopic();
    for (int i = 0; i < 4; ++i) kids.push_back(make(root, Point(c.x + 300, c.y + 100 * i), "Same"));
    canvas->rearrangeChildren(root, false);
    for (NodeView* k : kids) at.push_back(k->center());
  }
  Point reflected(Point p, bool vertically) const {
    return Point(2 * c.x - p.x, vertically ? 2 * c.y - p.y : p.y);
  }
  std::vector<NodeView*> kids;
  std::vector<Point> at;
};

TEST_F(BalanceTest, OrderThreeDoesNothing) {
  canvas->balanceMapAround(root, 3);
  for (std::size_t i = 0; i < kids.size(); ++i) EXPECT_EQ(kids[i]->center(), at[i]);
}

TEST_F(BalanceTest, OrderFourMirrorsEveryChild) {
  canvas->balanceMapAround(root, 4);
  for (std::size_t i = 0; i < kids.size(); ++i) EXPECT_EQ(kids[i]->center(), reflected(at[i], false));
}

TEST_F(BalanceTest, OrderOneSendsTheLaterHalfRoundTheRoot) {
  canvas->balanceMapAround(root, 1);
  // Sums h, 2h, 3h: the third passes 2h by a whole h, more than half its height, so the split
  // is the second child.
  EXPECT_EQ(kids[0]->center(), at[0]);
  EXPECT_EQ(kids[1]->center(), at[1]);
  EXPECT_EQ(kids[2]->center(), reflected(at[2], true));
  EXPECT_EQ(kids[3]->center(), reflected(at[3], true));
  // Clockwise order continues round the root: the last child ends at the top left.
  EXPECT_LT(kids[3]->center().y, kids[2]->center().y);
}

TEST_F(BalanceTest, OtherOrdersCrossOnlyHorizontally) {
  canvas->balanceMapAround(root, 0);
  EXPECT_EQ(kids[1]->center(), at[1]);
  EXPECT_EQ(kids[2]->center(), reflected(at[2], false));
  EXPECT_EQ(kids[3]->center(), reflected(at[3], false));
}

TEST_F(BalanceTest, OrderTwoMirrorsAllThenBalances) {
  canvas->balanceMapAround(root, 2);
  EXPECT_EQ(kids[0]->center(), reflected(at[0], false));
  EXPECT_EQ(kids[1]->center(), reflected(at[1], false));
  // Mirrored twice: across, then back through the root's centre.
  EXPECT_EQ(kids[2]->center(), Point(at[2].x, 2 * c.y - at[2].y));
  EXPECT_EQ(kids[3]->center(), Point(at[3].x, 2 * c.y - at[3].y));
}

TEST_F(BalanceTest, FloatingChildrenAreIgnoredAndASingleChildStays) {
  NodeView* floating = make(root, Point(c.x + 2000, c.y + 2000), "Floating, very tall and wide");
  floating->setIsFloating(true, false);
  canvas->balanceMapAround(root, 1);
  EXPECT_EQ(floating->center(), Point(c.x + 2000, c.y + 2000));
  EXPECT_EQ(kids[1]->center(), at[1]);
  EXPECT_EQ(kids[2]->center(), reflected(at[2], true));

  canvas->removeNode(kids[3]);
  canvas->removeNode(kids[2]);
  canvas->removeNode(kids[1]);
  canvas->balanceMapAround(root, 1);
  EXPECT_EQ(kids[0]->center(), at[0]);
}

TEST_F(BalanceTest, MirroredChildrenKeepTheirBranchesOnTheFarSide) {
  NodeView* grandchild = make(kids[3], Point(at[3].x + 400, at[3].y), "Grandchild");
  canvas->rearrangeChildren(kids[3], false);
  canvas->balanceMapAround(root, 1);
  EXPECT_LT(kids[3]->center().x, c.x);
  EXPECT_LT(grandchild->center().x, kids[3]->center().x);
}

// ---- Invariants after layouts of random maps ------------------------------------------------

class RandomMapLayoutTest : public AutomaticLayoutTest, public ::testing::WithParamInterface<unsigned> {
 protected:
  // A map whose topics lie on their branch's side, at random heights and distances, with
  // random texts, folds, boundaries, callouts and floating topics.
  void build(unsigned seed, int count) {
    std::mt19937 rng(seed);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    centralTopic();
    std::vector<NodeView*> all{root};
    for (int i = 1; i < count; ++i) {
      NodeView* parent = all[static_cast<std::size_t>(uniform(0, static_cast<int>(all.size()) - 1))];
      const bool right = parent->isRoot() ? uniform(0, 1) == 1 : parent->isLogicallyToRightOfRoot();
      const float dx = static_cast<float>(uniform(40, 700)) * (right ? 1.0f : -1.0f);
      const Point at(parent->center().x + dx, parent->center().y + static_cast<float>(uniform(-900, 900)));
      std::string text(static_cast<std::size_t>(uniform(1, 40)), 'x');
      for (std::size_t j = 5; j < text.size(); j += 6) text[j] = ' ';
      NodeView* n = make(parent, at, text.c_str());
      const int kind = uniform(0, 99);
      if (kind < 4) n->setIsCallout(true, false);
      else if (kind < 7) n->setIsFloating(true, false);
      else if (kind < 10) n->setHasBoundary(true, false);
      all.push_back(n);
    }
    for (NodeView* n : all)
      if (n != root && uniform(0, 99) < 6) n->fold();
  }

  // Centres on whole points; every visible column on its side, 70 points out, its branches
  // apart and in order.
  void checkInvariants() {
    for (NodeView* n : root->getListOfDescendents()) {
      EXPECT_EQ(n->center().x, std::nearbyint(n->center().x));
      EXPECT_EQ(n->center().y, std::nearbyint(n->center().y));
      if (n->isCallout() || n->isOnCalloutBranch()) continue;
      // On its main branch's side of its central (or floating) topic.
      if (!n->isRoot()) {
        EXPECT_EQ(n->center().x > n->getRoot()->center().x, n->isLogicallyToRightOfRoot()) << n->getPath();
      }
      if (n->isFolded() || n->isOnFoldedBranch()) continue;
      std::vector<NodeView*> sides[2];
      for (NodeView* k : normalChildren(n)) {
        const bool right = n->isRoot() ? k->isToRightOfParent() : n->isLogicallyToRightOfRoot();
        sides[right ? 1 : 0].push_back(k);
        if (right) EXPECT_FLOAT_EQ(frameOf(k).minX() - frameOf(n).maxX(), 70) << k->getPath();
        else EXPECT_FLOAT_EQ(frameOf(n).minX() - frameOf(k).maxX(), 70) << k->getPath();
      }
      for (auto& side : sides) {
        std::sort(side.begin(), side.end(), [](NodeView* a, NodeView* b) { return a->center().y < b->center().y; });
        for (std::size_t i = 1; i < side.size(); ++i) {
          const float gap = branchOf(side[i]).minY() - branchOf(side[i - 1]).maxY();
          EXPECT_GE(gap, 9.5f) << side[i]->getPath();
          EXPECT_LE(gap, 10.5f) << side[i]->getPath();
        }
        if (!side.empty()) {
          // The column is centred on its parent.
          const float mid = (branchOf(side.front()).minY() + branchOf(side.back()).maxY()) / 2;
          EXPECT_NEAR(mid, n->center().y, 0.5f * static_cast<float>(side.size() + 1)) << n->getPath();
        }
      }
    }
  }
};

TEST_P(RandomMapLayoutTest, AFullLayoutKeepsColumnsApartAndOnTheirSides) {
  build(GetParam(), 160);
  canvas->rearrangeAll(false);
  checkInvariants();
  EXPECT_TRUE(doc.records.empty());
}

TEST_P(RandomMapLayoutTest, LayingOutAgainMovesNothingMoreThanAPoint) {
  build(GetParam() + 1000, 120);
  canvas->rearrangeAll(false);
  const auto first = centres();
  canvas->rearrangeAll(true);
  for (const auto& [topic, at] : centres()) {
    EXPECT_EQ(first.at(topic).x, at.x) << topic->getPath();
    EXPECT_EQ(first.at(topic).y, at.y) << topic->getPath();
  }
}

// A full layout passes over branches that its first side's pass left settled; the two sides
// laid out as separate calls measure everything again. Both must agree, order included.
TEST_P(RandomMapLayoutTest, SettledBranchesAreWhatLayingThemOutAgainGives) {
  auto layOut = [&](bool oneCall) {
    canvas = std::make_unique<BigView>(kit::Rect(0, 0, 34560, 30720));
    canvas->setParentController(&doc);
    build(GetParam() + 2000, 150);
    if (oneCall) {
      canvas->rearrangeChildren(root, false);
    } else {
      canvas->rearrangeChildren(root, Side::Left, false);
      canvas->rearrangeChildren(root, Side::Right, false);
    }
    std::vector<std::pair<std::string, Point>> out;
    for (NodeView* n : root->getListOfDescendents()) out.emplace_back(n->getPath(), n->center());
    return out;
  };
  EXPECT_EQ(layOut(true), layOut(false));
}

// One layout carries what it knows from column to column (branch rectangles, moves that the
// topics below still owe, each topic's side); laying out one column per call, children before
// parents, starts afresh every time. Centres off whole points and relationships included.
TEST_P(RandomMapLayoutTest, ALayoutInOneCallIsTheLayoutColumnByColumn) {
  auto layOut = [&](bool oneCall) {
    canvas = std::make_unique<BigView>(kit::Rect(0, 0, 34560, 30720));
    canvas->setParentController(&doc);
    build(GetParam() + 3000, 150);
    std::vector<NodeView*> all = root->getListOfDescendents();
    for (std::size_t i = 5; i < all.size(); i += 9) all[i]->setCenter(Point(all[i]->center().x + 0.5f, all[i]->center().y));
    for (std::size_t i = 7; i + 20 < all.size(); i += 40)
      canvas->createRelationshipBetweenNode(all[i], 0, all[i + 20], 0, Point(), RGB255{10, 20, 30});
    if (oneCall) {
      // What layout does not place rides along: callouts and relationship control points keep
      // their places relative to their topics.
      std::vector<std::pair<kit::View*, kit::View*>> riders;
      for (NodeView* n : root->getListOfDescendents()) {
        if (n->isCallout()) riders.emplace_back(n, n->parentNode());
        for (RelationshipView* r : n->getRelationships()) riders.emplace_back(r, n);
      }
      auto offsets = [&] {
        std::vector<Point> out;
        for (auto [rider, topic] : riders)
          out.emplace_back(rider->center().x - topic->center().x, rider->center().y - topic->center().y);
        return out;
      };
      const std::vector<Point> before = offsets();
      canvas->rearrangeChildren(root, false);
      const std::vector<Point> after = offsets();
      EXPECT_GE(riders.size(), 6u);
      for (std::size_t i = 0; i < riders.size(); ++i) {
        EXPECT_NEAR(after[i].x, before[i].x, 2.0f);  // both may round from half points
        EXPECT_NEAR(after[i].y, before[i].y, 2.0f);
      }
    } else {
      // The walk of a full layout: each side's pass goes through the whole tree.
      std::function<void(NodeView*, int)> column = [&](NodeView* n, int side) {
        for (std::size_t i = 0; i < n->childNodes().size(); ++i) {
          NodeView* k = n->childNodes()[i].get();
          if (!k->isFloating() && !k->isCallout() && !k->childNodes().empty()) column(k, side);
        }
        canvas->rearrangeImmediateChildren(n, side, false);
      };
      column(root, Side::Left);
      column(root, Side::Right);
    }
    std::vector<std::pair<std::string, Point>> out;
    for (NodeView* n : root->getListOfDescendents()) {
      out.emplace_back(n->getPath(), n->center());
      for (RelationshipView* r : n->getRelationships()) out.emplace_back("relationship", r->center());
    }
    return out;
  };
  EXPECT_EQ(layOut(true), layOut(false));
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomMapLayoutTest, ::testing::Range(1u, 9u));

// ---- Size ---------------------------------------------------------------------------------

TEST_F(AutomaticLayoutTest, AWideRootAndADeepOutlineLayOut) {
  centralTopic();
  // Thousands of children on one side; a chain far deeper than the call stack would take.
  for (int i = 0; i < 3000; ++i) make(root, Point(c.x + 200, c.y + (i * 37) % 1000), "Wide");
  NodeView* n = make(root, Point(c.x - 200, c.y), "Deep");
  for (int i = 0; i < 1500; ++i) n = make(n, Point(n->center().x - 150, n->center().y + 7), "d");
  canvas->rearrangeAll(false);
  const std::vector<NodeView*> right = [&] {
    std::vector<NodeView*> out;
    for (NodeView* k : normalChildren(root))
      if (k->isToRightOfParent()) out.push_back(k);
    return out;
  }();
  ASSERT_EQ(right.size(), 3000u);
  for (std::size_t i = 1; i < right.size(); ++i)
    ASSERT_FLOAT_EQ(branchOf(right[i]).minY() - branchOf(right[i - 1]).maxY(), 10);
  EXPECT_FLOAT_EQ(frameOf(n->parentNode()).minX() - frameOf(n).maxX(), 70);
}

// Each move of a branch must not walk all the topics below it, or the layout is quadratic in
// the depth: the deepest topic of a chain moves a few times, not once per level, whatever the
// moves carry along at the bottom.
class DeepChainLayoutTest : public AutomaticLayoutTest {
 protected:
  enum class Bottom { Plain, Relationship, Callout, Fold };

  // A chain 2,000 levels deep to the right of a central topic at x, laid out; the deepest
  // topic's moves.
  int layOutChain(float x, Bottom bottom) {
    root = make(nullptr, Point(), "Central topic");
    root->moveTo(Point(x, root->center().y), false);
    chain = {root};
    for (int i = 0; i < 2000; ++i) {
      const Point at = chain.back()->center();
      chain.push_back(make(chain.back(), Point(at.x + 200, at.y), "d"));
    }
    NodeView* leaf = chain.back();
    NodeView* above = chain[chain.size() - 2];
    if (bottom == Bottom::Relationship)
      canvas->createRelationshipBetweenNode(leaf, 0, above, 0, Point(30, 80), RGB255{10, 20, 30});
    if (bottom == Bottom::Callout)
      make(above, Point(above->center().x, above->center().y - 100), "Callout")->setIsCallout(true, false);
    if (bottom == Bottom::Fold) chain[chain.size() - 3]->fold();
    // What rides along keeps its place relative to its topic.
    auto riders = [&] {
      std::vector<Point> out;
      for (const auto& k : above->childNodes())
        if (k->isCallout()) out.emplace_back(k->center().x - above->center().x, k->center().y - above->center().y);
      for (const RelationshipView* r : leaf->getRelationships())
        out.emplace_back(r->center().x - leaf->center().x, r->center().y - leaf->center().y);
      return out;
    };
    const std::vector<Point> before = riders();
    int moves = 0;
    leaf->addObserver(this, "center", [&](kit::View&, std::string_view) { ++moves; });
    canvas->rearrangeAll(false);
    leaf->removeObserver(this);
    for (std::size_t i = 1; i + 2 < chain.size(); ++i)
      EXPECT_FLOAT_EQ(frameOf(chain[i]).minX() - frameOf(chain[i - 1]).maxX(), 70) << i;
    EXPECT_EQ(riders(), before);
    return moves;
  }

  std::vector<NodeView*> chain;
};

// Millions of points out, where a deep outline's own width takes it.
TEST_F(DeepChainLayoutTest, FarFromTheOrigin) { EXPECT_LE(layOutChain(5'000'000, Bottom::Plain), 4); }

TEST_F(DeepChainLayoutTest, CarryingARelationship) { EXPECT_LE(layOutChain(0, Bottom::Relationship), 4); }
TEST_F(DeepChainLayoutTest, CarryingACallout) { EXPECT_LE(layOutChain(0, Bottom::Callout), 4); }
TEST_F(DeepChainLayoutTest, CarryingHiddenTopics) { EXPECT_LE(layOutChain(0, Bottom::Fold), 4); }
