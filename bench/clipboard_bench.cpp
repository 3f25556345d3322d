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
#include "kit/ui/pasteboard.h"
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

// Text copied in another program, pasted under the central topic, none of it measured before: N
// lines of about 90 characters, ten children under each top line (flat: all lines top level).
// Most of the time goes to measuring each topic's text.
std::string outlineText(int lines, bool flat) {
  std::string text;
  for (int i = 0; i < lines; ++i) {
    if (!flat && i % 11 != 0) text += '\t';
    text += "Pasted line number " + std::to_string(i) + " with a few more words to fill it out to about a hundred bytes....\n";
  }
  return text;
}

void pasteText(benchmark::State& state, bool flat) {
  Map map;
  const std::string text = outlineText(static_cast<int>(state.range(0)), flat);
  for (auto _ : state) {
    state.PauseTiming();
    strings::forgetMeasuredSizes();
    kit::Pasteboard::general().setString(text);
    map.canvas->setSelectedNode(map.canvas->rootNode(), false);
    state.ResumeTiming();
    if (!map.canvas->pasteClipboard(1, Side::Automatic, false)) state.SkipWithError("nothing pasted");
    state.PauseTiming();
    state.counters["topics"] = map.canvas->getTopicCount(map.canvas->lastLoadedRootNode());
    if (NodeView* pasted = map.canvas->lastLoadedRootNode()) map.canvas->removeNode(pasted);
    state.ResumeTiming();
  }
}
void BM_PasteText(benchmark::State& state) { pasteText(state, false); }
BENCHMARK(BM_PasteText)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
void BM_PasteFlatText(benchmark::State& state) { pasteText(state, true); }
BENCHMARK(BM_PasteFlatText)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
