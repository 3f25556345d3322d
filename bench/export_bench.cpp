// Exporting whole maps as the quillmere command does: a generated outline of about 1,000 to
// 20,000 topics, built through a headless document controller and laid out by the canvas, then
// saved as PNG at full scale (in strips), JPEG (scaled to its side limit when taller) and PDF.
// Only the save is timed. PNG time must grow linearly with the pixels (s_per_px stays level),
// PDF time linearly with the number of topics.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>

#include "app/app_delegate.h"
#include "document/pseudo_map_view_controller.h"
#include "formats/map_formats.h"
#include "kit/core/files.h"
#include "model/map_theme.h"
#include "model/node_view.h"

namespace {

// The application home for the whole run, in a temporary folder.
struct BenchHome {
  std::string path;
  BenchHome() {
    std::string pattern = "/tmp/quillmere-bench-XXXXXX";
    if (mkdtemp(pattern.data())) {
      path = pattern;
      setenv("QUILLMERE_HOME", path.c_str(), 1);
    }
  }
  ~BenchHome() {
    if (!path.empty()) kit::FileManager::remove(path);
  }
};

BenchHome& home() {
  static BenchHome h;
  return h;
}

AppDelegate& app() {
  home();
  static AppDelegate delegate;
  return delegate;
}

// Central topic, 20 main topics, `perMain` topics under each and 10 leaves under each of those.
std::string outline(int perMain) {
  std::string text = "Central topic\n";
  int n = 0;
  for (int m = 0; m < 20; ++m) {
    text += "\tMain topic " + std::to_string(m) + "\n";
    for (int k = 0; k < perMain; ++k) {
      text += "\t\tTopic number " + std::to_string(++n) + "\n";
      for (int l = 0; l < 10; ++l) text += "\t\t\tLeaf " + std::to_string(l) + " of topic " + std::to_string(n) + "\n";
    }
  }
  return text;
}

// A laid-out map with about `topics` topics, made once per size.
PseudoMapViewController& mapOf(int topics) {
  app();  // first, so that the maps go before the delegate and its lock
  static std::map<int, std::unique_ptr<PseudoMapViewController>> maps;
  auto& slot = maps[topics];
  if (!slot) {
    slot = PseudoMapViewController::initForExport();
    slot->setTheme(std::shared_ptr<MapTheme>(MapTheme::themeDefault()));
    slot->setRainbow(true);
    BigView& canvas = *slot->bigView();
    auto parsed = MapFormats::parseMapXML(GlobalHelpers::buildOPMLFromText(outline(topics / 220), false));
    MapFormats::buildMap(canvas, *parsed.map, MapFormats::LoadContext::Map);
    NodeView* root = canvas.rootNode();
    root->recalcLayoutRecursively(true, false, false, false, false);
    canvas.rearrangeAll(false, true, true);
    canvas.balanceMapAround(root, 1);
    canvas.rearrangeAll(false, true, true);
    root->recalcBoundaries();
  }
  return *slot;
}

void exportMap(benchmark::State& state, const char* extension) {
  PseudoMapViewController& doc = mapOf(static_cast<int>(state.range(0)));
  BigView& canvas = *doc.bigView();
  const std::string path = home().path + "/bench." + extension;
  const kit::Rect rect = canvas.getAdjustedScreenshotRect(INFINITY);
  for (auto _ : state) {
    if (!canvas.saveScreenshotToFile(path, rect, std::nullopt)) state.SkipWithError("the export failed");
  }
  state.counters["topics"] = canvas.getTopicCount(canvas.rootNode());
  state.counters["width_pt"] = rect.width();
  const double pixels = std::ceil(double(rect.width())) * std::ceil(double(rect.height()));
  // Seconds per pixel ("20n" is 20 ns).
  state.counters["s_per_px"] =
      benchmark::Counter(pixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["height_pt"] = rect.height();
  auto size = kit::FileManager::attributes(path);
  state.counters["file_kB"] = size ? size->size / 1024.0 : 0;
}

void BM_ExportPNG(benchmark::State& state) { exportMap(state, "png"); }
void BM_ExportPDF(benchmark::State& state) { exportMap(state, "pdf"); }
// The same bitmap as the PNG, encoded as JPEG: the difference is the PNG encoder's share.
void BM_ExportJPG(benchmark::State& state) { exportMap(state, "jpg"); }

// Bitmaps are encoded on a second thread while the next strip draws: wall-clock time.
BENCHMARK(BM_ExportPNG)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ExportPNG)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ExportJPG)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ExportPDF)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
