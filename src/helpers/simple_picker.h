// The generic single-choice list screen: one section of rows built from small dictionaries
// ("text", "image", "accessory", "checked"); a tapped row or the back button is reported to the
// opener through the done/cancel delegation. The picker never closes itself.
#pragma once

#include <optional>
#include <string>

#include "kit/core/value.h"
#include "kit/ui/table_view.h"

class SimplePicker : public kit::TableViewController {
 public:
  static constexpr kit::Float kPopoverWidth = 320;
  static constexpr kit::Float kMinimumPopoverHeight = 275;

  SimplePicker() = default;

  // The rows; entries that are not dictionaries show as empty rows.
  kit::Array& theData() { return theData_; }
  void setTheData(kit::Array rows) { theData_ = std::move(rows); }
  const std::optional<std::string>& header() const { return header_; }
  void setHeader(std::optional<std::string> h) { header_ = std::move(h); }
  int selectedRow() const { return selectedRow_; }
  bool hideBackButton() const { return hideBackButton_; }
  void setHideBackButton(bool h) { hideBackButton_ = h; }
  const kit::Value& userContext() const { return userContext_; }
  void setUserContext(kit::Value c) { userContext_ = std::move(c); }
  kit::ViewControllerDelegate* viewControllerDelegate() const { return delegate_; }
  void setViewControllerDelegate(kit::ViewControllerDelegate* d) { delegate_ = d; }

  void viewDidLoad() override;
  void viewDidAppear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  virtual void onCancel();
  bool shouldAutorotateToInterfaceOrientation(kit::InterfaceOrientation o) const override;

  int numberOfSectionsInTableView(kit::TableView&) override { return 1; }
  int numberOfRowsInSection(kit::TableView&, int section) override;
  std::unique_ptr<kit::TableViewCell> cellForRowAtIndexPath(kit::TableView& table, kit::IndexPath path) override;
  void didSelectRowAtIndexPath(kit::TableView& table, kit::IndexPath path) override;
  std::optional<std::string> titleForHeaderInSection(kit::TableView&, int) override { return header_; }

 protected:
  void setSelectedRow(int row) { selectedRow_ = row; }

 private:
  kit::Array theData_;
  std::optional<std::string> header_;
  int selectedRow_ = 0;
  bool hideBackButton_ = false;
  kit::Value userContext_;
  kit::ViewControllerDelegate* delegate_ = nullptr;
};
