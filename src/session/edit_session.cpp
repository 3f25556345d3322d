#include "session/edit_session.h"

#include "document/pseudo_map_view_controller.h"
#include "kit/ui/window.h"

// A first cut: opens an existing map file in a window-sized scroll view. The saving rules, the
// outline imports and the state file come with the rest of the session.
struct EditSession::Impl {
  std::string path;
  PseudoMapViewController doc;
  kit::Window window{kit::Rect(0, 0, 1024, 768)};
  MapScrollView scroll{kit::Rect(0, 0, 1024, 768)};
  std::function<void()> titleChanged;
};

EditSession::EditSession() : impl_(std::make_unique<Impl>()) {}

EditSession::~EditSession() {
  if (impl_) impl_->scroll.removeFromSuperview();
}

std::unique_ptr<EditSession> EditSession::open(const std::string& path, std::string& error) {
  std::unique_ptr<EditSession> session(new EditSession());
  Impl& s = *session->impl_;
  s.path = path;
  if (!s.doc.loadMapFromFile(path)) {
    error = "cannot read the map " + path;
    return nullptr;
  }
  s.scroll.setContentView(s.doc.bigView());
  s.window.addSubview(&s.scroll);
  s.doc.centreScreenOnRootNode();
  return session;
}

kit::Window& EditSession::window() { return impl_->window; }

void EditSession::setWindowSize(kit::Size size) {
  impl_->window.setFrame(kit::Rect(0, 0, size.width, size.height));
  impl_->scroll.setFrame(kit::Rect(0, 0, size.width, size.height));
}

std::string EditSession::title() const {
  return impl_->doc.mapName() + (impl_->doc.isModified() ? " *" : "");
}

void EditSession::setTitleChanged(std::function<void()> fn) { impl_->titleChanged = std::move(fn); }

void EditSession::undo() { impl_->doc.undoManager()->undo(); }
void EditSession::redo() { impl_->doc.undoManager()->redo(); }

bool EditSession::close() { return impl_->doc.saveMapToFile(impl_->path); }

const std::string& EditSession::mapPath() const { return impl_->path; }
PseudoMapViewController& EditSession::document() { return impl_->doc; }

void EditSession::writeStateIfChanged() {}

void EditSession::setHostValue(const std::string&, double) {}
