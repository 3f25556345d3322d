// Building parsed records into the canvas: every topic through the canvas's createChildNodeOf,
// then the relationships and the folds.
#include <cmath>
#include <memory_resource>
#include <optional>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "formats/map_formats.h"
#include "kit/ui/alert.h"
#include "model/app_services.h"
#include "model/node_view.h"
#include "model/relationship_view.h"

namespace MapFormats {

namespace {

// Spacing of topics that arrive without positions (OPML, outlines): one row per leaf, one
// column per level. The automatic layout tidies them afterwards.
constexpr float kRowHeight = 40;
constexpr float kColumnWidth = 200;
constexpr RGB255 kRelationshipGreen{0, 255, 0};

kit::Point rounded(kit::Point p) { return kit::Point(kit::roundHalfEven(p.x), kit::roundHalfEven(p.y)); }

// Keyed by views into the topics' own uuid strings and the records' (neither changes while a
// build runs), so that filling the maps copies no text; their nodes come from one arena.
using UuidIndex = std::pmr::unordered_map<std::string_view, NodeView*>;

void collectUuids(NodeView* root, UuidIndex& into) {
  if (!root) return;
  for (NodeView* n : root->getListOfDescendents()) into.emplace(n->uuid(), n);
}

class Builder {
 public:
  // With `movable` (the same map, given up by the caller) the topics take the records' texts
  // instead of copies.
  Builder(BigView& canvas, const ParsedMap& map, ParsedMap* movable, int context)
      : canvas_(canvas), map_(map), movable_(movable), context_(context) {}

  NodeView* run() {
    const auto& records = map_.topics;
    const std::size_t count = records.size();
    built_.assign(count, nullptr);
    prepareFallbackLayout();
    existing_.reserve(count + (canvas_.rootNode() ? 1024 : 0));
    collectUuids(canvas_.rootNode(), existing_);

    kit::LockGuard guard(AppServices::globalTreeLock());
    NodeView* top = createTop(records[0]);
    for (std::size_t i = 1; i < count; ++i) {
      const TopicRecord& r = records[i];
      // The reader guarantees parents come first; anything else is treated as under the top.
      const std::size_t p = parentOf(i);
      NodeView* parent = built_[p];
      kit::Point at = r.position ? rounded(kit::Point(r.position->x + offset_.x, r.position->y + offset_.y))
                                 : fallbackPosition(p, i);
      // Made as loaded topics: with their identity, unselected and evaluated together at the
      // end. Only the last is selected on the way, as making each in turn would leave it.
      const auto kept = keepIdentity(r);
      NodeView* n = canvas_.createLoadedChildOf(parent, at, kept ? r.uuid : std::string());
      if (kept) (*kept)->second = n;
      if (i + 1 == count) canvas_.setSelectedNode(n, false);
      direction_[i] = n->center().x < parent->center().x ? -1 : 1;
      built_[i] = n;
      apply(i, n);
    }
    buildRelationships();
    // Folding needs the children in place, so it comes last.
    foldRecorded();
    top->evaluateDisplayAttributes(true);
    canvas_.setSelectedNode(top, false);
    canvas_.setLastLoadedRootNode(top);
    canvas_.setFileFormat(map_.fileFormat);
    return top;
  }

 private:
  NodeView* createTop(const TopicRecord& r) {
    NodeView* parent = canvas_.selectedNode() ? canvas_.selectedNode() : canvas_.rootNode();
    kit::View* crosshair = canvas_.crosshairButton();
    NodeView* top;
    if (crosshair && canvas_.isCrosshairShown()) {
      crosshair->setAlpha(0);
      top = canvas_.createChildNodeOf(parent, crosshair->center());
    } else if (!parent) {
      top = canvas_.createChildNodeOf(nullptr, kit::Point());
      if (r.position) top->setCenter(rounded(*r.position));  // a whole map keeps its place
    } else {
      int side = context_ == LoadContext::Left ? Side::Left : context_ == LoadContext::Right ? Side::Right : Side::Automatic;
      top = canvas_.createChildNodeOf(parent, side);
    }
    if (r.position) offset_ = kit::Point(top->center().x - r.position->x, top->center().y - r.position->y);
    direction_[0] = (top->parentNode() && top->center().x < top->parentNode()->center().x) ? -1 : 1;
    built_[0] = top;
    if (const auto kept = keepIdentity(r)) {
      top->setUuid(r.uuid);
      (*kept)->second = top;
    }
    apply(0, top);
    return top;
  }

