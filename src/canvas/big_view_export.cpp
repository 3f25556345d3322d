// Off-screen renders of the map: PNG, JPEG and PDF files, the photo album, the HTML image map
// page that goes beside a PNG, and the external display's drawing.
//
// Files appear whole or not at all: every file goes through a temporary file and a rename, and
// the HTML page is written only once its image is.
#include <algorithm>
#include <cmath>
#include <ctime>
#include <optional>
#include <string>

#include "canvas/big_view.h"
#include "helpers/global_helpers_geometry.h"
#include "helpers/strings.h"
#include "kit/core/app_paths.h"
#include "kit/core/files.h"
#include "kit/core/replacement_file.h"
#include "kit/core/format.h"
#include "kit/core/lock.h"
#include "kit/core/user_defaults.h"
#include "kit/graphics/image.h"
#include "kit/graphics/image_strips.h"
#include "kit/graphics/pdf_context.h"
#include "kit/typography/font.h"
#include "kit/typography/string_drawing.h"
#include "model/app_services.h"

using kit::GraphicsContext;
using kit::Point;
using kit::Rect;
using kit::Size;

namespace {

constexpr float kExportMargin = 20.0f;
constexpr float kWatermarkFontSize = 33.0f;
constexpr Size kWatermarkBox(1000.0f, 1000.0f);
constexpr float kJpegQuality = 1.0f;
constexpr int kTypePdf = 1;
constexpr int kTypeImage = 2;
constexpr int kTypeExternalDisplay = 3;
// How far beyond a strip of a bitmap the drawing reaches for what may show in it: shadows,
// strokes and tapered links of topics that lie just outside.
constexpr float kStripReach = 32.0f;

constexpr const char* kTransparentKey = "export_options_transparent_background";
constexpr const char* kHTMLMapKey = "export_options_png_include_html_map";

bool finite(const Rect& r) {
  return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) &&
         std::isfinite(r.size.height);
}

bool isTransparent() { return kit::UserDefaults::standard().boolForKey(kTransparentKey); }

void fillCanvas(GraphicsContext& ctx, const Rect& r, DocumentServices* controller) {
  ctx.saveGState();
  ctx.setFillColor(controller ? controller->canvasColour() : kit::Color::white());
  ctx.fillRect(r);
  ctx.restoreGState();
}

// The path with its extension (if any) replaced.
std::string replacingExtension(const std::string& path, const std::string& extension) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  return (hasExtension ? path.substr(0, dot) : path) + "." + extension;
}

// There is no photo album here: a save to it goes to the "Photos" folder of the application
// home, one PNG per save, named by the time. nullopt when no such name can be had.
std::optional<std::string> photoAlbumPath() {
  const std::string folder = kit::AppPaths::home() + "/Photos";
  if (!kit::FileManager::createDirectories(folder)) return std::nullopt;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  if (std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H.%M.%S", &local) == 0) return std::nullopt;
  std::string path = folder + "/Map " + stamp + ".png";
  for (int i = 2; kit::FileManager::exists(path) && i < 1000; ++i)
    path = folder + "/Map " + stamp + kit::format(" %d", i) + ".png";
  if (kit::FileManager::exists(path)) return std::nullopt;
  return path;
}

}  // namespace

// ---- The rectangle to render ---------------------------------------------------------------------

Rect BigView::getAdjustedScreenshotRect(float maxArea) {
  NodeView* root = rootNode_.get();
  if (!root) return Rect::null();
  Rect r = root->getBranchBoundingRectForAll().unionWith(calcRelationshipBounds());
  if (r.isNull()) return r;
  r = r.insetBy(-kExportMargin, -kExportMargin);

  const double w = r.width(), h = r.height();
  // A cap that is not a positive number caps nothing.
  if (!(maxArea > 0) || w * h <= maxArea || h <= 0) return r;
  const double a = w / h;
  const double s = std::min(w * h, double(maxArea));
  const double W = std::sqrt(s * a), H = s / W;
  // The root keeps its relative place, so the map's outer parts are what is cut.
  const Point c = root->center();
  const double fx = (c.x - r.minX()) / w, fy = (c.y - r.minY()) / h;
  return Rect(static_cast<float>(c.x - fx * W), static_cast<float>(c.y - fy * H), static_cast<float>(W),
              static_cast<float>(H));
}

