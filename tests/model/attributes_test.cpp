// Display attribute resolution, the style setters and their reach, colour helpers and the
// resize tool's steps.
#include <gtest/gtest.h>

#include "helpers/global_helpers_colour.h"
#include "kit/typography/font.h"
#include "model/app_services.h"
#include "model/map_theme.h"
#include "model/tree_builder.h"

using kit::Point;

namespace {

struct ThemedDocs : FakeDocumentServices {
  std::unique_ptr<MapTheme> theme;
  MapTheme* getTheme() override { return theme.get(); }
};

// A tree over a controller that may carry a theme.
struct ThemedTree {
  ThemedDocs doc;
  std::unique_ptr<NodeView> root;

  explicit ThemedTree(kit::Dictionary theme = {}) {
    if (!theme.empty()) doc.theme = MapTheme::themeFromDictionary(kit::Value(std::move(theme)));
  }
  NodeView* central(Point at = {0, 0}) {
    root = std::make_unique<NodeView>(nullptr, &doc);
    root->setCenter(at);
    return root.get();
  }
  NodeView* add(NodeView* parent, Point at = {}) {
    auto n = std::make_unique<NodeView>(parent, &doc);
    n->setCenter(at);
    return NodeViewTestAccess::append(parent, std::move(n));
  }
};

class RainbowOn {
 public:
  RainbowOn() { AppServices::setRainbowFlag(true); }
  ~RainbowOn() { AppServices::setRainbowFlag(false); }
};

std::string hex(RGB255 c) { return GlobalHelpers::getColourAsStringWithRGB255(c); }

std::string wheel(Point p, Point about) {
  return hex(RGB255FromUnit(GlobalHelpers::calculateColourWheelColourForPoint(p, about)));
}

kit::Dictionary level(kit::Dictionary d) { return d; }

}  // namespace

// ---- Resolution ----------------------------------------------------------------------------------

TEST(AttributeResolution, ThemeLevelsSupplyColourShapeSizeAndWidth) {
  ThemedTree t({{"level0", level({{"fillColour", "112233"}, {"shape", 1}, {"fontSize", 30}, {"width", 200}})},
                {"level1", level({{"fillColour", "445566"}, {"shape", 2}, {"fontSize", 16}})}});
  NodeView* root = t.central();
  NodeView* a = t.add(root);
  NodeView* a1 = t.add(a);
  root->evaluateDisplayAttributes(true);
  EXPECT_EQ(root->getDisplayColourAsString(), "112233");
  EXPECT_EQ(root->getDisplayShape(), 1);
  EXPECT_EQ(root->getDisplayFontSize(), 30.0f);
  EXPECT_EQ(root->getDisplayWidth(), 200.0f);
  EXPECT_EQ(a->getDisplayColourAsString(), "445566");
  EXPECT_EQ(a->getDisplayShape(), 2);
  EXPECT_EQ(a->getDisplayFontSize(), 16.0f);
  EXPECT_EQ(a->getDisplayWidth(), 300.0f);  // no theme width: the default
  // Level 2 has no entry: colour and shape inherit, the size falls to the default.
  EXPECT_EQ(a1->getDisplayColourAsString(), "445566");
  EXPECT_EQ(a1->getDisplayShape(), 2);
  EXPECT_EQ(a1->getDisplayFontSize(), 14.0f);
}

TEST(AttributeResolution, OwnValuesComeBeforeTheTheme) {
  ThemedTree t({{"level0", level({{"fillColour", "112233"}, {"shape", 1}, {"fontSize", 30}, {"width", 200}})}});
  NodeView* root = t.central();
  root->setColourWithRGB255(RGB255{1, 2, 3}, false, false);
  root->setShape(TopicShape::Line, false, false);
  root->setFontSize(22, false, false);
  root->setWidth(150, false, false);
  EXPECT_EQ(root->getDisplayColourAsString(), "010203");
  EXPECT_EQ(root->getDisplayShape(), TopicShape::Line);
  EXPECT_EQ(root->getDisplayFontSize(), 22.0f);
  EXPECT_EQ(root->getDisplayWidth(), 150.0f);
  // Clearing the own values brings the theme back.
  root->setColourWithRGB255(kUnsetColour, false, false);
  root->setShape(TopicShape::Unset, false, false);
  root->setFontSize(0, false, false);
  root->setWidth(0, false, false);
  EXPECT_EQ(root->getDisplayColourAsString(), "112233");
  EXPECT_EQ(root->getDisplayShape(), 1);
  EXPECT_EQ(root->getDisplayFontSize(), 30.0f);
  EXPECT_EQ(root->getDisplayWidth(), 200.0f);
}

