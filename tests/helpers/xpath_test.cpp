#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "helpers/xpath_query.h"
#include "kit/testing/app_home.h"

namespace {

std::unique_ptr<XPathQuery> query(std::string_view xml) {
  auto q = XPathQuery::objectWithXMLString(xml);
  EXPECT_TRUE(q) << xml;
  return q;
}

const kit::Value& first(const std::optional<kit::Array>& results) {
  static const kit::Value none;
  return results && !results->empty() ? results->front() : none;
}

}  // namespace

// ---- Node dictionaries ----

TEST(XPathNodeDictionary, AttributeQueryGivesItsNameAndValue) {
  auto q = query("<imm><highlight_cloud id=\"7\"/></imm>");
  ASSERT_TRUE(q);
  EXPECT_EQ(q->singleValueQuery("//imm/highlight_cloud/@id"), "7");
  auto raw = q->rawQuery("//imm/highlight_cloud/@id");
  ASSERT_TRUE(raw);
  ASSERT_EQ(raw->size(), 1u);
  EXPECT_EQ(first(raw), kit::Value(kit::Dictionary{{"nodeName", "id"}, {"nodeContent", "7"}}));
}

TEST(XPathNodeDictionary, JoinsTrimmedDirectTextAroundChildElements) {
  auto q = query("<r><e>  a\n <child x=\" x \">inner</child>\tb  </e></r>");
  ASSERT_TRUE(q);
  const kit::Value e = first(q->rawQuery("/r/e"));
  EXPECT_EQ(e["nodeName"].string(), "e");
  EXPECT_EQ(e["nodeContent"].string(), "ab");
  ASSERT_EQ(e["nodeChildArray"].count(), 1u);
  const kit::Value& child = e["nodeChildArray"].array()[0];
  EXPECT_EQ(child["nodeName"].string(), "child");
  EXPECT_EQ(child["nodeContent"].string(), "inner");
  ASSERT_EQ(child["nodeAttributeArray"].count(), 1u);
  EXPECT_EQ(child["nodeAttributeArray"].array()[0],
            kit::Value(kit::Dictionary{{"attributeName", "x"}, {"nodeContent", "x"}}));
  EXPECT_FALSE(e.contains("nodeAttributeArray"));
}

TEST(XPathNodeDictionary, TrimsUnicodeSpacesAndLineBreaks) {
  auto q = query("<r>\xC2\xA0\xE2\x80\xA8 word\xE3\x80\x80\r\n</r>");
  ASSERT_TRUE(q);
  EXPECT_EQ(q->singleValueQuery("/r"), "word");
}

TEST(XPathNodeDictionary, LeavesOutWhatIsNotThere) {
  auto q = query("<r><empty/><blank>   </blank></r>");
  ASSERT_TRUE(q);
  const kit::Value empty = first(q->rawQuery("//empty"));
  EXPECT_EQ(empty, kit::Value(kit::Dictionary{{"nodeName", "empty"}}));
  // Blank text is still text: its trimmed form is empty, not absent.
  EXPECT_EQ(q->singleValueQuery("//blank"), "");
  // Whitespace between elements makes the root's own content empty, but present.
  const kit::Value root = first(q->rawQuery("/r"));
  EXPECT_EQ(root["nodeChildArray"].count(), 2u);
}

TEST(XPathNodeDictionary, SelectedTextNodesKeepTheirBlanks) {
  auto q = query("<r>  a  <b/>  c </r>");
  ASSERT_TRUE(q);
  auto texts = q->rawQuery("/r/text()");
  ASSERT_TRUE(texts);
  ASSERT_EQ(texts->size(), 2u);
  EXPECT_EQ((*texts)[0], kit::Value(kit::Dictionary{{"nodeName", "text"}, {"nodeContent", "  a  "}}));
  EXPECT_EQ((*texts)[1]["nodeContent"].string(), "  c ");
}

TEST(XPathNodeDictionary, CommentsAndCDATAAreChildrenWithTheirOwnContent) {
  auto q = query("<r>t<!-- note --><![CDATA[ raw <x> ]]></r>");
  ASSERT_TRUE(q);
  const kit::Value r = first(q->rawQuery("/r"));
  EXPECT_EQ(r["nodeContent"].string(), "t");
  ASSERT_EQ(r["nodeChildArray"].count(), 2u);
  EXPECT_EQ(r["nodeChildArray"].array()[0]["nodeContent"].string(), " note ");
  EXPECT_EQ(r["nodeChildArray"].array()[1]["nodeContent"].string(), " raw <x> ");
}

TEST(XPathNodeDictionary, BuildsNestedChildrenInDocumentOrder) {
  auto q = query("<map><topic id=\"1\" a=\"x\"><topic id=\"2\"/><topic id=\"3\"><topic id=\"4\"/></topic></topic></map>");
  ASSERT_TRUE(q);
  const kit::Value t = first(q->rawQuery("/map/topic"));
  ASSERT_EQ(t["nodeAttributeArray"].count(), 2u);
  EXPECT_EQ(t["nodeAttributeArray"].array()[0]["attributeName"].string(), "id");
  EXPECT_EQ(t["nodeAttributeArray"].array()[1]["attributeName"].string(), "a");
  const kit::Array& kids = t["nodeChildArray"].array();
  ASSERT_EQ(kids.size(), 2u);
  EXPECT_EQ(kids[1]["nodeChildArray"].array()[0]["nodeAttributeArray"].array()[0]["nodeContent"].string(), "4");
  EXPECT_EQ(q->multiValueQuery("//topic/@id"), (std::vector<std::string>{"1", "2", "3", "4"}));
}

