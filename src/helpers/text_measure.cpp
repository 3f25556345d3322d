#include "helpers/text_measure.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "helpers/strings.h"
#include "kit/typography/string_drawing.h"

namespace strings {

namespace {

// Sizes already measured, by everything the measuring depends on: the text, the face (bold,
// italic), the size and the constraint. Copies of a branch repeat the texts of the topics they
// were copied from, and a map laid out again meets its texts again, so these are measured once
// per process instead of once per topic. Two generations: when the newer is full the older is
// dropped, so what is still used survives and the memory stays bounded.
class MeasuredSizes {
 public:
  static MeasuredSizes& shared() {
    static MeasuredSizes* sizes = new MeasuredSizes();  // never destroyed: measuring may run at exit
    return *sizes;
  }

  static std::string keyOf(std::string_view text, const kit::Font& font, kit::Size constraint) {
    const float numbers[] = {font.pointSize(), constraint.width, constraint.height};
    std::string key;
    key.reserve(text.size() + sizeof numbers + 2);
    key.append(reinterpret_cast<const char*>(numbers), sizeof numbers);
    key += static_cast<char>((font.isBold() ? 1 : 0) | (font.isItalic() ? 2 : 0));
    key.append(text);
    return key;
  }

  std::optional<kit::Size> find(const std::string& key) {
    std::lock_guard lock(mutex_);
    if (auto it = newer_.find(key); it != newer_.end()) return it->second;
    auto it = older_.find(key);
    if (it == older_.end()) return std::nullopt;
    const kit::Size size = it->second;
    insertLocked(key, size);
    return size;
  }

  void insert(const std::string& key, kit::Size size) {
    std::lock_guard lock(mutex_);
    insertLocked(key, size);
  }

  void clear() {
    std::lock_guard lock(mutex_);
    newer_.clear();
    older_.clear();
    newerBytes_ = 0;
  }

 private:
  // A generation holds at most this many sizes, or keys of this many bytes in all.
  static constexpr std::size_t kGeneration = 32768;
  static constexpr std::size_t kGenerationBytes = std::size_t{4} << 20;

  void insertLocked(const std::string& key, kit::Size size) {
    if (newer_.size() >= kGeneration || newerBytes_ + key.size() > kGenerationBytes) {
      older_ = std::move(newer_);
      newer_ = {};
      newerBytes_ = 0;
    }
    if (newer_.insert_or_assign(key, size).second) newerBytes_ += key.size();
  }

  std::mutex mutex_;
  std::unordered_map<std::string, kit::Size> newer_, older_;
  std::size_t newerBytes_ = 0;
};

// Long texts are measured by prefixes and are rare: only the usual topic texts are kept.
constexpr std::size_t kLongestKeptText = 1024;

kit::Size kitMeasure(std::string_view text, const kit::Font& font, kit::Size constraint) {
  if (text.size() > kLongestKeptText) return kit::sizeWithFont(text, font, constraint, kit::LineBreakMode::WordWrap);
  const std::string key = MeasuredSizes::keyOf(text, font, constraint);
  if (auto known = MeasuredSizes::shared().find(key)) return *known;
  const kit::Size size = kit::sizeWithFont(text, font, constraint, kit::LineBreakMode::WordWrap);
  MeasuredSizes::shared().insert(key, size);
  return size;
}

std::atomic<SizeMeasurer> g_measurer{&kitMeasure};

}  // namespace

void forgetMeasuredSizes() { MeasuredSizes::shared().clear(); }

void setSizeMeasurerForTesting(SizeMeasurer measurer) { g_measurer.store(measurer ? measurer : &kitMeasure); }

kit::Size sizeWithFontEx(std::string_view text, const kit::Font& font, kit::Size constrainedToSize) {
  return g_measurer.load(std::memory_order_relaxed)(text, font, constrainedToSize);
}

void drawInContext(std::string_view text, kit::GraphicsContext& context, const kit::Rect& constrainedByRect,
                   const kit::Font& withFont, const kit::Color& withColour) {
  context.setFillColor(withColour);
  context.setStrokeColor(withColour);
  kit::drawInRect(context, text, constrainedByRect, withFont, kit::LineBreakMode::WordWrap);
}

kit::Size _measureFrame(const kit::AttributedString& frame, kit::Size frameSize) {
  return kit::measureFrame(frame, frameSize);
}

std::string stringByTruncatingToWidth(std::string_view s, float width, const kit::Font& withFont) {
  std::size_t nl = s.find('\n');
  return _stringByTruncatingToWidth(nl == std::string_view::npos ? s : s.substr(0, nl), width, withFont);
}

std::string _stringByTruncatingToWidth(std::string_view s, float width, const kit::Font& withFont) {
  // Unwrapped single-line widths: a title never wraps while it is being fitted.
  return truncateToWidth(s, width, [&](std::string_view t) { return kit::sizeWithFont(t, withFont).width; });
}

}  // namespace strings
