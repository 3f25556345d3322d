// The grip beside the selected topic that resizes it (sideways: width; up or down: font size in
// steps) and the small read-out of width and font size shown while resizing. The grip follows
// its touch itself, as a pan (moved) or a tap (lifted where it went down), and reports to the
// canvas.
#pragma once

#include "kit/core/geometry.h"
#include "kit/ui/view.h"

class BigView;

class TopicResizeTool : public kit::View {
 public:
  // Pan states sent to the canvas.
  enum State { Began = 1, Changed = 2, Ended = 3, Cancelled = 4 };

  TopicResizeTool(const kit::Rect& frame, BigView* canvas);
  void drawRect(kit::GraphicsContext& context, const kit::Rect& rect) override;
  void touchesBegan(const kit::TouchSet& touches, const kit::Event& event) override;
  void touchesMoved(const kit::TouchSet& touches, const kit::Event& event) override;
  void touchesEnded(const kit::TouchSet& touches, const kit::Event& event) override;
  void touchesCancelled(const kit::TouchSet& touches, const kit::Event& event) override;

  int type() const { return type_; }
  bool dragging() const { return dragging_; }
  void setDragging(bool d);
  bool rightHanded() const { return rightHanded_; }
  void setRightHanded(bool r);
  kit::Rect preResizeNodeFrame, preResizeBranchFrame;
  // The pan's translation in canvas coordinates since it began or was last set.
  kit::Point translation() const;
  void setTranslation(kit::Point t);

 private:
  BigView* canvas_;
  int type_ = 0;
  bool dragging_ = false;
  bool rightHanded_ = true;
  kit::Touch* touch_ = nullptr;
  bool panning_ = false;
  kit::Point start_;  // the finger in the canvas where the translation is zero
};

class TopicResizeIndicator : public kit::View {
 public:
  explicit TopicResizeIndicator(const kit::Rect& frame);
  ~TopicResizeIndicator() override;
  void drawRect(kit::GraphicsContext& context, const kit::Rect& rect) override;
  void refreshFontSize(float fontSize, float width);
  void autoHide(double delay);
  void onAutoHide();
  float fontSize() const { return fontSize_; }
  float width() const { return width_; }

 private:
  float fontSize_ = 0;
  float width_ = 0;
  bool autoHiding_ = false;
};
