#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "kit/io/xml.h"
#include "kit/testing/app_home.h"

using kit::XMLDocument;
using kit::XMLNodeRecord;
using kit::XMLParser;

namespace {

// Records every callback as one line.
class Recorder : public kit::XMLParserDelegate {
 public:
  void didStartElement(XMLParser&, const std::string& name, const kit::Dictionary& attributes) override {
    std::string line = "start " + name;
    for (const auto& [k, v] : attributes) line += " " + k + "=" + v.string();
    events.push_back(line);
  }
  void didEndElement(XMLParser&, const std::string& name) override { events.push_back("end " + name); }
  void foundCharacters(XMLParser&, std::string_view text) override {
    // Pieces of one run are joined so that tests do not depend on how libxml2 splits text.
    if (!events.empty() && events.back().rfind("text ", 0) == 0) events.back() += text;
    else events.push_back("text " + std::string(text));
  }
  void foundCDATA(XMLParser&, std::string_view block) override { events.push_back("cdata " + std::string(block)); }
  void parseErrorOccurred(XMLParser&, const kit::XMLParseError& error) override {
    ++errors;
    lastError = error;
  }
  std::vector<std::string> events;
  int errors = 0;
  kit::XMLParseError lastError;
};

struct ParseOutcome {
  bool ok;
  Recorder recorder;
  std::optional<kit::XMLParseError> error;
};

ParseOutcome parseText(std::string_view xml) {
  ParseOutcome out{false, {}, {}};
  XMLParser parser(xml);
  parser.setDelegate(&out.recorder);
  out.ok = parser.parse();
  out.error = parser.parserError();
  return out;
}

std::string billionLaughs(const std::string& use) {
  std::string doc = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lollollollollollollollollollol\">\n";
  for (int i = 1; i <= 9; ++i) {
    std::string prev = i == 1 ? "lol" : "lol" + std::to_string(i - 1);
    doc += "<!ENTITY lol" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) doc += "&" + prev + ";";
    doc += "\">\n";
  }
  return doc + "]>\n" + use + "\n";
}

// One large entity referenced many times: linear input, quadratic output.
std::string quadraticBlowup(bool inAttribute) {
  std::string refs;
  for (int i = 0; i < 20000; ++i) refs += "&a;";
  std::string doc = "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY a \"" + std::string(50000, 'A') + "\">]>\n";
  return doc + (inAttribute ? "<r x=\"" + refs + "\"/>" : "<r>" + refs + "</r>");
}

double secondsToRun(const std::function<void()>& f) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

// ---- Event parser ----

TEST(XMLParserEvents, ReportsElementsAttributesAndTextInOrder) {
  auto out = parseText("<?xml version=\"1.0\"?><map a=\"1\" b='two'><topic>Hi</topic><empty/></map>");
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.recorder.events, (std::vector<std::string>{"start map a=1 b=two", "start topic", "text Hi",
                                                            "end topic", "start empty", "end empty", "end map"}));
  EXPECT_EQ(out.recorder.errors, 0);
}

TEST(XMLParserEvents, KeepsQualifiedNamesAndReportsNamespaceDeclarationsAsAttributes) {
  auto out = parseText("<ap:Map xmlns:ap=\"urn:x\" xmlns=\"urn:d\" ap:id=\"7\"><Topic/></ap:Map>");
  EXPECT_TRUE(out.ok);
  ASSERT_GE(out.recorder.events.size(), 2u);
  EXPECT_EQ(out.recorder.events[0], "start ap:Map ap:id=7 xmlns=urn:d xmlns:ap=urn:x");
  EXPECT_EQ(out.recorder.events[1], "start Topic");
  EXPECT_EQ(out.recorder.events.back(), "end ap:Map");
}

