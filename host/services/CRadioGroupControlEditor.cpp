#include "host/services/CRadioGroupControlEditor.h"

#include "host/PlugInGlobals.h"

#include <cstring>

void CRadioGroupControlEditor::InitFromItemParse(SCustomParser* parser) {
  CControlEditor::InitFromItemParse(parser);
  if (!parser->elements) return;
  for (SCustomParseElem* e = TakeGroup(parser); e; e = e->next) {
    PlugInAssert(e->kind == kElemString);
    const unsigned char* s = ElemString(e);
    if (s[0] == 15 && std::memcmp(s + 1, "EnableHighlight", 15) == 0) fHighlightEnabled = true;
  }
}

CPlugInView* CRadioGroupControlEditor::GetOption(int32_t index) const {
  CPlugInView* v = fFirstChild;
  for (int32_t i = 0; v && i < index; ++i) v = v->GetNextSibling();
  return index < 0 ? nullptr : v;
}

void CRadioGroupControlEditor::DrawContents(Rect* area) {
  CControlEditor::DrawContents(area);
  GrafPtr port = platform::currentPort();
  if (!port || !fHighlightEnabled || !IsHighlighted()) return;
  RGBColor saved = port->foreColor();
  port->setForeColor({gHighlightColor.red, gHighlightColor.green, gHighlightColor.blue});
  port->setPenSize(1, 1);
  port->frameRect(fRect);
  port->setForeColor(saved);
}

void CRadioGroupControlEditor::TrackClick(EventRecord* event, bool) {
  int32_t i = 0;
  for (CPlugInView* v = fFirstChild; v; v = v->GetNextSibling(), ++i)
    if (v->GetBounds().contains(event->where)) {
      SetStep(i);
      return;
    }
}

void CRadioGroupControlEditor::Refresh() {
  CPlugInView* now = GetOption(GetStep());
  if (now == fMarked) return;
  if (fMarked) fMarked->SetClicked(false);
  fMarked = now;
  if (now) now->SetClicked(true);
}

Point CRadioGroupControlEditor::GetCenter() {
  CPlugInView* v = GetOption(GetStep());
  if (!v) return CControlEditor::GetCenter();
  Rect r = v->GetBounds();
  return {static_cast<int16_t>((r.top + r.bottom) / 2), static_cast<int16_t>((r.left + r.right) / 2)};
}

CPlugInView* CreateCRadioGroupControlEditor() { return new CRadioGroupControlEditor; }
