// The one CTrace of the loaded library, built when the library loads and destroyed when it unloads (after
// every other object of the library). Any thread may use it.
#pragma once

#include "ctrace.h"

CTrace& TheTrace();
