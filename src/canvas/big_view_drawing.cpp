// Drawing the canvas: the redraw request, the tiled layer's tiles, and the routine shared by
// tiles, exports and the external display (boundaries, floating guides, links; relationships
// are drawn by big_view_relationships.cpp). Every drawing holds the global tree lock from start
// to end, so a tile never walks a child list that the main thread is changing.
//
// The walks keep their own stacks: maps can be deep enough to exhaust a thread's stack.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "canvas/big_view.h"
#include "helpers/global_helpers_colour.h"
#include "helpers/global_helpers_geometry.h"
#include "kit/graphics/context.h"
#include "model/app_services.h"

using kit::Color;
using kit::GraphicsContext;
using kit::Point;
using kit::Rect;

namespace {

// Canvas tiles are larger than the layer's default: fewer tiles per screen means less overhead
// per tile.
constexpr kit::Size kCanvasTileSize(512, 512);
// Past this many marked topics one mark for everything is cheaper than one per topic.
constexpr std::size_t kMaxTopicMarks = 64;
// Reach of a topic's drop shadow (offset 3, blur 2) beyond its frame.
constexpr float kShadowReach = 6;

std::function<void()>& externalDisplayRedraw() {
  static std::function<void()> f;
  return f;
}

Color unitColour(RGB1 c, float alpha) { return Color(c.r, c.g, c.b, alpha); }

// The colour of a line drawn for a topic colour: kept visible against the canvas.
RGB1 canvasAdjusted(RGB255 colour) {
  return RGB255ToUnit(GlobalHelpers::adjustColour(colour, AppServices::currentCanvasStyle(), AppServices::dropShadowFlag()));
}

// Edges of a rectangle with a positive size; tiles test tens of thousands of these per walk.
struct Box {
  float x0, y0, x1, y1;
  explicit Box(const Rect& r) {
    Rect s = r.standardized();
    x0 = s.origin.x, y0 = s.origin.y, x1 = s.origin.x + s.size.width, y1 = s.origin.y + s.size.height;
  }
  Box(float a, float b, float c, float d) : x0(a), y0(b), x1(c), y1(d) {}
  // Touching counts, as with the platform's intersection.
  bool meets(const Box& o) const { return x0 <= o.x1 && o.x0 <= x1 && y0 <= o.y1 && o.y0 <= y1; }
  Box unionWith(const Box& o) const {
    return Box(std::min(x0, o.x0), std::min(y0, o.y0), std::max(x1, o.x1), std::max(y1, o.y1));
  }
};

// A view's frame, without a call for the usual untransformed topic.
Box frameOf(const kit::View* v) {
  if (!v->transform().isIdentity()) return Box(v->frame());
  const Point c = v->center();
  const float hw = std::fabs(v->bounds().size.width) / 2, hh = std::fabs(v->bounds().size.height) / 2;
  return Box(c.x - hw, c.y - hh, c.x + hw, c.y + hh);
}

constexpr unsigned kBoundaries = 1, kLinks = 2, kTopics = 4;

// What one walk of a branch found meeting the clip, each list in tree order, with the box each
// was tested with: a smaller clip inside that one takes the items whose box meets it, exactly
// what a walk for it would find.
struct Walk {
  std::vector<NodeView*> boundaries, links, topics;
  std::vector<Box> boundaryBoxes, linkBoxes, topicBoxes;
};

// The walk shared by boundaries, links and tile topics: a hidden topic (alpha 0) ends its
// branch, all but the floating topics in it, which no parent hides (they are roots of their
// own); a dragged topic keeps only its floating children; the normal children of a folded
// topic get no link and are not drawn, though their boundaries are still looked at.
void collect(NodeView* from, const Rect& clip, const NodeView* dragged, const NodeView* dropped, unsigned want,
             Walk& out) {
  struct Entry {
    NodeView* t;
    bool reached;  // by the link and topic walk
    Box parentFrame;
    bool underHidden = false;  // only floating topics are looked for
  };
  const Box c(clip);
  NodeView* p = from->parentNode();
  std::vector<Entry> stack{{from, true, p ? frameOf(p) : Box(0, 0, 0, 0)}};
  while (!stack.empty()) {
    const Entry e = stack.back();
    stack.pop_back();
    NodeView* t = e.t;
    if (t->alpha() == 0 || (e.underHidden && !t->isFloating())) {
      const NodeView::ChildList& children = t->childNodes();
      for (auto it = children.rbegin(); it != children.rend(); ++it)
        if (t != dragged || (*it)->isFloating()) stack.push_back({it->get(), true, Box(0, 0, 0, 0), true});
      continue;
    }
    const Box f = frameOf(t);
    const bool isDragged = t == dragged;
    if ((want & kBoundaries) && !isDragged && !t->boundaryPoints().empty()) {
      const Box b(GlobalHelpers::calcBoundingRect(t->boundaryPoints()));
      if (b.meets(c)) {
        out.boundaries.push_back(t);
        out.boundaryBoxes.push_back(b);
      }
    }
    if (e.reached) {
      // Floating topics count as roots and have no link.
      if ((want & kLinks) && !isDragged && t != dropped && !t->isRoot()) {
        const Box b = f.unionWith(e.parentFrame);
        if (b.meets(c)) {
          out.links.push_back(t);
          out.linkBoxes.push_back(b);
        }
      }
      if ((want & kTopics) && !isDragged && !t->isHidden() && f.meets(c)) {
        out.topics.push_back(t);
        out.topicBoxes.push_back(f);
      }
    }
    const bool folded = t->isFolded();
    const NodeView::ChildList& children = t->childNodes();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      NodeView* k = it->get();
      if (isDragged && !k->isFloating()) continue;
      // Floating topics below are looked for even where nothing else is.
      stack.push_back({k, k->isFloating() || (e.reached && (!folded || k->isCallout())), f});
    }
  }
}

