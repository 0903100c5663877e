// Ways a test host ends by a fault that nothing handles, and a fault handler of the host's own.
#pragma once

#include <string>

// The exit code the host's own fault handler ends the process with.
constexpr int kOwnFaultHandlerExitCode = 42;

// Whether way names one of: "segv" (a write to address 16), "ill" (an illegal instruction),
// "fpe" (an integer division by zero), "abort" (std::abort), "throw" (an exception nothing catches),
// "stack-overflow" (endless recursion).
bool IsCrashWay(const std::string& way);
// Crashes the calling thread that way; returns only for an unknown way.
void CrashBy(const std::string& way);

// Installs the host's own handler of faults (Linux: SIGSEGV, SIGILL, SIGFPE, SIGABRT; Windows: the
// unhandled-exception filter), in front of whatever is in place: it writes "own fault handler" to standard
// error and ends the process with kOwnFaultHandlerExitCode.
void InstallOwnFaultHandler();
