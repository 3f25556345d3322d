// A canvas over a fake document controller, in a temporary application home.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "canvas/big_view.h"
#include "kit/testing/fixtures.h"
#include "model/fake_document_services.h"

class CanvasTest : public kit::AppHomeTest {
 protected:
  void SetUp() override {
    canvas = std::make_unique<BigView>(kit::Rect(0, 0, 34560, 30720));
    canvas->setParentController(&doc);
  }
  void TearDown() override {
    canvas->preDealloc();
    canvas.reset();
  }

  // Topics get the stand-in 100 x 40 layout so that frames have a size.
  NodeView* make(NodeView* parent, kit::Point at, const char* name = "") {
    NodeView* n = canvas->createChildNodeOf(parent, at);
    n->setStrName(name);
    n->_calcLayout();
    return n;
  }

  FakeDocumentServices doc;
  std::unique_ptr<BigView> canvas;
};
