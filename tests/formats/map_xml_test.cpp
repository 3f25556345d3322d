#include <algorithm>
#include <chrono>

#include "formats/formats_test_support.h"
#include "helpers/global_helpers_file_formats.h"
#include "helpers/strings.h"
#include "kit/graphics/image_context.h"
#include "model/asset_library.h"

using kit::Point;

namespace {

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) s.replace(at, from.size(), to);
  return s;
}

}  // namespace

class MapXMLTest : public FormatsTest {
 protected:
  // A map that uses every attribute, awkward text included.
  NodeView* buildRichMap() {
    NodeView* root = canvas->createChildNodeOf(nullptr, Point());
    root->setStrName("Central <&> \"quoted\" 'single'");
    root->setStrNote("line one\nline two\r\n\tindented");
    root->setStrLink("https://example.org/a?b=1&c=2");
    root->setColourWithRGB255(RGB255{255, 128, 0}, false, false);
    root->setShape(2, false, false);
    root->setFontSize(24.5f, false, false);
    root->setWidth(180, false, false);
    root->setTextStyle(6, false, false);

    a = canvas->createChildNodeOf(root, Point(17500.5f, 15300.25f));
    a->setStrName("uuid in the text, uuid=\"x\"");
    a->setStrReferenceID(std::string("ref-7"));
    a->setStrIcon1(std::string("flag"));
    a->setStrIcon2(std::string("star"));
    a->setImage(storeImage(kit::Size(100, 100)), false);
    a->setStartDate(kit::Date{1700000000.25});
    a->setDueDate(kit::Date{-86400.5});
    a->setPercentComplete(40);
    a->set_effort(std::string("2d 3h"));
    a->setIsRollupTask(true, false);
    a->setHasBoundary(true, false);
    a->set_resources(kit::Array{kit::Value(kit::Dictionary{{"name", "Ann, Bob; Cy"}, {"loading", "80"}}),
                                kit::Value(kit::Dictionary{{"name", "Dee"}})});
    NodeView* a1 = canvas->createChildNodeOf(a, Point(17700, 15200));
    a1->setStrName("Ünïcødé ✓ 漢字");
    NodeView* a2 = canvas->createChildNodeOf(a, Point(17700, 15260));
    a2->setStrName("");
    a->fold();

    b = canvas->createChildNodeOf(root, Point(17000, 15400));
    b->setStrName("left side");
    NodeView* callout = canvas->createChildNodeOf(b, Point(16900, 15500));
    callout->setStrName("a callout");
    callout->setIsCallout(true, false);
    NodeView* floating = canvas->createChildNodeOf(root, Point(18000, 16000));
    floating->setStrName("floating");
    floating->setIsFloating(true, false);

    RelationshipView* r = canvas->createRelationshipBetweenNode(a1, 2, floating, 0, Point(30, -45), RGB255{10, 20, 30});
    EXPECT_NE(r, nullptr);
    canvas->createRelationshipBetweenNode(b, 1, a, 1, Point(), RGB255{0, 255, 0});
    canvas->createRelationshipBetweenNode(b, 0, b, 2, Point(90, -10), RGB255{200, 0, 0});  // a loop
    return root;
  }

  // A plain picture in the map's asset library (the fake document's map id).
  static std::string storeImage(kit::Size size) {
    auto ic = kit::ImageContext::create(size, true);
    ic->context().setFillColor(kit::Color(0, 0, 1));
    ic->context().fillRect(kit::Rect(Point(), size));
    return AssetLibrary::assetLibraryForMap("MAP")->saveAsset(ic->image()).value_or("");
  }

  NodeView* a = nullptr;
  NodeView* b = nullptr;
};

