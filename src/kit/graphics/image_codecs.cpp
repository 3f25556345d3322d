// Decoders and encoders behind Image: PNG read through Cairo and written through libpng, JPEG
// through libjpeg-turbo, GIF through giflib, SVG through librsvg. Every decoder checks the
// declared size before allocating, so damaged or hostile headers give a null image instead of a
// huge allocation. The encoders take rows as they come and hand on bytes as they go.
#include <cairo.h>
#include <gif_lib.h>
#include <librsvg/rsvg.h>
#include <setjmp.h>
#include <stdio.h>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include "kit/core/dynamic_library.h"
#include "kit/core/files.h"
#include "kit/graphics/image.h"
#include "kit/graphics/image_encoders.h"

namespace kit {

namespace {

// Decoded images are refused above this many pixels (400 MB of ARGB).
constexpr std::uint64_t kMaxDecodedPixels = 100'000'000;

bool acceptableSize(std::uint64_t w, std::uint64_t h) {
  return w >= 1 && h >= 1 && w <= kMaxImageSide && h <= kMaxImageSide && w * h <= kMaxDecodedPixels;
}

ImageRef adopt(cairo_surface_t* s, float scale) {
  ImageRef img = Image::fromSurface(s, scale);
  cairo_surface_destroy(s);
  return img;
}

// ---- PNG ----

struct ByteReader {
  const std::uint8_t* p;
  size_t left;
};

cairo_status_t readBytes(void* closure, unsigned char* data, unsigned int length) {
  auto* r = static_cast<ByteReader*>(closure);
  if (length > r->left) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(data, r->p, length);
  r->p += length;
  r->left -= length;
  return CAIRO_STATUS_SUCCESS;
}

std::uint32_t be32(const std::uint8_t* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

ImageRef decodePng(std::span<const std::uint8_t> bytes, float scale) {
  // Signature, then the IHDR chunk: length, type, width, height.
  if (bytes.size() < 33 || std::memcmp(bytes.data() + 12, "IHDR", 4) != 0) return nullptr;
  if (!acceptableSize(be32(bytes.data() + 16), be32(bytes.data() + 20))) return nullptr;
  ByteReader r{bytes.data(), bytes.size()};
  cairo_surface_t* s = cairo_image_surface_create_from_png_stream(readBytes, &r);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  return adopt(s, scale);
}

// ---- JPEG ----

struct JpegError {
  jpeg_error_mgr mgr;
  jmp_buf jump;
};

void jpegFail(j_common_ptr info) {
  longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}
void jpegQuiet(j_common_ptr, int) {}
void jpegNoOutput(j_common_ptr) {}

void initJpegError(JpegError& err) {
  jpeg_std_error(&err.mgr);
  err.mgr.error_exit = jpegFail;
  err.mgr.emit_message = jpegQuiet;
  err.mgr.output_message = jpegNoOutput;
}

// Plain C data only between setjmp and longjmp: nothing here has a destructor to skip.
cairo_surface_t* decodeJpegSurface(const std::uint8_t* data, size_t size) {
  jpeg_decompress_struct info;
  JpegError err;
  initJpegError(err);
  info.err = &err.mgr;
  cairo_surface_t* volatile surface = nullptr;
  JSAMPLE* volatile row = nullptr;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&info);
    free(row);
    if (surface) cairo_surface_destroy(surface);
    return nullptr;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK ||
      !acceptableSize(info.image_width, info.image_height)) {
    jpeg_destroy_decompress(&info);
    return nullptr;
  }
  bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  if (cmyk)
    info.out_color_space = JCS_CMYK;
  else
    info.out_color_space = std::endian::native == std::endian::little ? JCS_EXT_BGRX : JCS_EXT_XRGB;
  jpeg_start_decompress(&info);
  int w = static_cast<int>(info.output_width), h = static_cast<int>(info.output_height);
  surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS || info.output_components != 4) {
    cairo_surface_destroy(surface);
    surface = nullptr;
    jpeg_destroy_decompress(&info);
    return nullptr;
  }
  unsigned char* out = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  if (cmyk) row = static_cast<JSAMPLE*>(malloc(static_cast<size_t>(w) * 4));
  while (info.output_scanline < info.output_height) {
    unsigned char* line = out + static_cast<size_t>(info.output_scanline) * stride;
    JSAMPROW rows[1] = {cmyk ? row : line};
    if (jpeg_read_scanlines(&info, rows, 1) != 1) break;
    if (cmyk) {
      // Adobe writes inverted CMYK; others write it plain.
      bool inverted = info.saw_Adobe_marker;
      auto* px = reinterpret_cast<std::uint32_t*>(line);
      for (int x = 0; x < w; ++x) {
        unsigned c = row[4 * x], m = row[4 * x + 1], y = row[4 * x + 2], k = row[4 * x + 3];
        if (!inverted) {
          c = 255 - c; m = 255 - m; y = 255 - y; k = 255 - k;
        }
        std::uint32_t r = c * k / 255, g = m * k / 255, b = y * k / 255;
        px[x] = 0xff000000u | (r << 16) | (g << 8) | b;
      }
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  free(row);
  cairo_surface_mark_dirty(surface);
  return surface;
}

// ---- GIF ----

struct GifSource {
  const std::uint8_t* p;
  size_t left;
};

int gifRead(GifFileType* gif, GifByteType* buf, int len) {
  auto* s = static_cast<GifSource*>(gif->UserData);
  size_t n = std::min(static_cast<size_t>(std::max(len, 0)), s->left);
  std::memcpy(buf, s->p, n);
  s->p += n;
  s->left -= n;
  return static_cast<int>(n);
}

struct GifCloser {
  GifFileType* gif;
  ~GifCloser() {
    int e;
    if (gif) DGifCloseFile(gif, &e);
  }
};

ImageRef decodeGif(std::span<const std::uint8_t> bytes, float scale) {
  GifSource src{bytes.data(), bytes.size()};
  int error = 0;
  GifCloser file{DGifOpen(&src, gifRead, &error)};
  GifFileType* gif = file.gif;
  if (!gif) return nullptr;
  int transparent = NO_TRANSPARENT_COLOR;
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return nullptr;
    if (type == TERMINATE_RECORD_TYPE) return nullptr;
    if (type == EXTENSION_RECORD_TYPE) {
      int code;
      GifByteType* ext = nullptr;
      if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR) return nullptr;
      if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
        GraphicsControlBlock gcb;
        if (DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK) transparent = gcb.TransparentColor;
      }
      while (ext) {
        if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR) return nullptr;
      }
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif) == GIF_ERROR) return nullptr;
    const GifImageDesc& d = gif->Image;
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
    if (!map || !map->Colors || d.Width <= 0 || d.Height <= 0) return nullptr;
    int cw = gif->SWidth > 0 ? gif->SWidth : d.Left + d.Width;
    int ch = gif->SHeight > 0 ? gif->SHeight : d.Top + d.Height;
    if (!acceptableSize(static_cast<std::uint64_t>(cw), static_cast<std::uint64_t>(ch)) ||
        !acceptableSize(static_cast<std::uint64_t>(d.Width), static_cast<std::uint64_t>(d.Height)))
      return nullptr;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cw, ch);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(s);
      return nullptr;
    }
    cairo_surface_flush(s);
    unsigned char* out = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    std::vector<GifPixelType> line(static_cast<size_t>(d.Width));
    auto put = [&](int fy) {
      int y = d.Top + fy;
      if (y < 0 || y >= ch) return;
      auto* px = reinterpret_cast<std::uint32_t*>(out + static_cast<size_t>(y) * stride);
      for (int fx = 0; fx < d.Width; ++fx) {
        int x = d.Left + fx, i = line[static_cast<size_t>(fx)];
        if (x < 0 || x >= cw || i == transparent || i >= map->ColorCount) continue;
        const GifColorType& c = map->Colors[i];
        px[x] = 0xff000000u | (std::uint32_t(c.Red) << 16) | (std::uint32_t(c.Green) << 8) | c.Blue;
      }
    };
    bool ok = true;
    if (d.Interlace) {
      static constexpr int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4 && ok; ++pass)
        for (int fy = start[pass]; fy < d.Height && ok; fy += step[pass]) {
          ok = DGifGetLine(gif, line.data(), d.Width) == GIF_OK;
          if (ok) put(fy);
        }
    } else {
      for (int fy = 0; fy < d.Height && ok; ++fy) {
        ok = DGifGetLine(gif, line.data(), d.Width) == GIF_OK;
        if (ok) put(fy);
      }
    }
    if (!ok) {
      cairo_surface_destroy(s);
      return nullptr;
    }
    cairo_surface_mark_dirty(s);
    return adopt(s, scale);
  }
}

}  // namespace

