// Topic drawing checked by pixels at known points: shapes, fills and outlines, selection, text,
// badges, the task badge, the disclosure icon, dimming in exports, branch walks and PDF links.
// Also writes styled_topics.png (a sheet of styled topics) beside the test program, in the build
// tree.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "helpers/global_helpers_colour.h"
#include "kit/graphics/image_context.h"
#include "kit/graphics/pdf_context.h"
#include "model/app_services.h"
#include "model/layout_support.h"

using kit::Point;
using kit::Rect;
using kit::Size;

namespace {

// Icon names stand for icons/<name>.png, as the application's table says for the native format.
class TestIconTable : public AppServices::IconTable {
 public:
  std::optional<std::string> getExportIconFromName(std::string_view name, int forFormat) const override {
    if (forFormat != 3) return std::nullopt;
    return "icons/" + std::string(name) + ".png";
  }
  std::optional<std::string> getNativeIconGivenName(std::string_view name, int) const override {
    return std::string(name);
  }
};

class TopicDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    AppServices::setDropShadowFlag(false);
    AppServices::setCurrentCanvasStyle(0);
    AppServices::setCentreJustificationFlag(false);
    AppServices::installIconTable(&icons_);
  }
  void TearDown() override {
    AppServices::installIconTable(nullptr);
    AppServices::setDropShadowFlag(false);
    AppServices::setCurrentCanvasStyle(0);
  }

  NodeView* topic(const std::string& text, Point at, std::int32_t shape, RGB255 colour = RGB255{0, 128, 255}) {
    if (!t_.root) t_.central("Central", Point(1000, 1000));
    NodeView* n = t_.add(t_.root.get(), text, at);
    n->setShape(shape, false, false);
    n->setColourWithRGB255(colour, false, false);
    n->_calcLayout();
    return n;
  }

  static kit::ImageRef draw(NodeView* n, int type) {
    auto ic = kit::ImageContext::create(n->bounds().size);
    if (!ic) return nullptr;
    n->drawColourNode(n->bounds(), ic->context(), type);
    return ic->image();
  }

  static kit::Pixel px(const kit::ImageRef& img, float x, float y) {
    auto p = img->pixelAt(int(x), int(y));
    return p ? *p : kit::Pixel{};
  }

  static bool near(kit::Pixel p, RGB1 c, int alpha, int tol = 3) {
    return std::abs(p.red - int(std::lround(c.r * 255))) <= tol && std::abs(p.green - int(std::lround(c.g * 255))) <= tol &&
           std::abs(p.blue - int(std::lround(c.b * 255))) <= tol && std::abs(p.alpha - alpha) <= tol;
  }

  // Pixels in r that are not fully transparent.
  static int inked(const kit::ImageRef& img, const Rect& r) {
    int n = 0;
    for (int y = int(r.minY()); y < int(r.maxY()); ++y)
      for (int x = int(r.minX()); x < int(r.maxX()); ++x)
        if (auto p = img->pixelAt(x, y); p && p->alpha > 0) ++n;
    return n;
  }

  static int differing(const kit::ImageRef& a, const kit::ImageRef& b, const Rect& r) {
    int n = 0;
    for (int y = int(r.minY()); y < int(r.maxY()); ++y)
      for (int x = int(r.minX()); x < int(r.maxX()); ++x)
        if (a->pixelAt(x, y) != b->pixelAt(x, y)) ++n;
    return n;
  }

  // A point inside the shape's padding on the left, clear of the text.
  static Point padPoint(const NodeView* n) { return Point(n->nodeRect().minX() + 5, n->nodeRect().midY()); }

  TreeBuilder t_;
  TestIconTable icons_;
};

TEST_F(TopicDrawing, RectangleFillsItsShapeWithTheCachedFill) {
  NodeView* n = topic("Fill", Point(1300, 1000), TopicShape::Rectangle);
  auto img = draw(n, 0);
  ASSERT_TRUE(img);
  EXPECT_TRUE(near(px(img, padPoint(n).x, padPoint(n).y), n->getCachedFillColour(), 255));
  // Outside the shape (inset by 2) nothing is drawn; the rectangle fills its corners.
  EXPECT_EQ(px(img, n->nodeRect().minX(), n->nodeRect().minY()).alpha, 0);
  EXPECT_GT(px(img, n->nodeRect().minX() + 3, n->nodeRect().minY() + 3).alpha, 200);
  EXPECT_EQ(px(img, n->bounds().maxX() - 1, n->bounds().maxY() - 1).alpha, 0);
}

