// Linux has no COM error information: nothing is published.
#include "log/com_error_info.h"

void PublishComErrorInfo(const std::string&) {}
