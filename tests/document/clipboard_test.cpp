// Copying, cutting and pasting topics through the open maps, the general pasteboard and the
// record files.
#include <gtest/gtest.h>

#include <set>

#include "document/pseudo_map_view_controller.h"
#include "formats/map_formats.h"
#include "helpers/global_helpers_identifiers.h"
#include "kit/core/app_paths.h"
#include "kit/core/files.h"
#include "kit/core/run_loop.h"
#include "kit/graphics/image_context.h"
#include "kit/io/plist.h"
#include "kit/testing/fixtures.h"
#include "kit/testing/hostile_input.h"
#include "kit/ui/alert.h"
#include "kit/ui/pasteboard.h"
#include "model/asset_library.h"

namespace {

using GlobalHelpers::kTopicAttributesPasteboardType;
using GlobalHelpers::kTopicPasteboardType;

class ClipboardTest : public kit::AppHomeTest {
 protected:
  void SetUp() override {
    kit::Pasteboard::general().clear();
    a_ = open("11111111-1111-4111-8111-111111111111");
    b_ = open("22222222-2222-4222-8222-222222222222");
    BigView& canvas = *a_->bigView();
    branch_ = add(canvas, canvas.rootNode(), "Alpha", {200, 0});
    add(canvas, branch_, "Beta mentions uuid=\"x\"", {350, -50});
    NodeView* gamma = add(canvas, branch_, "Gamma", {350, 60});
    add(canvas, gamma, "Delta", {500, 60});
    branch_->setColourFromString("#FF8000");
  }
  void TearDown() override {
    a_.reset();
    b_.reset();
    kit::Pasteboard::general().clear();
  }

  static std::unique_ptr<PseudoMapViewController> open(const char* id) {
    auto doc = std::make_unique<PseudoMapViewController>();
    doc->setMapID(id);
    doc->bigView()->createChildNodeOf(nullptr, kit::Point(500, 500))->setStrName("Centre");
    kit::RunLoop::main().runOnce();
    return doc;
  }
  static NodeView* add(BigView& canvas, NodeView* parent, const char* text, kit::Point at) {
    const kit::Point c = canvas.rootNode()->center();  // offsets from the central topic
    NodeView* n = canvas.createChildNodeOf(parent, kit::Point(c.x + at.x, c.y + at.y));
    n->setStrName(text);
    return n;
  }
  static std::string xml(PseudoMapViewController& doc) { return MapFormats::dumpMap(*doc.bigView()); }
  static std::vector<std::string> texts(NodeView* top) {
    std::vector<std::string> out;
    for (NodeView* n : top->getListOfDescendents()) out.push_back(n->strName());
    return out;
  }
  static bool sameColour(RGB255 x, RGB255 y) { return x.r == y.r && x.g == y.g && x.b == y.b; }
  static std::string clipboardFile(int n) {
    return kit::AppPaths::temporary() + "/" + GlobalHelpers::clipboardNameForType(n);
  }

  std::unique_ptr<PseudoMapViewController> a_, b_;
  NodeView* branch_ = nullptr;
};

}  // namespace

