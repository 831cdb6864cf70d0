#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/ApplicationShell.h"
#include "ui/FloatingIndicatorView.h"
#include "ui/MenuBarView.h"

namespace sayvo::sim {

struct FakeTrayItem final : TrayItem {
    bool button = true;
    std::vector<std::string> images;  // every image set, in order
    std::string description;
    std::vector<std::pair<std::string, std::string>> messages;  // title, text
    std::vector<NoticeKind> kinds;                              // of each message
    bool hasButton() const override { return button; }
    bool inTray = true;
    bool isInTray() const override { return button && inTray; }
    void setImage(const std::string& symbolName, const std::string& accessibility) override {
        images.push_back(symbolName), description = accessibility;
    }
    void showMessage(const std::string& title, const std::string& text, NoticeKind kind) override {
        messages.emplace_back(title, text), kinds.push_back(kind);
    }
    std::string currentImage() const { return images.empty() ? "" : images.back(); }
    // The user clicks; as the real tray, nothing is reported without a button.
    void click(TrayClick which) {
        if (button && onClick) onClick(which);
    }
};

struct FakeFloatingWindow final : FloatingWindow {
    Rect currentFrame{};
    bool visible = false;
    std::shared_ptr<FloatingIndicatorView> content;
    void setFrame(const Rect& frame) override { currentFrame = frame; }
    Rect frame() const override { return currentFrame; }
    void show() override { visible = true; }
    void hide() override { visible = false; }
    bool isVisible() const override { return visible; }
    void setContent(std::shared_ptr<FloatingIndicatorView> view) override {
        content = std::move(view);
    }
    void pressClose() { content->close(); }
};

struct FakePopover final : Popover {
    std::shared_ptr<MenuBarView> content;
    bool shown = false;
    void setContentSize(double, double) override {}
    void setContent(std::shared_ptr<MenuBarView> view) override { content = std::move(view); }
    void showRelativeToTrayItem() override { shown = true; }
    void close() override {
        if (std::exchange(shown, false) && onClose) onClose();
    }
    bool isShown() const override { return shown; }
};

struct FakeApplicationShell final : ApplicationShell {
    bool trayAvailable = true;
    bool trayShown = true;  // false: an item that waits for a tray
    bool accessory = false;
    FakeTrayItem* trayItem = nullptr;
    FakePopover* popover = nullptr;
    std::vector<FakeFloatingWindow*> windows;
    void setAccessoryActivationPolicy() override { accessory = true; }
    std::unique_ptr<TrayItem> makeTrayItem() override {
        (trayItem = new FakeTrayItem)->button = trayAvailable;
        trayItem->inTray = trayShown;
        return std::unique_ptr<TrayItem>(trayItem);
    }
    std::unique_ptr<Popover> makePopover() override {
        return std::unique_ptr<Popover>(popover = new FakePopover);
    }
    std::unique_ptr<FloatingWindow> makeFloatingWindow() override {
        return std::unique_ptr<FloatingWindow>(windows.emplace_back(new FakeFloatingWindow));
    }
    Rect visibleScreenFrame() const override { return {0, 25, 1440, 875}; }
    void quit() override {}
};

}  // namespace sayvo::sim
