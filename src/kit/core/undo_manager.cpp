#include "kit/core/undo_manager.h"

#include <algorithm>

namespace kit {

UndoManager::UndoManager() {
  hook_ = RunLoop::main().addEndOfPassHook([this] { onEndOfPass(); });
}

UndoManager::~UndoManager() { RunLoop::main().removeEndOfPassHook(hook_); }

void UndoManager::registerUndo(const void* target, std::string name, Value object, Action fn) {
  if (!fn) return;
  Item item{target, std::move(name), std::move(object), std::move(fn)};
  if (mode_ == Mode::Normal) {
    redoStack_.clear();
    if (open_.empty()) {
      if (!groupsByEvent_) {
        // No group to join: the action is a step of its own.
        Group g;
        g.items.push_back(std::move(item));
        pushClosed(std::move(g));
        return;
      }
      open_.push_back(OpenGroup{{}, true});
    }
  }
  open_.back().group.items.push_back(std::move(item));
}

void UndoManager::beginUndoGrouping() {
  if (mode_ == Mode::Normal && open_.empty() && groupsByEvent_) open_.push_back(OpenGroup{{}, true});
  open_.push_back(OpenGroup{});
}

void UndoManager::endUndoGrouping() {
  if (open_.size() <= floor_) return;
  closeTopGroup();
}

void UndoManager::closeTopGroup() {
  if (open_.empty()) return;
  Group g = std::move(open_.back().group);
  open_.pop_back();
  if (open_.empty()) {
    pushClosed(std::move(g));
    return;
  }
  Group& parent = open_.back().group;
  for (Item& i : g.items) parent.items.push_back(std::move(i));
  if (parent.actionName.empty()) parent.actionName = std::move(g.actionName);
}

void UndoManager::pushClosed(Group g) {
  if (g.items.empty()) return;
  lastActionName_ = g.actionName;
  if (mode_ == Mode::Undoing) redoStack_.push_back(std::move(g));
  else undoStack_.push_back(std::move(g));
  trimUndo();
}

void UndoManager::trimUndo() {
  if (levels_ <= 0) return;
  while (undoStack_.size() > static_cast<std::size_t>(levels_)) undoStack_.pop_front();
  while (redoStack_.size() > static_cast<std::size_t>(levels_)) redoStack_.pop_front();
}

void UndoManager::setLevelsOfUndo(int n) {
  levels_ = std::max(n, 0);
  trimUndo();
}

bool UndoManager::canUndo() const {
  if (!undoStack_.empty()) return true;
  return mode_ == Mode::Normal && open_.size() == 1 && open_[0].automatic && !open_[0].group.items.empty();
}

bool UndoManager::canRedo() const { return !redoStack_.empty(); }

bool UndoManager::undo() { return replay(undoStack_, Mode::Undoing); }

bool UndoManager::redo() { return replay(redoStack_, Mode::Redoing); }

bool UndoManager::replay(std::deque<Group>& from, Mode mode) {
  if (mode_ != Mode::Normal) return false;
  if (!open_.empty()) {
    // The pass's own group closes before it can be undone; an explicit group must be ended first.
    if (open_.size() == 1 && open_[0].automatic) closeTopGroup();
    else return false;
  }
  if (from.empty()) return false;
  Group g = std::move(from.back());
  from.pop_back();

  mode_ = mode;
  open_.push_back(OpenGroup{});
  open_.back().group.actionName = g.actionName;
  floor_ = 1;
  for (auto it = g.items.rbegin(); it != g.items.rend(); ++it) it->fn(it->object);
  while (open_.size() > 1) closeTopGroup();  // groups a replayed action left open
  floor_ = 0;
  closeTopGroup();  // onto the opposite stack
  mode_ = Mode::Normal;
  return true;
}

void UndoManager::removeAllActions() {
  undoStack_.clear();
  redoStack_.clear();
  for (OpenGroup& o : open_) o.group.items.clear();
}

void UndoManager::removeAllActions(const void* target) {
  auto strip = [target](std::deque<Group>& stack) {
    for (Group& g : stack) {
      std::erase_if(g.items, [target](const Item& i) { return i.target == target; });
    }
    std::erase_if(stack, [](const Group& g) { return g.items.empty(); });
  };
  strip(undoStack_);
  strip(redoStack_);
  for (OpenGroup& o : open_) {
    std::erase_if(o.group.items, [target](const Item& i) { return i.target == target; });
  }
}

void UndoManager::setActionName(std::string name) {
  if (!open_.empty()) open_.front().group.actionName = std::move(name);
  else if (!undoStack_.empty()) undoStack_.back().actionName = std::move(name);
}

std::string UndoManager::undoActionName() const {
  return undoStack_.empty() ? std::string() : undoStack_.back().actionName;
}

std::string UndoManager::redoActionName() const {
  return redoStack_.empty() ? std::string() : redoStack_.back().actionName;
}

void UndoManager::onEndOfPass() {
  if (mode_ == Mode::Normal && open_.size() == 1 && open_[0].automatic) closeTopGroup();
}

}  // namespace kit
