#include "document/map_import.h"

#include <algorithm>
#include <memory>
#include <unordered_set>
#include <utility>

#include "document/pseudo_map_view_controller.h"
#include "helpers/strings.h"
#include "kit/text/utf.h"
#include "model/map_theme.h"
#include "model/node_view.h"

namespace MapImport {

std::string_view withoutByteOrderMark(std::string_view s) {
  if (s.size() >= 3 && s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
  return s;
}

InputKind inputKindFor(std::string_view path, std::string_view bytes) {
  const std::string p(path);
  if (strings::pathHasExtensionNoCase(p, "qlm")) return InputKind::MapFile;
  if (strings::pathHasExtensionNoCase(p, "opml") || strings::pathHasExtensionNoCase(p, "xml"))
    return InputKind::MapXML;
  if (strings::pathHasExtensionNoCase(p, "txt") || strings::pathHasExtensionNoCase(p, "text"))
    return InputKind::Outline;
  std::string_view s = withoutByteOrderMark(bytes);
  if (s.substr(0, 6) == "bplist") return InputKind::MapFile;
  std::size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos || s[first] != '<') return InputKind::Outline;
  return s.substr(0, 1024).find("<plist") != std::string_view::npos ? InputKind::MapFile : InputKind::MapXML;
}

std::optional<MapFormats::ParsedMap> parseXML(std::string_view xml, std::string& why) {
  MapFormats::ParseResult parsed = MapFormats::parseMapXML(xml);
  if (!parsed.map) {
    why = parsed.error;
    return std::nullopt;
  }
  if (parsed.map->topics.empty()) {
    why = "it holds no topics";
    return std::nullopt;
  }
  return std::move(parsed.map);
}

std::optional<MapFormats::ParsedMap> parseOutline(std::string_view bytes, std::string& why) {
  if (bytes.find('\0') != std::string_view::npos || !kit::isValidUtf8(bytes)) {
    why = "it is not UTF-8 text";
    return std::nullopt;
  }
  std::string_view text = withoutByteOrderMark(bytes);
  if (text.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos) {
    why = "the outline is empty";
    return std::nullopt;
  }
  return MapFormats::parseOutlineText(text);
}

bool hasAllPositions(const MapFormats::ParsedMap& map) {
  return std::all_of(map.topics.begin(), map.topics.end(), [](const auto& t) { return t.position.has_value(); });
}

void layOut(BigView& canvas, bool automatic) {
  NodeView* root = canvas.rootNode();
  if (!root) return;
  root->recalcLayoutRecursively(true, false, false, false, false);
  if (automatic) {
    canvas.rearrangeAll(false, true, true);
    canvas.balanceMapAround(root, 1);
    canvas.rearrangeAll(false, true, true);
  }
  root->recalcBoundaries();
  canvas.requestRedraw();
}

namespace {

constexpr float kHorizontalGap = 70, kVerticalGap = 10;

// Stacks branches already laid out on their own (`group`: children of one parent on one side, in
// order) among the parent's other children, those in `unplaced` aside: below the lowest placed
// one, inner edges aligned; or, when there is none, as the layout's column beside the parent.
void stackAmongSiblings(const std::vector<NodeView*>& group, const std::unordered_set<const NodeView*>& unplaced) {
  NodeView* parent = group.front()->parentNode();
  const bool right = group.front()->isToRightOfParent();
  NodeView* lowest = nullptr;
  for (const auto& child : parent->childNodes()) {
    NodeView* k = child.get();
    if (k->isFloating() || k->isCallout() || unplaced.count(k) || k->isToRightOfParent() != right) continue;
    if (!lowest || k->getBranchBoundingRect().maxY() > lowest->getBranchBoundingRect().maxY()) lowest = k;
  }
  float top, edge;  // the next branch's top, and the inner edge of every topic of the column
  if (lowest) {
    top = lowest->getBranchBoundingRect().maxY() + kVerticalGap;
    edge = right ? lowest->getAdjustedNodeFrame().minX() : lowest->getAdjustedNodeFrame().maxX();
  } else {
    float height = -kVerticalGap;
    for (NodeView* k : group) height += k->getBranchBoundingRect().height() + kVerticalGap;
    top = parent->center().y - height * 0.5f;
    const kit::Rect p = parent->getAdjustedNodeFrame();
    edge = right ? p.maxX() + kHorizontalGap : p.minX() - kHorizontalGap;
  }
  for (NodeView* k : group) {
    const kit::Rect branch = k->getBranchBoundingRect(), own = k->getAdjustedNodeFrame();
    const float x = k->center().x + edge - (right ? own.minX() : own.maxX());
    const float y = top + k->center().y - branch.minY();
    k->moveTo(kit::Point(kit::roundHalfEven(x), kit::roundHalfEven(y)), true);
    top += branch.height() + kVerticalGap;
  }
}

}  // namespace

void layOutUnplaced(BigView& canvas, const std::vector<NodeView*>& unplaced) {
  NodeView* root = canvas.rootNode();
  if (!root) return;
  // Only the central topic placed, or none: the layout of an import, which keeps the root's place.
  const std::size_t rootUnplaced = std::count(unplaced.begin(), unplaced.end(), root);
  if (unplaced.size() - rootUnplaced + 1 == root->getListOfDescendents().size()) return layOut(canvas, true);
  layOut(canvas, false);
  if (unplaced.empty()) return;
  // Each topic without a place whose parent has one is laid out with its branch first.
  const std::unordered_set<const NodeView*> without(unplaced.begin(), unplaced.end());
  std::unordered_set<const NodeView*> covered, branches;
  for (NodeView* topic : unplaced) {
    NodeView* parent = topic->parentNode();
    if (parent && covered.count(parent)) {
      covered.insert(topic);
      continue;
    }
    // A root, a floating topic or a callout stays where it was made; its children are placed.
    if (!parent || topic->isFloating() || topic->isCallout()) continue;
    canvas.rearrangeChildren(topic, false);
    covered.insert(topic);
    branches.insert(topic);
  }
  // Then the branches are stacked, each parent's on each side together, in child order.
  std::unordered_set<const NodeView*> stacked;
  for (NodeView* topic : unplaced) {
    if (!branches.count(topic) || stacked.count(topic)) continue;
    std::vector<NodeView*> group;
    for (const auto& child : topic->parentNode()->childNodes())
      if (branches.count(child.get()) && child->isToRightOfParent() == topic->isToRightOfParent())
        group.push_back(child.get());
    stackAmongSiblings(group, without);
    stacked.insert(group.begin(), group.end());
  }
  root->recalcBoundaries();
  canvas.requestRedraw();
}

bool buildNewMap(PseudoMapViewController& doc, MapFormats::ParsedMap map, const std::string& mapName, bool rainbow,
                 int canvasStyle) {
  doc.setMapID(mapName);
  doc.setMapName(mapName);
  doc.setMapSetting("KeepOrganised", true);
  doc.setTheme(std::shared_ptr<MapTheme>(MapTheme::themeDefault()));
  doc.setRainbow(rainbow);
  doc.setDropShadow(false);
  doc.setCanvasStyle(canvasStyle);
  BigView& canvas = *doc.bigView();
  // Read before the records are handed over.
  const bool positioned = hasAllPositions(map);
  NodeView* top = MapFormats::buildMap(canvas, std::move(map), MapFormats::LoadContext::Map);
  if (!top) return false;
  // Several top-level lines gather under a topic without text: it takes the map's name.
  if (top->strName().empty() && !mapName.empty()) top->setStrName(mapName);
  layOut(canvas, !positioned);
  return true;
}

}  // namespace MapImport
