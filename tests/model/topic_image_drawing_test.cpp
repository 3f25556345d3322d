// A topic draws its image from the map's asset library into the laid-out image box, and reads
// the file once however often it is drawn, from however many threads.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "kit/core/files.h"
#include "kit/graphics/image_context.h"
#include "kit/testing/fixtures.h"
#include "model/asset_library.h"
#include "model/tree_builder.h"

using kit::Point;
using kit::Rect;
using kit::Size;

namespace {

class TopicImageDrawing : public kit::AppHomeTest {
 protected:
  TopicImageDrawing() { tree_.central("Central", Point(1000, 1000)); }

  AssetLibrary library() { return *AssetLibrary::assetLibraryForMap(tree_.doc.mapID()); }

  // Stores a picture of one colour in the fake map's library.
  std::string storeSolid(kit::Color colour, Size size) {
    auto ic = kit::ImageContext::create(size, true);
    ic->context().setFillColor(colour);
    ic->context().fillRect(Rect(Point(), size));
    return library().saveAsset(ic->image()).value_or("");
  }

  NodeView* topicWithImage(const std::string& id) {
    NodeView* n = tree_.add(tree_.root.get(), "picture", Point(1300, 1000));
    n->setImage(id, false);
    n->_calcLayout();
    return n;
  }

  static kit::ImageRef draw(NodeView* n) {
    auto ic = kit::ImageContext::create(n->bounds().size);
    n->drawColourNode(n->bounds(), ic->context(), 0);
    return ic->image();
  }

  static bool isRed(const kit::ImageRef& img, Point at) {
    auto p = img->pixelAt(int(at.x), int(at.y));
    return p && p->red > 240 && p->green < 15 && p->blue < 15 && p->alpha == 255;
  }

  TreeBuilder tree_;
};

}  // namespace

TEST_F(TopicImageDrawing, TheImageFillsItsBoxAboveTheText) {
  NodeView* n = topicWithImage(storeSolid(kit::Color(1, 0, 0), Size(60, 40)));
  ASSERT_TRUE(n->getImage());
  const Rect box = n->imageBoxRect();
  ASSERT_GT(box.width(), 0);
  kit::ImageRef img = draw(n);
  ASSERT_TRUE(img);
  EXPECT_TRUE(isRed(img, box.mid()));
  EXPECT_TRUE(isRed(img, Point(box.minX() + 2, box.minY() + 4)));
  EXPECT_FALSE(isRed(img, Point(box.midX(), n->textBoxRect().maxY() - 1)));
  EXPECT_FALSE(isRed(img, Point(box.minX() - 3, box.midY())));
}

TEST_F(TopicImageDrawing, ATopicWithoutImageDrawsNone) {
  NodeView* n = topicWithImage(storeSolid(kit::Color(1, 0, 0), Size(60, 40)));
  const Point inBox = n->imageBoxRect().mid();
  n->setImage(std::nullopt, false);
  n->_calcLayout();
  EXPECT_FALSE(isRed(draw(n), inBox));
}

TEST_F(TopicImageDrawing, RedrawingDoesNotReadTheFileAgain) {
  const std::string id = storeSolid(kit::Color(1, 0, 0), Size(60, 40));
  NodeView* n = topicWithImage(id);
  ASSERT_TRUE(isRed(draw(n), n->imageBoxRect().mid()));
  // With the files gone, only an image decoded earlier can still be drawn.
  library().removeAsset(id);
  ASSERT_FALSE(kit::FileManager::exists(library().getPathForAsset(id)));
  EXPECT_TRUE(isRed(draw(n), n->imageBoxRect().mid()));
}

TEST_F(TopicImageDrawing, WhileResizedTheThumbnailIsDrawn) {
  const std::string id = storeSolid(kit::Color(1, 0, 0), Size(60, 40));
  NodeView* n = topicWithImage(id);
  const std::string thumbnail = library().getPathForAssetThumbnail(id);
  ASSERT_TRUE(kit::FileManager::remove(thumbnail));
  n->beginAdjustWidth();
  n->_calcLayout();
  // Drawing asks for the thumbnail, which the library makes again.
  EXPECT_TRUE(isRed(draw(n), n->imageBoxRect().mid()));
  EXPECT_TRUE(kit::FileManager::exists(thumbnail));
  n->endAdjustWidth();
}

TEST_F(TopicImageDrawing, ManyThreadsDrawTheSameImages) {
  // Each thread draws topics of its own (as tiles do under the tree lock), all showing the same
  // two images, so the threads meet only in the image cache.
  const std::string ids[2] = {storeSolid(kit::Color(1, 0, 0), Size(30, 30)),
                              storeSolid(kit::Color(1, 0, 0), Size(50, 20))};
  std::vector<std::vector<NodeView*>> topics(4);
  for (auto& mine : topics)
    for (const std::string& id : ids) mine.push_back(topicWithImage(id));
  std::vector<int> red(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 10; ++round)
        for (NodeView* n : topics[t]) red[t] += isRed(draw(n), n->imageBoxRect().mid()) ? 1 : 0;
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(red[t], 20);
}
