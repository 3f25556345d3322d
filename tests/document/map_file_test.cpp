// The map file (.qlm) and the whole-map undo snapshots.
#include <gtest/gtest.h>

#include "document/map_file.h"
#include "document/pseudo_map_view_controller.h"
#include "kit/core/app_paths.h"
#include "kit/core/files.h"
#include "kit/core/run_loop.h"
#include "kit/graphics/image_context.h"
#include "kit/io/plist.h"
#include "kit/testing/fixtures.h"
#include "kit/ui/alert.h"
#include "model/app_services.h"
#include "model/map_theme.h"

using kit::Point;

namespace {

constexpr const char* kMapID = "0F2B5C1E-3C0A-4E7B-9D55-6A1B2C3D4E5F";

class MapFileTest : public kit::AppHomeTest {
 protected:
  void SetUp() override {
    doc = std::make_unique<PseudoMapViewController>();
    doc->setMapID(kMapID);
    canvas = doc->bigView();
    root = canvas->createChildNodeOf(nullptr, Point());
    root->setStrName("Central");
    a = canvas->createChildNodeOf(root, Point(root->center().x + 200, root->center().y - 40));
    a->setStrName("A");
    a->setColourWithRGB255(RGB255{200, 10, 10}, false, false);
    NodeView* a1 = canvas->createChildNodeOf(a, Point(a->center().x + 150, a->center().y));
    a1->setStrName("A1");
    b = canvas->createChildNodeOf(root, Point(root->center().x - 200, root->center().y + 40));
    b->setStrName("B");
    canvas->setSelectedNode(a, false);
    kit::Alert::clearShown();
    endPass();
  }
  void TearDown() override { doc.reset(); }

  void endPass() { kit::RunLoop::main().runOnce(); }

  std::vector<std::string> outline(BigView* c) {
    std::vector<std::string> out;
    if (!c->rootNode()) return out;
    for (NodeView* n : c->rootNode()->getListOfDescendents())
      out.push_back(n->strName() + "@" + std::to_string(static_cast<int>(n->center().x)) + "," +
                    std::to_string(static_cast<int>(n->center().y)) + "#" + n->uuid());
    return out;
  }

  std::unique_ptr<PseudoMapViewController> doc;
  BigView* canvas = nullptr;
  NodeView* root = nullptr;
  NodeView* a = nullptr;
  NodeView* b = nullptr;
};

}  // namespace

TEST_F(MapFileTest, SavingAndOpeningKeepsTopicsSettingsAndTheme) {
  doc->setMapSetting("KeepOrganised", false);
  doc->setRainbow(true);
  doc->setCanvasStyle(8);
  doc->setMapSetting("ShowCallouts", false);
  doc->setMapSetting("SomethingNewer", "kept");
  kit::Dictionary theme{{"id", "t1"}, {"level0", kit::Value(kit::Dictionary{{"shape", 2}})}};
  doc->setTheme(std::make_shared<MapTheme>(theme));
  doc->setModified();
  ASSERT_TRUE(doc->saveMap());
  EXPECT_FALSE(doc->isModified());

  const std::string path = PseudoMapViewController::pathForMapID(kMapID);
  auto file = kit::plist::readFile(path);
  ASSERT_TRUE(file && file->isDictionary());
  EXPECT_TRUE((*file)["MapData"].string().find("<QuillmereRelative") != std::string::npos);
  EXPECT_EQ((*file)["CanvasStyle"].intValue(), 8);
  EXPECT_EQ((*file)["Theme"]["id"].string(), "t1");

  AppServices::setRainbowFlag(false);
  AppServices::setCurrentCanvasStyle(0);
  PseudoMapViewController opened;
  ASSERT_TRUE(opened.loadMap(kMapID));
  EXPECT_EQ(opened.mapID(), kMapID);
  EXPECT_EQ(opened.mapName(), kMapID);
  EXPECT_EQ(outline(opened.bigView()), outline(canvas));
  EXPECT_FALSE(opened.getKeepOrganised());
  EXPECT_EQ(opened.mapSettings()["ShowCallouts"].boolValue(), false);
  EXPECT_EQ(opened.mapSettings()["SomethingNewer"].string(), "kept");
  EXPECT_FALSE(opened.mapSettings().contains("MapData"));
  EXPECT_TRUE(AppServices::rainbowFlag());
  EXPECT_EQ(AppServices::currentCanvasStyle(), 8);
  ASSERT_NE(opened.getTheme(), nullptr);
  EXPECT_EQ(opened.getTheme()->getShapeForLevel(0), 2);
  EXPECT_EQ(opened.bigView()->selectedNode(), opened.bigView()->rootNode());
  EXPECT_FALSE(opened.isModified());
  AppServices::setRainbowFlag(false);
  AppServices::setCurrentCanvasStyle(0);
}

