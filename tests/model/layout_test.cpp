// Topic layout: the boxes of every shape, badges, icons, images, task badges, mirroring on the
// left, the editing state, whole and even bounds, measurement kept between passes, realignment.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "kit/testing/zone_scope.h"
#include "model/layout_support.h"
#include "model/topic_layout_support.h"

using kit::Point;
using kit::Rect;
using kit::Size;

namespace {

constexpr Point kRoot{1000, 1000};

NodeView* child(TreeBuilder& t, NodeView* parent, const std::string& name, Point at, std::int32_t shape) {
  NodeView* n = t.add(parent, name, at);
  n->setShape(shape, false, false);
  return n;
}

float adv(const NodeView* n) { return n->getDisplayFontSize() / 2; }
float lineH(const NodeView* n) { return n->getDisplayFontSize() + 3; }

bool isEvenWhole(float v) { return std::fmod(v, 2.0f) == 0.0f; }

class TopicLayout : public FakeMeasureTest {};

TEST_F(TopicLayout, RoundedRectangleBoxesAndEvenBounds) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "Hello", Point(1200, 1000), TopicShape::RoundedRectangle);
  a->_calcLayout();
  const float w = 5 * adv(a), h = lineH(a);  // 35 x 17
  EXPECT_EQ(a->textBoxRect(), Rect(10, 8, w, h));
  // 55 x 33 rounded up to even sizes.
  EXPECT_EQ(a->nodeRect(), Rect(0, 0, 56, 34));
  EXPECT_EQ(a->bounds(), Rect(0, 0, 60, 38));
  EXPECT_EQ(a->imageBoxRect().size, Size(0, 0));
  EXPECT_EQ(a->rcTaskBadge(), Rect());
  EXPECT_EQ(a->ptDisclosureIcon(), Point());
  EXPECT_EQ(a->center(), Point(1200, 1000));  // layout keeps the centre
}

TEST_F(TopicLayout, UnknownShapeNumbersLayOutAsRoundedRectangle) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "Hello", Point(1200, 1000), TopicShape::RoundedRectangle);
  NodeView* b = child(t, root, "Hello", Point(1200, 1200), 42);
  a->_calcLayout();
  b->_calcLayout();
  EXPECT_EQ(b->nodeRect(), a->nodeRect());
  EXPECT_EQ(b->textBoxRect(), a->textBoxRect());
}

TEST_F(TopicLayout, EmptyTopicMeasuresFiveWs) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "", Point(1200, 1000), TopicShape::Rectangle);
  a->_calcLayout();
  EXPECT_EQ(a->textBoxRect().size, Size(5 * adv(a), lineH(a)));
}

TEST_F(TopicLayout, ImageWithEmptyTextGivesAOnePointTextBoxAsWideAsTheImage) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "", Point(1200, 1000), TopicShape::Rectangle);
  NodeViewLayoutTestAccess::setImageSize(a, Size(120, 80));
  a->_calcLayout();
  EXPECT_EQ(a->imageBoxRect(), Rect(10, 8, 120, 80));
  EXPECT_EQ(a->textBoxRect(), Rect(10, 88, 120, 1));
  EXPECT_EQ(a->nodeRect(), Rect(0, 0, 140, 98));  // 140 x 97, made even
}

TEST_F(TopicLayout, WideImageScalesDownToTheWidthLimitKeepingItsAspect) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "Hi", Point(1200, 1000), TopicShape::Rectangle);
  NodeViewLayoutTestAccess::setImageSize(a, Size(1200, 600));
  a->_calcLayout();  // display width 300
  EXPECT_EQ(a->imageBoxRect().size, Size(300, 150));
  EXPECT_GE(a->textBoxRect().width(), 300.0f);
  EXPECT_EQ(a->textBoxRect().minY(), a->imageBoxRect().maxY());  // the image sits above the text
}

TEST_F(TopicLayout, DisplayWidthAbove600LaysOutAs600) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, std::string(400, 'x'), Point(1200, 1000), TopicShape::Rectangle);
  a->setWidth(800, false, false);
  a->_calcLayout();
  EXPECT_EQ(FakeMeasurer::lastConstraint, Size(600, 500));
  EXPECT_EQ(a->textBoxRect().width(), 595.0f);  // 85 characters of 7 points
}

