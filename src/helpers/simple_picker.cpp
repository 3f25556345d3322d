#include "helpers/simple_picker.h"

#include <algorithm>

#include "kit/core/localization.h"
#include "kit/graphics/image.h"

void SimplePicker::viewDidLoad() {
  kit::TableViewController::viewDidLoad();
  if (hideBackButton_) return;
  navigationItem().leftBarButtonItem =
      kit::BarButtonItem{std::nullopt, kit::imageNamed("back-button.png"), [this] { onCancel(); }};
}

void SimplePicker::viewDidAppear(bool animated) {
  kit::TableViewController::viewDidAppear(animated);
  setContentSizeForViewInPopover(kit::Size(kPopoverWidth, std::max(tableView().contentHeight(), kMinimumPopoverHeight)));
}

void SimplePicker::viewDidDisappear(bool animated) {
  kit::TableViewController::viewDidDisappear(animated);
  setContentSizeForViewInPopover(kit::Size(kPopoverWidth, 0));
}

void SimplePicker::onCancel() {
  if (delegate_) delegate_->onCancel(*this, kit::Value());
}

bool SimplePicker::shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) const {
  return o != kit::InterfaceOrientation::PortraitUpsideDown;
}

int SimplePicker::numberOfRowsInSection(kit::TableView&, int) { return static_cast<int>(theData_.size()); }

std::unique_ptr<kit::TableViewCell> SimplePicker::cellForRowAtIndexPath(kit::TableView& table, kit::IndexPath path) {
  std::unique_ptr<kit::TableViewCell> cell = table.dequeueReusableCellWithIdentifier("Cell");
  if (!cell) {
    cell = std::make_unique<kit::TableViewCell>("Cell");
    cell->textLabel().setAdjustsFontSizeToFitWidth(true);
  }
  static const kit::Value kNoRow;
  const kit::Value& row = path.row >= 0 && static_cast<std::size_t>(path.row) < theData_.size()
                              ? theData_[static_cast<std::size_t>(path.row)]
                              : kNoRow;
  // Rows may come from stored lists: a key of the wrong kind counts as absent.
  const kit::Value& text = row["text"];
  cell->textLabel().setText(text.isString() ? kit::localizedString(text.string()) : std::string());
  const kit::Value& image = row["image"];
  cell->imageView().setImage(image.isString() && !image.string().empty() ? kit::imageNamed(image.string()) : nullptr);
  const kit::Value& accessory = row["accessory"];
  const kit::Value& checked = row["checked"];
  if (accessory.isNumber())
    cell->setAccessoryType(static_cast<kit::TableViewCellAccessory>(std::clamp<std::int64_t>(accessory.integerValue(), -1, 4)));
  else
    cell->setAccessoryType(checked.isNumber() && checked.boolValue() ? kit::TableViewCellAccessory::Checkmark
                                                                      : kit::TableViewCellAccessory::None);
  cell->layoutSubviews();
  return cell;
}

void SimplePicker::didSelectRowAtIndexPath(kit::TableView& table, kit::IndexPath path) {
  table.deselectRowAtIndexPath(path, true);
  selectedRow_ = path.row;
  if (delegate_) delegate_->onDone(*this, kit::Value());
}
