#include "wave/MultiDesignFilter.h"

MultiDesignFilter::Style::~Style() {
  for (DesignFilter::Style* s : styles) delete s;
}

void MultiDesignFilter::Style::add(const std::string& name, float level) { add(new DesignFilter::Style(name, level)); }

void MultiDesignFilter::Style::add(DesignFilter::Style* style) {
  if (style) styles.push_back(style);
}

DesignFilter::Style* MultiDesignFilter::Style::get(int index) const {
  return index >= 0 && index < getCount() ? styles[static_cast<size_t>(index)] : nullptr;
}

MultiDesignFilter::ParallelUnit::ParallelUnit(wave::Environment* env, Style* styles)
    : wave::Component(env), designFilter(new DesignFilter(env, styles ? styles->get(0) : nullptr)), styles(styles) {}

MultiDesignFilter::ParallelUnit::~ParallelUnit() { delete designFilter; }

MultiDesignFilter::MultiDesignFilter(wave::Environment* env, Style* styles)
    : GenericFilter(env), designFilter(new DesignFilter(env, styles ? styles->get(0) : nullptr)), shared(false),
      styles(styles) {
  setFilter(designFilter);
}

MultiDesignFilter::MultiDesignFilter(ParallelUnit* unit)
    : GenericFilter(unit->env), designFilter(unit->getDesignFilter()), shared(true), styles(unit->getStyles()) {
  setParallelFilter(designFilter);
}

MultiDesignFilter::~MultiDesignFilter() {
  if (shared) {
    setParallelFilter(nullptr);
  } else {
    setFilter(nullptr);
    delete designFilter;
  }
}

void MultiDesignFilter::propertyChange(const AbstractProperty* property) {
  if (property != &characteristic || !styles) return;
  if (DesignFilter::Style* s = styles->get(characteristic)) designFilter->setStyle(s);
}