// How far a link's ink reaches beyond its path, in user space: half its line width, and with a
// shadow the shadow's offset and blur, which live in base space.
float inkReach(const GraphicsContext& context, bool shadow) {
  float reach = 2;
  if (shadow) {
    const kit::AffineTransform t = context.getCTM();
    const float scale = std::sqrt(std::fabs(t.a * t.d - t.b * t.c));
    if (!(scale > 0) || !std::isfinite(scale)) return std::numeric_limits<float>::infinity();
    reach += 16 / scale;
  }
  return reach;
}

// Whether any ink of the path, stroked or filled, can fall within reach of r (all of it can when
// r is null). A link whose box meets a tile often passes it by (a long curve down a column, a
// wedge into the central topic), and stroking it or blurring its shadow costs as much as its
// whole length. With no edge near, r lies wholly inside or wholly outside the filled shape.
bool comesNear(const kit::Path& path, const Rect& r, float reach) {
  if (r.isNull() || !std::isfinite(reach)) return true;
  constexpr float kTolerance = 1;
  const float m = reach + kTolerance;
  const Box near(r.minX() - m, r.minY() - m, r.maxX() + m, r.maxY() + m);
  const Point mid = r.mid();
  int winding = 0;
  for (const std::vector<Point>& line : path.flatten(kTolerance)) {
    for (std::size_t i = 0; i < line.size(); ++i) {
      // Every sub-path fills as if closed.
      const Point p = line[i], q = line[i + 1 < line.size() ? i + 1 : 0];
      if (Box(std::min(p.x, q.x), std::min(p.y, q.y), std::max(p.x, q.x), std::max(p.y, q.y)).meets(near))
        return true;
      if ((p.y <= mid.y) != (q.y <= mid.y)) {
        const float x = p.x + (mid.y - p.y) / (q.y - p.y) * (q.x - p.x);
        if (x > mid.x) winding += q.y > p.y ? 1 : -1;
      }
    }
  }
  return winding != 0;
}