TEST_F(TopicLayout, TwoIconsBesideOneLineStackBesideTallerText) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "One", Point(1200, 1000), TopicShape::Rectangle);
  a->setStrIcon1("flag-red");
  a->setStrIcon2("idea");
  a->_calcLayout();  // one line, 17 high: side by side, the column (48 x 24) higher than the text
  EXPECT_EQ(a->ptIcon1(), Point(10, 8));
  EXPECT_EQ(a->ptIcon2(), Point(34, 8));
  EXPECT_EQ(a->textBoxRect(), Rect(10 + 48 + 3, 8 + (24 - 17) / 2.0f, 3 * adv(a), 17));
  EXPECT_EQ(a->nodeRect().height(), 24 + 16.0f);

  a->setStrName("One\nTwo");  // 34 high: stacked, the column 48 high
  a->_calcLayout();
  EXPECT_EQ(a->ptIcon1(), Point(10, 8));
  EXPECT_EQ(a->ptIcon2(), Point(10, 32));
  EXPECT_EQ(a->textBoxRect().minX(), 10 + 24 + 3.0f);
  EXPECT_EQ(a->textBoxRect().minY(), 8 + (48 - 34) / 2.0f);

  a->setStrName("1\n2\n3\n4");  // 68 high: stacked about the text's middle
  a->_calcLayout();
  EXPECT_EQ(a->ptIcon1(), Point(10, 8 + 34 - 24));
  EXPECT_EQ(a->ptIcon2(), Point(10, 8 + 34));
  EXPECT_EQ(a->textBoxRect().minY(), 8.0f);
}

TEST_F(TopicLayout, OneIconOnlyTakesOneSlot) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "One", Point(1200, 1000), TopicShape::Rectangle);
  a->setStrIcon2("idea");
  a->_calcLayout();
  EXPECT_EQ(a->ptIcon1(), Point());
  EXPECT_EQ(a->ptIcon2(), Point(10, 8));
  EXPECT_EQ(a->textBoxRect().minX(), 10 + 24 + 3.0f);
}

TEST_F(TopicLayout, OvalPassesThroughTheCornersOfTheTextBox) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "Hello", Point(1200, 1000), TopicShape::Oval);
  a->_calcLayout();
  const float w = 5 * adv(a), h = lineH(a);
  const float bw = w + 12, bh = h + 8;  // the box with the oval's padding
  const float b = bh / 2 + 20;
  const float semiA = (bw / 2) / std::sqrt(1 - std::pow((bh / 2) / b, 2.0f));
  EXPECT_EQ(a->nodeRect(), Rect(0, 0, kit::roundToEvenWhole(2 * semiA), kit::roundToEvenWhole(2 * b)));
  EXPECT_FLOAT_EQ(a->textBoxRect().minX(), 6 + semiA - bw / 2);
  EXPECT_FLOAT_EQ(a->textBoxRect().minY(), 4 + b - bh / 2);
  // The text box lies inside the ellipse.
  Rect n = a->nodeRect(), tb = a->textBoxRect();
  float ex = (tb.maxX() - n.midX()) / (n.width() / 2), ey = (tb.maxY() - n.midY()) / (n.height() / 2);
  EXPECT_LE(ex * ex + ey * ey, 1.0f);
}

TEST_F(TopicLayout, OvalBadgesSitOnTheEllipseBesideTheTextCorners) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "Hello world", Point(1200, 1000), TopicShape::Oval);
  a->setStrNote("n");
  a->setStrLink("http://example.com");
  a->setPercentComplete(50);
  a->setStartDate(kit::Date{0});
  t.doc.showTaskBadge = false;
  a->_calcLayout();
  // Text 77 x 17; box 89 x 25; b = 12.5 + 20 = 32.5, a = 44.5 / sqrt(1 - (12.5 / 32.5)^2)
  // = 48.208; the oval 96.42 x 65 after the 9 margin is (9, 9, 96, 66) and the text box starts
  // at x = 6 + 3.708 + 9.
  EXPECT_EQ(a->nodeRect(), Rect(9, 9, 96, 66));
  EXPECT_FLOAT_EQ(a->textBoxRect().minX(), 18.708333f);
  EXPECT_EQ(a->bounds().size, Size(118, 88));
  // dx = 95.708 - 57 = 38.708 and dy = 33 sqrt(1 - (dx / 48)^2) = 19.514 about the middle
  // (57, 42): progress upper left, start/due lower left, note lower right, link upper right.
  EXPECT_EQ(a->ptProgress(), Point(10, 14));
  EXPECT_EQ(a->ptStartDue(), Point(10, 54));
  EXPECT_EQ(a->ptNote(), Point(88, 54));
  EXPECT_EQ(a->ptLink(), Point(88, 14));
}

