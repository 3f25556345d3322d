// Automatic layout of generated maps whose texts are already measured: the whole map of about
// 10,000 topics from scattered positions, the same map laid out again, one half relaid after
// an edit, and a central topic with 10,000 children.
#include <benchmark/benchmark.h>

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

// Central topic, 12 main topics (six a side), 8 under each, 8 under those and 12 leaves under
// each of those: 10,093 topics, four levels deep.
Map& balancedMap() {
  static Map* map = [] {
    auto* m = new Map();
    m->root = m->add(nullptr, true);
    for (int a = 0; a < 12; ++a) {
      const bool right = a % 2 == 0;
      NodeView* main = m->add(m->root, right);
      for (int b = 0; b < 8; ++b) {
        NodeView* mid = m->add(main, right);
        for (int c = 0; c < 8; ++c) {
          NodeView* low = m->add(mid, right);
          for (int d = 0; d < 12; ++d) m->add(low, right);
        }
      }
    }
    m->measureAndRemember();
    return m;
  }();
  return *map;
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

void BM_FullLayoutFromScattered(benchmark::State& state) {
  Map& map = balancedMap();
  for (auto _ : state) {
    state.PauseTiming();
    map.scatter();
    state.ResumeTiming();
    map.canvas->rearrangeAll(false);
  }
  state.counters["topics"] = map.count;
}
BENCHMARK(BM_FullLayoutFromScattered)->Unit(benchmark::kMillisecond);

void BM_FullLayoutOfALaidOutMap(benchmark::State& state) {
  Map& map = balancedMap();
  map.canvas->rearrangeAll(false);
  for (auto _ : state) map.canvas->rearrangeAll(false);
  state.counters["topics"] = map.count;
}
BENCHMARK(BM_FullLayoutOfALaidOutMap)->Unit(benchmark::kMillisecond);

// Keep-organised after editing a leaf: its half of the map is laid out again.
void BM_RelayoutAfterOneEdit(benchmark::State& state) {
  Map& map = balancedMap();
  map.canvas->rearrangeAll(false);
  NodeView* leaf = map.root->childNodes()[0]->childNodes()[0]->childNodes()[0]->childNodes()[0].get();
  for (auto _ : state) {
    state.PauseTiming();
    leaf->moveByX(0, 40, true);
    state.ResumeTiming();
    map.canvas->keepOrganisedAsNecessary(leaf);
  }
}
BENCHMARK(BM_RelayoutAfterOneEdit)->Unit(benchmark::kMillisecond);

void BM_WideRootFromScattered(benchmark::State& state) {
  Map& map = wideMap();
  for (auto _ : state) {
    state.PauseTiming();
    map.scatter();
    state.ResumeTiming();
    map.canvas->rearrangeAll(false);
  }
  state.counters["topics"] = map.count;
}
BENCHMARK(BM_WideRootFromScattered)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
