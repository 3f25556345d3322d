// One map open in a window: which files open, are made or imported; the saving rules of the
// 10 s tick; closing in the middle of an edit or a drag; the Paste Style chooser reached through
// the popup menu, and the undo key during an edit; the state file a desktop test reads.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <regex>
#include <unistd.h>
#include <string>
#include <thread>
#include <vector>

#include "document/pseudo_map_view_controller.h"
#include "formats/map_formats.h"
#include "kit/core/files.h"
#include "kit/core/run_loop.h"
#include "kit/ui/alert.h"
#include "kit/testing/event_script.h"
#include "kit/testing/fixtures.h"
#include "kit/ui/button.h"
#include "kit/ui/keyboard.h"
#include "kit/ui/menu_controller.h"
#include "kit/ui/pasteboard.h"
#include "kit/ui/scroll_view.h"
#include "kit/ui/text_view.h"
#include "kit/ui/window.h"
#include "model/app_services.h"
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
  write("lost.txt", "Lost\n");  // nor through a link there that leads nowhere
  ASSERT_EQ(::symlink("nowhere.qlm", file("lost.qlm").c_str()), 0);
  EXPECT_NE(refusal(file("lost.txt")).find("lost.qlm' already exists"), std::string::npos);

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
  EXPECT_NE(refusal(file("gone.opml")).find("no such file"), std::string::npos);
  EXPECT_NE(refusal(dir).find("it is a folder"), std::string::npos);
  write("empty.txt", " \n\t\n");
  EXPECT_NE(refusal(file("empty.txt")).find("the outline is empty"), std::string::npos);
  EXPECT_FALSE(FileManager::exists(file("empty.qlm")));
  EXPECT_NE(refusal(file("no folder/x.qlm")).find("cannot be made"), std::string::npos);
  for (const std::string& name : FileManager::listDirectory(dir).value_or(std::vector<std::string>{}))
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;  // no trial file left behind
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
  EXPECT_EQ(s->versionsFolder().rfind(home_.path() + "/Documents/versions/garden-", 0), 0u) << s->versionsFolder();
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
  EXPECT_TRUE(s->close().saved);
  EXPECT_EQ(s->saveCount(), 4);
  EXPECT_EQ(versions(), 3u);
  EXPECT_EQ(saved(file("garden.qlm")).topics[0].shape, 3);
}

TEST_F(EditSessionTest, AShakeBeforeAnyTapCentresTheMapAndANewTopicFarAwayIsScrolledIntoView) {
  std::unique_ptr<EditSession> s = open("shaken.qlm");
  ASSERT_TRUE(s);
  s->setWindowSize(kit::Size(800, 600));
  NodeView* root = s->document().bigView()->rootNode();
  auto* scroll = dynamic_cast<kit::ScrollView*>(s->document().bigView()->superview());
  ASSERT_TRUE(scroll);
  scroll->setContentOffset(Point(0, 0));
  root->inPlaceEdit(true);  // an edit ended with Escape gives the keys back to the map
  kit::EventScript(s->window()).key(kit::Key::Escape);
  kit::EventScript(s->window()).shake();
  time_.runFor(1);
  const Point c = s->document().bigView()->convertPointToView(root->getAdjustedNodeCenter(), &s->window());
  EXPECT_NEAR(c.x, 400, 1);
  EXPECT_NEAR(c.y, 300, 1);

  // Far to the left and below: the map moves just enough, with a margin of 20 points.
  NodeView* far = addChild(*s, root, "Far away", -1500, 900);
  s->document().ensureVisible(far, false);
  const kit::Rect seen = s->document().bigView()->convertRectToView(far->getAdjustedNodeShapeFrame(), &s->window());
  EXPECT_NEAR(seen.minX(), 20, 1);
  EXPECT_NEAR(seen.maxY(), 580, 1);
}

