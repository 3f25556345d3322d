// Renders a view tree off screen: each visible view's background and drawRect, then its
// subviews back to front, under the view's frame, bounds origin, transform, alpha and clipping.
#pragma once

#include <optional>

#include "kit/graphics/color.h"
#include "kit/graphics/context.h"
#include "kit/graphics/image.h"
#include "kit/ui/view.h"

namespace kit {

// Draws view, placed in its superview's coordinates (the context's user space), and its
// subtree. A hidden view, or one whose alpha is below 0.01, draws nothing, nor do its subviews.
void drawViewTree(GraphicsContext& ctx, View& view);

// One frame of a screen: root (a window) drawn at the context's origin as drawViewTree would,
// except that views with tiles show their finished tiles (View::drawFrameContent) and the
// subviews those tiles hold draw only their own subviews. Answers whether every tile was ready.
bool drawScreenFrame(GraphicsContext& ctx, View& root);

// The root's bounds-sized image with the tree drawn into it at the given scale (root's bounds
// origin at the image's top left), over `background` when given, else transparent. Null when
// the bounds are empty or too large for an image.
ImageRef renderViewTree(View& root, float scale = 1, std::optional<Color> background = std::nullopt);

}  // namespace kit
