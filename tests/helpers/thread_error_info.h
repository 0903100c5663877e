// The calling thread's COM error information, read back for the tests (Windows only).
#pragma once

#include <string>

// The description of the thread's current error information, "none" when there is none (always on Linux).
std::string ThreadErrorDescription();
