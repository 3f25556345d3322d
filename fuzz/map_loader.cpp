// Arbitrary bytes through the map loader into a canvas that already holds a map. A load either
// builds one branch under the selection or leaves the tree exactly as it was; whatever it built
// must write back as native XML that loads again.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "canvas/big_view.h"
#include "formats/map_formats.h"
#include "helpers/global_helpers_file_formats.h"
#include "kit/ui/alert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  auto canvas = std::make_unique<BigView>(kit::Rect(0, 0, 34560, 30720));
  canvas->setFormatServices(&MapFormats::services());
  NodeView* root = canvas->createChildNodeOf(nullptr, kit::Point());
  NodeView* child = canvas->createChildNodeOf(root, kit::Point(17500, 15000));
  canvas->setSelectedNode(child, false);

  const int before = canvas->getTopicCount(nullptr);
  const int context = size ? data[0] % 5 : 1;
  canvas->loadFromXML(input, context);
  NodeView* top = canvas->lastLoadedRootNode();
  if (!top) {
    if (canvas->getTopicCount(nullptr) != before || canvas->rootNode() != root) std::abort();
  } else {
    if (canvas->getTopicCount(nullptr) != before + canvas->getTopicCount(top)) std::abort();
    std::string xml;
    canvas->dumpNode(top, xml, GlobalHelpers::kFileTypeQLM);
    if (!MapFormats::parseMapXML(xml).map) std::abort();
  }
  // The plain-text path the clipboard takes.
  MapFormats::parseMapXML(GlobalHelpers::buildOPMLFromText(input, true));
  kit::Alert::clearShown();
  canvas->preDealloc();
  return 0;
}