TEST_F(MapXMLTest, AWholeMapRoundTripsEveryAttributeAndPosition) {
  buildRichMap();
  // A handle dragged onto its first end's centre is written as a zero offset and must stay there.
  canvas->relationships()[1]->setCenter(b->center());
  const std::string xml = MapFormats::dumpMap(*canvas);
  ASSERT_NE(xml.find("<QuillmereRelative"), std::string::npos);

  BigView* copy = newCanvas();
  NodeView* top = MapFormats::loadFromXML(*copy, xml, MapFormats::LoadContext::Map);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(copy->rootNode(), top);
  EXPECT_EQ(copy->lastLoadedRootNode(), top);
  EXPECT_EQ(copy->fileFormat(), GlobalHelpers::kFileTypeQLM);
  EXPECT_TRUE(kit::Alert::shown().empty());

  auto before = topics(canvas), after = topics(copy);
  ASSERT_EQ(before.size(), after.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    expectSameTopic(before[i], after[i]);
    EXPECT_EQ(before[i]->center(), after[i]->center()) << before[i]->strName();
    EXPECT_EQ(before[i]->alpha(), after[i]->alpha()) << before[i]->strName();  // folds hide alike
    EXPECT_EQ(before[i]->imageSize(), after[i]->imageSize()) << before[i]->strName();
  }
  EXPECT_EQ(after[1]->imageSize(), kit::Size(100, 100));  // the image itself was read
  EXPECT_EQ(copy->selectedNode(), top);
  EXPECT_TRUE(top->isSelected());
  EXPECT_EQ(std::count_if(after.begin(), after.end(), [](NodeView* n) { return n->isSelected(); }), 1);

  ASSERT_EQ(copy->relationships().size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const RelationshipView& x = *canvas->relationships()[i];
    const RelationshipView& y = *copy->relationships()[i];
    EXPECT_EQ(x.uuid(), y.uuid());
    EXPECT_EQ(x.end1()->uuid(), y.end1()->uuid());
    EXPECT_EQ(x.end2()->uuid(), y.end2()->uuid());
    EXPECT_EQ(x.arrowTypeEnd1(), y.arrowTypeEnd1());
    EXPECT_EQ(x.arrowTypeEnd2(), y.arrowTypeEnd2());
    EXPECT_EQ(x.getColourAsString(), y.getColourAsString());
    EXPECT_EQ(x.center(), y.center());
  }
  // Writing the copy again gives the very same text.
  EXPECT_EQ(MapFormats::dumpMap(*copy), xml);
}

TEST_F(MapXMLTest, CharactersXMLCannotCarryAreDroppedNotFatal) {
  NodeView* root = canvas->createChildNodeOf(nullptr, Point());
  const std::string tenMegabytes(10u << 20, 'a');  // over libxml2's own limit for a value
  root->setStrName(std::string("bell\x07 nul") + '\0' + "end \xff bad" + tenMegabytes);
  std::string xml = MapFormats::dumpMap(*canvas);
  BigView* copy = newCanvas();
  ASSERT_NE(MapFormats::loadFromXML(*copy, xml, MapFormats::LoadContext::Map), nullptr);
  EXPECT_EQ(copy->rootNode()->strName(), "bell nulend  bad" + tenMegabytes);
}

TEST_F(MapXMLTest, OfTheControlCharactersOnlyTabNewLineAndReturnAreKept) {
  std::string text, kept;
  for (char c = 0x01; c <= 0x1F; ++c) {
    text += 'x';
    text += c;
    kept += 'x';
    if (c == '\t' || c == '\n' || c == '\r') kept += c;
  }
  text += 'x';
  kept += 'x';
  NodeView* root = canvas->createChildNodeOf(nullptr, Point());
  root->setStrName(text);
  root->setStrNote(text);
  BigView* copy = newCanvas();
  ASSERT_NE(MapFormats::loadFromXML(*copy, MapFormats::dumpMap(*canvas), MapFormats::LoadContext::Map), nullptr);
  EXPECT_EQ(copy->rootNode()->strName(), kept);
  EXPECT_EQ(copy->rootNode()->strNote(), kept);
  for (char c = 0x01; c <= 0x1F; ++c) {
    const bool stays = c == '\t' || c == '\n' || c == '\r';
    EXPECT_EQ(strings::FormatForXML(std::string("a") + c + "b"), stays ? std::string("a") + c + "b" : "ab") << int(c);
  }
}

TEST_F(MapXMLTest, APastedBranchTakesNewIdentitiesAndKeepsItsInnerRelationships) {
  NodeView* root = buildRichMap();
  std::string xml;
  canvas->dumpNode(a, xml, GlobalHelpers::kFileTypeQLM);
  // Only the relationship with both ends in the branch travels with it.
  EXPECT_EQ(std::count_if(xml.begin(), xml.end(), [](char c) { return c == '\n'; }) > 3, true);
  EXPECT_EQ(xml.find("<relationship"), std::string::npos);

  const std::string pasted = replaceAll(xml, "uuid", "_uuid");  // as the clipboard does
  canvas->setSelectedNode(b, false);
  const std::size_t relationshipsBefore = canvas->relationships().size();
  NodeView* top = MapFormats::loadFromXML(*canvas, pasted, MapFormats::LoadContext::Paste);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->parentNode(), b);
  EXPECT_EQ(canvas->lastLoadedRootNode(), top);
  EXPECT_NE(top->uuid(), a->uuid());
  EXPECT_EQ(top->strName(), a->strName());  // "uuid" in the text survived the renaming
  EXPECT_EQ(canvas->relationships().size(), relationshipsBefore);

  std::vector<std::string> ids;
  for (NodeView* n : topics(canvas)) ids.push_back(n->uuid());
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
  EXPECT_EQ(canvas->getTopicCount(root), 10);
}

