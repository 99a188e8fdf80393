#include "host/services/CControlEditor.h"

#include "host/CProcess.h"
#include "host/PlugInGlobals.h"

CControlEditor::~CControlEditor() {
  if (fControlView) fControlView->RemoveEditor(this);
}

void CControlEditor::GetControlIndex(int32_t* index) {
  if (fControlView)
    fControlView->GetControlIndex(index);
  else
    *index = 0;
}

bool CControlEditor::IsHighlighted() { return fControlView && fControlView->IsHighlighted(); }

void CControlEditor::GetHighlightInfo(int16_t* colour, int16_t* other, char* text) {
  if (fControlView) {
    fControlView->GetHighlightInfo(colour, other, text);
    return;
  }
  *colour = 0;
  *other = 0;
  if (text) text[0] = 0;
}

void CControlEditor::Attach() {
  if (!fControlView) {
    CControlView* found = nullptr;
    for (CPlugInView* a = fParent; a && !found; a = a->GetParent())
      found = dynamic_cast<CControlView*>(a->FindViewByType(fControlType));
    if (!found && fParent) {
      // Nobody holds the control yet: it joins the children of the root.
      CPlugInView* root = fParent;
      while (root->GetParent()) root = root->GetParent();
      CProcessControlView* made = new CProcessControlView;
      made->SetViewType(fControlType);
      PlugInAssertPointer(root->GetFirstChild())->AddSibling(made);
      made->Initialize();
      if (fPort) made->SetViewPort(fPort);
      found = made;
    }
    // An editor outside any tree keeps a value of its own.
    if (found) found->AddEditor(this);
  }
  CCustomView::Attach();
}

void CControlEditor::Detach() {
  if (fControlView) fControlView->RemoveEditor(this);
  fControlView = nullptr;
  CCustomView::Detach();
}

void CControlEditor::Click(EventRecord* event) {
  // The touch of a process control, released however the gesture ends.
  struct Touch {
    CProcess* process = nullptr;
    int32_t index = 0;
    ~Touch() {
      if (process) process->ReleaseControl(index);
    }
  } touch;
  auto* processView = dynamic_cast<CProcessControlView*>(fControlView);
  if (processView && event->what == kMouseDownEvent && processView->GetProcess()) {
    processView->GetProcess()->TouchControl(processView->GetIndex());
    touch.process = processView->GetProcess();
    touch.index = processView->GetIndex();
  }
  if (event->modifiers & kOptionKeyBit) {
    SetValue(GetDefaultValue());
    while (StillDown())
      if (fControlView) fControlView->Idle(0);
    return;
  }
  CCustomView::Click(event);
  while (StillDown()) {
    Idle(0);
    if (touch.process) touch.process->Idle();
  }
}

void CControlEditor::InitFromItemParse(SCustomParser* parser) {
  CCustomView::InitFromItemParse(parser);
  SCustomParseElem* e = TakeGroup(parser);
  PlugInAssert(e && e->kind == kElemCode && !e->next);
  fControlType = static_cast<uint32_t>(e->value);
}

int32_t CControlEditor::GetDefaultValue() { return fControlView ? fControlView->GetDefaultValue() : 0; }
void CControlEditor::Refresh() {}
void CControlEditor::Reposition() {}

Point CControlEditor::GetCenter() {
  return {static_cast<int16_t>((fRect.top + fRect.bottom) / 2), static_cast<int16_t>((fRect.left + fRect.right) / 2)};
}

int32_t CControlEditor::GetNumSteps() { return fControlView ? fControlView->GetNumSteps() : 1; }
int32_t CControlEditor::GetValue() { return fControlView ? fControlView->GetValue() : fOwnValue; }

void CControlEditor::SetValue(int32_t value) {
  if (fControlView) {
    fControlView->SetValue(value);
    return;
  }
  fOwnValue = value;
  Refresh();
}

void CControlEditor::SetControlView(CControlView* view) {
  PlugInAssert(!(view && fControlView && view != fControlView));
  fControlView = view;
}
