// Makes every operator new of the test program fail for the length of a scope, to check that the code under
// test absorbs an allocation failure instead of throwing it at its host. The program that links
// failing_allocations.cpp replaces the global operator new and delete: in it, code linked statically (and
// on Linux the shared libraries it loads) allocates through them.
//
// The sanitizers bring allocators of their own that must not be replaced: there the replacement is left
// out. Tools such as valgrind put their own in place of it. allocationFailuresCanBeMade() tells whether
// the failures take effect (tests skip when they do not). A shared C++ runtime (the 32-bit Windows build's
// DLL) allocates for its own code (a string's growth) through its own operator new, out of the program's
// reach: runtimeAllocationsFailToo() tells.
#pragma once

namespace testing_support {

bool allocationFailuresCanBeMade();
// Whether FailingAllocations also fails the allocations the C++ runtime makes for its own code.
bool runtimeAllocationsFailToo();

// While an object lives, every operator new of the program throws std::bad_alloc (malloc still works).
// Not for use from several threads at once.
class FailingAllocations {
public:
    FailingAllocations();
    ~FailingAllocations();
    FailingAllocations(const FailingAllocations&) = delete;
    FailingAllocations& operator=(const FailingAllocations&) = delete;
};

} // namespace testing_support
