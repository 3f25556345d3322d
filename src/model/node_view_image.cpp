// The topic's image, the text forms of its task data and note, reference ids and the HTML
// image map of exported pictures.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "helpers/global_helpers_dates.h"
#include "helpers/global_helpers_effort.h"
#include "helpers/global_helpers_identifiers.h"
#include "helpers/strings.h"
#include "kit/core/format.h"
#include "kit/core/localization.h"
#include "kit/text/charset.h"
#include "kit/text/date_format.h"
#include "kit/text/escape.h"
#include "kit/text/regex.h"
#include "model/asset_library.h"
#include "model/node_view.h"

namespace {

constexpr int kDateFormatNote = 2;

// The badge's short dates ("ddMMMyy" in the device's locale). Making an ICU formatter is costly
// and layout asks for every topic with dates: one per thread, made again when zone or locale change.
std::string badgeDate(kit::Date date) {
  struct Cached {
    std::string environment;
    kit::DateFormatter formatter;
  };
  thread_local std::optional<Cached> cached;
  std::string environment = kit::formatterEnvironmentKey();
  if (!cached || cached->environment != environment) {
    cached.emplace();
    cached->environment = std::move(environment);
    cached->formatter.setLocalizedDateFormatFromTemplate("ddMMMyy");
  }
  return cached->formatter.stringFromDate(date);
}

// The topic text as the comment after an <area>: line breaks removed, and no "--" left that
// could end the comment early.
std::string commentText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\n' || c == '\r') continue;
    if (c == '-' && !out.empty() && out.back() == '-') out += ' ';
    out += c;
  }
  return out;
}

int truncatedCoordinate(float v) {
  if (!std::isfinite(v)) return 0;
  return static_cast<int>(std::clamp(v, static_cast<float>(INT_MIN / 2), static_cast<float>(INT_MAX / 2)));
}

// The topic and every descendant, each parent before its children, without recursion.
template <typename Fn>
void forWholeBranch(NodeView* top, Fn&& fn) {
  std::vector<NodeView*> pending{top};
  while (!pending.empty()) {
    NodeView* n = pending.back();
    pending.pop_back();
    fn(n);
    for (auto it = n->childNodes().rbegin(); it != n->childNodes().rend(); ++it) pending.push_back(it->get());
  }
}

}  // namespace

// ---- Image ---------------------------------------------------------------------------------------

void NodeView::setImage(const std::optional<std::string>& uuidImage, bool withUndo) {
  const std::optional<std::string>& current = rare().uuidImage;
  if (withUndo && (uuidImage || current)) {
    const bool differs = !uuidImage || !current || !strings::isEqualToStringWithCase(*uuidImage, *current);
    if (differs) {
      kit::Value details(kit::Dictionary{{"uuid", uuid_}});
      if (current) details.set("uuidImage", *current);
      pushUndo("topic-image", details);
    }
  }
  if (rare_) {
    rare_->imageSize = kit::Size();
    rare_->uuidImage.reset();
  }
  if (uuidImage && !uuidImage->empty()) {
    // The reference stays even when the asset does not load (a map opened before its assets were
    // copied): the topic shows no image, and the next save keeps the reference.
    Rare& r = rareForWriting();
    r.uuidImage = *uuidImage;
    if (parentController_) {
      if (auto library = AssetLibrary::assetLibraryForMap(parentController_->mapID())) {
        if (kit::ImageRef image = library->newUIImageFor(*uuidImage)) r.imageSize = image->size();
      }
    }
  }
  _evaluateDisplayShape(false);
}

// ---- Task text --------------------------------------------------------------------------------------

std::string NodeView::getTaskBadgeText() const {
  std::vector<std::string> lines;
  const Rare& r = rare();
  if ((r.startDate || r.dueDate) && percentComplete_ != 100) {
    if (r.startDate && r.dueDate)
      lines.push_back(badgeDate(*r.startDate) + " - " + badgeDate(*r.dueDate));
    else if (r.startDate)
      lines.push_back("Start: " + badgeDate(*r.startDate));
    else
      lines.push_back("Due: " + badgeDate(*r.dueDate));
  }
  if (r.effort && !r.effort->empty()) lines.push_back(GlobalHelpers::getEffortDescription(*r.effort));
  std::string people;
  for (const kit::Value& resource : r.resources) {
    const kit::Value& name = resource["name"];
    if (!name.isString() || name.string().empty()) continue;
    if (!people.empty()) people += ", ";
    people += name.string();
    const kit::Value& loading = resource["loading"];
    // An empty loading counts as full, as in the loadings list.
    if (loading.isString() && !loading.string().empty() && !strings::hasPrefixEx(loading.string(), "100"))
      people += "@" + loading.string() + "%";
  }
  if (!people.empty()) lines.push_back(std::move(people));
  return kit::join(lines, "\n");
}

