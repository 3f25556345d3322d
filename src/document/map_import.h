// A map from an outside document: what kind of input a file holds, its records, and a new map
// built from them and laid out as an import is. The command's render and the edit session share
// it, so that a document opens in a window as it renders.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/map_formats.h"

class BigView;
class NodeView;
class PseudoMapViewController;

namespace MapImport {

enum class InputKind { MapFile, MapXML, Outline };

// By the extension where it tells (.qlm; .opml, .xml; .txt, .text); else by the content:
// property lists are map files, other XML is a map or OPML document, anything else an outline.
InputKind inputKindFor(std::string_view path, std::string_view bytes);

std::string_view withoutByteOrderMark(std::string_view s);

// The records of an XML map or OPML document, or of an indented text outline; nullopt with the
// reason (a short phrase such as "it holds no topics") when there are none to build.
std::optional<MapFormats::ParsedMap> parseXML(std::string_view xml, std::string& why);
std::optional<MapFormats::ParsedMap> parseOutline(std::string_view bytes, std::string& why);

bool hasAllPositions(const MapFormats::ParsedMap& map);

// The topics' own boxes; then, for a map without positions, the canvas's automatic layout with
// the central topic's branches balanced over its two sides, as imported maps are.
void layOut(BigView& canvas, bool automatic);

// A loaded map file's topics that carried no position (`unplaced`, parents first, as buildMap
// lists them) are laid out; the others keep their places. When none but the central topic carried
// one, the map is laid out as an import is. Otherwise each such topic whose parent has a place goes with its branch,
// laid out below it, under the lowest of its parent's other children on its side (inner edges
// aligned, 10 pt apart), or beside the parent as the layout places a single child.
void layOutUnplaced(BigView& canvas, const std::vector<NodeView*>& unplaced);

// A new map from records, named mapName (its id too), organising itself, with the default theme,
// no drop shadow and the given rainbow mode and canvas style; laid out when the records carry no
// positions. False when nothing was built.
bool buildNewMap(PseudoMapViewController& doc, MapFormats::ParsedMap map, const std::string& mapName, bool rainbow,
                 int canvasStyle);

}  // namespace MapImport
