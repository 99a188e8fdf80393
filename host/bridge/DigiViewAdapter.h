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

#include "host/services/CNoResourceView.h"

class DigiPluginAdapter;

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
