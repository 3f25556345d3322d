// Geometry shared by topic layout, canvas drawing, boundaries and relationships: rounded shapes,
// mirrored rectangles, Bezier points, shortened lines, centroid scaling, ellipse helpers, size
// fitting, segment intersection and angles. Screen coordinates (y down), 32-bit floats; no
// state, safe on drawing threads except convertRect, which reads views.
#pragma once

#include <vector>

#include "kit/core/geometry.h"
#include "kit/graphics/path.h"

namespace kit {
class GraphicsContext;
class View;
}

// Segment (x1, y1)-(x2, y2) against segment (x3, y3)-(x4, y4): 0 when they do not cross, 1 when
// they do (the crossing, rounded half a unit away from zero on each axis, written to x and y),
// 2 when parallel or collinear.
int LinesIntersect(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, float* x,
                   float* y);

namespace GlobalHelpers {

// Adds a closed rounded rectangle and returns its corner radius: a quarter of the smaller side,
// at most 15.
kit::Float addRoundedRect(const kit::Rect& rect, kit::Path& toPath);
// x becomes outer width - (x + width) - offset; the outer rectangle's origin is not used.
kit::Rect mirrorFlipXRect(const kit::Rect& rect, const kit::Rect& inRect, kit::Float thenOffsetBy);
// A rectangle in screen coordinates in the view's coordinates; zero without a view. The root of
// the view's hierarchy stands for its window.
kit::Rect convertRect(const kit::Rect& rect, const kit::View* toView);
kit::Point calcQuadBezierPointAt(kit::Float t, kit::Point p0, kit::Point p1, kit::Point p2);
// Moves both ends towards each other by the amount along the line, never past the middle.
void shrinkLineStart(kit::Point& start, kit::Point& end, kit::Float byAmount);
// The polygon with straight sides stopping 20 points short of each corner and quadratic curves
// through the corners; not explicitly closed (it ends where it began). Empty below two points.
kit::Path newRoundedPolygonPathFromPoints(const std::vector<kit::Point>& points);
// Scaled about the centroid so that the first point moves exactly `byAbsolute` away from it.
// Unchanged when the first point lies on the centroid.
std::vector<kit::Point> scalePoints(const std::vector<kit::Point>& points, kit::Float byAbsolute);
// The union of the 1-by-1 rectangles at the points; null for no points.
kit::Rect calcBoundingRect(const std::vector<kit::Point>& points);
// The horizontal semi-axis of the ellipse centred on the rectangle through its corners.
kit::Float calcElipseAValGivenRect(const kit::Rect& rect, kit::Float andBVal);
kit::Float calcElipseYValGivenX(kit::Float x, kit::Float andA, kit::Float andB);
// Scaled down to fit, aspect kept; never enlarged.
kit::Size scaleSize(kit::Size size, kit::Size toBounds);
// True when the segments cross (LinesIntersect gives 1); only then is *returning written.
bool doesIntersectLineFrom(kit::Point from1, kit::Point to1, kit::Point andLineFrom, kit::Point to2,
                           kit::Point* returning);
// The first of the top, bottom, left and right edges the line crosses.
bool doesIntersectRect(const kit::Rect& rect, kit::Point withLineFrom, kit::Point to, kit::Point* returning);
// Degrees clockwise from straight up.
kit::Float getAngleInDegreesOf(kit::Point point, kit::Point fromCentre);
// The drawing shadow on (offset (3, 3), or (3, -3) for drawing type 1, blur 2, the default
// shadow colour) or off (no offset, no blur, no colour).
void setShadow(bool on, kit::GraphicsContext& forContext, int ofType);

}  // namespace GlobalHelpers