TEST_F(TopicDrawing, RoundedRectangleAndOvalLeaveTheirCornersClear) {
  NodeView* r = topic("Round", Point(1300, 1000), TopicShape::RoundedRectangle);
  NodeView* o = topic("Oval", Point(1300, 1200), TopicShape::Oval);
  for (NodeView* n : {r, o}) {
    auto img = draw(n, 0);
    Rect s = n->nodeRect().insetBy(2, 2);
    EXPECT_EQ(px(img, s.minX() + 1, s.minY() + 1).alpha, 0);
    EXPECT_EQ(px(img, s.maxX() - 2, s.maxY() - 2).alpha, 0);
    EXPECT_TRUE(near(px(img, s.midX(), s.minY() + 3), n->getCachedFillColour(), 255)) << n->strName();
  }
}

TEST_F(TopicDrawing, UnselectedLineTopicDrawsNoBoxAndSelectingShowsIt) {
  NodeView* n = topic("Line", Point(1300, 1000), TopicShape::Line);
  auto plain = draw(n, 0);
  EXPECT_EQ(px(plain, padPoint(n).x, padPoint(n).y).alpha, 0);
  EXPECT_GT(inked(plain, n->textBoxRect()), 0);  // the text still shows
  n->setIsSelected(true);
  auto selected = draw(n, 0);
  kit::Pixel p = px(selected, padPoint(n).x, padPoint(n).y);
  EXPECT_EQ(p.alpha, 255);
  // Selection halves the saturation of the fill.
  HSV fill = HSVReduceSaturation(RGBToHSV(n->getCachedFillColour()), 50);
  EXPECT_TRUE(near(p, HSVToRGB1(fill), 255));
  n->setIsSelected(false);
  n->setHighlighted(true);
  EXPECT_EQ(px(draw(n, 0), padPoint(n).x, padPoint(n).y).alpha, 255);
}

TEST_F(TopicDrawing, DarkColoursDrawAsMidTonePastels) {
  NodeView* n = topic("Dark", Point(1300, 1000), TopicShape::Rectangle, RGB255{10, 10, 40});
  kit::Pixel p = px(draw(n, 0), padPoint(n).x, padPoint(n).y);
  int v = std::max({p.red, p.green, p.blue});
  EXPECT_NEAR(v, 153, 3);  // value lifted to 0.6
  EXPECT_GT(std::min({p.red, p.green, p.blue}), 100);  // and most of the saturation gone
}

TEST_F(TopicDrawing, OutlineIsDarkerThanTheFill) {
  NodeView* n = topic("Edge", Point(1300, 1000), TopicShape::Rectangle);
  auto img = draw(n, 0);
  Rect s = n->nodeRect().insetBy(2, 2);
  kit::Pixel edge = px(img, s.minX(), s.midY());  // the 0.5 line straddles the edge
  kit::Pixel fill = px(img, s.minX() + 3, s.midY());
  EXPECT_LT(edge.red + edge.green + edge.blue, fill.red + fill.green + fill.blue);
}

TEST_F(TopicDrawing, DropShadowFallsBelowRightOfTheShape) {
  NodeView* n = topic("Shadow", Point(1300, 1000), TopicShape::Rectangle);
  Rect s = n->nodeRect().insetBy(2, 2);
  EXPECT_EQ(px(draw(n, 0), s.maxX() + 2, s.maxY() + 2).alpha, 0);
  AppServices::setDropShadowFlag(true);
  n->_calcLayout();
  EXPECT_GT(px(draw(n, 0), s.maxX() + 2, s.maxY() + 2).alpha, 0);
}

