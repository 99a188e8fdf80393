#pragma once

// A view that shows one of three pictures by its state: disabled when the
// view is disabled, clicked while it is pressed, else normal. Each state
// has a main picture and a second one (its id + 10000), taken from the
// picture cache that all picture views share; the cache goes when the last
// picture view holding pictures is deleted.

#include "host/services/CCachedPicture.h"
#include "host/services/CCustomView.h"

class CPictureView : public CCustomView {
public:
  enum : int16_t { kNormal = 0, kClicked = 1, kDisabled = 2, kStates = 3 };
  // The highest picture id whose second picture (id + 10000) is still a
  // 16-bit id.
  static constexpr int16_t kMaxPictureID = 32767 - 10000;

  CPictureView() = default;
  ~CPictureView() override;

  void InitFromItem(SItemDescriptor* item) override;
  void InitFromItemParse(SCustomParser* parser) override;
  void DrawContents(Rect* area) override;
  void SetEnabled(bool enabled) override;

  // Shows picture id in state (-1: none). The state's old pictures are
  // released and the new ones acquired through the cache, so views that
  // share a picture keep theirs. -7400 for a state past 2 or an id above
  // kMaxPictureID.
  virtual void SetPicture(int16_t state, int16_t id);
  virtual CCachedPicture* GetCurrentPicture();

  CCachedPicture* GetPicture(int16_t state, bool second = false) const { return fPictures[state][second ? 1 : 0]; }
  // The shared cache; null when no picture view holds one.
  static CCachedPictureManager* GetPictureManager();

private:
  CCachedPicture* fPictures[kStates][2] = {};
};

CPlugInView* CreateCPictureView();
