// Copying a 5,000-topic branch to the clipboard (record file, Markdown outline and attributes on
// the pasteboard), and pasting it back under the central topic.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench_document.h"
#include "canvas/big_view.h"
#include "formats/map_formats.h"
#include "helpers/text_measure.h"
#include "kit/testing/app_home.h"
#include "model/node_view.h"

namespace {

// Central topic, one main topic with 50 children of 99 leaves each: a branch of 5,001 topics.
struct Map {
  kit::TemporaryAppHome home;
  BenchDocument doc{false, false};
  std::unique_ptr<BigView> canvas;
  NodeView* branch = nullptr;

  Map() {
    canvas = std::make_unique<BigView>(kit::Rect(0, 0, 34560, 30720));
    canvas->setParentController(&doc);
    canvas->setFormatServices(&MapFormats::services());
    NodeView* root = add(nullptr, {17000, 15000}, "Central topic");
    branch = add(root, {17300, 15000}, "Branch");
    for (int i = 0; i < 50; ++i) {
      NodeView* mid = add(branch, {17600, 15000 + (i - 25) * 500.f}, "Topic " + std::to_string(i));
      for (int j = 0; j < 99; ++j)
        add(mid, {17900, mid->center().y + (j - 49) * 5.f}, "Leaf " + std::to_string(i) + "." + std::to_string(j));
    }
    // Laid out, as a map on screen is: its topics are measured before anything is copied.
    root->recalcLayoutRecursively(true, true, false, false, false);
  }
  NodeView* add(NodeView* parent, kit::Point at, const std::string& text) {
    NodeView* n = canvas->createChildNodeOf(parent, at);
    n->setStrName(text);
    return n;
  }
};

void BM_CopyBranch(benchmark::State& state) {
  Map map;
  for (auto _ : state) map.canvas->copyNode(map.branch, 1);
}
BENCHMARK(BM_CopyBranch)->Unit(benchmark::kMillisecond);

void BM_PasteBranch(benchmark::State& state) {
  Map map;
  map.canvas->copyNode(map.branch, 1);
  for (auto _ : state) {
    map.canvas->setSelectedNode(map.canvas->rootNode(), false);
    if (!map.canvas->pasteClipboard(1, Side::Automatic, false)) state.SkipWithError("nothing pasted");
    state.PauseTiming();
    if (NodeView* pasted = map.canvas->lastLoadedRootNode()) map.canvas->removeNode(pasted);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_PasteBranch)->Unit(benchmark::kMillisecond);

// The same paste with none of its texts measured before in the process, as when the branch
// comes from another program's copy: every topic is laid out by Pango.
void BM_PasteBranchUnmeasured(benchmark::State& state) {
  Map map;
  map.canvas->copyNode(map.branch, 1);
  for (auto _ : state) {
    state.PauseTiming();
    strings::forgetMeasuredSizes();
    map.canvas->setSelectedNode(map.canvas->rootNode(), false);
    state.ResumeTiming();
    if (!map.canvas->pasteClipboard(1, Side::Automatic, false)) state.SkipWithError("nothing pasted");
    state.PauseTiming();
    if (NodeView* pasted = map.canvas->lastLoadedRootNode()) map.canvas->removeNode(pasted);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_PasteBranchUnmeasured)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