TEST_F(TopicLayout, CornerBadgesOfARectangleAndTheirMargin) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "Hello", Point(1200, 1000), TopicShape::Rectangle);
  NodeView* plain = child(t, root, "Hello", Point(1200, 1200), TopicShape::Rectangle);
  a->setStrNote("a note");
  a->setStrLink("www.example.com");
  a->setPercentComplete(25);
  a->setDueDate(kit::Date{86400});
  t.doc.showTaskBadge = false;
  a->_calcLayout();
  plain->_calcLayout();
  const Rect n = a->nodeRect();
  EXPECT_EQ(n.origin, Point(9, 9));
  EXPECT_EQ(n.size, plain->nodeRect().size);
  EXPECT_EQ(a->textBoxRect().origin, Point(19, 17));
  EXPECT_EQ(a->ptProgress(), Point(n.minX() - 4, n.minY() - 4));
  EXPECT_EQ(a->ptStartDue(), Point(n.minX() - 4, n.maxY() - 12));
  EXPECT_EQ(a->ptNote(), Point(n.maxX() - 12, n.maxY() - 12));
  EXPECT_EQ(a->ptLink(), Point(n.maxX() - 12, n.minY() - 4));
  EXPECT_EQ(a->bounds().size, Size(kit::roundToEvenWhole(n.maxX() + 9 + 3), kit::roundToEvenWhole(n.maxY() + 9 + 3)));
  // Without badges nothing moves and the points stay at zero.
  EXPECT_EQ(plain->nodeRect().origin, Point(0, 0));
  EXPECT_EQ(plain->ptNote(), Point());
  EXPECT_EQ(plain->ptLink(), Point());
  EXPECT_EQ(plain->ptProgress(), Point());
  EXPECT_EQ(plain->ptStartDue(), Point());
}

TEST_F(TopicLayout, LineTopicWithNoteAndLinkIs42Wider) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "Hello", Point(1200, 1000), TopicShape::Line);
  NodeView* b = child(t, root, "Hello", Point(1200, 1200), TopicShape::Line);
  b->setStrNote("n");
  b->setStrLink("http://x.org");
  a->_calcLayout();
  b->_calcLayout();
  EXPECT_EQ(b->nodeRect().width(), a->nodeRect().width() + 42);
  // Both badges after the text, the link 21 further.
  const Rect tb = b->textBoxRect();
  EXPECT_EQ(b->ptNote(), Point(kit::roundHalfEven(tb.maxX() + 5), kit::roundHalfEven(tb.midY() - 8)));
  EXPECT_EQ(b->ptLink().x, b->ptNote().x + 21);
}

TEST_F(TopicLayout, RootLineTopicPutsBothBadgesBottomRight) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  root->setShape(TopicShape::Line, false, false);
  root->setStrNote("n");
  root->setStrLink("http://x.org");
  root->_calcLayout();
  const Rect n = root->nodeRect();
  EXPECT_EQ(root->ptLink(), Point(n.maxX() - 16, n.maxY() - 8));
  EXPECT_EQ(root->ptNote(), Point(n.maxX() - 16 - 21, n.maxY() - 8));
}