TEST_F(EditSessionTest, AHeldTapOnALinkedTopicOpensItsAddressOrAnotherMapFile) {
  std::unique_ptr<EditSession> s = open("linked.qlm");
  ASSERT_TRUE(s);
  write("other.qlm", "any");
  ASSERT_EQ(::symlink("/etc/hostname", file("sneaky.qlm").c_str()), 0);
  std::vector<std::string> opened;
  s->setLinkHandlers({[&](const std::string& uri) { opened.push_back(uri); },
                      [&](const std::string& path) { opened.push_back(path); }});
  NodeView* root = s->document().bigView()->rootNode();
  kit::EventScript script(s->window());
  auto follow = [&](const std::string& link) {
    opened.clear();
    root->setStrLink(link);
    script.wait(1);
    script.press(on(*s, root), 0.2);
    return opened.empty() ? std::string("nothing") : opened.front();
  };
  EXPECT_EQ(follow("https://example.org"), "https://example.org");
  EXPECT_EQ(follow("other.qlm"), std::filesystem::canonical(file("other.qlm")).string());
  EXPECT_EQ(follow("file://" + file("other.qlm")), std::filesystem::canonical(file("other.qlm")).string());
  // Not a map that is not there (it would be made), nor this one, nor a map name leading elsewhere.
  for (const char* link : {"missing.qlm", "linked.qlm", "sneaky.qlm", "javascript:alert(1)"})
    EXPECT_EQ(follow(link), "nothing") << link;
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
    EXPECT_TRUE(s->close().saved);
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
  // The topic where it was before the drag, on the map and in the saved file.
  auto expectBackAt = [this](const NodeView* topic, Point at) {
    EXPECT_EQ(topic->center().x, at.x);
    EXPECT_EQ(topic->center().y, at.y);
    MapFormats::ParsedMap file = saved(this->file("garden.qlm"));
    ASSERT_EQ(file.topics.size(), 2u);
    ASSERT_TRUE(file.topics[1].position);
    EXPECT_EQ(file.topics[1].position->x, at.x);
    EXPECT_EQ(file.topics[1].position->y, at.y);
  };
  const Point p = on(*s, leaf);
  script.down(p);
  script.move(Point(p.x + 40, p.y + 60));
  script.move(Point(p.x + 80, p.y + 120));
  ASSERT_EQ(s->document().bigView()->draggingTopic(), leaf);
  ASSERT_NE(leaf->center().y, before.y);
  EXPECT_TRUE(s->close().saved);
  expectBackAt(leaf, before);

  // A lifted topic dropped on the background waits for the drop menu: closing puts it back.
  s.reset();
  s = open("garden.qlm");
  ASSERT_TRUE(s);
  kit::EventScript again(s->window());
  leaf = s->document().bigView()->rootNode()->childNodes()[0].get();
  const Point q = on(*s, leaf);
  again.down(q);
  again.wait(0.7);
  ASSERT_EQ(s->document().bigView()->dragDropNode(), leaf);
  again.move(Point(q.x + 100, q.y + 150));
  again.move(Point(q.x + 150, q.y + 200));
  again.up(Point(q.x + 150, q.y + 200));
  again.wait(0.1);
  ASSERT_TRUE(kit::MenuController::shared().isMenuVisible());
  ASSERT_NE(leaf->center().y, before.y);
  EXPECT_TRUE(s->close().saved);
  EXPECT_FALSE(kit::MenuController::shared().isMenuVisible());
  EXPECT_EQ(s->document().bigView()->dragDropNode(), nullptr);
  expectBackAt(leaf, before);
}

// "Show" records no undo step, but the branch it shows stays shown in the file.
TEST_F(EditSessionTest, ABranchShownFromTheMenuIsSavedShown) {
  {
    std::unique_ptr<EditSession> s = open("garden.qlm");
    ASSERT_TRUE(s);
    NodeView* leaf = addChild(*s, s->document().bigView()->rootNode(), "Beds", 200, 0);
    addChild(*s, leaf, "Tomatoes", 150, 0);
    s->document().bigView()->toggleFoldState(leaf);
    EXPECT_TRUE(s->close().saved);
  }
  ASSERT_EQ(saved(file("garden.qlm")).topics.size(), 3u);
  ASSERT_TRUE(saved(file("garden.qlm")).topics[1].folded);
  {
    std::unique_ptr<EditSession> s = open("garden.qlm");
    ASSERT_TRUE(s);
    BigView& canvas = *s->document().bigView();
    canvas.setSelectedNode(canvas.rootNode()->childNodes()[0].get(), true);
    canvas.show();
    EXPECT_TRUE(s->close().saved);
  }
  EXPECT_FALSE(saved(file("garden.qlm")).topics[1].folded);
}