ImageRef Image::fromData(std::span<const std::uint8_t> bytes, float scale) {
  static constexpr std::uint8_t pngSig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (bytes.size() >= 8 && std::memcmp(bytes.data(), pngSig, 8) == 0) return decodePng(bytes, scale);
  if (bytes.size() >= 3 && bytes[0] == 0xff && bytes[1] == 0xd8 && bytes[2] == 0xff)
    return adopt(decodeJpegSurface(bytes.data(), bytes.size()), scale);
  if (bytes.size() >= 6 && (std::memcmp(bytes.data(), "GIF87a", 6) == 0 ||
                            std::memcmp(bytes.data(), "GIF89a", 6) == 0))
    return decodeGif(bytes, scale);
  return nullptr;
}

ImageRef Image::fromFile(const std::string& path, float scale) {
  // Only a regular file of bounded size holds an image: a pipe or a device is never waited on.
  const std::optional<Data> read = FileManager::readFile(path);
  if (!read) return nullptr;
  const Data& bytes = *read;
  size_t dot = path.find_last_of('.');
  if (dot != std::string::npos && path.find('/', dot) == std::string::npos) {
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == "svg") return fromSvgData(bytes, scale);
  }
  return fromData(bytes, scale);
}

namespace {

// librsvg brings a dozen libraries of its own that a render does not need: it is opened when
// the first SVG is read, not at start-up.
struct RsvgCalls {
  decltype(&rsvg_handle_new_from_data) newFromData;
  decltype(&rsvg_handle_get_intrinsic_size_in_pixels) sizeInPixels;
  decltype(&rsvg_handle_get_intrinsic_dimensions) dimensions;
  decltype(&rsvg_handle_render_document) renderDocument;
  decltype(&g_object_unref) unref;
  decltype(&g_error_free) freeError;
};

const RsvgCalls* rsvg() {
  // The GObject calls are found among librsvg's own dependencies.
  static const std::optional<RsvgCalls> calls = loadCalls<RsvgCalls>("librsvg-2.so.2", [](RsvgCalls& c, auto find) {
    return find(c.newFromData, "rsvg_handle_new_from_data") &&
           find(c.sizeInPixels, "rsvg_handle_get_intrinsic_size_in_pixels") &&
           find(c.dimensions, "rsvg_handle_get_intrinsic_dimensions") &&
           find(c.renderDocument, "rsvg_handle_render_document") && find(c.unref, "g_object_unref") &&
           find(c.freeError, "g_error_free");
  });
  return calls ? &*calls : nullptr;
}

}  // namespace

