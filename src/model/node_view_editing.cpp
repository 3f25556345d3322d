// In-place text editing: the editor over the topic, every keystroke copied into the topic, and
// the keystroke gestures (three spaces, three new lines, three backspaces, a dictated list).
#include <algorithm>
#include <cstdint>
#include <deque>
#include <utility>

#include "helpers/smte_delegate_controller.h"
#include "helpers/strings.h"
#include "kit/core/notification_center.h"
#include "kit/core/run_loop.h"
#include "kit/core/user_defaults.h"
#include "kit/text/charset.h"
#include "kit/text/utf.h"
#include "model/app_services.h"
#include "model/node_view.h"

namespace {

NodeView* gCurrentEditingTopic = nullptr;

// Keystroke commands waiting for their delay, in the order typed. Each pending perform runs its
// own command if it still waits; finishing or cancelling takes commands out of the queue.
struct PendingCommand {
  std::uint64_t id;
  NodeView* topic;
  std::function<void()> run;
};
std::deque<PendingCommand> gPendingCommands;
std::uint64_t gLastCommandId = 0;

bool gRunningCommand = false;

// Takes the command out before it runs: what it does may finish editing again. A command acts on
// the selection, so it runs only while its topic is still the selection, else it is dropped.
void runPendingCommand(std::uint64_t id) {
  auto it = std::find_if(gPendingCommands.begin(), gPendingCommands.end(), [id](const PendingCommand& c) { return c.id == id; });
  if (it == gPendingCommands.end()) return;
  std::function<void()> run = std::move(it->run);
  const bool selected = it->topic->isSelected();
  gPendingCommands.erase(it);
  if (!selected) return;
  gRunningCommand = true;
  run();
  gRunningCommand = false;
}

constexpr double kTriggerDelay = 0.1;
constexpr double kDestroyEditorDelay = 0.5;

}  // namespace

NodeView* NodeView::currentEditingTopic() { return gCurrentEditingTopic; }

void NodeView::performAfterDelay(const char* name, double delay, std::function<void()> fn) {
  hasPendingPerforms_ = true;
  kit::RunLoop::main().performAfterDelay(this, name, kit::Value(), delay, std::move(fn));
}

void NodeView::scheduleKeyboardCommand(const char* name, std::function<void()> fn) {
  const std::uint64_t id = ++gLastCommandId;
  gPendingCommands.push_back(PendingCommand{id, this, std::move(fn)});
  // The next touch finds the command done: it acts on this topic, not on the one touched.
  hasPendingPerforms_ = true;
  kit::RunLoop::main().performBeforeNextTouch(this, name, kit::Value(), kTriggerDelay, [id] { runPendingCommand(id); });
}

void NodeView::cancelKeyboardCommands(const NodeView* within) {
  std::erase_if(gPendingCommands, [within](const PendingCommand& c) {
    return !within || c.topic == within || c.topic->isaChildOf(within);
  });
}

void NodeView::finishEditing() {
  // Inside a command the ones typed after it wait their turn.
  while (!gRunningCommand && !gPendingCommands.empty()) runPendingCommand(gPendingCommands.front().id);
  if (NodeView* editing = gCurrentEditingTopic) editing->inPlaceEdit(false);
}

void NodeView::discardEditing() {
  std::erase_if(gPendingCommands, [this](const PendingCommand& c) { return c.topic == this; });
  if (hasPendingPerforms_) kit::RunLoop::main().cancelAll(this);
  if (gCurrentEditingTopic == this) gCurrentEditingTopic = nullptr;
  if (inPlaceEditTextView_) {
    inPlaceEditTextView_->setDelegate(nullptr);
    inPlaceEditTextView_->resignFirstResponder();
    inPlaceEditTextView_.reset();
  }
  if (rare_) rare_->snippetProxy.reset();
}

void NodeView::updateInplaceTextViewAttributes() {
  UITextViewEx* editor = inPlaceEditTextView_.get();
  if (!editor) return;
  editor->setFont(getFont());
  kit::TextAlignment a;
  if (textStyle_ & 16) a = kit::TextAlignment::Left;
  else if (textStyle_ & 32) a = kit::TextAlignment::Right;
  else if (textStyle_ & 64) a = kit::TextAlignment::Center;
  else a = AppServices::centreJustificationFlag() ? kit::TextAlignment::Center : kit::TextAlignment::Left;
  editor->setTextAlignment(a);
}

