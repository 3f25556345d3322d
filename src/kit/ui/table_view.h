// A scrolling list of sections and rows. The data source hands out cells, the table keeps those
// shown and queues the rest by reuse identifier; a tap on a row selects it and tells the delegate.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kit/ui/controls.h"
#include "kit/ui/scroll_view.h"
#include "kit/ui/view_controller.h"

namespace kit {

struct IndexPath {
  int section = 0;
  int row = 0;
  friend bool operator==(const IndexPath&, const IndexPath&) = default;
};

// Numbered as the platform numbers them (stored lists keep the numbers).
enum class TableViewCellAccessory { None = 0, DisclosureIndicator = 1, DetailDisclosureButton = 2, Checkmark = 3 };
enum class TableViewCellSelectionStyle { None = 0, Blue = 1, Gray = 2 };

class TableViewCell : public View {
 public:
  static constexpr Float kImageWidth = 44;

  explicit TableViewCell(std::string reuseIdentifier = {});
  const std::string& reuseIdentifier() const { return reuseIdentifier_; }

  // The default style's parts: an image at the left, one label beside it.
  Label& textLabel() { return textLabel_; }
  ImageView& imageView() { return imageView_; }
  // Custom subviews go here; it spans the cell left of the accessory.
  View& contentView() { return contentView_; }
  // Shown behind the content when set; the cell's own background otherwise.
  View* backgroundView() const { return backgroundView_.get(); }
  void setBackgroundView(std::unique_ptr<View> v);

  TableViewCellAccessory accessoryType() const { return accessory_; }
  // Numbers outside the known types show no accessory.
  void setAccessoryType(TableViewCellAccessory a);
  TableViewCellSelectionStyle selectionStyle() const { return selectionStyle_; }
  void setSelectionStyle(TableViewCellSelectionStyle s) { selectionStyle_ = s; setNeedsDisplay(); }

  bool isSelected() const { return selected_; }
  virtual void setSelected(bool selected, bool animated);
  bool isHighlighted() const { return highlighted_; }
  virtual void setHighlighted(bool highlighted, bool animated);

  // Places the image, label and content view in the bounds; subclasses place their own views.
  virtual void layoutSubviews();
  // Called when the table takes the cell from the reuse queue.
  virtual void prepareForReuse();
  void drawRect(GraphicsContext& ctx, const Rect& rect) override;

 private:
  void updateLabelColours();
  std::string reuseIdentifier_;
  View contentView_;
  ImageView imageView_;
  Label textLabel_;
  std::unique_ptr<View> backgroundView_;
  TableViewCellAccessory accessory_ = TableViewCellAccessory::None;
  TableViewCellSelectionStyle selectionStyle_ = TableViewCellSelectionStyle::Blue;
  bool selected_ = false;
  bool highlighted_ = false;
};

class TableView;

class TableViewDataSource {
 public:
  virtual ~TableViewDataSource() = default;
  virtual int numberOfSectionsInTableView(TableView&) { return 1; }
  virtual int numberOfRowsInSection(TableView&, int section) = 0;
  // nullptr gives an empty cell.
  virtual std::unique_ptr<TableViewCell> cellForRowAtIndexPath(TableView&, IndexPath path) = 0;
  virtual std::optional<std::string> titleForHeaderInSection(TableView&, int) { return std::nullopt; }
};

class TableViewDelegate {
 public:
  virtual ~TableViewDelegate() = default;
  virtual void didSelectRowAtIndexPath(TableView&, IndexPath) {}
  // nullopt: the table's rowHeight.
  virtual std::optional<Float> heightForRowAtIndexPath(TableView&, IndexPath) { return std::nullopt; }
};

class TableView : public ScrollView {
 public:
  static constexpr Float kDefaultRowHeight = 44;
  static constexpr Float kSectionHeaderHeight = 22;

  explicit TableView(const Rect& frame);
  ~TableView() override;

  TableViewDataSource* dataSource() const { return dataSource_; }
  void setDataSource(TableViewDataSource* d) { dataSource_ = d; }
  TableViewDelegate* delegate() const { return delegate_; }
  void setDelegate(TableViewDelegate* d) { delegate_ = d; }
  Float rowHeight() const { return rowHeight_; }
  void setRowHeight(Float h) { rowHeight_ = h > 0 ? h : kDefaultRowHeight; }

  // Asks the data source again for everything; the cells shown go to the reuse queue first.
  void reloadData();
  // A queued cell of that identifier (prepared for reuse), or nullptr.
  std::unique_ptr<TableViewCell> dequeueReusableCellWithIdentifier(const std::string& identifier);

  int numberOfSections() const { return static_cast<int>(sections_.size()); }
  int numberOfRowsInSection(int section) const;
  // Headers and rows, in points.
  Float contentHeight() const { return contentSize().height; }
  TableViewCell* cellForRowAtIndexPath(IndexPath path) const;
  Rect rectForRowAtIndexPath(IndexPath path) const;
  std::optional<IndexPath> indexPathForRowAtPoint(Point p) const;
  std::optional<IndexPath> indexPathForSelectedRow() const { return selected_; }
  void selectRowAtIndexPath(std::optional<IndexPath> path, bool animated);
  void deselectRowAtIndexPath(IndexPath path, bool animated);

  void touchesBegan(const TouchSet& touches, const Event& event) override;
  void touchesMoved(const TouchSet& touches, const Event& event) override;
  void touchesEnded(const TouchSet& touches, const Event& event) override;
  void touchesCancelled(const TouchSet& touches, const Event& event) override;
  void drawRect(GraphicsContext& ctx, const Rect& rect) override;

 private:
  struct Section {
    std::optional<std::string> header;
    Float top = 0;
    std::vector<Float> rowTops, rowHeights;
    std::vector<std::unique_ptr<TableViewCell>> cells;
  };
  class Headers;
  void unhighlight();
  TableViewDataSource* dataSource_ = nullptr;
  TableViewDelegate* delegate_ = nullptr;
  Float rowHeight_ = kDefaultRowHeight;
  View content_;
  std::unique_ptr<Headers> headers_;
  std::vector<Section> sections_;
  std::multimap<std::string, std::unique_ptr<TableViewCell>> queue_;
  std::optional<IndexPath> selected_, pressed_;
};

// A screen whose view is a table, with itself as data source and delegate.
class TableViewController : public ViewController, public TableViewDataSource, public TableViewDelegate {
 public:
  TableView& tableView();
  void viewDidAppear(bool animated) override;

 protected:
  std::unique_ptr<View> loadView() override;

 private:
  TableView* table_ = nullptr;
  bool loadedOnce_ = false;
};

}  // namespace kit