TEST_F(MapFileTest, AnOpenedMapShowsItsFloatingTopicsGuidesUntilATopicIsChosen) {
  NodeView* floating = canvas->createChildNodeOf(root, Point(root->center().x, root->center().y - 300));
  floating->setIsFloating(true, false);
  ASSERT_TRUE(doc->saveMap());
  PseudoMapViewController opened;
  ASSERT_TRUE(opened.loadMap(kMapID));
  BigView* c = opened.bigView();
  NodeView* r = c->rootNode();
  // Inside the guide's wedge from the central topic to the floating one, on screen.
  Point tip, b1, b2;
  BigView::createReverseTaperedLinkPathFrom(r, c->getNodeByUUID(floating->uuid()), tip, b1, b2);
  const Point mid((tip.x + b1.x + b2.x) / 3, (tip.y + b1.y + b2.y) / 3);
  auto alphaAtMid = [&] {
    auto ic = kit::ImageContext::create(kit::Size(1, 1), false, 1);
    ic->context().translateCTM(-mid.x, -mid.y);
    c->drawInContext(ic->context(), 0, kit::Rect(mid.x, mid.y, 1, 1));
    return ic->image()->pixelAt(0, 0)->alpha;
  };
  EXPECT_GT(alphaAtMid(), 0);
  c->setSelectedNode(r, true);
  EXPECT_EQ(alphaAtMid(), 0);
}

TEST_F(MapFileTest, AFailedOpenLeavesTheOpenMapAlone) {
  const std::string path = kit::AppPaths::temporary() + "/damaged.qlm";
  kit::Value file{kit::Dictionary{{"MapData", "<QuillmereRelative><topic level=\"0\" text=\"x\"/>"}}};
  ASSERT_TRUE(kit::plist::writeFile(path, file));
  const auto before = outline(canvas);
  EXPECT_FALSE(doc->loadMapFromFile(path));
  EXPECT_EQ(kit::Alert::shown().size(), 1u);
  EXPECT_FALSE(doc->loadMapFromFile(kit::AppPaths::temporary() + "/missing.qlm"));
  ASSERT_TRUE(kit::FileManager::write(path, std::string_view("not a property list")));
  EXPECT_FALSE(doc->loadMapFromFile(path));
  EXPECT_FALSE(doc->loadMap("../escape"));
  EXPECT_EQ(outline(canvas), before);
  EXPECT_EQ(doc->mapID(), kMapID);
}