TEST_F(TopicLayout, LineTopicDisclosureSitsOnItsBottomRightCorner) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "Hello", Point(1200, 1000), TopicShape::Line);
  NodeView* b = child(t, root, "Hello", Point(1200, 1200), TopicShape::Rectangle);
  t.add(a, "x", Point(1400, 1000));
  t.add(b, "x", Point(1400, 1200));
  a->_calcLayout();
  b->_calcLayout();
  // 8.5 from the corner, rounded to whole points (ties to even).
  EXPECT_EQ(a->ptDisclosureIcon(),
            Point(kit::roundHalfEven(a->nodeRect().maxX() - 8.5f), kit::roundHalfEven(a->nodeRect().maxY() - 8.5f)));
  EXPECT_EQ(b->ptDisclosureIcon(), Point(b->nodeRect().maxX(), kit::roundHalfEven(b->nodeRect().midY() - 8.5f)));
  EXPECT_GE(b->bounds().width(), b->ptDisclosureIcon().x + 17 + 3);
}

TEST_F(TopicLayout, CompleteTaskWithDatesOnlyShowsNoTaskBadgeButWithEffortItDoes) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "Task", Point(1200, 1000), TopicShape::RoundedRectangle);
  a->setStartDate(kit::Date{0});
  a->setDueDate(kit::Date{86400 * 3});
  a->setPercentComplete(100);
  a->_calcLayout();
  EXPECT_EQ(a->rcTaskBadge(), Rect());

  a->set_effort("2h");
  a->_calcLayout();
  const Rect badge = a->rcTaskBadge();
  ASSERT_FALSE(badge.isEmpty());
  EXPECT_EQ(badge.minX(), 20.0f);
  EXPECT_EQ(badge.minY(), a->textBoxRect().maxY() + 3);
  // The shape is at least 20 wider than the badge; the bounds hold it.
  EXPECT_GE(a->nodeRect().width(), badge.width() + 20);
  EXPECT_GE(a->bounds().height(), badge.maxY() + 3);

  t.doc.showTaskBadge = false;
  a->_calcLayout();
  EXPECT_EQ(a->rcTaskBadge(), Rect());
}

TEST_F(TopicLayout, WideTaskBadgeWidensTheShapeAndCentresTheText) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "T", Point(1200, 1000), TopicShape::Line);
  a->set_effort("2h");  // "2 Hours": 7 characters of 6 points = 42 wide, badge 54 + 20 = 74
  a->_calcLayout();
  const Rect badge = a->rcTaskBadge();
  EXPECT_EQ(badge.size, Size(42 + 12, 15 + 8));
  const float grown = 74 - (adv(a) + 20);
  EXPECT_EQ(a->textBoxRect().minX(), 10 + grown / 2);
  EXPECT_EQ(a->nodeRect().width(), kit::roundToEvenWhole(74));
  // Below the shape as it was before rounding (8 + 17 + 8 = 33).
  EXPECT_EQ(badge.minY(), a->textBoxRect().maxY() + 8 + 5);
}

TEST_F(TopicLayout, LeftHandTopicsAreTheMirrorImage) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* r = child(t, root, "Mirror me", Point(1300, 1000), TopicShape::Rectangle);
  NodeView* l = child(t, root, "Mirror me", Point(700, 1000), TopicShape::Rectangle);
  for (NodeView* n : {r, l}) {
    n->setStrIcon1("idea");
    n->setStrNote("n");
    n->setStrLink("http://x.org");
    n->setPercentComplete(10);
    n->set_effort("1h");
    t.add(n, "kid", Point(n->center().x * 2 - 1000, 1000));
  }
  r->_calcLayout();
  l->_calcLayout();
  ASSERT_EQ(l->bounds(), r->bounds());
  const float W = r->bounds().width();
  auto flip = [W](const Rect& x) { return Rect(W - (x.minX() + x.width()) - 3, x.minY(), x.width(), x.height()); };
  auto flipPt = [W](Point p, float side) { return Point(W - (p.x + side) - 3, p.y); };
  EXPECT_EQ(l->nodeRect(), flip(r->nodeRect()));
  EXPECT_EQ(l->textBoxRect(), flip(r->textBoxRect()));
  EXPECT_EQ(l->rcTaskBadge(), flip(r->rcTaskBadge()));
  EXPECT_EQ(l->ptIcon1(), flipPt(r->ptIcon1(), 24));
  EXPECT_EQ(l->ptNote(), flipPt(r->ptNote(), 16));
  EXPECT_EQ(l->ptLink(), flipPt(r->ptLink(), 16));
  EXPECT_EQ(l->ptProgress(), flipPt(r->ptProgress(), 16));
  EXPECT_EQ(l->ptDisclosureIcon(), flipPt(r->ptDisclosureIcon(), 17));
  // The disclosure icon faces away from the central topic: on the left edge.
  EXPECT_LT(l->ptDisclosureIcon().x, l->nodeRect().minX());
  EXPECT_GE(r->ptDisclosureIcon().x, r->nodeRect().maxX());
}