TEST(XPathNodeDictionary, EntityReferencesAreNamedButNotExpanded) {
  auto q = query("<!DOCTYPE r [<!ENTITY e \"expanded\">]><r>a&e;b</r>");
  ASSERT_TRUE(q);
  const kit::Value r = first(q->rawQuery("/r"));
  EXPECT_EQ(r["nodeContent"].string(), "ab");
  ASSERT_EQ(r["nodeChildArray"].count(), 1u);
  EXPECT_EQ(r["nodeChildArray"].array()[0], kit::Value(kit::Dictionary{{"nodeName", "e"}}));
}

// ---- Query functions ----

TEST(XPathQueries, NothingSelectedGivesEmptyArrayAndNils) {
  auto q = query("<r><a>1</a></r>");
  ASSERT_TRUE(q);
  auto raw = q->rawQuery("//missing");
  ASSERT_TRUE(raw);
  EXPECT_TRUE(raw->empty());
  EXPECT_FALSE(q->multiValueQuery("//missing"));
  EXPECT_FALSE(q->singleValueQuery("//missing"));
}

TEST(XPathQueries, InvalidOrNonNodeSetExpressionsGiveNil) {
  auto q = query("<r><a>1</a></r>");
  ASSERT_TRUE(q);
  for (std::string_view bad : {"//a[", "count(//a)", "string(//a)", "", "/r/@"}) {
    EXPECT_FALSE(q->rawQuery(bad)) << bad;
    EXPECT_FALSE(q->multiValueQuery(bad)) << bad;
    EXPECT_FALSE(q->singleValueQuery(bad)) << bad;
  }
}

TEST(XPathQueries, ResultsWithoutContentAreSkippedOrGiveNil) {
  auto q = query("<r><a/><a>x</a><a/><a>y</a></r>");
  ASSERT_TRUE(q);
  EXPECT_EQ(q->multiValueQuery("//a"), (std::vector<std::string>{"x", "y"}));
  EXPECT_FALSE(q->singleValueQuery("//a"));  // the first has no content
  auto none = q->multiValueQuery("//a[not(node())]");
  ASSERT_TRUE(none);  // results, just none with content
  EXPECT_TRUE(none->empty());
}

TEST(XPathQueries, FormatsPlaceholdersBeforeEvaluating) {
  auto q = query("<mmGraphModel><root><branch id=\"b1\" target=\"t1\"/><branch id=\"b2\" target=\"t2\"/></root></mmGraphModel>");
  ASSERT_TRUE(q);
  const std::string id = "b2";
  EXPECT_EQ(q->singleValueQuery("//mmGraphModel/root/branch[@id='%@']/@target", id), "t2");
  EXPECT_EQ(q->singleValueQuery("//mmGraphModel/root/branch[%d]/@target", 1), "t1");
  EXPECT_EQ(q->singleValueQuery("//branch[@id='%@']/@target", kit::Value("b1")), "t1");
  EXPECT_EQ(q->multiValueQuery("//branch[contains(@id, '%%')]/@id"), std::nullopt);
}

TEST(XPathQueries, DefaultNamespacesNeedNameTestsThatIgnoreThem) {
  auto q = query("<map xmlns=\"urn:example\"><topic>t</topic></map>");
  ASSERT_TRUE(q);
  EXPECT_FALSE(q->singleValueQuery("/map/topic"));
  EXPECT_EQ(q->singleValueQuery("/*[local-name()='map']/*[local-name()='topic']"), "t");
}

// ---- Making a query object ----

TEST(XPathDocument, RecoversSlightlyMalformedInputAndRefusesTheRest) {
  auto recovered = XPathQuery::objectWithXMLString("<r><a>1</a><b>2</r>");
  ASSERT_TRUE(recovered);
  EXPECT_EQ(recovered->singleValueQuery("//a"), "1");
  EXPECT_FALSE(XPathQuery::objectWithXMLString(""));
  EXPECT_FALSE(XPathQuery::objectWithXMLString("no markup"));
  EXPECT_FALSE(XPathQuery::objectWithXMLData(kit::Data{0xff, 0xfe, 0x00}));
}

TEST(XPathDocument, ReadsFilesInAnyMarkedEncoding) {
  kit::TemporaryAppHome home;
  const std::string path = home.path() + "/style.xml";
  std::u16string text = u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?><s><c v=\"caf\u00e9\"/></s>";
  std::string bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c >> 8));
    bytes.push_back(static_cast<char>(c & 0xff));
  }
  std::ofstream(path, std::ios::binary) << bytes;
  auto q = XPathQuery::objectWithXMLFile(path);
  ASSERT_TRUE(q);
  EXPECT_EQ(q->singleValueQuery("//c/@v"), "caf\u00e9");

  std::ofstream(path, std::ios::binary) << "<?xml version=\"1.0\" encoding=\"windows-1252\"?><s>\xe9</s>";
  q = XPathQuery::objectWithXMLFile(path);
  ASSERT_TRUE(q);
  EXPECT_EQ(q->singleValueQuery("/s"), "\u00e9");
  // Single quotes and blanks round "=" are declarations all the same.
  std::ofstream(path, std::ios::binary) << "<?xml version='1.0' encoding = 'ISO-8859-1'?><s>\xe9</s>";
  q = XPathQuery::objectWithXMLFile(path);
  ASSERT_TRUE(q);
  EXPECT_EQ(q->singleValueQuery("/s"), "\u00e9");

  EXPECT_FALSE(XPathQuery::objectWithXMLFile(home.path() + "/missing.xml"));
}
