// What a helper host does with its own process beyond the library it tests: its standard output made a
// pipe nobody reads, and children made by fork().
#pragma once

#include <functional>

// Makes standard output a pipe whose reading end stays open and is never read: once its buffer is full,
// every write to standard output blocks. True when done.
bool RedirectStandardOutputToUnreadPipe();

// Whether this platform has fork() (Linux; Windows has none).
bool CanFork();
// Runs body in a child made by fork(); the child ends with exit() and body's result, so its exit functions
// and the libraries' exit code run. Waits for the child up to the limit and answers its exit code (128 and
// the signal's number for a child a signal ended); -1 when it had not ended by then (it is killed) or
// could not be made.
int RunInForkedChild(const std::function<int()>& body, unsigned limitMilliseconds);
