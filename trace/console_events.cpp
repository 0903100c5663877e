#include "text_console.h"

#include "trace_instance.h"

bool TraceConsoleHandler(unsigned long controlType) {
    switch (controlType) {
    case kConsoleCtrlC:
    case kConsoleBreak:
    case kConsoleClose:
    case kConsoleLogoff:
    case kConsoleShutdown:
        TheTrace().PrintText("Receive Console Event\n");
        return true;
    default:
        return false;
    }
}
