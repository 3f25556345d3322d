// What topic layout and topic drawing share: the shape they lay out and draw, and when the task
// badge shows.
#pragma once

#include <cstdint>
#include <string>

#include "model/node_view.h"

namespace topic_layout {

// The displayed shape as layout and drawing treat it: unknown numbers count as the rounded
// rectangle.
inline std::int32_t effectiveShape(std::int32_t shape) {
  return (shape >= TopicShape::RoundedRectangle && shape <= TopicShape::Line) ? shape : TopicShape::RoundedRectangle;
}

// Whether the topic shows a task badge: it has task data, the map shows task badges and the task
// is not plainly complete.
bool showsTaskBadge(const NodeView& topic);

}  // namespace topic_layout
