#include "kit/ui/table_view.h"

#include <algorithm>
#include <cmath>

#include "kit/graphics/context.h"
#include "kit/typography/font.h"
#include "kit/typography/string_drawing.h"
#include "kit/ui/window.h"

namespace kit {

namespace {
const Color kSelectionTop(0.02f, 0.55f, 0.96f);
const Color kSelectionBottom(0.0f, 0.37f, 0.89f);
const Color kSeparator = Color::gray(0.88f);
constexpr Float kAccessoryWidth = 30;

// A ">" of the given half width and half height about c.
void strokeChevron(GraphicsContext& ctx, Point c, Float dx, Float dy, const Color& colour) {
  ctx.setStrokeColor(colour);
  ctx.setLineWidth(3);
  ctx.beginPath();
  ctx.moveTo(Point(c.x - dx, c.y - dy));
  ctx.addLineTo(Point(c.x + dx, c.y));
  ctx.addLineTo(Point(c.x - dx, c.y + dy));
  ctx.strokePath();
}

void drawAccessory(GraphicsContext& ctx, TableViewCellAccessory a, const Rect& box, bool inverted) {
  const Point c(box.midX(), box.midY());
  ctx.saveGState();
  ctx.setLineCap(LineCap::Round);
  ctx.setLineJoin(LineJoin::Round);
  switch (a) {
    case TableViewCellAccessory::DisclosureIndicator:
      strokeChevron(ctx, c, 3, 6, inverted ? Color::white() : Color::gray(0.5f));
      break;
    case TableViewCellAccessory::DetailDisclosureButton: {
      const Rect disc(c.x - 12, c.y - 12, 24, 24);
      ctx.saveGState();
      ctx.setShadow(Size(0, 1), 1.5f, Color::black(0.35f));
      ctx.setFillColor(Color::white());
      ctx.fillEllipseInRect(disc);
      ctx.restoreGState();
      ctx.beginPath();
      ctx.addEllipseInRect(disc.insetBy(2, 2));
      ctx.clip();
      ctx.drawLinearGradient({{0, Color(0.33f, 0.6f, 1.0f)}, {1, Color(0.1f, 0.35f, 0.85f)}}, Point(0, disc.minY()),
                             Point(0, disc.maxY()));
      strokeChevron(ctx, c, 2.5f, 5, Color::white());
      break;
    }
    case TableViewCellAccessory::Checkmark:
      ctx.setStrokeColor(inverted ? Color::white() : Color(0.2f, 0.31f, 0.52f));
      ctx.setLineWidth(3);
      ctx.beginPath();
      ctx.moveTo(Point(c.x - 7, c.y + 1));
      ctx.addLineTo(Point(c.x - 2, c.y + 6));
      ctx.addLineTo(Point(c.x + 7, c.y - 7));
      ctx.strokePath();
      break;
    case TableViewCellAccessory::None:
      break;
  }
  ctx.restoreGState();
}
}  // namespace

// ---- TableViewCell --------------------------------------------------------------------------------

TableViewCell::TableViewCell(std::string reuseIdentifier)
    : View(Rect(0, 0, 320, TableView::kDefaultRowHeight)), reuseIdentifier_(std::move(reuseIdentifier)) {
  setBackgroundColor(Color::white());
  contentView_.setOpaque(false);
  textLabel_.setFont(Font::boldSystemFont(20));
  addSubview(&contentView_);
  contentView_.addSubview(&imageView_);
  contentView_.addSubview(&textLabel_);
  layoutSubviews();
}

void TableViewCell::setBackgroundView(std::unique_ptr<View> v) {
  if (backgroundView_) backgroundView_->removeFromSuperview();
  backgroundView_ = std::move(v);
  if (backgroundView_) insertSubview(backgroundView_.get(), 0);
  layoutSubviews();
}

void TableViewCell::setAccessoryType(TableViewCellAccessory a) {
  const int n = static_cast<int>(a);
  accessory_ = n >= 0 && n <= 3 ? a : TableViewCellAccessory::None;
  layoutSubviews();
  setNeedsDisplay();
}

void TableViewCell::layoutSubviews() {
  const Rect b = bounds();
  if (backgroundView_) backgroundView_->setFrame(b);
  const Float right = accessory_ == TableViewCellAccessory::None ? 0 : kAccessoryWidth;
  contentView_.setFrame(Rect(b.minX(), b.minY(), std::max<Float>(0, b.width() - right), b.height()));
  const Rect c = contentView_.bounds();
  Float x = 10;
  if (imageView_.image()) {
    imageView_.setFrame(Rect(c.minX(), c.minY(), kImageWidth, c.height()));
    x = kImageWidth + 6;
  } else {
    imageView_.setFrame(Rect());
  }
  textLabel_.setFrame(Rect(c.minX() + x, c.minY(), std::max<Float>(0, c.width() - x - 10), c.height()));
}

void TableViewCell::prepareForReuse() {
  setSelected(false, false);
  setHighlighted(false, false);
}

void TableViewCell::updateLabelColours() {
  const bool inverted = (selected_ || highlighted_) && selectionStyle_ != TableViewCellSelectionStyle::None;
  textLabel_.setTextColor(inverted ? Color::white() : Color::black());
}

void TableViewCell::setSelected(bool selected, bool) {
  selected_ = selected;
  updateLabelColours();
  setNeedsDisplay();
}

void TableViewCell::setHighlighted(bool highlighted, bool) {
  highlighted_ = highlighted;
  updateLabelColours();
  setNeedsDisplay();
}

void TableViewCell::drawRect(GraphicsContext& ctx, const Rect&) {
  const Rect b = bounds();
  const bool inverted = (selected_ || highlighted_) && selectionStyle_ != TableViewCellSelectionStyle::None;
  if (inverted) {
    const bool blue = selectionStyle_ == TableViewCellSelectionStyle::Blue;
    fillLinearGradient(ctx, b, blue ? kSelectionTop : Color::gray(0.75f), blue ? kSelectionBottom : Color::gray(0.55f),
                       Point(0, b.minY()), Point(0, b.maxY()));
  } else {
    ctx.setFillColor(kSeparator);
    ctx.fillRect(Rect(b.minX(), b.maxY() - 1, b.width(), 1));
  }
  drawAccessory(ctx, accessory_, Rect(b.maxX() - kAccessoryWidth - 4, b.minY(), kAccessoryWidth, b.height()), inverted);
}

// ---- TableView ------------------------------------------------------------------------------------

// Section headers drawn over the content.
class TableView::Headers : public View {
 public:
  explicit Headers(TableView& table) : table_(table) { setOpaque(false); setUserInteractionEnabled(false); }
  void drawRect(GraphicsContext& ctx, const Rect&) override {
    const Font font = Font::boldSystemFont(17);
    for (const Section& s : table_.sections_) {
      if (!s.header) continue;
      const Rect r(0, s.top, bounds().width(), kSectionHeaderHeight);
      fillLinearGradient(ctx, r, Color(0.56f, 0.6f, 0.66f), Color(0.72f, 0.75f, 0.78f), Point(0, r.minY()),
                         Point(0, r.maxY()));
      ctx.setFillColor(Color::white());
      drawInRect(ctx, *s.header, Rect(12, r.minY() + 1, r.width() - 24, kSectionHeaderHeight), font,
                 LineBreakMode::TailTruncation);
    }
  }

