// Canvas drawing on a generated map of about 20,000 topics: redrawing a 1024 x 768 viewport
// (synchronously, and as tiles on the worker threads), plain and with drop shadows and tapered
// links, recomputing every boundary of a map with 100 of them, and a tap that selects a topic
// with focus dimming.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "bench_document.h"
#include "canvas/big_view.h"
#include "kit/graphics/image_context.h"
#include "kit/testing/event_script.h"
#include "kit/ui/window.h"
#include "model/app_services.h"
#include "model/document_services.h"
#include "model/node_view.h"

namespace {


// Central topic, 40 main topics (one per column), 25 topics under each (one per cell of the
// column) and 19 under each of those in a column beside it: 20,041 topics over 16,000 x 30,000
// points, each link short except those of the main topics.
struct Map {
  static constexpr int kColumns = 40, kRows = 25, kLeaves = 19;
  static constexpr float kCellW = 400, kCellH = 1200;

  BenchDocument doc{false, false};
  std::unique_ptr<BigView> canvas;
  NodeView* root = nullptr;
  std::vector<NodeView*> level1, level2;
  kit::Point origin;

  Map() {
    canvas = std::make_unique<BigView>(kit::Rect(0, 0, 34560, 30720));
    canvas->setParentController(&doc);
    root = add(nullptr, {}, "Central topic");
    origin = kit::Point(root->center().x - kColumns * kCellW / 2, 300);
    int n = 0;
    for (int c = 0; c < kColumns; ++c) {
      float x = origin.x + c * kCellW;
      NodeView* main = add(root, kit::Point(x + 60, origin.y - 150), "Main topic " + std::to_string(c));
      level1.push_back(main);
      for (int r = 0; r < kRows; ++r) {
        float y = origin.y + r * kCellH;
        NodeView* mid = add(main, kit::Point(x + 60, y + kCellH / 2), "Topic " + std::to_string(++n));
        level2.push_back(mid);
        for (int l = 0; l < kLeaves; ++l)
          add(mid, kit::Point(x + 260, y + 30 + l * 60.0f), "Leaf " + std::to_string(l) + " of " + std::to_string(n));
      }
    }
    canvas->setSelectedNode(nullptr, false);
  }
  ~Map() { canvas->preDealloc(); }

