// Arbitrary bytes as an XML document (XPath queries and the event parser) and as an XPath
// expression against a fixed document.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "helpers/xpath_query.h"
#include "kit/io/xml.h"

namespace {

// Start and end callbacks of a successful parse must pair up.
class Balance : public kit::XMLParserDelegate {
 public:
  void didStartElement(kit::XMLParser&, const std::string& name, const kit::Dictionary&) override {
    open.push_back(name);
  }
  void didEndElement(kit::XMLParser&, const std::string& name) override {
    if (open.empty() || open.back() != name) broken = true;
    else open.pop_back();
  }
  std::vector<std::string> open;
  bool broken = false;
};

const char* const kExpressions[] = {"/", "//*", "//@*", "//text()", "//comment()", "//node()",
                                    "/*/*[1]/@id", "//topic[@id='1']/@text", "count(//*)"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);

  if (auto q = XPathQuery::objectWithXMLData(bytes)) {
    for (const char* e : kExpressions) {
      (void)q->rawQuery("%@", std::string(e));
      (void)q->singleValueQuery("%@", std::string(e));
      (void)q->multiValueQuery("%@", std::string(e));
    }
  }

  Balance balance;
  kit::XMLParser parser(kit::Data(bytes.begin(), bytes.end()));
  parser.setDelegate(&balance);
  const bool ok = parser.parse();
  if (ok && (balance.broken || !balance.open.empty())) std::abort();
  if (!ok && !parser.parserError()) std::abort();

  if (size <= 160) {
    static const auto fixed = XPathQuery::objectWithXMLString(
        "<?xml version=\"1.0\"?><map a=\"1\"><topic id=\"1\" text=\"t\">x<!--c--><topic id=\"2\"/>"
        "<![CDATA[d]]></topic><?pi v?><topic id=\"3\">y</topic></map>");
    if (!fixed) std::abort();
    const std::string expression(reinterpret_cast<const char*>(data), size);
    (void)fixed->rawQuery("%@", expression);
    (void)fixed->multiValueQuery("%@", expression);
  }
  return 0;
}