// Keeps of an open path only the pieces that come within reach of r, and says whether any is
// left (a null r keeps everything): a link down a long column is stroked, and its shadow
// blurred, only where a tile can show it. Curves are cut at fixed fractions of themselves, the
// same pieces whatever r is, so a tile and a larger drawing of the same area stroke the same
// pieces there. Paths with closed parts or arcs are kept whole.
bool trimToNear(kit::Path& path, const Rect& r, float reach) {
  using Op = kit::Path::Op;
  if (r.isNull() || !std::isfinite(reach)) return true;
  for (const kit::Path::Element& e : path.elements())
    if (e.op == Op::Close || e.op == Op::Arc) return comesNear(path, r, reach);
  const Box near(r.minX() - reach, r.minY() - reach, r.maxX() + reach, r.maxY() + reach);
  auto hullMeets = [&near](std::initializer_list<Point> pts) {
    Box b(pts.begin()->x, pts.begin()->y, pts.begin()->x, pts.begin()->y);
    for (Point p : pts) b = b.unionWith(Box(p.x, p.y, p.x, p.y));
    return b.meets(near);
  };
  auto lerp = [](Point a, Point b, float t) { return Point(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t); };
  kit::Path out;
  Point cur;
  bool open = false;  // out's current point is cur
  auto emitFrom = [&](Point from) {
    if (!open) out.moveTo(from);
    open = true;
  };
  for (const kit::Path::Element& e : path.elements()) {
    switch (e.op) {
      case Op::Move:
        cur = e.p[0];
        open = false;
        break;
      case Op::Line:
        if (hullMeets({cur, e.p[0]})) {
          emitFrom(cur);
          out.lineTo(e.p[0]);
        } else {
          open = false;
        }
        cur = e.p[0];
        break;
      case Op::Quad:
      case Op::Cubic: {
        // As a cubic: a quadratic's exact elevation.
        const bool quad = e.op == Op::Quad;
        const Point p0 = cur, end = quad ? e.p[1] : e.p[2];
        const Point c1 = quad ? lerp(p0, e.p[0], 2.0f / 3) : e.p[0];
        const Point c2 = quad ? lerp(end, e.p[0], 2.0f / 3) : e.p[1];
        const float hull = std::hypot(c1.x - p0.x, c1.y - p0.y) + std::hypot(c2.x - c1.x, c2.y - c1.y) +
                           std::hypot(end.x - c2.x, end.y - c2.y);
        const int n = std::clamp(static_cast<int>(hull / 256), 1, 64);
        if (n == 1) {
          if (hullMeets({p0, c1, c2, end})) {
            emitFrom(p0);
            if (quad) out.quadCurveTo(e.p[0], end);
            else out.curveTo(c1, c2, end);
          } else {
            open = false;
          }
          cur = end;
          break;
        }
        for (int i = 0; i < n; ++i) {
          // The piece over [t0, t1]: the part up to t1, then that part's part from t0 / t1.
          const float t0 = static_cast<float>(i) / n, t1 = static_cast<float>(i + 1) / n;
          Point a = p0, b = lerp(p0, c1, t1), bc = lerp(c1, c2, t1);
          Point c = lerp(b, bc, t1), d = lerp(c, lerp(bc, lerp(c2, end, t1), t1), t1);
          if (i + 1 == n) d = end;
          if (i > 0) {
            const float u = t0 / t1;
            const Point ab = lerp(a, b, u), bcc = lerp(b, c, u), cd = lerp(c, d, u);
            const Point abc = lerp(ab, bcc, u), bcd = lerp(bcc, cd, u);
            a = lerp(abc, bcd, u);
            b = bcd;
            c = cd;
          }
          if (hullMeets({a, b, c, d})) {
            emitFrom(a);
            out.curveTo(b, c, d);
          } else {
            open = false;
          }
        }
        cur = end;
        break;
      }
      default:
        break;
    }
  }
  path = std::move(out);
  return !path.isEmpty();
}

// A topic as its view would show it.
void drawTopic(GraphicsContext& context, NodeView* t) {
  context.saveGState();
  Point c = t->center(), m = t->bounds().mid();
  context.translateCTM(c.x, c.y);
  if (!t->transform().isIdentity()) context.concatCTM(t->transform());
  context.translateCTM(-m.x, -m.y);
  if (t->clipsToBounds()) context.clipToRect(t->bounds());
  context.setAlpha(t->alpha());
  t->drawRect(context, t->bounds());
  context.restoreGState();
}

