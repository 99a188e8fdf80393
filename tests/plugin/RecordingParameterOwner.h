#pragma once

// A parameter owner for the parameter families' tests: numbers the
// parameters as they are built and records every change they report, with
// its flags.

#include "base/Property.h"
#include "plugin/AbstractPluginParameter.h"
#include "plugin/GenericParameterOwner.h"
#include "plugin/GenericPlugin.h" // the change flags

#include <vector>

namespace parametertest {

class RecordingParameterOwner : public GenericParameterOwner {
public:
  struct Report {
    int index;
    float value;
    int flags;
  };

  void handleParameterChange(int index, float value, int flags) override {
    reports.push_back(Report{index, value, flags});
  }
  int registerParameter(AbstractPluginParameter* parameter) override {
    parameters.push_back(parameter);
    return static_cast<int>(parameters.size()) - 1;
  }

  std::vector<Report> reports;
  std::vector<AbstractPluginParameter*> parameters;
};

// Records which of its properties told it of a change, in order.
class PropertyLog : public PropertyOwner {
public:
  void propertyChange(const AbstractProperty* property) override { changes.push_back(property); }
  std::vector<const AbstractProperty*> changes;
};

} // namespace parametertest
