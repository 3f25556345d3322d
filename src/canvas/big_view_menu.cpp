// The popup menu: which items show for the canvas's menu options, and the commands they run.
#include <algorithm>
#include <array>

#include "canvas/big_view.h"
#include "kit/core/run_loop.h"
#include "kit/core/undo_manager.h"
#include "kit/ui/menu_controller.h"
#include "kit/ui/view_animation.h"
#include "model/app_services.h"

namespace {

struct MenuEntry {
  std::uint32_t bit;
  const char* title;
  const char* action;
  void (BigView::*run)();
};

// In the order the items are added to the menu (not the order of the bits).
constexpr std::array<MenuEntry, 30> kMenu{{
    {MenuOption::Cut, "Cut", "_cut:", &BigView::_cut},
    {MenuOption::Copy, "Copy", "_copy:", &BigView::_copy},
    {MenuOption::Paste, "Paste", "_paste:", &BigView::_paste},
    {MenuOption::PasteStyle, "Paste Style", "_pasteStyle:", &BigView::_pasteStyle},
    {MenuOption::Delete, "Delete", "_delete:", &BigView::_delete},
    {MenuOption::Align, "Align", "align:", &BigView::align},
    {MenuOption::Justify, "Justify", "justify:", &BigView::justify},
    {MenuOption::Above, "Above", "above:", &BigView::above},
    {MenuOption::Below, "Below", "below:", &BigView::below},
    {MenuOption::AlignChildren, "Children", "children:", &BigView::children},
    {MenuOption::Move, "Move", "move:", &BigView::move},
    {MenuOption::Merge, "Merge", "merge:", &BigView::merge},
    {MenuOption::Float, "Float", "floattopic:", &BigView::floattopic},
    {MenuOption::FloatACopy, "Float a Copy", "copyandfloattopic:", &BigView::copyandfloattopic},
    {MenuOption::PasteAsFloating, "Paste as Floating", "pasteandfloattopic:", &BigView::pasteandfloattopic},
    {MenuOption::DeleteTopic, "Delete Topic", "deletetopic:", &BigView::deletetopic},
    {MenuOption::DeleteBranch, "Delete Branch", "deletebranch:", &BigView::deletebranch},
    {MenuOption::Show, "Show", "show:", &BigView::show},
    {MenuOption::Hide, "Hide", "hide:", &BigView::hide},
    {MenuOption::Level1, "1 Level", "show1:", &BigView::show1},
    {MenuOption::Level2, "2 Levels", "show2:", &BigView::show2},
    {MenuOption::LevelAll, "All", "showall:", &BigView::showall},
    {MenuOption::Realign, "Realign", "alignafterfold:", &BigView::alignafterfold},
    {MenuOption::ApplyToChildren, "Apply To Children", "_menuOptionApplyToChildren2:",
     &BigView::_menuOptionApplyToChildren2},
    {MenuOption::ApplyToSiblings, "Apply To Siblings", "_menuOptionApplyToSiblings2:",
     &BigView::_menuOptionApplyToSiblings2},
    {MenuOption::ApplyChildren, "Children", "_menuOptionApplyToChildren1:", &BigView::_menuOptionApplyToChildren1},
    {MenuOption::ApplySiblings, "Siblings", "_menuOptionApplyToSiblings1:", &BigView::_menuOptionApplyToSiblings1},
    {MenuOption::ApplyBoth, "Both", "_menuOptionApplyToBoth:", &BigView::_menuOptionApplyToBoth},
    {MenuOption::AutoSize, "Auto-size", "_menuOptionAutoFontAndWidth:", &BigView::_menuOptionAutoFontAndWidth},
    {MenuOption::NewFloatingTopic, "New Floating Topic", "_menuOptionNewFloatingTopic:",
     &BigView::_menuOptionNewFloatingTopic},
}};

const MenuEntry* entryFor(std::string_view action) {
  for (const MenuEntry& e : kMenu)
    if (action == e.action) return &e;
  return nullptr;
}

constexpr const char* kRepresentMenu = "onRepresentMenu:";
constexpr double kRepresentDelay = 0.1;
constexpr float kBelowLowestChild = 10;

// Runs changes inside one view animation of the shared duration.
template <typename F>
void animated(const void* owner, F&& changes) {
  kit::ViewAnimation::beginAnimations(owner);
  kit::ViewAnimation::setAnimationDuration(AppServices::sharedAnimationDuration());
  changes();
  kit::ViewAnimation::commitAnimations();
}

// Runs changes as one undo group of the document's undo manager. The group also records the
// positions of the topic's whole tree first: the relayout that follows moves topics, and the
// setters' own records would put back only the values.
template <typename F>
void undoGroup(BigView& canvas, DocumentServices* document, NodeView* topic, F&& changes) {
  kit::UndoManager* undo = document ? document->undoManager() : nullptr;
  if (undo) undo->beginUndoGrouping();
  if (document) canvas.pushPlacesUndo(topic->getRoot());
  changes();
  if (undo) undo->endUndoGrouping();
}

}  // namespace

