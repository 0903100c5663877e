// Which thread may touch a member of CTrace, written in the member's type rather than beside it.
//
// A key is an empty value that only some code can make; a function or a value that asks for one can only
// be used by code that holds one. CTrace makes a PrintThreadKey in the print thread's entry and in the
// unload's drain (which stands in for a killed print thread), and hands it down the calls that only the
// print thread may make; it makes an UnloadKey only in the functions that the library's unload calls.
// White-box tests that act as the print thread make their key through PrintThreadStandIn, which they
// define.
#pragma once

#include <atomic>

class CTrace;

// The constructors are written out, not defaulted: a defaulted one would leave the key an aggregate that
// any code could make with {}.
class PrintThreadKey {
    friend class CTrace;
    friend class PrintThreadStandIn;
    PrintThreadKey() {}
};

class UnloadKey {
    friend class CTrace;
    UnloadKey() {}
};

// A value only the holder of Key reads and writes: one thread, so a plain value.
template <typename Key, typename Value> class OwnedBy {
public:
    explicit OwnedBy(Value initial) : m_value(initial) {}
    void Set(Key, Value value) { m_value = value; }
    Value Get(Key) const { return m_value; }

private:
    Value m_value;
};

// A switch only the holder of Key turns, which any thread may read. Nothing is ordered by it: it only
// tells which way the switch stands.
template <typename Key> class SwitchTurnedBy {
public:
    void Set(Key, bool on) { m_on.store(on, std::memory_order_relaxed); }
    bool IsOn() const { return m_on.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> m_on{false};
};