TEST(XMLParserEvents, EndTagNamesStayExactAcrossNestedPrefixedAndPlainTags) {
  // Names long enough to leave the small-string buffer, alternating with short and prefixed ones.
  auto out = parseText(
      "<a:outermostElementName xmlns:a=\"urn:a\"><b/><a:x><averyveryverylongplainname/></a:x>"
      "<a:anotherRatherLongQualifiedName><c/></a:anotherRatherLongQualifiedName></a:outermostElementName>");
  EXPECT_TRUE(out.ok);
  std::vector<std::string> ends;
  for (const std::string& e : out.recorder.events)
    if (e.rfind("end ", 0) == 0) ends.push_back(e.substr(4));
  EXPECT_EQ(ends, (std::vector<std::string>{"b", "averyveryverylongplainname", "a:x", "c",
                                            "a:anotherRatherLongQualifiedName", "a:outermostElementName"}));
}

TEST(XMLParserEvents, ExpandsCharacterAndEntityReferencesInTextAndAttributes) {
  auto out = parseText(
      "<!DOCTYPE r [<!ENTITY co \"Acme &amp; Co\">]>"
      "<r t=\"a &lt; b &#65; &co;\">x &amp; y &#x263A; &co;!</r>");
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.recorder.events, (std::vector<std::string>{"start r t=a < b A Acme & Co",
                                                            "text x & y \u263A Acme & Co!", "end r"}));
}

TEST(XMLParserEvents, DeliversCDATASeparatelyAndDropsItWhenTheDelegateIgnoresIt) {
  auto out = parseText("<r>a<![CDATA[<b>&amp;</b>]]>c</r>");
  EXPECT_TRUE(out.ok);
  EXPECT_EQ(out.recorder.events,
            (std::vector<std::string>{"start r", "text a", "cdata <b>&amp;</b>", "text c", "end r"}));

  struct TextOnly : kit::XMLParserDelegate {
    std::string text;
    void foundCharacters(XMLParser&, std::string_view t) override { text += t; }
  } textOnly;
  XMLParser parser(std::string_view("<r>a<![CDATA[hidden]]>c</r>"));
  parser.setDelegate(&textOnly);
  EXPECT_TRUE(parser.parse());
  EXPECT_EQ(textOnly.text, "ac");
}

TEST(XMLParserEvents, ParsesUTF16DocumentsIntoUTF8) {
  std::u16string text = u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?><r>\u00e9t\u00e9</r>";
  kit::Data bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xff));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  XMLParser parser(bytes);
  Recorder r;
  parser.setDelegate(&r);
  EXPECT_TRUE(parser.parse());
  EXPECT_EQ(r.events, (std::vector<std::string>{"start r", "text \u00e9t\u00e9", "end r"}));
}

TEST(XMLParserErrors, MalformedInputFailsWithOneErrorAndNoLaterCallbacks) {
  for (std::string_view bad : {"<r><a></r>", "<r>", "", "not xml at all", "<r a=\"1\" a=\"2\"/>",
                               "<r>&undefined;</r>", "<r/><second/>"}) {
    auto out = parseText(bad);
    EXPECT_FALSE(out.ok) << bad;
    EXPECT_EQ(out.recorder.errors, 1) << bad;
    ASSERT_TRUE(out.error) << bad;
    EXPECT_NE(out.error->code, 0) << bad;
  }
  auto out = parseText("<r><a>text</b><c/></r>");
  ASSERT_FALSE(out.recorder.events.empty());
  EXPECT_EQ(out.recorder.events.back(), "text text");  // nothing after the mismatched end tag
}

TEST(XMLParserErrors, AbortStopsCallbacksAndFailsWithoutAnErrorCallback) {
  struct Aborter : Recorder {
    void didStartElement(XMLParser& p, const std::string& name, const kit::Dictionary& a) override {
      Recorder::didStartElement(p, name, a);
      if (name == "stop") p.abortParsing();
    }
  } aborter;
  XMLParser parser(std::string_view("<r><stop>text</stop><after/></r>"));
  parser.setDelegate(&aborter);
  EXPECT_FALSE(parser.parse());
  EXPECT_EQ(aborter.events, (std::vector<std::string>{"start r", "start stop"}));
  EXPECT_EQ(aborter.errors, 0);
  ASSERT_TRUE(parser.parserError());
  EXPECT_EQ(parser.parserError()->code, XMLParser::kAbortedError);
}