TEST_F(TopicLayout, BoundsAreEvenAndCentresStayWholeForAnyMix) {
  std::mt19937 rng(7);
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  for (int i = 0; i < 300; ++i) {
    float x = (rng() % 2) ? 1400.0f : 600.0f;
    NodeView* n = child(t, root, std::string(rng() % 60, 'a' + i % 26), Point(x, float(rng() % 2000)),
                        int(rng() % 5));
    if (rng() % 2) n->setStrNote("n");
    if (rng() % 2) n->setStrLink("http://x.org");
    if (rng() % 3 == 0) n->setPercentComplete(int(rng() % 101));
    if (rng() % 3 == 0) n->set_effort("3h");
    if (rng() % 3 == 0) n->setStrIcon1("idea");
    if (rng() % 3 == 0) n->setStrIcon2("bell");
    if (rng() % 4 == 0) NodeViewLayoutTestAccess::setImageSize(n, Size(float(rng() % 700 + 1), float(rng() % 300 + 1)));
    n->setFontSize(float(rng() % 30 + 8), false, false);
    n->setWidth(float(rng() % 900), false, false);
    if (rng() % 3 == 0) t.add(n, "kid", Point(x + (x > 1000 ? 200 : -200), 0));
  }
  root->recalcLayoutRecursively(true, true, false, false, false);
  for (NodeView* n : root->getListOfDescendents()) {
    const Rect b = n->bounds();
    EXPECT_EQ(b.origin, Point(0, 0));
    EXPECT_TRUE(isEvenWhole(b.width()) && isEvenWhole(b.height())) << b.width() << " x " << b.height();
    EXPECT_TRUE(isEvenWhole(n->nodeRect().width()) && isEvenWhole(n->nodeRect().height()));
    EXPECT_EQ(n->center().x, std::nearbyint(n->center().x));
    EXPECT_EQ(n->center().y, std::nearbyint(n->center().y));
    // Everything lies inside the bounds.
    EXPECT_TRUE(b.contains(n->nodeRect()));
    EXPECT_TRUE(n->rcTaskBadge().isEmpty() || b.contains(n->rcTaskBadge()));
    EXPECT_TRUE(n->needsDisplay());
  }
}

TEST_F(TopicLayout, EditingStateGrowsTheShapeAndPlacesTheEditor) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* r = child(t, root, "Edit\n", Point(1300, 1000), TopicShape::Rectangle);
  NodeView* plainR = child(t, root, "Edit\n", Point(1300, 1400), TopicShape::Rectangle);
  UITextViewEx* editor = NodeViewLayoutTestAccess::openEditor(r, Rect(5, 5, 50, 30));
  r->_calcLayout();
  plainR->_calcLayout();
  const float amp = editor->getSizeOfAvgChar().width;  // the editor's average character, "&"
  ASSERT_GT(amp, 0);
  // The text takes the editor's content height less 14, its trailing empty line included.
  EXPECT_EQ(r->textBoxRect().height(), editor->contentSize().height - 14);
  editor->setText("Edit");
  EXPECT_GT(r->textBoxRect().height(), editor->contentSize().height - 14);
  EXPECT_EQ(plainR->textBoxRect().height(), lineH(r));
  EXPECT_EQ(r->nodeRect().width(), kit::roundToEvenWhole(plainR->textBoxRect().width() + 20 + amp));
  EXPECT_EQ(editor->frame(), Rect(r->textBoxRect().minX() - 8, r->textBoxRect().minY() - 7,
                                  r->textBoxRect().width() + 16 + amp, 900));

  // Left of the central topic the growth lies away from the parent: the text keeps its distance
  // from the parent-facing (right) edge.
  NodeView* l = child(t, root, "Edit\n", Point(700, 1000), TopicShape::Rectangle);
  NodeViewLayoutTestAccess::openEditor(l);
  l->_calcLayout();
  // Before mirroring its text moved right by the average character.
  EXPECT_EQ(l->bounds().width() - 3 - l->textBoxRect().maxX(), r->textBoxRect().minX() + amp);
  EXPECT_EQ(l->nodeRect().size, r->nodeRect().size);

  // An empty topic being edited measures the placeholder, not the image shortcut.
  NodeView* e = child(t, root, "", Point(1300, 1600), TopicShape::Rectangle);
  NodeViewLayoutTestAccess::setImageSize(e, Size(40, 40));
  NodeViewLayoutTestAccess::openEditor(e);
  e->_calcLayout();
  EXPECT_EQ(e->textBoxRect().height(), lineH(e));
  NodeViewLayoutTestAccess::closeEditor(e);
  e->_calcLayout();
  EXPECT_EQ(e->textBoxRect().height(), 1.0f);
}

