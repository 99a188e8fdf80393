#pragma once

// The host-drawn views the bridge gives the host. The plug-in draws its
// editor with its own toolkit, so the host gets a minimal tree that only
// reserves the editor's rectangle: a CNoResourceView root holding one
// DigiViewAdapter, which draws what the host asks for by copying the
// editor's picture into the window's port.
//
// The adapter view only points at its plug-in adapter and never owns it.
// Either may go first: the view tells the adapter when it is deleted, and
// the adapter unhooks the view when it is.

#include "host/services/CCustomView.h"

class DigiPluginAdapter;

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

class DigiViewAdapter : public CCustomView {
public:
  ~DigiViewAdapter() override;

  // Copies the editor's picture into the current port over area; nothing
  // without an adapter or an open editor.
  void DrawContents(Rect* area) override;

  void setPluginAdapter(DigiPluginAdapter* adapter) { fAdapter = adapter; }
  DigiPluginAdapter* getPluginAdapter() const { return fAdapter; }

private:
  DigiPluginAdapter* fAdapter = nullptr;
};

// The creator registered under the plug-in's view name.
CPlugInView* createDigiViewAdapter();