// ---- The shared menu -------------------------------------------------------------------------

void BigView::observeMenuController() {
  kit::NotificationCenter& center = kit::NotificationCenter::defaultCenter();
  center.addObserver(this, kit::MenuController::kDidHideNotification, nullptr, [this](const kit::Notification&) {
    // Another view's menu is none of ours.
    if (kit::MenuController::shared().targetView() == this) onMenuDidHide();
  });
}

void BigView::showPopupMenuForRect(const kit::Rect& rect) {
  becomeFirstResponder();
  std::vector<kit::MenuItem> items;
  for (const MenuEntry& e : kMenu)
    if (menuOptions_ & e.bit) items.push_back({e.title, e.action});
  kit::MenuController& menu = kit::MenuController::shared();
  menu.setMenuItems(std::move(items));
  if (rect != kit::Rect::zero()) {
    popupMenuRect_ = rect;
    menu.setTargetRect(rect, this);
  }
  menu.setMenuVisible(true, true);
}

void BigView::hideMenuController() {
  kit::MenuController& menu = kit::MenuController::shared();
  if (menu.isMenuVisible() && menu.targetView() == this) menu.setMenuVisible(false, false);
  menuOptions_ = 0;
  popupMenuRect_ = kit::Rect();
}

bool BigView::canPerformAction(std::string_view action, const void*) const {
  if (!isFirstResponder()) return false;
  const MenuEntry* e = entryFor(action);
  return e && (menuOptions_ & e->bit) != 0;
}

bool BigView::performAction(std::string_view action, const void* sender) {
  if (const MenuEntry* e = entryFor(action)) {
    (this->*(e->run))();
    return true;
  }
  return kit::View::performAction(action, sender);
}

void BigView::onMenuDidHide() {
  if (menuOptions_ & MenuOption::ShowAgain) {
    menuOptions_ &= ~MenuOption::ShowAgain;
    kit::RunLoop::main().performAfterDelay(this, kRepresentMenu, kit::Value(), kRepresentDelay,
                                           [this] { onRepresentMenu(); });
    return;
  }
  menuOptions_ = 0;
  if (dragDropNode_) putBackLiftedTopic(true);
}

void BigView::onRepresentMenu() { showPopupMenuForRect(kit::Rect::zero()); }

// The apply-to items a resized or auto-sized topic offers: its children, its siblings, theirs.
std::uint32_t BigView::applyToOptionsFor(NodeView* s) {
  std::uint32_t options = 0;
  if (s->getChildTopicCount() > 0) {
    options |= MenuOption::ApplyToChildren;
    if (s->hasSiblingTopics()) options |= MenuOption::ApplySiblings | MenuOption::ApplyBoth;
  } else if (s->hasSiblingTopics()) {
    options |= MenuOption::ApplyToSiblings;
    if (s->siblingTopicsHaveChildren()) options |= MenuOption::ApplyChildren | MenuOption::ApplyBoth;
  }
  return options;
}

// ---- The topic clipboard's entry points ------------------------------------------------------

void BigView::menuCutToClipboard() { cutSelectedNodeToClipboard(); }
void BigView::menuCopyToClipboard() { copySelectedNodeToClipboard(); }
bool BigView::menuPasteClipboard(int clipboard, int side, bool floating) { return pasteClipboard(clipboard, side, floating); }
// Nothing happens when the pasteboard holds no attribute record that reads.
void BigView::menuShowPasteStyleChooser() {
  kit::Value attributes = clipboardTopicAttributes();
  if (!selectedNode_ || !attributes.isDictionary() || !pasteStyleChooserPresenter_) return;
  pasteStyleChooserPresenter_(std::move(attributes), selectedNode_);
}

