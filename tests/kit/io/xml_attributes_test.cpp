#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "kit/io/xml.h"

using kit::XMLParser;

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// Copies each start tag's attribute view while it is valid, and checks find() against it.
class ViewRecorder : public kit::XMLParserDelegate {
 public:
  void didStartElementWithAttributes(XMLParser&, std::string_view name, const kit::XMLAttributes& attributes) override {
    names.emplace_back(name);
    Pairs pairs;
    for (const kit::XMLAttribute& a : attributes) {
      pairs.emplace_back(std::string(a.name), std::string(a.value));
      auto found = attributes.find(a.name);
      if (!found || *found != a.value) ++findMismatches;
    }
    if (attributes.find("no-such-attribute")) ++findMismatches;
    tags.push_back(std::move(pairs));
    dictionaries.push_back(attributes.dictionary());
  }
  void didStartElement(XMLParser&, const std::string&, const kit::Dictionary&) override { ++dictionaryCalls; }

  std::vector<std::string> names;
  std::vector<Pairs> tags;
  std::vector<kit::Dictionary> dictionaries;
  int findMismatches = 0;
  int dictionaryCalls = 0;
};

// Overrides only the old dictionary form.
class DictionaryRecorder : public kit::XMLParserDelegate {
 public:
  void didStartElement(XMLParser&, const std::string& name, const kit::Dictionary& attributes) override {
    names.push_back(name);
    dictionaries.push_back(attributes);
  }
  std::vector<std::string> names;
  std::vector<kit::Dictionary> dictionaries;
};

// prefix + i, built by appending (g++ 12 warns falsely about "text" + std::to_string(i) at -O3).
std::string numbered(std::string_view prefix, int i) {
  std::string s(prefix);
  s += std::to_string(i);
  return s;
}

template <typename Delegate>
bool run(std::string_view xml, Delegate& delegate) {
  XMLParser parser(xml);
  parser.setDelegate(&delegate);
  return parser.parse();
}

}  // namespace

TEST(XMLAttributeView, ValuesHaveEntitiesAndCharacterReferencesExpanded) {
  ViewRecorder r;
  ASSERT_TRUE(run("<!DOCTYPE m [<!ENTITY who \"Ann &amp; Bob\">]>"
                  "<m a=\"x &amp; &lt;y&gt; &quot;z&quot; &#65;&#x42;\" b=\"&who;!\" c=\"plain\" d=\"caf&#xE9;\"/>",
                  r));
  ASSERT_EQ(r.tags.size(), 1u);
  EXPECT_EQ(r.tags[0], (Pairs{{"a", "x & <y> \"z\" AB"}, {"b", "Ann & Bob!"}, {"c", "plain"}, {"d", "caf\xC3\xA9"}}));
  EXPECT_EQ(r.findMismatches, 0);
}

TEST(XMLAttributeView, EmptyValuesArePresentAndTagsWithoutAttributesAreEmpty) {
  ViewRecorder r;
  ASSERT_TRUE(run("<m><t e=\"\" f=''/><u/></m>", r));
  ASSERT_EQ(r.tags.size(), 3u);
  EXPECT_TRUE(r.tags[0].empty());
  EXPECT_EQ(r.tags[1], (Pairs{{"e", ""}, {"f", ""}}));
  EXPECT_TRUE(r.tags[2].empty());
  EXPECT_EQ(r.findMismatches, 0);
  ASSERT_TRUE(r.dictionaries[1].count("e"));
  EXPECT_EQ(r.dictionaries[1].at("e").string(), "");
}

TEST(XMLAttributeView, ManyExpandedValuesInOneTagAllStayIntact) {
  // Every value needs its own expanded copy, so the parser's storage for them must not move
  // while the earlier views still point into it; a later, larger tag grows that storage.
  auto tag = [](int count) {
    std::string xml = "<t";
    for (int i = 0; i < count; ++i) {
      xml += numbered(" a", i);
      xml += numbered("=\"v", i);
      xml += " &amp; a value long enough to live on the heap\"";
    }
    return xml + "/>";
  };
  ViewRecorder r;
  ASSERT_TRUE(run("<m>" + tag(3) + tag(300) + tag(40) + "</m>", r));
  ASSERT_EQ(r.tags.size(), 4u);
  const int counts[] = {3, 300, 40};
  for (int k = 0; k < 3; ++k) {
    const Pairs& got = r.tags[static_cast<std::size_t>(k + 1)];
    ASSERT_EQ(got.size(), static_cast<std::size_t>(counts[k]));
    for (int i = 0; i < counts[k]; ++i) {
      EXPECT_EQ(got[static_cast<std::size_t>(i)].first, numbered("a", i));  // document order
      EXPECT_EQ(got[static_cast<std::size_t>(i)].second, numbered("v", i) + " & a value long enough to live on the heap");
    }
  }
  EXPECT_EQ(r.findMismatches, 0);
}

TEST(XMLAttributeView, QualifiedNamesAndNamespaceDeclarationsComeFirst) {
  ViewRecorder r;
  ASSERT_TRUE(run("<p:m id=\"1\" xmlns:p=\"urn:p\" p:x=\"2\" xmlns=\"urn:d\"><p:longer-element-name-than-sso/></p:m>", r));
  EXPECT_EQ(r.names, (std::vector<std::string>{"p:m", "p:longer-element-name-than-sso"}));
  ASSERT_EQ(r.tags.size(), 2u);
  EXPECT_EQ(r.tags[0], (Pairs{{"xmlns:p", "urn:p"}, {"xmlns", "urn:d"}, {"id", "1"}, {"p:x", "2"}}));
  EXPECT_EQ(r.findMismatches, 0);
}

TEST(XMLAttributeView, DictionaryFormStillReceivesTheSameAttributes) {
  const std::string xml = "<p:m xmlns:p=\"urn:p\" a=\"1 &amp; 2\" p:b=\"\"><n c=\"3\"/></p:m>";
  ViewRecorder views;
  DictionaryRecorder dictionaries;
  ASSERT_TRUE(run(xml, views));
  ASSERT_TRUE(run(xml, dictionaries));
  EXPECT_EQ(dictionaries.names, views.names);
  EXPECT_EQ(dictionaries.dictionaries, views.dictionaries);
  ASSERT_EQ(dictionaries.dictionaries.size(), 2u);
  EXPECT_EQ(dictionaries.dictionaries[0].at("a").string(), "1 & 2");
  EXPECT_EQ(dictionaries.dictionaries[0].at("xmlns:p").string(), "urn:p");
  // A delegate that takes the view is not also handed a dictionary.
  EXPECT_EQ(views.dictionaryCalls, 0);
}
