#pragma once

// An object whose change() is called after it was modified. Modifications
// made inside update brackets are merged: however many notifyChange() calls
// happen inside nested brackets, change() runs once, when the outermost
// bracket ends, and not at all when nothing was notified. A notification
// raised while change() runs is dropped, not queued.

#include <cstdint>

class Update;

class UpdatedObject {
public:
  UpdatedObject() = default;
  UpdatedObject(const UpdatedObject&) = delete;
  UpdatedObject& operator=(const UpdatedObject&) = delete;

  // Reports that the object changed: change() now, or at the end of the
  // outermost open bracket.
  void notifyChange();
  // Opens a bracket; the caller owns the returned Update and closes the
  // bracket by deleting it (or by its endUpdate()).
  Update* beginUpdate();
  // Closes one bracket. Closing more brackets than were opened does nothing.
  void endUpdate();

protected:
  // Never deleted through this class.
  ~UpdatedObject() = default;

  virtual void change() = 0;

private:
  enum State : int32_t { idle = 0, pending = 1, changing = 2 };

  void deliver();

  int32_t state = idle;
  int32_t depth = 0;
};

// The token of one update bracket. It ends the bracket once: by endUpdate()
// or by its destructor, whichever comes first, so ending it explicitly and
// then deleting it closes only the one bracket.
class Update {
public:
  // Only stores the object; opens no bracket (UpdatedObject::beginUpdate
  // does that).
  explicit Update(UpdatedObject* object) : object(object) {}
  ~Update() { endUpdate(); }
  Update(const Update&) = delete;
  Update& operator=(const Update&) = delete;

  void endUpdate();

private:
  UpdatedObject* object;
};