ImageRef Image::fromSvgData(std::span<const std::uint8_t> bytes, float scale) {
  const RsvgCalls* svg = rsvg();
  if (bytes.empty() || !svg) return nullptr;
  if (!(scale > 0) || !std::isfinite(scale)) scale = 1;
  GError* error = nullptr;
  RsvgHandle* handle = svg->newFromData(bytes.data(), bytes.size(), &error);
  if (!handle) {
    if (error) svg->freeError(error);
    return nullptr;
  }
  double w = 0, h = 0;
  if (!svg->sizeInPixels(handle, &w, &h)) {
    gboolean hasViewBox = FALSE;
    RsvgRectangle viewBox;
    svg->dimensions(handle, nullptr, nullptr, nullptr, nullptr, &hasViewBox, &viewBox);
    if (hasViewBox) {
      w = viewBox.width;
      h = viewBox.height;
    }
  }
  double pw = std::ceil(w * scale), ph = std::ceil(h * scale);
  if (!(pw >= 1 && ph >= 1) || !acceptableSize(static_cast<std::uint64_t>(pw), static_cast<std::uint64_t>(ph))) {
    svg->unref(handle);
    return nullptr;
  }
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(pw), static_cast<int>(ph));
  cairo_t* cr = cairo_create(s);
  RsvgRectangle viewport{0, 0, pw, ph};
  gboolean ok = svg->renderDocument(handle, cr, &viewport, &error);
  cairo_destroy(cr);
  svg->unref(handle);
  if (error) svg->freeError(error);
  if (!ok || cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  return adopt(s, scale);
}

