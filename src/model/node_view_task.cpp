// Task data: dates, progress, effort and resources with their loadings.
#include <algorithm>

#include "helpers/global_helpers_effort.h"
#include "kit/text/charset.h"
#include "model/node_view.h"

namespace {

// Parts between every ";" and ",", trimmed of Unicode white space and line ends; empty parts kept.
std::vector<std::string> splitList(std::string_view s) {
  static const kit::CharacterSet blanks = kit::CharacterSet::whitespaceAndNewline();
  std::vector<std::string> parts;
  for (;;) {
    std::size_t sep = s.find_first_of(";,");
    parts.push_back(kit::trim(s.substr(0, sep), blanks));
    if (sep == std::string_view::npos) return parts;
    s.remove_prefix(sep + 1);
  }
}

const std::string& nameOf(const kit::Value& resource) { return resource["name"].string(); }

void sortByName(kit::Array& resources) {
  std::stable_sort(resources.begin(), resources.end(),
                   [](const kit::Value& a, const kit::Value& b) { return nameOf(a) < nameOf(b); });
}

kit::Value dateRecord(const std::string& uuid, const std::optional<kit::Date>& old) {
  kit::Value d(kit::Dictionary{{"uuid", uuid}});
  if (old) d.set("date", *old);
  return d;
}

}  // namespace

void NodeView::setStartDate(std::optional<kit::Date> date, bool withUndo) {
  if (date == startDate()) return;
  if (withUndo) pushUndo("topic-task-start", dateRecord(uuid_, startDate()));
  rareForWriting().startDate = date;
  nodeModTally_ |= NodeModTally::StartDate;
}

void NodeView::setDueDate(std::optional<kit::Date> date, bool withUndo) {
  if (date == dueDate()) return;
  if (withUndo) pushUndo("topic-task-due", dateRecord(uuid_, dueDate()));
  rareForWriting().dueDate = date;
  nodeModTally_ |= NodeModTally::DueDate;
}

void NodeView::setProgress(std::int32_t percent, bool withUndo) {
  if (percent == percentComplete_) return;
  if (withUndo) pushUndo("topic-task-progress", kit::Value(kit::Dictionary{{"uuid", uuid_}, {"progress", percentComplete_}}));
  percentComplete_ = percent;
  nodeModTally_ |= NodeModTally::Progress;
}

void NodeView::setEffort(std::optional<std::string> effort, bool withUndo) {
  // Settle "no effort" first, so that a zero effort over no effort is no change at all.
  if (effort && GlobalHelpers::getEffortMinutes(*effort) == 0) effort.reset();
  if (effort == rare().effort) return;
  if (withUndo)
    pushUndo("topic-task-effort", kit::Value(kit::Dictionary{{"uuid", uuid_}, {"effort", rare().effort.value_or(std::string())}}));
  rareForWriting().effort = std::move(effort);
  nodeModTally_ |= NodeModTally::Effort;
}

void NodeView::setResources(std::string_view names, std::string_view loadings) {
  kit::Array resources;
  for (std::string& name : splitList(names))
    if (!name.empty()) resources.emplace_back(kit::Dictionary{{"name", std::move(name)}});
  std::vector<std::string> loads = splitList(loadings);
  for (std::size_t i = 0; i < loads.size() && i < resources.size(); ++i) resources[i].set("loading", loads[i]);
  sortByName(resources);
  set_resources(std::move(resources));
}

// Nothing for no resources; a list of unnamed ones gives "".
std::optional<std::string> NodeView::getResourceNames() const {
  const kit::Array& resources = getResources();
  if (resources.empty()) return std::nullopt;
  std::string out;
  for (const kit::Value& r : resources) {
    const std::string& name = nameOf(r);
    if (name.empty()) continue;
    if (!out.empty()) out += ',';
    out += name;
  }
  return out;
}

std::optional<std::string> NodeView::getResourceLoadings() const {
  const kit::Array& resources = getResources();
  if (resources.empty()) return std::nullopt;
  std::string out;
  for (const kit::Value& r : resources) {
    if (nameOf(r).empty()) continue;
    const kit::Value& loading = r["loading"];
    if (!out.empty()) out += ',';
    out += loading.isString() && !loading.string().empty() ? loading.string() : std::string("100");
  }
  return out;
}

const kit::Value* NodeView::getResourceByName(std::string_view name) const {
  const kit::Value* found = nullptr;
  for (const kit::Value& r : getResources()) {
    if (!r["name"].isString() || nameOf(r) != name) continue;
    if (found) return nullptr;  // ambiguous
    found = &r;
  }
  return found;
}

void NodeView::addResource(const std::string& name, bool withUndo) {
  if (getResourceByName(name)) return;
  if (withUndo) pushUndo("topic-task-resource-remove", kit::Value(kit::Dictionary{{"uuid", uuid_}, {"name", name}}));
  kit::Array& resources = rareForWriting().resources;
  resources.emplace_back(kit::Dictionary{{"name", name}});
  nodeModTally_ |= NodeModTally::Resources;
  sortByName(resources);
}

void NodeView::removeResource(const std::string& name, bool recursively, bool withUndo) {
  std::vector<NodeView*> stack{this};
  while (!stack.empty()) {
    NodeView* n = stack.back();
    stack.pop_back();
    if (const kit::Value* r = n->getResourceByName(name)) {
      if (withUndo)
        n->pushUndo("topic-task-resource-add", kit::Value(kit::Dictionary{{"uuid", n->uuid_}, {"name", name}}));
      kit::Array& resources = n->rare_->resources;  // r points into it
      resources.erase(resources.begin() + (r - resources.data()));
      n->nodeModTally_ |= NodeModTally::Resources;
    }
    if (!recursively) break;
    for (auto it = n->childNodes_.rbegin(); it != n->childNodes_.rend(); ++it) stack.push_back(it->get());
  }
}

void NodeView::renameResourceFrom(const std::string& from, const std::string& to, bool recursively, bool withUndo) {
  std::vector<NodeView*> stack{this};
  while (!stack.empty()) {
    NodeView* n = stack.back();
    stack.pop_back();
    if (const kit::Value* r = n->getResourceByName(from)) {
      if (withUndo)
        n->pushUndo("topic-task-resource-rename",
                    kit::Value(kit::Dictionary{{"uuid", n->uuid_}, {"from", to}, {"to", from}}));
      kit::Array& resources = n->rare_->resources;  // r points into it
      resources[static_cast<std::size_t>(r - resources.data())].set("name", to);
      n->nodeModTally_ |= NodeModTally::Resources;
      sortByName(resources);
    }
    if (!recursively) break;
    for (auto it = n->childNodes_.rbegin(); it != n->childNodes_.rend(); ++it) stack.push_back(it->get());
  }
}

std::set<std::string> NodeView::getResourcesForBranch() const {
  std::set<std::string> names;
  std::vector<const NodeView*> stack{this};
  while (!stack.empty()) {
    const NodeView* n = stack.back();
    stack.pop_back();
    for (const kit::Value& r : n->getResources())
      if (!nameOf(r).empty()) names.insert(nameOf(r));
    for (const auto& c : n->childNodes_) stack.push_back(c.get());
  }
  return names;
}