TEST_F(TopicDrawing, TextIsBlackExceptOnFramelessTopicsOnDarkCanvases) {
  NodeView* n = topic("Text", Point(1300, 1000), TopicShape::Line);
  auto countDark = [&](const kit::ImageRef& img, bool white) {
    int count = 0;
    Rect r = n->textBoxRect();
    for (int y = int(r.minY()); y < int(r.maxY()); ++y)
      for (int x = int(r.minX()); x < int(r.maxX()); ++x) {
        kit::Pixel p = px(img, float(x), float(y));
        if (p.alpha > 200 && (white ? p.red > 200 : p.red < 60)) ++count;
      }
    return count;
  };
  EXPECT_GT(countDark(draw(n, 0), false), 10);
  AppServices::setCurrentCanvasStyle(1);
  EXPECT_EQ(countDark(draw(n, 0), false), 0);
  EXPECT_GT(countDark(draw(n, 0), true), 10);
  n->setIsSelected(true);  // on its box the text is black again
  EXPECT_GT(countDark(draw(n, 0), false), 10);
}

TEST_F(TopicDrawing, AHugeTextFillsItsCappedBoxAndNothingOutsideTheTopic) {
  std::string text;
  for (int i = 0; text.size() < 300000; ++i) text += "word" + std::to_string(i % 997) + " ";
  NodeView* n = topic(text, Point(1300, 1000), TopicShape::Rectangle);
  // The default width of 300 and the height cap of 500, filled with whole lines.
  EXPECT_GT(n->textBoxRect().width(), 250);
  EXPECT_LE(n->textBoxRect().width(), 300);
  EXPECT_GT(n->textBoxRect().height(), 450);
  EXPECT_LE(n->textBoxRect().height(), 500);
  const float margin = 200;
  const Rect b = n->bounds();
  auto ic = kit::ImageContext::create(Size(b.width() + 2 * margin, b.height() + 2 * margin));
  ASSERT_TRUE(ic);
  ic->context().translateCTM(margin, margin);
  n->drawColourNode(b, ic->context(), 2);
  auto img = ic->image();
  const Rect all(0, 0, b.width() + 2 * margin, b.height() + 2 * margin);
  const Rect topicArea = b.offsetBy(margin, margin);
  EXPECT_EQ(inked(img, all) - inked(img, topicArea), 0);
  EXPECT_GT(inked(img, n->textBoxRect().offsetBy(margin, margin)), 1000);
}

TEST_F(TopicDrawing, EditedTopicLeavesItsTextToTheEditorOnScreenOnly) {
  NodeView* n = topic("Editing", Point(1300, 1000), TopicShape::Rectangle);
  NodeViewLayoutTestAccess::openEditor(n);
  n->_calcLayout();
  NodeView* ref = topic("Editing", Point(1300, 1200), TopicShape::Rectangle);
  auto screen = draw(n, 0), exported = draw(n, 2);
  // Plain fill where the text would be on screen, the text in an export.
  Rect tb = n->textBoxRect();
  int fillOnly = 0;
  for (int x = int(tb.minX()); x < int(tb.maxX()); ++x)
    if (near(px(screen, float(x), tb.midY()), n->getCachedFillColour(), 255)) ++fillOnly;
  EXPECT_EQ(fillOnly, int(tb.maxX()) - int(tb.minX()));
  EXPECT_GT(differing(screen, exported, tb), 10);
  (void)ref;
}

TEST_F(TopicDrawing, ExportsDrawDimmedTopicsFaintlyAndTheScreenDoesNot) {
  NodeView* n = topic("Dim", Point(1300, 1000), TopicShape::Rectangle);
  n->setBrightness(0.1f);
  EXPECT_EQ(px(draw(n, 0), padPoint(n).x, padPoint(n).y).alpha, 255);
  EXPECT_NEAR(px(draw(n, 2), padPoint(n).x, padPoint(n).y).alpha, 26, 2);
  EXPECT_NEAR(px(draw(n, 3), padPoint(n).x, padPoint(n).y).alpha, 26, 2);
}

TEST_F(TopicDrawing, DrawingClearsTheChangeTally) {
  NodeView* n = topic("Tally", Point(1300, 1000), TopicShape::Rectangle);
  n->setNodeModTally(NodeModTally::Colour | NodeModTally::Icons);
  draw(n, 0);
  EXPECT_EQ(n->nodeModTally(), 0u);
}

