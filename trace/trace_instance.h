// The one CTrace of the loaded library.
#pragma once

#include "ctrace.h"

CTrace& TheTrace();
