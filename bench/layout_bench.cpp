// Automatic layout of generated maps whose texts are already measured, at about 1,000, 5,000,
// 10,000 and 20,000 topics: the whole map from scattered positions, the same map laid out again, one
// half relaid after an edit; a central topic with 10,000 children; and an outline 4,000 levels
// deep.
#include <benchmark/benchmark.h>

#include <array>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench_document.h"
#include "canvas/big_view.h"
#include "model/document_services.h"
#include "model/node_view.h"

namespace {


// Topics are created at scattered points on their branch's side, then measured once.
struct Map {
  BenchDocument doc{true, false};
  std::unique_ptr<BigView> canvas;
  NodeView* root = nullptr;
  std::vector<std::pair<NodeView*, kit::Point>> scattered;
  std::mt19937 rng{42};
  int count = 0;

  Map() {
    canvas = std::make_unique<BigView>(kit::Rect(0, 0, 34560, 30720));
    canvas->setParentController(&doc);
  }
  ~Map() { canvas->preDealloc(); }

  float uniform(int lo, int hi) { return static_cast<float>(std::uniform_int_distribution<int>(lo, hi)(rng)); }

  NodeView* add(NodeView* parent, bool right) {
    kit::Point at;
    if (parent) {
      const kit::Point p = parent->center();
      at = kit::Point(p.x + (right ? 1.0f : -1.0f) * uniform(120, 600), p.y + uniform(-1500, 1500));
    }
    NodeView* t = canvas->createChildNodeOf(parent, at);
    static const char* words[] = {"Plan", "Review the budget", "Call", "Draft the outline for the launch",
                                  "Risks", "Next steps and owners", "Notes"};
    t->setStrName(std::string(words[count % 7]) + " " + std::to_string(count));
    ++count;
    return t;
  }

  void measureAndRemember() {
    root->recalcLayoutRecursively(true, false, false, false, false);
    for (NodeView* n : root->getListOfDescendents()) scattered.emplace_back(n, n->center());
    canvas->setSelectedNode(nullptr, false);
  }

  void scatter() {
    for (auto& [n, at] : scattered) n->setCenter(at);
  }
};

// Central topic, 12 main topics (six a side) and three levels below them, four levels deep:
// 4 x 4 x 4 under each main topic for about 1,000 topics, 4 x 8 x 12 for 5,053, 8 x 8 x 12 for
// 10,093 and 8 x 16 x 12 for 20,077.
Map& balancedMap(int topics) {
  static std::map<int, Map*> maps;
  Map*& map = maps[topics];
  if (map) return *map;
  const std::array<int, 3> fan = topics <= 1000    ? std::array<int, 3>{4, 4, 4}
                                 : topics <= 5000  ? std::array<int, 3>{4, 8, 12}
                                 : topics <= 10000 ? std::array<int, 3>{8, 8, 12}
                                                   : std::array<int, 3>{8, 16, 12};
  map = new Map();
  Map* m = map;
  m->root = m->add(nullptr, true);
  for (int a = 0; a < 12; ++a) {
    const bool right = a % 2 == 0;
    NodeView* main = m->add(m->root, right);
    for (int b = 0; b < fan[0]; ++b) {
      NodeView* mid = m->add(main, right);
      for (int c = 0; c < fan[1]; ++c) {
        NodeView* low = m->add(mid, right);
        for (int d = 0; d < fan[2]; ++d) m->add(low, right);
      }
    }
  }
  m->measureAndRemember();
  return *m;
}

// A central topic with 10,000 children, half on each side.
Map& wideMap() {
  static Map* map = [] {
    auto* m = new Map();
    m->root = m->add(nullptr, true);
    for (int i = 0; i < 10000; ++i) m->add(m->root, i % 2 == 0);
    m->measureAndRemember();
    return m;
  }();
  return *map;
}

// A chain 4,000 topics deep on the right, each with a leaf beside the next link: 8,001 topics.
Map& deepMap() {
  static Map* map = [] {
    auto* m = new Map();
    m->root = m->add(nullptr, true);
    NodeView* n = m->root;
    for (int i = 0; i < 4000; ++i) {
      m->add(n, true);
      n = m->add(n, true);
    }
    m->measureAndRemember();
    return m;
  }();
  return *map;
}

// The whole map laid out from its scattered positions, again and again.
void layOutFromScattered(benchmark::State& state, Map& map) {
  for (auto _ : state) {
    state.PauseTiming();
    map.scatter();
    state.ResumeTiming();
    map.canvas->rearrangeAll(false);
  }
  state.counters["topics"] = map.count;
}

void BM_FullLayoutFromScattered(benchmark::State& state) {
  layOutFromScattered(state, balancedMap(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_FullLayoutFromScattered)->Arg(1000)->Arg(5000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_FullLayoutOfALaidOutMap(benchmark::State& state) {
  Map& map = balancedMap(static_cast<int>(state.range(0)));
  map.canvas->rearrangeAll(false);
  for (auto _ : state) map.canvas->rearrangeAll(false);
  state.counters["topics"] = map.count;
}
BENCHMARK(BM_FullLayoutOfALaidOutMap)->Arg(1000)->Arg(5000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);

// Keep-organised after editing a leaf: its half of the map is laid out again.
void BM_RelayoutAfterOneEdit(benchmark::State& state) {
  Map& map = balancedMap(static_cast<int>(state.range(0)));
  map.canvas->rearrangeAll(false);
  NodeView* leaf = map.root->childNodes()[0]->childNodes()[0]->childNodes()[0]->childNodes()[0].get();
  for (auto _ : state) {
    state.PauseTiming();
    leaf->moveByX(0, 40, true);
    state.ResumeTiming();
    map.canvas->keepOrganisedAsNecessary(leaf);
  }
  state.counters["topics"] = map.count;
}
BENCHMARK(BM_RelayoutAfterOneEdit)->Arg(1000)->Arg(5000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_WideRootFromScattered(benchmark::State& state) { layOutFromScattered(state, wideMap()); }
BENCHMARK(BM_WideRootFromScattered)->Unit(benchmark::kMillisecond);

void BM_DeepOutlineFromScattered(benchmark::State& state) { layOutFromScattered(state, deepMap()); }
BENCHMARK(BM_DeepOutlineFromScattered)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