TEST_F(MapXMLTest, RelationshipsInsideACopiedBranchAreRebuiltBetweenTheCopies) {
  buildRichMap();
  std::string xml;
  canvas->dumpNode(canvas->rootNode(), xml, GlobalHelpers::kFileTypeQLM);
  canvas->setSelectedNode(b, false);
  NodeView* top = MapFormats::loadFromXML(*canvas, replaceAll(xml, "uuid", "_uuid"), MapFormats::LoadContext::Paste);
  ASSERT_NE(top, nullptr);
  ASSERT_EQ(canvas->relationships().size(), 6u);
  for (std::size_t i = 3; i < 6; ++i) {
    const RelationshipView& r = *canvas->relationships()[i];
    EXPECT_TRUE(r.end1()->isaChildOf(top) || r.end1() == top);
    EXPECT_TRUE(r.end2()->isaChildOf(top) || r.end2() == top);
    EXPECT_NE(r.uuid(), canvas->relationships()[i - 3]->uuid());
  }
}

TEST_F(MapXMLTest, LoadingTheSameMapTwiceNeverDuplicatesAnIdentity) {
  buildRichMap();
  const std::string xml = MapFormats::dumpMap(*canvas);
  canvas->setSelectedNode(b, false);
  NodeView* top = MapFormats::loadFromXML(*canvas, xml, MapFormats::LoadContext::Paste);
  ASSERT_NE(top, nullptr);
  std::vector<std::string> ids;
  for (NodeView* n : topics(canvas)) ids.push_back(n->uuid());
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
}

TEST_F(MapXMLTest, AUuidRepeatedInOneFileIsKeptByItsFirstTopicOnly) {
  const std::string xml =
      "<QuillmereRelative version=\"1\">"
      "<topic level=\"0\" uuid=\"U0\" x=\"100\" y=\"100\" text=\"top\"/>"
      "<topic level=\"1\" uuid=\"U1\" x=\"300\" y=\"100\" text=\"first\"/>"
      "<topic level=\"1\" uuid=\"U1\" x=\"300\" y=\"200\" text=\"second\"/>"
      "<topic level=\"2\" uuid=\"U0\" x=\"500\" y=\"200\" text=\"third\"/>"
      "<relationship uuid=\"R\" from=\"U0\" to=\"U1\"/>"
      "</QuillmereRelative>";
  NodeView* top = MapFormats::loadFromXML(*canvas, xml, MapFormats::LoadContext::Map);
  ASSERT_NE(top, nullptr);
  ASSERT_EQ(top->childNodes().size(), 2u);
  NodeView* first = top->childNodes()[0].get();
  NodeView* second = top->childNodes()[1].get();
  ASSERT_EQ(second->childNodes().size(), 1u);
  NodeView* third = second->childNodes()[0].get();
  EXPECT_EQ(top->uuid(), "U0");
  EXPECT_EQ(first->uuid(), "U1");
  EXPECT_NE(second->uuid(), "U1");
  EXPECT_NE(third->uuid(), "U0");
  EXPECT_NE(second->uuid(), third->uuid());
  ASSERT_EQ(canvas->relationships().size(), 1u);
  EXPECT_EQ(canvas->relationships()[0]->end1(), top);
  EXPECT_EQ(canvas->relationships()[0]->end2(), first);
}

TEST_F(MapXMLTest, DeepChainsRoundTripWithoutAnyNestingLimit) {
  NodeView* n = canvas->createChildNodeOf(nullptr, Point());
  for (int i = 0; i < 2000; ++i) {
    n = canvas->createChildNodeOf(n, Point(100.0f + i, 100));
    n->setStrName("level " + std::to_string(i + 1));
  }
  BigView* copy = newCanvas();
  ASSERT_NE(MapFormats::loadFromXML(*copy, MapFormats::dumpMap(*canvas), MapFormats::LoadContext::Map), nullptr);
  EXPECT_EQ(copy->getTopicCount(nullptr), 2001);
  NodeView* deepest = copy->rootNode();
  while (!deepest->childNodes().empty()) deepest = deepest->childNodes().front().get();
  EXPECT_EQ(deepest->strName(), "level 2000");
  EXPECT_EQ(deepest->getNumberOfAncestors(), 2000);
}

