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
#include "kit/graphics/image_context.h"
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
// Cairo keeps a bitmap's bytes addressable by an int, and a gigabyte is as much as an export
// should ask for: larger renders are scaled down like those with an over-long side.
constexpr double kMaxBitmapPixels = double(1 << 28);

constexpr const char* kTransparentKey = "export_options_transparent_background";
constexpr const char* kHTMLMapKey = "export_options_png_include_html_map";

bool finite(const Rect& r) {
  return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) &&
         std::isfinite(r.size.height);
}

// Points to pixels for a bitmap of the rectangle: 1, or less when a side would pass the image
// limit or the whole the pixel budget. The rounded-up pixel size stays within both.
float bitmapScaleFor(Size size) {
  const double w = size.width, h = size.height;
  double s = 1.0;
  s = std::min(s, kit::kMaxImageSide / w);
  s = std::min(s, kit::kMaxImageSide / h);
  s = std::min(s, std::sqrt(kMaxBitmapPixels / (w * h)));
  float scale = static_cast<float>(s);
  auto fits = [&](float sc) {
    return std::ceil(double(size.width) * sc) <= kit::kMaxImageSide &&
           std::ceil(double(size.height) * sc) <= kit::kMaxImageSide;
  };
  while (scale > 0 && !fits(scale)) scale = std::nextafter(scale, 0.0f);
  return scale;
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
// home, one PNG per save, named by the time.
bool saveToPhotoAlbum(const kit::Image& image) {
  const std::optional<std::vector<std::uint8_t>> png = image.pngData();
  if (!png) return false;
  const std::string folder = kit::AppPaths::home() + "/Photos";
  if (!kit::FileManager::createDirectories(folder)) return false;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  if (std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H.%M.%S", &local) == 0) return false;
  std::string path = folder + "/Map " + stamp + ".png";
  for (int i = 2; kit::FileManager::exists(path) && i < 1000; ++i)
    path = folder + "/Map " + stamp + kit::format(" %d", i) + ".png";
  if (kit::FileManager::exists(path)) return false;
  return kit::FileManager::writeAtomically(path, *png);
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
    // Too large for one bitmap: the whole map, scaled down, rather than a part or nothing.
    const float scale = bitmapScaleFor(Size(w, h));
    std::unique_ptr<kit::ImageContext> ic = scale > 0 ? kit::ImageContext::create(Size(w, h), false, scale) : nullptr;
    kit::ImageRef image;
    if (ic) {
      GraphicsContext& ctx = ic->context();
      kit::CurrentContextScope current(&ctx);
      kit::LockGuard guard(AppServices::globalTreeLock());
      ctx.translateCTM(-x, -y);
      if (!isTransparent()) fillCanvas(ctx, rect, parentController_);
      drawInContext(ctx, kTypeImage, rect);
      ctx.translateCTM(x, y);
      root->drawNodeAndChildrenInRect(rect, true, ctx, kTypeImage);

      if (withWatermark && !withWatermark->empty()) {
        ctx.saveGState();
        ctx.translateCTM(-x, -y);
        const kit::Font font = kit::Font::systemFont(kWatermarkFontSize);
        const Size size = kit::sizeWithFont(*withWatermark, font, kWatermarkBox);
        const float grey = AppServices::currentCanvasStyle() == 7 ? 1.0f / 3.0f : 2.0f / 3.0f;
        ctx.setFillColor(kit::Color::gray(grey));
        GlobalHelpers::setShadow(false, ctx, kTypeImage);
        const Point corner(root->center().x, root->frame().maxY());
        kit::drawInRect(ctx, *withWatermark, Rect(corner, size), font);
        ctx.restoreGState();
      }
      image = ic->image();
    }
    if (image) {
      if (!path) {
        written = saveToPhotoAlbum(*image);
      } else {
        std::optional<std::vector<std::uint8_t>> bytes = png ? image->pngData() : image->jpegData(kJpegQuality);
        std::optional<kit::ReplacementFile> file = bytes ? kit::ReplacementFile::create(*path) : std::nullopt;
        written = file && file->write(*bytes);
        // The page names its image by the map's name, so it goes beside the image; the image
        // takes its place only once its page has.
        if (written && png && !kit::UserDefaults::standard().objectForKey(kHTMLMapKey).isNull()) {
          const std::string name = parentController_ ? parentController_->mapName() : std::string();
          written = kit::FileManager::writeAtomically(replacingExtension(*path, "html"), createHTMLImageMapFor(name, rect));
        }
        written = written && file->commit();
      }
    }
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
  // An image scaled down to fit the bitmap limit is shown at the rectangle's size, where the
  // areas' coordinates (in points) still fit it.
  std::string size;
  const Rect r = inRect.standardized();
  if (!r.isEmpty() && finite(r) && bitmapScaleFor(r.size) < 1.0f)
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
