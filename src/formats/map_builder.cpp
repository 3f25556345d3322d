// Building parsed records into the canvas: every topic through the canvas's createChildNodeOf,
// then the relationships and the folds.
#include <cmath>
#include <cstring>
#include <random>
#include <algorithm>
#include <optional>
#include <type_traits>
#include <unordered_set>
#include <utility>

#include "formats/map_formats.h"
#include "kit/ui/alert.h"
#include "model/app_services.h"
#include "model/node_view.h"
#include "model/relationship_view.h"

namespace MapFormats {

// Eight letters a step (identities are 36 letters long), keyed per process.
std::uint64_t identityHash(std::string_view key) {
  static const std::uint64_t seed = (std::uint64_t{std::random_device{}()} << 32) | std::random_device{}();
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
  std::uint64_t h = seed ^ key.size();
  std::size_t i = 0;
  for (; i + 8 <= key.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, key.data() + i, 8);
    h = (h ^ w) * kMultiplier;
    h ^= h >> 29;
  }
  std::uint64_t tail = 0;
  if (key.size() >= 8) {
    std::memcpy(&tail, key.data() + key.size() - 8, 8);  // the last eight, overlapping
  } else {
    for (; i < key.size(); ++i) tail = tail << 8 | static_cast<unsigned char>(key[i]);
  }
  h = (h ^ tail) * kMultiplier;
  return h ^ h >> 32;
}

namespace {

// Spacing of topics that arrive without positions (OPML, outlines): one row per leaf, one
// column per level. The automatic layout tidies them afterwards.
constexpr float kRowHeight = 40;
constexpr float kColumnWidth = 200;
constexpr RGB255 kRelationshipGreen{0, 255, 0};

kit::Point rounded(kit::Point p) { return kit::Point(kit::roundHalfEven(p.x), kit::roundHalfEven(p.y)); }

// Topics by uuid, keyed by views into the topics' own uuid strings or the records' (neither
// changes while a build runs), so that filling it copies no text. The open-addressed table holds
// only a part of each hash and an entry number, eight bytes a slot, so that it stays in the
// cache while each insert lands at random in it; the entries are appended in order.
class UuidIndex {
 public:
  void reserve(std::size_t count) {
    entries_.reserve(count);
    std::size_t capacity = 16;
    while (capacity < 2 * count) capacity *= 2;
    if (capacity > table_.size()) rehash(capacity);
  }
  // Adds the key unless it is present already; the topic it stands for is given by setTopic.
  // Returns the entry number and whether it was added.
  std::pair<std::size_t, bool> insert(std::string_view key) { return insert(key, identityHash(key)); }
  // The same with the key's identityHash, which the reader keeps with each record.
  std::pair<std::size_t, bool> insert(std::string_view key, std::uint64_t hash) {
    if (2 * (entries_.size() + 1) > table_.size()) rehash(std::max<std::size_t>(16, 2 * table_.size()));
    std::uint64_t& slot = table_[probe(key, hash)];
    if (slot != 0) return {entryOf(slot), false};
    entries_.push_back({key, nullptr});
    slot = (hash >> 32) << 32 | entries_.size();
    return {entries_.size() - 1, true};
  }
  // The key may be replaced by an equal view that lives as long as the build.
  void setTopic(std::size_t entry, std::string_view key, NodeView* topic) { entries_[entry] = {key, topic}; }
  NodeView* find(std::string_view key) const {
    if (table_.empty()) return nullptr;
    const std::uint64_t slot = table_[probe(key, identityHash(key))];
    return slot != 0 ? entries_[entryOf(slot)].topic : nullptr;
  }