// A map file written by hand or by another program may leave positions out: such topics are laid
// out when the map opens (for the window and the command alike), and recorded ones stay put.
TEST_F(MapFileTest, TopicsWithoutPositionsAreLaidOutWhenOpened) {
  auto open = [](const std::string& name, const std::string& topics) {
    const std::string path = kit::AppPaths::temporary() + "/" + name + ".qlm";
    const kit::Value file{kit::Dictionary{{"MapData", "<QuillmereRelative version=\"1\">" + topics + "</QuillmereRelative>"}}};
    EXPECT_TRUE(kit::plist::writeFile(path, file));
    auto opened = std::make_unique<PseudoMapViewController>();
    EXPECT_TRUE(opened->loadMapFromFile(path));
    return opened;
  };
  auto expectApart = [](BigView* c) {
    const auto all = c->rootNode()->getListOfDescendents();
    for (std::size_t i = 0; i < all.size(); ++i)
      for (std::size_t j = i + 1; j < all.size(); ++j)
        EXPECT_FALSE(all[i]->getAdjustedNodeFrame().intersects(all[j]->getAdjustedNodeFrame()))
            << all[i]->strName() << " / " << all[j]->strName();
  };
  // The horizontal gap between a topic and its parent, whichever side it lies on.
  auto gap = [](NodeView* n) {
    const kit::Rect own = n->getAdjustedNodeFrame(), parent = n->parentNode()->getAdjustedNodeFrame();
    return own.minX() >= parent.maxX() ? own.minX() - parent.maxX() : parent.minX() - own.maxX();
  };
  const std::string wrapped = "a topic whose text is long enough to wrap onto more lines than one row holds";

  auto none = open("none", "<topic level=\"0\" text=\"Hub\"/><topic level=\"1\" text=\"" + wrapped + "\"/>"
                           "<topic level=\"2\" text=\"x\"/><topic level=\"2\" text=\"" + wrapped + "\"/>"
                           "<topic level=\"1\" text=\"" + wrapped + "\"/><topic level=\"1\" text=\"z\"/>");
  expectApart(none->bigView());
  for (NodeView* n : none->bigView()->rootNode()->getListOfDescendents()) {
    if (n->parentNode()) {
      EXPECT_EQ(gap(n), 70) << n->strName();
    }
  }

  // A central topic alone with a place keeps it, its branches balanced over both sides.
  auto rooted = open("rooted", "<topic level=\"0\" x=\"1000\" y=\"1000\" text=\"Hub\"/><topic level=\"1\" text=\"a\"/>"
                               "<topic level=\"1\" text=\"b\"/><topic level=\"1\" text=\"c\"/><topic level=\"1\" text=\"d\"/>");
  NodeView* centre = rooted->bigView()->rootNode();
  EXPECT_EQ(centre->center(), Point(1000, 1000));
  EXPECT_GT(centre->childNodes().front()->center().x, 1000);
  EXPECT_LT(centre->childNodes().back()->center().x, 1000);
  expectApart(rooted->bigView());

  auto some = open("some", "<topic level=\"0\" x=\"1000\" y=\"1000\" text=\"Hub\"/>"
                           "<topic level=\"1\" x=\"1200\" y=\"950\" text=\"A\"/><topic level=\"2\" text=\"" + wrapped + "\"/>"
                           "<topic level=\"1\" x=\"1200\" y=\"1050\" text=\"B\"/><topic level=\"1\" text=\"" + wrapped + "\"/>");
  NodeView* hub = some->bigView()->rootNode();
  ASSERT_EQ(hub->childNodes().size(), 3u);
  EXPECT_EQ(hub->center(), Point(1000, 1000));
  EXPECT_EQ(hub->childNodes()[0]->center(), Point(1200, 950));
  EXPECT_EQ(hub->childNodes()[1]->center(), Point(1200, 1050));
  expectApart(some->bigView());
  EXPECT_EQ(gap(hub->childNodes()[0]->childNodes()[0].get()), 70);
  // A new child of the hub goes below the lowest of its side, its inner edge with theirs.
  NodeView* appended = hub->childNodes()[2].get();
  EXPECT_EQ(appended->getAdjustedNodeFrame().minX(), hub->childNodes()[1]->getAdjustedNodeFrame().minX());
  EXPECT_EQ(appended->getAdjustedNodeFrame().minY(), hub->childNodes()[1]->getAdjustedNodeFrame().maxY() + 10);
}

TEST_F(MapFileTest, SavingNeverLeavesAHalfWrittenOrEmptyFile) {
  ASSERT_TRUE(doc->saveMap());
  const std::string path = PseudoMapViewController::pathForMapID(kMapID);
  auto first = kit::FileManager::readFile(path);
  ASSERT_TRUE(first);
  // A map without topics does not replace the stored one.
  canvas->setSelectedNode(nullptr, false);
  canvas->removeNode(root);
  EXPECT_FALSE(doc->saveMap());
  EXPECT_EQ(kit::FileManager::readFile(path), first);
  auto names = kit::FileManager::listDirectory(kit::AppPaths::documents() + "/maps");
  ASSERT_TRUE(names);
  EXPECT_EQ(*names, std::vector<std::string>{std::string(kMapID) + ".qlm"});
}

TEST_F(MapFileTest, AnUndoSnapshotRestoresTheWholeMapAndRedoesToo) {
  const auto original = outline(canvas);
  doc->pushUndoSnapshot();
  canvas->deleteBranch(a);
  endPass();
  const auto edited = outline(canvas);
  ASSERT_NE(edited, original);

  auto files = kit::FileManager::listDirectory(kit::AppPaths::temporary() + "/undo/" + kMapID);
  ASSERT_TRUE(files);
  EXPECT_EQ(files->size(), 1u);

  ASSERT_TRUE(doc->undoManager()->undo());
  EXPECT_EQ(outline(canvas), original);
  ASSERT_NE(canvas->selectedNode(), nullptr);
  EXPECT_EQ(canvas->selectedNode()->strName(), "A");  // the selection at the snapshot
  EXPECT_EQ(canvas->getNodeByUUID(canvas->selectedNode()->uuid()), canvas->selectedNode());

  ASSERT_TRUE(doc->undoManager()->redo());
  EXPECT_EQ(outline(canvas), edited);
  ASSERT_TRUE(doc->undoManager()->undo());
  EXPECT_EQ(outline(canvas), original);
}