void NodeView::inPlaceEdit(bool open) {
  if (!open) {
    if (!inPlaceEditTextView_) return;
    inPlaceEditTextView_->resignFirstResponder();
    // An editor that never became first responder (no window) gets no end-of-editing call.
    if (inPlaceEditTextView_) textViewDidEndEditing(*inPlaceEditTextView_);
    return;
  }
  if (inPlaceEditTextView_) return;
  if (gCurrentEditingTopic && gCurrentEditingTopic != this) gCurrentEditingTopic->inPlaceEdit(false);
  gCurrentEditingTopic = this;

  inPlaceEditTextView_ = std::make_unique<UITextViewEx>(kit::Rect());
  UITextViewEx& editor = *inPlaceEditTextView_;
  editor.setBackgroundColor(kit::Color::clear());
  editor.setScrollEnabled(false);
  updateInplaceTextViewAttributes();
  const kit::UserDefaults& settings = kit::UserDefaults::standard();
  if (settings.boolForKey("ui_capitalize_words")) editor.setAutocapitalizationType(kit::AutocapitalizationType::Words);
  else if (settings.boolForKey("ui_capitalize_sentences"))
    editor.setAutocapitalizationType(kit::AutocapitalizationType::Sentences);
  else editor.setAutocapitalizationType(kit::AutocapitalizationType::None);

  editor.setDelegate(this);
  if (settings.boolForKey("te_enabled")) {
    std::unique_ptr<SMTEDelegateController>& proxy = rareForWriting().snippetProxy;
    proxy = std::make_unique<SMTEDelegateController>();
    proxy->setProvideUndoSupport(false);
    proxy->setNextDelegate(editor.delegate());
    editor.setDelegate(proxy.get());
  }
  editor.setText(strName_);
  addSubview(&editor);

  // Undoing the text puts the whole map back as it was here, control points included: the
  // push-aside and the undo's relayout carry them by fractions that the centres round away.
  // The central topic's tree, floating topics included: their order among its children counts.
  NodeView* root = getRoot();
  while (root->parentNode()) root = root->parentNode();
  kit::Value before = root->snapshotNodePositions();
  root->appendChildOrders(before.mutableArray());
  root->appendRelationshipCentres(before.mutableArray());
  editor.setPreEditPositions(std::move(before));
  editor.setPreEditNodeFrame(getAdjustedNodeFrame());
  editor.setPreEditBranchFrame(getBranchBoundingRect());
  recalcLayoutRecursively(false, true, true, false, false);
  recursivelyUpdateVisiblity();
  editor.becomeFirstResponder();
}

void NodeView::textViewDidBeginEditing(kit::TextView&) {
  kit::NotificationCenter::defaultCenter().post(kEditTextChanged, this);
}

bool NodeView::textViewShouldChangeTextInRange(kit::TextView& tv, kit::TextRange range, const std::string& text) {
  UITextViewEx* editor = inPlaceEditTextView_.get();
  if (editor != &tv) return true;
  if (range.length > 0) {
    if (text.empty()) editor->pushCharacter(UITextViewEx::kOther);
    else if (strings::hasSuffixEx(text, ". ") || strings::hasSuffixEx(text, "\xE3\x80\x82")) editor->periodInserted();
  } else if (strings::isEqualToStringWithCase(text, " ")) {
    if (!editor->loggedSpaceAlready()) {
      editor->pushCharacter(UITextViewEx::kSpace);
      editor->setLoggedSpaceAlready(true);
    }
  } else if (strings::isEqualToStringWithCase(text, "\n")) {
    if (!editor->loggedEnterAlready()) {
      editor->pushCharacter(UITextViewEx::kNewLine);
      editor->setLoggedEnterAlready(true);
    }
  } else if (text.empty()) {
    editor->pushCharacter(AppServices::tripleDeleteDisabledFlag() ? UITextViewEx::kOther
                                                                  : UITextViewEx::kEmptyBackspace);
  } else if (kit::utf16Length(text) < 3 || editor->pasted()) {
    editor->pushCharacter(UITextViewEx::kOther);
  } else {
    std::vector<std::string> parts = kit::split(text, ",");
    if (parts.size() < 2) {
      editor->pushCharacter(UITextViewEx::kOther);
    } else {
      // A list dictated in one go becomes a row of siblings instead of text.
      scheduleKeyboardCommand("_onSiriDictateListDetectTriggered:",
                              [this, parts = std::move(parts)] { _onSiriDictateListDetectTriggered(parts); });
      return false;
    }
  }
  editor->setPasted(false);
  return true;
}

