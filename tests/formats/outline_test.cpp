// OPML reading, OPML from plain text, and the Markdown outline.
#include "formats/formats_test_support.h"
#include "helpers/global_helpers_file_formats.h"

using kit::Point;

namespace {
std::vector<std::string> names(const std::vector<NodeView*>& list) {
  std::vector<std::string> out;
  for (NodeView* n : list) out.push_back(n->strName());
  return out;
}
}  // namespace

class OutlineTest : public FormatsTest {};

TEST_F(OutlineTest, OPMLKeepsTextNotesNestingAndOrder) {
  const std::string opml =
      "<?xml version=\"1.0\"?><opml version=\"2.0\"><head><title>Plans</title></head><body>"
      "<outline text=\"Top\" _note=\"about &amp; more\">"
      "  <outline text=\"One\"><outline text=\"One.a\"/></outline>"
      "  <outline text=\"Two\" url=\"https://example.org/two?a=1&amp;b=2\"/>"
      "  <outline text=\"Three &lt;3&gt;\"/>"
      "</outline></body></opml>";
  NodeView* top = MapFormats::loadFromXML(*canvas, opml, MapFormats::LoadContext::Map);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(canvas->fileFormat(), GlobalHelpers::kFileTypeOPML);
  EXPECT_EQ(names(topics(canvas)), (std::vector<std::string>{"Top", "One", "One.a", "Two", "Three <3>"}));
  EXPECT_EQ(top->strNote(), "about & more");
  EXPECT_EQ(top->childNodes().size(), 3u);
  EXPECT_EQ(top->childNodes()[1]->strLink(), "https://example.org/two?a=1&b=2");
  EXPECT_EQ(top->childNodes()[2]->strLink(), "");
  // Without positions the children are stacked top to bottom beside their parent, in order.
  const auto& kids = top->childNodes();
  EXPECT_LT(kids[0]->center().y, kids[1]->center().y);
  EXPECT_LT(kids[1]->center().y, kids[2]->center().y);
  EXPECT_GT(kids[0]->center().x, top->center().x);
}

TEST_F(OutlineTest, SeveralTopOutlinesHangUnderTheDocumentTitle) {
  const std::string opml =
      "<opml><head><title>Week</title></head><body><outline text=\"Mon\"/><outline text=\"Tue\"/></body></opml>";
  NodeView* top = MapFormats::loadFromXML(*canvas, opml, MapFormats::LoadContext::Map);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(names(topics(canvas)), (std::vector<std::string>{"Week", "Mon", "Tue"}));
}

TEST_F(OutlineTest, AnOPMLWithoutOutlinesBuildsNothingQuietly) {
  NodeView* top = MapFormats::loadFromXML(*canvas, "<opml><body/></opml>", MapFormats::LoadContext::Map);
  EXPECT_EQ(top, nullptr);
  EXPECT_EQ(canvas->rootNode(), nullptr);
  EXPECT_TRUE(kit::Alert::shown().empty());
}

TEST_F(OutlineTest, TextIndentedByTabsOrFourSpacesBecomesNestedOutlines) {
  // Lines end in a line feed, a return and a line feed, or a return alone (older files).
  const std::string text = "Plan\n\tResearch\r        Read <papers> & notes\n    Write\r\n\r   \r\nShip\r";
  const std::string opml = GlobalHelpers::buildOPMLFromText(text, false);
  canvas->createChildNodeOf(nullptr, Point());
  NodeView* top = MapFormats::loadFromXML(*canvas, opml, MapFormats::LoadContext::Paste);
  ASSERT_NE(top, nullptr);
  // Two top-level lines without ensureSingleRoot: the reader itself gathers them.
  ASSERT_EQ(top->childNodes().size(), 2u);
  NodeView* plan = top->childNodes()[0].get();
  EXPECT_EQ(plan->strName(), "Plan");
  ASSERT_EQ(plan->childNodes().size(), 2u);
  EXPECT_EQ(plan->childNodes()[0]->strName(), "Research");
  EXPECT_EQ(plan->childNodes()[0]->childNodes()[0]->strName(), "Read <papers> & notes");
  EXPECT_EQ(plan->childNodes()[1]->strName(), "Write");
  EXPECT_EQ(top->childNodes()[1]->strName(), "Ship");
}

TEST_F(OutlineTest, EnsureSingleRootWrapsUnlessThereIsExactlyOneTopLine) {
  auto topName = [&](const std::string& text) {
    BigView* c = newCanvas();
    NodeView* t = MapFormats::loadFromXML(*c, GlobalHelpers::buildOPMLFromText(text, true), MapFormats::LoadContext::Map);
    return t ? t->strName() + "/" + std::to_string(c->getTopicCount(nullptr)) : std::string("none");
  };
  EXPECT_EQ(topName("one\n\tchild"), "one/2");
  EXPECT_EQ(topName("one\ntwo"), "Clipboard/3");
  EXPECT_EQ(topName("\tonly indented"), "only indented/1");  // the first line is always a top line
  EXPECT_EQ(topName(""), "Clipboard/1");
}

