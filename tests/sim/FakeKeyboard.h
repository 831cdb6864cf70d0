#pragma once

#include <map>
#include <optional>
#include <set>
#include <utility>

#include "platform/Keyboard.h"

namespace sayvo::sim {

// Keyboard monitors the test drives: events typed "elsewhere" go to the global
// monitors, events typed into our own windows to the local ones.
struct FakeKeyboard final : KeyboardMonitoring {
    bool functionKey = true;
    std::uint64_t heldModifiers = 0;
    // Combinations another program holds, and the one reserved for us.
    std::set<std::pair<std::uint16_t, std::uint64_t>> heldElsewhere;
    std::optional<std::pair<std::uint16_t, std::uint64_t>> reserved;

    // The layout's own names and level keys; other keys as the portable code says.
    std::map<std::uint16_t, std::string> names;
    std::set<std::uint16_t> levelKeys;
    std::map<MonitorToken, std::pair<std::uint64_t, GlobalHandler>> globals_;
    std::map<MonitorToken, std::pair<std::uint64_t, LocalHandler>> locals_;
    MonitorToken next_ = 1;
    std::string bindingDesktopName;  // a desktop whose settings Sayvo binds in (GNOME)
    bool hasFunctionKey() const override { return functionKey; }
    bool desktopOwnsBindings() const override { return !bindingDesktopName.empty(); }
    std::string bindingDesktop() const override { return bindingDesktopName; }
    KeyRole keyRole(std::uint16_t code) const override {
        return levelKeys.count(code) ? KeyRole::selectsLevel : keyRoleFromCode(code);
    }
    std::string keyName(std::uint16_t code) const override {
        const auto it = names.find(code);
        return it == names.end() ? std::string() : it->second;
    }
    std::uint64_t currentModifierFlags() const override { return heldModifiers; }
    KeyReservation reserveKey(std::uint16_t keyCode, std::uint64_t modifiers) override {
        reserved.reset();
        if (heldElsewhere.count({keyCode, modifiers})) return KeyReservation::heldElsewhere;
        return reserved = {keyCode, modifiers}, KeyReservation::reserved;
    }
    void releaseReservedKey() override { reserved.reset(); }
    std::optional<MonitorToken> addGlobalMonitor(std::uint64_t mask,
                                                 GlobalHandler handler) override {
        return globals_[next_] = {mask, std::move(handler)}, next_++;
    }
    std::optional<MonitorToken> addLocalMonitor(std::uint64_t mask, LocalHandler handler) override {
        return locals_[next_] = {mask, std::move(handler)}, next_++;
    }
    void removeMonitor(MonitorToken token) override { globals_.erase(token), locals_.erase(token); }
    std::size_t globalCount() const { return globals_.size(); }
    std::size_t localCount() const { return locals_.size(); }
    // An event in another application; a copy, as handlers may remove monitors.
    void typeElsewhere(const KeyEvent& event) {
        for (const auto& [token, monitor] : decltype(globals_)(globals_))
            if (monitor.first & maskOf(event.type)) monitor.second(event);
    }
    // An event in one of our windows; true when a monitor consumed it.
    bool typeInOwnWindow(const KeyEvent& event) {
        bool consumed = false;
        for (const auto& [token, monitor] : decltype(locals_)(locals_))
            if ((monitor.first & maskOf(event.type)) && !monitor.second(event)) consumed = true;
        return consumed;
    }
};

}  // namespace sayvo::sim
