// The native map XML writer. Topics are written flat, in pre-order, each with its level, so that
// neither writing nor reading recurses and no nesting limit of an XML parser ever applies.
#include <unordered_set>

#include "formats/map_formats.h"
#include "formats/xml_text.h"
#include "helpers/global_helpers_colour.h"
#include "helpers/global_helpers_file_formats.h"
#include "model/app_services.h"
#include "model/node_view.h"
#include "model/relationship_view.h"

namespace MapFormats {

using detail::appendAttribute;
using detail::appendEscaped;
using detail::appendNumberAttribute;

namespace {

bool isSetColour(RGB255 c) { return !(c.r == 0 && c.g == 0 && c.b == 254); }

void appendFlag(std::string& out, std::string_view name, bool on) {
  if (!on) return;
  out += ' ';
  out += name;
  out += "=\"1\"";
}

void appendOptional(std::string& out, std::string_view name, const std::optional<std::string>& v) {
  if (v) appendAttribute(out, name, *v);
}

void appendTopic(std::string& out, const NodeView& n, int level) {
  out += "<topic";
  appendNumberAttribute(out, "level", static_cast<std::int64_t>(level));
  appendAttribute(out, "uuid", n.uuid());
  kit::Point c = n.center();
  appendNumberAttribute(out, "x", c.x);
  appendNumberAttribute(out, "y", c.y);
  appendAttribute(out, "text", n.strName());
  if (!n.strNote().empty()) appendAttribute(out, "note", n.strNote());
  if (!n.strLink().empty()) appendAttribute(out, "link", n.strLink());
  appendOptional(out, "ref", n.strReferenceID());
  if (isSetColour(n.colour255())) appendAttribute(out, "colour", GlobalHelpers::getColourAsStringWithRGB255(n.colour255()));
  if (n.getShape() != 99) appendNumberAttribute(out, "shape", static_cast<std::int64_t>(n.getShape()));
  if (n.getWidth() != 0) appendNumberAttribute(out, "width", n.getWidth());
  if (n.getFontSize() != 0) appendNumberAttribute(out, "fontSize", n.getFontSize());
  if (n.getTextStyle() != 0) appendNumberAttribute(out, "textStyle", static_cast<std::int64_t>(n.getTextStyle()));
  appendFlag(out, "callout", n.isCallout());
  appendFlag(out, "floating", n.isFloating());
  appendFlag(out, "folded", n.isFolded());
  appendFlag(out, "boundary", n.hasBoundary());
  appendOptional(out, "icon1", n.strIcon1());
  appendOptional(out, "icon2", n.strIcon2());
  appendOptional(out, "image", n._uuidImage());
  if (n.startDate()) appendNumberAttribute(out, "start", n.startDate()->seconds);
  if (n.dueDate()) appendNumberAttribute(out, "due", n.dueDate()->seconds);
  if (n.percentComplete() != -1) appendNumberAttribute(out, "percent", static_cast<std::int64_t>(n.percentComplete()));
  appendOptional(out, "effort", n._effort());
  appendFlag(out, "rollup", n.isRollupTask());

  const kit::Array& resources = n.getResources();
  if (resources.empty()) {
    out += "/>\n";
    return;
  }
  out += ">\n";
  for (const kit::Value& r : resources) {
    out += "<resource";
    appendAttribute(out, "name", r["name"].string());
    if (r["loading"].isString()) appendAttribute(out, "loading", r["loading"].string());
    out += "/>\n";
  }
  out += "</topic>\n";
}

void appendRelationship(std::string& out, const RelationshipView& r) {
  out += "<relationship";
  appendAttribute(out, "uuid", r.uuid());
  appendAttribute(out, "from", r.end1()->uuid());
  appendAttribute(out, "to", r.end2()->uuid());
  appendNumberAttribute(out, "fromEnd", static_cast<std::int64_t>(r.arrowTypeEnd1()));
  appendNumberAttribute(out, "toEnd", static_cast<std::int64_t>(r.arrowTypeEnd2()));
  appendAttribute(out, "colour", r.getColourAsString());
  kit::Point control = r.center(), start = r.end1()->center();
  appendNumberAttribute(out, "dx", control.x - start.x);
  appendNumberAttribute(out, "dy", control.y - start.y);
  out += "/>\n";
}

}  // namespace

void dumpNode(BigView& canvas, const NodeView* topic, std::string& xml, int inFormat) {
  if (!topic || inFormat != GlobalHelpers::kFileTypeQLM) return;
  kit::LockGuard guard(AppServices::globalTreeLock());
  xml += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<QuillmereRelative version=\"1\">\n";
  std::unordered_set<const NodeView*> inBranch;
  std::vector<std::pair<const NodeView*, int>> stack{{topic, 0}};
  while (!stack.empty()) {
    auto [n, level] = stack.back();
    stack.pop_back();
    inBranch.insert(n);
    appendTopic(xml, *n, level);
    const auto& kids = n->childNodes();
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.emplace_back(it->get(), level + 1);
  }
  for (const RelationshipPtr& r : canvas.relationships()) {
    if (r && r->end1() && r->end2() && inBranch.count(r->end1()) && inBranch.count(r->end2()))
      appendRelationship(xml, *r);
  }
  xml += "</QuillmereRelative>\n";
}

std::string dumpMap(BigView& canvas) {
  std::string xml;
  if (canvas.rootNode()) dumpNode(canvas, canvas.rootNode(), xml, GlobalHelpers::kFileTypeQLM);
  return xml;
}

}  // namespace MapFormats
