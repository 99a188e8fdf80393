#pragma once

#include "host/services/CCustomView.h"

// A root view whose children are added one by one from view descriptions
// instead of being read from a dialog resource.
class CNoResourceView : public CCustomView {
public:
  // A child built from the description at (h, v) of that size, added into
  // the child that wholly contains it and initialized; the description's
  // grave accents read as double quotes. A description that does not parse
  // is shown as static text. Null when the item cannot be made.
  CPlugInView* AddView2(const char* description, long h, long v, long width, long height, unsigned char enabled);
  // AddView2 with the size less one pixel each way; true when a view was
  // made.
  bool AddView(const char* description, long h, long v, long width, long height, unsigned char enabled);
  // The view covers (0, 0) to (width, height): every pixel of that size.
  void SetSize(long width, long height);
};

CNoResourceView* CreateCNoResourceView();
