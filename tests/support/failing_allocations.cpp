#include "failing_allocations.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PL_SANITIZED_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define PL_SANITIZED_ALLOCATOR 1
#endif
#endif

namespace testing_support {

namespace {

std::atomic<bool> failing{false};

} // namespace

bool allocationFailuresCanBeMade() {
#if defined(PL_SANITIZED_ALLOCATOR)
    return false;
#else
    // A tool may put its own operator new in place of this program's (valgrind does): try it.
    FailingAllocations failing;
    try {
        ::operator delete(::operator new(1));
        return false;
    } catch (const std::bad_alloc&) {
        return true;
    }
#endif
}

bool runtimeAllocationsFailToo() {
    if (!allocationFailuresCanBeMade())
        return false;
    FailingAllocations refusing;
    try {
        std::string grown(1000, 'x'); // grown by the runtime's own code
        return false;
    } catch (const std::bad_alloc&) {
        return true;
    }
}

FailingAllocations::FailingAllocations() {
    failing = true;
}

FailingAllocations::~FailingAllocations() {
    failing = false;
}

} // namespace testing_support

#if !defined(PL_SANITIZED_ALLOCATOR)

namespace {

void* allocate(std::size_t size) {
    if (testing_support::failing.load(std::memory_order_relaxed))
        throw std::bad_alloc();
    void* block = std::malloc(size != 0 ? size : 1);
    if (!block)
        throw std::bad_alloc();
    return block;
}

} // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}

#endif
