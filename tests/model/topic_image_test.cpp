// The topic image setter and the HTML image map of exported pictures.
#include <gtest/gtest.h>

#include <string>

#include "kit/core/files.h"
#include "kit/graphics/image_context.h"
#include "kit/testing/fixtures.h"
#include "model/asset_library.h"
#include "model/node_view.h"
#include "model/tree_builder.h"

namespace {

class TopicImageTest : public kit::AppHomeTest {
 protected:
  TopicImageTest() { root_ = tree_.central(); }

  // Stores a w x h picture in the library of the fake map.
  std::string storeImage(float w, float h) {
    auto ic = kit::ImageContext::create(kit::Size(w, h), true);
    auto id = AssetLibrary::assetLibraryForMap(tree_.doc.mapID())->saveAsset(ic->image());
    return id.value_or("");
  }

  TreeBuilder tree_;
  NodeView* root_ = nullptr;
};

}  // namespace

TEST_F(TopicImageTest, AStoredImageIsLoadedAndRecordedForUndo) {
  const std::string id = storeImage(1000, 500);
  ASSERT_FALSE(id.empty());
  NodeView* child = tree_.add(root_, "child");
  child->setImage(id, true);
  EXPECT_EQ(child->getImage(), id);
  EXPECT_EQ(child->imageSize(), kit::Size(360, 180));
  ASSERT_EQ(tree_.doc.records.size(), 1u);
  EXPECT_EQ(tree_.doc.records[0].action, "topic-image");
  // There was no image before: only the topic's id.
  EXPECT_EQ(tree_.doc.records[0].details, kit::Value(kit::Dictionary{{"uuid", child->uuid()}}));
}

TEST_F(TopicImageTest, ClearingRecordsTheImageUndoingRestores) {
  const std::string id = storeImage(40, 40);
  NodeView* child = tree_.add(root_, "child");
  child->setImage(id, false);
  EXPECT_TRUE(tree_.doc.records.empty());
  child->setImage(std::nullopt, true);
  EXPECT_FALSE(child->getImage());
  EXPECT_EQ(child->imageSize(), kit::Size());
  ASSERT_EQ(tree_.doc.records.size(), 1u);
  EXPECT_EQ(tree_.doc.records[0].details["uuidImage"].string(), id);
  // Nothing to clear: nothing recorded.
  child->setImage(std::nullopt, true);
  EXPECT_EQ(tree_.doc.records.size(), 1u);
}

TEST_F(TopicImageTest, SettingTheSameIdAgainRecordsNothingButReloads) {
  const std::string id = storeImage(40, 40);
  NodeView* child = tree_.add(root_, "child");
  child->setImage(id, true);
  ASSERT_EQ(tree_.doc.records.size(), 1u);
  // The file went away meanwhile: the reload finds nothing to show, and the reference stays.
  AssetLibrary::assetLibraryForMap(tree_.doc.mapID())->removeAsset(id);
  child->setImage(id, true);
  EXPECT_EQ(tree_.doc.records.size(), 1u);
  EXPECT_EQ(child->getImage(), id);
  EXPECT_EQ(child->imageSize(), kit::Size());
}

TEST_F(TopicImageTest, AMissingOrDamagedAssetShowsNoImageButKeepsItsReference) {
  NodeView* child = tree_.add(root_, "child");
  child->setImage(std::string("00000000-0000-4000-8000-000000000000"), true);
  EXPECT_EQ(child->getImage(), "00000000-0000-4000-8000-000000000000");
  EXPECT_EQ(child->imageSize(), kit::Size());
  EXPECT_EQ(tree_.doc.records.size(), 1u);

  AssetLibrary library = *AssetLibrary::assetLibraryForMap(tree_.doc.mapID());
  library.createAssetFolder();
  ASSERT_TRUE(kit::FileManager::write(library.getPathForAsset("DAMAGED"), "not a png"));
  child->setImage(std::string("DAMAGED"), false);
  EXPECT_EQ(child->getImage(), "DAMAGED");
  EXPECT_EQ(child->imageSize(), kit::Size());
}

TEST_F(TopicImageTest, AnEmptyIdClearsTheImage) {
  NodeView* child = tree_.add(root_, "child");
  child->setImage(storeImage(20, 20), false);
  ASSERT_TRUE(child->getImage());
  child->setImage(std::string(), true);
  EXPECT_FALSE(child->getImage());
  EXPECT_EQ(tree_.doc.records.size(), 1u);
}

