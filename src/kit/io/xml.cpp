#include "kit/io/xml.h"

#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <typeinfo>
#include <unordered_map>
#include <unordered_set>

namespace kit {

namespace {

void ensureLibraryReady() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

// Expansion allowance: a document's text may grow through entities to this much and no more.
// Documents without entity declarations never come near it.
std::uint64_t expansionLimit(std::size_t inputSize) {
  return 16 * static_cast<std::uint64_t>(inputSize) + (16u << 20);
}

std::string text(const xmlChar* s) { return s ? std::string(reinterpret_cast<const char*>(s)) : std::string(); }

std::string_view view(const xmlChar* s) {
  return s ? std::string_view(reinterpret_cast<const char*>(s)) : std::string_view();
}

std::optional<std::string> optionalText(const xmlChar* s) {
  if (!s) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(s));
}

// Measures how much text the tree's entity references stand for, without expanding them.
class ExpansionMeter {
 public:
  ExpansionMeter(xmlDocPtr doc, std::uint64_t limit) : doc_(doc), limit_(limit) {}

  bool withinLimit() { return size(doc_->children) <= limit_; }

 private:
  std::uint64_t add(std::uint64_t a, std::uint64_t b) const {
    return (a > limit_ || b > limit_) ? limit_ + 1 : a + b;
  }

  std::uint64_t size(xmlNodePtr first) {
    std::uint64_t total = 0;
    for (xmlNodePtr n = first; n && total <= limit_; n = n->next) {
      switch (n->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
          total = add(total, n->content ? std::strlen(reinterpret_cast<const char*>(n->content)) : 0);
          break;
        case XML_ENTITY_REF_NODE:
          total = add(total, entitySize(n));
          break;
        case XML_ELEMENT_NODE:
          for (xmlAttrPtr a = n->properties; a && total <= limit_; a = a->next) {
            total = add(total, size(a->children));
          }
          total = add(total, size(n->children));
          break;
        default:
          break;
      }
    }
    return total;
  }

  std::uint64_t entitySize(xmlNodePtr ref) {
    xmlEntityPtr ent = nullptr;
    if (ref->children && ref->children->type == XML_ENTITY_DECL) {
      ent = reinterpret_cast<xmlEntityPtr>(ref->children);
    } else {
      ent = xmlGetDocEntity(doc_, ref->name);
    }
    if (!ent) return 0;
    if (auto it = memo_.find(ent); it != memo_.end()) return it->second;
    if (!active_.insert(ent).second) return limit_ + 1;  // a reference loop
    std::uint64_t s = ent->children ? size(ent->children) : static_cast<std::uint64_t>(std::max(ent->length, 0));
    active_.erase(ent);
    memo_[ent] = s;
    return s;
  }

  xmlDocPtr doc_;
  std::uint64_t limit_;
  std::unordered_map<xmlEntityPtr, std::uint64_t> memo_;
  std::unordered_set<xmlEntityPtr> active_;
};

XMLNodeRecord recordOf(xmlNodePtr node);

void appendChildren(std::vector<XMLNodeRecord>& out, xmlNodePtr first) {
  for (xmlNodePtr c = first; c; c = c->next) out.push_back(recordOf(c));
}

XMLNodeRecord recordOf(xmlNodePtr node) {
  XMLNodeRecord r;
  switch (node->type) {
    case XML_ELEMENT_NODE:
      r.kind = XMLNodeRecord::Kind::Element;
      r.name = optionalText(node->name);
      for (xmlAttrPtr a = node->properties; a; a = a->next) {
        r.attributes.push_back(recordOf(reinterpret_cast<xmlNodePtr>(a)));
      }
      appendChildren(r.children, node->children);
      break;
    case XML_ATTRIBUTE_NODE: {
      auto* a = reinterpret_cast<xmlAttrPtr>(node);
      r.kind = XMLNodeRecord::Kind::Attribute;
      r.name = optionalText(a->name);
      appendChildren(r.children, a->children);
      break;
    }
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_PI_NODE:
    case XML_COMMENT_NODE:
      r.kind = node->type == XML_TEXT_NODE          ? XMLNodeRecord::Kind::Text
               : node->type == XML_CDATA_SECTION_NODE ? XMLNodeRecord::Kind::CDATA
               : node->type == XML_PI_NODE            ? XMLNodeRecord::Kind::ProcessingInstruction
                                                      : XMLNodeRecord::Kind::Comment;
      r.name = optionalText(node->name);
      r.content = optionalText(node->content);
      break;
    case XML_ENTITY_REF_NODE:
      // Its children are the shared entity declaration; following them would expand the entity.
      r.kind = XMLNodeRecord::Kind::EntityReference;
      r.name = optionalText(node->name);
      break;
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE: {
      auto* d = reinterpret_cast<xmlDocPtr>(node);
      r.kind = XMLNodeRecord::Kind::Document;
      r.name = optionalText(reinterpret_cast<const xmlChar*>(d->name));
      appendChildren(r.children, d->children);
      break;
    }
    case XML_NAMESPACE_DECL: {
      auto* ns = reinterpret_cast<xmlNsPtr>(node);
      r.kind = XMLNodeRecord::Kind::Namespace;
      r.name = optionalText(ns->prefix);
      r.content = optionalText(ns->href);
      break;
    }
    default:
      // DTD and declaration nodes: only the common header fields are safe to read.
      r.kind = XMLNodeRecord::Kind::Other;
      r.name = optionalText(node->name);
      break;
  }
  return r;
}

void ignoreXPathError(void*, xmlErrorPtr) {}

}  // namespace

