#include "kit/graphics/pdf_context.h"

#include <cairo-pdf.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "kit/graphics/cairo_bridge.h"

namespace kit {

namespace {

// Readers refuse pages with a side over 14,400 units; larger bounds are drawn scaled down to fit.
constexpr double kMaxPageSide = 14400;

// The page's scale for bounds: 1, or less when a side would pass the limit.
double pageScaleFor(const Rect& b) {
  return std::min({1.0, kMaxPageSide / b.width(), kMaxPageSide / b.height()});
}

bool finiteRect(const Rect& r) {
  return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) &&
         std::isfinite(r.size.height);
}

// Cairo's PDF surface adds each operation's extents to a region of the page one by one; when
// the shapes lie apart that region grows with every operation and each addition costs as much
// as the region is big, so a page of many small shapes takes quadratic time. Once an operation
// has covered the page the region stays one rectangle. This paints a transparent one-pixel
// pattern over the page: nothing shows, and Cairo cannot tell it from real content.
void primeOperationRegion(cairo_t* cr) {
  cairo_pattern_t* p = newInvisiblePattern();
  cairo_save(cr);
  cairo_set_source(cr, p);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_pattern_destroy(p);
}

}  // namespace

cairo_status_t PdfContext::write(void* closure, const unsigned char* data, unsigned int length) {
  auto* self = static_cast<PdfContext*>(closure);
  if (!self->file_ || std::fwrite(data, 1, length, self->file_) != length) {
    self->writeFailed_ = true;
    return CAIRO_STATUS_WRITE_ERROR;
  }
  return CAIRO_STATUS_SUCCESS;
}

std::unique_ptr<PdfContext> PdfContext::create(const std::string& path, const Rect& bounds) {
  if (path.empty() || bounds.isEmpty() || !finiteRect(bounds)) return nullptr;
  std::unique_ptr<PdfContext> pdf(new PdfContext);
  pdf->bounds_ = bounds.standardized();
  pdf->target_ = ReplacementFile::create(path);
  if (!pdf->target_) return nullptr;
  int fd = pdf->target_->descriptor();
  pdf->file_ = fdopen(fd, "wb");
  if (!pdf->file_) return nullptr;  // the destructor cleans up
  pdf->target_->releaseDescriptor();
  const double k = pageScaleFor(pdf->bounds_);
  pdf->surface_ = cairo_pdf_surface_create_for_stream(write, pdf.get(), std::min(kMaxPageSide, pdf->bounds_.width() * k),
                                                      std::min(kMaxPageSide, pdf->bounds_.height() * k));
  pdf->cr_ = cairo_create(pdf->surface_);
  if (cairo_status(pdf->cr_) != CAIRO_STATUS_SUCCESS) return nullptr;  // the destructor cleans up
  return pdf;
}

PdfContext::~PdfContext() {
  page_.reset();
  if (cr_) cairo_destroy(cr_);
  if (surface_) {
    cairo_surface_finish(surface_);
    cairo_surface_destroy(surface_);
  }
  if (file_) std::fclose(file_);
  // An uncommitted target_ removes its temporary file.
}

void PdfContext::beginPage() { beginPage(bounds_); }

void PdfContext::beginPage(const Rect& bounds) {
  if (closed_) return;
  endPage();
  Rect b = bounds.isEmpty() || !finiteRect(bounds) ? bounds_ : bounds.standardized();
  const double k = pageScaleFor(b);
  const double w = std::min(kMaxPageSide, b.width() * k), h = std::min(kMaxPageSide, b.height() * k);
  cairo_pdf_surface_set_size(surface_, w, h);
  // Before the structure tag: inside it, Cairo 1.16 fails on this paint with a tag error.
  primeOperationRegion(cr_);
  // Each page's content sits in one structure element; with link annotations and no structure
  // Cairo writes a document that PDF checkers reject.
  cairo_tag_begin(cr_, "Document", "");
  // Cairo takes an unclipped opaque paint of the whole page (and a fill covering it, which it
  // turns into one) for a fresh start and discards what the page recorded so far, this tag
  // included; closing then fails with a tag error. Under a clip it keeps everything, and a clip
  // holding the operation is left out of the file.
  cairo_rectangle(cr_, 0, 0, w, h);
  cairo_clip(cr_);
  // The platform's base space: y up, origin at the bounds' origin, at the page's scale.
  AffineTransform base(static_cast<Float>(k), 0, 0, static_cast<Float>(-k), static_cast<Float>(-b.minX() * k),
                       static_cast<Float>((b.height() + b.minY()) * k));
  page_ = std::make_unique<GraphicsContext>(cr_, GraphicsContext::Kind::Pdf, base);
}

void PdfContext::endPage() {
  if (!page_) return;
  page_.reset();
  cairo_reset_clip(cr_);
  cairo_tag_end(cr_, "Document");
  cairo_show_page(cr_);
}

bool PdfContext::close() {
  if (closed_) return true;
  if (!surface_) return false;
  endPage();
  cairo_destroy(cr_);
  cr_ = nullptr;
  cairo_surface_finish(surface_);
  bool ok = cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS && !writeFailed_;
  cairo_surface_destroy(surface_);
  surface_ = nullptr;
  // A document is made again from its source at will: it replaces the old one at once, unsynced.
  ok = ok && std::fflush(file_) == 0;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (ok && target_->commit(ReplacementFile::Durability::Readers)) {
    closed_ = true;
    return true;
  }
  target_->discard();
  return false;
}

namespace {

struct OpenPdf {
  std::unique_ptr<PdfContext> pdf;
  bool pushed = false;
};
thread_local std::vector<OpenPdf> tPdfs;

void popPage(OpenPdf& o) {
  if (o.pushed && o.pdf->context() && currentContext() == o.pdf->context()) popContext();
  o.pushed = false;
}

}  // namespace

bool beginPDFContextToFile(const std::string& path, const Rect& bounds) {
  auto pdf = PdfContext::create(path, bounds);
  if (!pdf) return false;
  tPdfs.push_back(OpenPdf{std::move(pdf), false});
  return true;
}

void beginPDFPage() {
  if (tPdfs.empty()) return;
  OpenPdf& o = tPdfs.back();
  popPage(o);
  o.pdf->beginPage();
  pushContext(o.pdf->context());
  o.pushed = true;
}

void setPDFContextURLForRect(const std::string& url, const Rect& rect) {
  if (tPdfs.empty() || !tPdfs.back().pdf->context()) return;
  tPdfs.back().pdf->context()->setURLForRect(url, rect);
}

bool endPDFContext() {
  if (tPdfs.empty()) return false;
  OpenPdf& o = tPdfs.back();
  popPage(o);
  bool ok = o.pdf->close();
  tPdfs.pop_back();
  return ok;
}

}  // namespace kit
