// Where the libraries stop exceptions. No exception leaves an export: the host may be C, or C++ built
// with another runtime. The only exception expected is an allocation failure; the call then answers
// what the export answers for a message or a setting it could not take.
//
// A stopped exception is a drop the host never hears of, so each library counts its drops in one
// DropCount of its own, which its tests read through the library's seam (no export shows it). The
// boundary is handed the function that finds the count, called only when something was dropped: the
// exports' common path pays nothing for it.
#pragma once

#include <atomic>
#include <cstddef>

namespace boundary {

// How many calls a library's boundary turned from an exception into its failure answer. Any thread may
// add or read at any time.
class DropCount {
public:
    void Add() noexcept { m_drops.fetch_add(1, std::memory_order_relaxed); }
    std::size_t Read() const noexcept { return m_drops.load(std::memory_order_relaxed); }

private:
    std::atomic<std::size_t> m_drops{0};
};

// The library's count of drops.
using DropCountOf = DropCount& (*)();

// Runs the body; an exception is counted and becomes `failed`.
template <typename Result, typename Body>
Result guarded(DropCountOf drops, Result failed, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        drops().Add();
        return failed;
    }
}

// Runs the body; an exception is counted and the call does nothing more.
template <typename Body> void guarded(DropCountOf drops, Body&& body) noexcept {
    try {
        body();
    } catch (...) {
        drops().Add();
    }
}

} // namespace boundary
