#include "kit/ui/responder.h"

namespace kit {

void Responder::touchesBegan(const TouchSet& t, const Event& e) { if (Responder* n = nextResponder()) n->touchesBegan(t, e); }
void Responder::touchesMoved(const TouchSet& t, const Event& e) { if (Responder* n = nextResponder()) n->touchesMoved(t, e); }
void Responder::touchesEnded(const TouchSet& t, const Event& e) { if (Responder* n = nextResponder()) n->touchesEnded(t, e); }
void Responder::touchesCancelled(const TouchSet& t, const Event& e) { if (Responder* n = nextResponder()) n->touchesCancelled(t, e); }
void Responder::motionBegan(MotionType m, const Event& e) { if (Responder* n = nextResponder()) n->motionBegan(m, e); }
void Responder::motionEnded(MotionType m, const Event& e) { if (Responder* n = nextResponder()) n->motionEnded(m, e); }
void Responder::motionCancelled(MotionType m, const Event& e) { if (Responder* n = nextResponder()) n->motionCancelled(m, e); }

bool Responder::keyDown(const KeyInput& key) {
  Responder* n = nextResponder();
  return n && n->keyDown(key);
}

bool Responder::canPerformAction(std::string_view action, const void* sender) const {
  Responder* n = nextResponder();
  return n && n->canPerformAction(action, sender);
}

bool Responder::performAction(std::string_view action, const void* sender) {
  Responder* n = nextResponder();
  return n && n->performAction(action, sender);
}

}  // namespace kit
