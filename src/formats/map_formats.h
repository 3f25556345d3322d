// The map file formats: the native map XML (written and read), OPML (read), the Markdown outline
// (written) and the OPML built from indented plain text. docs/formats.md describes the layout.
//
// Reading happens in two steps: the text is parsed into records without touching any canvas,
// and only a document that parsed completely is built into the canvas. So a malformed or
// truncated file builds nothing, and a caller can check a file before it replaces a map.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "canvas/big_view.h"
#include "helpers/colour_types.h"
#include "kit/core/geometry.h"
#include "kit/core/value.h"

class NodeView;

namespace MapFormats {

// Where loadFromXML hangs what it reads.
namespace LoadContext {
constexpr int Map = 0;       // a whole map into an empty canvas: the top topic becomes the root
constexpr int Paste = 1;     // a pasted branch or outline, under the selected topic
constexpr int Left = 2;      // under the selected topic, left of the central topic
constexpr int Right = 3;     // under the selected topic, right of the central topic
constexpr int Floating = 4;  // under the selected topic (the root), to be made floating
}  // namespace LoadContext

// The rarer attributes of a topic as read (notes and links among them), kept apart so that the
// common record stays small: records are written, read and freed once each per topic loaded.
struct TopicDetails {
  std::string note, link;
  std::optional<std::string> referenceID, icon1, icon2, imageID, effort;
  std::optional<kit::Date> startDate, dueDate;
  kit::Array resources;  // {"name", "loading"?}
};

// One topic as read, before it exists on a canvas.
struct TopicRecord {
  int parent = -1;  // index of the parent record (always smaller), -1 for a top-level topic
  std::int32_t shape = 99;
  std::int32_t percentComplete = -1;
  std::uint32_t textStyle = 0;
  float width = 0, fontSize = 0;
  std::optional<RGB255> colour;
  bool keepUuid = false;  // false for "_uuid" (a paste): the topic gets a new identity
  bool callout = false, floating = false, folded = false, boundary = false, rollup = false;
  std::optional<kit::Point> position;
  std::string uuid;
  std::uint64_t uuidHash = 0;  // identityHash(uuid) as the reader found it; 0 when not known
  std::string text;
  std::unique_ptr<TopicDetails> details;  // nullptr while the topic has none of them

  TopicDetails& writableDetails() {
    if (!details) details = std::make_unique<TopicDetails>();
    return *details;
  }
};

// The hash by which loading indexes identities, keyed per process so that a crafted file cannot
// aim its identities at one run of an index's slots.
std::uint64_t identityHash(std::string_view uuid);

// One relationship as read; its ends name topics by uuid.
struct RelationshipRecord {
  std::string uuid;
  bool keepUuid = false;
  std::string from, to;
  int fromEnd = 1, toEnd = 1;  // 0 none, 1 arrow, 2 circle
  std::optional<RGB255> colour;
  std::optional<kit::Point> offset;  // control point minus the first end's centre
};

struct ParsedMap {
  int fileFormat = 0;
  std::vector<TopicRecord> topics;  // document order; one top-level topic
  std::vector<RelationshipRecord> relationships;
};

struct ParseResult {
  std::optional<ParsedMap> map;  // nullopt on failure
  std::string error;             // why, for the alert
};

// Native map XML (root "QuillmereRelative") or OPML (root "opml"), chosen by the root element.
ParseResult parseMapXML(std::string_view xml);
// Indented plain text as buildOPMLFromText(text, false) and the OPML reader make it, at any
// depth (the XML readers stop at kit::XMLParser::kMaxDepth).
ParsedMap parseOutlineText(std::string_view text);

// Builds parsed records into the canvas under its selected topic (the crosshair rule and the
// load contexts as in docs/formats.md); relationships and folds come last. Sets and returns
// lastLoadedRootNode (nullptr when there was nothing to build).
NodeView* buildMap(BigView& canvas, const ParsedMap& map, int context);
// The same, with the topics taking the records' texts: the map is left moved-from. With
// `unplaced`, the topics whose records carry no position are listed there, parents first.
NodeView* buildMap(BigView& canvas, ParsedMap&& map, int context, std::vector<NodeView*>* unplaced = nullptr);

// Parse, then build. On a parse error the alert is shown, nothing is built and
// lastLoadedRootNode stays nullptr. Returns what it built.
NodeView* loadFromXML(BigView& canvas, std::string_view xml, int context);

// The alert shown for a file that cannot be read.
inline constexpr const char* kLoadErrorTitle = "Unable to Open";
// Shows it for the reason parseMapXML gave.
void showLoadAlert(const std::string& error);

// Appends the topic's branch as a whole document of the format; only the native format (3) is
// written, other numbers append nothing. Relationships whose two ends lie in the branch go too.
void dumpNode(BigView& canvas, const NodeView* topic, std::string& xml, int inFormat);
// The whole map (the root's branch, every relationship), or "" without a root.
std::string dumpMap(BigView& canvas);

// "- text" lines, four spaces per level; "" for nothing, and for an outline longer than
// kMaxOutlineLength (its indentation grows with the square of a branch's depth). The branch's
// child lists are sorted clockwise first (the reading order), under the tree lock.
inline constexpr std::uint64_t kMaxOutlineLength = std::uint64_t{1} << 30;
std::string buildMarkdownOutlineFor(NodeView* topic);

// The services the document installs on its canvas.
MapFormatServices& services();

}  // namespace MapFormats

namespace GlobalHelpers {
// OPML from indented plain text: one outline per non-blank line, a tab or four spaces per level.
// With ensureSingleRoot, text without exactly one top-level line hangs under "Clipboard".
std::string buildOPMLFromText(std::string_view text, bool ensureSingleRoot);
}  // namespace GlobalHelpers
