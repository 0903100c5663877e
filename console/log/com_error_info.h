// The calling thread's COM error information, as CLog publishes errors (Windows; nothing on Linux).
#pragma once

#include <string>

// Makes the text (ANSI) the description of a new error information object and installs it as the calling
// thread's error information. Failures are silent.
void PublishComErrorInfo(const std::string& text);
