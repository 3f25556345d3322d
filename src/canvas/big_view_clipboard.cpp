// The topic clipboard: copying a branch into a record file, pasting records, text from other
// programs and images.
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "canvas/big_view.h"
#include "helpers/global_helpers_identifiers.h"
#include "kit/core/app_paths.h"
#include "kit/io/plist.h"
#include "kit/text/utf.h"
#include "kit/ui/alert.h"
#include "kit/ui/pasteboard.h"
#include "model/asset_library.h"
#include "helpers/strings.h"

namespace {

constexpr const char* kDataInFile = "data in file";
// Every attribute bit, for the pasteboard's attribute dictionary.
constexpr std::uint32_t kAllAttributes = 0xFFFFFFFFu;

std::string clipboardPath(int clipboard) {
  const std::string name = GlobalHelpers::clipboardNameForType(clipboard);
  return name.empty() ? std::string() : kit::AppPaths::temporary() + "/" + name;
}

// Pasted topics and relationships take new identities: the identity attribute is renamed, and
// only the attribute (a quote inside a value is always escaped), so texts mentioning "uuid" stay.
std::string withPastedIdentities(const std::string& xml) {
  static constexpr std::string_view from = " uuid=\"", to = " _uuid=\"";
  std::string out;
  out.reserve(xml.size() + xml.size() / 64);
  std::size_t pos = 0;
  for (std::size_t hit; (hit = xml.find(from, pos)) != std::string::npos; pos = hit + from.size()) {
    out.append(xml, pos, hit - pos);
    out += to;
  }
  out.append(xml, pos);
  return out;
}

// Text from another program becomes one topic per line, each laid out and measured: a paste of
// more than this is refused with an alert rather than freezing the window.
constexpr std::size_t kMaxPastedTextBytes = 1'000'000;
constexpr std::size_t kMaxPastedTextLines = 10'000;
constexpr const char* kPasteLimits = "A paste takes at most 1 MB of text in at most 10,000 lines.";

std::string withThousands(std::size_t n) {
  std::string digits = std::to_string(n), out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// Lines that hold more than indentation: each becomes a topic.
std::size_t linesWithText(std::string_view text) {
  std::size_t lines = 0;
  bool blank = true;
  for (char c : text) {
    if (c == '\n') {
      lines += blank ? 0 : 1;
      blank = true;
    } else if (c != ' ' && c != '\t' && c != '\r') {
      blank = false;
    }
  }
  return lines + (blank ? 0 : 1);
}

void refuseText(const std::string& why) { kit::Alert::show("Unable to Paste", "The text on the clipboard " + why); }

void refuseLargeText(const std::string& what) { refuseText(what + ". " + kPasteLimits); }

// The first present of the text types, in the order the paste asks them; nullopt when it is not
// UTF-8 or holds a null character (binary data offered as text), or is too large to paste, each
// said in an alert.
std::optional<std::string> pasteboardText(const kit::Pasteboard& board) {
  for (std::string_view type : {kit::kPasteboardTypeText, kit::kPasteboardTypePlainText, kit::kPasteboardTypeUTF8PlainText}) {
    if (!board.containsPasteboardType(type)) continue;
    bool tooLarge = false;
    auto bytes = board.dataForPasteboardType(type, kMaxPastedTextBytes, tooLarge);
    if (tooLarge) refuseLargeText("is more than 1 MB");
    if (!bytes) return std::nullopt;
    std::string text(bytes->begin(), bytes->end());
    if (!kit::isValidUtf8(text) || text.find('\0') != std::string::npos) {
      refuseText(kit::isValidUtf8(text) ? "holds a null character, as binary data does. Copy it again as plain text."
                                        : "is not UTF-8. Copy it again as UTF-8 text.");
      return std::nullopt;
    }
    if (const std::size_t lines = linesWithText(text); lines > kMaxPastedTextLines) {
      refuseLargeText("has " + withThousands(lines) + " lines");
      return std::nullopt;
    }
    return text;
  }
  return std::nullopt;
}

}  // namespace

void BigView::copyNode(NodeView* topic, int toClipboard) {
  const std::string path = clipboardPath(toClipboard);
  if (!topic || path.empty()) return;
  const int relpos = topic->isRoot() ? 0 : (topic->isLogicallyToRightOfRoot() ? 2 : 1);

  // The copy never carries the floating flag.
  const bool floating = topic->isFloating();
  if (floating) topic->setIsFloating(false, false);
  std::string xml;
  dumpNode(topic, xml, 3);
  if (floating) topic->setIsFloating(true, false);

  kit::Value record(kit::Dictionary{{"xml", kit::Value(xml)}, {"relpos", kit::Value(static_cast<std::int64_t>(relpos))}});
  // The image asset ids the branch uses, each once, in tree order (branches can be very deep).
  kit::Array assets;
  std::unordered_set<std::string_view> seen;
  topic->walkPreOrder([&](const NodeView* n) {
    if (const auto& image = n->getImage(); image && !image->empty() && seen.insert(*image).second) assets.emplace_back(*image);
    return true;
  });
  if (!assets.empty()) {
    record.set("Assets", kit::Value(std::move(assets)));
    record.set("MapID", kit::Value(parentController_ ? parentController_->mapID() : std::string()));
  }
  kit::plist::writeFile(path, record);

  if (toClipboard != 1) return;
  kit::Pasteboard::Item item{{std::string(GlobalHelpers::kTopicPasteboardType), kit::Value(kDataInFile)}};
  if (std::string outline = buildMarkdownOutlineFor(topic); !outline.empty())
    item.emplace(std::string(kit::kPasteboardTypeUTF8PlainText), kit::Value(std::move(outline)));
  kit::Value attributes = topic->dumpToDictionary(kAllAttributes);
  if (attributes.isDictionary() && !attributes.dictionary().empty())
    item.emplace(std::string(GlobalHelpers::kTopicAttributesPasteboardType), kit::Value(kit::plist::writeBinary(attributes)));
  kit::Pasteboard::general().setItems({std::move(item)});
}

void BigView::copySelectedNodeToClipboard() { copyNode(selectedNode_, 1); }

void BigView::cutSelectedNodeToClipboard() {
  if (!selectedNode_) return;
  if (parentController_) parentController_->pushUndoSnapshot();
  copySelectedNodeToClipboard();
  deleteBranch(selectedNode_);
}

bool BigView::pasteClipboard(int clipboard, int onSide, bool andFloat) {
  const bool crosshair = isCrosshairShown();
  kit::Pasteboard& board = kit::Pasteboard::general();
  const bool fromRecord = clipboard == 2 || board.containsPasteboardType(GlobalHelpers::kTopicPasteboardType);
  bool pasted = false;
  auto finish = [&] {
    NodeView* s = selectedNode_;
    if (s && s->parentNode() && s->parentNode()->isFolded()) s = s->parentNode();
    if (s) setSelectedNode(s, true);
    return pasted;
  };

  std::optional<std::string> text;
  if (!fromRecord) {
    const bool hasText = board.containsPasteboardTypes(
        {kit::kPasteboardTypeText, kit::kPasteboardTypePlainText, kit::kPasteboardTypeUTF8PlainText});
    if (!hasText || board.containsPasteboardType(kit::kPasteboardTypeURL)) {
      if (board.containsPasteboardTypes(
              {kit::kPasteboardTypePNG, kit::kPasteboardTypeJPEG, kit::kPasteboardTypeGIF, kit::kPasteboardTypeURL}))
        pasted = pasteImageAsTopic(andFloat, crosshair);
      return finish();
    }
    text = pasteboardText(board);
    if (!text) return finish();  // not text after all: refused
  }

  std::string xml;
  int relpos = 0;
  int context = 1;
  if (fromRecord) {
    std::optional<kit::Value> record;
    if (const std::string path = clipboardPath(clipboard); !path.empty()) record = kit::plist::readFile(path);
    if (record && record->isDictionary()) {
      const kit::Value& r = *record;
      relpos = r["relpos"].intValue();
      if (r["xml"].isString()) xml = withPastedIdentities(r["xml"].string());
      context = andFloat ? 4 : onSide == Side::Left ? 2 : onSide == Side::Right ? 3 : 1;
      const std::string here = parentController_ ? parentController_->mapID() : std::string();
      const kit::Value& from = r["MapID"];
      const kit::Value& assets = r["Assets"];
      if (!xml.empty() && from.isString() && !from.string().empty() &&
          !strings::isEqualToStringWithCase(from.string(), here) && assets.isArray() && !assets.array().empty()) {
        std::vector<std::string> ids;
        for (const kit::Value& id : assets.array())
          if (id.isString()) ids.push_back(id.string());
        AssetLibrary::copyAssets(ids, from.string(), here);
      }
    }
  } else if (!text->empty() && formatServices_) {
    xml = formatServices_->buildOPMLFromText(*text, true);
  }
  // Nothing to load: nothing changes and nothing is recorded.
  if (xml.empty()) return finish();

  // One undo step gives back the map as it was before the paste.
  if (parentController_) parentController_->pushUndoSnapshot();
  if (andFloat && rootNode_) setSelectedNode(rootNode_.get(), true);
  loadFromXML(xml, context);
  NodeView* p = lastLoadedRootNode_;
  if (!p) return finish();
  pasted = true;
  p->setIsFloating(andFloat, false);
  // A copied central topic brings its floating topics: like a copied floating topic, they paste
  // as ordinary children, as floating topics hang from the central topic alone.
  for (NodeView* n : p->getListOfDescendents())
    if (n != p) n->setIsFloating(false, false);
  if (!andFloat) {
    if (NodeView* parent = p->parentNode()) parent->recalcLayoutRecursively(false, true, true, false, false);
    p->recalcLayoutRecursively(true, true, false, false, false);
    if (relpos == 0) {
      rearrangeChildren(p, true);
    } else if (p->isLogicallyToRightOfRoot() != (relpos == 2)) {
      p->flipAboutYandRedraw(false);
    }
    if (!crosshair) p->makeSpace();
  } else {
    p->setIsCallout(false, false);
    p->recalcLayoutRecursively(true, true, false, false, false);
    if (!fromRecord) rearrangeChildren(p, true);
  }
  evaluateDisplayAttributesForSelectedBranchAndRedraw();
  return finish();
}

bool BigView::pasteImageAsTopic(bool andFloat, bool crosshair) {
  auto library = AssetLibrary::assetLibraryForMap(parentController_ ? parentController_->mapID() : std::string());
  if (!library) return false;
  auto id = library->saveClipboardAsAsset();
  if (!id || id->empty()) return false;
  const bool makesATopic = andFloat ? rootNode_ != nullptr : crosshair && selectedNode_;
  if (!makesATopic && !selectedNode_) return false;
  // Recorded only once something will change: a paste that loads nothing records nothing.
  if (parentController_) parentController_->pushUndoSnapshot();
  const kit::Point at = crosshairButton_ ? crosshairButton_->center() : bounds().mid();
  if (andFloat && rootNode_) {
    hideCrosshair();
    NodeView* n = createChildNodeOf(rootNode_.get(), at);
    n->setIsFloating(true, false);
  } else if (!andFloat && crosshair && selectedNode_) {
    hideCrosshair();
    NodeView* n = createChildNodeOf(selectedNode_, at);
    if (NodeView* parent = n->parentNode()) parent->recalcLayoutRecursively(false, true, true, false, false);
  }
  if (!selectedNode_) return false;
  selectedNode_->setImage(*id, true);
  selectedNode_->recalcLayoutRecursively(false, true, true, true, true);
  return true;
}

kit::Value BigView::clipboardTopicAttributes() {
  auto bytes = kit::Pasteboard::general().dataForPasteboardType(GlobalHelpers::kTopicAttributesPasteboardType);
  if (!bytes) return {};
  auto attributes = kit::plist::read(*bytes);
  if (!attributes || !attributes->isDictionary()) return {};
  return std::move(*attributes);
}

bool BigView::pasteStyleOnto(NodeView* topic, std::uint32_t mask, std::uint32_t scope) {
  kit::Value attributes = clipboardTopicAttributes();
  if (!topic || attributes.isNull()) return false;
  topic->copyAttributes(attributes, mask, scope, true);
  evaluateDisplayAttributesForSelectedBranchAndRedraw();
  return true;
}