// Making a topic costs the same at any depth, and so does folding it: a chain of 100,000
// folded topics loads in about the time of as many siblings.
TEST_F(MapXMLTest, AVeryDeepFoldedChainLoadsInLinearTime) {
  constexpr int kDepth = 100000;
  std::string xml = "<QuillmereRelative>";
  for (int i = 0; i < kDepth; ++i)
    xml += "<topic level=\"" + std::to_string(i) + "\" text=\"t\" folded=\"1\" x=\"" + std::to_string(17280 + i) + "\" y=\"15360\"/>";
  xml += "</QuillmereRelative>";
  const auto start = std::chrono::steady_clock::now();
  NodeView* top = MapFormats::loadFromXML(*canvas, xml, MapFormats::LoadContext::Map);
  ASSERT_NE(top, nullptr);
  top->recalcLayoutRecursively(true, false, false, false, false);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 30.0);
  EXPECT_EQ(canvas->getTopicCount(nullptr), kDepth);
  NodeView* deepest = top;
  while (!deepest->childNodes().empty()) deepest = deepest->childNodes().front().get();
  EXPECT_EQ(deepest->getNumberOfAncestors(), kDepth - 1);
  EXPECT_TRUE(top->isFolded());
  EXPECT_FALSE(deepest->isFolded());  // nothing to fold
  EXPECT_EQ(top->alpha(), 1.0f);
  EXPECT_EQ(top->childNodes().front()->alpha(), 0.0f);
  EXPECT_EQ(deepest->alpha(), 0.0f);
  EXPECT_EQ(canvas->selectedNode(), top);
}

TEST_F(MapXMLTest, OnlyTheNativeFormatIsWritten) {
  buildRichMap();
  std::string xml = "kept";
  canvas->dumpNode(canvas->rootNode(), xml, GlobalHelpers::kFileTypeOPML);
  canvas->dumpNode(nullptr, xml, GlobalHelpers::kFileTypeQLM);
  EXPECT_EQ(xml, "kept");
}

// ---- Load contexts ----

class LoadContextTest : public FormatsTest {
 protected:
  void SetUp() override {
    FormatsTest::SetUp();
    BigView* source = newCanvas();
    NodeView* top = source->createChildNodeOf(nullptr, Point());
    top->setStrName("branch");
    NodeView* child = source->createChildNodeOf(top, Point(top->center().x + 150, top->center().y + 40));
    child->setStrName("leaf");
    MapFormats::dumpNode(*source, top, branchXML, GlobalHelpers::kFileTypeQLM);
    branchXML = replaceAll(branchXML, "uuid", "_uuid");

    root = canvas->createChildNodeOf(nullptr, Point());
    root->setStrName("root");
  }
  std::string branchXML;
  NodeView* root = nullptr;
};

TEST_F(LoadContextTest, APasteHangsUnderTheSelectionAndKeepsTheBranchShape) {
  NodeView* target = canvas->createChildNodeOf(root, Point(root->center().x + 300, root->center().y));
  canvas->setSelectedNode(target, false);
  NodeView* top = MapFormats::loadFromXML(*canvas, branchXML, MapFormats::LoadContext::Paste);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->parentNode(), target);
  EXPECT_EQ(canvas->selectedNode(), top);
  ASSERT_EQ(top->childNodes().size(), 1u);
  NodeView* leaf = top->childNodes()[0].get();
  EXPECT_EQ(leaf->strName(), "leaf");
  EXPECT_EQ(leaf->center().x - top->center().x, 150);
  EXPECT_EQ(leaf->center().y - top->center().y, 40);
}

TEST_F(LoadContextTest, LeftAndRightContextsChooseTheSideOfTheCentralTopic) {
  canvas->setSelectedNode(root, false);
  NodeView* left = MapFormats::loadFromXML(*canvas, branchXML, MapFormats::LoadContext::Left);
  ASSERT_NE(left, nullptr);
  EXPECT_LT(left->center().x, root->center().x);
  canvas->setSelectedNode(root, false);
  NodeView* right = MapFormats::loadFromXML(*canvas, branchXML, MapFormats::LoadContext::Right);
  ASSERT_NE(right, nullptr);
  EXPECT_GT(right->center().x, root->center().x);
  EXPECT_EQ(left->parentNode(), root);
  EXPECT_EQ(right->parentNode(), root);
}

