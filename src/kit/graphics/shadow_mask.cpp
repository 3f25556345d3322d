#include "kit/graphics/shadow_mask.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <utility>
#include <list>
#include <mutex>
#include <unordered_map>

namespace kit::shadow {

namespace {

// Masks above this many pixels are drawn at a lower resolution; shadows are soft anyway.
constexpr double kMaxMaskPixels = 4.0 * 1024 * 1024;
constexpr size_t kCacheBudgetBytes = 32u * 1024 * 1024;

struct Key {
  std::vector<double> values;
  size_t hash = 0;
  bool operator==(const Key& o) const { return hash == o.hash && values == o.values; }
};
struct KeyHash {
  size_t operator()(const Key& k) const { return k.hash; }
};

size_t hashValues(const std::vector<double>& v) {
  std::uint64_t h = 1469598103934665603ull;
  for (double d : v) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    for (int i = 0; i < 8; ++i) {
      h ^= (bits >> (8 * i)) & 0xff;
      h *= 1099511628211ull;
    }
  }
  return static_cast<size_t>(h);
}

struct Cache {
  std::mutex mutex;
  std::list<std::pair<Key, MaskRef>> order;  // most recent first
  std::unordered_map<Key, std::list<std::pair<Key, MaskRef>>::iterator, KeyHash> index;
  size_t bytes = 0;
};

Cache& cache() {
  static Cache* c = new Cache;  // never destroyed: drawing threads may outlive statics
  return *c;
}

size_t maskBytes(const Mask& m) {
  return static_cast<size_t>(cairo_image_surface_get_stride(m.surface)) *
         static_cast<size_t>(cairo_image_surface_get_height(m.surface));
}

void blurLine(unsigned char* p, int n, ptrdiff_t step, int r, std::vector<unsigned>& tmp) {
  tmp.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) tmp[static_cast<size_t>(i)] = p[i * step];
  int win = 2 * r + 1;
  unsigned sum = 0;
  for (int i = -r; i <= r; ++i) sum += (i >= 0 && i < n) ? tmp[static_cast<size_t>(i)] : 0;
  for (int i = 0; i < n; ++i) {
    p[i * step] = static_cast<unsigned char>((sum + static_cast<unsigned>(win) / 2) / static_cast<unsigned>(win));
    int out = i - r, in = i + r + 1;
    if (out >= 0) sum -= tmp[static_cast<size_t>(out)];
    if (in < n) sum += tmp[static_cast<size_t>(in)];
  }
}

// The first and last non-zero bytes of p[0, n), or (n, -1) when all are zero; eight at a time,
// since most of a shadow mask is empty.
std::pair<int, int> inkedStretch(const unsigned char* p, int n) {
  auto word = [p](int i) {
    std::uint64_t v;
    std::memcpy(&v, p + i, sizeof v);
    return v;
  };
  int first = 0;
  while (first + 8 <= n && word(first) == 0) first += 8;
  while (first < n && p[first] == 0) ++first;
  if (first == n) return {n, -1};
  int last = n - 1;
  while (last - 7 > first && word(last - 7) == 0) last -= 8;
  while (p[last] == 0) --last;
  return {first, last};
}

std::atomic<size_t> blurred{0};

MaskRef render(int width, int height, double blurDevice, const std::function<void(cairo_t*)>& draw) {
  ++blurred;
  double area = static_cast<double>(width) * height;
  double scale = area > kMaxMaskPixels ? std::sqrt(kMaxMaskPixels / area) : 1.0;
  double blur = blurDevice * scale;
  int radius = blur > 0 ? std::max(1, static_cast<int>(std::lround(blur / 2))) : 0;
  int pad = 3 * radius + 1;
  int w = static_cast<int>(std::ceil(width * scale)) + 2 * pad;
  int h = static_cast<int>(std::ceil(height * scale)) + 2 * pad;
  auto m = std::make_shared<Mask>();
  m->surface = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
  if (cairo_surface_status(m->surface) != CAIRO_STATUS_SUCCESS) return nullptr;
  m->pad = pad;
  m->scale = scale;
  cairo_t* cr = cairo_create(m->surface);
  cairo_translate(cr, pad, pad);
  cairo_scale(cr, scale, scale);
  draw(cr);
  cairo_destroy(cr);
  cairo_surface_flush(m->surface);
  boxBlur(m->surface, radius);
  const unsigned char* data = cairo_image_surface_get_data(m->surface);
  const int stride = cairo_image_surface_get_stride(m->surface);
  for (int y0 = 0; y0 < h; y0 += Mask::kBandRows) {
    std::pair<int, int> band(w, -1);
    for (int y = y0; y < std::min(h, y0 + Mask::kBandRows); ++y) {
      const auto [first, last] = inkedStretch(data + static_cast<ptrdiff_t>(y) * stride, w);
      band = {std::min(band.first, first), std::max(band.second, last)};
    }
    m->bandInk.push_back(band);
  }
  return m;
}

}  // namespace

