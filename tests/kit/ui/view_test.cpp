#include "kit/ui/view.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using kit::AffineTransform;
using kit::Point;
using kit::Rect;
using kit::View;

namespace {

std::vector<View*> order(const View& v) { return v.subviews(); }

// A view whose touch area reaches 30 points beyond its right edge.
class WideTouchView : public View {
 public:
  using View::View;
  bool pointInside(Point p) const override {
    return View::pointInside(p) || Rect(bounds().maxX(), 0, 30, bounds().height()).contains(p);
  }
};

}  // namespace

TEST(ViewGeometry, FrameFollowsCentreAndBounds) {
  View v(Rect(10, 20, 100, 50));
  EXPECT_EQ(v.center(), Point(60, 45));
  EXPECT_EQ(v.bounds(), Rect(0, 0, 100, 50));
  v.setCenter(Point(0, 0));
  EXPECT_EQ(v.frame(), Rect(-50, -25, 100, 50));
}

TEST(ViewGeometry, SetBoundsKeepsTheCentre) {
  View v(Rect(0, 0, 10, 10));
  v.setCenter(Point(200, 300));
  v.setBounds(Rect(0, 0, 120, 40));
  EXPECT_EQ(v.center(), Point(200, 300));
  EXPECT_EQ(v.frame(), Rect(140, 280, 120, 40));
}

TEST(ViewGeometry, TransformScalesAboutTheCentre) {
  View v(Rect(0, 0, 100, 40));
  v.setTransform(AffineTransform::scale(1.2f, 1.2f));
  Rect f = v.frame();
  EXPECT_FLOAT_EQ(f.midX(), 50);
  EXPECT_FLOAT_EQ(f.midY(), 20);
  EXPECT_FLOAT_EQ(f.width(), 120);
  EXPECT_FLOAT_EQ(f.height(), 48);
  // The model geometry is untouched.
  EXPECT_EQ(v.bounds(), Rect(0, 0, 100, 40));
}

TEST(ViewHierarchy, AddRemoveAndOrder) {
  View parent(Rect(0, 0, 100, 100));
  View a, b, c;
  parent.addSubview(&a);
  parent.addSubview(&b);
  parent.addSubview(&c);
  EXPECT_EQ(order(parent), (std::vector<View*>{&a, &b, &c}));
  parent.bringSubviewToFront(&a);
  EXPECT_EQ(order(parent), (std::vector<View*>{&b, &c, &a}));
  parent.insertSubview(&a, 1);
  EXPECT_EQ(order(parent), (std::vector<View*>{&b, &a, &c}));
  parent.insertSubview(&b, 99);
  EXPECT_EQ(order(parent), (std::vector<View*>{&a, &c, &b}));
  c.removeFromSuperview();
  EXPECT_EQ(c.superview(), nullptr);
  EXPECT_EQ(order(parent), (std::vector<View*>{&a, &b}));
  EXPECT_EQ(parent.subviewCount(), 2u);
}

TEST(ViewHierarchy, AddingToAnotherParentMovesTheView) {
  View p1, p2, child;
  p1.addSubview(&child);
  p2.addSubview(&child);
  EXPECT_EQ(p1.subviewCount(), 0u);
  EXPECT_EQ(child.superview(), &p2);
  p2.addSubview(&p2);  // never its own subview
  EXPECT_EQ(p2.subviewCount(), 1u);
}

TEST(ViewHierarchy, DestroyingAViewLeavesNoDanglingLinks) {
  View parent;
  View keep;
  auto child = std::make_unique<View>();
  auto grandchildOwner = std::make_unique<View>();
  parent.addSubview(&keep);
  parent.addSubview(child.get());
  child->addSubview(grandchildOwner.get());
  child.reset();
  EXPECT_EQ(order(parent), std::vector<View*>{&keep});
  EXPECT_EQ(grandchildOwner->superview(), nullptr);
  // A destroyed superview is gone from under its former subview, which can be re-added.
  parent.addSubview(grandchildOwner.get());
  EXPECT_EQ(parent.subviewCount(), 2u);
}

TEST(ViewHierarchy, ManySiblingsRemoveInAnyOrder) {
  View parent;
  std::vector<std::unique_ptr<View>> kids;
  for (int i = 0; i < 20000; ++i) {
    kids.push_back(std::make_unique<View>());
    parent.addSubview(kids.back().get());
  }
  for (std::size_t i = 0; i < kids.size(); i += 2) kids[i].reset();
  EXPECT_EQ(parent.subviewCount(), 10000u);
  auto subs = parent.subviews();
  ASSERT_EQ(subs.size(), 10000u);
  EXPECT_EQ(subs.front(), kids[1].get());
  EXPECT_EQ(subs.back(), kids.back().get());
}