TEST(AttributeResolution, WhiteThemeFillFallsToTheLineColourThenStaysUnset) {
  ThemedTree t({{"level0", level({{"fillColour", "FFFFFF"}, {"lineColour", "00AA00"}})},
                {"level1", level({{"fillColour", "FFFFFF"}, {"lineColour", "FFFFFF"}})}});
  t.doc.inheritColour = false;
  NodeView* root = t.central();
  NodeView* a = t.add(root);
  root->evaluateDisplayAttributes(true);
  EXPECT_EQ(root->getDisplayColourAsString(), "00AA00");
  EXPECT_TRUE(RGB255IsDefault(a->getDisplayColour()));
  // With inheritance on, the parent's colour fills the gap.
  t.doc.inheritColour = true;
  a->evaluateDisplayColourForBranch();
  EXPECT_EQ(a->getDisplayColourAsString(), "00AA00");
}

TEST(AttributeResolution, ShapeInheritanceAndDefaults) {
  ThemedTree t({{"level0", level({{"fillColour", ""}})}});  // no shapes anywhere
  NodeView* root = t.central();
  NodeView* a = t.add(root);
  NodeView* f = t.add(root);
  f->setIsFloating(true, false);
  root->setShape(TopicShape::Rectangle, false, false);
  root->evaluateDisplayAttributes(true);
  EXPECT_EQ(a->getDisplayShape(), TopicShape::Rectangle);  // inherited
  EXPECT_EQ(f->getDisplayShape(), TopicShape::Oval);        // a floating topic is a root
  t.doc.inheritShape = false;
  a->evaluateDisplayShapeForBranch();
  EXPECT_EQ(a->getDisplayShape(), TopicShape::RoundedRectangle);
  // Without a theme every theme answer is 0, so nothing reaches the parent.
  ThemedTree bare;
  NodeView* r2 = bare.central();
  r2->setShape(TopicShape::Rectangle, false, false);
  NodeView* b = bare.add(r2);
  b->evaluateDisplayShapeForBranch();
  EXPECT_EQ(b->getDisplayShape(), 0);
}

TEST(AttributeResolution, ARootWithAnImageShowsTheLineShape) {
  ThemedTree t({{"level0", level({{"shape", 2}})}});
  NodeView* root = t.central();
  root->set_uuidImage(std::string("ASSET"));
  root->evaluateDisplayShapeForBranch();
  EXPECT_EQ(root->getDisplayShape(), TopicShape::Line);
  root->setShape(TopicShape::Rectangle, false, false);
  EXPECT_EQ(root->getDisplayShape(), TopicShape::Rectangle);
}