// ---- Clipboard commands ----------------------------------------------------------------------

void BigView::_cut() {
  menuOptions_ = 0;
  menuCutToClipboard();
  keepOrganisedAsNecessary(selectedNode_);
  requestRedraw();
}

void BigView::_copy() {
  menuOptions_ = 0;
  NodeView* d = dragDropNode_;
  NodeView* f = fosterNode_;
  if (!d || !f) {
    menuCopyToClipboard();
    return;
  }
  // The drop menu's "Copy": the dragged topic goes back, a copy of its branch hangs from F.
  const bool right = d->isToRightOf(f);
  animated(this, [&] { d->moveTo(dragDropNodesOriginalPosition_, true, true); });
  setDragDropNode(nullptr);
  setSelectedNode(f, true);
  setFosterNode(nullptr);
  if (menuPasteClipboard(2, right ? Side::Right : Side::Left, false)) keepOrganisedAsNecessary(selectedNode_);
  requestRedraw();
}

void BigView::_paste() {
  menuOptions_ = 0;
  bool pasted = false;
  animated(this, [&] { pasted = menuPasteClipboard(1, Side::Automatic, false); });
  if (pasted) keepOrganisedAsNecessary(selectedNode_);
  requestRedraw();
}

void BigView::_pasteStyle() {
  menuOptions_ = 0;
  menuShowPasteStyleChooser();
}

void BigView::pasteandfloattopic() {
  menuOptions_ = 0;
  menuPasteClipboard(1, Side::Automatic, true);
  requestRedraw();
}

void BigView::copyandfloattopic() {
  menuOptions_ = 0;
  NodeView* d = dragDropNode_;
  if (!d) return;
  const int side = d->isLogicallyToRightOfRoot() ? Side::Right : Side::Left;
  crosshairButton_->setCenter(d->center());
  animated(this, [&] { d->moveTo(dragDropNodesOriginalPosition_, true, true); });
  const int sideBack = d->isLogicallyToRightOfRoot() ? Side::Right : Side::Left;
  setDragDropNode(nullptr);
  crosshairButton_->setAlpha(1.0f);
  lastLoadedRootNode_ = nullptr;
  menuPasteClipboard(2, side, true);
  if (side != sideBack && lastLoadedRootNode_) lastLoadedRootNode_->flipAboutYandRedraw(true);
}

// ---- Deleting --------------------------------------------------------------------------------

void BigView::_delete() {
  menuOptions_ = 0;
  NodeView* s = selectedNode_;
  if (!dragDropNode_ && s && !s->isFloating() && s->getChildTopicCount() + s->getCalloutTopicCount() > 0) {
    menuOptions_ = MenuOption::DeleteTopic | MenuOption::DeleteBranch | MenuOption::ShowAgain;
    return;
  }
  deletebranch();
}

void BigView::deletebranch() {
  menuOptions_ = 0;
  if (parentController_) parentController_->pushUndoSnapshot();
  if (NodeView* d = dragDropNode_) {
    setDragDropNode(nullptr);
    deleteBranch(d);
  } else {
    deleteBranch(selectedNode_);
  }
  keepOrganisedAsNecessary(selectedNode_);
  requestRedraw();
}

void BigView::deletetopic() {
  menuOptions_ = 0;
  if (parentController_) parentController_->pushUndoSnapshot();
  if (NodeView* d = dragDropNode_) {
    setDragDropNode(nullptr);
    deleteTopic(d);
  } else {
    animated(this, [&] { deleteTopic(selectedNode_); });
  }
  keepOrganisedAsNecessary(selectedNode_);
  requestRedraw();
}

// ---- Aligning --------------------------------------------------------------------------------

void BigView::align() {
  menuOptions_ = 0;
  NodeView* s = selectedNode_;
  if (!s) return;
  if (!s->hasVisibleSiblingTopics()) {
    children();
    return;
  }
  std::uint32_t options = MenuOption::Above | MenuOption::Below | MenuOption::ShowAgain;
  if (!(isKeepOrganised() && !s->isCallout() && !s->isOnCalloutBranch())) {
    options |= MenuOption::Justify;
    if (s->getChildTopicCount() > 0) options |= MenuOption::AlignChildren;
  }
  menuOptions_ = options;
}