// Three passes, rows then columns, each only around where the ink can be: outside that stretch
// every window holds only zeros, so the pixels are those of blurring every whole line, and a
// mask that is mostly empty (a thin link across a tile) costs about its ink.
void boxBlur(cairo_surface_t* a8, int radius) {
  if (radius <= 0) return;
  cairo_surface_flush(a8);
  unsigned char* data = cairo_image_surface_get_data(a8);
  int w = cairo_image_surface_get_width(a8), h = cairo_image_surface_get_height(a8);
  int stride = cairo_image_surface_get_stride(a8);
  // Per row and per column, the first and last place that may be inked (hi < 0: none).
  std::vector<int> rowLo(static_cast<size_t>(h)), rowHi(static_cast<size_t>(h));
  std::vector<int> colLo(static_cast<size_t>(w)), colHi(static_cast<size_t>(w));
  for (int y = 0; y < h; ++y)
    std::tie(rowLo[static_cast<size_t>(y)], rowHi[static_cast<size_t>(y)]) =
        inkedStretch(data + static_cast<ptrdiff_t>(y) * stride, w);
  std::vector<unsigned> tmp;
  // One direction: each line that may hold ink blurred around it, noting where the crossing
  // lines may hold ink afterwards.
  auto blurLines = [&](int lines, int length, ptrdiff_t lineStep, ptrdiff_t step, const std::vector<int>& lo,
                       const std::vector<int>& hi, std::vector<int>& crossLo, std::vector<int>& crossHi) {
    std::fill(crossLo.begin(), crossLo.end(), lines);
    std::fill(crossHi.begin(), crossHi.end(), -1);
    for (int i = 0; i < lines; ++i) {
      const auto k = static_cast<size_t>(i);
      if (hi[k] < 0) continue;
      const int s = std::max(0, lo[k] - radius), e = std::min(length, hi[k] + 1 + radius);
      blurLine(data + i * lineStep + s * step, e - s, step, radius, tmp);
      for (int j = s; j < e; ++j) {
        crossLo[static_cast<size_t>(j)] = std::min(crossLo[static_cast<size_t>(j)], i);
        crossHi[static_cast<size_t>(j)] = i;
      }
    }
  };
  for (int pass = 0; pass < 3; ++pass) {
    blurLines(h, w, stride, 1, rowLo, rowHi, colLo, colHi);
    blurLines(w, h, 1, stride, colLo, colHi, rowLo, rowHi);
  }
  cairo_surface_mark_dirty(a8);
}

MaskRef blurredMask(int width, int height, double blurDevice, const std::function<void(cairo_t*)>& draw,
                    const std::vector<double>* key) {
  if (width <= 0 || height <= 0) return nullptr;
  if (!key) return render(width, height, blurDevice, draw);
  Key k;
  k.values = *key;
  k.values.push_back(width);
  k.values.push_back(height);
  k.values.push_back(blurDevice);
  k.hash = hashValues(k.values);
  Cache& c = cache();
  {
    std::lock_guard<std::mutex> lock(c.mutex);
    auto it = c.index.find(k);
    if (it != c.index.end()) {
      c.order.splice(c.order.begin(), c.order, it->second);
      return it->second->second;
    }
  }
  // Rendered outside the lock: two threads may both render a new shape; the second one wins.
  MaskRef m = render(width, height, blurDevice, draw);
  if (!m) return nullptr;
  std::lock_guard<std::mutex> lock(c.mutex);
  auto it = c.index.find(k);
  if (it != c.index.end()) {
    c.bytes -= maskBytes(*it->second->second);
    c.order.erase(it->second);
    c.index.erase(it);
  }
  c.order.emplace_front(k, m);
  c.index.emplace(std::move(k), c.order.begin());
  c.bytes += maskBytes(*m);
  while (c.bytes > kCacheBudgetBytes && c.order.size() > 1) {
    auto& last = c.order.back();
    c.bytes -= maskBytes(*last.second);
    c.index.erase(last.first);
    c.order.pop_back();
  }
  return m;
}

size_t blurredMaskCount() { return blurred.load(); }

size_t cachedMaskCount() {
  Cache& c = cache();
  std::lock_guard<std::mutex> lock(c.mutex);
  return c.order.size();
}

void clearMaskCache() {
  Cache& c = cache();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.order.clear();
  c.index.clear();
  c.bytes = 0;
}

}  // namespace kit::shadow
