// The formats as the canvas sees them.
#include "formats/map_formats.h"

namespace MapFormats {

namespace {
class Services final : public MapFormatServices {
 public:
  void dumpNode(BigView& canvas, NodeView* topic, std::string& xml, int inFormat) override {
    MapFormats::dumpNode(canvas, topic, xml, inFormat);
  }
  void loadFromXML(BigView& canvas, std::string_view xml, int context) override {
    MapFormats::loadFromXML(canvas, xml, context);
  }
  std::string buildMarkdownOutlineFor(BigView&, NodeView* topic) override {
    return MapFormats::buildMarkdownOutlineFor(topic);
  }
  std::string buildOPMLFromText(std::string_view text, bool ensureSingleRoot) override {
    return GlobalHelpers::buildOPMLFromText(text, ensureSingleRoot);
  }
};
}  // namespace

MapFormatServices& services() {
  static Services s;
  return s;
}

}  // namespace MapFormats