// After a redraw request the boundaries are recomputed once, before the first drawing walks.
// While a topic is dragged or edited only the outlines around it can have changed.
void recalcBoundariesIfAsked(std::atomic<bool>& redrawEvent, NodeView* root, NodeView* dragged, NodeView* selected) {
  if (!redrawEvent.exchange(false)) return;
  NodeView* from = root;
  NodeView* s = dragged;
  if (!s && selected && selected->isInPlaceEdit()) s = selected;
  if (s) {
    if (NodeView* callout = s->isCallout() ? s : s->isOnCalloutBranch()) from = callout;
    else if (s->getRoot()->hasBoundary()) from = s->getRoot();
    else if (NodeView* branch = s->getBranchRoot()) from = branch;
  }
  from->recalcBoundaries();
}

void fillWithCanvasColour(GraphicsContext& context, const Rect& r, DocumentServices* controller) {
  context.saveGState();
  context.setFillColor(controller ? controller->canvasColour() : Color::white());
  context.fillRect(r);
  context.restoreGState();
}

}  // namespace

// ---- Redraw request and the tiled layer ------------------------------------------------------

void BigView::requestRedraw() {
  redrawEvent_ = true;
  setNeedsDisplay();
  layer().setNeedsDisplay();
  if (AppServices::externalDisplayFlag() && externalDisplayRedraw()) externalDisplayRedraw()();
}

void BigView::setExternalDisplayRedraw(std::function<void()> markExternalView) {
  externalDisplayRedraw() = std::move(markExternalView);
}

kit::TiledLayer& BigView::layer() {
  if (!layer_) {
    layer_ = std::make_unique<kit::TiledLayer>(kCanvasTileSize);
    layer_->setFadeDuration(0.0);
    // A screen draws little more than itself; tiles grow as they scroll into view.
    layer_->setDrawsVisiblePartsOnly(true);
    layer_->setBounds(bounds());
    layer_->setDrawingLock(&AppServices::globalTreeLock());
    // A canvas being taken down draws no more tiles.
    // The tiles of a pass share one walk of the tree.
    if (!deallocPrepared_)
      layer_->setDelegate([this](GraphicsContext& g, const Rect& tile) { drawLayer(g, tile); },
                          [this](const Rect& area) { return prepareLayerTiles(area); });
  }
  return *layer_;
}

void BigView::detachLayer() {
  if (layer_) layer_->setDelegate(nullptr);
}

void BigView::displayLayer(const Rect& visible) {
  kit::TiledLayer& l = layer();
  l.setBounds(bounds());
  // Topics draw into the tiles, so a topic marked for display marks the tiles under it.
  std::vector<Rect> marks;
  bool all = false;
  if (subviewsMayNeedDisplay()) {
    for (kit::View* v = firstSubview(); v; v = v->nextSibling()) {
      if (!v->needsDisplay()) continue;
      v->clearNeedsDisplay();
      if (all) continue;
      if (marks.size() == kMaxTopicMarks) all = true;
      else marks.push_back(v->frame().insetBy(-kShadowReach, -kShadowReach));
    }
    clearSubviewsMayNeedDisplay();
  }
  // An edited topic that grows or shrinks moves the links to its children, its relationships and
  // its boundary, all outside its frame: while an editor is open a mark redraws every tile.
  const NodeView* edited = NodeView::currentEditingTopic();
  if (edited && edited->superview() == this && !marks.empty()) all = true;
  if (all) l.setNeedsDisplay();
  else
    for (const Rect& r : marks) l.setNeedsDisplayInRect(r);
  clearNeedsDisplay();
  l.displayRect(visible);
}

void BigView::drawLayer(GraphicsContext& context, const Rect& tile) {
  kit::LockGuard guard(AppServices::globalTreeLock());
  Rect clip = context.clipBoundingBox();
  Rect r = clip.isNull() ? tile : tile.intersection(clip);
  if (r.isNull()) return;
  fillWithCanvasColour(context, r, parentController_);
  // Then the topics, in tree order, as their views would show them; a dragged branch travels
  // with the finger outside the tiles.
  std::vector<NodeView*> topics;
  drawMap(context, 0, r, &topics);
  for (NodeView* t : topics) drawTopic(context, t);
}