// ---- XMLDocument ----

std::unique_ptr<XMLDocument> XMLDocument::parse(std::span<const std::uint8_t> bytes) {
  if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) return nullptr;
  ensureLibraryReady();
  const int options = XML_PARSE_RECOVER | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  xmlDocPtr doc = xmlReadMemory(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()),
                                nullptr, nullptr, options);
  if (!doc) return nullptr;
  if (!xmlDocGetRootElement(doc) || !ExpansionMeter(doc, expansionLimit(bytes.size())).withinLimit()) {
    xmlFreeDoc(doc);
    return nullptr;
  }
  return std::unique_ptr<XMLDocument>(new XMLDocument(doc));
}

std::unique_ptr<XMLDocument> XMLDocument::parse(std::string_view text) {
  return parse(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

XMLDocument::~XMLDocument() { xmlFreeDoc(static_cast<xmlDocPtr>(doc_)); }

std::optional<std::vector<XMLNodeRecord>> XMLDocument::evaluate(std::string_view xpath) const {
  if (xpath.find('\0') != std::string_view::npos) return std::nullopt;
  const std::string expression(xpath);
  xmlXPathContextPtr context = xmlXPathNewContext(static_cast<xmlDocPtr>(doc_));
  if (!context) return std::nullopt;
  context->error = ignoreXPathError;
  xmlXPathObjectPtr result =
      xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(expression.c_str()), context);
  std::optional<std::vector<XMLNodeRecord>> records;
  if (result && result->type == XPATH_NODESET) {
    records.emplace();
    if (xmlNodeSetPtr set = result->nodesetval) {
      records->reserve(static_cast<std::size_t>(set->nodeNr));
      for (int i = 0; i < set->nodeNr; ++i) {
        if (set->nodeTab[i]) records->push_back(recordOf(set->nodeTab[i]));
      }
    }
  }
  xmlXPathFreeObject(result);
  xmlXPathFreeContext(context);
  return records;
}

// ---- XMLParser ----

std::optional<std::string_view> XMLAttributes::find(std::string_view name) const {
  // The last of a repeated name wins, as in dictionary().
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    if (it->name == name) return it->value;
  }
  return std::nullopt;
}

Dictionary XMLAttributes::dictionary() const {
  Dictionary d;
  for (const XMLAttribute& a : items_) d.insert_or_assign(std::string(a.name), Value(std::string(a.value)));
  return d;
}

void XMLParserDelegate::didStartElementWithAttributes(XMLParser& parser, std::string_view name,
                                                      const XMLAttributes& attributes) {
  // The plain base class ignores the dictionary form too, so there is nothing to copy for it.
  if (typeid(*this) == typeid(XMLParserDelegate)) return;
  didStartElement(parser, std::string(name), attributes.dictionary());
}

void XMLParserDelegate::didStartElement(XMLParser&, const std::string&, const Dictionary&) {}
void XMLParserDelegate::didEndElement(XMLParser&, const std::string&) {}
void XMLParserDelegate::foundCharacters(XMLParser&, std::string_view) {}
void XMLParserDelegate::foundCDATA(XMLParser&, std::string_view) {}
void XMLParserDelegate::parseErrorOccurred(XMLParser&, const XMLParseError&) {}

XMLParser::XMLParser(Data data) : data_(std::move(data)) {}
XMLParser::XMLParser(std::string_view text) : data_(text.begin(), text.end()) {}

XMLParser XMLParser::borrowing(std::string_view text) {
  XMLParser parser{Data()};
  parser.borrowed_ = text;
  return parser;
}