TEST_F(TopicLayout, EditingTurnsSiblingAndOffspringRealignmentOff) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "A", Point(1200, 1000), TopicShape::Rectangle);
  NodeView* kid = t.add(a, "kid", Point(1400, 1000));
  NodeView* sib = child(t, root, "S", Point(1200, 1060), TopicShape::Rectangle);
  root->recalcLayoutRecursively(true, false, false, false, false);
  NodeViewLayoutTestAccess::openEditor(a);
  a->setStrName(std::string(60, 'w'));
  a->recalcLayoutRecursively(false, false, true, true, true);
  EXPECT_EQ(kid->center(), Point(1400, 1000));
  EXPECT_EQ(sib->center(), Point(1200, 1060));
}

TEST_F(TopicLayout, TextIsMeasuredOnceUntilWhatIsMeasuredChanges) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "Hello", Point(1200, 1000), TopicShape::Rectangle);
  a->_calcLayout();
  int base = FakeMeasurer::calls;
  for (int i = 0; i < 5; ++i) a->_calcLayout();
  a->setIsSelected(true);
  a->moveByX(40, 40, true);
  a->_calcLayout();
  EXPECT_EQ(FakeMeasurer::calls, base);

  a->setStrName("Hello!");
  a->_calcLayout();
  EXPECT_EQ(FakeMeasurer::calls, base + 1);
  a->setFontSize(20, false, false);
  a->_calcLayout();
  EXPECT_EQ(FakeMeasurer::calls, base + 2);
  a->setWidth(100, false, false);
  a->_calcLayout();
  EXPECT_EQ(FakeMeasurer::calls, base + 3);
  a->setTextStyle(TopicTextStyle::Bold, false, false);
  a->_calcLayout();
  EXPECT_EQ(FakeMeasurer::calls, base + 4);
  a->_calcLayout();
  EXPECT_EQ(FakeMeasurer::calls, base + 4);
  EXPECT_EQ(a->textBoxRect().size, FakeMeasurer::measure("Hello!", a->getFont(), Size(100, 500)));
}

TEST_F(TopicLayout, TaskBadgeIsMeasuredAgainOnlyWhenTheTaskChanges) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "Task", Point(1200, 1000), TopicShape::Rectangle);
  a->set_effort("2h");
  a->_calcLayout();
  const int base = FakeMeasurer::calls;
  a->_calcLayout();
  EXPECT_EQ(FakeMeasurer::calls, base);
  a->setDueDate(kit::Date{86400 * 10});
  a->_calcLayout();
  EXPECT_EQ(FakeMeasurer::calls, base + 1);
  const Size withDue = a->rcTaskBadge().size;
  a->set_effort("3h");
  a->_calcLayout();
  EXPECT_EQ(FakeMeasurer::calls, base + 2);
  a->setResources("Ann;Bob", "50");
  a->_calcLayout();
  EXPECT_EQ(FakeMeasurer::calls, base + 3);
  EXPECT_GT(a->rcTaskBadge().height(), withDue.height);  // a third line
  a->_calcLayout();
  EXPECT_EQ(FakeMeasurer::calls, base + 3);
}

