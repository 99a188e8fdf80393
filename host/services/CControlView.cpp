#include "host/services/CControlView.h"

#include "host/CProcess.h"
#include "host/PlugInGlobals.h"
#include "host/services/CControlEditor.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
constexpr int64_t kSpan = 0xFFFFFFFFLL; // the range's width less one
} // namespace

int32_t ControlStepToValue(int32_t steps, int32_t step) {
  if (steps < 2) return INT32_MIN;
  step = std::clamp(step, 0, steps - 1);
  if (steps % 2 == 1 && step == steps / 2) return 0;
  int64_t up = (step * kSpan + (steps - 2)) / (steps - 1); // rounded up
  return static_cast<int32_t>(INT32_MIN + up);
}

int32_t ControlValueToStep(int32_t steps, int32_t value) {
  if (steps < 2) return 0;
  if (steps % 2 == 1 && value == 0) return steps / 2;
  return static_cast<int32_t>((static_cast<int64_t>(value) - INT32_MIN) * (steps - 1) / kSpan);
}

CControlView::~CControlView() {
  while (CControlEditor* e = fFirstEditor) RemoveEditor(e);
}

bool CControlView::HasControl() { return false; }
bool CControlView::IsHighlighted() { return fHighlighted; }

void CControlView::GetHighlightInfo(int16_t* colour, int16_t* other, char* text) {
  *colour = fHighlightColor;
  *other = fHighlightOther;
  if (text) std::snprintf(text, 256, "%s", fHighlightText.c_str());
}

void CControlView::InitFromItemParse(SCustomParser* parser) {
  CCustomView::InitFromItemParse(parser);
  SCustomParseElem* e = TakeGroup(parser);
  PlugInAssert(e && e->kind == kElemString);
  const unsigned char* name = ElemString(e);
  fName.assign(reinterpret_cast<const char*>(name + 1), name[0]);
  e = e->next;
  PlugInAssert(e && e->kind == kElemNumber);
  fNumSteps = static_cast<int32_t>(e->value);
  e = e->next;
  PlugInAssert(e && e->kind == kElemNumber);
  SetValue(static_cast<int32_t>(e->value));
  e = e->next;
  if (e) {
    PlugInAssert(e->kind == kElemNumber);
    fDefaultValue = static_cast<int32_t>(e->value);
    PlugInAssert(e->next == nullptr);
  }
}

int32_t CControlView::GetNumSteps() { return fNumSteps; }
int32_t CControlView::GetDefaultValue() { return fDefaultValue; }
int32_t CControlView::GetValue() { return fValue; }
void CControlView::SetValue(int32_t value) { StoreValue(value); }

void CControlView::StoreValue(int32_t value) {
  if (value == fValue) return;
  fValue = value;
  RefreshEditors();
}

void CControlView::GetName(unsigned char* name) {
  name[0] = static_cast<unsigned char>(fName.size());
  std::memcpy(name + 1, fName.data(), fName.size());
}

void CControlView::GetValueString(int32_t value, char* text, int16_t length) {
  std::string s = std::to_string(value / 65536);
  s.resize(std::min<size_t>(s.size(), static_cast<size_t>(std::max<int16_t>(length, 0))));
  std::memcpy(text, s.c_str(), s.size() + 1);
}

bool CControlView::GetValueFromString(int32_t* value, const char*) {
  *value = 0;
  return true;
}

void CControlView::AcceptsKey(int16_t, unsigned char* accept) { *accept = 0; }

void CControlView::SetHighlighted(bool highlighted) {
  if (highlighted == fHighlighted) return;
  fHighlighted = highlighted;
  for (CControlEditor* e = fFirstEditor; e; e = e->GetNext()) e->Update(nullptr);
}

void CControlView::SetHighlightInfo(int16_t colour, int16_t other, const char* text) {
  std::string t = text ? text : "";
  if (colour == fHighlightColor && other == fHighlightOther && t == fHighlightText) return;
  fHighlightColor = colour;
  fHighlightOther = other;
  fHighlightText = t;
  for (CControlEditor* e = fFirstEditor; e; e = e->GetNext()) e->Update(nullptr);
}

void CControlView::AddEditor(CControlEditor* editor) {
  PlugInAssertPointer(editor);
  CControlEditor** link = &fFirstEditor;
  while (*link) link = &(*link)->fNext;
  *link = editor;
  editor->SetNext(nullptr);
  editor->SetControlView(this);
  editor->Refresh();
}

void CControlView::RemoveEditor(CControlEditor* editor) {
  for (CControlEditor** link = &fFirstEditor; *link; link = &(*link)->fNext)
    if (*link == editor) {
      *link = editor->GetNext();
      break;
    }
  editor->SetNext(nullptr);
  editor->SetControlView(nullptr);
}

void CControlView::RefreshEditors() {
  for (CControlEditor* e = fFirstEditor; e; e = e->GetNext()) e->Refresh();
}

