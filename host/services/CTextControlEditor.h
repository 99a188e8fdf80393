#pragma once

// A text editor that shows its value through a static-text child of type
// 'text': the child takes the editor's rectangle and holds the value text;
// while editing, a right-aligned edit record in the child's font lies over
// the child's edit rectangle and the child is marked clicked. A typed text
// that is empty, untouched or not understood by the control shows the value
// again.

#include "host/services/CStaticTextView.h"
#include "host/services/CTextEditEditor.h"

class CTextControlEditor : public CTextEditEditor {
public:
  static constexpr uint32_t kTextType = 0x74657874; // 'text'

  void InitializeTree() override;
  void Attach() override;
  void Detach() override;
  void Draw(Rect* area) override;
  void DrawContents(Rect* area) override;
  void BeginEdit() override;
  void EndEdit(bool accept) override;
  void Refresh() override;

  CStaticTextView* GetTextView() const { return fText; }

private:
  CStaticTextView* fText = nullptr;
};

CPlugInView* CreateCTextControlEditor();
