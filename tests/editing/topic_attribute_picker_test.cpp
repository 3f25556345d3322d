// The Paste Style chooser driven by touches on a map: ticked attributes and scope reach the
// topics as one undo step, and the chooser leaves the navigation stack.
#include <gtest/gtest.h>


#include "document/pseudo_map_view_controller.h"
#include "editing/topic_attribute_picker.h"
#include "formats/map_formats.h"
#include "kit/core/run_loop.h"
#include "kit/testing/event_script.h"
#include "kit/testing/fixtures.h"
#include "kit/testing/pictures.h"
#include "kit/ui/compositor.h"
#include "kit/ui/window.h"

using kit::IndexPath;
using kit::Point;

namespace {

struct Opener : kit::ViewControllerDelegate {
  void onDone(kit::ViewController& sender, const kit::Value& context) override {
    calls.push_back("done");
    senders.push_back(&sender);
    contexts.push_back(context);
  }
  void onCancel(kit::ViewController& sender, const kit::Value& context) override {
    calls.push_back("cancel");
    senders.push_back(&sender);
    contexts.push_back(context);
  }
  std::vector<std::string> calls;
  std::vector<kit::ViewController*> senders;
  std::vector<kit::Value> contexts;
};

class PasteStyleTest : public kit::AppHomeTest {
 protected:
  void SetUp() override {
    doc = std::make_unique<PseudoMapViewController>();
    canvas = doc->bigView();
    root = canvas->createChildNodeOf(nullptr, Point(17000, 15000));
    topic = canvas->createChildNodeOf(root, Point(17300, 15000));
    sibling = canvas->createChildNodeOf(root, Point(17300, 15200));
    source = canvas->createChildNodeOf(root, Point(16700, 15000));
    source->setColourWithRGB255(RGB255{200, 40, 40}, false, false);
    source->setShape(TopicShape::Oval, false, false);
    source->setEffort(std::string("2h"), false);
    endPass();
    nav = std::make_unique<kit::NavigationController>(std::make_unique<kit::ViewController>());
    nav->view().setFrame(window.bounds());
    window.addSubview(&nav->view());
    nav->viewDidAppear(false);
    auto owned = std::make_unique<TopicAttributePicker>(source->dumpToDictionary(0x7FFC), topic);
    picker = owned.get();
    picker->setViewControllerDelegate(&opener);
    nav->pushViewController(std::move(owned), true);
  }
  void TearDown() override {
    nav.reset();
    doc.reset();
  }
  void endPass() { kit::RunLoop::main().runOnce(); }
  void tapRow(IndexPath path) {
    kit::TableView& table = picker->tableView();
    kit::Rect r = table.rectForRowAtIndexPath(path);
    script.tap(table.convertPointToView(Point(r.midX(), r.midY()), &window));
  }
  int rowOf(std::uint32_t flag) {
    const auto& offered = picker->offeredFlags();
    return static_cast<int>(std::find(offered.begin(), offered.end(), flag) - offered.begin());
  }

  kit::Window window{kit::Rect(0, 0, 320, 700)};
  kit::EventScript script{window};
  std::unique_ptr<PseudoMapViewController> doc;
  BigView* canvas = nullptr;
  NodeView *root = nullptr, *topic = nullptr, *sibling = nullptr, *source = nullptr;
  std::unique_ptr<kit::NavigationController> nav;
  TopicAttributePicker* picker = nullptr;
  Opener opener;
};

}  // namespace

TEST_F(PasteStyleTest, TickedAttributesReachTheTopicAndSiblingsAsOneUndoStep) {
  // The record offers what a dump always writes, and the effort, but no dates, resources or icons.
  EXPECT_EQ(picker->offeredFlags().size(), 9u);
  EXPECT_EQ(rowOf(NodeModTally::StartDate), 9);
  EXPECT_EQ(picker->mask(), 0x13FCu);
  tapRow(IndexPath{0, rowOf(NodeModTally::Shape)});
  tapRow(IndexPath{0, rowOf(NodeModTally::Callout)});
  tapRow(IndexPath{1, 0});  // siblings
  EXPECT_EQ(picker->mask(), 0x13FCu & ~0x28u);
  EXPECT_EQ(picker->scope(), 0x4u);
  EXPECT_EQ(picker->tableView().cellForRowAtIndexPath(IndexPath{0, rowOf(NodeModTally::Shape)})->accessoryType(),
            kit::TableViewCellAccessory::None);
  EXPECT_TRUE(kit::writeTestPicture(kit::renderViewTree(nav->view(), 2, kit::Color::white()), "paste-style.png"));
  const std::string before = MapFormats::dumpMap(*canvas);
  ASSERT_NE(nav->rightBarButton(), nullptr);
  script.tap(nav->rightBarButton()->convertPointToView(Point(10, 10), &window));
  endPass();

  ASSERT_EQ(opener.calls, std::vector<std::string>{"done"});
  EXPECT_EQ(opener.senders[0], picker);
  EXPECT_TRUE(opener.contexts[0].isNull());
  EXPECT_EQ(nav->viewControllers().size(), 1u);  // the chooser closed itself
  for (NodeView* n : {topic, sibling}) {
    EXPECT_EQ(n->getColourAsString(), "C82828");
    EXPECT_EQ(n->getShape(), TopicShape::Unset);
    EXPECT_EQ(n->getEffort(), "2h");
  }
  EXPECT_EQ(root->getColourAsString(), "0000FE");
  ASSERT_TRUE(doc->undoManager()->undo());
  EXPECT_EQ(MapFormats::dumpMap(*canvas), before);
}

TEST_F(PasteStyleTest, CancelChangesNothingAndAPastedRecordOfNoUseOffersNothing) {
  const std::string before = MapFormats::dumpMap(*canvas);
  script.tap(nav->leftBarButton()->convertPointToView(Point(10, 10), &window));
  endPass();
  EXPECT_EQ(opener.calls, std::vector<std::string>{"cancel"});
  EXPECT_EQ(nav->viewControllers().size(), 1u);
  EXPECT_EQ(MapFormats::dumpMap(*canvas), before);
  EXPECT_FALSE(doc->undoManager()->canUndo());

  TopicAttributePicker junk(kit::Value(kit::Array{kit::Value(1)}), topic);
  EXPECT_TRUE(junk.offeredFlags().empty());
  junk.onApply();  // not on a stack, nothing ticked: nothing happens
  EXPECT_EQ(MapFormats::dumpMap(*canvas), before);
}
