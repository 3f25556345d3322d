// Layout and drawing tests: a deterministic text measurer and access to the editing state and the
// stored image size.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <string>

#include "helpers/text_measure.h"
#include "kit/typography/font.h"
#include "model/tree_builder.h"

class NodeViewLayoutTestAccess {
 public:
  // Opens a stand-in editor view, as the in-place editor does.
  static UITextViewEx* openEditor(NodeView* n, kit::Rect frame = kit::Rect(0, 0, 50, 30)) {
    n->inPlaceEditTextView_ = std::make_unique<UITextViewEx>(frame);
    n->inPlaceEditTextView_->setFont(n->getFont());
    n->inPlaceEditTextView_->setText(n->strName());
    return n->inPlaceEditTextView_.get();
  }
  static void closeEditor(NodeView* n) { n->inPlaceEditTextView_.reset(); }
  static void setImageSize(NodeView* n, kit::Size s) { n->rareForWriting().imageSize = s; }
};

// Every character advances half the font size; lines are the font size + 3 high; text wraps
// at whole characters within the width and keeps the whole lines that fit the height (at
// least one); one trailing line break adds no line. Counts its calls.
struct FakeMeasurer {
  static inline std::atomic<int> calls{0};
  static inline kit::Size lastConstraint;

  static kit::Size measure(std::string_view text, const kit::Font& font, kit::Size c) {
    ++calls;
    lastConstraint = c;
    if (text.empty()) return kit::Size();
    if (text.back() == '\n') text.remove_suffix(1);
    const float adv = font.pointSize() / 2, lineH = font.pointSize() + 3;
    const std::size_t perLine = c.width > 0 ? std::max<std::size_t>(1, std::size_t(c.width / adv)) : 1u << 30;
    std::size_t lines = 0, widest = 0;
    std::size_t start = 0;
    while (true) {
      std::size_t nl = text.find('\n', start);
      std::size_t len = (nl == std::string_view::npos ? text.size() : nl) - start;
      std::size_t n = len == 0 ? 1 : (len + perLine - 1) / perLine;
      lines += n;
      widest = std::max(widest, std::min(len, perLine));
      if (nl == std::string_view::npos) break;
      start = nl + 1;
    }
    if (c.height > 0) lines = std::max<std::size_t>(1, std::min<std::size_t>(lines, std::size_t(c.height / lineH)));
    return kit::Size(std::ceil(widest * adv), std::ceil(lines * lineH));
  }
};

// Installs the fake measurer for a test's lifetime.
class FakeMeasureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    strings::setSizeMeasurerForTesting(&FakeMeasurer::measure);
    FakeMeasurer::calls = 0;
  }
  void TearDown() override { strings::setSizeMeasurerForTesting(nullptr); }
};