  NodeView* add(NodeView* parent, kit::Point at, const std::string& text) {
    NodeView* t = canvas->createChildNodeOf(parent, at);
    t->setStrName(text);
    t->_calcLayout();
    return t;
  }
  // A viewport in the middle of the map, off the tile grid.
  kit::Rect viewport() const {
    return kit::Rect(origin.x + 17 * kCellW + 37, origin.y + 11 * kCellH + 101, 1024, 768);
  }
};

Map& sharedMap() {
  static Map* map = new Map();  // kept for the process: building it measures 20,000 texts
  return *map;
}

// Both redraws are timed from the redraw request until every pixel of the viewport is drawn (the
// tiles' on the workers), on the wall clock and as the process's processor time (the work of every
// thread, without the waits of a busy machine); same viewport, content and scale.
void BM_RedrawViewport(benchmark::State& state) {
  Map& map = sharedMap();
  const kit::Rect v = map.viewport();
  auto ic = kit::ImageContext::create(v.size, true, 1);
  kit::GraphicsContext& g = ic->context();
  g.translateCTM(-v.minX(), -v.minY());
  for (auto _ : state) {
    map.canvas->requestRedraw();
    map.canvas->layer().drawInContext(g, v);
  }
  state.counters["topics"] = 20041;
}
BENCHMARK(BM_RedrawViewport)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

void BM_RedrawViewportAsTiles(benchmark::State& state) {
  Map& map = sharedMap();
  const kit::Rect v = map.viewport();
  kit::TiledLayer& layer = map.canvas->layer();
  const std::size_t before = layer.tilesDrawn();
  for (auto _ : state) {
    map.canvas->requestRedraw();
    map.canvas->displayLayer(v);
    layer.waitUntilIdle();
  }
  state.counters["tiles"] =
      benchmark::Counter(static_cast<double>(layer.tilesDrawn() - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_RedrawViewportAsTiles)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// As before the tiles shared a walk: every tile walks the whole tree on its own.
void BM_RedrawViewportAsTilesOneWalkEach(benchmark::State& state) {
  Map& map = sharedMap();
  const kit::Rect v = map.viewport();
  kit::TiledLayer& layer = map.canvas->layer();
  BigView* canvas = map.canvas.get();
  layer.setDelegate([canvas](kit::GraphicsContext& g, const kit::Rect& tile) { canvas->drawLayer(g, tile); });
  for (auto _ : state) {
    canvas->requestRedraw();
    canvas->displayLayer(v);
    layer.waitUntilIdle();
  }
  layer.setDelegate([canvas](kit::GraphicsContext& g, const kit::Rect& tile) { canvas->drawLayer(g, tile); },
                    [canvas](const kit::Rect& area) { return canvas->prepareLayerTiles(area); });
}
BENCHMARK(BM_RedrawViewportAsTilesOneWalkEach)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RedrawViewportWithShadowsAndTaper(benchmark::State& state) {
  Map& map = sharedMap();
  const kit::Rect v = map.viewport();
  auto ic = kit::ImageContext::create(v.size, true, 1);
  kit::GraphicsContext& g = ic->context();
  g.translateCTM(-v.minX(), -v.minY());
  AppServices::setDropShadowFlag(true);
  AppServices::setTaperLinksFlag(true);
  for (auto _ : state) {
    map.canvas->requestRedraw();
    map.canvas->layer().drawInContext(g, v);
  }
  AppServices::setDropShadowFlag(false);
  AppServices::setTaperLinksFlag(false);
}
BENCHMARK(BM_RedrawViewportWithShadowsAndTaper)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same through the tiles: each tile reuses the shadows the others made.
void BM_RedrawViewportAsTilesWithShadowsAndTaper(benchmark::State& state) {
  Map& map = sharedMap();
  const kit::Rect v = map.viewport();
  kit::TiledLayer& layer = map.canvas->layer();
  AppServices::setDropShadowFlag(true);
  AppServices::setTaperLinksFlag(true);
  for (auto _ : state) {
    map.canvas->requestRedraw();
    map.canvas->displayLayer(v);
    layer.waitUntilIdle();
  }
  AppServices::setDropShadowFlag(false);
  AppServices::setTaperLinksFlag(false);
}
BENCHMARK(BM_RedrawViewportAsTilesWithShadowsAndTaper)->Unit(benchmark::kMillisecond)->UseRealTime();

// The 40 main topics and 60 of the topics under them carry boundaries; nested ones are built
// on their inner outlines.
void BM_RecalcHundredBoundaries(benchmark::State& state) {
  Map& map = sharedMap();
  std::vector<NodeView*> withBoundary(map.level1.begin(), map.level1.end());
  for (std::size_t i = 0; i < map.level2.size() && withBoundary.size() < 100; i += 16)
    withBoundary.push_back(map.level2[i]);
  for (NodeView* t : withBoundary) t->setHasBoundary(true, false);
  for (auto _ : state) map.root->recalcBoundaries();
  for (NodeView* t : withBoundary) t->setHasBoundary(false, false);
  state.counters["boundaries"] = static_cast<double>(withBoundary.size());
}
BENCHMARK(BM_RecalcHundredBoundaries)->Unit(benchmark::kMillisecond);

// A finger taps one topic and then another through the window and the scroll view: each tap
// selects at touch-down and dims every topic off the focused branch (unfocused topics hidden).
void BM_TapTopicToSelectionWithFocusDimming(benchmark::State& state) {
  struct DimmingDocument : BenchDocument {
    DimmingDocument() : BenchDocument(false, false) {}
    void refreshBrightness(NodeView* topic) override { canvas->setBrightnessForCriteria(2, topic); }
    BigView* canvas = nullptr;
  } doc;
  Map& map = sharedMap();
  BigView* canvas = map.canvas.get();
  doc.canvas = canvas;
  canvas->setParentController(&doc);
  kit::Window window(kit::Rect(0, 0, 1024, 768));
  MapScrollView scroll(window.bounds());
  window.addSubview(&scroll);
  scroll.setContentView(canvas);
  scroll.setContentOffset(map.viewport().origin);
  kit::EventScript script(window);
  NodeView* mid = map.level2[17 * Map::kRows + 11];
  NodeView* targets[] = {mid, mid->childNodes()[5].get()};
  int i = 0;
  for (auto _ : state) {
    const kit::Point p = canvas->convertPointToView(targets[i ^= 1]->center(), &window);
    script.down(p);
    script.up(p);
  }
  if (canvas->selectedNode() != targets[i]) state.SkipWithError("the tap did not select its topic");
  canvas->clearGestureTimers();
  canvas->setSelectedNode(nullptr, false);
  canvas->setBrightnessForCriteria(0, nullptr);
  canvas->removeFromSuperview();
  canvas->setParentController(&map.doc);
}
BENCHMARK(BM_TapTopicToSelectionWithFocusDimming)->Unit(benchmark::kMillisecond);

// One move event of a finger dragging a main topic whose branch holds 1,001 topics (its own map
// of 20,541 topics): the branch's views move and its shape layers are translated; no tile is
// marked. The first move, which builds the layers and redraws the tiles once, is not timed.
void BM_DragFrameOfThousandTopicBranch(benchmark::State& state) {
  Map map;
  BigView* canvas = map.canvas.get();
  NodeView* main = map.level1[17];
  const kit::Point mainCentre = main->center();
  for (int r = 0; r < Map::kRows; ++r) {
    NodeView* mid = map.add(main, kit::Point(mainCentre.x - 200, mainCentre.y + 100 + r * 800.0f), "Extra");
    for (int l = 0; l < Map::kLeaves; ++l)
      map.add(mid, kit::Point(mainCentre.x - 400, mainCentre.y + 100 + r * 800.0f + l * 40), "Extra leaf");
  }
  const int branch = canvas->getTopicCount(main);
  kit::Window window(kit::Rect(0, 0, 1024, 768));
  MapScrollView scroll(window.bounds());
  window.addSubview(&scroll);
  scroll.setContentView(canvas);
  scroll.setContentSize(canvas->bounds().size);
  scroll.setContentOffset(kit::Point(mainCentre.x - 512, mainCentre.y - 384));
  kit::EventScript script(window);
  const kit::Point p = canvas->convertPointToView(mainCentre, &window);
  script.down(p);
  script.move(kit::Point(p.x + 5, p.y + 5));
  const kit::Rect visible = scroll.bounds();
  canvas->displayLayer(visible);
  canvas->layer().waitUntilIdle();
  const std::size_t tilesBefore = canvas->layer().tilesDrawn();
  int i = 0;
  for (auto _ : state) {
    script.move(kit::Point(p.x + 5 + (i & 7), p.y + 5 + (i & 3)));
    ++i;
  }
  const bool marked = canvas->layer().needsDisplay();
  canvas->displayLayer(visible);
  canvas->layer().waitUntilIdle();
  if (canvas->draggingTopic() != main || !canvas->branchLayer()) state.SkipWithError("no drag");
  state.counters["branch_topics"] = branch;
  state.counters["tiles_redrawn"] = static_cast<double>(canvas->layer().tilesDrawn() - tilesBefore);
  state.counters["tiles_marked"] = marked ? 1 : 0;
  script.up(kit::Point(p.x + 5, p.y + 5));
  canvas->removeFromSuperview();
}
BENCHMARK(BM_DragFrameOfThousandTopicBranch)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