TEST(AttributeResolution, RainbowComesBeforeTheThemeForNonRoots) {
  ThemedTree t({{"level0", level({{"fillColour", "112233"}})}, {"level1", level({{"fillColour", "445566"}})}});
  NodeView* root = t.central({1000, 1000});
  NodeView* up = t.add(root, {1000, 800});
  NodeView* left = t.add(root, {800, 1000});
  NodeView* grandchild = t.add(up, {1000, 600});
  NodeView* fl = t.add(root, {3000, 3000});
  fl->setIsFloating(true, false);
  NodeView* flChild = t.add(fl, {3000, 3300});
  RainbowOn on;
  root->evaluateDisplayAttributes(true);
  EXPECT_EQ(root->getDisplayColourAsString(), "112233");  // roots keep the theme
  EXPECT_EQ(up->getDisplayColourAsString(), wheel(up->center(), root->center()));
  EXPECT_EQ(left->getDisplayColourAsString(), wheel(left->center(), root->center()));
  EXPECT_NE(up->getDisplayColourAsString(), left->getDisplayColourAsString());
  EXPECT_EQ(grandchild->getDisplayColourAsString(), up->getDisplayColourAsString());
  EXPECT_EQ(fl->getDisplayColourAsString(), "112233");
  EXPECT_EQ(flChild->getDisplayColourAsString(), wheel(flChild->center(), fl->center()));
  // An own colour still wins.
  up->setColourWithRGB255(RGB255{9, 9, 9}, false, false);
  EXPECT_EQ(up->getDisplayColourAsString(), "090909");
  EXPECT_EQ(grandchild->getDisplayColourAsString(), "090909");
}

TEST(AttributeResolution, TallyBitsOnlyForChangedDisplayValues) {
  ThemedTree t;
  NodeView* root = t.central();
  root->setNodeModTally(0);
  root->evaluateDisplayAttributes(false);
  EXPECT_EQ(root->nodeModTally(), 0u);
  root->setColourWithRGB255(RGB255{10, 0, 0}, false, false);
  EXPECT_EQ(root->nodeModTally(), NodeModTally::Colour);
  root->setNodeModTally(0);
  root->setShape(TopicShape::Rectangle, false, false);
  root->setFontSize(20, false, false);
  root->setWidth(100, false, false);
  EXPECT_EQ(root->nodeModTally(), NodeModTally::Shape | NodeModTally::FontSize | NodeModTally::Width);
  root->setNodeModTally(0);
  root->setTextStyle(TopicTextStyle::Italic, false, false);
  EXPECT_EQ(root->nodeModTally(), NodeModTally::TextStyle);
  // An own value that resolves to the same display value sets nothing.
  root->setNodeModTally(0);
  root->setFontSize(20, false, false);
  EXPECT_EQ(root->nodeModTally(), 0u);
}

TEST(AttributeResolution, CachedFillIsAPaleVersionOfTheDisplayColour) {
  ThemedTree t;
  NodeView* root = t.central();
  root->setColourWithRGB255(RGB255{255, 0, 0}, false, false);
  RGB1 fill = root->getCachedFillColour();
  EXPECT_FLOAT_EQ(fill.r, 1.0f);
  EXPECT_NEAR(fill.g, 0.7f, 1e-5);
  EXPECT_NEAR(fill.b, 0.7f, 1e-5);
  // A dark colour is lifted to a value of 0.6.
  root->setColourWithRGB255(RGB255{0, 0, 0}, false, false);
  fill = root->getCachedFillColour();
  EXPECT_NEAR(fill.r, 0.6f, 1e-5);
  EXPECT_NEAR(fill.b, 0.6f, 1e-5);
  // Colours met again, or shown by the parent too, still give each topic its own colour's fill.
  NodeView* child = t.add(root);
  child->setColourWithRGB255(RGB255{0, 0, 0}, false, false);
  EXPECT_NEAR(child->getCachedFillColour().g, 0.6f, 1e-5);
  child->setColourWithRGB255(RGB255{255, 0, 0}, false, false);
  EXPECT_NEAR(child->getCachedFillColour().g, 0.7f, 1e-5);
  root->setColourWithRGB255(RGB255{0, 0, 255}, false, false);
  EXPECT_NEAR(root->getCachedFillColour().r, 0.7f, 1e-5);
  EXPECT_FLOAT_EQ(root->getCachedFillColour().b, 1.0f);
  child->setColourWithRGB255(RGB255{0, 0, 255}, false, false);
  EXPECT_NEAR(child->getCachedFillColour().g, 0.7f, 1e-5);
  EXPECT_FLOAT_EQ(child->getCachedFillColour().b, 1.0f);
}

// ---- Setters ---------------------------------------------------------------------------------------