struct XMLParserCallbacks {
  // libxml2's own SAX2 handlers need the parser context as their first argument, so the context
  // stays the user data and the XMLParser rides in its _private field.
  static XMLParser* parserOf(void* ctx) {
    return static_cast<XMLParser*>(static_cast<xmlParserCtxtPtr>(ctx)->_private);
  }

  // A dictionary name's text, its length measured once per parse.
  static std::string_view name(XMLParser* p, const xmlChar* s) {
    if (!s) return {};
    // The dictionary packs short names a few bytes apart: a multiplicative hash spreads them.
    const std::uint64_t h = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(s)) * 0x9E3779B97F4A7C15ull;
    static_assert(std::tuple_size_v<decltype(p->nameLengths_)> == 64, "the top six bits pick the slot");
    auto& slot = p->nameLengths_[static_cast<std::size_t>(h >> 58)];
    if (slot.first != s) slot = {s, std::strlen(reinterpret_cast<const char*>(s))};
    return std::string_view(reinterpret_cast<const char*>(s), slot.second);
  }

  // Whether an attribute value holds an entity reference. Most values are a few bytes long, for
  // which a plain loop beats a library call.
  static bool hasReference(std::string_view value) {
    if (value.size() > 32) return value.find('&') != std::string_view::npos;
    for (char c : value)
      if (c == '&') return true;
    return false;
  }

  // libxml2 gives an escaped ampersand as "&#38;". When that is the only reference in the
  // value, out receives the value with each one turned into "&" (what libxml2's decoding would
  // give, without its copies); false otherwise, and out is left to be overwritten.
  static bool expandAmpersands(std::string_view value, std::string& out) {
    static constexpr std::string_view kAmpersand = "&#38;";
    out.clear();
    std::size_t from = 0;
    for (std::size_t at; (at = value.find('&', from)) != std::string_view::npos; from = at + kAmpersand.size()) {
      if (value.substr(at, kAmpersand.size()) != kAmpersand) return false;
      out.append(value, from, at - from).push_back('&');
    }
    out.append(value, from);
    return true;
  }

  // Counts delivered text against the expansion allowance; false once it is exceeded.
  static bool spend(XMLParser* p, std::size_t n) {
    if (n > p->textBudget_) {
      p->textBudget_ = 0;
      p->fail({XMLParser::kExpansionLimitError, "entity expansion limit exceeded", 0, 0});
      return false;
    }
    p->textBudget_ -= n;
    return true;
  }

  static void startElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar*,
                           int nbNamespaces, const xmlChar** namespaces, int nbAttributes, int,
                           const xmlChar** attributes) {
    XMLParser* p = parserOf(ctx);
    if (p->stopped_) return;
    // Ours rather than libxml2's complaint, so that callers can say plainly what is wrong.
    if (++p->depth_ > XMLParser::kMaxDepth) {
      p->fail({XMLParser::kTooDeepError, "elements nested too deeply", xmlSAX2GetLineNumber(ctx), 0});
      return;
    }
    nbNamespaces = std::max(nbNamespaces, 0);
    nbAttributes = std::max(nbAttributes, 0);
    // Views point into libxml2's buffers where the text stands as is, and into attributeText_
    // otherwise; that is sized before the first view is taken, so it never moves under one.
    const std::size_t needed = static_cast<std::size_t>(nbNamespaces) + 2 * static_cast<std::size_t>(nbAttributes);
    if (p->attributeText_.size() < needed) p->attributeText_.resize(needed);
    std::size_t used = 0;
    auto scratch = [p, &used]() -> std::string& {
      std::string& s = p->attributeText_[used++];
      s.clear();
      return s;
    };
    auto joined = [&scratch](std::string_view head, std::string_view separator, std::string_view tail) -> std::string_view {
      std::string& s = scratch();
      s.append(head).append(separator).append(tail);
      return s;
    };
    // Written by index into a list sized once per tag: most tags of a document are alike, so it
    // rarely grows.
    std::vector<XMLAttribute>& views = p->attributeViews_;
    views.resize(static_cast<std::size_t>(nbNamespaces) + static_cast<std::size_t>(nbAttributes));
    std::size_t filled = 0;
    for (int i = 0; i < nbNamespaces; ++i) {
      const xmlChar* nsPrefix = namespaces[2 * i];
      views[filled++] = {nsPrefix ? joined("xmlns", ":", view(nsPrefix)) : std::string_view("xmlns"), view(namespaces[2 * i + 1])};
    }
    // A value libxml2 hands out in place in the document's text held no reference (one would
    // have sent it through a copy), so only copied values need looking through.
    const xmlParserInputPtr input = static_cast<xmlParserCtxtPtr>(ctx)->input;
    const std::uintptr_t textBegin = input ? reinterpret_cast<std::uintptr_t>(input->base) : 0;
    const std::uintptr_t textEnd = input ? reinterpret_cast<std::uintptr_t>(input->end) : 0;
    for (int i = 0; i < nbAttributes; ++i) {
      const xmlChar** a = attributes + 5 * i;
      const xmlChar* begin = a[3];
      const int length = static_cast<int>(a[4] - a[3]);
      std::string_view value(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(length));
      const bool inPlace = reinterpret_cast<std::uintptr_t>(begin) >= textBegin &&
                           reinterpret_cast<std::uintptr_t>(a[4]) <= textEnd;
      // Without entity substitution libxml2 leaves references in attribute values; expand the
      // internal ones here, under libxml2's loop check and our allowance (getEntity).
      if (!inPlace && hasReference(value)) {
        std::string& s = scratch();
        if (!expandAmpersands(value, s)) {
          xmlChar* decoded = xmlStringLenDecodeEntities(static_cast<xmlParserCtxtPtr>(ctx), begin, length,
                                                        XML_SUBSTITUTE_REF, 0, 0, 0);
          if (!decoded) {
            p->fail({XML_ERR_ENTITY_LOOP, "attribute value could not be expanded", 0, 0});
            return;
          }
          s.assign(reinterpret_cast<const char*>(decoded));
          xmlFree(decoded);
        }
        value = s;
      }
      if (p->stopped_ || !spend(p, value.size())) return;
      if (a[1]) views[filled++] = {joined(view(a[1]), ":", view(a[0])), value, nullptr};
      else views[filled++] = {name(p, a[0]), value, a[0]};
    }
    if (!p->delegate_) return;
    std::string_view tag = name(p, localname);
    if (prefix) {
      p->elementName_.assign(view(prefix)).append(":").append(tag);
      p->endTagName_ = nullptr;
      tag = p->elementName_;
    }
    p->delegate_->didStartElementWithAttributes(*p, tag, XMLAttributes(views));
  }

  static void endElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar*) {
    XMLParser* p = parserOf(ctx);
    if (p->stopped_) return;
    --p->depth_;
    if (!p->delegate_) return;
    // The start tag is done with elementName_, so its buffer serves here without a new string;
    // a run of end tags of one plain name (a list of topics) writes it once.
    std::string& tag = p->elementName_;
    if (prefix || localname != p->endTagName_) {
      tag.clear();
      if (prefix) tag.append(view(prefix)).append(":");
      tag.append(name(p, localname));
      p->endTagName_ = prefix ? nullptr : localname;
    }
    p->delegate_->didEndElement(*p, tag);
  }

  static void characters(void* ctx, const xmlChar* ch, int len) {
    XMLParser* p = parserOf(ctx);
    if (p->stopped_ || len <= 0 || !spend(p, static_cast<std::size_t>(len))) return;
    if (p->delegate_) {
      p->delegate_->foundCharacters(*p, std::string_view(reinterpret_cast<const char*>(ch), static_cast<std::size_t>(len)));
    }
  }

  static void cdata(void* ctx, const xmlChar* value, int len) {
    XMLParser* p = parserOf(ctx);
    if (p->stopped_ || len < 0 || !spend(p, static_cast<std::size_t>(len))) return;
    if (p->delegate_) {
      p->delegate_->foundCDATA(*p, std::string_view(reinterpret_cast<const char*>(value), static_cast<std::size_t>(len)));
    }
  }

  static void structuredError(void* ctx, xmlErrorPtr error) {
    if (!error || !ctx) return;
    // Warnings and namespace complaints do not end a parse without namespace processing.
    if (error->level < XML_ERR_ERROR || error->domain == XML_FROM_NAMESPACE) return;
    XMLParser* p = parserOf(ctx);
    if (p->stopped_) return;
    // libxml2's own amplification check calls a bomb a reference loop: it is the expansion limit.
    if (error->code == XML_ERR_ENTITY_LOOP) {
      p->fail({XMLParser::kExpansionLimitError, "entity expansion limit exceeded", error->line, error->int2});
      return;
    }
    std::string message = text(reinterpret_cast<const xmlChar*>(error->message));
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    p->fail({error->code, std::move(message), error->line, error->int2});
  }

  // Nothing outside the buffer is ever read.
  static xmlParserInputPtr refuseEntity(void*, const xmlChar*, const xmlChar*) { return nullptr; }

  // Huge mode turns off libxml2's amplification checks, so every entity looked up, however deep
  // in another's expansion, spends its text from the allowance. Past it, every reference stands
  // for nothing: libxml2 would look a missing entity up again itself, and expand it.
  static xmlEntityPtr getEntity(void* ctx, const xmlChar* name) {
    static xmlEntity nothing = [] {
      xmlEntity e{};
      e.type = XML_ENTITY_DECL;
      e.etype = XML_INTERNAL_PREDEFINED_ENTITY;
      e.content = const_cast<xmlChar*>(reinterpret_cast<const xmlChar*>(""));
      return e;
    }();
    XMLParser* p = parserOf(ctx);
    if (p->stopped_) return &nothing;
    xmlEntityPtr entity = xmlSAX2GetEntity(ctx, name);
    if (entity && !spend(p, static_cast<std::size_t>(std::max(entity->length, 1)))) return &nothing;
    return entity;
  }
};