TEST_F(TopicImageTest, ARootWithAnImageShowsTheLineShape) {
  ASSERT_EQ(root_->getShape(), TopicShape::Unset);
  const std::string id = storeImage(30, 30);
  root_->setImage(id, false);
  EXPECT_EQ(root_->getDisplayShape(), TopicShape::Line);
  // A shape of its own wins.
  root_->setShape(TopicShape::Rectangle, false, false);
  EXPECT_EQ(root_->getDisplayShape(), TopicShape::Rectangle);
}

// ---- HTML image map ----------------------------------------------------------------------------

namespace {

class ImageMapTest : public ::testing::Test {
 protected:
  ImageMapTest() {
    root_ = tree_.central("Central");
    root_->setFrame(kit::Rect(100, 100, 10, 10));
  }
  TreeBuilder tree_;
  NodeView* root_ = nullptr;
};

int countOf(const std::string& s, std::string_view what) {
  int n = 0;
  for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + what.size())) ++n;
  return n;
}

}  // namespace

TEST_F(ImageMapTest, AreasAreRelativeToTheExportedRectangle) {
  std::string out;
  root_->generateHTMLImageMap(out, kit::Rect(50.5f, 60, 1000, 1000));
  const std::string colour = root_->getDisplayColourAsString();
  EXPECT_EQ(out, "<area shape=\"rect\" coords=\"49,40,59,50\" href=\"\" title=\"\" class=\"{stroke:false,fillColor:'" +
                     colour + "',fillOpacity:0.2}\"/> <!-- Central -->\n");
}

TEST_F(ImageMapTest, LinkNoteAndTextCannotBreakOutOfTheMarkup) {
  root_->setStrLink("http://example.com/?a=1&b=\"2\"><script>");
  root_->setStrNote("5 < 6 & \"quoted\"\nnext line é");
  root_->setStrName("Plan --> <b>bold</b>\nline two");
  std::string out;
  root_->generateHTMLImageMap(out, kit::Rect(0, 0, 1000, 1000));
  EXPECT_NE(out.find("href=\"http://example.com/?a=1&amp;b=&quot;2&quot;&gt;&lt;script&gt;\""), std::string::npos) << out;
  EXPECT_NE(out.find("title=\"5 &lt; 6 &amp; &quot;quoted&quot;\nnext line é\""), std::string::npos) << out;
  // One comment, closed only at its end; line breaks gone.
  EXPECT_EQ(countOf(out, "-->"), 1) << out;
  EXPECT_NE(out.find("<!-- Plan - -> <b>bold</b>line two -->\n"), std::string::npos) << out;
  EXPECT_EQ(countOf(out, "<script>"), 0);
}

TEST_F(ImageMapTest, TopicsOutsideTheRectangleAndHiddenChildrenOfFoldedTopicsAreLeftOut) {
  NodeView* inside = tree_.add(root_, "inside");
  inside->setFrame(kit::Rect(150, 100, 10, 10));
  NodeView* outside = tree_.add(root_, "outside");
  outside->setFrame(kit::Rect(5000, 100, 10, 10));
  NodeView* beyond = tree_.add(outside, "below outside");
  beyond->setFrame(kit::Rect(160, 100, 10, 10));  // a child counts even when its parent is outside
  NodeView* hidden = tree_.add(inside, "hidden");
  hidden->setFrame(kit::Rect(170, 100, 10, 10));
  NodeView* remark = tree_.callout(inside, "remark");
  remark->setFrame(kit::Rect(180, 100, 10, 10));
  NodeView* loose = tree_.floating(inside, "loose");
  loose->setFrame(kit::Rect(190, 100, 10, 10));
  NodeViewTestAccess::setFolded(inside, true);

  std::string out;
  root_->generateHTMLImageMap(out, kit::Rect(0, 0, 1000, 1000));
  std::vector<std::string> comments;
  for (std::size_t at = out.find("<!-- "); at != std::string::npos; at = out.find("<!-- ", at + 1))
    comments.push_back(out.substr(at + 5, out.find(" -->", at) - at - 5));
  EXPECT_EQ(comments, (std::vector<std::string>{"Central", "inside", "remark", "loose", "below outside"}));
}

TEST_F(ImageMapTest, AVeryDeepBranchDoesNotExhaustTheStack) {
  NodeView* n = root_;
  for (int i = 0; i < 50000; ++i) n = tree_.add(n, "t");
  std::string out;
  root_->generateHTMLImageMap(out, kit::Rect(0, 0, 100000, 100000));
  EXPECT_EQ(countOf(out, "<area "), 50001);
}
