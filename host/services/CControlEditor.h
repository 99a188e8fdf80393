#pragma once

// The interactive faces of a control value: a control editor is a view that
// finds, or creates, the control view whose type code it names and shows
// and changes that control's value. Several editors can show one control;
// each change refreshes them all. An editor without a control view keeps
// and shows a value of its own.
//
// A click on an editor of a process control touches the control at the
// press and releases it at the end of the gesture, also when the tracking
// throws, so the host never sees a touch without its release. Option-click
// sets the default value.

#include "host/services/CControlView.h"

// Marks a view clicked for as long as it lives (a press being tracked); the
// mark goes however the tracking ends.
class CClickedScope {
public:
  explicit CClickedScope(CPlugInView* view) : fView(view) { view->SetClicked(true); }
  ~CClickedScope() {
    try {
      fView->SetClicked(false);
    } catch (...) {
      // The view stays marked; the next redraw shows it.
    }
  }
  CClickedScope(const CClickedScope&) = delete;
  CClickedScope& operator=(const CClickedScope&) = delete;

private:
  CPlugInView* fView;
};

class CControlEditor : public CCustomView {
public:
  CControlEditor() = default;
  ~CControlEditor() override;

  void GetControlIndex(int32_t* index) override;
  bool IsHighlighted() override;
  void GetHighlightInfo(int16_t* colour, int16_t* other, char* text) override;
  void Attach() override;
  void Detach() override;
  void Click(EventRecord* event) override;
  void InitFromItemParse(SCustomParser* parser) override;

  virtual int32_t GetDefaultValue();
  // Re-reads the value and redraws what changed.
  virtual void Refresh();
  virtual void Reposition();
  virtual Point GetCenter();

  int32_t GetNumSteps();
  int32_t StepToValue(int32_t step) { return ControlStepToValue(GetNumSteps(), step); }
  int32_t GetStep() { return ControlValueToStep(GetNumSteps(), GetValue()); }
  void SetStep(int32_t step) { SetValue(StepToValue(step)); }
  int32_t GetValue();
  void SetValue(int32_t value);
  // -7400 when another control view is attached already.
  void SetControlView(CControlView* view);
  CControlView* GetControlView() const { return fControlView; }
  CControlEditor* GetNext() const { return fNext; }
  void SetNext(CControlEditor* next) { fNext = next; }
  uint32_t GetControlType() const { return fControlType; }
  void SetControlType(uint32_t type) { fControlType = type; }

protected:
  friend class CControlView;

  uint32_t fControlType = kNoType;
  CControlView* fControlView = nullptr;
  int32_t fOwnValue = 0;
  CControlEditor* fNext = nullptr;
};