 private:
  TableView& table_;
};

TableView::TableView(const Rect& frame) : ScrollView(frame), headers_(std::make_unique<Headers>(*this)) {
  setBackgroundColor(Color::white());
  setClipsToBounds(true);
  content_.setOpaque(false);
  setContentView(&content_);
  content_.addSubview(headers_.get());
}

TableView::~TableView() {
  if (Window* w = window()) w->viewLeaving(*this);
  sections_.clear();
  queue_.clear();
}

int TableView::numberOfRowsInSection(int section) const {
  if (section < 0 || section >= numberOfSections()) return 0;
  return static_cast<int>(sections_[static_cast<std::size_t>(section)].cells.size());
}

void TableView::reloadData() {
  if (Window* w = window()) w->viewLeaving(content_);
  for (Section& s : sections_)
    for (auto& cell : s.cells) {
      if (!cell) continue;
      cell->removeFromSuperview();
      std::string id = cell->reuseIdentifier();
      if (!id.empty()) queue_.emplace(std::move(id), std::move(cell));
    }
  sections_.clear();
  selected_.reset();
  pressed_.reset();
  const Float width = bounds().width();
  Float y = 0;
  const int count = dataSource_ ? std::max(0, dataSource_->numberOfSectionsInTableView(*this)) : 0;
  for (int si = 0; si < count; ++si) {
    Section s;
    s.header = dataSource_->titleForHeaderInSection(*this, si);
    if (s.header && s.header->empty()) s.header.reset();
    s.top = y;
    if (s.header) y += kSectionHeaderHeight;
    sections_.push_back(std::move(s));
    const int rows = std::max(0, dataSource_->numberOfRowsInSection(*this, si));
    for (int r = 0; r < rows; ++r) {
      Section& sec = sections_.back();
      const IndexPath path{si, r};
      Float h = rowHeight_;
      if (delegate_)
        if (auto custom = delegate_->heightForRowAtIndexPath(*this, path); custom && *custom > 0 && std::isfinite(*custom))
          h = *custom;
      std::unique_ptr<TableViewCell> cell = dataSource_->cellForRowAtIndexPath(*this, path);
      if (!cell) cell = std::make_unique<TableViewCell>();
      cell->setFrame(Rect(0, y, width, h));
      cell->layoutSubviews();
      content_.insertSubviewBelow(cell.get(), headers_.get());
      sections_.back().rowTops.push_back(y);
      sec.rowHeights.push_back(h);
      sec.cells.push_back(std::move(cell));
      y += h;
    }
  }
  content_.setFrame(Rect(0, 0, width, y));
  headers_->setFrame(Rect(0, 0, width, y));
  headers_->setNeedsDisplay();
  setContentSize(Size(width, y));
  setContentOffset(Point(0, 0));
  setNeedsDisplay();
}

std::unique_ptr<TableViewCell> TableView::dequeueReusableCellWithIdentifier(const std::string& identifier) {
  auto it = queue_.find(identifier);
  if (it == queue_.end()) return nullptr;
  std::unique_ptr<TableViewCell> cell = std::move(it->second);
  queue_.erase(it);
  cell->prepareForReuse();
  return cell;
}

TableViewCell* TableView::cellForRowAtIndexPath(IndexPath path) const {
  if (path.row < 0 || path.row >= numberOfRowsInSection(path.section)) return nullptr;
  return sections_[static_cast<std::size_t>(path.section)].cells[static_cast<std::size_t>(path.row)].get();
}

Rect TableView::rectForRowAtIndexPath(IndexPath path) const {
  TableViewCell* cell = cellForRowAtIndexPath(path);
  return cell ? cell->frame() : Rect::zero();
}

std::optional<IndexPath> TableView::indexPathForRowAtPoint(Point p) const {
  for (std::size_t si = 0; si < sections_.size(); ++si) {
    const Section& s = sections_[si];
    for (std::size_t r = 0; r < s.rowTops.size(); ++r)
      if (p.y >= s.rowTops[r] && p.y < s.rowTops[r] + s.rowHeights[r] && p.x >= 0 && p.x < bounds().width())
        return IndexPath{static_cast<int>(si), static_cast<int>(r)};
  }
  return std::nullopt;
}

void TableView::selectRowAtIndexPath(std::optional<IndexPath> path, bool animated) {
  if (selected_)
    if (TableViewCell* c = cellForRowAtIndexPath(*selected_)) c->setSelected(false, animated);
  selected_.reset();
  if (!path) return;
  if (TableViewCell* c = cellForRowAtIndexPath(*path)) {
    c->setSelected(true, animated);
    selected_ = path;
  }
}

void TableView::deselectRowAtIndexPath(IndexPath path, bool animated) {
  if (TableViewCell* c = cellForRowAtIndexPath(path)) c->setSelected(false, animated);
  if (selected_ == path) selected_.reset();
}

void TableView::unhighlight() {
  if (pressed_)
    if (TableViewCell* c = cellForRowAtIndexPath(*pressed_)) c->setHighlighted(false, false);
  pressed_.reset();
}

void TableView::touchesBegan(const TouchSet& touches, const Event&) {
  unhighlight();
  if (touches.empty()) return;
  pressed_ = indexPathForRowAtPoint(touches.front()->locationInView(this));
  if (pressed_)
    if (TableViewCell* c = cellForRowAtIndexPath(*pressed_)) c->setHighlighted(true, false);
}

void TableView::touchesMoved(const TouchSet& touches, const Event&) {
  // A touch that wanders off its row (or becomes a drag) no longer picks it.
  if (!pressed_ || touches.empty()) return;
  if (touches.front()->tapCount() == 0 || indexPathForRowAtPoint(touches.front()->locationInView(this)) != pressed_)
    unhighlight();
}

void TableView::touchesEnded(const TouchSet& touches, const Event&) {
  if (!pressed_ || touches.empty()) return;
  const IndexPath path = *pressed_;
  const bool onRow = indexPathForRowAtPoint(touches.front()->locationInView(this)) == pressed_;
  unhighlight();
  if (!onRow) return;
  selectRowAtIndexPath(path, false);
  if (delegate_) delegate_->didSelectRowAtIndexPath(*this, path);  // may reload or destroy the table
}

void TableView::touchesCancelled(const TouchSet&, const Event&) { unhighlight(); }

void TableView::drawRect(GraphicsContext& ctx, const Rect&) {
  // The rows draw their own separators; the empty space below them shows more, as a plain list
  // does.
  const Rect b = bounds();
  ctx.setFillColor(kSeparator);
  const Float end = contentSize().height;
  for (Float y = end + rowHeight_; y <= b.maxY(); y += rowHeight_) ctx.fillRect(Rect(b.minX(), y - 1, b.width(), 1));
}

// ---- TableViewController --------------------------------------------------------------------------

std::unique_ptr<View> TableViewController::loadView() {
  auto table = std::make_unique<TableView>(Rect(0, 0, 320, 416));
  table->setDataSource(this);
  table->setDelegate(this);
  table_ = table.get();
  return table;
}

TableView& TableViewController::tableView() {
  view();
  return *table_;
}

void TableViewController::viewDidAppear(bool animated) {
  ViewController::viewDidAppear(animated);
  if (!loadedOnce_) {
    loadedOnce_ = true;
    tableView().reloadData();
  }
}

}  // namespace kit
