#include "document/pseudo_map_view_controller.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "kit/core/notification_center.h"
#include "kit/core/run_loop.h"
#include "kit/graphics/image.h"
#include "kit/testing/fixtures.h"
#include "model/app_services.h"

using kit::Point;

namespace {

class DocumentTest : public kit::AppHomeTest {
 protected:
  void SetUp() override {
    doc = std::make_unique<PseudoMapViewController>();
    canvas = doc->bigView();
    root = canvas->createChildNodeOf(nullptr, Point());
    root->setStrName("Central");
    endPass();
  }
  void TearDown() override { doc.reset(); }

  // One run-loop pass: the undo manager closes the step it was building.
  void endPass() { kit::RunLoop::main().runOnce(); }
  kit::UndoManager& undo() { return *doc->undoManager(); }

  std::unique_ptr<PseudoMapViewController> doc;
  BigView* canvas = nullptr;
  NodeView* root = nullptr;
};

}  // namespace

TEST_F(DocumentTest, NumericIdsCountFromOnePerMap) {
  EXPECT_EQ(root->iID(), 1);
  EXPECT_EQ(doc->getNextNumericID(), 2);
  PseudoMapViewController other;
  EXPECT_EQ(other.getNextNumericID(), 1);
}

TEST_F(DocumentTest, SettingsAnswerYesWhenAbsent) {
  EXPECT_TRUE(doc->getInheritColour());
  EXPECT_TRUE(doc->getInheritShape());
  EXPECT_TRUE(doc->getKeepOrganised());
  EXPECT_TRUE(doc->getShowTaskBadge());
  doc->setMapSetting("KeepOrganised", false);
  doc->setMapSetting("InheritShape", "NO");
  doc->setMapSetting("ShowTaskBadge", 0);
  EXPECT_FALSE(doc->getKeepOrganised());
  EXPECT_FALSE(doc->getInheritShape());
  EXPECT_FALSE(doc->getShowTaskBadge());
  doc->setMapSettings(kit::Value(42));  // not a dictionary: nothing set
  EXPECT_TRUE(doc->getKeepOrganised());
  EXPECT_EQ(doc->getTheme(), nullptr);
}

TEST_F(DocumentTest, MapFlagsAreMirroredProcessWide) {
  doc->setRainbow(true);
  EXPECT_TRUE(AppServices::rainbowFlag());
  EXPECT_TRUE(doc->mapSettings()["Rainbow"].boolValue());
  doc->setRainbow(false);
  doc->setCanvasStyle(8);
  EXPECT_EQ(AppServices::currentCanvasStyle(), 8);
  doc->setDropShadow(true);
  EXPECT_TRUE(AppServices::dropShadowFlag());
  doc->setCanvasStyle(0);
  doc->setDropShadow(false);
}

TEST_F(DocumentTest, CanvasStylesExportTheirColourOrRepeatingPaper) {
  const std::string file = home_.path() + "/canvas.png";
  auto exportWithStyle = [&](int style) {
    doc->setCanvasStyle(style);
    const kit::Rect r = canvas->getAdjustedScreenshotRect(INFINITY);
    EXPECT_TRUE(canvas->saveScreenshotToFile(file, r, std::nullopt));
    return std::pair(kit::Image::fromFile(file), r);
  };
  const kit::Pixel white{255, 255, 255, 255};
  struct Paper {
    int style;
    const char* image;
  };
  for (Paper paper : {Paper{3, "paper-graph.png"}, Paper{4, "paper-line.png"}, Paper{5, "paper-yellow-graph.png"},
                      Paper{6, "paper-yellow-line.png"}}) {
    auto [img, r] = exportWithStyle(paper.style);
    kit::ImageRef tile = kit::imageNamed(paper.image);
    ASSERT_TRUE(img && tile);
    // The margin above the map is paper repeated from the canvas's origin.
    const int w = tile->pixelWidth(), h = tile->pixelHeight();
    int unlike = 0, notWhite = 0;
    for (int y = 0; y < 15; ++y)
      for (int x = 0; x < img->pixelWidth(); ++x) {
        const kit::Pixel p = *img->pixelAt(x, y);
        const int cx = x + static_cast<int>(r.minX()), cy = y + static_cast<int>(r.minY());
        const kit::Pixel q = *tile->pixelAt(((cx % w) + w) % w, ((cy % h) + h) % h);
        if (std::abs(p.red - q.red) > 2 || std::abs(p.green - q.green) > 2 || std::abs(p.blue - q.blue) > 2) ++unlike;
        if (p != white) ++notWhite;
      }
    EXPECT_EQ(unlike, 0) << paper.image;
    EXPECT_GT(notWhite, 0) << paper.image;
  }
  auto [slate, r2] = exportWithStyle(2);
  ASSERT_TRUE(slate);
  EXPECT_NE(*slate->pixelAt(1, 1), white);
  auto [plain, r0] = exportWithStyle(10);
  ASSERT_TRUE(plain);
  EXPECT_EQ(*plain->pixelAt(1, 1), white);
  doc->setCanvasStyle(0);
}

