#pragma once

// A plain control panel for any process, built from view descriptions
// without a custom editor: a row per meter (a gain meter and a clip light)
// and a row per control other than the master bypass (a label, a pop-up
// editor for a discrete control or a slider, and a typed-value editor).
// Descriptions that name views nobody registered show as static text.

#include "host/services/CNoResourceView.h"

class CProcess;

// meterIds and clipIds: one identifier per meter of the process (null when
// it has none). The caller owns the view.
CNoResourceView* CreateMinimalGUI(const CProcess* process, const unsigned long* meterIds,
                                  const unsigned long* clipIds);