TEST(AttributeSetters, ApplyToChildrenSkipsCalloutAndFloatingBranches) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* a1 = t.add(a, "A1");
  NodeView* c = t.callout(a, "C");
  NodeView* c1 = t.add(c, "C1");
  NodeView* f = t.floating(a, "F");
  a->setShape(TopicShape::Rectangle, true, true);
  a->setFontSize(20, true, false);
  a->setWidth(120, true, false);
  a->setTextStyle(TopicTextStyle::Bold, true, false);
  for (NodeView* n : {a, a1}) {
    EXPECT_EQ(n->getShape(), TopicShape::Rectangle);
    EXPECT_EQ(n->getFontSize(), 20.0f);
    EXPECT_EQ(n->getWidth(), 120.0f);
    EXPECT_EQ(n->getTextStyle(), TopicTextStyle::Bold);
  }
  for (NodeView* n : {c, c1, f}) {
    EXPECT_EQ(n->getShape(), TopicShape::Unset);
    EXPECT_EQ(n->getFontSize(), 0.0f);
    EXPECT_EQ(n->getTextStyle(), 0u);
  }
  // Two records (a, a1), old shape 99, in pre-order.
  ASSERT_EQ(t.doc.records.size(), 2u);
  EXPECT_EQ(t.doc.records[0].details["uuid"].string(), a->uuid());
  EXPECT_EQ(t.doc.records[1].details["uuid"].string(), a1->uuid());
  EXPECT_EQ(t.doc.records[1].details["shape"].intValue(), 99);
}

TEST(AttributeSetters, SkippedCalloutsStillReevaluateAndInherit) {
  ThemedTree t({{"level0", level({{"shape", 2}})}});  // deeper levels have no shape
  NodeView* root = t.central();
  NodeView* a = t.add(root);
  NodeView* c = t.add(a);
  c->setIsCallout(true, false);
  root->evaluateDisplayAttributes(true);
  EXPECT_EQ(c->getDisplayShape(), TopicShape::Oval);  // inherited down from the root
  a->setShape(TopicShape::Rectangle, true, false);
  EXPECT_EQ(c->getShape(), TopicShape::Unset);
  EXPECT_EQ(c->getDisplayShape(), TopicShape::Rectangle);
  EXPECT_NE(c->nodeModTally() & NodeModTally::Shape, 0u);
}

TEST(AttributeSetters, ChildrenOnlyVariantsLeaveTheTopicAlone) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* b = t.add(root, "B");
  NodeView* b1 = t.add(b, "B1");
  NodeView* c = t.callout(root, "C");
  root->setColourForChildrenWithRGB255(RGB255{1, 2, 3}, false, true);
  EXPECT_EQ(root->getColourAsString(), "0000FE");
  EXPECT_EQ(a->getColourAsString(), "010203");
  EXPECT_EQ(b->getColourAsString(), "010203");
  EXPECT_EQ(b1->getColourAsString(), "0000FE");  // not the descendants
  EXPECT_EQ(c->getColourAsString(), "0000FE");
  EXPECT_EQ(t.doc.records.size(), 2u);
  root->setShapeForChildren(TopicShape::Line, true, false);
  root->setFontSizeForChildren(40, true, false);
  root->setWidthForChildren(90, true, false);
  root->setTextStyleForChildren(TopicTextStyle::Italic, true, false);
  EXPECT_EQ(root->getShape(), TopicShape::Unset);
  EXPECT_EQ(b1->getShape(), TopicShape::Line);
  EXPECT_EQ(b1->getFontSize(), 40.0f);
  EXPECT_EQ(b1->getWidth(), 90.0f);
  EXPECT_EQ(b1->getTextStyle(), TopicTextStyle::Italic);
  EXPECT_EQ(c->getShape(), TopicShape::Unset);
  EXPECT_EQ(root->getTextStyle(), 0u);
}