void XMLParser::fail(XMLParseError error) {
  if (stopped_) return;
  stopped_ = true;
  if (context_) xmlStopParser(static_cast<xmlParserCtxtPtr>(context_));
  error_ = error;
  if (error.code != kAbortedError && delegate_) delegate_->parseErrorOccurred(*this, *error_);
}

void XMLParser::abortParsing() {
  if (!context_) return;
  fail({kAbortedError, "parsing aborted", 0, 0});
}

bool XMLParser::parse() {
  error_.reset();
  stopped_ = false;
  const std::string_view input =
      borrowed_.data() ? borrowed_ : std::string_view(reinterpret_cast<const char*>(data_.data()), data_.size());
  if (input.size() > static_cast<std::size_t>(INT_MAX)) {
    fail({kInputTooLargeError, "document too large", 0, 0});
    return false;
  }
  ensureLibraryReady();
  textBudget_ = expansionLimit(input.size());
  depth_ = 0;
  // A new parse has a new dictionary, whose names may reuse the old addresses.
  endTagName_ = nullptr;
  nameLengths_.fill({});

  xmlParserCtxtPtr ctxt = xmlCreateMemoryParserCtxt(input.data(), static_cast<int>(input.size()));
  if (!ctxt) {
    fail({XML_ERR_NO_MEMORY, "parser could not be created", 0, 0});
    return false;
  }
  auto* sax = static_cast<xmlSAXHandler*>(xmlMalloc(sizeof(xmlSAXHandler)));
  if (!sax) {
    xmlFreeParserCtxt(ctxt);
    fail({XML_ERR_NO_MEMORY, "parser could not be created", 0, 0});
    return false;
  }
  std::memset(sax, 0, sizeof(*sax));
  xmlSAXVersion(sax, 2);
  sax->startElementNs = XMLParserCallbacks::startElement;
  sax->endElementNs = XMLParserCallbacks::endElement;
  sax->characters = XMLParserCallbacks::characters;
  sax->ignorableWhitespace = XMLParserCallbacks::characters;
  sax->cdataBlock = XMLParserCallbacks::cdata;
  sax->serror = XMLParserCallbacks::structuredError;
  sax->resolveEntity = XMLParserCallbacks::refuseEntity;
  sax->getEntity = XMLParserCallbacks::getEntity;
  sax->reference = nullptr;  // internal entities are expanded into callbacks instead
  sax->comment = nullptr;
  sax->processingInstruction = nullptr;
  sax->warning = nullptr;
  sax->error = nullptr;
  sax->fatalError = nullptr;
  if (ctxt->sax) xmlFree(ctxt->sax);
  ctxt->sax = sax;
  ctxt->userData = ctxt;
  ctxt->_private = this;
  // Without huge mode libxml2 refuses a text or attribute value over 10 MB, which a map's own
  // writer produces for a long topic; the depth and expansion limits above stay ours.
  xmlCtxtUseOptions(ctxt, XML_PARSE_NONET | XML_PARSE_HUGE);
  context_ = ctxt;

  xmlParseDocument(ctxt);
  const bool wellFormed = ctxt->wellFormed != 0;
  context_ = nullptr;
  if (ctxt->myDoc) xmlFreeDoc(ctxt->myDoc);
  ctxt->myDoc = nullptr;
  xmlFreeParserCtxt(ctxt);

  if (!error_ && !wellFormed) {
    stopped_ = false;
    fail({XML_ERR_INTERNAL_ERROR, "document is not well-formed", 0, 0});
  }
  return !error_;
}

}  // namespace kit
