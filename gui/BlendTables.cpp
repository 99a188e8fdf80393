#include "gui/BlendTables.h"

namespace gui {

constinit const MultiplyTable multiplyTable;
constinit const DivideTable divideTable;
constinit const InterpolateTable interpolateTable;

} // namespace gui