TEST(AttributeSetters, RecordsHoldTheOldOwnValues) {
  TreeBuilder t;
  NodeView* root = t.central();
  root->setFontSize(20, false, true);
  root->setFontSize(30, false, true);
  root->setWidth(150, false, true);
  root->pushFontSizeUndo();
  root->pushWidthUndo();
  ASSERT_EQ(t.doc.records.size(), 5u);
  EXPECT_EQ(t.doc.records[0].action, "topic-font");
  EXPECT_EQ(t.doc.records[0].details["size"].floatValue(), 0.0f);
  EXPECT_EQ(t.doc.records[1].details["size"].floatValue(), 20.0f);
  EXPECT_EQ(t.doc.records[2].action, "topic-width");
  EXPECT_EQ(t.doc.records[2].details["size"].floatValue(), 0.0f);
  EXPECT_EQ(t.doc.records[3].details["size"].floatValue(), 30.0f);
  EXPECT_EQ(t.doc.records[4].details["size"].floatValue(), 150.0f);
  EXPECT_EQ(root->getFontSize(), 30.0f);  // the record alone changes nothing
}

TEST(AttributeSetters, CopyShapeFromAnotherTopic) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  root->setShape(TopicShape::Rectangle, false, false);
  a->copyShapeFrom(root, false, true);
  EXPECT_EQ(a->getShape(), TopicShape::Rectangle);
  ASSERT_EQ(t.doc.records.size(), 1u);
  a->copyShapeFrom(nullptr, false, true);
  EXPECT_EQ(a->getShape(), TopicShape::Rectangle);
  EXPECT_EQ(t.doc.records.size(), 1u);
}

TEST(AttributeSetters, DisplayColourOnlyWhereNoOwnColourOnEveryBranch) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* b = t.add(root, "B");
  NodeView* c = t.callout(root, "C");
  NodeView* f = t.floating(root, "F");
  NodeView* fk = t.add(f, "FK");
  NodeView* bk = t.add(b, "BK");
  b->setColourWithRGB255(RGB255{5, 5, 5}, false, false);
  a->setDisplayColourWithRGB255(RGB255{1, 2, 3}, false);
  EXPECT_EQ(a->getDisplayColourAsString(), "010203");
  EXPECT_EQ(root->getDisplayColourAsString(), "000000");  // alone: the branch is left alone
  root->setDisplayColourWithRGB255(RGB255{200, 100, 50}, true);
  EXPECT_EQ(root->getDisplayColourAsString(), "C86432");
  EXPECT_EQ(a->getDisplayColourAsString(), "C86432");
  EXPECT_EQ(b->getDisplayColourAsString(), "050505");
  // Below an own colour, and through callouts and floating topics, every child's branch.
  EXPECT_EQ(bk->getDisplayColourAsString(), "C86432");
  EXPECT_EQ(c->getDisplayColourAsString(), "C86432");
  EXPECT_EQ(f->getDisplayColourAsString(), "C86432");
  EXPECT_EQ(fk->getDisplayColourAsString(), "C86432");
  EXPECT_EQ(a->getColourAsString(), "0000FE");
  EXPECT_TRUE(t.doc.records.empty());
}

TEST(AttributeSetters, ABranchThousandsDeepTakesAStyle) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* n = root;
  for (int i = 0; i < 50000; ++i) n = t.add(n, "x");
  root->setShape(TopicShape::Rectangle, true, false);
  root->setTextStyle(TopicTextStyle::Bold, true, false);
  EXPECT_EQ(n->getShape(), TopicShape::Rectangle);
  EXPECT_EQ(n->getTextStyle(), TopicTextStyle::Bold);
}

// ---- Colour text and numbers -----------------------------------------------------------------

TEST(AttributeColours, StringsAndIntegers) {
  TreeBuilder t;
  NodeView* root = t.central();
  root->setColourFromString("#FF8000");
  EXPECT_EQ(root->getColourAsString(), "FF8000");
  EXPECT_EQ(root->getColourAsInteger(), 0xFFFF8000u);
  root->setColourFromString("");  // nothing
  EXPECT_EQ(root->getColourAsString(), "FF8000");
  root->setColourFromString("nonsense");
  EXPECT_EQ(root->getColourAsString(), "0000FE");
  root->setColourFromInteger(0xFF102030u);
  EXPECT_EQ(root->getColourAsString(), "102030");
  EXPECT_EQ(root->getDisplayColourAsInteger(), 0xFF102030u);
  root->setColourFromInteger(0x80102030u);  // only an opaque alpha reads
  EXPECT_EQ(root->getColourAsString(), "0000FE");
  EXPECT_TRUE(t.doc.records.empty());
}