TEST_F(LoadContextTest, TheCrosshairPlacesTheTopTopicAndIsHidden) {
  canvas->setSelectedNode(root, false);
  canvas->crosshairButton()->setCenter(Point(1234, 2345));
  canvas->crosshairButton()->setAlpha(1);
  NodeView* top = MapFormats::loadFromXML(*canvas, branchXML, MapFormats::LoadContext::Floating);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->center(), Point(1234, 2345));
  EXPECT_EQ(top->parentNode(), root);
  EXPECT_FALSE(canvas->isCrosshairShown());
  EXPECT_EQ(top->childNodes()[0]->center(), Point(1234 + 150, 2345 + 40));
}

TEST_F(LoadContextTest, AWholeMapIntoAnEmptyCanvasBecomesTheRootWhereItWas) {
  BigView* empty = newCanvas();
  NodeView* top = MapFormats::loadFromXML(*empty, branchXML, MapFormats::LoadContext::Map);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(empty->rootNode(), top);
  EXPECT_EQ(top->parentNode(), nullptr);
}

TEST_F(LoadContextTest, WithoutASelectionTheRootIsNeverReplaced) {
  canvas->setSelectedNode(nullptr, false);
  NodeView* top = MapFormats::loadFromXML(*canvas, branchXML, MapFormats::LoadContext::Paste);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(canvas->rootNode(), root);
  EXPECT_EQ(top->parentNode(), root);
}

// ---- Faults ----

class LoadFaultTest : public MapXMLTest {};

TEST_F(LoadFaultTest, DamagedInputBuildsNothingAndAlerts) {
  NodeView* root = buildRichMap();
  canvas->setSelectedNode(b, false);
  const std::string xml = MapFormats::dumpMap(*canvas);
  const int count = canvas->getTopicCount(nullptr);
  const std::size_t relationships = canvas->relationships().size();
  const std::vector<std::string> bad = {
      "",
      "   \n",
      xml.substr(0, xml.size() / 2),                                   // truncated
      xml.substr(0, xml.size() - 5),                                   // truncated at the end
      "<QuillmereRelative><topic level=\"0\"/><topic level=\"2\"/></QuillmereRelative>",  // skips a level
      "<QuillmereRelative><topic level=\"1\"/></QuillmereRelative>",   // starts below the top
      "<QuillmereRelative><topic text=\"no level\"/></QuillmereRelative>",
      "<QuillmereRelative><topic level=\"0\"><topic level=\"1\"/></topic></QuillmereRelative>",
      "<html><body>not a map</body></html>",
      "not xml at all",
      "<opml><body><outline text=\"a\"></body></opml>",
  };
  for (const std::string& input : bad) {
    SCOPED_TRACE(input.substr(0, 60));
    kit::Alert::clearShown();
    NodeView* top = MapFormats::loadFromXML(*canvas, input, MapFormats::LoadContext::Paste);
    EXPECT_EQ(top, nullptr);
    EXPECT_EQ(canvas->lastLoadedRootNode(), nullptr);
    EXPECT_EQ(canvas->getTopicCount(nullptr), count);
    EXPECT_EQ(canvas->relationships().size(), relationships);
    EXPECT_EQ(canvas->rootNode(), root);
    EXPECT_EQ(canvas->selectedNode(), b);
    ASSERT_EQ(kit::Alert::shown().size(), 1u);
    EXPECT_EQ(kit::Alert::shown()[0].title, MapFormats::kLoadErrorTitle);
  }
}

