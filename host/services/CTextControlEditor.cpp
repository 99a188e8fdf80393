#include "host/services/CTextControlEditor.h"

#include "host/PlugInGlobals.h"

void CTextControlEditor::InitializeTree() {
  // A description brings no children: the editor makes the one it shows
  // its text in.
  if (!FindViewByType(kTextType)) {
    auto* text = new CStaticTextView;
    text->SetViewType(kTextType);
    text->SetRect(&fRect);
    text->SetEnabled(false); // clicks go to the editor
    AddSubView(text, false);
  }
  CTextEditEditor::InitializeTree();
}

void CTextControlEditor::Attach() {
  fText = dynamic_cast<CStaticTextView*>(FindViewByType(kTextType));
  if (fText) fText->SetRect(&fRect);
  CTextEditEditor::Attach();
}

void CTextControlEditor::Detach() {
  fText = nullptr;
  CTextEditEditor::Detach();
}

void CTextControlEditor::DrawContents(Rect* area) {
  if (fText)
    DrawBackground(area); // the child shows the text
  else
    CTextEditEditor::DrawContents(area);
}

void CTextControlEditor::Draw(Rect* area) {
  // The children first, the edit record over them.
  CTextEditEditor::Draw(area);
  if (fEdit && fPort) {
    GrafPtr saved = platform::currentPort();
    platform::setCurrentPort(fPort);
    fEdit->draw();
    platform::setCurrentPort(saved);
  }
}

void CTextControlEditor::Refresh() {
  if (fText) fText->SetTextString(GetValueText());
  CTextEditEditor::Refresh();
}

void CTextControlEditor::BeginEdit() {
  if (!fText) return CTextEditEditor::BeginEdit();
  if (!fPort || fEdit) return;
  Rect r;
  fText->GetEditRect(&r);
  fPort->setTextFont(fText->GetTextFont());
  fPort->setTextSize(fText->GetTextSize());
  fPort->setTextFace(fText->GetTextFace());
  fEdit = std::make_unique<platform::TextEdit>(fPort, r);
  fEdit->setJustification(platform::TextEdit::kFlushRight);
  fEdit->setText(GetValueText());
  fEdit->setSelection(0, static_cast<int>(fEdit->text().size()));
  fModified = false;
  fText->SetClicked(true);
}

void CTextControlEditor::EndEdit(bool accept) {
  if (!fText) return CTextEditEditor::EndEdit(accept);
  if (!fEdit) return;
  std::string typed = fEdit->text().substr(0, kMaxTypedLength);
  bool modified = fModified;
  fEdit.reset();
  fModified = false;
  fText->SetClicked(false);
  int32_t value = 0;
  if (accept && modified && !typed.empty() && fControlView && fControlView->GetValueFromString(&value, typed.c_str()))
    SetValue(value);
  else
    Refresh();
}

CPlugInView* CreateCTextControlEditor() { return new CTextControlEditor; }