// ---- Encoding ----

namespace {

// Encoded bytes go to the sink in pieces of this size rather than zlib's or libjpeg's few
// kilobytes, so that a file sink makes few writes.
constexpr std::size_t kSinkPiece = 256 * 1024;

// Cairo's writer (zlib's default level, every filter tried on every row) dominated the time of a
// large export. Maps are flat colours over rows much like the one above: the Up filter alone
// suits them, and level 3 takes about a third less time than level 4 for an 8% larger file.
constexpr int kPngCompressionLevel = 3;
constexpr int kPngFilters = PNG_FILTER_UP;

// One row of native-endian premultiplied ARGB (or xRGB) words as straight RGBA (or RGB) bytes.
void convertRow(const unsigned char* src, unsigned char* dst, int w, bool alpha) {
  for (int x = 0; x < w; ++x) {
    std::uint32_t v;
    std::memcpy(&v, src + static_cast<size_t>(x) * 4, 4);
    unsigned r = (v >> 16) & 0xff, g = (v >> 8) & 0xff, b = v & 0xff;
    if (!alpha) {
      dst[0] = static_cast<unsigned char>(r);
      dst[1] = static_cast<unsigned char>(g);
      dst[2] = static_cast<unsigned char>(b);
      dst += 3;
      continue;
    }
    unsigned a = v >> 24;
    if (a == 0) {
      r = g = b = 0;
    } else if (a != 255) {
      r = std::min(255u, (r * 255 + a / 2) / a);
      g = std::min(255u, (g * 255 + a / 2) / a);
      b = std::min(255u, (b * 255 + a / 2) / a);
    }
    dst[0] = static_cast<unsigned char>(r);
    dst[1] = static_cast<unsigned char>(g);
    dst[2] = static_cast<unsigned char>(b);
    dst[3] = static_cast<unsigned char>(a);
    dst += 4;
  }
}

// Collects encoded bytes and passes them on in large pieces.
class SinkBuffer {
 public:
  explicit SinkBuffer(ByteSink sink) : sink_(std::move(sink)) { buffer_.reserve(kSinkPiece); }
  bool append(const unsigned char* data, std::size_t length) {
    if (buffer_.size() + length > kSinkPiece && !flush()) return false;
    if (length >= kSinkPiece) return sink_(std::span<const std::uint8_t>(data, length));
    buffer_.insert(buffer_.end(), data, data + length);
    return true;
  }
  bool flush() {
    if (buffer_.empty()) return true;
    const bool ok = sink_(std::span<const std::uint8_t>(buffer_.data(), buffer_.size()));
    buffer_.clear();
    return ok;
  }

 private:
  ByteSink sink_;
  std::vector<std::uint8_t> buffer_;
};

// libpng and libjpeg report errors by longjmp: every entry point below sets its jump point
// first, and only plain data changes between the jump point and the library calls.
class PngEncoder final : public RowEncoder {
 public:
  PngEncoder(int w, int h, bool alpha, ByteSink sink)
      : out_(std::move(sink)), row_(static_cast<size_t>(w) * 4), width_(w), height_(h), alpha_(alpha) {}
  ~PngEncoder() override { png_destroy_write_struct(&png_, &info_); }

  bool start() {
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    info_ = png_ ? png_create_info_struct(png_) : nullptr;
    if (!info_) return false;
    if (setjmp(png_jmpbuf(png_))) return false;
    png_set_write_fn(png_, this, write, flush);
    png_set_compression_level(png_, kPngCompressionLevel);
    png_set_filter(png_, PNG_FILTER_TYPE_BASE, kPngFilters);
    png_set_IHDR(png_, info_, static_cast<png_uint_32>(width_), static_cast<png_uint_32>(height_), 8,
                 alpha_ ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png_, info_);
    return true;
  }

