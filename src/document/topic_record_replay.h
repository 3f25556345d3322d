// Replays of the topic records for links, notes, task data and icons. Each goes through the
// topic's own setter with undo, so the setter records the inverse step for redo.
#pragma once

#include <string>

#include "kit/core/value.h"

class NodeView;

// false when the action is not one of these records.
bool replayTaskOrIconRecord(NodeView* topic, const std::string& action, const kit::Value& details);
