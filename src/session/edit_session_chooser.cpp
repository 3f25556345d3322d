// The Paste Style chooser, shown over the map when a topic's menu asks for it.
#include <utility>

#include "editing/topic_attribute_picker.h"
#include "kit/core/run_loop.h"
#include "session/edit_session_impl.h"

void EditSession::Impl::presentChooser(kit::Value attributes, NodeView* topic) {
  if (chooser || !topic) return;
  doc.bigView()->hideMenuController();
  commitEditing();
  chooser = std::make_unique<kit::NavigationController>(std::make_unique<kit::ViewController>());
  chooser->view().setFrame(window.bounds());
  window.addSubview(&chooser->view());
  chooser->viewDidAppear(false);
  auto picker = std::make_unique<TopicAttributePicker>(std::move(attributes), topic);
  picker->setViewControllerDelegate(this);
  chooser->pushViewController(std::move(picker), true);
}

void EditSession::Impl::chooserFinished() {
  kit::RunLoop::main().performAfterDelay(this, "closeChooser", kit::Value(), 0, [this] { closeChooser(); });
}

void EditSession::Impl::onDone(kit::ViewController&, const kit::Value&) { chooserFinished(); }

void EditSession::Impl::onCancel(kit::ViewController&, const kit::Value&) { chooserFinished(); }

void EditSession::Impl::closeChooser() {
  if (!chooser) return;
  window.viewLeaving(chooser->view());
  chooser->view().removeFromSuperview();
  chooser.reset();
  kit::RunLoop::main().cancelPerforms(this);
}

std::vector<std::string> EditSession::Impl::screenTitles() const {
  std::vector<std::string> titles;
  if (!chooser) return titles;
  const std::vector<kit::ViewController*> stack = chooser->viewControllers();
  for (std::size_t i = 1; i < stack.size(); ++i) titles.push_back(stack[i]->title());
  return titles;
}