int32_t CControlView::StepToValue(int32_t step) { return ControlStepToValue(GetNumSteps(), step); }
int32_t CControlView::GetStep() { return ControlValueToStep(GetNumSteps(), GetValue()); }

// The process control.

void CProcessControlView::SetControl(CProcess* process, int32_t index) {
  fProcess = process;
  fIndex = index;
  if (!process) return;
  fValue = process->GetControlValue(index);
  RefreshEditors();
}

bool CProcessControlView::HasControl() { return true; }
void CProcessControlView::GetControlIndex(int32_t* index) { *index = fIndex; }

void CProcessControlView::Idle(int32_t ticks) {
  if (fProcess) fProcess->Idle();
  if (gIdleCallback) gIdleCallback(16, 0, 0);
  CControlView::Idle(ticks);
}

int32_t CProcessControlView::GetNumSteps() {
  return fProcess ? fProcess->GetControlNumSteps(fIndex) : CControlView::GetNumSteps();
}

int32_t CProcessControlView::GetDefaultValue() {
  return fProcess ? fProcess->GetControlDefaultValue(fIndex) : CControlView::GetDefaultValue();
}

int32_t CProcessControlView::GetValue() {
  return fProcess ? fProcess->GetControlValue(fIndex) : CControlView::GetValue();
}

void CProcessControlView::SetValue(int32_t value) {
  bool changed = value != fValue;
  fValue = value;
  if (fProcess) fProcess->SetControlValue(fIndex, value);
  if (changed || fProcess) RefreshEditors();
}

void CProcessControlView::GetName(unsigned char* name) {
  if (fProcess)
    fProcess->GetControlNameOfLength(fIndex, 255, name);
  else
    CControlView::GetName(name);
}

void CProcessControlView::GetValueString(int32_t value, char* text, int16_t length) {
  if (!fProcess) {
    CControlView::GetValueString(value, text, length);
    return;
  }
  unsigned char buffer[256] = {};
  int16_t maxLength = std::clamp<int16_t>(length, 0, 255);
  fProcess->GetControlValueString(fIndex, value, maxLength, buffer);
  size_t n = std::min<size_t>(buffer[0], static_cast<size_t>(maxLength));
  std::memcpy(text, buffer + 1, n);
  text[n] = 0;
}

bool CProcessControlView::GetValueFromString(int32_t* value, const char* text) {
  if (!fProcess) return CControlView::GetValueFromString(value, text);
  unsigned char buffer[256];
  size_t n = std::min<size_t>(std::strlen(text), 255);
  buffer[0] = static_cast<unsigned char>(n);
  std::memcpy(buffer + 1, text, n);
  return fProcess->GetControlValueFromString(fIndex, buffer, value) == 0;
}

void CProcessControlView::AcceptsKey(int16_t key, unsigned char* accept) {
  if (fProcess)
    *accept = fProcess->IsControlKeyValid(fIndex, key) ? 1 : 0;
  else
    CControlView::AcceptsKey(key, accept);
}

// The scroll control.

CScrollControlView::Extents CScrollControlView::Measure() {
  Rect content, visible = fScrolledView->GetBounds();
  fScrolledView->GetContentBounds(&content);
  if (fAxis == kHorizontal) return {visible.left - content.left, content.width(), visible.width()};
  return {visible.top - content.top, content.height(), visible.height()};
}

void CScrollControlView::SetScrolledView(CScrollableView* view, int16_t axis) {
  fScrolledView = view;
  fAxis = axis;
  if (!view) return;
  Extents x = Measure();
  PlugInAssert(x.offset >= 0);
  if (!x.scrolls()) {
    fPages = 1;
    StoreValue(kMinValue);
    return;
  }
  fPages = (x.content + x.visible - 1) / x.visible;
  int64_t last = x.content - x.visible;
  int64_t offset = std::min<int64_t>(x.offset, last);
  StoreValue(static_cast<int32_t>(kMinValue + offset * kSpan / last));
}

int32_t CScrollControlView::GetNumSteps() { return fPages; }

void CScrollControlView::SetValue(int32_t value) {
  if (fScrolledView) {
    Extents x = Measure();
    if (x.scrolls()) {
      int64_t last = x.content - x.visible;
      int64_t wanted = ((static_cast<int64_t>(value) - kMinValue) * last + kSpan / 2) / kSpan;
      int delta = static_cast<int>(wanted - x.offset);
      if (delta != 0) {
        if (fAxis == kHorizontal)
          fScrolledView->ScrollContents(static_cast<int16_t>(-delta), 0);
        else
          fScrolledView->ScrollContents(0, static_cast<int16_t>(-delta));
      }
    }
  }
  StoreValue(value);
}

CPlugInView* CreateCProcessControlView() { return new CProcessControlView; }
CPlugInView* CreateCScrollControlView() { return new CScrollControlView; }
