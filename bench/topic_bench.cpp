// Topic text measurement and layout on generated maps of 1,000, 5,000 and 20,000 topics, with
// the memory each topic takes.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_document.h"
#include "canvas/big_view.h"
#include "helpers/text_measure.h"
#include "model/document_services.h"
#include "model/node_view.h"

namespace {


const char* const kWords[] = {"plan",   "budget", "review", "launch",  "design", "market", "research", "team",
                              "client", "report", "draft",  "meeting", "goals",  "risks",  "schedule", "ideas"};

// A map of n topics: eight main topics round the centre, then branches of two to six children,
// texts of one to eight words, some with notes, links, progress and a second line.
struct Map {
  BenchDocument doc{false, true};
  std::unique_ptr<BigView> canvas;
  std::vector<NodeView*> topics;

  explicit Map(int n) {
    canvas = std::make_unique<BigView>(kit::Rect(0, 0, 34560, 30720));
    canvas->setParentController(&doc);
    std::mt19937 rng(42);
    auto text = [&] {
      std::string s;
      int words = 1 + int(rng() % 8);
      for (int i = 0; i < words; ++i) {
        if (i) s += (i == 4 && rng() % 3 == 0) ? '\n' : ' ';
        s += kWords[rng() % 16];
      }
      return s;
    };
    NodeView* root = canvas->createChildNodeOf(nullptr, kit::Point());
    root->setStrName("Central topic");
    topics.push_back(root);
    const kit::Point c = root->center();
    std::size_t next = 0;
    while (int(topics.size()) < n) {
      NodeView* parent = topics[next];
      int kids = parent == root ? 8 : 2 + int(rng() % 5);
      for (int k = 0; k < kids && int(topics.size()) < n; ++k) {
        float side = parent == root ? (k % 2 ? -1.0f : 1.0f) : (parent->center().x < c.x ? -1.0f : 1.0f);
        kit::Point at(parent->center().x + side * 250, parent->center().y + float(k * 60 - kids * 30));
        NodeView* t = canvas->createChildNodeOf(parent, at);
        t->setStrName(text());
        if (rng() % 10 == 0) t->setStrNote("a note");
        if (rng() % 12 == 0) t->setStrLink("www.example.com");
        if (rng() % 8 == 0) t->setPercentComplete(int(rng() % 101));
        topics.push_back(t);
      }
      ++next;
    }
  }
  ~Map() { canvas->preDealloc(); }
  NodeView* root() { return topics.front(); }
};

std::size_t heapInUse() { return mallinfo2().uordblks; }

// Raw measurement of every topic's text, as a first layout does it.
void BM_MeasureText(benchmark::State& state) {
  Map map(int(state.range(0)));
  for (auto _ : state) {
    for (NodeView* t : map.topics) {
      kit::Size s = strings::sizeWithFontEx(t->strName(), t->getFont(), kit::Size(300, 500));
      benchmark::DoNotOptimize(s);
    }
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t(map.topics.size()));
}

// The first layout of a freshly loaded map: every text measured once.
void BM_LayoutFirst(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto map = std::make_unique<Map>(int(state.range(0)));
    state.ResumeTiming();
    map->root()->recalcLayoutRecursively(true, true, false, false, false);
    state.PauseTiming();
    map.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// recalcLayoutRecursively of the whole tree again: nothing changed, nothing is measured.
void BM_LayoutWholeTree(benchmark::State& state) {
  Map map(int(state.range(0)));
  NodeView* root = map.root();
  root->recalcLayoutRecursively(true, false, false, false, false);
  for (auto _ : state) root->recalcLayoutRecursively(true, true, false, false, false);
  state.SetItemsProcessed(state.iterations() * std::int64_t(map.topics.size()));
}

// One topic's text changes; it is laid out again and realigned with its siblings and children.
void BM_RelayoutAfterOneEdit(benchmark::State& state) {
  Map map(int(state.range(0)));
  map.root()->recalcLayoutRecursively(true, false, false, false, false);
  NodeView* t = map.topics[map.topics.size() / 3];
  const std::string a = t->strName(), b = a + " and more words";
  bool flip = false;
  for (auto _ : state) {
    t->setStrName((flip = !flip) ? b : a);
    t->recalcLayoutRecursively(false, true, true, true, true);
  }
}

// Heap bytes per topic of a laid-out map (topic records, views, texts, caches).
void BM_MemoryPerTopic(benchmark::State& state) {
  const int n = int(state.range(0));
  double perTopic = 0;
  for (auto _ : state) {
    std::size_t before = heapInUse();
    auto map = std::make_unique<Map>(n);
    map->root()->recalcLayoutRecursively(true, false, false, false, false);
    perTopic = double(heapInUse() - before) / n;
    map.reset();
  }
  state.counters["bytes_per_topic"] = perTopic;
  state.counters["sizeof_NodeView"] = double(sizeof(NodeView));
}

}  // namespace

BENCHMARK(BM_MeasureText)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayoutFirst)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayoutWholeTree)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RelayoutAfterOneEdit)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemoryPerTopic)->Arg(1000)->Arg(5000)->Arg(20000)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
