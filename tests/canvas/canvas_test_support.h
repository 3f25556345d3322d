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
    // Creation places topics by fixed rules; the map's automatic layout would move them again.
    doc.keepOrganised = false;
    canvas = std::make_unique<BigView>(kit::Rect(0, 0, 34560, 30720));
    canvas->setParentController(&doc);
  }
  void TearDown() override {
    canvas->preDealloc();
    canvas.reset();
  }

  // A named topic, laid out, so that its frames have their real size.
  NodeView* make(NodeView* parent, kit::Point at, const char* name = "") {
    NodeView* n = canvas->createChildNodeOf(parent, at);
    n->setStrName(name);
    n->_calcLayout();
    return n;
  }

  FakeDocumentServices doc;
  std::unique_ptr<BigView> canvas;
};
