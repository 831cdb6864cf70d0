#pragma once

#include <mutex>

namespace sayvo::sim {

// A fake's one-line critical section: f's result, with m held while it runs.
template <typename F>
auto locked(std::mutex& m, F f) {
    std::lock_guard lock(m);
    return f();
}

}  // namespace sayvo::sim