 private:
  struct Entry {
    std::string_view key;
    NodeView* topic;
  };
  // A slot holds the hash's upper half and the entry number plus one; 0 is free.
  static std::size_t entryOf(std::uint64_t slot) { return (slot & 0xFFFFFFFFu) - 1; }
  // The slot holding the key, or the free one where it would go.
  std::size_t probe(std::string_view key, std::uint64_t hash) const {
    const std::size_t mask = table_.size() - 1;
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      const std::uint64_t s = table_[i];
      if (s == 0 || (static_cast<std::uint32_t>(s >> 32) == tag && entries_[entryOf(s)].key == key)) return i;
    }
  }
  void rehash(std::size_t capacity) {
    std::vector<std::uint64_t> table(capacity, 0);
    for (std::size_t n = 0; n < entries_.size(); ++n) {
      const std::uint64_t hash = identityHash(entries_[n].key);
      std::size_t i = hash & (capacity - 1);
      while (table[i] != 0) i = (i + 1) & (capacity - 1);
      table[i] = (hash >> 32) << 32 | (n + 1);
    }
    table_.swap(table);
  }
  std::vector<std::uint64_t> table_;  // 0 for a free slot
  std::vector<Entry> entries_;
};

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
    keptUuid_.assign(count, 0);
    direction_.assign(count, 1);
    const std::vector<NodeView*> present =
        canvas_.rootNode() ? canvas_.rootNode()->getListOfDescendents() : std::vector<NodeView*>();
    existing_.reserve(count + present.size());
    for (NodeView* n : present) {
      if (auto [entry, added] = existing_.insert(n->uuid()); added) existing_.setTopic(entry, n->uuid(), n);
    }

    // One pass over the records before any topic is made counts the children and claims the
    // identities: the table then stays in the cache, where claiming between the large topic
    // allocations would miss it every time.
    children_.assign(count, 0);
    claimed_.resize(count);
    bool unplaced = false;
    for (std::size_t i = 0; i < count; ++i) {
      if (i > 0) ++children_[parentOf(i)];
      claimed_[i] = keepIdentity(records[i]);
      unplaced = unplaced || !records[i].position;
    }
    if (unplaced) prepareFallbackLayout();

    kit::LockGuard guard(AppServices::globalTreeLock());
    NodeView* top = createTop(records[0]);
    for (std::size_t i = 1; i < count; ++i) {
      const TopicRecord& r = records[i];
      // The reader guarantees parents come first; anything else is treated as under the top.
      const std::size_t p = parentOf(i);
      NodeView* parent = built_[p];
      kit::Point at = r.position ? rounded(kit::Point(r.position->x + offset_.x, r.position->y + offset_.y))
                                 : fallbackPosition(p, i);
      // Made as loaded topics: with their identity, unselected, and evaluated here, parents
      // first, while each is still in the cache. Only the last is selected on the way, as
      // making each in turn would leave it.
      const std::optional<std::size_t> kept = claimed_[i];
      NodeView* n = canvas_.createLoadedChildOf(parent, at, kept ? recordField(i, &TopicRecord::uuid) : std::string(),
                                                static_cast<std::size_t>(children_[i]));
      if (kept) {
        existing_.setTopic(*kept, n->uuid(), n);
        keptUuid_[i] = 1;
      }
      if (i + 1 == count) canvas_.setSelectedNode(n, false);
      direction_[i] = n->center().x < parent->center().x ? -1 : 1;
      built_[i] = n;
      apply(i, n);
      n->evaluateDisplayAttributes(false);
    }
    buildRelationships();
    // Folding needs the children in place, so it comes last.
    foldRecorded();
    canvas_.setSelectedNode(top, false);
    canvas_.setLastLoadedRootNode(top);
    canvas_.setFileFormat(map_.fileFormat);
    return top;
  }

  void listUnplaced(std::vector<NodeView*>& out) const {
    for (std::size_t i = 0; i < built_.size(); ++i)
      if (!map_.topics[i].position) out.push_back(built_[i]);
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
    if (const std::optional<std::size_t> kept = claimed_[0]) {
      top->setUuid(r.uuid);
      existing_.setTopic(*kept, top->uuid(), top);
      keptUuid_[0] = 1;
    }
    apply(0, top);
    top->evaluateDisplayAttributes(false);
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
  // only links the relationships of this load. The kept one is claimed here, in document order,
  // its entry given the topic once made. New identities are random and so never met again: they are not listed.
  std::optional<std::size_t> keepIdentity(const TopicRecord& r) {
    if (!r.keepUuid || r.uuid.empty()) return std::nullopt;
    auto [entry, added] = existing_.insert(r.uuid, hashOf(r, r.uuid));
    if (!added) return std::nullopt;
    return entry;
  }

  // The hash of a record's identity (given as text: a kept one has moved to its topic), as the
  // reader kept it or, for records made elsewhere, made now.
  static std::uint64_t hashOf(const TopicRecord& r, std::string_view uuid) {
    return r.uuidHash ? r.uuidHash : identityHash(uuid);
  }

  // A record's field for its topic: taken over when the map was given up, else copied.
  template <typename T>
  T recordField(std::size_t index, T TopicRecord::*field) {
    return movable_ ? T(std::move(movable_->topics[index].*field)) : T(map_.topics[index].*field);
  }

  void apply(std::size_t index, NodeView* n) {
    const TopicRecord& r = map_.topics[index];
    TopicRecord* own = movable_ ? &movable_->topics[index] : nullptr;
    auto give = [this, index](auto TopicRecord::*field) { return recordField(index, field); };
    const TopicDetails* d = r.details.get();
    TopicDetails* ownDetails = own ? own->details.get() : nullptr;
    auto giveDetail = [d, ownDetails](auto TopicDetails::*field) {
      using T = std::remove_cvref_t<decltype(d->*field)>;
      return ownDetails ? T(std::move(ownDetails->*field)) : T(d->*field);
    };

    n->setIsCallout(r.callout, false);
    n->setIsFloating(r.floating, false);
    n->setStrName(give(&TopicRecord::text));
    // A new topic has none of the details: only those read are set.
    if (d) {
      n->setStrNote(giveDetail(&TopicDetails::note));
      n->setStrLink(giveDetail(&TopicDetails::link));
      n->setStrReferenceID(giveDetail(&TopicDetails::referenceID));
      n->setStrIcon1(giveDetail(&TopicDetails::icon1));
      n->setStrIcon2(giveDetail(&TopicDetails::icon2));
      // The image comes from the open map's asset library; a missing asset shows none but stays named.
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
    if (NodeView* n = loaded_.find(uuid)) return n;
    return existing_.find(uuid);
  }

  void buildRelationships() {
    if (map_.relationships.empty()) return;
    // Only relationships look topics up by their recorded uuid; the first record of a uuid wins.
    loaded_.reserve(built_.size());
    for (std::size_t i = 0; i < built_.size(); ++i) {
      // A kept uuid went to its topic, which holds the same text.
      const TopicRecord& r = map_.topics[i];
      const std::string_view uuid = keptUuid_[i] ? std::string_view(built_[i]->uuid()) : r.uuid;
      if (uuid.empty()) continue;
      if (auto [entry, added] = loaded_.insert(uuid, hashOf(r, uuid)); added)
        loaded_.setTopic(entry, uuid, built_[i]);
    }
    std::unordered_set<std::string> used;
    for (const RelationshipPtr& r : canvas_.relationships())
      if (r) used.insert(r->uuid());
    for (const RelationshipRecord& rec : map_.relationships) {
      NodeView* a = end(rec.from);
      NodeView* b = end(rec.to);
      if (!a || !b) continue;  // a topic related to itself is kept: it is drawn as a loop
      RelationshipView* r = canvas_.createRelationshipBetweenNode(a, rec.fromEnd, b, rec.toEnd,
                                                                  rec.offset.value_or(kit::Point()),
                                                                  rec.colour.value_or(kRelationshipGreen));
      if (!r) continue;
      // A zero offset asks the canvas for its best point; a recorded one is the user's and
      // stays, so that a map reads back as it was written.
      if (rec.offset && *rec.offset == kit::Point()) {
        kit::LockGuard guard(AppServices::globalTreeLock());
        r->setCenter(canvas_.adjustRelationshipControlPointForBounds(a->center()));
      }
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
  std::vector<int> children_;  // children of each record
  std::vector<float> nextY_;
  std::vector<int> direction_;
  kit::Point offset_;
  std::vector<std::optional<std::size_t>> claimed_;  // each record's claimed entry in existing_
  std::vector<char> keptUuid_;  // the topic took its record's uuid
  UuidIndex existing_;  // every uuid now on the canvas
  UuidIndex loaded_;    // recorded uuid -> topic built for it
  std::vector<std::size_t> toFold_;  // records, in document order
};

}  // namespace

NodeView* buildMap(BigView& canvas, const ParsedMap& map, int context) {
  canvas.setLastLoadedRootNode(nullptr);
  if (map.topics.empty()) return nullptr;
  return Builder(canvas, map, nullptr, context).run();
}

NodeView* buildMap(BigView& canvas, ParsedMap&& map, int context, std::vector<NodeView*>* unplaced) {
  canvas.setLastLoadedRootNode(nullptr);
  if (map.topics.empty()) return nullptr;
  Builder builder(canvas, map, &map, context);
  NodeView* top = builder.run();
  if (unplaced) builder.listUnplaced(*unplaced);
  return top;
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