TEST_F(DocumentTest, PushingARecordMarksTheMapModified) {
  EXPECT_FALSE(doc->isModified());
  doc->pushUndoRedoOperation("topic-text", kit::Value(kit::Dictionary{{"uuid", root->uuid()}, {"strName", "x"}}));
  EXPECT_TRUE(doc->isModified());
  EXPECT_TRUE(undo().canUndo());
}

TEST_F(DocumentTest, TopicTextUndoAndRedo) {
  doc->pushUndoRedoOperation("topic-text", kit::Value(kit::Dictionary{{"uuid", root->uuid()}, {"strName", "Central"}}));
  root->setStrName("Renamed");
  endPass();
  ASSERT_TRUE(undo().undo());
  EXPECT_EQ(root->strName(), "Central");
  ASSERT_TRUE(undo().redo());
  EXPECT_EQ(root->strName(), "Renamed");
  ASSERT_TRUE(undo().undo());
  EXPECT_EQ(root->strName(), "Central");
}

TEST_F(DocumentTest, MoveUndoRestoresTheBranchAndRedoMovesItBack) {
  doc->setMapSetting("KeepOrganised", false);
  NodeView* a = canvas->createChildNodeOf(root, Point(20000, 15000));
  NodeView* b = canvas->createChildNodeOf(a, Point(20200, 15000));
  endPass();
  canvas->setSelectedNode(a, false);
  canvas->logMoveStartForUndoIfNotAlreadyLogged();
  canvas->logMoveStartForUndoIfNotAlreadyLogged();  // once per touch
  a->moveByX(100, 50, true);
  endPass();
  ASSERT_TRUE(undo().undo());
  EXPECT_EQ(a->center(), Point(20000, 15000));
  EXPECT_EQ(b->center(), Point(20200, 15000));
  ASSERT_TRUE(undo().redo());
  EXPECT_EQ(a->center(), Point(20100, 15050));
  EXPECT_EQ(b->center(), Point(20300, 15050));
  EXPECT_FALSE(undo().redo());
}

TEST_F(DocumentTest, UndoingANewTopicDeletesIt) {
  canvas->setSelectedNode(root, false);
  NodeView* n = doc->onNewChildNode("child");
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->strName(), "child");
  std::string uuid = n->uuid();
  endPass();
  ASSERT_TRUE(undo().undo());
  EXPECT_EQ(canvas->getNodeByUUID(uuid), nullptr);
  EXPECT_EQ(canvas->selectedNode(), root);
  EXPECT_EQ(canvas->getTopicCount(nullptr), 1);
  // The deletion took a snapshot; redo restores it, and the new topic with it.
  EXPECT_TRUE(undo().canRedo());
  ASSERT_TRUE(undo().redo());
  EXPECT_EQ(canvas->getTopicCount(nullptr), 2);
  ASSERT_NE(canvas->getNodeByUUID(uuid), nullptr);
  EXPECT_EQ(canvas->getNodeByUUID(uuid)->strName(), "child");
}