TEST_F(ClipboardTest, CopiedBranchPastesIntoAnotherMapWithNewIdentities) {
  a_->bigView()->setSelectedNode(branch_, false);
  a_->bigView()->copySelectedNodeToClipboard();

  const kit::Pasteboard& board = kit::Pasteboard::general();
  EXPECT_EQ(board.numberOfItems(), 1u);
  EXPECT_EQ(board.valueForPasteboardType(kTopicPasteboardType).string(), "data in file");
  // The plain-text flavour is the Markdown outline, in reading order.
  EXPECT_EQ(board.string(), "- Alpha\n    - Beta mentions uuid=\"x\"\n    - Gamma\n        - Delta\n");
  const kit::Value attributes = BigView::clipboardTopicAttributes();
  ASSERT_TRUE(attributes.isDictionary());
  EXPECT_FALSE(attributes.dictionary().empty());
  auto record = kit::plist::readFile(clipboardFile(1));
  ASSERT_TRUE(record && record->isDictionary());
  EXPECT_EQ((*record)["relpos"].intValue(), 2);  // right of the centre
  EXPECT_TRUE((*record)["Assets"].isNull());     // no images, no map id

  std::set<std::string> copied;
  for (NodeView* n : branch_->getListOfDescendents()) copied.insert(n->uuid());

  BigView& target = *b_->bigView();
  target.setSelectedNode(target.rootNode(), false);
  ASSERT_TRUE(target.pasteClipboard(1, Side::Automatic, false));
  NodeView* pasted = target.lastLoadedRootNode();
  ASSERT_NE(pasted, nullptr);
  EXPECT_EQ(pasted->parentNode(), target.rootNode());
  EXPECT_EQ(texts(pasted), texts(branch_));  // a text mentioning uuid is left as it was
  EXPECT_TRUE(sameColour(pasted->colour255(), branch_->colour255()));
  EXPECT_TRUE(pasted->isLogicallyToRightOfRoot());
  for (NodeView* n : pasted->getListOfDescendents()) EXPECT_FALSE(copied.count(n->uuid())) << n->strName();

  // Pasted again into the map it came from, and as floating: still new identities.
  a_->bigView()->setSelectedNode(a_->bigView()->rootNode(), false);
  ASSERT_TRUE(a_->bigView()->pasteClipboard(1, Side::Automatic, true));
  NodeView* floating = a_->bigView()->lastLoadedRootNode();
  ASSERT_NE(floating, nullptr);
  EXPECT_TRUE(floating->isFloating());
  EXPECT_FALSE(copied.count(floating->uuid()));
  EXPECT_EQ(a_->bigView()->getTopicCount(nullptr), 1 + 4 + 4);

  // The working clipboard never touches the general pasteboard.
  const auto count = board.changeCount();
  a_->bigView()->copyNode(a_->bigView()->rootNode(), 2);
  EXPECT_EQ(board.changeCount(), count);
  EXPECT_EQ(kit::plist::readFile(clipboardFile(2)).value()["relpos"].intValue(), 0);
  ASSERT_TRUE(a_->bigView()->pasteClipboard(2, Side::Automatic, false));  // floating topics come as ordinary
  for (NodeView* n : a_->bigView()->lastLoadedRootNode()->getListOfDescendents()) EXPECT_FALSE(n->isFloating());
}

TEST_F(ClipboardTest, TextFromOtherProgramsBecomesTopics) {
  BigView& canvas = *b_->bigView();
  canvas.setSelectedNode(canvas.rootNode(), false);
  kit::Pasteboard::general().setString("One\n\tTwo\n    Three\nFour\n");
  ASSERT_TRUE(canvas.pasteClipboard(1, Side::Automatic, false));
  NodeView* top = canvas.lastLoadedRootNode();
  ASSERT_NE(top, nullptr);
  // Two top-level lines hang under one "Clipboard" topic.
  EXPECT_EQ(texts(top), (std::vector<std::string>{"Clipboard", "One", "Two", "Three", "Four"}));
  ASSERT_EQ(top->childNodes().size(), 2u);
  EXPECT_EQ(top->childNodes()[0]->childNodes().size(), 2u);

  // A link to an image is not text.
  kit::Pasteboard::general().setItems({kit::Pasteboard::Item{
      {std::string(kit::kPasteboardTypeUTF8PlainText), kit::Value("file:///nowhere.png")},
      {std::string(kit::kPasteboardTypeURL), kit::Value("file:///nowhere.png")}}});
  const std::string before = xml(*b_);
  EXPECT_FALSE(canvas.pasteClipboard(1, Side::Automatic, false));
  EXPECT_EQ(xml(*b_), before);
}

