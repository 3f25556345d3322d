// Undoing and redoing a topic's image through the open map.
#include <gtest/gtest.h>

#include "document/pseudo_map_view_controller.h"
#include "kit/core/run_loop.h"
#include "kit/graphics/image_context.h"
#include "kit/testing/fixtures.h"
#include "model/asset_library.h"

namespace {

class TopicImageUndoTest : public kit::AppHomeTest {
 protected:
  void SetUp() override {
    doc_ = std::make_unique<PseudoMapViewController>();
    doc_->setMapID("12345678-1234-4234-8234-123456789ABC");
    root_ = doc_->bigView()->createChildNodeOf(nullptr, kit::Point(500, 500));
    endPass();
  }
  void TearDown() override { doc_.reset(); }

  void endPass() { kit::RunLoop::main().runOnce(); }
  std::string store(float w, float h) {
    auto ic = kit::ImageContext::create(kit::Size(w, h), true);
    return AssetLibrary::assetLibraryForMap(doc_->mapID())->saveAsset(ic->image()).value_or("");
  }

  std::unique_ptr<PseudoMapViewController> doc_;
  NodeView* root_ = nullptr;
};

}  // namespace

TEST_F(TopicImageUndoTest, UndoAndRedoStepThroughTheImages) {
  const std::string first = store(40, 20), second = store(30, 30);
  ASSERT_FALSE(first.empty() || second.empty());
  root_->setImage(first, true);
  endPass();
  root_->setImage(second, true);
  endPass();
  EXPECT_TRUE(doc_->isModified());

  kit::UndoManager& undo = *doc_->undoManager();
  ASSERT_TRUE(undo.undo());
  EXPECT_EQ(root_->getImage(), first);
  EXPECT_EQ(root_->imageSize(), kit::Size(40, 20));
  ASSERT_TRUE(undo.undo());
  EXPECT_FALSE(root_->getImage());
  ASSERT_TRUE(undo.redo());
  EXPECT_EQ(root_->getImage(), first);
  ASSERT_TRUE(undo.redo());
  EXPECT_EQ(root_->getImage(), second);
  EXPECT_EQ(root_->imageSize(), kit::Size(30, 30));
}
