#pragma once

// The filter the synthesizer builds for each filter of each voice channel:
// a GenericFilter whose unit is a design filter, with the characteristic
// chosen by index out of a list shared by the whole process. Filters of up
// to eight channels share one design filter (a ParallelUnit), which computes
// them in one pass; a characteristic chosen on any of them then
// holds for all of them.

#include "base/Property.h"
#include "wave/Component.h"
#include "wave/DesignFilter.h"
#include "wave/GenericFilter.h"

#include <string>
#include <vector>

class MultiDesignFilter : public GenericFilter, public PropertyOwner {
public:
  // The list of characteristics, owned.
  class Style {
  public:
    Style() = default;
    virtual ~Style();
    Style(const Style&) = delete;
    Style& operator=(const Style&) = delete;

    // Loads the characteristic of that bundle resource name with that level
    // and appends it (host thread, before any filter renders).
    void add(const std::string& name, float level);
    // Appends a characteristic made elsewhere and takes it over.
    void add(DesignFilter::Style* style);

    int getCount() const { return static_cast<int>(styles.size()); }
    // Null for an index outside the list.
    DesignFilter::Style* get(int index) const;

  private:
    std::vector<DesignFilter::Style*> styles;
  };

  // One design filter shared by up to eight MultiDesignFilters.
  class ParallelUnit : public wave::Component {
  public:
    // Creates the design filter on the list's first characteristic.
    ParallelUnit(wave::Environment* env, Style* styles);
    // Deletes the design filter: the filters sharing it must be gone.
    virtual ~ParallelUnit();
    ParallelUnit(const ParallelUnit&) = delete;
    ParallelUnit& operator=(const ParallelUnit&) = delete;

    DesignFilter* getDesignFilter() const { return designFilter; }
    Style* getStyles() const { return styles; }

  private:
    DesignFilter* designFilter; // owned
    Style* styles;              // not owned
  };

  // A filter with a design filter of its own on the list's first
  // characteristic.
  MultiDesignFilter(wave::Environment* env, Style* styles);
  // A filter on the unit's shared design filter (the synthesizer's form).
  explicit MultiDesignFilter(ParallelUnit* unit);
  // Deletes the design filter unless it is shared; leaves the unit.
  ~MultiDesignFilter() override;

  // Index into the list. Selecting replaces the design filter's
  // characteristic (its grids, level and clip table) at once, without a
  // state reset; an index outside the list changes nothing.
  Property<int> characteristic{this, 0};

  void propertyChange(const AbstractProperty* property) override;

  DesignFilter* getDesignFilter() const { return designFilter; }
  bool isShared() const { return shared; }
  Style* getStyles() const { return styles; }

private:
  DesignFilter* designFilter;
  bool shared;
  Style* styles;
};
