// Builds topic trees for model tests without a canvas.
#pragma once

#include <memory>
#include <string>

#include "model/fake_document_services.h"
#include "model/node_view.h"

class NodeViewTestAccess {
 public:
  static NodeView* append(NodeView* parent, std::unique_ptr<NodeView> child) {
    NodeView* c = child.get();
    parent->appendChild(std::move(child));
    return c;
  }
  static void setFolded(NodeView* n, bool f) { n->folded_ = f; }
  static void setHasBoundary(NodeView* n, bool b) { n->hasBoundary_ = b; }
};

struct TreeBuilder {
  FakeDocumentServices doc;
  std::unique_ptr<NodeView> root;

  NodeView* central(const std::string& name = "Central", kit::Point at = {1000, 1000}) {
    root = std::make_unique<NodeView>(nullptr, &doc);
    root->setStrName(name);
    root->setCenter(at);
    return root.get();
  }
  NodeView* add(NodeView* parent, const std::string& name, kit::Point at = {}) {
    auto n = std::make_unique<NodeView>(parent, &doc);
    n->setStrName(name);
    n->setCenter(at);
    return NodeViewTestAccess::append(parent, std::move(n));
  }
  NodeView* callout(NodeView* parent, const std::string& name, kit::Point at = {}) {
    NodeView* n = add(parent, name, at);
    n->setIsCallout(true, false);
    return n;
  }
  NodeView* floating(NodeView* parent, const std::string& name, kit::Point at = {}) {
    NodeView* n = add(parent, name, at);
    n->setIsFloating(true, false);
    return n;
  }
};