TEST_F(EditSessionTest, ClosingRightAfterAThreeReturnSplitSavesBothHalvesAndLeavesTheMapAlone) {
  std::unique_ptr<EditSession> s = open("garden.qlm");
  ASSERT_TRUE(s);
  AppServices::setKeyboardShortcutsFlag(true);
  kit::EventScript script(s->window());
  NodeView* root = s->document().bigView()->rootNode();
  NodeView* leaf = addChild(*s, root, "Buy milk", 200, 0);
  s->document().bigView()->selectAndEditNode(leaf);
  leaf->inPlaceEditTextView()->setSelectedRange(kit::TextRange{3, 0});
  for (int i = 0; i < 3; ++i) script.key(kit::Key::Return);
  ASSERT_EQ(leaf->strName(), "Buy");
  EXPECT_TRUE(s->close().saved);  // within the 0.1 s the split waits
  const std::string closed = MapFormats::dumpMap(*s->document().bigView());
  script.wait(0.5);
  EXPECT_EQ(MapFormats::dumpMap(*s->document().bigView()), closed);
  MapFormats::ParsedMap map = saved(file("garden.qlm"));
  std::vector<std::string> texts;
  for (const auto& t : map.topics) texts.push_back(t.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"garden", "Buy", "milk"}));

  // Undo right after a split takes back the whole edit, and the split never comes.
  s.reset();
  s = open("garden.qlm");
  ASSERT_TRUE(s);
  kit::EventScript again(s->window());
  root = s->document().bigView()->rootNode();
  leaf = root->childNodes()[0].get();
  s->document().bigView()->selectAndEditNode(leaf);
  again.type(" and eggs");
  leaf->inPlaceEditTextView()->setSelectedRange(kit::TextRange{3, 0});
  for (int i = 0; i < 3; ++i) again.key(kit::Key::Return);
  s->undo();
  again.wait(0.5);
  EXPECT_EQ(leaf->strName(), "Buy");
  EXPECT_EQ(root->childNodes().size(), 2u);
  EXPECT_EQ(NodeView::currentEditingTopic(), nullptr);
  AppServices::setKeyboardShortcutsFlag(false);
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

  // The undo key in the middle of an edit commits it and takes it back; redo brings it again.
  s->document().bigView()->selectAndEditNode(plain);
  time_.runOnce();
  script.type(" tree");
  const std::string typed = plain->inPlaceEditTextView()->text();
  ASSERT_NE(typed, "Plain");
  time_.runOnce();
  s->undo();
  EXPECT_FALSE(plain->isInPlaceEdit());
  EXPECT_EQ(plain->strName(), "Plain");
  s->redo();
  EXPECT_EQ(plain->strName(), typed);
}

namespace {

// A strict reader of the JSON the state file holds, into values (numbers as reals); nullopt when
// the text is not one well-formed JSON object.
class JSONReader {
 public:
  explicit JSONReader(std::string_view text) : s_(text) {}
  std::optional<kit::Value> document() {
    std::optional<kit::Value> v = value();
    blanks();
    if (!v || !v->isDictionary() || i_ != s_.size()) return std::nullopt;
    return v;
  }