  void prepareFallbackLayout() {
    const auto& records = map_.topics;
    leaves_.assign(records.size(), 0);
    for (std::size_t i = records.size(); i-- > 0;) {
      if (leaves_[i] < 1) leaves_[i] = 1;
      const int p = records[i].parent;
      if (p >= 0 && static_cast<std::size_t>(p) < i) leaves_[static_cast<std::size_t>(p)] += leaves_[i];
    }
    nextY_.assign(records.size(), NAN);
    direction_.assign(records.size(), 1);
  }

  // Children stacked beside their parent, each branch as tall as its leaves.
  kit::Point fallbackPosition(std::size_t parent, std::size_t child) {
    NodeView* p = built_[parent];
    if (std::isnan(nextY_[parent])) nextY_[parent] = p->center().y - leaves_[parent] * kRowHeight / 2;
    const float y = nextY_[parent] + leaves_[child] * kRowHeight / 2;
    nextY_[parent] += leaves_[child] * kRowHeight;
    return rounded(kit::Point(p->center().x + direction_[parent] * kColumnWidth, y));
  }

  // A recorded identity is kept unless another topic already has it; a pasted one ("_uuid")
  // only links the relationships of this load. The kept one is claimed here, for the topic about
  // to be made. New identities are random and so never met again: they are not listed.
  std::optional<UuidIndex::iterator> keepIdentity(const TopicRecord& r) {
    if (!r.keepUuid || r.uuid.empty()) return std::nullopt;
    auto [it, fresh] = existing_.try_emplace(r.uuid, nullptr);
    if (!fresh) return std::nullopt;
    return it;
  }

  void apply(std::size_t index, NodeView* n) {
    const TopicRecord& r = map_.topics[index];
    TopicRecord* own = movable_ ? &movable_->topics[index] : nullptr;
    // The uuid stays: the indexes hold views of it until the build ends.
    auto give = [&r, own](auto TopicRecord::*field) {
      using T = std::remove_cvref_t<decltype(r.*field)>;
      return own ? T(std::move(own->*field)) : T(r.*field);
    };
    const TopicDetails* d = r.details.get();
    TopicDetails* ownDetails = own ? own->details.get() : nullptr;
    auto giveDetail = [d, ownDetails](auto TopicDetails::*field) {
      using T = std::remove_cvref_t<decltype(d->*field)>;
      return ownDetails ? T(std::move(ownDetails->*field)) : T(d->*field);
    };

    n->setIsCallout(r.callout, false);
    n->setIsFloating(r.floating, false);
    n->setStrName(give(&TopicRecord::text));
    n->setStrNote(give(&TopicRecord::note));
    n->setStrLink(give(&TopicRecord::link));
    // A new topic has none of the details: only those read are set.
    if (d) {
      n->setStrReferenceID(giveDetail(&TopicDetails::referenceID));
      n->setStrIcon1(giveDetail(&TopicDetails::icon1));
      n->setStrIcon2(giveDetail(&TopicDetails::icon2));
      // The image comes from the open map's asset library; a missing asset leaves no image.
      if (d->imageID) n->setImage(d->imageID, false);
    }
    if (r.colour) n->setColourWithRGB255(*r.colour, false, false);
    if (r.shape != 99) n->setShape(r.shape, false, false);
    if (r.width != 0) n->setWidth(r.width, false, false);
    if (r.fontSize != 0) n->setFontSize(r.fontSize, false, false);
    if (r.textStyle != 0) n->setTextStyle(r.textStyle, false, false);
    if (r.boundary) n->setHasBoundary(true, false);
    if (d) {
      n->setStartDate(d->startDate);
      n->setDueDate(d->dueDate);
    }
    n->setPercentComplete(r.percentComplete);
    if (d) n->set_effort(giveDetail(&TopicDetails::effort));
    n->setIsRollupTask(r.rollup, false);
    if (d && !d->resources.empty()) n->set_resources(giveDetail(&TopicDetails::resources));
    if (r.folded) toFold_.push_back(index);
  }

