// One map open in a window: which files open, are made or imported; the saving rules of the
// 10 s tick; closing in the middle of an edit or a drag; the Paste Style chooser reached through
// the popup menu; the state file a desktop test reads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "document/pseudo_map_view_controller.h"
#include "formats/map_formats.h"
#include "kit/core/files.h"
#include "kit/core/run_loop.h"
#include "kit/testing/event_script.h"
#include "kit/testing/fixtures.h"
#include "kit/ui/button.h"
#include "kit/ui/keyboard.h"
#include "kit/ui/menu_controller.h"
#include "kit/ui/text_view.h"
#include "kit/ui/window.h"
#include "model/node_view.h"
#include "session/edit_session.h"

using kit::FileManager;
using kit::Point;

namespace {

class EditSessionTest : public kit::AppHomeTest {
 protected:
  std::string dir = home_.path() + "/maps here";
  bool made_ = FileManager::createDirectories(dir);
  std::string file(const std::string& name) const { return dir + "/" + name; }
  void write(const std::string& name, const std::string& text) { ASSERT_TRUE(FileManager::write(file(name), text)); }

  std::unique_ptr<EditSession> open(const std::string& name) {
    std::string error;
    std::unique_ptr<EditSession> s = EditSession::open(file(name), error);
    EXPECT_TRUE(s) << error;
    EXPECT_EQ(error, "");
    return s;
  }
  std::string refusal(const std::string& path) {
    std::string error;
    EXPECT_FALSE(EditSession::open(path, error));
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    return error;
  }
  // The topics of a saved map file, as read back.
  static MapFormats::ParsedMap saved(const std::string& path) {
    PseudoMapViewController doc;
    EXPECT_TRUE(doc.loadMapFromFile(path));
    return MapFormats::parseMapXML(MapFormats::dumpMap(*doc.bigView())).map.value_or(MapFormats::ParsedMap{});
  }
  static Point on(EditSession& s, const NodeView* n) {
    return s.document().bigView()->convertPointToView(n->center(), &s.window());
  }
};

NodeView* addChild(EditSession& s, NodeView* parent, const char* text, float dx, float dy) {
  const Point c = parent->center();
  NodeView* n = s.document().bigView()->createChildNodeOf(parent, Point(c.x + dx, c.y + dy));
  n->setStrName(text);
  n->_calcLayout();
  return n;
}

}  // namespace

TEST_F(EditSessionTest, MapFilesOpenOrAreMadeAndOutlinesAreImportedBesideThemOnce) {
  // A missing map file is made at once, its central topic named after it.
  {
    std::unique_ptr<EditSession> s = open("garden.qlm");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->mapPath(), file("garden.qlm"));
    EXPECT_EQ(s->saveCount(), 1);
    EXPECT_EQ(s->title(), "garden");
    EXPECT_EQ(s->window().keyboard().height(), 0);
    // The central topic sits in the middle of the window.
    NodeView* root = s->document().bigView()->rootNode();
    ASSERT_TRUE(root);
    const Point mid = s->document().bigView()->convertPointToView(root->getAdjustedNodeCenter(), &s->window());
    EXPECT_NEAR(mid.x, 512, 1);
    EXPECT_NEAR(mid.y, 384, 1);
  }
  MapFormats::ParsedMap garden = saved(file("garden.qlm"));
  ASSERT_EQ(garden.topics.size(), 1u);
  EXPECT_EQ(garden.topics[0].text, "garden");
  {
    std::unique_ptr<EditSession> s = open("garden.qlm");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->saveCount(), 0);  // opening writes nothing
    EXPECT_EQ(s->document().bigView()->rootNode()->strName(), "garden");
  }

  // An outline becomes plan.qlm, laid out with its branches on both sides, as render lays it out.
  write("plan.txt", "Plan\n\tOne\n\tTwo\n");
  {
    std::unique_ptr<EditSession> s = open("plan.txt");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->mapPath(), file("plan.qlm"));
    EXPECT_EQ(s->title(), "plan");
    NodeView* root = s->document().bigView()->rootNode();
    ASSERT_EQ(root->childNodes().size(), 2u);
    EXPECT_EQ(root->strName(), "Plan");
    const float x1 = root->childNodes()[0]->center().x, x2 = root->childNodes()[1]->center().x;
    EXPECT_LT(std::min(x1, x2), root->center().x);
    EXPECT_GT(std::max(x1, x2), root->center().x);
  }
  EXPECT_EQ(saved(file("plan.qlm")).topics.size(), 3u);
  // Never over a map already there.
  const std::string again = refusal(file("plan.txt"));
  EXPECT_NE(again.find("plan.qlm' already exists"), std::string::npos) << again;

  // OPML by its extension, and an outline without one by its content.
  write("trip.opml", "<opml version=\"2.0\"><body><outline text=\"Trip\"><outline text=\"Tent\"/></outline></body></opml>");
  write("notes", "Notes\n\tMilk\n");
  for (const char* name : {"trip.opml", "notes"}) {
    std::unique_ptr<EditSession> s = open(name);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->document().bigView()->rootNode()->childNodes().size(), 1u) << name;
  }
  EXPECT_EQ(saved(file("trip.qlm")).topics[1].text, "Tent");
  EXPECT_EQ(saved(file("notes.qlm")).topics[1].text, "Milk");

  // What cannot be read: no session, one line saying why.
  write("broken.qlm", "<plist>no map</plist>\nat all\n");
  EXPECT_EQ(refusal(file("broken.qlm")).rfind("cannot open '" + file("broken.qlm") + "': ", 0), 0u);
  EXPECT_FALSE(FileManager::exists(file("broken.qlm.tmp")));
  EXPECT_NE(refusal(file("gone.opml")).find("no such file"), std::string::npos);
  EXPECT_NE(refusal(dir).find("it is a folder"), std::string::npos);
  write("empty.txt", " \n\t\n");
  EXPECT_NE(refusal(file("empty.txt")).find("the outline is empty"), std::string::npos);
  EXPECT_FALSE(FileManager::exists(file("empty.qlm")));
  EXPECT_NE(refusal(file("no folder/x.qlm")).find("cannot be made"), std::string::npos);
}

