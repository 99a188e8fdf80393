#pragma once

// Pictures of the plug-in's resources, shared: the manager keeps one loaded
// copy of each picture for all the views that draw it, counts its users and
// deletes it when the last one releases it. A picture that could not be
// loaded keeps the id -1 and draws nothing; it is never found again by id.
// Main thread only.

#include "host/services/HostViewTypes.h"
#include "platform/PortPicture.h"

#include <cstdint>
#include <memory>
#include <vector>

class CCachedPicture {
public:
  CCachedPicture() = default;
  virtual ~CCachedPicture() = default;
  CCachedPicture(const CCachedPicture&) = delete;
  CCachedPicture& operator=(const CCachedPicture&) = delete;

  // Draws the picture over r in the current port when one is loaded.
  virtual void Draw(Rect* r);

  // Loads picture id of the plug-in's resources in place of the previous
  // one; id -1 and no picture when it is missing.
  void Load(int16_t id);
  int16_t GetID() const { return fID; }
  bool IsLoaded() const { return fPicture != nullptr; }
  int16_t GetUseCount() const { return fUseCount; }
  void AddRef() { ++fUseCount; }
  // The new use count; never below 0.
  int16_t Release();

private:
  std::unique_ptr<platform::PortPicture> fPicture;
  int16_t fID = -1;
  int16_t fUseCount = 0;
};

class CCachedPictureManager {
public:
  CCachedPictureManager() = default;
  virtual ~CCachedPictureManager();
  CCachedPictureManager(const CCachedPictureManager&) = delete;
  CCachedPictureManager& operator=(const CCachedPictureManager&) = delete;

  // The picture with id, one more user counted; a new empty picture (id -1)
  // when none has that id: the caller loads it.
  virtual CCachedPicture* Acquire(int16_t id);
  // One user less; the picture is deleted with its last user. A picture
  // the manager does not hold is left alone.
  virtual void Release(CCachedPicture* picture);
  virtual int32_t GetCount();

  // Acquire, and load the picture when it is new.
  CCachedPicture* AcquireLoaded(int16_t id);

private:
  std::unique_ptr<std::vector<CCachedPicture*>> fPictures;
};
