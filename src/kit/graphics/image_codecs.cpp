// Decoders and encoders behind Image: PNG read through Cairo and written through libpng, JPEG through libjpeg-turbo, GIF through
// giflib, SVG through librsvg. Every decoder checks the declared size before allocating, so
// damaged or hostile headers give a null image instead of a huge allocation.
#include <cairo.h>
#include <gif_lib.h>
#include <librsvg/rsvg.h>
#include <setjmp.h>
#include <stdio.h>

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "kit/graphics/image.h"

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

// Cairo's writer (zlib's default level, every filter tried on every row) dominated the time of a
// large export. Maps are flat colours over rows much like the one above: level 4 with the Up
// filter alone takes about 40% less time for a slightly smaller file.
constexpr int kPngCompressionLevel = 4;
constexpr int kPngFilters = PNG_FILTER_UP;

void appendPng(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  bool failed = false;
  try {
    out->insert(out->end(), data, data + length);
  } catch (...) {
    failed = true;
  }
  if (failed) png_error(png, "out of memory");  // outside the handler: it does not return
}

void flushPng(png_structp) {}

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

// Only plain C data lives in this frame: libpng leaves it by longjmp on errors.
bool encodePng(cairo_surface_t* s, std::vector<std::uint8_t>* out) {
  cairo_surface_flush(s);
  const unsigned char* data = cairo_image_surface_get_data(s);
  const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  const int stride = cairo_image_surface_get_stride(s);
  if (!data || w < 1 || h < 1) return false;
  const bool alpha = cairo_image_surface_get_format(s) == CAIRO_FORMAT_ARGB32 && !allOpaque(data, w, h, stride);
  unsigned char* row = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(w) * 4));
  if (!row) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::free(row);
    return false;
  }
  png_set_write_fn(png, out, appendPng, flushPng);
  png_set_compression_level(png, kPngCompressionLevel);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, kPngFilters);
  png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8,
               alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) {
    convertRow(data + static_cast<size_t>(y) * stride, row, w, alpha);
    png_write_row(png, row);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::free(row);
  return true;
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
  // Plain reads: streams throw on folders, and only regular files hold images.
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return nullptr;
  std::vector<std::uint8_t> bytes;
  std::uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return nullptr;
  size_t dot = path.find_last_of('.');
  if (dot != std::string::npos && path.find('/', dot) == std::string::npos) {
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == "svg") return fromSvgData(bytes, scale);
  }
  return fromData(bytes, scale);
}

ImageRef Image::fromSvgData(std::span<const std::uint8_t> bytes, float scale) {
  if (bytes.empty()) return nullptr;
  if (!(scale > 0) || !std::isfinite(scale)) scale = 1;
  GError* error = nullptr;
  RsvgHandle* handle = rsvg_handle_new_from_data(bytes.data(), bytes.size(), &error);
  if (!handle) {
    if (error) g_error_free(error);
    return nullptr;
  }
  double w = 0, h = 0;
  if (!rsvg_handle_get_intrinsic_size_in_pixels(handle, &w, &h)) {
    gboolean hasViewBox = FALSE;
    RsvgRectangle viewBox;
    rsvg_handle_get_intrinsic_dimensions(handle, nullptr, nullptr, nullptr, nullptr, &hasViewBox, &viewBox);
    if (hasViewBox) {
      w = viewBox.width;
      h = viewBox.height;
    }
  }
  double pw = std::ceil(w * scale), ph = std::ceil(h * scale);
  if (!(pw >= 1 && ph >= 1) || !acceptableSize(static_cast<std::uint64_t>(pw), static_cast<std::uint64_t>(ph))) {
    g_object_unref(handle);
    return nullptr;
  }
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(pw), static_cast<int>(ph));
  cairo_t* cr = cairo_create(s);
  RsvgRectangle viewport{0, 0, pw, ph};
  gboolean ok = rsvg_handle_render_document(handle, cr, &viewport, &error);
  cairo_destroy(cr);
  g_object_unref(handle);
  if (error) g_error_free(error);
  if (!ok || cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  return adopt(s, scale);
}

// ---- Encoding ----

namespace {

// Plain C data only between setjmp and longjmp.
bool encodeJpeg(cairo_surface_t* s, bool alpha, int quality, unsigned char** outBuf, unsigned long* outSize) {
  int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  const unsigned char* data = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  jpeg_compress_struct info;
  JpegError err;
  initJpegError(err);
  info.err = &err.mgr;
  unsigned char* volatile row = nullptr;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&info);
    free(row);
    free(*outBuf);
    *outBuf = nullptr;
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, outBuf, outSize);
  info.image_width = static_cast<JDIMENSION>(w);
  info.image_height = static_cast<JDIMENSION>(h);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  // Full-resolution chroma: no 4:2:0 smearing of coloured edges and text.
  for (int c = 0; c < info.num_components; ++c) {
    info.comp_info[c].h_samp_factor = 1;
    info.comp_info[c].v_samp_factor = 1;
  }
  jpeg_start_compress(&info, TRUE);
  row = static_cast<unsigned char*>(malloc(static_cast<size_t>(w) * 3));
  while (info.next_scanline < info.image_height) {
    std::uint32_t v;
    const unsigned char* line = data + static_cast<size_t>(info.next_scanline) * stride;
    for (int x = 0; x < w; ++x) {
      std::memcpy(&v, line + 4 * x, 4);
      unsigned a = alpha ? v >> 24 : 255;
      // Premultiplied over white: colour + (1 - alpha).
      row[3 * x] = static_cast<unsigned char>(((v >> 16) & 0xff) + 255 - a);
      row[3 * x + 1] = static_cast<unsigned char>(((v >> 8) & 0xff) + 255 - a);
      row[3 * x + 2] = static_cast<unsigned char>((v & 0xff) + 255 - a);
    }
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  free(row);
  return true;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> Image::pngData() const {
  std::vector<std::uint8_t> out;
  if (!encodePng(surface_, &out) || out.empty()) return std::nullopt;
  return out;
}

std::optional<std::vector<std::uint8_t>> Image::jpegData(float quality) const {
  if (!std::isfinite(quality)) quality = 1;
  int q = static_cast<int>(std::nearbyint(std::clamp(quality, 0.0f, 1.0f) * 100));
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  if (!encodeJpeg(surface_, hasAlpha(), std::max(q, 1), &buf, &size) || !buf || size == 0) {
    free(buf);
    return std::nullopt;
  }
  std::vector<std::uint8_t> out(buf, buf + size);
  free(buf);
  return out;
}

}  // namespace kit
