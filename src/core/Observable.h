#pragma once

#include <functional>
#include <map>
#include <memory>
#include <utility>

namespace sayvo {

// Keeps a subscription alive; dropping it unsubscribes. Safe to outlive the
// object it subscribed to.
class Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, {})) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            reset();
            cancel_ = std::exchange(other.cancel_, {});
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { reset(); }

    void reset() {
        if (cancel_) std::exchange(cancel_, {})();
    }

private:
    std::function<void()> cancel_;
};

// A list of observers. Observers added or removed while it fires take effect
// from the next firing. Thread: main thread only.
template <typename... Args>
class Signal {
public:
    using Observer = std::function<void(Args...)>;

    Subscription subscribe(Observer observer) {
        const auto id = nextId_++;
        observers_->emplace(id, std::move(observer));
        std::weak_ptr<Observers> weak = observers_;
        return Subscription([weak, id] {
            if (auto observers = weak.lock()) observers->erase(id);
        });
    }

    void fire(const Args&... args) const {
        const auto snapshot = *observers_;
        for (const auto& [id, observer] : snapshot) {
            if (observers_->count(id)) observer(args...);
        }
    }

private:
    using Observers = std::map<unsigned long, Observer>;
    std::shared_ptr<Observers> observers_ = std::make_shared<Observers>();
    unsigned long nextId_ = 0;
};

// An object with one object-wide "will change" signal, fired before every
// store to one of its published properties.
class Observable {
public:
    Signal<> objectWillChange;

protected:
    Observable() = default;
    ~Observable() = default;
};

// A property that announces every store, equal values included: first the
// owner's objectWillChange, then the new value is stored, then its own stream.
template <typename T>
class Published {
public:
    Published(Observable& owner, T initial) : owner_(owner), value_(std::move(initial)) {}
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& get() const { return value_; }
    operator const T&() const { return value_; }

    void set(T value) {
        owner_.objectWillChange.fire();
        value_ = std::move(value);
        values.fire(value_);
    }
    Published& operator=(T value) {
        set(std::move(value));
        return *this;
    }

    Signal<T> values;

private:
    Observable& owner_;
    T value_;
};

}  // namespace sayvo