// Saves wait 30 s after the last one, snapshots 300 s after the last one; close saves the rest.
TEST_F(EditSessionTest, TheTickSavesAfterThirtySecondsAndSnapshotsAfterFiveMinutes) {
  std::unique_ptr<EditSession> s = open("garden.qlm");
  ASSERT_TRUE(s);
  s.reset();
  s = open("garden.qlm");  // an existing map: its last save counts from the opening
  ASSERT_TRUE(s);
  int titles = 0;
  s->setTitleChanged([&] { ++titles; });
  NodeView* root = s->document().bigView()->rootNode();
  auto versions = [&] { return FileManager::listDirectory(s->versionsFolder()).value_or(std::vector<std::string>{}).size(); };

  time_.runFor(1);
  root->setColourWithRGB255(RGB255{200, 40, 40}, false, true);
  time_.runOnce();
  EXPECT_EQ(s->title(), "garden *");
  EXPECT_EQ(titles, 1);
  time_.runFor(28);  // ticks at 10 and 20 s: too soon
  EXPECT_EQ(s->saveCount(), 0);
  EXPECT_EQ(saved(file("garden.qlm")).topics[0].colour, std::nullopt);
  time_.runFor(2);  // the tick at 30 s
  EXPECT_EQ(s->saveCount(), 1);
  EXPECT_EQ(s->title(), "garden");
  EXPECT_EQ(titles, 2);
  ASSERT_TRUE(saved(file("garden.qlm")).topics[0].colour);
  EXPECT_EQ(saved(file("garden.qlm")).topics[0].colour->r, 200);
  time_.runFor(100);  // nothing changed: nothing written
  EXPECT_EQ(s->saveCount(), 1);
  EXPECT_EQ(versions(), 0u);

  // A change saved by the tick still counts for the snapshot at 300 s, which writes no file of
  // its own when the map file is current.
  root->setShape(2, false, true);
  time_.runFor(168);  // the tick at 140 s saved it; 299 s now
  EXPECT_EQ(s->saveCount(), 2);
  EXPECT_EQ(versions(), 0u);
  time_.runFor(2);  // 301 s
  ASSERT_EQ(versions(), 1u);
  EXPECT_EQ(s->saveCount(), 2);
  const std::string first = FileManager::listDirectory(s->versionsFolder())->front();
  EXPECT_EQ(FileManager::readText(s->versionsFolder() + "/" + first), FileManager::readText(file("garden.qlm")));
  EXPECT_EQ(s->versionsFolder(), home_.path() + "/Documents/versions/garden");
  time_.runFor(400);  // unchanged: no second snapshot
  EXPECT_EQ(versions(), 1u);

  // A change within 300 s of the snapshot: saved by the tick, then snapshotted when due.
  root->setStrName("Garden plan");
  s->document().setModified();
  time_.runFor(500);
  EXPECT_EQ(versions(), 2u);
  EXPECT_EQ(s->saveCount(), 3);
  // Close with an unsaved change: saved and snapshotted at once.
  root->setShape(3, false, true);
  EXPECT_TRUE(s->close());
  EXPECT_EQ(s->saveCount(), 4);
  EXPECT_EQ(versions(), 3u);
  EXPECT_EQ(saved(file("garden.qlm")).topics[0].shape, 3);
}