// ---- Saving --------------------------------------------------------------------------------------

bool BigView::saveScreenshotToFile(const std::optional<std::string>& path, float maxArea) {
  return saveScreenshotToFile(path, getAdjustedScreenshotRect(maxArea), std::nullopt);
}

bool BigView::saveScreenshotToFile(const std::optional<std::string>& path, const Rect& forRect,
                                   const std::optional<std::string>& withWatermark) {
  // No selection highlight in an export; the selection comes back, announced, afterwards.
  NodeView* selected = selectedNode_;
  setSelectedNode(nullptr, false);

  bool written = false;
  const Rect rect = forRect.standardized();
  NodeView* root = rootNode_.get();
  const bool png = path && strings::pathHasExtensionNoCase(*path, "png");
  const bool jpg = path && strings::pathHasExtensionNoCase(*path, "jpg");
  const bool pdf = path && !png && !jpg && strings::pathHasExtensionNoCase(*path, "pdf");
  const bool bitmap = !path || png || jpg;
  const float x = rect.minX(), y = rect.minY(), w = rect.width(), h = rect.height();
  const bool drawable = root && !rect.isEmpty() && finite(rect) && w >= 1 && h >= 1;

  if (drawable && pdf) {
    if (auto doc = kit::PdfContext::create(*path, Rect(0, 0, w, h))) {
      doc->beginPage();
      GraphicsContext& ctx = *doc->context();
      {
        kit::CurrentContextScope current(&ctx);
        kit::LockGuard guard(AppServices::globalTreeLock());
        ctx.translateCTM(0, h);
        ctx.scaleCTM(1, -1);
        ctx.translateCTM(-x, -y);
        if (!isTransparent()) fillCanvas(ctx, rect, parentController_);
        drawInContext(ctx, kTypePdf, rect);
        ctx.translateCTM(x, y);
        // Topics with links add their link areas here.
        root->drawNodeAndChildrenInRect(rect, true, ctx, kTypePdf);
      }
      doc->endPage();
      written = doc->close();
    }
  } else if (drawable && bitmap) {
    // Drawn at full scale strip by strip, so no bitmap limit applies; only a side beyond the
    // file format's own limit scales the whole picture down.
    kit::StripImage image;
    image.format = jpg ? kit::ImageFileFormat::JPEG : kit::ImageFileFormat::PNG;
    image.size = Size(w, h);
    image.scale = kit::fittingScale(image.format, image.size);
    image.quality = kJpegQuality;
    const bool transparent = isTransparent();
    const kit::Color canvasColour = parentController_ ? parentController_->canvasColour() : kit::Color::white();
    image.alpha = transparent || canvasColour.alpha < 1;
    // A plain colour is laid down by the strips themselves; a paper texture is drawn.
    const bool paper = !transparent && canvasColour.pattern;
    if (!transparent && !paper) image.background = canvasColour;

    struct Watermark {
      std::string text;
      kit::Font font;
      Size size;
    };
    std::optional<Watermark> watermark;
    if (withWatermark && !withWatermark->empty()) {
      const kit::Font font = kit::Font::systemFont(kWatermarkFontSize);
      watermark = Watermark{*withWatermark, font, kit::sizeWithFont(*withWatermark, font, kWatermarkBox)};
    }
    // One part of the picture, in its own coordinates (the rectangle's top left at the origin).
    auto drawPart = [&](GraphicsContext& ctx, const Rect& part) {
      kit::CurrentContextScope current(&ctx);
      kit::LockGuard guard(AppServices::globalTreeLock());
      const Rect band = part.offsetBy(x, y);
      const Rect reach = band.insetBy(-kStripReach, -kStripReach);
      ctx.saveGState();
      ctx.translateCTM(-x, -y);
      if (paper) fillCanvas(ctx, band, parentController_);
      drawInContext(ctx, kTypeImage, reach);
      // Topics are placed relative to the rectangle they are drawn in.
      ctx.translateCTM(reach.minX(), reach.minY());
      root->drawNodeAndChildrenInRect(reach, true, ctx, kTypeImage);
      ctx.restoreGState();

      if (watermark) {
        ctx.saveGState();
        ctx.translateCTM(-x, -y);
        const float grey = AppServices::currentCanvasStyle() == 7 ? 1.0f / 3.0f : 2.0f / 3.0f;
        ctx.setFillColor(kit::Color::gray(grey));
        GlobalHelpers::setShadow(false, ctx, kTypeImage);
        const Point corner(root->center().x, root->frame().maxY());
        kit::drawInRect(ctx, watermark->text, Rect(corner, watermark->size), watermark->font);
        ctx.restoreGState();
      }
    };
    const std::optional<std::string> target = path ? path : photoAlbumPath();
    std::optional<kit::ReplacementFile> file =
        image.scale > 0 && target ? kit::ReplacementFile::create(*target) : std::nullopt;
    written = file && kit::writeImageInStrips(image, drawPart, [&f = *file](std::span<const std::uint8_t> piece) {
                return f.write(piece);
              });
    // The page names its image by the map's name, so it goes beside the image; the image takes
    // its place only once its page has.
    if (written && png && !kit::UserDefaults::standard().objectForKey(kHTMLMapKey).isNull()) {
      const std::string name = parentController_ ? parentController_->mapName() : std::string();
      written = kit::FileManager::writeAtomically(replacingExtension(*path, "html"), createHTMLImageMapFor(name, rect));
    }
    // A picture is made again from its map at will: it replaces the old one at once, unsynced.
    written = written && file->commit(kit::ReplacementFile::Durability::Readers);
  }

  setSelectedNode(selected, true);
  return written;
}

