// PDF documents: pages whose base space is y-up with its origin at the bottom left of the page
// (callers flip it for y-down drawing), link annotations, and a file that appears whole or not
// at all. A page is at most 14,400 units a side: larger bounds give a page scaled down to fit,
// whose base space still spans the bounds (drawing and link rectangles scale with it).
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "kit/core/geometry.h"
#include "kit/core/replacement_file.h"
#include "kit/graphics/context.h"

namespace kit {

class PdfContext {
 public:
  // Writes to a temporary file beside path; close() moves it into place. Null when the bounds
  // are empty or the temporary file cannot be made.
  static std::unique_ptr<PdfContext> create(const std::string& path, const Rect& bounds);
  // Without a successful close() nothing is left at path.
  ~PdfContext();
  PdfContext(const PdfContext&) = delete;
  PdfContext& operator=(const PdfContext&) = delete;

  // Ends the open page, if any, and starts one with the document's bounds (or the given ones).
  void beginPage();
  void beginPage(const Rect& bounds);
  void endPage();
  // The open page's context; null between pages.
  GraphicsContext* context() { return page_.get(); }
  // Ends the open page, finishes the file and moves it to the path. False (and no file at the
  // path) when anything failed. Idempotent.
  bool close();

 private:
  PdfContext() = default;
  static cairo_status_t write(void* closure, const unsigned char* data, unsigned int length);
  std::optional<ReplacementFile> target_;
  FILE* file_ = nullptr;
  bool writeFailed_ = false;
  bool closed_ = false;
  Rect bounds_;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  std::unique_ptr<GraphicsContext> page_;
};

// The platform's PDF calls over a per-thread stack; a page's context is the current context
// while the page is open.
bool beginPDFContextToFile(const std::string& path, const Rect& bounds);
void beginPDFPage();
// rect in the current user space of the current PDF page.
void setPDFContextURLForRect(const std::string& url, const Rect& rect);
// Closes the document; false when it could not be written.
bool endPDFContext();

}  // namespace kit
