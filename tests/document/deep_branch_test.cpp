// A branch deeper than the stack could follow by recursion: what a person does with it works.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include "document/pseudo_map_view_controller.h"
#include "formats/map_formats.h"
#include "kit/core/run_loop.h"
#include "kit/testing/app_home.h"

TEST(DeepBranch, CopyFoldCutUndoAndClosingWork) {
  constexpr std::size_t kDepth = 300'000;  // past an 8 MB stack at a few dozen bytes a level
  kit::TemporaryAppHome home;
  auto doc = std::make_unique<PseudoMapViewController>();
  std::string xml = "<QuillmereRelative version=\"1\">";
  for (std::size_t i = 0; i <= kDepth; ++i) xml += fmt::format("<topic level=\"{}\" x=\"{}\" y=\"0\"/>", i, 10 * i);
  BigView& canvas = *doc->bigView();
  canvas.loadFromXML(xml + "</QuillmereRelative>", MapFormats::LoadContext::Map);
  NodeView* top = canvas.rootNode()->childNodes().at(0).get();
  canvas.setSelectedNode(top, false);  // the menu's commands act on it
  canvas._copy();
  canvas.hide();
  EXPECT_EQ(top->childNodes().at(0)->alpha(), 0.0f);
  canvas.show();
  EXPECT_EQ(top->childNodes().at(0)->alpha(), 1.0f);
  canvas._cut();
  EXPECT_EQ(canvas.rootNode()->getListOfDescendents().size(), 1u);
  kit::RunLoop::main().runOnce();  // one undo step each
  canvas._paste();
  EXPECT_EQ(canvas.rootNode()->getListOfDescendents().size(), kDepth + 1);
  kit::RunLoop::main().runOnce();
  ASSERT_TRUE(doc->undoManager()->undo());
  ASSERT_TRUE(doc->undoManager()->undo());  // the map saved before the cut is read back
  EXPECT_EQ(canvas.rootNode()->getListOfDescendents().size(), kDepth + 1);
}  // and the map goes