TEST_F(TopicLayout, TaskBadgeIsMeasuredAgainForAnotherLocaleOrTimeZone) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "Task", Point(1200, 1000), TopicShape::Rectangle);
  a->setStartDate(kit::Date{86400 * 40});
  a->setDueDate(kit::Date{86400 * 50});
  a->set_effort("2h");
  auto badgeFor = [&](const NodeView* n) {
    Size s = FakeMeasurer::measure(n->getTaskBadgeText(), kit::Font::systemFont(12.0f), Size(160.0f, 60.0f));
    return Size(s.width + 12.0f, s.height + 8.0f);
  };
  kit::ZoneScope utc("UTC");
  kit::LocaleScope english("en_US");
  a->_calcLayout();
  const Size english2 = a->rcTaskBadge().size;
  EXPECT_EQ(english2, badgeFor(a));
  {
    // Longer Russian dates wrap onto a second line, pushing the effort onto a third.
    kit::LocaleScope russian("ru_RU");
    a->_calcLayout();
    EXPECT_EQ(a->rcTaskBadge().size, badgeFor(a)) << a->getTaskBadgeText();
    EXPECT_GT(a->rcTaskBadge().height(), english2.height);
  }
  a->_calcLayout();
  EXPECT_EQ(a->rcTaskBadge().size, english2);
  const int calls = FakeMeasurer::calls;
  kit::ZoneScope tokyo("Asia/Tokyo");
  a->_calcLayout();
  EXPECT_EQ(FakeMeasurer::calls, calls + 1);
}

TEST_F(TopicLayout, TaskBadgeTextLines) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = t.add(root, "Task", Point(1200, 1000));
  a->setStartDate(kit::Date{0});
  a->setDueDate(kit::Date{86400 * 10});
  a->setPercentComplete(100);
  a->set_effort("2h");
  EXPECT_EQ(a->getTaskBadgeText(), "2 Hours");  // a complete task shows no dates
  a->setPercentComplete(50);
  std::string text = a->getTaskBadgeText();
  ASSERT_NE(text.find(" - "), std::string::npos);
  EXPECT_EQ(text.substr(text.find('\n') + 1), "2 Hours");
  a->set_effort(std::nullopt);
  a->setDueDate(std::nullopt);
  EXPECT_EQ(a->getTaskBadgeText().rfind("Start: ", 0), 0u);
  a->setStartDate(std::nullopt);
  a->setResources("Bob;Ann;Cy", "100;40");
  // Loadings go with the names as given (Bob 100, Ann 40), then the list is sorted by name.
  EXPECT_EQ(a->getTaskBadgeText(), "Ann@40%, Bob, Cy");
  EXPECT_TRUE(topic_layout::showsTaskBadge(*a));
}

TEST_F(TopicLayout, WholeTreeRelayoutMeasuresEachTopicOnce) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  for (int i = 0; i < 50; ++i) {
    NodeView* a = t.add(root, "topic " + std::to_string(i), Point(1300, float(i * 50)));
    t.add(a, "sub " + std::to_string(i), Point(1500, float(i * 50)));
  }
  root->recalcLayoutRecursively(true, false, false, false, false);
  EXPECT_EQ(FakeMeasurer::calls, 101);
  root->recalcLayoutRecursively(true, true, false, false, false);
  root->recalcLayoutOfImmediateChildrenWithRedraw(true, false, false, false);
  EXPECT_EQ(FakeMeasurer::calls, 101);
}

TEST_F(TopicLayout, RecursiveLayoutGoesChildrenFirst) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = t.add(root, "A", Point(1300, 1000));
  t.add(a, "B", Point(1500, 1000));
  NodeView* d = t.add(root, "D", Point(1300, 1100));
  // The disclosure icon needs the layout of the parent alone; child-first order is seen through
  // the measured sizes being in place when the parent lays out. Check the order directly.
  std::vector<std::string> order;
  static std::vector<std::string>* sink;
  sink = &order;
  strings::setSizeMeasurerForTesting([](std::string_view text, const kit::Font& f, Size c) {
    sink->emplace_back(text);
    return FakeMeasurer::measure(text, f, c);
  });
  root->recalcLayoutRecursively(true, false, false, false, false);
  EXPECT_EQ(order, (std::vector<std::string>{"B", "A", "D", "C"}));
  (void)d;
}

