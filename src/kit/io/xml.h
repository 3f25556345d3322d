// XML over libxml2: a parsed document with XPath evaluation, and an event parser.
// Neither ever touches the network or loads external entities or DTDs.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kit/core/value.h"

namespace kit {

// One node as XPath selected it, with its attributes and children (libxml2's node kinds).
struct XMLNodeRecord {
  enum class Kind {
    Element,
    Attribute,
    Text,
    CDATA,
    EntityReference,
    ProcessingInstruction,
    Comment,
    Document,
    Namespace,
    Other
  };
  Kind kind = Kind::Other;
  std::optional<std::string> name;
  // The node's own content: text, CDATA, comment and processing-instruction text, a namespace's
  // URI. Elements and attributes have none (their text lives in their children).
  std::optional<std::string> content;
  // Element attributes, in document order; each one's value nodes are its children.
  std::vector<XMLNodeRecord> attributes;
  // Child nodes in document order. An entity reference's replacement is not followed.
  std::vector<XMLNodeRecord> children;
};

// A document parsed in recovery mode, so that slightly malformed input still gives a tree.
class XMLDocument {
 public:
  // std::nullopt-like nullptr when nothing could be parsed (no root element), when the input is
  // too large for libxml2, or when its entity references would expand to an unreasonable size.
  static std::unique_ptr<XMLDocument> parse(std::span<const std::uint8_t> bytes);
  static std::unique_ptr<XMLDocument> parse(std::string_view text);

  ~XMLDocument();
  XMLDocument(const XMLDocument&) = delete;
  XMLDocument& operator=(const XMLDocument&) = delete;

  // The selected nodes in document order; std::nullopt when the expression is invalid or its
  // result is not a node set. No namespace prefixes are registered.
  std::optional<std::vector<XMLNodeRecord>> evaluate(std::string_view xpath) const;

 private:
  explicit XMLDocument(void* doc) : doc_(doc) {}
  void* doc_;  // xmlDocPtr, kept out of the header
};

class XMLParser;

struct XMLParseError {
  // libxml2's error number, or one of ours below.
  int code = 0;
  std::string message;
  int line = 0;
  int column = 0;
};

// One attribute of a start tag: the qualified name as written ("xmlns:p", "p:id") and the value
// with entities expanded.
struct XMLAttribute {
  std::string_view name;
  std::string_view value;
  // One address for every attribute of this name in a parse, so that a reader can remember what
  // a name means by it; null for a prefixed name.
  const void* nameID = nullptr;
};

// A start tag's attributes in document order, namespace declarations first. A view into the
// parser's buffers: valid only during the callback that receives it, so copy what must last.
class XMLAttributes {
 public:
  XMLAttributes() = default;
  explicit XMLAttributes(std::span<const XMLAttribute> items) : items_(items) {}

  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  const XMLAttribute& operator[](std::size_t i) const { return items_[i]; }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

  // The named attribute's value; std::nullopt when the tag has none by that name (an empty
  // value is still a value).
  std::optional<std::string_view> find(std::string_view name) const;
  // The same attributes as string values keyed by name.
  Dictionary dictionary() const;

 private:
  std::span<const XMLAttribute> items_;
};

// Receives the event parser's callbacks; every one is optional.
class XMLParserDelegate {
 public:
  virtual ~XMLParserDelegate() = default;
  // Every start tag arrives here first. name is the qualified name as written ("p:topic"); both
  // views last only for the call. The base version hands the tag on to didStartElement below,
  // so a delegate overrides whichever form suits it; this one costs no copies.
  virtual void didStartElementWithAttributes(XMLParser& parser, std::string_view name,
                                             const XMLAttributes& attributes);
  // The start tag with the attributes (the xmlns ones included) copied into a dictionary.
  virtual void didStartElement(XMLParser& parser, const std::string& name,
                               const Dictionary& attributes);
  virtual void didEndElement(XMLParser& parser, const std::string& name);
  // Text with entities expanded; one run of text may arrive in several pieces.
  virtual void foundCharacters(XMLParser& parser, std::string_view text);
  // A CDATA section's bytes, unescaped.
  virtual void foundCDATA(XMLParser& parser, std::string_view block);
  // Called once, for the first error; parsing stops there.
  virtual void parseErrorOccurred(XMLParser& parser, const XMLParseError& error);
};

// Event-driven parser over a buffer. Namespace processing is off: names arrive as written.
class XMLParser {
 public:
  // abortParsing() was called.
  static constexpr int kAbortedError = 512;
  // Entity expansion produced far more text than the document holds.
  static constexpr int kExpansionLimitError = 513;
  // The buffer is larger than libxml2 can take in one piece.
  static constexpr int kInputTooLargeError = 514;
  // Elements are nested deeper than kMaxDepth (libxml2's own limit without its huge mode).
  static constexpr int kTooDeepError = 515;
  static constexpr int kMaxDepth = 256;

  explicit XMLParser(Data data);
  explicit XMLParser(std::string_view text);
  // Reads text where it is, without a copy: the text must outlive the parser.
  static XMLParser borrowing(std::string_view text);

  void setDelegate(XMLParserDelegate* delegate) { delegate_ = delegate; }
  XMLParserDelegate* delegate() const { return delegate_; }

  // Runs the whole document through the delegate. False on a parse error or an abort.
  bool parse();
  // From inside a callback: no further callbacks; parse() returns false.
  void abortParsing();
  // The error that ended the last parse(), if any.
  const std::optional<XMLParseError>& parserError() const { return error_; }

 private:
  friend struct XMLParserCallbacks;
  void fail(XMLParseError error);

  Data data_;
  std::string_view borrowed_;  // the text when borrowing, else empty
  XMLParserDelegate* delegate_ = nullptr;
  // Reused from tag to tag: the current tag's attribute views, and the text of the names and
  // values that are not in libxml2's buffers as they stand (prefixed names, expanded values).
  // elementName_ also carries the qualified name of each end tag.
  std::vector<XMLAttribute> attributeViews_;
  std::vector<std::string> attributeText_;
  std::string elementName_;
  // The name libxml2 gave as the last end tag's, when elementName_ still holds exactly it.
  const void* endTagName_ = nullptr;
  // Lengths of the names met, by address: libxml2 hands each name out once from its dictionary
  // for the whole parse, so the same few pointers come back on every tag.
  std::array<std::pair<const void*, std::size_t>, 64> nameLengths_{};
  void* context_ = nullptr;  // xmlParserCtxtPtr while parsing
  std::optional<XMLParseError> error_;
  bool stopped_ = false;
  std::uint64_t textBudget_ = 0;
  int depth_ = 0;  // open elements
};

}  // namespace kit
