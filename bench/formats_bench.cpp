// Loading and saving the native map XML of generated maps, next to a bare libxml2 parse of the
// same text (the floor any reader stands on).
#include <benchmark/benchmark.h>
#include <libxml/parser.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <string>

#include "canvas/big_view.h"
#include "formats/map_formats.h"
#include "helpers/global_helpers_file_formats.h"
#include "kit/io/xml.h"

namespace {

// A map of n topics: a few main branches, four children per topic, every topic with text, a
// note on every tenth, colours and task data here and there.
std::unique_ptr<BigView> makeMap(int n) {
  auto canvas = std::make_unique<BigView>(kit::Rect(0, 0, 34560, 30720));
  canvas->setFormatServices(&MapFormats::services());
  NodeView* root = canvas->createChildNodeOf(nullptr, kit::Point());
  root->setStrName("Central topic");
  std::vector<NodeView*> all{root};
  for (int i = 1; i < n; ++i) {
    NodeView* parent = all[static_cast<std::size_t>((i - 1) / 4)];
    NodeView* t = canvas->createChildNodeOf(parent, kit::Point(100.0f + i % 3000, 100.0f + i / 3));
    t->setStrName("Topic number " + std::to_string(i) + " with some words");
    if (i % 10 == 0) t->setStrNote("A note that runs\nover two lines & has <markup>");
    if (i % 7 == 0) t->setColourWithRGB255(RGB255{255, 128, 0}, false, false);
    if (i % 5 == 0) {
      t->setPercentComplete(50);
      t->set_effort(std::string("3h"));
    }
    all.push_back(t);
  }
  return canvas;
}

void BM_SaveNativeXML(benchmark::State& state) {
  auto canvas = makeMap(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::string xml = MapFormats::dumpMap(*canvas);
    benchmark::DoNotOptimize(xml.data());
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SaveNativeXML)->Arg(1000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_ParseNativeXML(benchmark::State& state) {
  const std::string xml = MapFormats::dumpMap(*makeMap(static_cast<int>(state.range(0))));
  for (auto _ : state) {
    auto parsed = MapFormats::parseMapXML(xml);
    benchmark::DoNotOptimize(parsed.map->topics.size());
  }
}
BENCHMARK(BM_ParseNativeXML)->Arg(10000)->Unit(benchmark::kMillisecond);

// libxml2 alone: a SAX parse of the text with callbacks that do nothing (the floor any reader
// stands on).
int bareLibxml2Parse(const std::string& xml) {
  xmlSAXHandler sax{};
  xmlSAXVersion(&sax, 2);
  sax.startElementNs = [](void*, const xmlChar*, const xmlChar*, const xmlChar*, int, const xmlChar**, int, int,
                          const xmlChar**) {};
  sax.endElementNs = [](void*, const xmlChar*, const xmlChar*, const xmlChar*) {};
  sax.characters = [](void*, const xmlChar*, int) {};
  return xmlSAXUserParseMemory(&sax, nullptr, xml.data(), static_cast<int>(xml.size()));
}

// The calling thread's processor time: on a shared machine it leaves out the moments the thread
// waited for a core.
double threadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Each iteration also times a bare libxml2 parse of the same bytes right after the load, so
// both figures come from the same moments of the machine: "ratio" is load / libxml2 in elapsed
// time, "cpu_ratio" the same in the thread's processor time.
void BM_LoadNativeXML(benchmark::State& state) {
  const std::string xml = MapFormats::dumpMap(*makeMap(static_cast<int>(state.range(0))));
  double loadSeconds = 0, bareSeconds = 0, loadCPU = 0, bareCPU = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto canvas = std::make_unique<BigView>(kit::Rect(0, 0, 34560, 30720));
    canvas->setFormatServices(&MapFormats::services());
    state.ResumeTiming();
    const double startCPU = threadSeconds();
    const auto start = std::chrono::steady_clock::now();
    canvas->loadFromXML(xml, MapFormats::LoadContext::Map);
    const auto loaded = std::chrono::steady_clock::now();
    loadCPU += threadSeconds() - startCPU;
    benchmark::DoNotOptimize(canvas->lastLoadedRootNode());
    state.PauseTiming();
    const double bareStartCPU = threadSeconds();
    const auto bareStart = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(bareLibxml2Parse(xml));
    bareSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - bareStart).count();
    bareCPU += threadSeconds() - bareStartCPU;
    loadSeconds += std::chrono::duration<double>(loaded - start).count();
    canvas->preDealloc();
    canvas.reset();
    state.ResumeTiming();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["load_ms"] = loadSeconds / n * 1e3;
  state.counters["libxml2_ms"] = bareSeconds / n * 1e3;
  state.counters["ratio"] = bareSeconds > 0 ? loadSeconds / bareSeconds : 0;
  state.counters["cpu_ratio"] = bareCPU > 0 ? loadCPU / bareCPU : 0;
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_LoadNativeXML)->Arg(1000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond)->Complexity();

// libxml2 alone, on its own.
void BM_BareLibxml2Parse(benchmark::State& state) {
  const std::string xml = MapFormats::dumpMap(*makeMap(static_cast<int>(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(bareLibxml2Parse(xml));
}
BENCHMARK(BM_BareLibxml2Parse)->Arg(10000)->Unit(benchmark::kMillisecond);

// The event parser the readers stand on, with a delegate that does nothing.
void BM_KitXMLParserOnly(benchmark::State& state) {
  const std::string xml = MapFormats::dumpMap(*makeMap(static_cast<int>(state.range(0))));
  kit::XMLParserDelegate idle;
  for (auto _ : state) {
    kit::XMLParser parser = kit::XMLParser::borrowing(xml);  // as the map reader does
    parser.setDelegate(&idle);
    benchmark::DoNotOptimize(parser.parse());
  }
}
BENCHMARK(BM_KitXMLParserOnly)->Arg(10000)->Unit(benchmark::kMillisecond);

// The canvas's own cost of making the same number of topics, without any file.
void BM_CreateTopicsOnly(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    auto canvas = std::make_unique<BigView>(kit::Rect(0, 0, 34560, 30720));
    std::vector<NodeView*> all;
    all.reserve(static_cast<std::size_t>(n));
    state.ResumeTiming();
    all.push_back(canvas->createChildNodeOf(nullptr, kit::Point()));
    for (int i = 1; i < n; ++i)
      all.push_back(canvas->createChildNodeOf(all[static_cast<std::size_t>((i - 1) / 4)], kit::Point(100.0f + i % 3000, 100.0f + i / 3)));
    state.PauseTiming();
    canvas->preDealloc();
    canvas.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CreateTopicsOnly)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
