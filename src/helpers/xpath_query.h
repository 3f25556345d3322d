// XPath look-ups in one parsed XML document, answered as plain dictionaries, arrays and text.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kit/core/format.h"
#include "kit/core/value.h"

namespace kit {
class XMLDocument;
}

// Each query result is a node dictionary:
//   "nodeName"           the node's name
//   "nodeContent"        an element's or attribute's direct text, each piece trimmed of white
//                        space and line breaks and joined; other nodes' own content untrimmed
//   "nodeAttributeArray" dictionaries with "attributeName" and "nodeContent"
//   "nodeChildArray"     node dictionaries of the children that are not text
// Absent keys mean there is nothing to put there. One object is used on one thread.
class XPathQuery {
 public:
  // nullptr when nothing could be parsed; slightly malformed documents are recovered.
  static std::unique_ptr<XPathQuery> initWithXMLData(std::span<const std::uint8_t> bytes);
  static std::unique_ptr<XPathQuery> initWithXMLString(std::string_view text);
  // Reads the file as dataWithContentsOfXMLFile does (byte-order marks honoured, re-encoded as
  // UTF-8); nullptr when it is missing or does not parse.
  static std::unique_ptr<XPathQuery> initWithXMLFile(const std::string& path);
  static std::unique_ptr<XPathQuery> objectWithXMLData(std::span<const std::uint8_t> bytes) {
    return initWithXMLData(bytes);
  }
  static std::unique_ptr<XPathQuery> objectWithXMLString(std::string_view text) {
    return initWithXMLString(text);
  }
  static std::unique_ptr<XPathQuery> objectWithXMLFile(const std::string& path) { return initWithXMLFile(path); }

  ~XPathQuery();
  XPathQuery(const XPathQuery&) = delete;
  XPathQuery& operator=(const XPathQuery&) = delete;

  // The expression is a printf-style format ("%@" takes text or a kit::Value), so a literal
  // percent sign is written "%%".
  // Node dictionaries of the selected nodes in document order; empty when nothing is selected;
  // nullopt when the expression is invalid or does not give a node set.
  template <typename... Args>
  std::optional<kit::Array> rawQuery(std::string_view format, const Args&... args) const {
    return evaluate(kit::format(format, args...));
  }
  // The first result's "nodeContent"; nullopt when there is no result or it has no content.
  template <typename... Args>
  std::optional<std::string> singleValueQuery(std::string_view format, const Args&... args) const {
    return firstContent(evaluate(kit::format(format, args...)));
  }
  // Every result's "nodeContent" that exists, in order; nullopt when nothing was selected.
  template <typename... Args>
  std::optional<std::vector<std::string>> multiValueQuery(std::string_view format, const Args&... args) const {
    return allContents(evaluate(kit::format(format, args...)));
  }

 private:
  explicit XPathQuery(std::unique_ptr<kit::XMLDocument> doc);
  std::optional<kit::Array> evaluate(std::string_view expression) const;
  static std::optional<std::string> firstContent(const std::optional<kit::Array>& results);
  static std::optional<std::vector<std::string>> allContents(const std::optional<kit::Array>& results);

  std::unique_ptr<kit::XMLDocument> doc_;
};