TEST_F(EditSessionTest, ClosingDuringAnEditKeepsItsTextAndDuringADragPutsTheTopicBack) {
  {
    std::unique_ptr<EditSession> s = open("garden.qlm");
    ASSERT_TRUE(s);
    kit::EventScript script(s->window());
    NodeView* root = s->document().bigView()->rootNode();
    s->document().bigView()->selectAndEditNode(root);
    time_.runOnce();
    ASSERT_TRUE(root->isInPlaceEdit());
    script.type(" party");
    const std::string typed = root->inPlaceEditTextView()->text();
    EXPECT_NE(typed.find("party"), std::string::npos) << typed;
    EXPECT_TRUE(s->close());
    EXPECT_FALSE(root->isInPlaceEdit());
  }
  MapFormats::ParsedMap map = saved(file("garden.qlm"));
  ASSERT_EQ(map.topics.size(), 1u);
  EXPECT_NE(map.topics[0].text.find("party"), std::string::npos);

  std::unique_ptr<EditSession> s = open("garden.qlm");
  ASSERT_TRUE(s);
  s->document().setMapSetting("KeepOrganised", false);
  kit::EventScript script(s->window());
  NodeView* root = s->document().bigView()->rootNode();
  NodeView* leaf = addChild(*s, root, "Leaf", 200, 0);
  s->document().setModified();
  time_.runOnce();
  const Point before = leaf->center();
  const Point p = on(*s, leaf);
  script.down(p);
  script.move(Point(p.x + 40, p.y + 60));
  script.move(Point(p.x + 80, p.y + 120));
  ASSERT_EQ(s->document().bigView()->draggingTopic(), leaf);
  ASSERT_NE(leaf->center().y, before.y);
  EXPECT_TRUE(s->close());
  EXPECT_EQ(leaf->center().x, before.x);
  EXPECT_EQ(leaf->center().y, before.y);
  map = saved(file("garden.qlm"));
  ASSERT_EQ(map.topics.size(), 2u);
  ASSERT_TRUE(map.topics[1].position);
  EXPECT_EQ(map.topics[1].position->x, before.x);
  EXPECT_EQ(map.topics[1].position->y, before.y);
}

namespace {

// The button with that title somewhere in the view's tree.
kit::Button* findButton(kit::View& view, const std::string& title) {
  if (auto* b = dynamic_cast<kit::Button*>(&view); b && b->currentTitle() == title) return b;
  for (kit::View* v : view.subviews())
    if (kit::Button* b = findButton(*v, title)) return b;
  return nullptr;
}

// Taps the shown menu item with that title where it is drawn; false when none shows.
bool tapMenuItem(kit::EventScript& script, const std::string& title) {
  const kit::MenuController& menu = kit::MenuController::shared();
  for (std::size_t i = 0; i < menu.visibleItems().size(); ++i)
    if (menu.visibleItems()[i].title == title) {
      script.tap(menu.itemFrame(i).mid());
      return true;
    }
  return false;
}

}  // namespace

// As a person does it: copy a styled topic from its menu, then on another topic "Paste Style"
// and "Apply"; one undo key puts the style back.
TEST_F(EditSessionTest, PasteStyleFromThePopupMenuAppliesTheCopiedStyleAsOneUndoStep) {
  std::unique_ptr<EditSession> s = open("garden.qlm");
  ASSERT_TRUE(s);
  kit::EventScript script(s->window());
  NodeView* root = s->document().bigView()->rootNode();
  NodeView* styled = addChild(*s, root, "Styled", 220, -80);
  NodeView* plain = addChild(*s, root, "Plain", 220, 80);
  styled->setColourWithRGB255(RGB255{30, 160, 90}, false, false);
  styled->setShape(2, false, false);
  time_.runOnce();
  s->document().undoManager()->removeAllActions();
  const std::string plainColour = plain->getColourAsString();

  script.tap(on(*s, styled));  // selects
  script.wait(0.6);
  script.tap(on(*s, styled));  // the menu
  script.wait(0.6);
  ASSERT_TRUE(tapMenuItem(script, "Copy"));
  script.wait(0.6);
  script.tap(on(*s, plain));
  script.wait(0.6);
  script.tap(on(*s, plain));
  script.wait(0.6);
  ASSERT_TRUE(tapMenuItem(script, "Paste Style"));
  time_.runOnce();
  ASSERT_EQ(s->screenTitles(), std::vector<std::string>{"Paste Style"});

  kit::Button* apply = findButton(s->window(), "Apply");
  ASSERT_TRUE(apply);
  script.tap(apply->convertPointToView(apply->bounds().mid(), &s->window()));
  script.wait(0.5);
  EXPECT_TRUE(s->screenTitles().empty());
  EXPECT_EQ(findButton(s->window(), "Apply"), nullptr);  // the chooser left the window
  EXPECT_EQ(plain->getColourAsString(), "1EA05A");
  EXPECT_EQ(plain->getShape(), 2);
  EXPECT_EQ(s->title(), "garden *");

  s->undo();
  EXPECT_EQ(plain->getColourAsString(), plainColour);
  EXPECT_NE(plain->getShape(), 2);
  EXPECT_EQ(styled->getColourAsString(), "1EA05A");
}