TEST(XMLParserErrors, NestingBeyondTheLimitIsItsOwnError) {
  auto nested = [](int depth) {
    std::string doc;
    for (int i = 0; i < depth; ++i) doc += "<a>";
    for (int i = 0; i < depth; ++i) doc += "</a>";
    return doc;
  };
  Recorder deepest;
  XMLParser ok(nested(XMLParser::kMaxDepth));
  ok.setDelegate(&deepest);
  EXPECT_TRUE(ok.parse());
  EXPECT_EQ(deepest.events.size(), 2u * XMLParser::kMaxDepth);
  EXPECT_TRUE(ok.parse());  // the count starts afresh

  Recorder recorder;
  XMLParser tooDeep(nested(XMLParser::kMaxDepth + 1));
  tooDeep.setDelegate(&recorder);
  EXPECT_FALSE(tooDeep.parse());
  ASSERT_TRUE(tooDeep.parserError());
  EXPECT_EQ(tooDeep.parserError()->code, XMLParser::kTooDeepError);
  EXPECT_EQ(recorder.errors, 1);
}

TEST(XMLParserSafety, NeverReadsExternalEntitiesOrDTDs) {
  kit::TemporaryAppHome home;
  const std::string secret = home.path() + "/secret.txt";
  std::ofstream(secret) << "SECRET";
  const std::string doc = "<?xml version=\"1.0\"?>\n<!DOCTYPE r SYSTEM \"file://" + secret +
                          "\" [\n<!ENTITY ext SYSTEM \"file://" + secret + "\">\n<!ENTITY % pe SYSTEM \"file://" +
                          secret + "\">\n%pe;\n]>\n<r>&ext;</r>";
  auto out = parseText(doc);
  for (const std::string& e : out.recorder.events) EXPECT_EQ(e.find("SECRET"), std::string::npos) << e;

  auto tree = XMLDocument::parse(doc);
  if (tree) {
    auto nodes = tree->evaluate("//text()");
    ASSERT_TRUE(nodes);
    for (const XMLNodeRecord& n : *nodes) EXPECT_EQ(n.content.value_or("").find("SECRET"), std::string::npos);
  }
}

TEST(XMLParserSafety, RefusesEntityExpansionBombsQuickly) {
  for (const std::string& doc :
       {billionLaughs("<lolz>&lol9;</lolz>"), billionLaughs("<lolz a=\"&lol9;\"/>"), quadraticBlowup(false),
        quadraticBlowup(true)}) {
    struct Counter : kit::XMLParserDelegate {
      std::size_t bytes = 0;
      void foundCharacters(XMLParser&, std::string_view t) override { bytes += t.size(); }
    } counter;
    XMLParser parser(doc);
    parser.setDelegate(&counter);
    bool ok = true;
    EXPECT_LT(secondsToRun([&] { ok = parser.parse(); }), 10.0);
    EXPECT_FALSE(ok);
    EXPECT_LT(counter.bytes, 64u << 20);
  }
  XMLParser parser(quadraticBlowup(false));
  parser.parse();
  ASSERT_TRUE(parser.parserError());
  EXPECT_EQ(parser.parserError()->code, XMLParser::kExpansionLimitError);
}

// ---- Document and XPath ----

TEST(XMLDocumentParse, RecoversSlightlyMalformedDocumentsButNotGarbage) {
  auto doc = XMLDocument::parse(std::string_view("<r><a>1</a><b>2</r>"));
  ASSERT_TRUE(doc);
  auto nodes = doc->evaluate("//a");
  ASSERT_TRUE(nodes);
  EXPECT_EQ(nodes->size(), 1u);
  EXPECT_FALSE(XMLDocument::parse(std::string_view("")));
  EXPECT_FALSE(XMLDocument::parse(std::string_view("just words")));
  EXPECT_FALSE(XMLDocument::parse(std::string_view("<?xml version=\"1.0\"?>")));
}

