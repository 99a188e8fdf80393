#pragma once

// Small helpers for widget tests: solid skin images and a log of the
// gesture events a value editor fires.

#include "gui/Bitmap.h"
#include "gui/ValueEditor.h"

#include <string>
#include <vector>

namespace zarn::test {

inline void solid(gui::Bitmap* b, int width, int height, gui::Color c) {
  b->resize(width, height);
  b->fillRect(gui::Rect(width, height), c);
}

// "start", "change <position>", "link", "end" in firing order.
class GestureLog {
public:
  explicit GestureLog(gui::ValueEditor* e) {
    e->onStartChange = NotifyEvent::bind(this, &GestureLog::start);
    e->onChange = NotifyEvent::bind(this, &GestureLog::change);
    e->onLink = NotifyEvent::bind(this, &GestureLog::link);
    e->onEndChange = NotifyEvent::bind(this, &GestureLog::end);
  }
  int count(const std::string& what) const {
    int n = 0;
    for (const std::string& s : lines) n += s.compare(0, what.size(), what) == 0;
    return n;
  }

  std::vector<std::string> lines;

private:
  static gui::ValueEditor* editor(void* sender) { return static_cast<gui::ValueEditor*>(sender); }
  void start(void*) { lines.push_back("start"); }
  void change(void* s) { lines.push_back("change " + std::to_string(editor(s)->position)); }
  void link(void*) { lines.push_back("link"); }
  void end(void*) { lines.push_back("end"); }
};

} // namespace zarn::test