TEST(ViewConversion, ThroughCentresBoundsOriginsAndTransforms) {
  View root(Rect(0, 0, 1000, 1000));
  View mid(Rect(100, 100, 400, 400));
  View leaf(Rect(10, 20, 50, 50));
  root.addSubview(&mid);
  mid.addSubview(&leaf);
  EXPECT_EQ(leaf.convertPointToView(Point(0, 0), &root), Point(110, 120));
  EXPECT_EQ(leaf.convertPointToView(Point(0, 0), nullptr), Point(110, 120));
  EXPECT_EQ(root.convertPointToView(Point(110, 120), &leaf), Point(0, 0));
  EXPECT_EQ(leaf.convertPointFromView(Point(110, 120), &root), Point(0, 0));

  // A scrolled superview (bounds origin = content offset).
  mid.setBounds(Rect(30, 40, 400, 400));
  EXPECT_EQ(leaf.convertPointToView(Point(0, 0), &root), Point(80, 80));

  // A zoomed superview: scale 2 about its centre (300, 300).
  mid.setBounds(Rect(0, 0, 400, 400));
  mid.setTransform(AffineTransform::scale(2, 2));
  Point p = leaf.convertPointToView(Point(0, 0), &root);
  EXPECT_FLOAT_EQ(p.x, 300 + 2 * (10 - 200));
  EXPECT_FLOAT_EQ(p.y, 300 + 2 * (20 - 200));
  Point back = root.convertPointToView(p, &leaf);
  EXPECT_NEAR(back.x, 0, 1e-4);
  EXPECT_NEAR(back.y, 0, 1e-4);

  Rect r = leaf.convertRectToView(Rect(0, 0, 10, 10), &root);
  EXPECT_FLOAT_EQ(r.width(), 20);
  EXPECT_FLOAT_EQ(r.height(), 20);
}

TEST(ViewConversion, BetweenSiblingBranches) {
  View root(Rect(0, 0, 500, 500));
  View a(Rect(100, 0, 100, 100)), b(Rect(0, 200, 100, 100));
  root.addSubview(&a);
  root.addSubview(&b);
  EXPECT_EQ(a.convertPointToView(Point(5, 5), &b), Point(105, -195));
  EXPECT_EQ(b.convertPointFromView(Point(5, 5), &a), Point(105, -195));
}

TEST(ViewHitTest, FrontToBackAndSkipsInvisibleOrInert) {
  View root(Rect(0, 0, 200, 200));
  View back(Rect(0, 0, 100, 100)), front(Rect(50, 50, 100, 100));
  root.addSubview(&back);
  root.addSubview(&front);
  EXPECT_EQ(root.hitTest(Point(75, 75)), &front);
  EXPECT_EQ(root.hitTest(Point(25, 25)), &back);
  EXPECT_EQ(root.hitTest(Point(190, 10)), &root);
  EXPECT_EQ(root.hitTest(Point(250, 10)), nullptr);

  front.setAlpha(0.005f);
  EXPECT_EQ(root.hitTest(Point(75, 75)), &back);
  front.setAlpha(0.01f);
  EXPECT_EQ(root.hitTest(Point(75, 75)), &front);
  front.setHidden(true);
  EXPECT_EQ(root.hitTest(Point(75, 75)), &back);
  front.setHidden(false);
  front.setUserInteractionEnabled(false);
  EXPECT_EQ(root.hitTest(Point(75, 75)), &back);
}

TEST(ViewHitTest, MaxEdgesAreOutside) {
  View root(Rect(0, 0, 200, 200));
  View v(Rect(0, 0, 100, 100));
  root.addSubview(&v);
  EXPECT_EQ(root.hitTest(Point(99.9f, 0)), &v);
  EXPECT_EQ(root.hitTest(Point(100, 0)), &root);
}

TEST(ViewHitTest, OverriddenPointInsideReachesBeyondBounds) {
  View root(Rect(0, 0, 400, 400));
  WideTouchView v(Rect(100, 100, 50, 50));
  root.addSubview(&v);
  EXPECT_EQ(root.hitTest(Point(170, 120)), &v);
  EXPECT_EQ(root.hitTest(Point(190, 120)), &root);
}

TEST(ViewDisplay, DirtyRectAccumulatesUntilCleared) {
  View v(Rect(0, 0, 100, 100));
  EXPECT_FALSE(v.needsDisplay());
  EXPECT_TRUE(v.dirtyRect().isNull());
  v.setNeedsDisplayInRect(Rect(0, 0, 10, 10));
  v.setNeedsDisplayInRect(Rect(50, 50, 10, 10));
  EXPECT_TRUE(v.needsDisplay());
  EXPECT_EQ(v.dirtyRect(), Rect(0, 0, 60, 60));
  v.clearNeedsDisplay();
  v.setNeedsDisplay();
  EXPECT_EQ(v.dirtyRect(), Rect(0, 0, 100, 100));
}

TEST(ViewObservers, FireAfterEverySetterEvenWhenUnchangedAndCanBeRemoved) {
  View v(Rect(0, 0, 10, 10));
  int owner = 0;
  std::vector<std::string> seen;
  std::vector<Point> centres;
  v.addObserver(&owner, "center", [&](View& view, std::string_view key) {
    seen.emplace_back(key);
    centres.push_back(view.center());
  });
  v.addObserver(&owner, "bounds", [&](View&, std::string_view key) { seen.emplace_back(key); });
  v.setCenter(Point(3, 4));
  v.setCenter(Point(3, 4));
  v.setBounds(v.bounds());
  EXPECT_EQ(seen, (std::vector<std::string>{"center", "center", "bounds"}));
  EXPECT_EQ(centres.back(), Point(3, 4));  // the new value is visible to the observer
  EXPECT_TRUE(v.hasObserver(&owner, "center"));
  v.removeObserver(&owner, "center");
  v.setCenter(Point(5, 5));
  EXPECT_EQ(seen.size(), 3u);
  v.removeObserver(&owner);
  v.setBounds(Rect(0, 0, 2, 2));
  EXPECT_EQ(seen.size(), 3u);
}

TEST(ViewObservers, AnObserverMayRemoveItselfWhileCalled) {
  View v;
  int owner = 0;
  int calls = 0;
  v.addObserver(&owner, "center", [&](View& view, std::string_view) {
    ++calls;
    view.removeObserver(&owner);
  });
  v.setCenter(Point(1, 1));
  v.setCenter(Point(2, 2));
  EXPECT_EQ(calls, 1);
}