  bool writeRows(const unsigned char* data, std::size_t stride, int rows) override {
    if (failed_ || rows > height_ - written_) return fail();
    if (setjmp(png_jmpbuf(png_))) return fail();
    for (int y = 0; y < rows; ++y) {
      convertRow(data + static_cast<size_t>(y) * stride, row_.data(), width_, alpha_);
      png_write_row(png_, row_.data());
    }
    written_ += rows;
    return true;
  }

  bool finish() override {
    if (failed_ || written_ != height_) return fail();
    if (setjmp(png_jmpbuf(png_))) return fail();
    png_write_end(png_, info_);
    return out_.flush() || fail();
  }

 private:
  bool fail() { return failed_ = true, false; }
  static void write(png_structp png, png_bytep data, png_size_t length) {
    auto* self = static_cast<PngEncoder*>(png_get_io_ptr(png));
    if (!self->out_.append(data, length)) png_error(png, "cannot write");
  }
  static void flush(png_structp) {}
  [[noreturn]] static void pngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
  static void pngWarning(png_structp, png_const_charp) {}

  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
  SinkBuffer out_;
  std::vector<unsigned char> row_;
  int width_, height_, written_ = 0;
  bool alpha_, failed_ = false;
};

class JpegEncoder final : public RowEncoder {
 public:
  JpegEncoder(int w, int h, bool alpha, ByteSink sink)
      : out_(std::move(sink)), buffer_(kSinkPiece), row_(static_cast<size_t>(w) * 3), width_(w), height_(h),
        alpha_(alpha) {}
  ~JpegEncoder() override {
    if (created_) jpeg_destroy_compress(&info_);
  }

  bool start(int quality) {
    initJpegError(err_);
    info_.err = &err_.mgr;
    if (setjmp(err_.jump)) return false;
    jpeg_create_compress(&info_);
    created_ = true;
    dest_.init_destination = initDestination;
    dest_.empty_output_buffer = emptyOutputBuffer;
    dest_.term_destination = termDestination;
    info_.dest = &dest_;
    info_.client_data = this;
    info_.image_width = static_cast<JDIMENSION>(width_);
    info_.image_height = static_cast<JDIMENSION>(height_);
    info_.input_components = 3;
    info_.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info_);
    jpeg_set_quality(&info_, quality, TRUE);
    // Full-resolution chroma: no 4:2:0 smearing of coloured edges and text.
    for (int c = 0; c < info_.num_components; ++c) {
      info_.comp_info[c].h_samp_factor = 1;
      info_.comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(&info_, TRUE);
    return true;
  }

  bool writeRows(const unsigned char* data, std::size_t stride, int rows) override {
    if (failed_ || rows > height_ - written_) return fail();
    if (setjmp(err_.jump)) return fail();
    unsigned char* out = row_.data();
    for (int y = 0; y < rows; ++y) {
      const unsigned char* line = data + static_cast<size_t>(y) * stride;
      for (int x = 0; x < width_; ++x) {
        std::uint32_t v;
        std::memcpy(&v, line + 4 * x, 4);
        unsigned a = alpha_ ? v >> 24 : 255;
        // Premultiplied over white: colour + (1 - alpha).
        out[3 * x] = static_cast<unsigned char>(((v >> 16) & 0xff) + 255 - a);
        out[3 * x + 1] = static_cast<unsigned char>(((v >> 8) & 0xff) + 255 - a);
        out[3 * x + 2] = static_cast<unsigned char>((v & 0xff) + 255 - a);
      }
      JSAMPROW r[1] = {out};
      jpeg_write_scanlines(&info_, r, 1);
    }
    written_ += rows;
    return true;
  }

  bool finish() override {
    if (failed_ || written_ != height_) return fail();
    if (setjmp(err_.jump)) return fail();
    jpeg_finish_compress(&info_);
    return out_.flush() || fail();
  }

 private:
  bool fail() { return failed_ = true, false; }
  static JpegEncoder* self(j_compress_ptr info) { return static_cast<JpegEncoder*>(info->client_data); }
  static void initDestination(j_compress_ptr info) {
    JpegEncoder* e = self(info);
    e->dest_.next_output_byte = e->buffer_.data();
    e->dest_.free_in_buffer = e->buffer_.size();
  }
  static boolean emptyOutputBuffer(j_compress_ptr info) {
    JpegEncoder* e = self(info);
    // libjpeg asks for the whole buffer to be taken, whatever free_in_buffer says.
    if (!e->out_.append(e->buffer_.data(), e->buffer_.size())) ERREXIT(info, JERR_FILE_WRITE);
    initDestination(info);
    return TRUE;
  }
  static void termDestination(j_compress_ptr info) {
    JpegEncoder* e = self(info);
    if (!e->out_.append(e->buffer_.data(), e->buffer_.size() - e->dest_.free_in_buffer))
      ERREXIT(info, JERR_FILE_WRITE);
  }

