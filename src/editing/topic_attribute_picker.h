// The Paste Style chooser: the attributes of a copied topic, each ticked to apply or not, and
// whether they also go to the topic's siblings and branch. "Apply" applies the ticked ones to the
// topic as one undo step and closes the chooser; "Cancel" closes it. Both also tell the delegate,
// when one is set.
//
// The chooser covers the map while it is open, so the topic cannot be deleted meanwhile.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kit/core/value.h"
#include "kit/ui/table_view.h"

class NodeView;

class TopicAttributePicker : public kit::TableViewController {
 public:
  // attribs: a topic attribute dictionary (a pasted record: any shape); node: the receiver.
  TopicAttributePicker(kit::Value attribs, NodeView* node);

  // The attribute bits the record offers, in the order shown, and those ticked now.
  const std::vector<std::uint32_t>& offeredFlags() const { return offered_; }
  std::uint32_t mask() const { return mask_; }
  // Scope bits of copyAttributes: 0x4 siblings, 0x2 branch.
  std::uint32_t scope() const { return scope_; }
  kit::ViewControllerDelegate* viewControllerDelegate() const { return delegate_; }
  void setViewControllerDelegate(kit::ViewControllerDelegate* d) { delegate_ = d; }

  void onApply();
  void onCancel();

  int numberOfSectionsInTableView(kit::TableView&) override { return 2; }
  int numberOfRowsInSection(kit::TableView&, int section) override;
  std::unique_ptr<kit::TableViewCell> cellForRowAtIndexPath(kit::TableView& table, kit::IndexPath path) override;
  void didSelectRowAtIndexPath(kit::TableView& table, kit::IndexPath path) override;
  std::optional<std::string> titleForHeaderInSection(kit::TableView&, int section) override;

 private:
  // Off the navigation stack when on top of it: the caller holds what was taken off.
  std::unique_ptr<kit::ViewController> close();
  kit::Value attribs_;
  NodeView* node_;
  std::vector<std::uint32_t> offered_;
  std::uint32_t mask_ = 0;
  std::uint32_t scope_ = 0;
  kit::ViewControllerDelegate* delegate_ = nullptr;
};
