#pragma once

#include <cassert>
#include <memory>

namespace sayvo {

// The process-wide instance of T, installed by the entry point with the real
// platform for exactly as long as a Scope lives, so it never outlives the
// services it was given. Thread: main thread.
template <typename T>
class SharedInstance {
public:
    static T& get() {
        assert(slot() && "the shared instance is used outside its scope");
        return *slot();
    }

    class Scope {
    public:
        explicit Scope(std::shared_ptr<T> instance) { slot() = std::move(instance); }
        ~Scope() { slot().reset(); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
    };

private:
    static std::shared_ptr<T>& slot() {
        static std::shared_ptr<T> instance;
        return instance;
    }
};

}  // namespace sayvo