TEST_F(ClipboardTest, BadInputPastesTopicsOrNothing) {
  BigView& canvas = *b_->bigView();
  kit::Pasteboard& board = kit::Pasteboard::general();
  auto refused = [&](const char* what) {
    canvas.setSelectedNode(canvas.rootNode(), false);
    const std::string before = xml(*b_);
    EXPECT_FALSE(canvas.pasteClipboard(1, Side::Automatic, false)) << what;
    EXPECT_EQ(xml(*b_), before) << what;
  };

  for (const auto& [data, why] : {std::pair{kit::Data{0xFF, 0xD8, 0x00, 0x9C, 0x80}, "is not UTF-8. Copy it again as UTF-8 text."},
                                  {kit::Data{'a', 0, 'b'}, "holds a null character, as binary data does. Copy it again as plain text."}}) {
    board.setData(data, kit::kPasteboardTypePlainText);
    kit::Alert::clearShown();
    refused(why);
    EXPECT_EQ(kit::Alert::shown().empty() ? "" : kit::Alert::shown().back().message, std::string("The text on the clipboard ") + why);
  }
  board.setData(kit::Data{'n', 'o', 't', ' ', 'p', 'n', 'g'}, kit::kPasteboardTypePNG);
  refused("an image that is not one");
  // A PNG header claiming 100000 x 100000 pixels.
  board.setData(kit::Data{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                          0, 1, 0x86, 0xA0, 0, 1, 0x86, 0xA0, 8, 6, 0, 0, 0, 0x1C, 0x6B, 0xE5, 0x3A},
                kit::kPasteboardTypePNG);
  refused("an image too large");

  // Our own type over a damaged record, then over a record of something else.
  board.setValue(kit::Value("data in file"), kTopicPasteboardType);
  kit::FileManager::writeAtomically(clipboardFile(1), std::string_view("bplist00\xFF\x01"));
  refused("damaged record");
  kit::plist::writeFile(clipboardFile(1), kit::Value(kit::Dictionary{{"xml", kit::Value(42)}, {"relpos", kit::Value("x")}}));
  refused("record of wrong types");
  kit::plist::writeFile(clipboardFile(1), kit::Value(kit::Dictionary{{"xml", kit::Value("<svg><g/></svg>")}}));
  refused("foreign XML");

  // A very deep outline is more than the reader takes: refused, with the alert saying so.
  std::string deep;
  for (int i = 0; i < 3000; ++i) deep += std::string(i, '\t') + "level\n";
  board.setString(deep);
  kit::Alert::clearShown();
  refused("deep outline");
  EXPECT_EQ(kit::Alert::shown().size(), 1u);

  // Control characters are dropped, the rest become topics.
  board.setString("bell\x07 ring\n\tnul\x01 byte\x1F\n");
  canvas.setSelectedNode(canvas.rootNode(), false);
  ASSERT_TRUE(canvas.pasteClipboard(1, Side::Automatic, false));
  EXPECT_EQ(texts(canvas.lastLoadedRootNode()), (std::vector<std::string>{"bell ring", "nul byte"}));
  EXPECT_TRUE(MapFormats::parseMapXML(xml(*b_)).map);

  // A long flat list pastes up to 10,000 lines (blank ones do not count); one line more, or more
  // than 1 MB of text, is refused with an alert that says what a paste takes.
  std::string huge;
  for (int i = 0; i < 10000; ++i) huge += "line " + std::to_string(i) + "\n\n  \n";
  board.setString(huge);
  canvas.setSelectedNode(canvas.rootNode(), false);
  const int before = canvas.getTopicCount(nullptr);
  ASSERT_TRUE(canvas.pasteClipboard(1, Side::Automatic, false));
  EXPECT_EQ(canvas.getTopicCount(nullptr), before + 10001);
  auto refusedWithAlert = [&](const std::string& text, const std::string& why) {
    board.setString(text);
    kit::Alert::clearShown();
    refused(why.c_str());
    ASSERT_EQ(kit::Alert::shown().size(), 1u) << why;
    EXPECT_EQ(kit::Alert::shown().back().message,
              "The text on the clipboard " + why + ". A paste takes at most 1 MB of text in at most 10,000 lines.");
  };
  refusedWithAlert(huge + "one more", "has 10,001 lines");
  refusedWithAlert(std::string(1'000'001, 'x'), "is more than 1 MB");
}

TEST_F(ClipboardTest, CutAndPasteUndoRestoreTheMap) {
  BigView& canvas = *a_->bigView();
  const std::string original = xml(*a_);
  canvas.setSelectedNode(branch_, false);
  canvas.cutSelectedNodeToClipboard();
  EXPECT_EQ(canvas.getTopicCount(nullptr), 1);
  ASSERT_TRUE(a_->undoManager()->undo());
  EXPECT_EQ(xml(*a_), original);

  canvas.setSelectedNode(canvas.rootNode(), false);
  ASSERT_TRUE(canvas.pasteClipboard(1, Side::Left, false));
  EXPECT_EQ(canvas.getTopicCount(nullptr), 9);
  EXPECT_FALSE(canvas.lastLoadedRootNode()->isLogicallyToRightOfRoot());
  ASSERT_TRUE(a_->undoManager()->undo());
  EXPECT_EQ(xml(*a_), original);
}

