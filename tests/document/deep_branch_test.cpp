// A branch far deeper than the stack could follow by recursion: what a person can do with it
// works.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "document/pseudo_map_view_controller.h"
#include "formats/map_formats.h"
#include "kit/core/run_loop.h"
#include "kit/testing/fixtures.h"

namespace {

// Deep enough to overflow an 8 MB stack at a few dozen bytes a level.
constexpr std::size_t kDepth = 300'000;

std::size_t topicsIn(BigView& canvas) {
  const std::string xml = MapFormats::dumpMap(canvas);
  std::size_t n = 0;
  for (std::size_t at = xml.find("<topic "); at != std::string::npos; at = xml.find("<topic ", at + 1)) ++n;
  return n;
}

}  // namespace

TEST(DeepBranch, CopyFoldCutUndoAndClosingWork) {
  kit::TemporaryAppHome home;
  auto doc = std::make_unique<PseudoMapViewController>();
  doc->setMapID("deep");
  std::string xml = "<QuillmereRelative version=\"1\">\n<topic level=\"0\" x=\"500\" y=\"500\" text=\"C\"/>\n";
  for (std::size_t i = 1; i <= kDepth; ++i) xml += fmt::format("<topic level=\"{}\" x=\"{}\" y=\"500\" text=\"t\"/>\n", i, 500 + 10 * i);
  BigView& canvas = *doc->bigView();
  canvas.loadFromXML(xml + "</QuillmereRelative>", MapFormats::LoadContext::Map);
  NodeView* top = canvas.rootNode()->childNodes().at(0).get();
  canvas.setSelectedNode(top, false);

  canvas._copy();
  canvas.hide();
  EXPECT_EQ(top->childNodes().at(0)->alpha(), 0.0f);
  canvas.show();
  EXPECT_EQ(top->childNodes().at(0)->alpha(), 1.0f);
  canvas._cut();
  EXPECT_EQ(topicsIn(canvas), 1u);
  ASSERT_TRUE(doc->undoManager()->undo());  // the map is saved and read back as it was
  EXPECT_EQ(topicsIn(canvas), kDepth + 1);
  doc.reset();  // the map goes, with all its topics
}