TEST_F(DocumentTest, FoldUndoAndRedoEachRecordOneStep) {
  NodeView* a = canvas->createChildNodeOf(root, Point(20000, 15000));
  canvas->createChildNodeOf(a, Point(20200, 15000));
  endPass();
  canvas->toggleFoldState(a);
  endPass();
  EXPECT_TRUE(a->isFolded());
  ASSERT_TRUE(undo().undo());
  EXPECT_FALSE(a->isFolded());
  canvas->setSelectedNode(a->childNodes()[0].get(), true);
  ASSERT_TRUE(undo().redo());
  EXPECT_TRUE(a->isFolded());
  EXPECT_EQ(canvas->selectedNode(), a);  // out of the fold
  doc->onNewChildNode("new")->inPlaceEdit(false);  // opens the fold, in the new topic's step
  EXPECT_EQ(canvas->selectedNode()->alpha(), 1.0f);
  ASSERT_TRUE(undo().undo());
  EXPECT_TRUE(a->isFolded());
}

TEST_F(DocumentTest, StyleRecordsReplayThroughTheSetters) {
  NodeView* a = canvas->createChildNodeOf(root, Point(20000, 15000));
  endPass();
  undo().beginUndoGrouping();
  a->setShape(TopicShape::Oval, false, true);
  a->setColourWithRGB255(RGB255{10, 20, 30}, false, true);
  a->setFontSize(24, false, true);
  a->setTextStyle(TopicTextStyle::Bold, false, true);
  undo().endUndoGrouping();
  endPass();
  ASSERT_TRUE(undo().undo());
  EXPECT_EQ(a->getShape(), TopicShape::Unset);
  EXPECT_EQ(a->getColourAsString(), "0000FE");
  EXPECT_EQ(a->getFontSize(), 0.0f);
  EXPECT_EQ(a->getTextStyle(), 0u);
  ASSERT_TRUE(undo().redo());
  EXPECT_EQ(a->getShape(), TopicShape::Oval);
  EXPECT_EQ(a->getColourAsString(), "0A141E");
  EXPECT_EQ(a->getFontSize(), 24.0f);
  EXPECT_EQ(a->getTextStyle(), TopicTextStyle::Bold);
}

TEST_F(DocumentTest, RecordsForTopicsThatAreGoneReplayAsNothing) {
  NodeView* a = canvas->createChildNodeOf(root, Point(20000, 15000));
  endPass();
  a->setShape(TopicShape::Oval, false, true);
  endPass();
  canvas->deleteBranch(a);
  endPass();
  EXPECT_TRUE(undo().undo());
  doc->onUndoRedo(kit::Value(42));
  doc->onUndoRedo(kit::Value(kit::Dictionary{{"action", "move"}}));
  EXPECT_EQ(canvas->getTopicCount(nullptr), 1);
}

TEST_F(DocumentTest, SnapshotRecordNamesTheSelection) {
  canvas->setSelectedNode(root, false);
  doc->pushUndoSnapshot();
  EXPECT_TRUE(doc->isModified());
  endPass();
  EXPECT_TRUE(undo().canUndo());
}

TEST_F(DocumentTest, UnfocusedTopicsDimOutsideTheSelectedBranch) {
  NodeView* a = canvas->createChildNodeOf(root, Point(20000, 15000));
  NodeView* a1 = canvas->createChildNodeOf(a, Point(20200, 15000));
  NodeView* af = canvas->createChildNodeOf(a, Point(20200, 16000));
  af->setIsFloating(true, false);
  NodeView* b = canvas->createChildNodeOf(root, Point(14000, 15000));
  doc->setMapSetting("ShowUnfocusedTopics", false);
  canvas->setSelectedNode(a, true);
  EXPECT_EQ(a->alpha(), 1.0f);
  EXPECT_EQ(a1->alpha(), 1.0f);
  EXPECT_FLOAT_EQ(af->alpha(), 0.1f);  // a floating topic does not inherit the focus
  EXPECT_FLOAT_EQ(b->alpha(), 0.1f);
  EXPECT_FLOAT_EQ(root->alpha(), 0.1f);
}

