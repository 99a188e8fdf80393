#include "host/services/CCachedPicture.h"

#include "host/services/CPlugInView.h"

#include <algorithm>

void CCachedPicture::Draw(Rect* r) {
  GrafPtr port = platform::currentPort();
  if (fPicture && port) port->drawPicture(*fPicture, *r);
}

void CCachedPicture::Load(int16_t id) {
  fPicture.reset();
  fID = -1;
  std::optional<std::vector<uint8_t>> data;
  {
    CResourceFileScope resources;
    data = platform::getResource(fourCharCode("PICT"), id);
  }
  if (!data) return;
  std::optional<platform::PortPicture> picture = platform::PortPicture::decode(*data);
  if (!picture) return;
  fPicture = std::make_unique<platform::PortPicture>(std::move(*picture));
  fID = id;
}

int16_t CCachedPicture::Release() {
  if (fUseCount > 0) --fUseCount;
  return fUseCount;
}

CCachedPictureManager::~CCachedPictureManager() {
  if (fPictures)
    for (CCachedPicture* p : *fPictures) delete p;
}

CCachedPicture* CCachedPictureManager::Acquire(int16_t id) {
  if (!fPictures) fPictures = std::make_unique<std::vector<CCachedPicture*>>();
  auto found = std::find_if(fPictures->begin(), fPictures->end(), [id](CCachedPicture* p) { return p->GetID() == id; });
  CCachedPicture* picture = found != fPictures->end() ? *found : fPictures->emplace_back(new CCachedPicture);
  picture->AddRef();
  return picture;
}

CCachedPicture* CCachedPictureManager::AcquireLoaded(int16_t id) {
  CCachedPicture* picture = Acquire(id);
  if (picture->GetID() != id) picture->Load(id);
  return picture;
}

void CCachedPictureManager::Release(CCachedPicture* picture) {
  if (!fPictures) return;
  auto found = std::find(fPictures->begin(), fPictures->end(), picture);
  if (found == fPictures->end()) return;
  if (picture->Release() > 0) return;
  fPictures->erase(found);
  delete picture;
}

int32_t CCachedPictureManager::GetCount() { return fPictures ? static_cast<int32_t>(fPictures->size()) : 0; }