kit::TiledLayer::Delegate BigView::prepareLayerTiles(const Rect& area) {
  kit::LockGuard guard(AppServices::globalTreeLock());
  NodeView* root = rootNode_.get();
  if (!root) return nullptr;
  recalcBoundariesIfAsked(redrawEvent_, root, draggingTopic_, selectedNode_);
  auto walk = std::make_shared<Walk>();
  collect(root, area, draggingTopic_, dragDropNode_, kBoundaries | kLinks | kTopics, *walk);
  // Each tile as drawLayer draws it, taking from the shared walk what its own walk would find.
  return [this, walk](GraphicsContext& context, const Rect& tile) {
    kit::LockGuard guard(AppServices::globalTreeLock());
    Rect clip = context.clipBoundingBox();
    Rect r = clip.isNull() ? tile : tile.intersection(clip);
    if (r.isNull()) return;
    fillWithCanvasColour(context, r, parentController_);
    const Box c(r);
    for (std::size_t i = 0; i < walk->boundaries.size(); ++i)
      if (walk->boundaryBoxes[i].meets(c)) drawBoundaryFor(walk->boundaries[i], context, 0);
    drawFloatingGuidesInContext(context, 0, r);
    for (std::size_t i = 0; i < walk->links.size(); ++i)
      if (walk->linkBoxes[i].meets(c)) drawLinkFrom(walk->links[i], walk->links[i]->parentNode(), context, 0);
    drawRelationships(context, 0, r);
    for (std::size_t i = 0; i < walk->topics.size(); ++i)
      if (walk->topicBoxes[i].meets(c)) drawTopic(context, walk->topics[i]);
  };
}

void BigView::findLiveTopics() {
  liveTopics_.clear();
  NodeView* dragged = draggingTopic_;
  if (!dragged) return;
  // What the tiles' walk would list below the dragged topic, were it not dragged: its floating
  // children (the central topic's) stay in the tiles.
  std::vector<std::pair<NodeView*, bool>> stack{{dragged, true}};  // topic, reached
  while (!stack.empty()) {
    auto [t, reached] = stack.back();
    stack.pop_back();
    const bool shown = t->alpha() != 0 && (reached || t->isFloating());
    if (shown && !t->isHidden()) liveTopics_.push_back(t);
    const bool folded = t->isFolded();
    for (const auto& child : t->childNodes()) {
      NodeView* k = child.get();
      if (k->isFloating() && t == dragged) continue;
      stack.emplace_back(k, shown && (!folded || k->isCallout() || k->isFloating()));
    }
  }
  std::sort(liveTopics_.begin(), liveTopics_.end());
}

void BigView::drawRect(GraphicsContext& context, const Rect& rect) {
  Rect r = rect;
  Rect clip = context.clipBoundingBox();
  if (!clip.isNull()) r = r.intersection(clip);
  if (r.isNull()) return;
  fillWithCanvasColour(context, r, parentController_);
  drawInContext(context, 0, r);
}

// ---- The shared routine ------------------------------------------------------------------------

void BigView::drawInContext(GraphicsContext& context, int ofType, const Rect& clippedTo) {
  drawMap(context, ofType, clippedTo, nullptr);
}

void BigView::drawMap(GraphicsContext& context, int ofType, const Rect& clip, std::vector<NodeView*>* topics) {
  kit::LockGuard guard(AppServices::globalTreeLock());
  NodeView* root = rootNode_.get();
  if (!root) return;
  recalcBoundariesIfAsked(redrawEvent_, root, draggingTopic_, selectedNode_);
  Walk walk;
  collect(root, clip, draggingTopic_, dragDropNode_, kBoundaries | kLinks | (topics ? kTopics : 0), walk);
  for (NodeView* t : walk.boundaries) drawBoundaryFor(t, context, ofType);
  drawFloatingGuidesInContext(context, ofType, clip);
  for (NodeView* t : walk.links) drawLinkFrom(t, t->parentNode(), context, ofType);
  drawRelationships(context, ofType, clip);
  if (topics) *topics = std::move(walk.topics);
}

void BigView::recursivelyDrawBoundaries(NodeView* topic, GraphicsContext& inContext, int ofType,
                                        const Rect& clippedTo) {
  if (!topic) return;
  kit::LockGuard guard(AppServices::globalTreeLock());
  Walk walk;
  collect(topic, clippedTo, draggingTopic_, dragDropNode_, kBoundaries, walk);
  for (NodeView* t : walk.boundaries) drawBoundaryFor(t, inContext, ofType);
}