  // Every flag first, then each outermost folded branch is hidden once, with its place in a
  // folded branch passed down the records (parents come first): folding topic by topic would
  // walk up to the root and down through each branch again.
  void foldRecorded() {
    if (toFold_.empty()) return;
    const std::size_t count = built_.size();
    std::vector<char> changed(count, 0), hidden(count, 0), covered(count, 0);
    for (std::size_t i : toFold_) changed[i] = built_[i]->setFoldedWithoutVisibility(true) ? 1 : 0;
    hidden[0] = built_[0]->isOnFoldedBranch() ? 1 : 0;
    for (std::size_t i = 1; i < count; ++i) {
      const std::size_t p = parentOf(i);
      const NodeView* n = built_[i];
      hidden[i] = n->isFloating() ? 0 : (n->isCallout() ? hidden[p] : (hidden[p] || built_[p]->isFolded()));
      covered[i] = covered[p] || changed[p];
    }
    for (std::size_t i : toFold_)
      if (changed[i] && !covered[i]) built_[i]->_recursivelyUpdateVisiblity(hidden[i] != 0);
  }

  std::size_t parentOf(std::size_t i) const {
    const int p = map_.topics[i].parent;
    return (p >= 0 && static_cast<std::size_t>(p) < i) ? static_cast<std::size_t>(p) : 0;
  }

  NodeView* end(const std::string& uuid) {
    if (auto it = loaded_.find(uuid); it != loaded_.end()) return it->second;
    if (auto it = existing_.find(uuid); it != existing_.end()) return it->second;
    return nullptr;
  }

  void buildRelationships() {
    if (map_.relationships.empty()) return;
    // Only relationships look topics up by their recorded uuid; the first record of a uuid wins.
    loaded_.reserve(built_.size());
    for (std::size_t i = 0; i < built_.size(); ++i)
      if (!map_.topics[i].uuid.empty()) loaded_.emplace(map_.topics[i].uuid, built_[i]);
    std::unordered_set<std::string> used;
    for (const RelationshipPtr& r : canvas_.relationships())
      if (r) used.insert(r->uuid());
    for (const RelationshipRecord& rec : map_.relationships) {
      NodeView* a = end(rec.from);
      NodeView* b = end(rec.to);
      if (!a || !b || a == b) continue;
      RelationshipView* r = canvas_.createRelationshipBetweenNode(a, rec.fromEnd, b, rec.toEnd,
                                                                  rec.offset.value_or(kit::Point()),
                                                                  rec.colour.value_or(kRelationshipGreen));
      if (!r) continue;
      if (rec.keepUuid && !rec.uuid.empty() && !used.count(rec.uuid)) r->setUuid(rec.uuid);
      used.insert(r->uuid());
    }
  }

  BigView& canvas_;
  const ParsedMap& map_;
  ParsedMap* movable_;
  int context_;
  std::vector<NodeView*> built_;
  std::vector<int> leaves_;  // leaves of each branch: a parent's are its children's
  std::vector<float> nextY_;
  std::vector<int> direction_;
  kit::Point offset_;
  std::pmr::monotonic_buffer_resource arena_;
  UuidIndex existing_{&arena_};  // every uuid now on the canvas
  UuidIndex loaded_{&arena_};    // recorded uuid -> topic built for it
  std::vector<std::size_t> toFold_;  // records, in document order
};

}  // namespace

NodeView* buildMap(BigView& canvas, const ParsedMap& map, int context) {
  canvas.setLastLoadedRootNode(nullptr);
  if (map.topics.empty()) return nullptr;
  return Builder(canvas, map, nullptr, context).run();
}

NodeView* buildMap(BigView& canvas, ParsedMap&& map, int context) {
  canvas.setLastLoadedRootNode(nullptr);
  if (map.topics.empty()) return nullptr;
  return Builder(canvas, map, &map, context).run();
}

void showLoadAlert(const std::string& error) {
  kit::Alert::show(kLoadErrorTitle, "The map could not be read because " + error + ".");
}

NodeView* loadFromXML(BigView& canvas, std::string_view xml, int context) {
  canvas.setLastLoadedRootNode(nullptr);
  ParseResult parsed = parseMapXML(xml);
  if (!parsed.map) {
    showLoadAlert(parsed.error);
    return nullptr;
  }
  return buildMap(canvas, std::move(*parsed.map), context);
}

}  // namespace MapFormats
