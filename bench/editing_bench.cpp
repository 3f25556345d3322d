// One keystroke in a topic being edited in place on a map of 5,000 topics kept organised: the
// text stored, the topic measured again, its branch realigned and the tiles under it marked.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "canvas/big_view.h"
#include "helpers/text_measure.h"
#include "document/pseudo_map_view_controller.h"
#include "kit/ui/window.h"
#include "model/node_view.h"

namespace {

const char* const kWords[] = {"plan",   "budget", "review", "launch",  "design", "market", "research", "team",
                              "client", "report", "draft",  "meeting", "goals",  "risks",  "schedule", "ideas"};

struct EditedMap {
  kit::Window window{kit::Rect(0, 0, 1024, 768)};
  PseudoMapViewController doc;
  BigView* canvas = nullptr;
  NodeView* edited = nullptr;

  explicit EditedMap(int n) {
    canvas = doc.bigView();
    window.addSubview(canvas);
    std::mt19937 rng(7);
    std::vector<NodeView*> topics;
    NodeView* root = canvas->createChildNodeOf(nullptr, kit::Point());
    root->setStrName("Central topic");
    topics.push_back(root);
    for (std::size_t next = 0; static_cast<int>(topics.size()) < n; ++next) {
      NodeView* parent = topics[next];
      const int kids = parent == root ? 8 : 2 + static_cast<int>(rng() % 5);
      for (int k = 0; k < kids && static_cast<int>(topics.size()) < n; ++k) {
        NodeView* t = canvas->createChildNodeOf(parent, parent == root ? (k % 2 ? 1 : 2) : 0);
        std::string text;
        for (int w = 1 + static_cast<int>(rng() % 5); w > 0; --w) text += std::string(text.empty() ? "" : " ") + kWords[rng() % 16];
        t->setStrName(text);
        topics.push_back(t);
      }
    }
    root->recalcLayoutRecursively(true, false, false, false, false);
    canvas->rearrangeAll(false);
    // A topic in the middle of a main branch, with children of its own.
    edited = topics[topics.size() / 40];
    canvas->setSelectedNode(edited, false);
    edited->inPlaceEdit(true);
    canvas->displayLayer(kit::Rect());
  }
  ~EditedMap() { canvas->preDealloc(); }

  // Typing and deleting in turn keeps the text, and so each keystroke's work, the same.
  void keystrokes(benchmark::State& state) {
    UITextViewEx* editor = edited->inPlaceEditTextView();
    bool insert = true;
    for (auto _ : state) {
      if (insert) editor->insertText("w");
      else editor->deleteBackward();
      insert = !insert;
      // Typing makes a new text each time: the measure of the last one but one is no help.
      strings::forgetMeasuredSizes();
      canvas->displayLayer(kit::Rect());
    }
  }
};

void BM_KeystrokeInOrganisedMap(benchmark::State& state) {
  EditedMap map(static_cast<int>(state.range(0)));
  map.keystrokes(state);
  state.counters["topics"] = static_cast<double>(map.canvas->getTopicCount(nullptr));
}
BENCHMARK(BM_KeystrokeInOrganisedMap)->Arg(5000)->Arg(20000)->Unit(benchmark::kMicrosecond);

// The same keystroke at the end of a topic that already holds 100,000 characters.
void BM_KeystrokeAfterAHundredThousandCharacters(benchmark::State& state) {
  EditedMap map(1000);
  std::string words;
  for (int i = 0; words.size() < 100000; ++i) words += std::string(kWords[i % 16]) + (i % 23 == 22 ? "\n" : " ");
  map.edited->inPlaceEditTextView()->insertText(words);
  map.keystrokes(state);
}
BENCHMARK(BM_KeystrokeAfterAHundredThousandCharacters)->Unit(benchmark::kMicrosecond);

// The same keystroke after one unbroken word of that many letters, which wraps inside itself.
void BM_KeystrokeAfterAnUnbrokenWord(benchmark::State& state) {
  EditedMap map(1000);
  map.edited->inPlaceEditTextView()->insertText(std::string(static_cast<std::size_t>(state.range(0)), 'w'));
  map.keystrokes(state);
}
BENCHMARK(BM_KeystrokeAfterAnUnbrokenWord)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