TEST_F(ClipboardTest, PasteStyleAppliesTheCopiedAttributes) {
  BigView& canvas = *a_->bigView();
  canvas.setSelectedNode(branch_, false);
  canvas.copySelectedNodeToClipboard();
  NodeView* target = canvas.rootNode()->childNodes()[0]->childNodes()[0].get();
  ASSERT_FALSE(sameColour(target->colour255(), branch_->colour255()));
  ASSERT_TRUE(canvas.pasteStyleOnto(target, 0xFFFFFFFFu, 0));
  EXPECT_TRUE(sameColour(target->colour255(), branch_->colour255()));
  kit::Pasteboard::general().setString("plain");
  EXPECT_FALSE(canvas.pasteStyleOnto(target, 0xFFFFFFFFu, 0));
  // Another application's bytes under our type, nested far too deeply, are no attributes.
  for (const std::string& deep : {kit::testing::nestedBinaryPlist(100000), kit::testing::nestedXMLPlist(200000)}) {
    kit::Pasteboard::general().setData(kit::Data(deep.begin(), deep.end()), GlobalHelpers::kTopicAttributesPasteboardType);
    EXPECT_FALSE(canvas.pasteStyleOnto(target, 0xFFFFFFFFu, 0));
  }
  EXPECT_TRUE(sameColour(target->colour255(), branch_->colour255()));
}

TEST_F(ClipboardTest, ImagesBecomeTopicImagesAndTravelWithCopiedTopics) {
  BigView& canvas = *a_->bigView();
  auto png = kit::ImageContext::create(kit::Size(30, 20), true)->image()->pngData();
  ASSERT_TRUE(png);
  kit::Pasteboard::general().setData(*png, kit::kPasteboardTypePNG);

  // Without the crosshair the selected topic takes the image; floating, a new floating topic does.
  canvas.setSelectedNode(branch_, false);
  ASSERT_TRUE(canvas.pasteClipboard(1, Side::Automatic, false));
  ASSERT_TRUE(branch_->getImage());
  EXPECT_EQ(canvas.getTopicCount(nullptr), 5);
  ASSERT_TRUE(canvas.pasteClipboard(1, Side::Automatic, true));
  EXPECT_EQ(canvas.getTopicCount(nullptr), 6);
  EXPECT_TRUE(canvas.selectedNode()->isFloating());
  EXPECT_TRUE(canvas.selectedNode()->getImage());

  // Copied into another map, the image file comes along.
  const std::string image = *branch_->getImage();
  canvas.setSelectedNode(branch_, false);
  canvas.copySelectedNodeToClipboard();
  auto record = kit::plist::readFile(clipboardFile(1));
  ASSERT_TRUE(record);
  EXPECT_EQ((*record)["MapID"].string(), a_->mapID());
  auto library = AssetLibrary::assetLibraryForMap(b_->mapID());
  ASSERT_TRUE(library);
  EXPECT_FALSE(kit::FileManager::exists(library->getPathForAsset(image)));
  b_->bigView()->setSelectedNode(b_->bigView()->rootNode(), false);
  ASSERT_TRUE(b_->bigView()->pasteClipboard(1, Side::Automatic, false));
  EXPECT_EQ(b_->bigView()->lastLoadedRootNode()->getImage(), image);
  EXPECT_TRUE(kit::FileManager::exists(library->getPathForAsset(image)));
}

TEST_F(ClipboardTest, APasteThatLoadsNothingChangesNothingAndRecordsNothing) {
  BigView& canvas = *a_->bigView();
  const std::string path = kit::AppPaths::temporary() + "/pasting.qlm";
  ASSERT_TRUE(a_->saveMapToFile(path));
  ASSERT_TRUE(a_->loadMapFromFile(path));
  const std::string original = xml(*a_);
  // The pasteboard offers a copied topic whose record is gone.
  kit::Pasteboard::general().setItems({{{std::string(kTopicPasteboardType), kit::Value("data in file")}}});
  kit::FileManager::remove(clipboardFile(1));
  canvas.setSelectedNode(canvas.rootNode(), true);
  kit::RunLoop::main().runOnce();
  for (const char* action : {"_paste:", "pasteandfloattopic:"}) {
    ASSERT_TRUE(canvas.performAction(action, nullptr));
    kit::RunLoop::main().runOnce();
    EXPECT_EQ(xml(*a_), original) << action;
    EXPECT_FALSE(a_->undoManager()->canUndo()) << action;
  }
}