// Outline text is read without XML, so at any depth; OPML nested too deeply says so.
TEST_F(OutlineTest, PlainTextOutlinesHaveNoDepthLimitAndDeepOPMLSaysWhy) {
  std::string text = "Other\n", opml = "<opml><body>";
  for (int i = 0; i < 300; ++i) {
    text += std::string(static_cast<std::size_t>(i), '\t') + "L" + std::to_string(i) + "\n";
    opml += "<outline text=\"x\">";
  }
  const MapFormats::ParsedMap map = MapFormats::parseOutlineText(text);
  ASSERT_EQ(map.topics.size(), 302u);  // two top lines gather under a topic without text
  EXPECT_EQ(map.fileFormat, GlobalHelpers::kFileTypeOPML);
  EXPECT_EQ(map.topics[0].text, "");
  EXPECT_EQ(map.topics[0].parent, -1);
  EXPECT_EQ(map.topics[1].text, "Other");
  EXPECT_EQ(map.topics[1].parent, 0);
  EXPECT_EQ(map.topics[2].parent, 0);
  for (std::size_t i = 3; i < map.topics.size(); ++i) EXPECT_EQ(map.topics[i].parent, static_cast<int>(i) - 1);
  EXPECT_EQ(map.topics.back().text, "L299");

  const MapFormats::ParseResult deep = MapFormats::parseMapXML(opml + "</body></opml>");
  EXPECT_FALSE(deep.map);
  EXPECT_EQ(deep.error, "it is nested too deeply (more than 256 levels)");
}

TEST_F(OutlineTest, ALineNeverGoesMoreThanOneLevelDeeper) {
  const std::string opml = GlobalHelpers::buildOPMLFromText("a\n\t\t\tb\n\t\tc", true);
  NodeView* top = MapFormats::loadFromXML(*canvas, opml, MapFormats::LoadContext::Map);
  ASSERT_NE(top, nullptr);
  ASSERT_EQ(top->childNodes().size(), 1u);
  NodeView* b = top->childNodes()[0].get();
  EXPECT_EQ(b->strName(), "b");
  ASSERT_EQ(b->childNodes().size(), 1u);
  EXPECT_EQ(b->childNodes()[0]->strName(), "c");
}

// The reading order: down the right side of the central topic, then up its left side; deeper
// lists top to bottom. The child lists are created in another order.
TEST_F(OutlineTest, MarkdownOutlineListsTheBranchClockwise) {
  NodeView* root = canvas->createChildNodeOf(nullptr, Point());
  root->setStrName("Root");
  const Point c = root->center();
  auto at = [&](NodeView* parent, float dx, float dy, const char* name) {
    NodeView* n = canvas->createChildNodeOf(parent, Point(c.x + dx, c.y + dy));
    n->setStrName(name);
    return n;
  };
  at(root, -200, -100, "D");
  at(root, 200, 100, "B");
  at(root, -200, 100, "C");
  NodeView* a = at(root, 200, -100, "A\nsecond line");
  at(a, 400, -50, "A2");
  at(a, 400, -150, "A1");
  EXPECT_EQ(canvas->buildMarkdownOutlineFor(root),
            "- Root\n"
            "    - A\n"
            "      second line\n"
            "        - A1\n"
            "        - A2\n"
            "    - B\n"
            "    - C\n"
            "    - D\n");
  EXPECT_EQ(canvas->buildMarkdownOutlineFor(a), "- A\n  second line\n    - A1\n    - A2\n");
  EXPECT_EQ(canvas->buildMarkdownOutlineFor(nullptr), "");
}

// Indentation grows with the depth: a branch 24,000 levels deep would make an outline of more
// than 1 GiB, which is refused rather than built.
TEST_F(OutlineTest, AMarkdownOutlinePastOneGibibyteIsRefused) {
  auto chain = [](int levels) {
    MapFormats::ParsedMap map;
    map.topics.resize(static_cast<std::size_t>(levels));
    for (int i = 0; i < levels; ++i) {
      map.topics[static_cast<std::size_t>(i)].parent = i - 1;
      map.topics[static_cast<std::size_t>(i)].text = "T";
    }
    return map;
  };
  NodeView* top = MapFormats::buildMap(*canvas, chain(2000), MapFormats::LoadContext::Map);
  ASSERT_NE(top, nullptr);
  const std::string outline = canvas->buildMarkdownOutlineFor(top);
  EXPECT_EQ(outline.size(), 2000u * 4 + 4u * 1999 * 2000 / 2);
  EXPECT_EQ(outline.substr(outline.size() - 4 * 1999 - 4), std::string(4 * 1999, ' ') + "- T\n");

  BigView* deep = newCanvas();
  top = MapFormats::buildMap(*deep, chain(24000), MapFormats::LoadContext::Map);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(deep->buildMarkdownOutlineFor(top), "");
}

TEST_F(OutlineTest, TheMarkdownOutlinePastesBackWithTheSameShape) {
  NodeView* root = canvas->createChildNodeOf(nullptr, Point());
  root->setStrName("Root");
  const Point c = root->center();
  NodeView* a = canvas->createChildNodeOf(root, Point(c.x + 100, c.y + 100));
  a->setStrName("A");
  canvas->createChildNodeOf(a, Point(c.x + 200, c.y + 100))->setStrName("A1");
  canvas->createChildNodeOf(root, Point(c.x + 100, c.y + 200))->setStrName("B");
  const std::string md = canvas->buildMarkdownOutlineFor(root);

  BigView* other = newCanvas();
  NodeView* top = MapFormats::loadFromXML(*other, GlobalHelpers::buildOPMLFromText(md, true), MapFormats::LoadContext::Map);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(names(topics(other)), (std::vector<std::string>{"- Root", "- A", "- A1", "- B"}));
  EXPECT_EQ(top->childNodes()[0]->childNodes().size(), 1u);
}
