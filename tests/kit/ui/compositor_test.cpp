#include "kit/ui/compositor.h"
#include "kit/ui/layer.h"
#include "kit/graphics/image_context.h"
#include "kit/core/run_loop.h"
#include "kit/testing/app_home.h"
#include "kit/ui/screen_updates.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <thread>

namespace kit {
namespace {

Pixel at(const ImageRef& img, int x, int y) {
  auto p = img->pixelAt(x, y);
  return p ? *p : Pixel{};
}

// A view that fills its whole bounds with one colour and records the context it was handed.
class Swatch : public View {
 public:
  Swatch(const Rect& frame, Color c) : View(frame), colour_(c) { setBackgroundColor(Color::clear()); }
  void drawRect(GraphicsContext& ctx, const Rect& rect) override {
    seenCurrent = currentContext() == &ctx;
    seenRect = rect;
    ctx.setFillColor(colour_);
    ctx.fillRect(bounds());
  }
  bool seenCurrent = false;
  Rect seenRect;

 private:
  Color colour_;
};

TEST(CompositorTest, SubviewsDrawAtTheirFramesOverTheBackground) {
  View root(Rect(0, 0, 100, 100));
  root.setBackgroundColor(Color::white());
  Swatch a(Rect(10, 10, 20, 20), Color(1, 0, 0));
  root.addSubview(&a);
  ImageRef img = renderViewTree(root);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->size(), Size(100, 100));
  EXPECT_EQ(at(img, 15, 15), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(at(img, 50, 50), (Pixel{255, 255, 255, 255}));
  EXPECT_TRUE(a.seenCurrent);
  EXPECT_EQ(a.seenRect, a.bounds());
}

TEST(CompositorTest, LaterSubviewsAreInFront) {
  View root(Rect(0, 0, 50, 50));
  root.setBackgroundColor(Color::clear());
  Swatch back(Rect(0, 0, 30, 30), Color(1, 0, 0));
  Swatch front(Rect(10, 10, 30, 30), Color(0, 0, 1));
  root.addSubview(&back);
  root.addSubview(&front);
  ImageRef img = renderViewTree(root);
  EXPECT_EQ(at(img, 20, 20), (Pixel{0, 0, 255, 255}));
  EXPECT_EQ(at(img, 5, 5), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(at(img, 45, 5).alpha, 0);
}

TEST(CompositorTest, BoundsOriginScrollsTheContent) {
  View root(Rect(0, 0, 50, 50));
  root.setBackgroundColor(Color::clear());
  View scroller(Rect(0, 0, 50, 50));
  scroller.setBackgroundColor(Color::clear());
  scroller.setBounds(Rect(20, 0, 50, 50));  // content shifted left by 20
  Swatch s(Rect(25, 0, 10, 10), Color(0, 1, 0));
  scroller.addSubview(&s);
  root.addSubview(&scroller);
  ImageRef img = renderViewTree(root);
  EXPECT_EQ(at(img, 7, 5), (Pixel{0, 255, 0, 255}));
  EXPECT_EQ(at(img, 30, 5).alpha, 0);
}

TEST(CompositorTest, TransformsApplyAboutTheCentre) {
  View root(Rect(0, 0, 100, 100));
  root.setBackgroundColor(Color::clear());
  Swatch s(Rect(40, 40, 20, 20), Color(1, 0, 0));
  s.setTransform(AffineTransform::scale(2, 2));  // now 30..70
  root.addSubview(&s);
  ImageRef img = renderViewTree(root);
  EXPECT_EQ(at(img, 32, 32), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(at(img, 68, 68), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(at(img, 28, 50).alpha, 0);
}

TEST(CompositorTest, HiddenAndInvisibleViewsDrawNothingWithTheirSubviews) {
  View root(Rect(0, 0, 40, 40));
  root.setBackgroundColor(Color::clear());
  Swatch hidden(Rect(0, 0, 20, 20), Color(1, 0, 0));
  hidden.setHidden(true);
  Swatch child(Rect(0, 0, 5, 5), Color(0, 1, 0));
  hidden.addSubview(&child);
  Swatch faint(Rect(20, 20, 20, 20), Color(1, 0, 0));
  faint.setAlpha(0.005f);
  root.addSubview(&hidden);
  root.addSubview(&faint);
  ImageRef img = renderViewTree(root);
  EXPECT_EQ(at(img, 2, 2).alpha, 0);
  EXPECT_EQ(at(img, 30, 30).alpha, 0);
}

TEST(CompositorTest, AlphaFadesAViewAsAWhole) {
  View root(Rect(0, 0, 40, 40));
  root.setBackgroundColor(Color::clear());
  Swatch parent(Rect(0, 0, 40, 40), Color(0, 0, 1));
  parent.setAlpha(0.5f);
  Swatch child(Rect(0, 0, 20, 20), Color(0, 0, 1));  // overlaps its parent in the same colour
  parent.addSubview(&child);
  root.addSubview(&parent);
  ImageRef img = renderViewTree(root);
  // A group fade: the overlap is no darker than the rest.
  EXPECT_NEAR(at(img, 10, 10).alpha, 128, 2);
  EXPECT_NEAR(at(img, 30, 30).alpha, 128, 2);
}

TEST(CompositorTest, ClippingToBoundsCutsSubviews) {
  View root(Rect(0, 0, 60, 60));
  root.setBackgroundColor(Color::clear());
  View box(Rect(0, 0, 30, 30));
  box.setBackgroundColor(Color::clear());
  box.setClipsToBounds(true);
  Swatch wide(Rect(0, 0, 60, 10), Color(1, 0, 0));
  box.addSubview(&wide);
  root.addSubview(&box);
  ImageRef img = renderViewTree(root);
  EXPECT_EQ(at(img, 20, 5).alpha, 255);
  EXPECT_EQ(at(img, 40, 5).alpha, 0);
  box.setClipsToBounds(false);
  EXPECT_EQ(at(renderViewTree(root), 40, 5).alpha, 255);
}

TEST(CompositorTest, ScaleAndBackgroundOfTheImage) {
  View root(Rect(0, 0, 10, 10));
  root.setBackgroundColor(Color::clear());
  Swatch s(Rect(0, 0, 5, 10), Color(1, 0, 0));
  root.addSubview(&s);
  ImageRef img = renderViewTree(root, 2, Color::white());
  ASSERT_TRUE(img);
  EXPECT_EQ(img->pixelWidth(), 20);
  EXPECT_EQ(at(img, 8, 10), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(at(img, 15, 10), (Pixel{255, 255, 255, 255}));
  View empty;
  EXPECT_EQ(renderViewTree(empty), nullptr);
}

}  // namespace
}  // namespace kit

namespace kit {
namespace {

// Shape layers drawn over a frame: a container's transform moves its sublayers; fill goes under
// the stroke; a layer taken out draws nothing; insertion order is drawing order.
TEST(LayerTest, ShapeLayersDrawUnderTheirContainersTransformInOrder) {
  Layer top;
  auto container = std::make_shared<Layer>();
  auto box = std::make_shared<ShapeLayer>();
  Path p;
  p.addRect(Rect(10, 10, 20, 20));
  box->setPath(p);
  box->setFillColor(Color(0, 0, 1));
  box->setStrokeColor(Color(1, 0, 0));
  box->setLineWidth(4);
  container->addSublayer(box);
  auto over = std::make_shared<ShapeLayer>();
  over->setPath(p);
  over->setFillColor(Color(0, 1, 0));
  top.addSublayer(over);
  top.insertSublayer(container, 0);  // below the green one
  container->setTransform(AffineTransform::translation(40, 5));

  auto ic = ImageContext::create(Size(100, 100), false, 1);
  top.render(ic->context());
  ImageRef img = ic->image();
  EXPECT_EQ(at(img, 60, 25), (Pixel{0, 0, 255, 255}));  // fill, moved by (40, 5)
  EXPECT_EQ(at(img, 50, 25), (Pixel{255, 0, 0, 255}));  // its stroke on the moved edge
  EXPECT_EQ(at(img, 20, 20), (Pixel{0, 255, 0, 255}));  // the green one stays
  EXPECT_EQ(at(img, 5, 5).alpha, 0);

  over->removeFromSuperlayer();
  EXPECT_EQ(over->superlayer(), nullptr);
  ASSERT_EQ(top.sublayers().size(), 1u);
  auto ic2 = ImageContext::create(Size(100, 100), false, 1);
  top.render(ic2->context());
  EXPECT_EQ(at(ic2->image(), 20, 20).alpha, 0);
}

// A canvas whose tiles hold its first subview's own content: on screen it paints green where its
// tiles are, off screen it draws red through drawRect.
class TiledCanvas : public View {
 public:
  using View::View;
  void drawRect(GraphicsContext& ctx, const Rect&) override {
    ctx.setFillColor(Color(1, 0, 0));
    ctx.fillRect(bounds());
  }
  bool drawFrameContent(GraphicsContext& ctx, const Rect& visible) override {
    shown = visible;
    ctx.setFillColor(Color(0, 1, 0));
    ctx.fillRect(visible);
    return ready;
  }
  bool tilesHoldSubview(const View& sub) const override { return &sub == held; }
  const View* held = nullptr;
  bool ready = true;
  Rect shown;
};

TEST(CompositorTest, ScreenFramesShowTilesAndSkipWhatTheyHold) {
  View window(Rect(0, 0, 100, 100));
  View scroller(Rect(0, 0, 100, 100));
  scroller.setClipsToBounds(true);
  scroller.setBounds(Rect(200, 300, 100, 100));  // scrolled into the canvas
  window.addSubview(&scroller);
  TiledCanvas canvas(Rect(0, 0, 1000, 1000));
  scroller.addSubview(&canvas);
  Swatch topic(Rect(210, 310, 40, 40), Color(0, 0, 1));   // in the tiles
  Swatch editor(Rect(5, 5, 10, 10), Color(1, 1, 0));      // on the topic, live
  Swatch button(Rect(260, 360, 10, 10), Color(1, 0, 1));  // not in the tiles
  topic.addSubview(&editor);
  canvas.addSubview(&topic);
  canvas.addSubview(&button);
  canvas.held = &topic;

  auto ic = ImageContext::create(Size(100, 100), false, 1);
  EXPECT_TRUE(drawScreenFrame(ic->context(), window));
  ImageRef img = ic->image();
  EXPECT_EQ(canvas.shown, Rect(200, 300, 100, 100));          // only what the frame shows
  EXPECT_EQ(at(img, 35, 35), (Pixel{0, 255, 0, 255}));      // the topic is in the tiles
  EXPECT_EQ(at(img, 17, 17), (Pixel{255, 255, 0, 255}));    // its editor is drawn over them
  EXPECT_EQ(at(img, 65, 65), (Pixel{255, 0, 255, 255}));    // so is the button
  EXPECT_EQ(at(img, 90, 5), (Pixel{0, 255, 0, 255}));

  canvas.ready = false;
  auto ic2 = ImageContext::create(Size(100, 100), false, 1);
  EXPECT_FALSE(drawScreenFrame(ic2->context(), window));

  // Pictures drawn off screen still draw every view.
  ImageRef picture = renderViewTree(window);
  EXPECT_EQ(at(picture, 35, 35), (Pixel{0, 0, 255, 255}));
  EXPECT_EQ(at(picture, 90, 5), (Pixel{255, 0, 0, 255}));
}

TEST(CompositorTest, ChangesMarkTheScreenAndFinishedTilesWakeOnlyAListeningHost) {
  ManualClockScope clock;
  RunLoop& loop = RunLoop::main();
  View root(Rect(0, 0, 10, 10));
  View child(Rect(0, 0, 5, 5));
  takeScreenChange();
  root.addSubview(&child);
  EXPECT_TRUE(takeScreenChange());
  EXPECT_FALSE(takeScreenChange());
  child.setCenter(Point(3, 3));
  EXPECT_TRUE(takeScreenChange());
  child.setAlpha(0.5f);
  EXPECT_TRUE(takeScreenChange());
  auto layer = std::make_shared<ShapeLayer>();
  layer->setPath(Path());
  EXPECT_TRUE(takeScreenChange());

  noteTilesFinished();  // no host: marked, nothing posted
  EXPECT_TRUE(takeScreenChange());
  EXPECT_FALSE(loop.hasPostedWork());
  int wakes = 0;
  loop.setWakeHandler([&] { ++wakes; });
  setHostListensForTiles(true);
  std::thread worker([] {
    noteTilesFinished();
    noteTilesFinished();
  });
  worker.join();
  EXPECT_TRUE(takeScreenChange());
  EXPECT_EQ(wakes, 1);  // one pass for any number of tiles
  clock.runOnce();
  EXPECT_FALSE(loop.hasPostedWork());
  noteTilesFinished();  // after that pass, the next tile wakes it again
  EXPECT_EQ(wakes, 2);
  setHostListensForTiles(false);
  loop.setWakeHandler(nullptr);
  clock.runOnce();
}

}  // namespace
}  // namespace kit