TEST(XMLDocumentParse, RefusesDocumentsWhoseEntitiesWouldExplode) {
  for (const std::string& doc : {billionLaughs("<lolz>&lol9;</lolz>"), quadraticBlowup(false), quadraticBlowup(true)}) {
    std::unique_ptr<XMLDocument> tree;
    EXPECT_LT(secondsToRun([&] { tree = XMLDocument::parse(doc); }), 10.0);
    if (tree) {
      // Whatever survived recovery must not expand when XPath asks for string values.
      EXPECT_LT(secondsToRun([&] { tree->evaluate("//*[contains(., 'zzz')]"); }), 10.0);
    }
  }
  // A modest entity used a few times is fine.
  auto ok = XMLDocument::parse(std::string_view("<!DOCTYPE r [<!ENTITY e \"x\">]><r>&e;&e;</r>"));
  EXPECT_TRUE(ok);
}

TEST(XMLDocumentXPath, GivesNodeKindsNamesAndOwnContent) {
  auto doc = XMLDocument::parse(std::string_view(
      "<!DOCTYPE r [<!ENTITY e \"ent\">]><r id=\"7\" xmlns:p=\"urn:p\"><!--note--><?pi data?>t<![CDATA[c]]>&e;</r>"));
  ASSERT_TRUE(doc);
  auto selected = doc->evaluate("/r");
  ASSERT_TRUE(selected);
  ASSERT_EQ(selected->size(), 1u);
  const auto& nodes = (*selected)[0].children;
  ASSERT_EQ(nodes.size(), 5u);
  EXPECT_EQ(nodes[0].kind, XMLNodeRecord::Kind::Comment);
  EXPECT_EQ(nodes[0].content, "note");
  EXPECT_EQ(nodes[1].kind, XMLNodeRecord::Kind::ProcessingInstruction);
  EXPECT_EQ(nodes[1].name, "pi");
  EXPECT_EQ(nodes[1].content, "data");
  EXPECT_EQ(nodes[2].kind, XMLNodeRecord::Kind::Text);
  EXPECT_EQ(nodes[2].content, "t");
  EXPECT_EQ(nodes[3].kind, XMLNodeRecord::Kind::CDATA);
  EXPECT_EQ(nodes[3].content, "c");
  EXPECT_EQ(nodes[4].kind, XMLNodeRecord::Kind::EntityReference);
  EXPECT_EQ(nodes[4].name, "e");
  EXPECT_TRUE(nodes[4].children.empty());
  auto comments = doc->evaluate("/r/comment()");
  ASSERT_TRUE(comments);
  ASSERT_EQ(comments->size(), 1u);
  EXPECT_EQ((*comments)[0].content, "note");

  auto root = doc->evaluate("/");
  ASSERT_TRUE(root);
  ASSERT_EQ(root->size(), 1u);
  EXPECT_EQ((*root)[0].kind, XMLNodeRecord::Kind::Document);

  auto attr = doc->evaluate("/r/@id");
  ASSERT_TRUE(attr);
  ASSERT_EQ(attr->size(), 1u);
  EXPECT_EQ((*attr)[0].kind, XMLNodeRecord::Kind::Attribute);
  EXPECT_FALSE((*attr)[0].content);
  ASSERT_EQ((*attr)[0].children.size(), 1u);
  EXPECT_EQ((*attr)[0].children[0].content, "7");

  auto ns = doc->evaluate("/r/namespace::p");
  ASSERT_TRUE(ns);
  ASSERT_EQ(ns->size(), 1u);
  EXPECT_EQ((*ns)[0].kind, XMLNodeRecord::Kind::Namespace);
  EXPECT_EQ((*ns)[0].content, "urn:p");
}

TEST(XMLDocumentXPath, InvalidExpressionsAndNonNodeSetsGiveNothing) {
  auto doc = XMLDocument::parse(std::string_view("<r><a/></r>"));
  ASSERT_TRUE(doc);
  for (std::string_view bad : std::initializer_list<std::string_view>{"//a[", "", "count(//a)", "string(//a)", "1 = 1", "//a/@", "\x01\xff",
                               std::string_view("//a\0b", 5)}) {
    EXPECT_FALSE(doc->evaluate(bad)) << bad;
  }
  auto none = doc->evaluate("//missing");
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());
}