void BigView::drawBoundaryFor(NodeView* topic, GraphicsContext& inContext, int ofType) {
  if (!topic) return;
  kit::Path path = GlobalHelpers::newRoundedPolygonPathFromPoints(topic->boundaryPoints());
  if (path.isEmpty()) return;
  RGB1 stroke, fill;
  topic->getBoundaryDisplayStroke(stroke, fill);
  const float a = topic->alpha();
  const bool shadow = AppServices::dropShadowFlag();
  inContext.saveGState();
  inContext.setLineWidth(0.5f);
  inContext.setStrokeColor(unitColour(stroke, a));
  inContext.setFillColor(unitColour(fill, a));
  GlobalHelpers::setShadow(shadow, inContext, ofType);
  inContext.beginPath();
  inContext.addPath(path);
  if (shadow) {
    // The outline stays crisp: only the fill casts the shadow.
    inContext.fillPath();
    GlobalHelpers::setShadow(false, inContext, ofType);
    inContext.addPath(path);
    inContext.strokePath();
  } else {
    inContext.drawPath(kit::PathDrawingMode::FillStroke);
  }
  inContext.restoreGState();
}

void BigView::showFloatingNodeGuides() {
  bFloatingGuidesOn_ = true;
  requestRedraw();
}

void BigView::drawFloatingGuidesInContext(GraphicsContext& context, int ofType, const Rect& clippedTo) {
  if (!bFloatingGuidesOn_ || ofType == 1 || ofType == 2) return;
  kit::LockGuard guard(AppServices::globalTreeLock());
  NodeView* root = rootNode_.get();
  if (!root) return;
  for (const auto& child : root->childNodes()) {
    NodeView* f = child.get();
    if (!f->isFloating()) continue;
    Point tip, base1, base2;
    createReverseTaperedLinkPathFrom(root, f, tip, base1, base2);
    if (tip == Point()) continue;
    if (!GlobalHelpers::calcBoundingRect({tip, base1, base2}).intersects(clippedTo)) continue;
    Color c = unitColour(canvasAdjusted(f->getDisplayColour()), 0.1f);
    context.saveGState();
    context.setStrokeColor(c);
    context.setFillColor(c);
    context.beginPath();
    context.moveTo(base1);
    context.addLineTo(tip);
    context.addLineTo(base2);
    context.closePath();
    context.fillPath();
    context.restoreGState();
  }
}

void BigView::recursivelyDrawLinks(NodeView* topic, GraphicsContext& inContext, int ofType, const Rect& clippedTo) {
  if (!topic) return;
  kit::LockGuard guard(AppServices::globalTreeLock());
  Walk walk;
  collect(topic, clippedTo, draggingTopic_, dragDropNode_, kLinks, walk);
  for (NodeView* t : walk.links) drawLinkFrom(t, t->parentNode(), inContext, ofType);
}

void BigView::drawLinkFrom(NodeView* child, NodeView* to, GraphicsContext& inContext, int ofType) {
  if (!child || !to) return;
  kit::Path path;
  addLinkToPath(path, child, to);
  const bool shadow = AppServices::dropShadowFlag();
  const bool filled = (to->isRoot() && AppServices::taperLinksFlag()) || child->isCallout();
  const Rect clip = inContext.clipBoundingBox();
  const float reach = inkReach(inContext, shadow);
  if (filled ? !comesNear(path, clip, reach) : !trimToNear(path, clip, reach)) return;
  inContext.saveGState();
  GlobalHelpers::setShadow(shadow, inContext, ofType);
  const float a = std::min(child->getBrightness(), to->getBrightness());
  // The link takes the child's colour; a dimmed link its pale fill colour.
  RGB1 rgb = a >= 1.0f ? canvasAdjusted(child->getDisplayColour()) : child->getCachedFillColour();
  Color c = unitColour(rgb, a);
  inContext.setStrokeColor(c);
  inContext.setFillColor(c);
  inContext.setLineWidth(2.0f);
  inContext.beginPath();
  inContext.addPath(path);
  if (filled) inContext.fillPath();
  else inContext.strokePath();
  inContext.restoreGState();
}