TEST(DocumentHeadless, ExportControllersPostNoSelectionNotification) {
  kit::TemporaryAppHome home;
  auto doc = PseudoMapViewController::initForExport();
  EXPECT_TRUE(doc->isInitForExport());
  int posts = 0, owner = 0;
  kit::NotificationCenter::defaultCenter().addObserver(&owner, "NM_SELECTION_CHANGED", nullptr,
                                                       [&](const kit::Notification&) { ++posts; });
  NodeView* root = doc->bigView()->createChildNodeOf(nullptr, Point());
  doc->bigView()->setSelectedNode(root, true);
  kit::NotificationCenter::defaultCenter().removeObserver(&owner);
  EXPECT_EQ(posts, 0);
  PseudoMapViewController open;
  EXPECT_FALSE(open.isInitForExport());
}

TEST_F(DocumentTest, FollowingALinkOpensOnlyWebAndMailAddressesAndMapFiles) {
  struct Recorder : LinkOpener {
    void openAddress(const std::string& uri) override { opened.push_back("address " + uri); }
    void openMap(const std::string& path) override { opened.push_back("map " + path); }
    std::vector<std::string> opened;
  } recorder;
  auto follow = [&](const std::string& link) {
    recorder.opened.clear();
    root->setStrLink(link);
    canvas->setSelectedNode(root, false);
    doc->followLinkForSelectedNode();
    return recorder.opened.empty() ? std::string("nothing") : recorder.opened.front();
  };
  // Without an opener (headless) nothing is opened.
  EXPECT_EQ(follow("https://example.org"), "nothing");
  doc->setLinkOpener(&recorder);
  EXPECT_EQ(follow("https://example.org/a b?q=\"x\"#top"), "address https://example.org/a%20b?q=%22x%22#top");
  EXPECT_EQ(follow("HTTP://example.org/%41"), "address http://example.org/%41");
  EXPECT_EQ(follow(" www.example.org "), "address http://www.example.org");
  EXPECT_EQ(follow("ftp://files.example.org/x"), "address ftp://files.example.org/x");
  EXPECT_EQ(follow("ada@example.org"), "address mailto:ada@example.org");
  EXPECT_EQ(follow("MailTo:ada@example.org?subject=Hi there"), "address mailto:ada@example.org?subject=Hi%20there");
  EXPECT_EQ(follow("plans/next year.qlm"), "map plans/next year.qlm");
  EXPECT_EQ(follow("file:///home/ada/garden%20plan.QLM"), "map /home/ada/garden plan.QLM");
  // Script, inline content, other files, hostless or odd addresses, controls: nowhere.
  for (const char* link : {"javascript:alert(1)", "JavaScript://%0Aalert(1)", "vbscript:msgbox", "data:text/html,<b>x",
                           "file:///etc/passwd", "file://otherhost/x.qlm", "file:///tmp/x%00.qlm", "example.org",
                           "http://", "http:///x", "http://exa mple.org", "https://example.org/\n", "mailto:nobody",
                           "ssh://example.org", "C:\\maps\\x.qlm", "-x.txt"})
    EXPECT_EQ(follow(link), "nothing") << link;
}

TEST_F(DocumentTest, HiddenCalloutsAndCompletedTasksDimEachByItsOwnSetting) {
  const Point c = root->center();
  NodeView* task = canvas->createChildNodeOf(root, Point(c.x + 200, c.y));
  task->setProgress(100, false);
  NodeView* callout = canvas->createChildNodeOf(root, Point(c.x - 200, c.y));
  callout->setIsCallout(true, false);
  struct Case {
    bool showCallouts, showCompleted;
    float task, callout;
  };
  for (const Case& k : {Case{false, true, 1.0f, 0.1f}, Case{true, false, 0.1f, 1.0f}, Case{true, true, 1.0f, 1.0f}}) {
    doc->setMapSetting("ShowCallouts", k.showCallouts);
    doc->setMapSetting("ShowCompletedTasks", k.showCompleted);
    doc->refreshBrightness(nullptr);
    EXPECT_EQ(task->getBrightness(), k.task) << k.showCallouts << k.showCompleted;
    EXPECT_EQ(callout->getBrightness(), k.callout) << k.showCallouts << k.showCompleted;
    EXPECT_EQ(root->getBrightness(), 1.0f);
  }
}