 private:
  void blanks() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\t' || s_[i_] == '\r')) ++i_;
  }
  bool literal(std::string_view word) {
    if (s_.substr(i_, word.size()) != word) return false;
    i_ += word.size();
    return true;
  }
  std::optional<std::string> string() {
    if (!literal("\"")) return std::nullopt;
    std::string out;
    while (i_ < s_.size() && s_[i_] != '"') {
      const unsigned char c = static_cast<unsigned char>(s_[i_++]);
      if (c < 0x20) return std::nullopt;
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (i_ >= s_.size()) return std::nullopt;
      const char e = s_[i_++];
      const char* simple = "\"\\/bfnrt";
      const char* meant = "\"\\/\b\f\n\r\t";
      if (const char* p = std::strchr(simple, e); p && e) {
        out += meant[p - simple];
      } else if (e == 'u' && i_ + 4 <= s_.size()) {
        const unsigned long code = std::strtoul(std::string(s_.substr(i_, 4)).c_str(), nullptr, 16);
        i_ += 4;
        if (code < 0x80) out += static_cast<char>(code);
        else if (code < 0x800) out += {static_cast<char>(0xC0 | (code >> 6)), static_cast<char>(0x80 | (code & 0x3F))};
        else out += {static_cast<char>(0xE0 | (code >> 12)), static_cast<char>(0x80 | ((code >> 6) & 0x3F)), static_cast<char>(0x80 | (code & 0x3F))};
      } else {
        return std::nullopt;
      }
    }
    if (!literal("\"")) return std::nullopt;
    return out;
  }
  std::optional<kit::Value> value() {
    blanks();
    if (i_ >= s_.size()) return std::nullopt;
    if (literal("null")) return kit::Value();
    if (literal("true")) return kit::Value(true);
    if (literal("false")) return kit::Value(false);
    if (s_[i_] == '"') {
      std::optional<std::string> str = string();
      return str ? std::optional<kit::Value>(kit::Value(*str)) : std::nullopt;
    }
    if (literal("[")) {
      kit::Array items;
      blanks();
      if (literal("]")) return kit::Value(items);
      do {
        std::optional<kit::Value> v = value();
        if (!v) return std::nullopt;
        items.push_back(*v);
        blanks();
      } while (literal(","));
      return literal("]") ? std::optional<kit::Value>(kit::Value(items)) : std::nullopt;
    }
    if (literal("{")) {
      kit::Dictionary members;
      blanks();
      if (literal("}")) return kit::Value(members);
      do {
        blanks();
        std::optional<std::string> key = string();
        blanks();
        if (!key || !literal(":")) return std::nullopt;
        std::optional<kit::Value> v = value();
        if (!v) return std::nullopt;
        members.emplace(*key, *v);
        blanks();
      } while (literal(","));
      return literal("}") ? std::optional<kit::Value>(kit::Value(members)) : std::nullopt;
    }
    const std::size_t start = i_;
    while (i_ < s_.size() && std::strchr("+-0123456789.eE", s_[i_])) ++i_;
    if (start == i_) return std::nullopt;
    const std::string number(s_.substr(start, i_ - start));
    char* end = nullptr;
    const double d = std::strtod(number.c_str(), &end);
    if (end != number.c_str() + number.size()) return std::nullopt;
    return kit::Value(d);
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

// Sets QUILLMERE_STATE for its lifetime.
class StateFileScope {
 public:
  explicit StateFileScope(std::string path) : path_(std::move(path)) { ::setenv("QUILLMERE_STATE", path_.c_str(), 1); }
  ~StateFileScope() { ::unsetenv("QUILLMERE_STATE"); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

TEST_F(EditSessionTest, TheStateFileDescribesTheWindowAndIsRewrittenOnlyWhenItChanges) {
  StateFileScope state(home_.path() + "/state.json");
  std::unique_ptr<EditSession> s = open("garden.qlm");
  ASSERT_TRUE(s);
  s->document().setMapSetting("KeepOrganised", false);
  s->setWindowSize(kit::Size(800, 600));
  NodeView* root = s->document().bigView()->rootNode();
  NodeView* leaf = addChild(*s, root, "x", 0, 150);
  leaf->setStrName("Say \"hi\"\t\\ now\nline2 \xC3\xA9\x01");
  leaf->_calcLayout();
  addChild(*s, root, "Far away", 5000, 0);  // outside the window: not listed
  s->document().bigView()->setSelectedNode(root, false);
  s->document().setModified();
  s->setHostValue("lastFrameMs", 3.25);
  s->setHostValue("frames", 12);
  time_.runOnce();
  s->writeStateIfChanged();

  const std::optional<std::string> text = FileManager::readText(state.path());
  ASSERT_TRUE(text);
  // Strings escaped as JSON wants them; numbers in the C locale's way.
  EXPECT_NE(text->find("\"text\": \"Say \\\"hi\\\"\\t\\\\ now\\nline2 \xC3\xA9\\u0001\""), std::string::npos) << *text;
  EXPECT_NE(text->find("\"host\": {\"frames\": 12, \"lastFrameMs\": 3.25}"), std::string::npos) << *text;
  const std::optional<kit::Value> json = JSONReader(*text).document();
  ASSERT_TRUE(json) << *text;
  const kit::Value& v = *json;
  EXPECT_EQ(v["pid"].doubleValue(), double(::getpid()));
  EXPECT_EQ(v["title"].string(), "garden *");
  EXPECT_EQ(v["modified"], kit::Value(true));
  EXPECT_EQ(v["saves"].doubleValue(), 1);
  EXPECT_EQ(v["path"].string(), file("garden.qlm"));
  EXPECT_EQ(v["window"]["w"].doubleValue(), 800);
  EXPECT_EQ(v["window"]["h"].doubleValue(), 600);
  EXPECT_EQ(v["selected"].string(), root->uuid());
  EXPECT_TRUE(v["editing"].isNull());
  EXPECT_EQ(v["menu"]["visible"], kit::Value(false));
  EXPECT_EQ(v["menu"]["items"].array().size(), 0u);
  EXPECT_EQ(v["screens"].array().size(), 0u);
  EXPECT_TRUE(v["alert"].isNull());
  EXPECT_EQ(v["pasteboard"]["changeCount"].doubleValue(), double(kit::Pasteboard::general().changeCount()));
  const kit::Array& topics = v["topics"].array();
  ASSERT_EQ(topics.size(), 2u);
  EXPECT_EQ(topics[0]["uuid"].string(), root->uuid());
  EXPECT_TRUE(topics[0]["parent"].isNull());
  EXPECT_EQ(topics[0]["text"].string(), "garden");
  // The central topic stays in the middle of the resized window.
  EXPECT_NEAR(topics[0]["x"].doubleValue() + topics[0]["w"].doubleValue() / 2, 400, 1);
  EXPECT_NEAR(topics[0]["y"].doubleValue() + topics[0]["h"].doubleValue() / 2, 300, 1);
  EXPECT_EQ(topics[1]["parent"].string(), root->uuid());
  EXPECT_EQ(topics[1]["text"].string(), leaf->strName());
  EXPECT_NEAR(topics[1]["y"].doubleValue() + topics[1]["h"].doubleValue() / 2, 450, 3);

  // Unchanged: not written again; a new selection and an edit are.
  ASSERT_TRUE(FileManager::remove(state.path()));
  s->writeStateIfChanged();
  EXPECT_FALSE(FileManager::exists(state.path()));
  s->document().bigView()->selectAndEditNode(leaf);
  time_.runOnce();
  s->writeStateIfChanged();
  const std::optional<kit::Value> edited = JSONReader(FileManager::readText(state.path()).value_or("")).document();
  ASSERT_TRUE(edited);
  EXPECT_EQ((*edited)["selected"].string(), leaf->uuid());
  EXPECT_EQ((*edited)["editing"]["uuid"].string(), leaf->uuid());
  EXPECT_EQ((*edited)["editing"]["text"].string(), leaf->strName());

  // However many topics show, at most 2,000 are listed.
  for (int i = 0; i < 2100; ++i) s->document().bigView()->createChildNodeOf(root, root->center());
  s->writeStateIfChanged();
  const std::optional<kit::Value> crowded = JSONReader(FileManager::readText(state.path()).value_or("")).document();
  ASSERT_TRUE(crowded);
  EXPECT_EQ((*crowded)["topics"].array().size(), EditSession::kMostStateTopics);
}

namespace {

// The names in a folder that match a pattern.
std::vector<std::string> namesLike(const std::string& folder, const std::string& pattern) {
  std::vector<std::string> found;
  const std::regex re(pattern);
  for (const std::string& name : FileManager::listDirectory(folder).value_or(std::vector<std::string>{}))
    if (std::regex_match(name, re)) found.push_back(name);
  return found;
}

std::string lastAlert() { return kit::Alert::shown().empty() ? std::string() : kit::Alert::shown().back().message; }

// Sets QUILLMERE_HOME for its lifetime, and puts the old one back.
class HomeScope {
 public:
  explicit HomeScope(const std::string& home) : old_(std::getenv("QUILLMERE_HOME") ? std::getenv("QUILLMERE_HOME") : "") {
    ::setenv("QUILLMERE_HOME", home.c_str(), 1);
  }
  ~HomeScope() { ::setenv("QUILLMERE_HOME", old_.c_str(), 1); }

 private:
  std::string old_;
};

}  // namespace

// A map is open in one window at a time; what another program writes is never written over.
TEST_F(EditSessionTest, ASecondWindowIsRefusedAndAFileChangedElsewhereIsSavedBesideIt) {
  std::unique_ptr<EditSession> a = open("garden.qlm");
  ASSERT_TRUE(a);
  const std::string refused = refusal(file("garden.qlm"));
  EXPECT_NE(refused.find("already open in another window"), std::string::npos) << refused;
  EXPECT_NE(refused.find("process " + std::to_string(::getpid())), std::string::npos) << refused;
  // A link to the open map, under another name, is the same map.
  ASSERT_EQ(::symlink(file("garden.qlm").c_str(), file("plot.qlm").c_str()), 0);
  const std::string viaLink = refusal(file("plot.qlm"));
  EXPECT_NE(viaLink.find("already open in another window"), std::string::npos) << viaLink;
  // The same name in another folder is another map, with versions of its own.
  ASSERT_TRUE(FileManager::createDirectories(dir + "/other"));
  std::string error;
  std::unique_ptr<EditSession> b = EditSession::open(dir + "/other/garden.qlm", error);
  ASSERT_TRUE(b) << error;
  b->document().bigView()->rootNode()->setStrName("Other garden");
  b->document().setModified();
  EXPECT_TRUE(b->close().saved);
  b.reset();

  // Another program rewrites the file: the window's edit goes beside it, and says so.
  NodeView* root = a->document().bigView()->rootNode();
  root->setStrName("Window's garden");
  a->document().setModified();
  {
    PseudoMapViewController other;
    ASSERT_TRUE(other.loadMapFromFile(file("garden.qlm")));
    other.bigView()->rootNode()->setStrName("Other program's garden");
    ASSERT_TRUE(other.saveMapToFile(file("garden.qlm")));
  }
  time_.runFor(31);
  EXPECT_EQ(saved(file("garden.qlm")).topics[0].text, "Other program's garden");
  const std::vector<std::string> beside =
      namesLike(dir, R"(garden \(conflict \d{4}-\d{2}-\d{2} \d{6}\)\.qlm)");
  ASSERT_EQ(beside.size(), 1u);
  EXPECT_EQ(saved(file(beside[0])).topics[0].text, "Window's garden");
  EXPECT_NE(lastAlert().find("'" + beside[0] + "'"), std::string::npos) << lastAlert();
  EXPECT_NE(lastAlert().find("changed by another program"), std::string::npos) << lastAlert();
  // Later saves go there; a removed file is not brought back either.
  root->setStrName("Window's garden, later");
  a->document().setModified();
  EXPECT_TRUE(a->close().saved);
  EXPECT_EQ(saved(file(beside[0])).topics[0].text, "Window's garden, later");
  EXPECT_EQ(saved(file("garden.qlm")).topics[0].text, "Other program's garden");
  a.reset();

  // Closed, the map opens again; a file removed meanwhile is not written again.
  a = open("garden.qlm");
  ASSERT_TRUE(a);
  ASSERT_TRUE(FileManager::remove(file("garden.qlm")));
  a->document().bigView()->rootNode()->setStrName("After the removal");
  a->document().setModified();
  EXPECT_TRUE(a->close().saved);
  EXPECT_FALSE(FileManager::exists(file("garden.qlm")));
  EXPECT_EQ(namesLike(dir, R"(garden \(conflict .*\)\.qlm)").size(), 2u);
  EXPECT_NE(lastAlert().find("removed by another program"), std::string::npos) << lastAlert();

  // The other folder's map kept its own version.
  const std::vector<std::string> versions = namesLike(home_.path() + "/Documents/versions", "garden-.*");
  EXPECT_EQ(versions.size(), 2u);
}

// A save that fails keeps the window and says why; closing again keeps the edits in the home.
TEST_F(EditSessionTest, AFailedSaveKeepsTheWindowOpenAndClosingAgainWritesARecoveryCopy) {
  const std::string folder = dir + "/gone";
  ASSERT_TRUE(FileManager::createDirectories(folder));
  std::string error;
  std::unique_ptr<EditSession> s = EditSession::open(folder + "/garden.qlm", error);
  ASSERT_TRUE(s) << error;
  ASSERT_TRUE(FileManager::remove(folder));
  s->document().bigView()->rootNode()->setStrName("Kept");
  s->document().setModified();
  time_.runFor(31);  // the tick cannot save: said once, with why
  ASSERT_EQ(kit::Alert::shown().size(), 1u);
  EXPECT_NE(lastAlert().find("does not exist"), std::string::npos) << lastAlert();
  time_.runFor(30);
  EXPECT_EQ(kit::Alert::shown().size(), 1u);
  EXPECT_EQ(s->title(), "garden *");

  EditSession::Closing first = s->close();
  EXPECT_FALSE(first.closed);
  EXPECT_EQ(kit::Alert::shown().size(), 2u);
  EXPECT_NE(lastAlert().find("does not exist"), std::string::npos) << lastAlert();
  EditSession::Closing second = s->close();
  EXPECT_TRUE(second.closed);
  EXPECT_FALSE(second.saved);
  const std::string recovered = home_.path() + "/Documents/recovered";
  const std::vector<std::string> copies = namesLike(recovered, R"(garden-\d{8}-\d{6}\.qlm)");
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(saved(recovered + "/" + copies[0]).topics[0].text, "Kept");
  EXPECT_NE(second.message.find("'" + recovered + "/" + copies[0] + "'"), std::string::npos) << second.message;
  EXPECT_EQ(second.message.find('\n'), std::string::npos);

  // A signal does not ask twice.
  ASSERT_TRUE(FileManager::createDirectories(folder));
  s.reset();
  s = EditSession::open(folder + "/garden.qlm", error);
  ASSERT_TRUE(s) << error;
  ASSERT_TRUE(FileManager::remove(folder));
  s->document().setModified();
  EXPECT_TRUE(s->close(true).closed);
  EXPECT_EQ(namesLike(recovered, R"(garden-.*\.qlm)").size(), 2u);
}

// A home that cannot be written does not make a saved map a failure: the line says what failed.
TEST_F(EditSessionTest, AnUnwritableHomeStillSavesTheMapAndSaysItKeptNoVersion) {
  write("blocker", "a file where the home's folder would be");
  std::unique_ptr<EditSession> s;
  EditSession::Closing closed;
  {
    HomeScope home(file("blocker") + "/home");
    s = open("garden.qlm");
    ASSERT_TRUE(s);
    s->document().bigView()->rootNode()->setStrName("Saved anyway");
    s->document().setModified();
    closed = s->close();
  }
  EXPECT_TRUE(closed.closed);
  EXPECT_TRUE(closed.saved);
  EXPECT_EQ(saved(file("garden.qlm")).topics[0].text, "Saved anyway");
  EXPECT_NE(closed.message.find(file("blocker") + "/home/Documents/versions/"), std::string::npos) << closed.message;
  EXPECT_NE(closed.message.find("Not a directory"), std::string::npos) << closed.message;
}

// The tick never saves a map in the middle of a drag; the first tick after it does.
TEST_F(EditSessionTest, TheTickWaitsForADragToEnd) {
  std::unique_ptr<EditSession> s = open("garden.qlm");
  ASSERT_TRUE(s);
  s->document().setMapSetting("KeepOrganised", false);
  addChild(*s, s->document().bigView()->rootNode(), "Leaf", 200, 0);
  s->document().setModified();
  ASSERT_TRUE(s->close().saved);
  s.reset();
  s = open("garden.qlm");
  ASSERT_TRUE(s);
  ASSERT_EQ(s->document().bigView()->rootNode()->childNodes().size(), 1u);
  NodeView* leaf = s->document().bigView()->rootNode()->childNodes()[0].get();
  const float before = leaf->center().y;
  kit::EventScript script(s->window());
  const Point p = on(*s, leaf);
  script.down(p);
  script.move(Point(p.x + 40, p.y + 60));
  script.move(Point(p.x + 80, p.y + 120));
  ASSERT_EQ(s->document().bigView()->draggingTopic(), leaf);
  s->document().setModified();
  time_.runFor(45);
  EXPECT_EQ(s->saveCount(), 0);
  ASSERT_TRUE(saved(file("garden.qlm")).topics[1].position);
  EXPECT_EQ(saved(file("garden.qlm")).topics[1].position->y, before);
  script.up(Point(p.x + 80, p.y + 120));
  time_.runFor(11);
  EXPECT_EQ(s->saveCount(), 1);
  EXPECT_NE(saved(file("garden.qlm")).topics[1].position->y, before);
}

// Names made from a map's name by adding to it (its lock and versions, its recovery copy, an
// imported outline's map) keep within the system's limit on a name.
TEST_F(EditSessionTest, NamesMadeFromALongMapNameFitTheLimitOnAName) {
  const std::string folder = dir + "/long", stem(240, 'm');
  ASSERT_TRUE(FileManager::createDirectories(folder));
  std::string error;
  std::unique_ptr<EditSession> s = EditSession::open(folder + "/" + stem + ".qlm", error);
  ASSERT_TRUE(s) << error;
  EXPECT_NE(refusal(folder + "/" + stem + ".qlm").find("already open in another window"), std::string::npos);
  ASSERT_TRUE(FileManager::remove(folder));
  s->document().setModified();
  const EditSession::Closing closed = s->close(true);
  const std::vector<std::string> copies = namesLike(home_.path() + "/Documents/recovered", "m{200,}-\\d{8}-\\d{6}\\.qlm");
  ASSERT_EQ(copies.size(), 1u) << closed.message;
  EXPECT_EQ(copies[0].size(), 255u);

  write(std::string(254, 'o'), "Plan\n\tOne\n");
  s = open(std::string(254, 'o'));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->mapPath(), file(std::string(251, 'o') + ".qlm"));
}

// An outline takes its time to import: a map another program makes meanwhile in the place of the
// import's map is left as it is, and the import is refused as when that map was there before.
TEST_F(EditSessionTest, AMapMadeElsewhereWhileAnOutlineIsImportedIsNotWrittenOver) {
  std::string outline = "Big\n";
  for (int i = 0; i < 3000; ++i) outline += "\tTopic " + std::to_string(i) + "\n";
  write("big.txt", outline);
  // The other program writes as the window takes the map's lock, before the import's layout.
  const std::string locks = home_.path() + "/tmp/locks";
  ASSERT_TRUE(FileManager::createDirectories(locks));
  const int watch = ::inotify_init1(IN_CLOEXEC);
  ASSERT_GE(::inotify_add_watch(watch, locks.c_str(), IN_CREATE), 0);
  std::thread other([&] {
    pollfd ready{watch, POLLIN, 0};
    if (::poll(&ready, 1, 20000) == 1) FileManager::write(file("big.qlm"), "the other program's");
  });
  const std::string refused = refusal(file("big.txt"));
  other.join();
  ::close(watch);
  EXPECT_NE(refused.find("big.qlm' already exists"), std::string::npos) << refused;
  EXPECT_EQ(FileManager::readText(file("big.qlm")).value_or("").substr(0, 40), "the other program's");
}