void BigView::justify() {
  menuOptions_ = 0;
  if (!selectedNode_) return;
  if (parentController_) parentController_->pushUndoSnapshot();
  alignSiblingNodesWith(selectedNode_, true);
  keepOrganisedAsNecessary(selectedNode_);
  requestRedraw();
}

void BigView::above() { alignAndStackSiblings(false); }
void BigView::below() { alignAndStackSiblings(true); }

void BigView::alignAndStackSiblings(bool belowIt) {
  menuOptions_ = 0;
  if (!selectedNode_) return;
  if (parentController_) parentController_->pushUndoSnapshot();
  alignSiblingNodesWith(selectedNode_, true);
  arrangeSiblingsOf(selectedNode_, belowIt, true);
  keepOrganisedAsNecessary(selectedNode_);
  requestRedraw();
}

void BigView::children() {
  menuOptions_ = 0;
  if (!selectedNode_) return;
  if (parentController_) parentController_->pushUndoSnapshot();
  rearrangeChildren(selectedNode_, true);
  keepOrganisedAsNecessary(selectedNode_);
  requestRedraw();
}

void BigView::alignafterfold() {
  menuOptions_ = 0;
  if (!selectedNode_) return;
  if (parentController_) parentController_->pushUndoSnapshot();
  rearrangeChildren(selectedNode_, true);
  requestRedraw();
}

// ---- Folding ---------------------------------------------------------------------------------

void BigView::show() {
  menuOptions_ = 0;
  NodeView* s = selectedNode_;
  if (!s) return;
  // No undo step: "Hide" and the fold button fold it again. But the map has changed: closing
  // saves it.
  animated(this, [&] {
    s->unfold();
    s->setNeedsDisplayIfModified(true);
  });
  if (parentController_) parentController_->setModified();
  afterShowingLevels();
}

void BigView::afterShowingLevels() {
  updateRelationshipControlPoints();
  if (isKeepOrganised()) keepOrganisedAsNecessary(selectedNode_);
  else menuOptions_ = MenuOption::Realign | MenuOption::ShowAgain;
  requestRedraw();
}

void BigView::show1() { showLevels(1); }
void BigView::show2() { showLevels(2); }
void BigView::showall() { showLevels(-1); }

void BigView::showLevels(int depthCount) {
  menuOptions_ = 0;
  if (!selectedNode_) return;
  if (parentController_) parentController_->pushUndoSnapshot();
  animated(this, [&] { recursivelyExpandNodesFrom(selectedNode_, depthCount); });
  afterShowingLevels();
}

void BigView::hide() {
  menuOptions_ = 0;
  toggleFoldState(selectedNode_);
}

// ---- The drop menu ---------------------------------------------------------------------------

void BigView::move() {
  menuOptions_ = 0;
  NodeView* d = dragDropNode_;
  NodeView* f = fosterNode_;
  // Never into its own branch (a cycle), never the central topic.
  if (!d || !f || !d->parentNode() || f == d || f->isaChildOf(d)) return;
  if (parentController_) parentController_->pushUndoSnapshot();
  const bool wasFloating = d->isFloating();
  d->setIsFloating(false, false);
  NodeView* oldParent = d->parentNode();
  oldParent->recalcLayoutRecursively(false, true, true, false, false);
  const bool right = f->isRoot() ? d->isToRightOf(f) : f->isLogicallyToRightOfRoot();
  NodeView* lowest = nullptr;
  {
    kit::LockGuard guard(AppServices::globalTreeLock());
    std::unique_ptr<NodeView> owned = oldParent->detachChild(d);
    lowest = f->getLowestChildOnSide(right ? Side::Right : Side::Left);
    f->appendChild(std::move(owned));
  }
  if (wasFloating) rearrangeChildren(d, true);
  animated(this, [&] {
    f->recalcLayoutRecursively(false, true, true, false, false);
    if (lowest)
      d->moveTo(kit::Point(lowest->center().x,
                           lowest->frame().maxY() + kBelowLowestChild + d->bounds().size.height * 0.5f),
                true);
    if (!(isKeepOrganised() && !d->isCallout())) d->makeSpace();
    setSelectedNode(f->isFolded() ? f : d, true);
    evaluateDisplayAttributesForSelectedBranchAndRedraw();
  });
  setDragDropNode(nullptr);
  setFosterNode(nullptr);
  keepOrganisedAsNecessary(nullptr);
  requestRedraw();
}