TEST_F(TopicDrawing, BadgesAppearAtTheirPoints) {
  NodeView* bare = topic("Badges", Point(1300, 1000), TopicShape::Rectangle);
  NodeView* n = topic("Badges", Point(1300, 1200), TopicShape::Rectangle);
  bare->setPercentComplete(0);  // the same margin and box, no other badge
  bare->_calcLayout();
  n->setStrNote("note");
  n->setStrLink("someone@example.com");
  n->setPercentComplete(50);
  n->setStrIcon1("idea");
  n->_calcLayout();
  bare->setStrIcon1("idea");
  bare->_calcLayout();
  auto a = draw(bare, 0), b = draw(n, 0);
  ASSERT_EQ(a->size(), b->size());
  EXPECT_GT(differing(a, b, Rect(n->ptNote(), Size(16, 16))), 20);
  EXPECT_GT(differing(a, b, Rect(n->ptLink(), Size(16, 16))), 20);
  EXPECT_GT(differing(a, b, Rect(n->ptProgress(), Size(16, 16))), 20);  // 0 % and 50 % differ
  EXPECT_GT(inked(b, Rect(n->ptIcon1(), Size(24, 24))), 100);
}

TEST_F(TopicDrawing, ImportedIconWithoutNativeNameDrawsTheMissingIcon) {
  NodeView* a = topic("Icon", Point(1300, 1000), TopicShape::Rectangle);
  NodeView* b = topic("Icon", Point(1300, 1200), TopicShape::Rectangle);
  a->setStrIcon1("!29!foreign");
  b->setStrIcon1("idea");
  a->_calcLayout();
  b->_calcLayout();
  auto ia = draw(a, 0), ib = draw(b, 0);
  EXPECT_GT(inked(ia, Rect(a->ptIcon1(), Size(24, 24))), 100);
  EXPECT_GT(differing(ia, ib, Rect(a->ptIcon1(), Size(24, 24))), 20);
}

TEST_F(TopicDrawing, StartDueBadgeShowsOnlyWhenTheTaskBadgeIsOff) {
  NodeView* n = topic("Dates", Point(1300, 1000), TopicShape::Rectangle);
  NodeView* ref = topic("Dates", Point(1300, 1200), TopicShape::Rectangle);
  n->setStartDate(kit::Date{0});
  ref->setPercentComplete(10);  // the same margin without dates
  t_.doc.showTaskBadge = false;
  n->_calcLayout();
  ref->_calcLayout();
  ASSERT_EQ(n->bounds(), ref->bounds());
  EXPECT_GT(differing(draw(n, 0), draw(ref, 0), Rect(n->ptStartDue(), Size(16, 16))), 20);

  t_.doc.showTaskBadge = true;
  n->_calcLayout();
  ASSERT_FALSE(n->rcTaskBadge().isEmpty());
  auto img = draw(n, 0);
  // The task badge in its pale orange (a started task overdue at once is red).
  Rect badge = n->rcTaskBadge();
  kit::Pixel p = px(img, badge.minX() + 3, badge.midY());
  EXPECT_EQ(p.alpha, 255);
  EXPECT_GT(p.red, p.blue + 40);
  // No clock: the start/due corner shows the shape's fill, or nothing outside it.
  Point sd = n->ptStartDue();
  EXPECT_EQ(px(img, sd.x + 1, sd.y + 14).alpha, 0);
}

TEST_F(TopicDrawing, CompleteTaskWithTheBadgeOffShowsTheFullProgressAndNoClock) {
  NodeView* n = topic("Done", Point(1300, 1000), TopicShape::Rectangle);
  n->setStartDate(kit::Date{0});
  n->setDueDate(kit::Date{1000});
  n->setPercentComplete(100);
  t_.doc.showTaskBadge = false;
  n->_calcLayout();
  auto img = draw(n, 0);
  EXPECT_GT(inked(img, Rect(n->ptProgress(), Size(16, 16))), 50);
  Point sd = n->ptStartDue();
  EXPECT_EQ(px(img, sd.x + 1, sd.y + 14).alpha, 0);  // status 5 has no clock image
}

TEST_F(TopicDrawing, DisclosureIsAMinusWhenExpandedAndAPlusWhenFolded) {
  NodeView* n = topic("Fold", Point(1300, 1000), TopicShape::Rectangle);
  t_.add(n, "kid", Point(1500, 1000));
  n->_calcLayout();
  const Rect sq(n->ptDisclosureIcon(), Size(17, 17));
  auto open = draw(n, 0);
  EXPECT_TRUE(near(px(open, sq.midX(), sq.minY() + 5), RGB1{1, 1, 1}, 255, 10));  // white above the bar
  EXPECT_LT(px(open, sq.minX() + 5, sq.midY()).red, 200);                          // the bar
  NodeViewTestAccess::setFolded(n, true);
  auto folded = draw(n, 0);
  EXPECT_LT(px(folded, sq.midX(), sq.minY() + 5).red, 200);  // the upright of the plus
  // Exports never draw it.
  EXPECT_EQ(inked(draw(n, 2), Rect(sq.maxX() - 2, sq.minY(), 2, 17)), 0);
}

