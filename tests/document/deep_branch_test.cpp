// A branch deeper than the stack could follow by recursion: what a person does with it works.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <chrono>

#include "document/pseudo_map_view_controller.h"
#include "formats/map_formats.h"
#include "kit/core/run_loop.h"
#include "kit/testing/app_home.h"

TEST(DeepBranch, CopyFoldCutPasteAndClosingWork) {
  kit::TemporaryAppHome home;
  pthread_attr_t attr;  // a 2 MB stack whatever the process's limit: 60,000 levels at 40 bytes pass it
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 2 << 20);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attr, [](void*) -> void* {
    constexpr std::size_t kDepth = 60'000;
    auto doc = std::make_unique<PseudoMapViewController>();
    BigView& canvas = *doc->bigView();
    std::string xml = "<QuillmereRelative version=\"1\">";
    for (std::size_t i = 0; i <= kDepth; ++i) xml += fmt::format("<topic level=\"{}\" x=\"{}\" y=\"0\"/>", i, 10 * i);
    canvas.loadFromXML(xml + "</QuillmereRelative>", MapFormats::LoadContext::Map);
    canvas.setSelectedNode(canvas.rootNode()->childNodes().at(0).get(), false);  // the menu's commands act on it
    canvas._copy();
    canvas.hide();
    EXPECT_EQ(canvas.rootNode()->getListOfDescendents().back()->alpha(), 0.0f);
    canvas.show();
    canvas._cut();
    kit::RunLoop::main().runOnce();  // one undo step each
    const auto start = std::chrono::steady_clock::now();
    canvas._paste();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));  // a fraction of a second
    EXPECT_EQ(canvas.rootNode()->getListOfDescendents().size(), kDepth + 1);
    return nullptr;  // and the map goes
  }, nullptr), 0);
  pthread_join(thread, nullptr);
}
