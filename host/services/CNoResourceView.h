#pragma once

#include "host/services/CCustomView.h"

// A root view whose children are added one by one from view descriptions
// instead of being read from a dialog resource.
class CNoResourceView : public CCustomView {
public:
  // A child built from the description at (h, v) of that size, added into
  // the child that wholly contains it and initialized; the description's
  // grave accents read as double quotes. A description that does not parse
  // is shown as static text. Null when the item cannot be made, or when
  // the view cannot be built from its resources (a missing or damaged
  // one): that view is left out and GetLastError() holds the status. A
  // description longer than 255 characters keeps the low 8 bits of its
  // length, as the item's length byte does, and the alert handler hears
  // of it once, naming the view.
  CPlugInView* AddView2(const char* description, long h, long v, long width, long height, unsigned char enabled);
  // The status of the last AddView2: 0, or why its view was left out.
  int32_t GetLastError() const { return fLastError; }
  // AddView2 with the size less one pixel each way; true when a view was
  // made.
  bool AddView(const char* description, long h, long v, long width, long height, unsigned char enabled);
  // The view covers (0, 0) to (width, height): every pixel of that size.
  void SetSize(long width, long height);

private:
  int32_t fLastError = 0;
};

CNoResourceView* CreateCNoResourceView();