TEST_F(TopicDrawing, BranchWalkSkipsFoldedChildrenButNotCalloutsOrFloating) {
  t_.central("Root", Point(200, 200));
  NodeView* root = t_.root.get();
  root->setColourWithRGB255(RGB255{255, 0, 0}, false, false);
  NodeView* a = t_.add(root, "A", Point(400, 200));
  NodeView* kid = t_.add(a, "K", Point(600, 200));
  NodeView* co = t_.callout(a, "C", Point(400, 320));
  NodeView* fl = t_.floating(a, "F", Point(600, 320));
  root->recalcLayoutRecursively(true, false, false, false, false);
  NodeViewTestAccess::setFolded(a, true);
  auto ic = kit::ImageContext::create(Size(800, 400));
  ASSERT_TRUE(ic);
  root->drawNodeAndChildrenInRect(Rect(0, 0, 800, 400), false, ic->context(), 2);
  auto img = ic->image();
  auto drawn = [&](NodeView* n) { return inked(img, n->getAdjustedNodeShapeFrame().insetBy(4, 4)) > 0; };
  EXPECT_TRUE(drawn(root));
  EXPECT_TRUE(drawn(a));
  EXPECT_FALSE(drawn(kid));
  EXPECT_TRUE(drawn(co));
  EXPECT_TRUE(drawn(fl));

  // Relative to the rectangle, the area's origin maps to the image's origin.
  auto ic2 = kit::ImageContext::create(Size(200, 200));
  const Rect area(300, 100, 200, 200);
  root->drawNodeAndChildrenInRect(area, true, ic2->context(), 2);
  auto img2 = ic2->image();
  Rect f = a->getAdjustedNodeShapeFrame().offsetBy(-area.minX(), -area.minY());
  EXPECT_GT(inked(img2, f.insetBy(4, 4)), 0);
  EXPECT_EQ(inked(img2, Rect(0, 0, 200, f.minY() - 4)), 0);
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST_F(TopicDrawing, PdfPagesCarryLinksOfTopicsWithAddresses) {
  if (std::system("command -v qpdf >/dev/null 2>&1") != 0) GTEST_SKIP() << "qpdf is not installed";
  t_.central("Root", Point(200, 200));
  NodeView* root = t_.root.get();
  NodeView* web = t_.add(root, "Web", Point(400, 100));
  web->setStrLink("www.example.com");
  t_.add(root, "Mail", Point(400, 200))->setStrLink("someone@example.com");
  t_.add(root, "Map", Point(400, 300))->setStrLink("My other map");
  t_.add(root, "None", Point(0, 200));
  root->recalcLayoutRecursively(true, false, false, false, false);
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("quill-topic-pdf-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::string file = (dir / "map.pdf").string();
  auto pdf = kit::PdfContext::create(file, Rect(0, 0, 600, 400));
  ASSERT_TRUE(pdf);
  pdf->beginPage();
  kit::GraphicsContext* g = pdf->context();
  g->translateCTM(0, 400);
  g->scaleCTM(1, -1);
  root->drawNodeAndChildrenInRect(Rect(0, 0, 600, 400), true, *g, 1);
  ASSERT_TRUE(pdf->close());
  std::string qdf = (dir / "map.qdf").string();
  ASSERT_EQ(std::system(("qpdf --qdf --object-streams=disable '" + file + "' '" + qdf + "'").c_str()), 0);
  std::string text = readAll(qdf);
  EXPECT_NE(text.find("/URI (http://www.example.com)"), std::string::npos);
  EXPECT_NE(text.find("/URI (mailto:someone@example.com)"), std::string::npos);
  EXPECT_EQ(text.find("My other map"), std::string::npos);
  std::size_t links = 0;
  for (std::size_t at = text.find("/URI ("); at != std::string::npos; at = text.find("/URI (", at + 1)) ++links;
  EXPECT_EQ(links, 2u);
  // The annotation covers the topic's shape (not its badges' margin), in the page's upward y.
  const std::size_t objStart = text.rfind(" obj", text.find("/URI (http://www.example.com)"));
  const std::size_t rectAt = text.find("/Rect [", objStart);
  ASSERT_LT(rectAt, text.find("endobj", objStart));
  std::istringstream rectText(text.substr(rectAt + 7));
  float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  rectText >> x0 >> y0 >> x1 >> y1;
  const Rect shape = web->nodeRect().offsetBy(web->frame().minX(), web->frame().minY());
  EXPECT_NEAR(x0, shape.minX(), 0.01);
  EXPECT_NEAR(x1, shape.maxX(), 0.01);
  EXPECT_NEAR(y0, 400 - shape.maxY(), 0.01);
  EXPECT_NEAR(y1, 400 - shape.minY(), 0.01);
  EXPECT_EQ(web->nodeRect().origin, Point(9, 9));
  fs::remove_all(dir);
}

// The one of the named images that, drawn alone at `at`, gives exactly the pixels of the 16 x 16
// badge there; "" when none does.
std::string badgeAt(const kit::ImageRef& drawn, Point at, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    kit::ImageRef badge = kit::imageNamed(name);
    auto ic = kit::ImageContext::create(drawn->size());
    if (!badge || !ic) continue;
    ic->context().drawImage(*badge, Rect(at, badge->size()), kit::BlendMode::Normal, 1);
    bool same = true;
    for (int y = int(at.y); same && y < int(at.y) + 16; ++y)
      for (int x = int(at.x); same && x < int(at.x) + 16; ++x) same = drawn->pixelAt(x, y) == ic->image()->pixelAt(x, y);
    if (same) return name;
  }
  return "";
}

TEST_F(TopicDrawing, LinkBadgeByKindOfLinkAndSide) {
  const auto kinds = {"link-map-right.png", "link-map-left.png", "link-email.png", "link-web.png"};
  NodeView* right = topic("R", Point(1300, 1000), TopicShape::Line);
  NodeView* left = topic("L", Point(700, 1000), TopicShape::Line);
  NodeView* floating = t_.floating(t_.root.get(), "F", Point(500, 1200));  // a root, left of the centre
  floating->setShape(TopicShape::Line, false, false);
  NodeView* central = t_.root.get();
  central->setShape(TopicShape::Line, false, false);
  auto badge = [&](NodeView* n, const char* link) {
    n->setStrLink(link);
    n->_calcLayout();
    return badgeAt(draw(n, 0), n->ptLink(), kinds);
  };
  EXPECT_EQ(badge(right, "Project plan"), "link-map-right.png");
  EXPECT_EQ(badge(left, "Project plan"), "link-map-left.png");
  EXPECT_EQ(badge(floating, "Project plan"), "link-map-right.png");
  EXPECT_EQ(badge(central, "Project plan"), "link-map-right.png");
  EXPECT_EQ(badge(left, "someone@example.com"), "link-email.png");
  EXPECT_EQ(badge(left, "MailTo:someone"), "link-email.png");
  EXPECT_EQ(badge(right, "www.example.com"), "link-web.png");
  EXPECT_EQ(badge(right, "ftp://example.com/file"), "link-web.png");
}

TEST_F(TopicDrawing, StartDueBadgeIsTheClockOfTheTaskStatus) {
  t_.doc.showTaskBadge = false;
  NodeView* n = topic("Task", Point(1300, 1000), TopicShape::Line);
  auto clock = [&](std::optional<kit::Date> start, std::optional<kit::Date> due) {
    n->setStartDate(start);
    n->setDueDate(due);
    n->_calcLayout();
    return badgeAt(draw(n, 0), n->ptStartDue(), {"task-clock.png", "task-clock-overdue.png"});
  };
  const kit::Date past{0}, future{4.0e9};
  EXPECT_EQ(clock(future, std::nullopt), "task-clock.png");         // not started
  EXPECT_EQ(clock(past, std::nullopt), "task-clock-overdue.png");   // started
  EXPECT_EQ(clock(std::nullopt, past), "task-clock-overdue.png");   // overdue
}

TEST_F(TopicDrawing, TaskBadgeColourByStatus) {
  t_.doc.showTaskBadge = true;
  const kit::Date past{0}, future{4.0e9};
  // The base colour with its saturation cut to 30 %: orange (255, 128, 0) becomes
  // (255, 216.9, 178.5), red (255, 178.5, 178.5), green (178.5, 255, 178.5).
  const RGB1 orange{1, 0.8506f, 0.7f}, red{1, 0.7f, 0.7f}, green{0.7f, 1, 0.7f};
  struct Case {
    std::optional<kit::Date> start, due;
    int progress;
    RGB1 fill;
  };
  const Case cases[] = {
      {future, std::nullopt, 0, orange},  // 1: not started
      {future, std::nullopt, 10, green},  // 2: under way
      {past, std::nullopt, 0, red},       // 3: started, no progress
      {past, past, 50, red},              // 4: overdue
      {past, past, 100, orange},          // 5: complete, shown for its effort
      {std::nullopt, std::nullopt, -1, orange},  // 0: an effort alone
  };
  for (const Case& c : cases) {
    NodeView* n = topic("Task", Point(1300, 1000), TopicShape::Rectangle);
    n->setStartDate(c.start);
    n->setDueDate(c.due);
    n->setPercentComplete(c.progress);
    n->set_effort("2h");
    n->_calcLayout();
    ASSERT_FALSE(n->rcTaskBadge().isEmpty());
    const Rect badge = n->rcTaskBadge();
    kit::Pixel p = px(draw(n, 0), badge.minX() + 3, badge.midY());
    EXPECT_TRUE(near(p, c.fill, 255)) << c.progress << ": " << p.red << " " << p.green << " " << p.blue;
  }
}

TEST_F(TopicDrawing, TextAlignmentFromTheStyleBitsElseTheDefault) {
  // The short second line shows where the lines are aligned within the text box.
  NodeView* n = topic("WWWWWWWWWWWWWWWW\nii", Point(1300, 1000), TopicShape::Line);
  auto secondLine = [&](std::uint32_t style, bool centreByDefault) {
    AppServices::setCentreJustificationFlag(centreByDefault);
    n->setTextStyle(style, false, false);
    n->_calcLayout();
    const Rect tb = n->textBoxRect();
    const Rect lower(tb.minX(), tb.midY() + 2, tb.width(), tb.height() / 2 - 2);
    auto img = draw(n, 0);
    double sum = 0;
    int count = 0;
    for (int y = int(lower.minY()); y < int(lower.maxY()); ++y)
      for (int x = int(lower.minX()); x < int(lower.maxX()); ++x)
        if (px(img, float(x), float(y)).alpha > 100) sum += x, ++count;
    if (count == 0) return std::string("none");
    const double at = (sum / count - tb.minX()) / tb.width();
    return std::string(at < 0.25 ? "left" : at > 0.75 ? "right" : "centre");
  };
  EXPECT_EQ(secondLine(0, false), "left");
  EXPECT_EQ(secondLine(0, true), "centre");
  EXPECT_EQ(secondLine(16, true), "left");
  EXPECT_EQ(secondLine(32, false), "right");
  EXPECT_EQ(secondLine(64, false), "centre");
  EXPECT_EQ(secondLine(16 | 32 | 64, true), "left");
  EXPECT_EQ(secondLine(32 | 64, false), "right");
  EXPECT_EQ(secondLine(TopicTextStyle::Bold, true), "centre");
  AppServices::setCentreJustificationFlag(false);
}

TEST_F(TopicDrawing, FramelessTextIsWhiteOnCanvasStylesOneAndEightOnly) {
  NodeView* n = topic("Text", Point(1300, 1000), TopicShape::Line);
  auto textColour = [&] {
    auto img = draw(n, 0);
    int white = 0, black = 0;
    const Rect r = n->textBoxRect();
    for (int y = int(r.minY()); y < int(r.maxY()); ++y)
      for (int x = int(r.minX()); x < int(r.maxX()); ++x) {
        kit::Pixel p = px(img, float(x), float(y));
        if (p.alpha > 200 && p.red > 200) ++white;
        if (p.alpha > 200 && p.red < 60) ++black;
      }
    // A highlighted topic's pale box counts as white: black text on it still shows.
    return black > 10 ? "black" : white > 10 ? "white" : "none";
  };
  for (int style = 0; style <= 9; ++style) {
    AppServices::setCurrentCanvasStyle(style);
    EXPECT_STREQ(textColour(), style == 1 || style == 8 ? "white" : "black") << style;
  }
  AppServices::setCurrentCanvasStyle(8);
  n->setHighlighted(true);
  EXPECT_STREQ(textColour(), "black");
  n->setHighlighted(false);
  n->setHasBoundary(true, false);  // drawn over the boundary's fill
  EXPECT_STREQ(textColour(), "black");
}

// A sheet of styled topics to look at: shapes, fills, outlines, text, badges and selection.
TEST_F(TopicDrawing, WritesASheetOfStyledTopics) {
  AppServices::setDropShadowFlag(true);
  t_.central("Central topic", Point(450, 300));
  NodeView* root = t_.root.get();
  root->setColourWithRGB255(RGB255{255, 160, 0}, false, false);
  root->setStrNote("The plan");
  root->setStrLink("http://example.com");

  auto add = [&](const std::string& text, Point at, int shape, RGB255 colour) {
    NodeView* n = t_.add(root, text, at);
    n->setShape(shape, false, false);
    n->setColourWithRGB255(colour, false, false);
    return n;
  };
  NodeView* rr = add("Rounded rectangle", Point(760, 90), TopicShape::RoundedRectangle, RGB255{0, 120, 255});
  rr->setStrIcon1("idea");
  rr->setStrIcon2("flag-red");
  NodeView* rect = add("Rectangle, selected", Point(760, 190), TopicShape::Rectangle, RGB255{0, 200, 80});
  rect->setIsSelected(true);
  NodeView* oval = add("Oval with a longer text that wraps onto more lines", Point(760, 320), TopicShape::Oval,
                       RGB255{200, 0, 200});
  oval->setWidth(150, false, false);
  oval->setPercentComplete(50);
  NodeView* line = add("Line topic", Point(760, 450), TopicShape::Line, RGB255{255, 0, 0});
  line->setStrNote("n");
  line->setStrLink("someone@example.com");
  NodeView* task = add("Task with badge", Point(140, 110), TopicShape::RoundedRectangle, RGB255{20, 20, 60});
  task->setStartDate(kit::Date{0});
  task->setDueDate(kit::Date{86400 * 30});
  task->setPercentComplete(40);
  task->set_effort("2h");
  NodeView* left = add("Left, centred\nwith two lines", Point(140, 260), TopicShape::Rectangle,
                       RGB255{255, 220, 0});
  left->setTextStyle(64 | TopicTextStyle::Bold, false, false);
  left->setStrLink("Another map");
  NodeView* folded = add("Folded", Point(140, 400), TopicShape::RoundedRectangle, RGB255{120, 120, 120});
  t_.add(folded, "hidden", Point(-100, 400));
  NodeViewTestAccess::setFolded(folded, true);
  NodeView* lineSel = add("Line, highlighted", Point(140, 500), TopicShape::Line, RGB255{0, 160, 160});
  lineSel->setHighlighted(true);
  lineSel->setStrIcon1("check");
  root->recalcLayoutRecursively(true, false, false, false, false);

  const Size sheet(960, 580);
  auto ic = kit::ImageContext::create(sheet, false, 2);
  ASSERT_TRUE(ic);
  kit::GraphicsContext& g = ic->context();
  g.setFillColor(kit::Color::white());
  g.fillRect(Rect(Point(), sheet));
  root->drawNodeAndChildrenInRect(Rect(Point(), sheet), false, g, 0);
  auto img = ic->image();
  ASSERT_TRUE(img);
  auto png = img->pngData();
  ASSERT_TRUE(png);
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec)
    std::ofstream(self.parent_path() / "styled_topics.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(png->data()), std::streamsize(png->size()));
  // Every topic drew something inside its shape.
  for (NodeView* n : root->getListOfDescendents()) {
    if (n->strName() == "hidden") continue;
    Rect f = n->getAdjustedNodeShapeFrame();
    auto p = img->pixelAt(int(f.midX() * 2), int(f.midY() * 2));
    ASSERT_TRUE(p);
    if (n->getDisplayShape() != TopicShape::Line) {
      EXPECT_FALSE(p->red == 255 && p->green == 255 && p->blue == 255) << n->strName();
    }
  }
}

}  // namespace
