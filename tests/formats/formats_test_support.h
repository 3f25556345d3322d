// Canvases wired to the map formats, maps full of attributes, and topic comparisons.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "canvas/big_view.h"
#include "formats/map_formats.h"
#include "kit/testing/fixtures.h"
#include "kit/core/app_paths.h"
#include "kit/core/files.h"
#include "kit/ui/alert.h"
#include "model/fake_document_services.h"
#include "model/relationship_view.h"

class FormatsTest : public kit::AppHomeTest {
 protected:
  void SetUp() override {
    canvas = newCanvas();
    kit::Alert::clearShown();
  }
  void TearDown() override {
    for (auto& c : canvases_) c->preDealloc();
  }

  BigView* newCanvas() {
    canvases_.push_back(std::make_unique<BigView>(kit::Rect(0, 0, 34560, 30720)));
    BigView* c = canvases_.back().get();
    c->setParentController(&doc);
    c->setFormatServices(&MapFormats::services());
    return c;
  }

  std::vector<NodeView*> topics(BigView* c) const {
    return c->rootNode() ? c->rootNode()->getListOfDescendents() : std::vector<NodeView*>{};
  }

  FakeDocumentServices doc;
  BigView* canvas = nullptr;

 private:
  std::vector<std::unique_ptr<BigView>> canvases_;
};

// Every attribute the native format carries, equal between two topics.
inline void expectSameTopic(const NodeView* a, const NodeView* b, bool sameIdentity = true) {
  SCOPED_TRACE("topic \"" + a->strName() + "\"");
  if (sameIdentity) {
    EXPECT_EQ(a->uuid(), b->uuid());
  }
  EXPECT_EQ(a->strName(), b->strName());
  EXPECT_EQ(a->strNote(), b->strNote());
  EXPECT_EQ(a->strLink(), b->strLink());
  EXPECT_EQ(a->strReferenceID(), b->strReferenceID());
  EXPECT_EQ(a->strIcon1(), b->strIcon1());
  EXPECT_EQ(a->strIcon2(), b->strIcon2());
  EXPECT_EQ(a->_uuidImage(), b->_uuidImage());
  EXPECT_EQ(a->colour255().r, b->colour255().r);
  EXPECT_EQ(a->colour255().g, b->colour255().g);
  EXPECT_EQ(a->colour255().b, b->colour255().b);
  EXPECT_EQ(a->getShape(), b->getShape());
  EXPECT_EQ(a->getWidth(), b->getWidth());
  EXPECT_EQ(a->getFontSize(), b->getFontSize());
  EXPECT_EQ(a->getTextStyle(), b->getTextStyle());
  EXPECT_EQ(a->isCallout(), b->isCallout());
  EXPECT_EQ(a->isFloating(), b->isFloating());
  EXPECT_EQ(a->isFolded(), b->isFolded());
  EXPECT_EQ(a->hasBoundary(), b->hasBoundary());
  EXPECT_EQ(a->isRollupTask(), b->isRollupTask());
  EXPECT_EQ(a->startDate().has_value(), b->startDate().has_value());
  if (a->startDate() && b->startDate()) {
    EXPECT_EQ(a->startDate()->seconds, b->startDate()->seconds);
  }
  EXPECT_EQ(a->dueDate().has_value(), b->dueDate().has_value());
  if (a->dueDate() && b->dueDate()) {
    EXPECT_EQ(a->dueDate()->seconds, b->dueDate()->seconds);
  }
  EXPECT_EQ(a->percentComplete(), b->percentComplete());
  EXPECT_EQ(a->_effort(), b->_effort());
  EXPECT_EQ(kit::Value(a->getResources()), kit::Value(b->getResources()));
  EXPECT_EQ(a->childNodes().size(), b->childNodes().size());
}
