// What the loaded library holds once: its CTrace, built when the library loads and destroyed when it
// unloads (after every other object of the library), and the count of what its exports dropped. Any
// thread may use both.
#pragma once

#include "ctrace.h"
#include "exception_boundary.h"

CTrace& TheTrace();
// The calls the exports turned from an exception into their failure answer (trace_exports.cpp). The
// library's tests read it here; no export shows it.
boundary::DropCount& TraceDrops();