// ---- The HTML image map page ---------------------------------------------------------------------

std::string BigView::createHTMLImageMapFor(const std::string& name, const Rect& inRect) {
  const std::string n = strings::escapeForURL(name);
  std::string html;
  html += "<html>\n";
  html += "<head>\n";
  html += "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">\n";
  html += "<title>" + n + "</title>\n";
  html += "\n\n";
  html += "<!-- The three scripts below can be downloaded from https://jquery.com and "
          "https://github.com/kemayo/maphilight -->\n";
  html += "\n";
  html += "<script type=\"text/javascript\" src=\"jquery.min.js\"></script>\n";
  html += "<script type=\"text/javascript\" src=\"jquery.metadata.min.js\"></script>\n";
  html += "<script type=\"text/javascript\" src=\"jquery.maphilight.js\"></script>\n";
  html += "<script type=\"text/javascript\">$(function() { $('.map').maphilight();});</script>\n";
  html += "</head>\n";
  html += "<body>\n";
  // An image scaled down to fit the format's limit is shown at the rectangle's size, where the
  // areas' coordinates (in points) still fit it.
  std::string size;
  const Rect r = inRect.standardized();
  if (!r.isEmpty() && finite(r) && kit::fittingScale(kit::ImageFileFormat::PNG, r.size) < 1.0f)
    size = kit::format(" width=\"%d\" height=\"%d\"", static_cast<int>(std::ceil(r.width())),
                       static_cast<int>(std::ceil(r.height())));
  html += "<img src=\"" + n + ".png\" class=\"map\" usemap=\"#mapmap\"" + size + ">\n";
  html += "<map name=\"mapmap\">\n";
  html += "\n";
  if (NodeView* root = rootNode_.get()) {
    kit::LockGuard guard(AppServices::globalTreeLock());
    root->generateHTMLImageMap(html, inRect);
  }
  html += "</map>\n</body>\n</html>\n";
  return html;
}

// ---- The external display ------------------------------------------------------------------------

void BigView::dumpToContext(GraphicsContext& context) {
  kit::LockGuard guard(AppServices::globalTreeLock());
  const Rect clip = context.clipBoundingBox();
  if (clip.isNull()) return;
  fillCanvas(context, clip, parentController_);
  drawInContext(context, kTypeExternalDisplay, clip);
  if (NodeView* root = rootNode_.get()) root->drawNodeAndChildrenInRect(clip, false, context, kTypeExternalDisplay);
}