TEST_F(MapFileTest, AMissingSnapshotChangesNothingAndKeepsUndoPaired) {
  doc->pushUndoSnapshot();
  canvas->deleteBranch(b);
  endPass();
  const auto edited = outline(canvas);
  kit::FileManager::remove(kit::AppPaths::temporary() + "/undo/" + kMapID);
  ASSERT_TRUE(doc->undoManager()->undo());
  EXPECT_EQ(outline(canvas), edited);
  EXPECT_TRUE(doc->undoManager()->canRedo());
}

TEST_F(MapFileTest, SnapshotsGoWithTheDocument) {
  doc->pushUndoSnapshot();
  const std::string folder = kit::AppPaths::temporary() + "/undo/" + kMapID;
  EXPECT_TRUE(kit::FileManager::exists(folder));
  doc.reset();
  EXPECT_FALSE(kit::FileManager::exists(folder));
}

// Ids name files and folders: whatever a file is called, its id stays inside them.
TEST_F(MapFileTest, MapIdsAreAlwaysPlainNames) {
  for (const std::string& given : {std::string(), std::string("."), std::string(".."), std::string("a/b"),
                                   std::string("../x"), std::string("a\\b"), std::string("nul\0x", 5)}) {
    const std::string id = PseudoMapViewController::safeMapID(given);
    SCOPED_TRACE(id);
    EXPECT_FALSE(id.empty());
    EXPECT_NE(id, ".");
    EXPECT_NE(id, "..");
    EXPECT_EQ(id.find_first_of(std::string_view("/\\\0", 3)), std::string::npos);
  }
  EXPECT_EQ(PseudoMapViewController::safeMapID(".."), "%2E%2E");
  EXPECT_EQ(PseudoMapViewController::safeMapID("../x"), "..%2Fx");
  EXPECT_EQ(PseudoMapViewController::safeMapID("My map v1.2"), "My map v1.2");
  EXPECT_EQ(PseudoMapViewController::safeMapID("..."), "...");
  EXPECT_EQ(PseudoMapViewController::safeMapID("50% off"), "50% off");
  doc->setMapID("..");
  EXPECT_EQ(doc->mapID(), "%2E%2E");

  // Two names never share an id: "...qlm" and "%2E%2E.qlm" open as two maps.
  const std::string dots = home_.path() + "/...qlm", escaped = home_.path() + "/%2E%2E.qlm";
  ASSERT_TRUE(doc->saveMapToFile(dots));
  ASSERT_TRUE(doc->saveMapToFile(escaped));
  PseudoMapViewController first, second;
  ASSERT_TRUE(first.loadMapFromFile(dots));
  ASSERT_TRUE(second.loadMapFromFile(escaped));
  EXPECT_EQ(first.mapID(), "%2E%2E");
  EXPECT_NE(second.mapID(), first.mapID());
  const std::vector<std::string> near = {"a/b", "a%2Fb", "a%252Fb", "..", "%2E%2E", ".", "%2E", "a\\b", "a%5Cb"};
  for (const std::string& id : near) {
    for (const std::string& other : near) {
      if (id == other) continue;
      EXPECT_NE(PseudoMapViewController::safeMapID(id), PseudoMapViewController::safeMapID(other)) << id << " " << other;
    }
  }
}

// Undo snapshots belong to the window that took them: another window on the same map, or on a
// map of the same name in another folder, neither takes nor removes them.
TEST_F(MapFileTest, AnotherDocumentOfTheSameMapOrNameLeavesTheUndoOfACutWhole) {
  const std::string here = home_.path() + "/here/garden.qlm", there = home_.path() + "/there/garden.qlm";
  ASSERT_TRUE(kit::FileManager::createDirectories(home_.path() + "/here"));
  ASSERT_TRUE(kit::FileManager::createDirectories(home_.path() + "/there"));
  ASSERT_TRUE(doc->saveMapToFile(here));
  ASSERT_TRUE(doc->saveMapToFile(there));
  PseudoMapViewController editing;
  ASSERT_TRUE(editing.loadMapFromFile(here));
  const auto original = outline(editing.bigView());
  editing.pushUndoSnapshot();
  editing.bigView()->deleteBranch(editing.bigView()->rootNode()->childNodes()[0].get());
  endPass();
  ASSERT_NE(outline(editing.bigView()), original);

  for (const std::string& path : {there, here}) {
    PseudoMapViewController other;
    ASSERT_TRUE(other.loadMapFromFile(path));
    other.pushUndoSnapshot();
    ASSERT_TRUE(other.loadMapFromFile(path));  // opened again: its own snapshots go
  }
  ASSERT_TRUE(editing.undoManager()->undo());
  EXPECT_EQ(outline(editing.bigView()), original);
}