void BigView::merge() {
  NodeView* d = dragDropNode_;
  NodeView* f = fosterNode_;
  move();
  if (!d || !f || d->parentNode() != f) return;
  if (f->strName().empty()) f->setStrName(d->strName());
  else if (!d->strName().empty()) f->setStrName(f->strName() + "\n" + d->strName());
  if (!d->strNote().empty()) f->setStrNote(f->strNote().empty() ? d->strNote() : f->strNote() + "\n" + d->strNote());
  if (f->strLink().empty()) f->setStrLink(d->strLink());
  deleteTopic(d);
  keepOrganisedAsNecessary(nullptr);
  requestRedraw();
}

void BigView::floattopic() {
  menuOptions_ = 0;
  NodeView* d = dragDropNode_;
  if (!d) return;
  if (parentController_) parentController_->pushUndoSnapshot();
  setDragDropNode(nullptr);
  floatNode(d);
  requestRedraw();
}

void BigView::floatNode(NodeView* topic) {
  NodeView* root = rootNode_.get();
  if (!topic || !root || topic->isRoot()) return;
  topic->setIsCallout(false, false);
  topic->setIsFloating(true, false);
  NodeView* oldParent = topic->parentNode();
  oldParent->recalcLayoutRecursively(false, true, true, false, false);
  {
    kit::LockGuard guard(AppServices::globalTreeLock());
    root->appendChild(oldParent->detachChild(topic));
  }
  setSelectedNode(topic, true);
  evaluateDisplayAttributesForSelectedBranchAndRedraw();
  keepOrganisedAsNecessary(nullptr);
}

// ---- Creating and sizing ---------------------------------------------------------------------

void BigView::_menuOptionNewFloatingTopic() {
  menuOptions_ = 0;
  createWithUndo([this] { return createAndEditNewFloatingNode(""); });
}

void BigView::applyWidthAndFontSize(NodeView* topic, bool descendants) {
  NodeView* s = selectedNode_;
  if (!s || !topic) return;
  const float width = menuOptionsContext_ == 1 ? 0 : s->getWidth();
  const float size = menuOptionsContext_ == 1 ? 0 : s->getFontSize();
  undoGroup(*this, parentController_, topic, [&] {
    topic->setWidthForChildren(width, descendants, true);
    topic->setFontSizeForChildren(size, descendants, true);
  });
}

void BigView::_menuOptionApplyToChildren1() {
  menuOptions_ = 0;
  NodeView* s = selectedNode_;
  if (!s) return;
  applyWidthAndFontSize(s, true);
  s->recalcLayoutRecursively(true, true, true, true, true);
  requestRedraw();
}

void BigView::_menuOptionApplyToSiblings1() {
  menuOptions_ = 0;
  NodeView* p = selectedNode_ ? selectedNode_->parentNode() : nullptr;
  if (!p) return;
  applyWidthAndFontSize(p, false);
  p->recalcLayoutOfImmediateChildrenWithRedraw(true, true, true, true);
  requestRedraw();
}

void BigView::_menuOptionApplyToBoth() {
  menuOptions_ = 0;
  NodeView* p = selectedNode_ ? selectedNode_->parentNode() : nullptr;
  if (!p) return;
  applyWidthAndFontSize(p, true);
  p->recalcLayoutRecursively(true, true, true, true, true);
  requestRedraw();
}

void BigView::_menuOptionAutoFontAndWidth() {
  menuOptions_ = 0;
  NodeView* s = selectedNode_;
  if (!s) return;
  undoGroup(*this, parentController_, s, [&] {
    s->setWidth(0, false, true);
    s->setFontSize(0, false, true);
  });
  s->recalcLayoutRecursively(false, true, true, true, true);
  requestRedraw();

  const std::uint32_t options = applyToOptionsFor(s);
  menuOptions_ = options;
  if (!options) return;
  menuOptions_ |= MenuOption::ShowAgain;
  menuOptionsContext_ = 1;
  showPopupMenuForRect(topicResizeTool_ ? topicResizeTool_->frame() : kit::Rect::zero());
}
