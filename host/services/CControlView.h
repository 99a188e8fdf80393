#pragma once

// The model of one control value that control editors attach to: a number
// of steps, a value over the whole signed 32-bit range, a default, a name
// and a highlight. Several editors can show one control view; a change of
// value refreshes them all.
//
// CProcessControlView binds the model to a control of a plug-in process and
// asks the process for everything it knows; CScrollControlView binds it to
// the scroll position of a view whose content can scroll, one step per page.
//
// Steps: with fewer than 2 steps every step is the bottom of the range and
// the step is 0; with an odd count the middle step is exactly 0; otherwise
// step i of n lies i/(n-1) of the way up the range, rounded up, so that a
// step's value reads back as that step (the way back rounds down).

#include "host/services/CCustomView.h"

#include <cstdint>
#include <string>

class CControlEditor;
class CProcess;

// The step arithmetic of control values.
int32_t ControlStepToValue(int32_t steps, int32_t step);
int32_t ControlValueToStep(int32_t steps, int32_t value);

class CControlView : public CCustomView {
public:
  static constexpr int32_t kMinValue = INT32_MIN;
  static constexpr int32_t kMaxValue = INT32_MAX;

  CControlView() = default;
  ~CControlView() override;

  bool HasControl() override;
  bool IsHighlighted() override;
  void GetHighlightInfo(int16_t* colour, int16_t* other, char* text) override;
  void InitFromItemParse(SCustomParser* parser) override;

  virtual int32_t GetNumSteps();
  virtual int32_t GetDefaultValue();
  virtual int32_t GetValue();
  virtual void SetValue(int32_t value);
  // name: length-prefixed, room for 255 characters.
  virtual void GetName(unsigned char* name);
  // At most length characters, zero-terminated (room for length + 1).
  virtual void GetValueString(int32_t value, char* text, int16_t length);
  // Whether the text converts; value set when it does.
  virtual bool GetValueFromString(int32_t* value, const char* text);
  virtual void AcceptsKey(int16_t key, unsigned char* accept);
  virtual void SetHighlighted(bool highlighted);
  virtual void SetHighlightInfo(int16_t colour, int16_t other, const char* text);

  void AddEditor(CControlEditor* editor);
  void RemoveEditor(CControlEditor* editor);
  void RefreshEditors();
  CControlEditor* GetFirstEditor() const { return fFirstEditor; }
  int32_t StepToValue(int32_t step);
  void SetStep(int32_t step) { SetValue(StepToValue(step)); }
  int32_t GetStep();
  void SetName(const std::string& name) { fName = name.substr(0, 255); }
  void SetNumSteps(int32_t steps) { fNumSteps = steps; }
  void SetDefaultValue(int32_t value) { fDefaultValue = value; }

protected:
  // Stores the value and refreshes the editors when it changed.
  void StoreValue(int32_t value);

  CControlEditor* fFirstEditor = nullptr;
  int32_t fNumSteps = 0;
  int32_t fValue = 0;
  int32_t fDefaultValue = 0;
  std::string fName;
  bool fHighlighted = false;
  int16_t fHighlightColor = 0;
  int16_t fHighlightOther = 0;
  std::string fHighlightText;
};

class CProcessControlView : public CControlView {
public:
  // Binds the view to control index (1-based) of process and reads its
  // value (without writing it back).
  void SetControl(CProcess* process, int32_t index);
  CProcess* GetProcess() const { return fProcess; }
  int32_t GetIndex() const { return fIndex; }

  bool HasControl() override;
  void GetControlIndex(int32_t* index) override;
  void Idle(int32_t ticks) override;
  int32_t GetNumSteps() override;
  int32_t GetDefaultValue() override;
  int32_t GetValue() override;
  void SetValue(int32_t value) override;
  void GetName(unsigned char* name) override;
  void GetValueString(int32_t value, char* text, int16_t length) override;
  bool GetValueFromString(int32_t* value, const char* text) override;
  void AcceptsKey(int16_t key, unsigned char* accept) override;

private:
  CProcess* fProcess = nullptr;
  int32_t fIndex = 0;
};

// A view whose content can scroll under a scroll control (the item list
// view is one).
class CScrollableView : public CCustomView {
public:
  virtual void ScrollContents(int16_t dh, int16_t dv) = 0;
  // The union of the children's rectangles; all zero without children.
  virtual void GetContentBounds(Rect* bounds) = 0;
};

class CScrollControlView : public CControlView {
public:
  enum : int16_t { kHorizontal = 1, kVertical = 2 };

  // Binds the view to the scroll position of view along axis (null
  // unbinds): one step per page of the visible extent, the bottom of the
  // range at the start of the content. Content that fits, or a view with
  // nothing visible along the axis, is one page that never scrolls.
  void SetScrolledView(CScrollableView* view, int16_t axis);
  CScrollableView* GetScrolledView() const { return fScrolledView; }

  int32_t GetNumSteps() override;
  void SetValue(int32_t value) override;

private:
  struct Extents {
    int offset, content, visible;
    bool scrolls() const { return visible > 0 && content > visible; }
  };
  Extents Measure();

  CScrollableView* fScrolledView = nullptr;
  int16_t fAxis = kVertical;
  int32_t fPages = 1;
};

CPlugInView* CreateCProcessControlView();
CPlugInView* CreateCScrollControlView();