TEST_F(LoadFaultTest, EntityExpansionBombsAreRefused) {
  std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE m [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">";
  const char* names = "abcdefghij";
  for (int i = 1; i < 10; ++i) {
    bomb += std::string("<!ENTITY ") + names[i] + " \"";
    for (int k = 0; k < 10; ++k) bomb += std::string("&") + names[i - 1] + ";";
    bomb += "\">";
  }
  bomb += "]><QuillmereRelative><topic level=\"0\" text=\"&j;\"/></QuillmereRelative>";
  NodeView* top = MapFormats::loadFromXML(*canvas, bomb, MapFormats::LoadContext::Map);
  EXPECT_EQ(top, nullptr);
  EXPECT_EQ(canvas->rootNode(), nullptr);
  EXPECT_EQ(kit::Alert::shown().size(), 1u);
}

TEST_F(LoadFaultTest, ExternalEntitiesAreNeverRead) {
  const std::string path = kit::AppPaths::temporary() + "/secret.txt";
  ASSERT_TRUE(kit::FileManager::write(path, std::string_view("TOP SECRET")));
  const std::string xml = "<?xml version=\"1.0\"?><!DOCTYPE m [<!ENTITY x SYSTEM \"file://" + path +
                          "\">]><QuillmereRelative><topic level=\"0\" text=\"[&x;]\"/></QuillmereRelative>";
  NodeView* top = MapFormats::loadFromXML(*canvas, xml, MapFormats::LoadContext::Map);
  if (top) {
    EXPECT_EQ(top->strName().find("SECRET"), std::string::npos);
  }
}

TEST_F(LoadFaultTest, GarbledAttributeValuesFallBackToDefaults) {
  const std::string xml =
      "<QuillmereRelative><topic level=\"0\" text=\"t\" x=\"nan\" y=\"1e99\" fontSize=\"-3\" width=\"1e30\" "
      "shape=\"zz\" percent=\"250\" colour=\"GG0000\" start=\"inf\" textStyle=\"-1\"/>"
      "<topic level=\"1\" fontSize=\"0.001\"/><topic level=\"1\" fontSize=\"5000\"/>"
      "<relationship from=\"nowhere\" to=\"nobody\"/><unknown/></QuillmereRelative>";
  NodeView* top = MapFormats::loadFromXML(*canvas, xml, MapFormats::LoadContext::Map);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->center(), Point(17280, 15360));
  EXPECT_EQ(top->getFontSize(), 0);
  EXPECT_EQ(top->getWidth(), 0);
  EXPECT_EQ(top->getShape(), 99);
  EXPECT_EQ(top->percentComplete(), -1);
  EXPECT_FALSE(top->startDate().has_value());
  EXPECT_EQ(top->getTextStyle(), 0u);
  EXPECT_EQ(top->colour255().b, 254);
  EXPECT_EQ(top->childNodes().front()->getFontSize(), 1);  // sizes are brought into 1..1000
  EXPECT_EQ(top->childNodes().back()->getFontSize(), 1000);
  EXPECT_TRUE(canvas->relationships().empty());
}

// Numbers written by hand or by other tools: signs, blanks, leading zeros and fractions read as
// the writer's own whole numbers do; anything else around a number makes it unreadable.
TEST_F(LoadFaultTest, NumbersReadTheSameInEveryWrittenForm) {
  const std::string xml =
      "<QuillmereRelative><topic level=\"0\" text=\"r\" x=\"-120\" y=\" 45 \"/>"
      "<topic level=\"1\" text=\"a\" x=\"+7\" y=\"0012\" percent=\"007\"/>"
      "<topic level=\"1\" text=\"b\" x=\"-0\" y=\"-35.6\" percent=\"-\"/>"
      "<topic level=\"1\" text=\"c\" x=\"1234567\" y=\"-9999999\" percent=\"1e2\"/>"
      "</QuillmereRelative>";
  NodeView* top = MapFormats::loadFromXML(*canvas, xml, MapFormats::LoadContext::Map);
  ASSERT_NE(top, nullptr);
  ASSERT_EQ(top->childNodes().size(), 3u);
  EXPECT_EQ(top->center(), Point(-120, 45));
  const NodeView* a = top->childNodes()[0].get();
  const NodeView* b = top->childNodes()[1].get();
  const NodeView* c = top->childNodes()[2].get();
  EXPECT_EQ(a->center(), Point(7, 12));
  EXPECT_EQ(a->percentComplete(), 7);
  EXPECT_EQ(b->center(), Point(0, -36));
  EXPECT_EQ(b->percentComplete(), -1);
  EXPECT_EQ(c->center(), Point(1234567, -9999999));
  EXPECT_EQ(c->percentComplete(), -1);
}

TEST_F(LoadFaultTest, EveryTruncationOfAMapBuildsNothing) {
  buildRichMap();
  const std::string xml = MapFormats::dumpMap(*canvas);
  const int count = canvas->getTopicCount(nullptr);
  canvas->setSelectedNode(b, false);
  // Cutting inside the final closing tag, or before any topic, must fail as cleanly as anywhere.
  for (std::size_t cut = 0; cut + 2 < xml.size(); cut += 13) {
    ASSERT_EQ(MapFormats::loadFromXML(*canvas, std::string_view(xml).substr(0, cut), MapFormats::LoadContext::Paste), nullptr)
        << "cut at " << cut;
    ASSERT_EQ(canvas->getTopicCount(nullptr), count);
  }
}