void NodeView::textViewDidChange(kit::TextView& tv) {
  UITextViewEx* editor = inPlaceEditTextView_.get();
  if (editor != &tv) return;
  editor->setLoggedSpaceAlready(false);
  editor->setLoggedEnterAlready(false);
  if (!editor->modified()) {
    pushUndo("topic-text", kit::Value(kit::Dictionary{
                               {"uuid", uuid_}, {"strName", strName_}, {"positions", editor->preEditPositions()}}));
    editor->setModified(true);
  }
  const int r = AppServices::keyboardShortcutsFlag() ? editor->interpret() : UITextViewEx::kNone;
  if (r != UITextViewEx::kNone) {
    editor->reset();
    const std::string& text = editor->text();
    const std::size_t caret = kit::utf16IndexToByteOffset(text, editor->selectedRange().location);
    const std::string_view before = std::string_view(text).substr(0, caret);
    const std::string_view after = std::string_view(text).substr(caret);
    const kit::CharacterSet blanks = kit::CharacterSet::whitespaceAndNewline();
    if (r == UITextViewEx::kThreeNewLines && !isRoot()) {
      std::string fresh = kit::trim(after, blanks);
      editor->setText(kit::trim(before, blanks));
      scheduleKeyboardCommand("_onNewSiblingTriggered:", [this, fresh = std::move(fresh)] { _onNewSiblingTriggered(fresh); });
    } else if (r == UITextViewEx::kThreeBackspaces && !isRoot()) {
      scheduleKeyboardCommand("_onDeleteTopicTriggered:", [this] { _onDeleteTopicTriggered(); });
    } else if (r == UITextViewEx::kThreeSpaces || r == UITextViewEx::kThreeSpacesAfterPeriod) {
      std::string fresh = kit::trim(after, blanks);
      // The period the keyboard put in for the first two spaces goes too.
      editor->setText(kit::trim(before, r == UITextViewEx::kThreeSpacesAfterPeriod ? blanks.adding(".\u3002 ") : blanks));
      if (getChildTopicCount() == 0)
        scheduleKeyboardCommand("_onNewChildTriggered:", [this, fresh = std::move(fresh)] { _onNewChildTriggered(fresh); });
      else
        scheduleKeyboardCommand("_onNewChildLevelTriggered:",
                                [this, fresh = std::move(fresh)] { _onNewChildLevelTriggered(fresh); });
    }
  }
  setStrName(editor->text());
  recalcLayoutRecursively(false, true, true, false, false);
  kit::NotificationCenter::defaultCenter().post(kEditTextChanged, this);
}

// Text being composed shows inside the topic, which grows with it as with typed text.
void NodeView::textViewDidChangeMarkedText(kit::TextView& tv) {
  if (inPlaceEditTextView_.get() == &tv) recalcLayoutRecursively(false, true, true, false, false);
}

void NodeView::textViewDidEndEditing(kit::TextView& tv) {
  if (!inPlaceEditTextView_ || inPlaceEditTextView_.get() != &tv) return;
  if (gCurrentEditingTopic == this) gCurrentEditingTopic = nullptr;
  if (rare_ && rare_->snippetProxy) {
    inPlaceEditTextView_->setDelegate(nullptr);
    rare_->snippetProxy.reset();
  }
  kit::Rect savedNode = inPlaceEditTextView_->preEditNodeFrame();
  kit::Rect savedBranch = inPlaceEditTextView_->preEditBranchFrame();
  // Typing keeps the edge facing the parent and the middle height where they were; a topic
  // moved meanwhile (dragged, or its branch moved) keeps its new place, so the saved frames move
  // with it before they realign it.
  if (!isRoot() && !savedNode.isEmpty()) {
    const kit::Rect now = getAdjustedNodeFrame();
    const float dx = isToRightOfParent() ? now.minX() - savedNode.minX() : now.maxX() - savedNode.maxX();
    const float dy = now.midY() - savedNode.midY();
    savedNode = savedNode.offsetBy(dx, dy);
    savedBranch = savedBranch.offsetBy(dx, dy);
  }

  // The closed editor lives on for a moment, as the platform's editor does after it resigns.
  std::shared_ptr<UITextViewEx> closed(inPlaceEditTextView_.release());
  closed->removeFromSuperview();
  closed->setDelegate(nullptr);
  performAfterDelay("_onDestroyInplaceEditView:", kDestroyEditorDelay, [closed] {});

  recalcLayoutRecursively(false, true, false, false, false);
  realignBasedOnSavedNodeFrame(savedNode, kit::Rect(), false, false);
  realignBasedOnSavedNodeFrame(savedNode, savedBranch, true);
  recursivelyUpdateVisiblity();
  kit::NotificationCenter::defaultCenter().post(kEditEnded, this);
}

void NodeView::_onNewSiblingTriggered(const std::string& text) {
  if (!parentController_) return;
  if (isCallout_) parentController_->onNewCalloutSiblingNodeBelow(text);
  else parentController_->onNewSiblingNodeBelow(text);
}

void NodeView::_onNewChildTriggered(const std::string& text) {
  if (parentController_) parentController_->onNewChildNode(text);
}

void NodeView::_onNewChildLevelTriggered(const std::string& text) {
  if (parentController_) parentController_->onNewChildLevelNode(text);
}

void NodeView::_onDeleteTopicTriggered() {
  if (parentController_) parentController_->onDeleteNode();
}

void NodeView::_onSiriDictateListDetectTriggered(const std::vector<std::string>& items) {
  if (parentController_) parentController_->onSiriDictateListDetectTriggered(items);
}
