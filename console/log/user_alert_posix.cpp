#include "log/user_alert.h"

#include "platform.h"

#include <string>

void ShowUserAlert(CLog::LogSeverity severity, const char* text) {
    std::string line = severity == CLog::USERINTERVENTION ? "USERINTERVENTION: " : "USERALERT: ";
    line += text;
    platform::writeStandardError(line.c_str());
}

// Nothing counts down here.
void SetUserAlertTickMilliseconds(unsigned) {}

bool UserAlertIdle() {
    return true;
}
