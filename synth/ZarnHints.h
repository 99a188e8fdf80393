#pragma once

// The hint texts live in hints/, a library of their own, so that the editor
// base can show the welcome text without depending on the synthesizer.
#include "hints/ZarnHints.h"
