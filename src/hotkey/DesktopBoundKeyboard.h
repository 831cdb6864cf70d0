#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>

#include "platform/Keyboard.h"

namespace sayvo {

// A keyboard whose hotkey the desktop binds and owns (a portal shortcut, a
// desktop's custom shortcut): no key typed elsewhere is seen here. Local
// monitors, the notation and the held modifiers are those of the keyboard of
// Sayvo's own windows; the desktop binds keys, never a modifier alone, so
// there is no fn.
// Thread: main thread only.
class DesktopBoundKeyboard : public KeyboardMonitoring {
public:
    explicit DesktopBoundKeyboard(KeyboardMonitoring& ownWindows) : ownWindows_(ownWindows) {}

    std::optional<MonitorToken> addLocalMonitor(std::uint64_t eventMask,
                                                LocalHandler handler) override {
        const auto inner = ownWindows_.addLocalMonitor(eventMask, std::move(handler));
        if (!inner) return std::nullopt;
        const MonitorToken token = newToken();
        localTokens_[token] = *inner;
        return token;
    }
    void removeMonitor(MonitorToken token) override {
        if (const auto it = localTokens_.find(token); it != localTokens_.end()) {
            ownWindows_.removeMonitor(it->second);
            localTokens_.erase(it);
        }
    }
    ModifierNotation modifierNotation() const override { return ownWindows_.modifierNotation(); }
    std::uint64_t currentModifierFlags() const override {
        return ownWindows_.currentModifierFlags();
    }
    bool hasFunctionKey() const override { return false; }
    bool desktopOwnsBindings() const override { return true; }
    void setDesktopTriggerHandler(std::function<void()> handler) override {
        triggerChanged_ = std::move(handler);
    }

protected:
    MonitorToken newToken() { return nextToken_++; }
    void announceTriggerChange() const {
        if (triggerChanged_) triggerChanged_();
    }

private:
    KeyboardMonitoring& ownWindows_;
    std::function<void()> triggerChanged_;
    std::map<MonitorToken, MonitorToken> localTokens_;  // ours -> the own windows'
    MonitorToken nextToken_ = 1;
};

}  // namespace sayvo
