#include "base/UpdatedObject.h"

void UpdatedObject::notifyChange() {
  if (depth != 0) {
    state = pending;
    return;
  }
  if (state == changing) return;
  deliver();
}

Update* UpdatedObject::beginUpdate() {
  ++depth;
  return new Update(this);
}

void UpdatedObject::endUpdate() {
  // An unbalanced end would leave the depth below zero, after which every
  // notification would wait for a bracket end that never comes.
  if (depth == 0) return;
  --depth;
  if (depth == 0 && state == pending) deliver();
}

void UpdatedObject::deliver() {
  state = changing;
  change();
  state = idle;
}

void Update::endUpdate() {
  UpdatedObject* o = object;
  object = nullptr;
  if (o) o->endUpdate();
}