TEST_F(TopicLayout, GrowingARightHandTopicKeepsItsLeftEdgeAndMovesItsChildren) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "A", Point(1200, 1000), TopicShape::Rectangle);
  NodeView* kid = t.add(a, "kid", Point(1400, 1000));
  root->recalcLayoutRecursively(true, false, false, false, false);
  const Rect before = a->getAdjustedNodeFrame();
  const Rect kidBefore = kid->frame();
  a->setStrName("A much longer text");
  a->recalcLayoutRecursively(false, false, true, false, true);
  const Rect after = a->getAdjustedNodeFrame();
  EXPECT_EQ(after.minX(), before.minX());
  EXPECT_NEAR(after.midY(), before.midY(), 0.5f);
  // The child keeps its distance from the far edge.
  EXPECT_NEAR(kid->frame().minX() - after.maxX(), kidBefore.minX() - before.maxX(), 1.0f);

  NodeView* l = child(t, root, "L", Point(800, 1200), TopicShape::Rectangle);
  l->_calcLayout();
  const Rect lb = l->getAdjustedNodeFrame();
  l->setStrName("Left and longer");
  l->recalcLayoutRecursively(false, false, true, false, true);
  EXPECT_EQ(l->getAdjustedNodeFrame().maxX(), lb.maxX());
}

TEST_F(TopicLayout, GrowingTheCentralTopicBy40MovesEachSideBy20) {
  TreeBuilder t;
  NodeView* root = t.central("abcde", kRoot);
  root->setShape(TopicShape::Rectangle, false, false);
  root->setFontSize(20, false, false);  // 10 points a character
  NodeView* r = t.add(root, "R", Point(1300, 1000));
  NodeView* l = t.add(root, "L", Point(700, 900));
  NodeView* rk = t.add(r, "RK", Point(1500, 1000));
  NodeView* f = t.floating(root, "F", Point(1300, 1300));
  root->recalcLayoutRecursively(true, false, false, false, false);
  ASSERT_EQ(root->getAdjustedNodeFrame().width(), 70.0f);
  root->setStrName("abcdefghi");
  root->recalcLayoutRecursively(false, false, true, true, true);
  ASSERT_EQ(root->getAdjustedNodeFrame().width(), 110.0f);
  EXPECT_EQ(root->center(), kRoot);
  EXPECT_EQ(r->center(), Point(1320, 1000));
  EXPECT_EQ(rk->center(), Point(1520, 1000));
  EXPECT_EQ(l->center(), Point(680, 900));
  EXPECT_EQ(f->center(), Point(1300, 1300));  // floating topics stay
}

TEST_F(TopicLayout, RealignDoesNothingForAnEmptyOrUnchangedFrame) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "A", Point(1200, 1000), TopicShape::Rectangle);
  a->_calcLayout();
  a->realignBasedOnSavedNodeFrame(Rect(), Rect(), true, true);
  EXPECT_EQ(a->center(), Point(1200, 1000));
  a->realignBasedOnSavedNodeFrame(a->getAdjustedNodeFrame(), Rect(), true, true);
  EXPECT_EQ(a->center(), Point(1200, 1000));
}

TEST_F(TopicLayout, DamagedWidthsNeverGiveNegativeOrUnboundedBoxes) {
  TreeBuilder t;
  NodeView* root = t.central("C", kRoot);
  NodeView* a = child(t, root, "Some text here", Point(1200, 1000), TopicShape::Rectangle);
  NodeViewLayoutTestAccess::setImageSize(a, Size(50, 50));
  for (float w : {-50.0f, 0.5f, std::nanf("")}) {
    a->setWidth(w, false, false);
    a->_calcLayout();
    EXPECT_GE(a->imageBoxRect().width(), 0.0f);
    EXPECT_GT(a->textBoxRect().width(), 0.0f);
    EXPECT_TRUE(std::isfinite(a->bounds().width()));
  }
}

}  // namespace