std::optional<std::string> NodeView::getStartDateAsStringFormattedAs(int format) const {
  return GlobalHelpers::createStringFromDate(startDate(), format);
}

std::optional<std::string> NodeView::getDueDateAsStringFormattedAs(int format) const {
  return GlobalHelpers::createStringFromDate(dueDate(), format);
}

void NodeView::setStartDateFromString(std::optional<std::string_view> text, int formattedAs) {
  setStartDate(text ? GlobalHelpers::createDateFromString(*text, formattedAs) : std::nullopt, false);
}

void NodeView::setDueDateFromString(std::optional<std::string_view> text, int formattedAs) {
  setDueDate(text ? GlobalHelpers::createDateFromString(*text, formattedAs) : std::nullopt, false);
}

void NodeView::setPercentCompleteFromString(std::optional<std::string_view> text) {
  std::int32_t progress = -1;
  if (text && !text->empty()) {
    // Text from outside: anything beyond the scale is held to it, a negative number means none.
    const std::int64_t v = kit::parseInt(*text);
    progress = v < 0 ? -1 : static_cast<std::int32_t>(std::min<std::int64_t>(v, 100));
  }
  setProgress(progress, false);
}

// ---- Encoded note ------------------------------------------------------------------------------------

std::string NodeView::getEncodedNote() const {
  std::string header;
  auto field = [&](std::string_view label, std::string_view value) {
    header += kit::localizedString(label);
    header += ':';
    header += value;
    header += '|';
  };
  if (auto start = getStartDateAsStringFormattedAs(kDateFormatNote)) field("Start", strings::FormatForXML(*start));
  if (auto due = getDueDateAsStringFormattedAs(kDateFormatNote)) field("Due", strings::FormatForXML(*due));
  if (percentComplete_ >= 0) field("Progress", std::to_string(percentComplete_) + "%");
  if (const std::optional<std::string>& effort = rare().effort; effort && !effort->empty())
    field("Effort", strings::FormatForXML(*effort));
  if (auto names = getResourceNames(); names && !names->empty()) field("Resources", strings::FormatForXML(*names));
  if (header.empty()) return strNote_;
  return header + "|\n" + strNote_;
}

void NodeView::setEncodedNote(std::optional<std::string_view> text) {
  if (!text || text->empty()) {
    strNote_.clear();
    return;
  }
  const std::string_view t = *text;
  // Every field ends at a "|": text without one has no header.
  if (t.find('|') == std::string_view::npos) {
    strNote_ = std::string(t);
    return;
  }
  // A key counts only where a header field begins (at the start or after a "|") and only in
  // the header, which ends at the first "||": "Overdue:" in a note is no due date.
  auto field = [](std::string_view key) {
    return kit::Regex("(?:^|\\|)[ \\t]*" + std::string(key) + ":([^|\\r\\n]+)\\|", kit::Regex::CaseInsensitive);
  };
  static const kit::Regex kStart = field("Start"), kDue = field("Due"), kProgress = field("Progress"),
                          kEffort = field("Effort"), kResources = field("Resources");
  const std::size_t bars = t.find("||");
  const std::string_view header = t.substr(0, bars == std::string_view::npos ? bars : bars + 1);
  const kit::CharacterSet blanks = kit::CharacterSet::whitespaceAndNewline();
  auto value = [&](const kit::Regex& re) -> std::optional<std::string> {
    auto groups = re.firstMatch(header);
    if (!groups || groups->size() < 2) return std::nullopt;
    // The header fields are written escaped: "&amp;" must not split a resource list at its ";".
    return kit::trim(kit::unescapeHtml((*groups)[1]), blanks);
  };
  const auto start = value(kStart), due = value(kDue), progress = value(kProgress), effort = value(kEffort),
             resources = value(kResources);
  if (!start && !due && !progress && !effort && !resources) {
    strNote_ = std::string(t);
    return;
  }
  setStartDateFromString(start, kDateFormatNote);
  setDueDateFromString(due, kDateFormatNote);
  setPercentCompleteFromString(progress);
  setEffort(effort, false);
  setResources(resources ? *resources : std::string(), "");
  // Without the "||" that ends the header the note stays as it was.
  if (bars != std::string_view::npos) strNote_ = kit::trim(t.substr(bars + 2), blanks);
}