TEST(AttributeColours, ColourSetsOfABranch) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  NodeView* b = t.add(a, "B");
  NodeView* c = t.callout(root, "C");
  root->setColourWithRGB255(RGB255{255, 0, 0}, false, false);  // a standard colour
  a->setColourWithRGB255(RGB255{1, 2, 3}, false, false);
  c->setColourWithRGB255(RGB255{4, 5, 6}, false, false);
  EXPECT_EQ(root->buildColourSet(), (std::set<std::string>{"010203", "040506"}));
  EXPECT_EQ(b->buildColourSet(), std::set<std::string>{});
  // Hidden branches leave the display set when asked.
  a->setAlpha(0.5f);
  EXPECT_EQ(root->buildDisplayColourSet(true), (std::set<std::string>{"FF0000", "040506"}));
  EXPECT_EQ(root->buildDisplayColourSet(false), (std::set<std::string>{"FF0000", "010203", "000000", "040506"}));
}

// ---- Fonts and the resize tool -------------------------------------------------------------------

TEST(AttributeFont, StyleBitsPickTheFace) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  kit::Font plain = a->getFont();
  EXPECT_EQ(plain.pointSize(), 14.0f);
  EXPECT_FALSE(plain.isBold());
  a->setTextStyle(TopicTextStyle::Bold | TopicTextStyle::Italic, false, false);
  kit::Font both = a->getFont();
  EXPECT_TRUE(both.isBold());
  EXPECT_TRUE(both.isItalic());
  a->setTextStyle(TopicTextStyle::Italic, false, false);
  EXPECT_FALSE(a->getFont().isBold());
  EXPECT_TRUE(a->getFont().isItalic());
  // Before the first evaluation (display size 0) the defaults apply.
  root->setDisplayFontSize(0);
  a->setDisplayFontSize(0);
  EXPECT_EQ(root->getFont().pointSize(), 18.0f);
  EXPECT_EQ(a->getFont().pointSize(), 14.0f);
}

TEST(AttributeResize, FontSizeStepsAreEvenAndClamped) {
  TreeBuilder t;
  NodeView* root = t.central();
  NodeView* a = t.add(root, "A");
  a->adjustFontSizeBy(1);  // 14 + 1 = 15, raised to 16
  EXPECT_EQ(a->getFontSize(), 16.0f);
  a->setFontSize(99, false, false);
  a->adjustFontSizeBy(5);
  EXPECT_EQ(a->getFontSize(), 100.0f);
  a->setFontSize(12, false, false);
  a->adjustFontSizeBy(-10);
  EXPECT_EQ(a->getFontSize(), 10.0f);
  a->setFontSize(14, false, false);
  a->adjustFontSizeBy(0.5f);  // 14.5 rounds away from zero to 15, raised to 16
  EXPECT_EQ(a->getFontSize(), 16.0f);
  EXPECT_TRUE(t.doc.records.empty());
}

TEST(AttributeResize, WidthFollowsTheTextBoxAndNeverGoesBelowTwenty) {
  TreeBuilder t;
  NodeView* root = t.central();
  root->_calcLayout();
  root->beginAdjustWidth();
  EXPECT_TRUE(root->beingResized());
  EXPECT_EQ(root->getWidth(), root->textBoxRect().width());
  root->adjustWidthBy(-1000);
  EXPECT_EQ(root->getWidth(), 20.0f);
  root->adjustWidthBy(30);
  EXPECT_EQ(root->getWidth(), 50.0f);
  root->endAdjustWidth();
  EXPECT_FALSE(root->beingResized());
  EXPECT_TRUE(t.doc.records.empty());
}
