// The autosave tick: a map changed since its last save is saved, and a version snapshot taken, as
// the intervals in edit_session.h say.
#include "kit/core/lock.h"
#include "session/edit_session_impl.h"

void EditSession::Impl::onTick() {
  // The map is half moved or a topic half resized: the next tick saves it whole.
  if (dragging() || doc.bigView()->resizingTopic()) return;
  kit::LockGuard guard(AppServices::globalTreeLock());
  const double t = now();
  if ((changedSinceSnapshot || doc.isModified()) && t - lastSnapshot >= kSnapshotInterval)
    takeSnapshot();
  else if (doc.isModified() && t - lastSave >= kSaveInterval)
    save();
  if (doc.isModified()) reportSaveFailure();
}