  jpeg_compress_struct info_{};
  JpegError err_;
  jpeg_destination_mgr dest_{};
  SinkBuffer out_;
  std::vector<unsigned char> buffer_, row_;
  int width_, height_, written_ = 0;
  bool alpha_, created_ = false, failed_ = false;
};

// True when every pixel of the ARGB32 surface is opaque.
bool allOpaque(const unsigned char* data, int w, int h, int stride) {
  for (int y = 0; y < h; ++y) {
    const unsigned char* row = data + static_cast<size_t>(y) * stride;
    for (int x = 0; x < w; ++x) {
      std::uint32_t v;
      std::memcpy(&v, row + static_cast<size_t>(x) * 4, 4);
      if ((v >> 24) != 0xff) return false;
    }
  }
  return true;
}

// The whole surface through an encoder into bytes.
std::optional<std::vector<std::uint8_t>> encodeSurface(
    cairo_surface_t* s, const std::function<std::unique_ptr<RowEncoder>(int, int, ByteSink)>& make) {
  cairo_surface_flush(s);
  const unsigned char* data = cairo_image_surface_get_data(s);
  const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  if (!data) return std::nullopt;
  std::vector<std::uint8_t> out;
  auto append = [&out](std::span<const std::uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
    return true;
  };
  std::unique_ptr<RowEncoder> encoder = make(w, h, append);
  if (!encoder || !encoder->writeRows(data, static_cast<size_t>(cairo_image_surface_get_stride(s)), h) ||
      !encoder->finish() || out.empty())
    return std::nullopt;
  return out;
}

}  // namespace

int maxPngSide() { return std::min(PNG_USER_WIDTH_MAX, PNG_USER_HEIGHT_MAX); }
int maxJpegSide() { return static_cast<int>(JPEG_MAX_DIMENSION); }

std::unique_ptr<RowEncoder> makePngEncoder(int width, int height, bool alpha, ByteSink sink) {
  if (width < 1 || height < 1 || width > maxPngSide() || height > maxPngSide()) return nullptr;
  auto e = std::make_unique<PngEncoder>(width, height, alpha, std::move(sink));
  return e->start() ? std::move(e) : nullptr;
}

std::unique_ptr<RowEncoder> makeJpegEncoder(int width, int height, bool alpha, int quality, ByteSink sink) {
  if (width < 1 || height < 1 || width > maxJpegSide() || height > maxJpegSide()) return nullptr;
  auto e = std::make_unique<JpegEncoder>(width, height, alpha, std::move(sink));
  return e->start(std::clamp(quality, 1, 100)) ? std::move(e) : nullptr;
}

std::optional<std::vector<std::uint8_t>> Image::pngData() const {
  cairo_surface_flush(surface_);
  const bool alpha = cairo_image_surface_get_format(surface_) == CAIRO_FORMAT_ARGB32 &&
                     !allOpaque(cairo_image_surface_get_data(surface_), cairo_image_surface_get_width(surface_),
                                cairo_image_surface_get_height(surface_), cairo_image_surface_get_stride(surface_));
  return encodeSurface(surface_, [alpha](int w, int h, ByteSink sink) {
    return makePngEncoder(w, h, alpha, std::move(sink));
  });
}

std::optional<std::vector<std::uint8_t>> Image::jpegData(float quality) const {
  if (!std::isfinite(quality)) quality = 1;
  const int q = static_cast<int>(std::nearbyint(std::clamp(quality, 0.0f, 1.0f) * 100));
  const bool alpha = hasAlpha();
  return encodeSurface(surface_, [alpha, q](int w, int h, ByteSink sink) {
    return makeJpegEncoder(w, h, alpha, q, std::move(sink));
  });
}

}  // namespace kit
