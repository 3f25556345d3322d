// Undo and redo stacks of grouped actions.
//
// - An action keeps its object (a Value) alive, not its target; whoever goes away first calls
//   removeAllActions(target).
// - While undoing, registrations go to the redo stack; while redoing, to the undo stack; any
//   other registration clears the redo stack.
// - Groups nest; undo() runs the actions of one top-level group in reverse order of
//   registration. Empty groups are dropped.
// - With groupsByEvent (the default) the first registration (or explicit group) in a run-loop
//   pass opens a group that the end of the pass closes, so one pass is one undo step.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "kit/core/run_loop.h"
#include "kit/core/value.h"

namespace kit {

class UndoManager {
 public:
  using Action = std::function<void(const Value& object)>;

  UndoManager();
  ~UndoManager();
  UndoManager(const UndoManager&) = delete;
  UndoManager& operator=(const UndoManager&) = delete;

  // name is the message (the selector); fn receives object when the action is replayed.
  void registerUndo(const void* target, std::string name, Value object, Action fn);

  void beginUndoGrouping();
  // Ignored when no group is open.
  void endUndoGrouping();
  // Open groups, the automatic per-pass group included.
  int groupingLevel() const { return static_cast<int>(open_.size()); }

  bool groupsByEvent() const { return groupsByEvent_; }
  void setGroupsByEvent(bool on) { groupsByEvent_ = on; }

  bool canUndo() const;
  bool canRedo() const;
  // Closes the automatic per-pass group first; refuses (returns false) while an explicit group
  // is open or during another undo or redo.
  bool undo();
  bool redo();
  bool isUndoing() const { return mode_ == Mode::Undoing; }
  bool isRedoing() const { return mode_ == Mode::Redoing; }

  void removeAllActions();
  void removeAllActions(const void* target);

  // Most undo steps kept (0: unlimited); the oldest go first.
  int levelsOfUndo() const { return levels_; }
  void setLevelsOfUndo(int n);

  // Name of the group being built (or the last closed one).
  void setActionName(std::string name);
  std::string undoActionName() const;
  std::string redoActionName() const;

  std::size_t undoCount() const { return undoStack_.size(); }
  std::size_t redoCount() const { return redoStack_.size(); }

 private:
  enum class Mode { Normal, Undoing, Redoing };
  struct Item {
    const void* target;
    std::string name;
    Value object;
    Action fn;
  };
  struct Group {
    std::vector<Item> items;
    std::string actionName;
  };
  struct OpenGroup {
    Group group;
    bool automatic = false;  // opened by groupsByEvent
  };

  void closeTopGroup();
  void pushClosed(Group g);
  void trimUndo();
  bool replay(std::deque<Group>& from, Mode mode);
  void onEndOfPass();

  std::deque<Group> undoStack_;  // back is the newest
  std::deque<Group> redoStack_;
  std::vector<OpenGroup> open_;
  std::string lastActionName_;
  Mode mode_ = Mode::Normal;
  bool groupsByEvent_ = true;
  int levels_ = 0;
  std::size_t floor_ = 0;  // open groups a replay owns; explicit ends cannot close them
  RunLoop::HookId hook_ = 0;
};

}  // namespace kit
