#include "editing/topic_attribute_picker.h"

#include "kit/core/localization.h"
#include "kit/core/undo_manager.h"
#include "model/node_view.h"

namespace {

struct Offer {
  std::uint32_t flag;
  const char* title;
  const char* keys[2];
};

// The order of the attribute dictionary's table.
constexpr Offer kOffers[] = {
    {NodeModTally::Colour, "Colour", {"_colour", nullptr}},
    {NodeModTally::Shape, "Shape", {"_shape", nullptr}},
    {NodeModTally::Boundary, "Boundary", {"_boundary", nullptr}},
    {NodeModTally::Callout, "Callout", {"_callout", nullptr}},
    {NodeModTally::FontSize, "Font Size", {"_fontSize", nullptr}},
    {NodeModTally::Width, "Width", {"_width", nullptr}},
    {NodeModTally::TextStyle, "Text Style", {"_textStyle", nullptr}},
    {NodeModTally::Progress, "Progress", {"_progress", nullptr}},
    {NodeModTally::StartDate, "Start Date", {"_startDate", nullptr}},
    {NodeModTally::DueDate, "Due Date", {"_dueDate", nullptr}},
    {NodeModTally::Effort, "Effort", {"_effort", nullptr}},
    {NodeModTally::Resources, "Resources", {"_resources", nullptr}},
    {NodeModTally::Icons, "Icons", {"_icon1", "_icon2"}},
};

const Offer* offerFor(std::uint32_t flag) {
  for (const Offer& o : kOffers)
    if (o.flag == flag) return &o;
  return nullptr;
}

struct ScopeRow {
  std::uint32_t bit;
  const char* title;
};
constexpr ScopeRow kScopeRows[] = {{0x4, "Siblings"}, {0x2, "Branch"}};

}  // namespace

TopicAttributePicker::TopicAttributePicker(kit::Value attribs, NodeView* node)
    : attribs_(std::move(attribs)), node_(node) {
  setTitle(kit::localizedString("Paste Style"));
  if (attribs_.isDictionary())
    for (const Offer& o : kOffers)
      for (const char* key : o.keys)
        if (key && attribs_.contains(key)) {
          offered_.push_back(o.flag);
          mask_ |= o.flag;
          break;
        }
  navigationItem().leftBarButtonItem = kit::BarButtonItem{kit::localizedString("Cancel"), nullptr, [this] { onCancel(); }};
  navigationItem().rightBarButtonItem = kit::BarButtonItem{kit::localizedString("Apply"), nullptr, [this] { onApply(); }};
}

int TopicAttributePicker::numberOfRowsInSection(kit::TableView&, int section) {
  return section == 0 ? static_cast<int>(offered_.size()) : static_cast<int>(std::size(kScopeRows));
}

std::optional<std::string> TopicAttributePicker::titleForHeaderInSection(kit::TableView&, int section) {
  return kit::localizedString(section == 0 ? "Attributes" : "Also Apply To");
}

std::unique_ptr<kit::TableViewCell> TopicAttributePicker::cellForRowAtIndexPath(kit::TableView& table,
                                                                              kit::IndexPath path) {
  std::unique_ptr<kit::TableViewCell> cell = table.dequeueReusableCellWithIdentifier("Cell");
  if (!cell) cell = std::make_unique<kit::TableViewCell>("Cell");
  std::string title;
  bool ticked = false;
  if (path.section == 0 && path.row >= 0 && static_cast<std::size_t>(path.row) < offered_.size()) {
    const std::uint32_t flag = offered_[static_cast<std::size_t>(path.row)];
    title = offerFor(flag)->title;
    ticked = (mask_ & flag) != 0;
  } else if (path.section == 1 && path.row >= 0 && static_cast<std::size_t>(path.row) < std::size(kScopeRows)) {
    title = kScopeRows[path.row].title;
    ticked = (scope_ & kScopeRows[path.row].bit) != 0;
  }
  cell->textLabel().setText(kit::localizedString(title));
  cell->setAccessoryType(ticked ? kit::TableViewCellAccessory::Checkmark : kit::TableViewCellAccessory::None);
  return cell;
}

void TopicAttributePicker::didSelectRowAtIndexPath(kit::TableView& table, kit::IndexPath path) {
  table.deselectRowAtIndexPath(path, true);
  if (path.section == 0 && static_cast<std::size_t>(path.row) < offered_.size())
    mask_ ^= offered_[static_cast<std::size_t>(path.row)];
  else if (path.section == 1 && static_cast<std::size_t>(path.row) < std::size(kScopeRows))
    scope_ ^= kScopeRows[path.row].bit;
  else
    return;
  // Only the tapped row changes: no reload, which would end the touch's row.
  bool ticked = path.section == 0 ? (mask_ & offered_[static_cast<std::size_t>(path.row)]) != 0
                                  : (scope_ & kScopeRows[path.row].bit) != 0;
  if (kit::TableViewCell* cell = table.cellForRowAtIndexPath(path))
    cell->setAccessoryType(ticked ? kit::TableViewCellAccessory::Checkmark : kit::TableViewCellAccessory::None);
}

void TopicAttributePicker::onApply() {
  if (node_ && mask_ != 0) {
    kit::UndoManager* undo = node_->parentController() ? node_->parentController()->undoManager() : nullptr;
    if (undo) undo->beginUndoGrouping();
    node_->copyAttributes(attribs_, mask_, scope_, true);
    if (undo) undo->endUndoGrouping();
    // The changed topics measure and draw again; with siblings, the whole family.
    NodeView* top = (scope_ & 0x4) && node_->parentNode() ? node_->parentNode() : node_;
    top->recalcLayoutRecursively(true, true, false, false, false);
    if (mask_ & NodeModTally::Boundary) node_->getRoot()->recalcBoundaries();
    top->setNeedsDisplayIfModified(true);
  }
  kit::ViewControllerDelegate* d = delegate_;
  std::unique_ptr<kit::ViewController> closed = close();
  if (d) d->onDone(*this, kit::Value());
  // closed may be this picker: it goes last.
}

void TopicAttributePicker::onCancel() {
  kit::ViewControllerDelegate* d = delegate_;
  std::unique_ptr<kit::ViewController> closed = close();
  if (d) d->onCancel(*this, kit::Value());
}

std::unique_ptr<kit::ViewController> TopicAttributePicker::close() {
  // Nobody else closes the chooser once the canvas has pushed it.
  if (kit::NavigationController* nav = navigationController(); nav && nav->topViewController() == this)
    return nav->popViewControllerAnimated(true);
  return nullptr;
}