std::string NodeView::getNoteAsHTML(bool linkify) const {
  std::string html;
  if (!strLink_.empty()) html += "<b>Link</b>:" + strings::FormatForXML(strLink_) + "\n";
  if (auto start = getStartDateAsStringFormattedAs(kDateFormatNote))
    html += "<b>Start</b>:" + strings::FormatForXML(*start) + "\n";
  if (auto due = getDueDateAsStringFormattedAs(kDateFormatNote))
    html += "<b>Due</b>:" + strings::FormatForXML(*due) + "\n";
  if (percentComplete_ >= 0) html += "<b>Progress</b>:" + std::to_string(percentComplete_) + "%\n";
  if (const std::optional<std::string>& effort = rare().effort; effort && !effort->empty())
    html += "<b>Effort</b>:" + strings::FormatForXML(GlobalHelpers::getEffortDescription(*effort)) + "\n";
  if (auto names = getResourceNames(); names && !names->empty())
    html += "<b>Resources</b>:" + strings::FormatForXML(*names) + "\n";
  if (!strNote_.empty()) {
    if (!html.empty()) html += "\n";
    html += strings::replaceAll(strings::FormatForAsciiHTML(strNote_), "&#10;", "\n");
  }
  if (linkify) {
    static const kit::Regex kWeb("\\b(https?://)(\\S+)\\b", kit::Regex::CaseInsensitive);
    static const kit::Regex kWww("(^|[^>\\/])(www.\\S+)\\b", kit::Regex::CaseInsensitive);
    html = kWeb.replaceAll(html, "<a href=\"$1$2\">$2</a>");
    html = kWww.replaceAll(html, "$1<a href=\"http://$2\">$2</a>");
  }
  return strings::replaceAll(strings::linkEmailAddresses(html), "\n", "<br/>");
}

// ---- Reference ids ------------------------------------------------------------------------------------

void NodeView::clearReferenceID() {
  forWholeBranch(this, [](NodeView* n) {
    if (n->rare_) n->rare_->referenceID.reset();
  });
}

void NodeView::refreshReferenceID() {
  forWholeBranch(this, [](NodeView* n) { n->rareForWriting().referenceID = GlobalHelpers::GetUUID(); });
}

// ---- HTML image map ------------------------------------------------------------------------------------

void NodeView::generateHTMLImageMap(std::string& out, const kit::Rect& forRect) const {
  std::vector<const NodeView*> pending{this};
  while (!pending.empty()) {
    const NodeView* n = pending.back();
    pending.pop_back();
    const kit::Rect frame = n->frame();
    if (frame.intersects(forRect)) {
      const kit::Rect area = n->nodeRect_.offsetBy(frame.minX() - forRect.minX(), frame.minY() - forRect.minY());
      // Link, note and text are the user's: each is escaped for where it stands, and a link that
      // would run script on the page is left out.
      const std::string link = strings::getFullyQualifiedURL(n->strLink_);
      out += kit::format("<area shape=\"rect\" coords=\"%d,%d,%d,%d\" href=\"%s\" title=\"%s\" "
                         "class=\"{stroke:false,fillColor:'%s',fillOpacity:0.2}\"/> <!-- %s -->\n",
                         truncatedCoordinate(area.minX()), truncatedCoordinate(area.minY()),
                         truncatedCoordinate(area.maxX()), truncatedCoordinate(area.maxY()),
                         strings::runsScript(link) ? std::string() : strings::FormatForUnicodeHTML(link),
                         strings::FormatForUnicodeHTML(n->strNote_), n->getDisplayColourAsString(),
                         commentText(n->strName_));
    }
    // Children in order; a folded topic keeps only its callouts and floating topics.
    for (auto it = n->childNodes_.rbegin(); it != n->childNodes_.rend(); ++it) {
      const NodeView* child = it->get();
      if (n->folded_ && !child->isCallout_ && !child->isFloating_) continue;
      pending.push_back(child);
    }
  }
}
