#include "helpers/xpath_query.h"

#include "helpers/marked_text.h"
#include "kit/io/xml.h"
#include "kit/text/charset.h"

namespace {

using Kind = kit::XMLNodeRecord::Kind;

std::string trimmed(const std::string& s) {
  static const kit::CharacterSet set = kit::CharacterSet::whitespaceAndNewline();
  return kit::trim(s, set);
}

// The node dictionary of a node that is not a text node below another node. Text children add
// their trimmed text to the dictionary being built instead of giving dictionaries of their own.
kit::Value dictionaryOf(const kit::XMLNodeRecord& node) {
  if (node.kind == Kind::Text) {
    kit::Value dict = kit::Dictionary();
    if (node.name) dict.set("nodeName", *node.name);
    if (node.content) dict.set("nodeContent", *node.content);
    return dict;
  }
  kit::Value dict = kit::Dictionary();
  if (node.name) dict.set("nodeName", *node.name);

  kit::Array attributes;
  for (const kit::XMLNodeRecord& attribute : node.attributes) {
    kit::Value attr = kit::Dictionary();
    if (attribute.name) attr.set("attributeName", *attribute.name);
    std::optional<std::string> value;
    for (const kit::XMLNodeRecord& valueNode : attribute.children) {
      if (valueNode.kind == Kind::Text) {
        if (!value) value.emplace();
        value->append(trimmed(valueNode.content.value_or(std::string())));
      } else {
        attr.set("attributeContent", dictionaryOf(valueNode));
      }
    }
    if (value) attr.set("nodeContent", std::move(*value));
    if (attr.count() > 0) attributes.push_back(std::move(attr));
  }
  if (!attributes.empty()) dict.set("nodeAttributeArray", std::move(attributes));

  std::optional<std::string> content = node.content;
  kit::Array children;
  for (const kit::XMLNodeRecord& child : node.children) {
    if (child.kind == Kind::Text) {
      if (!content) content.emplace();
      content->append(trimmed(child.content.value_or(std::string())));
    } else {
      children.push_back(dictionaryOf(child));
    }
  }
  if (content) dict.set("nodeContent", std::move(*content));
  if (!children.empty()) dict.set("nodeChildArray", std::move(children));
  return dict;
}

}  // namespace

XPathQuery::XPathQuery(std::unique_ptr<kit::XMLDocument> doc) : doc_(std::move(doc)) {}
XPathQuery::~XPathQuery() = default;

std::unique_ptr<XPathQuery> XPathQuery::initWithXMLData(std::span<const std::uint8_t> bytes) {
  auto doc = kit::XMLDocument::parse(bytes);
  if (!doc) return nullptr;
  return std::unique_ptr<XPathQuery>(new XPathQuery(std::move(doc)));
}

std::unique_ptr<XPathQuery> XPathQuery::initWithXMLString(std::string_view text) {
  return initWithXMLData(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::unique_ptr<XPathQuery> XPathQuery::initWithXMLFile(const std::string& path) {
  const std::optional<kit::Data> bytes = data::dataWithContentsOfXMLFile(path);
  if (!bytes) return nullptr;
  return initWithXMLData(*bytes);
}

std::optional<kit::Array> XPathQuery::evaluate(std::string_view expression) const {
  std::optional<std::vector<kit::XMLNodeRecord>> nodes = doc_->evaluate(expression);
  if (!nodes) return std::nullopt;
  kit::Array results;
  results.reserve(nodes->size());
  for (const kit::XMLNodeRecord& node : *nodes) {
    results.push_back(dictionaryOf(node));
  }
  return results;
}

std::optional<std::string> XPathQuery::firstContent(const std::optional<kit::Array>& results) {
  if (!results || results->empty()) return std::nullopt;
  const kit::Value& content = results->front()["nodeContent"];
  if (!content.isString()) return std::nullopt;
  return content.string();
}

std::optional<std::vector<std::string>> XPathQuery::allContents(const std::optional<kit::Array>& results) {
  if (!results || results->empty()) return std::nullopt;
  std::vector<std::string> contents;
  for (const kit::Value& result : *results) {
    const kit::Value& content = result["nodeContent"];
    if (content.isString()) contents.push_back(content.string());
  }
  return contents;
}
