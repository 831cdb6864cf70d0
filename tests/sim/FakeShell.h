#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/ApplicationShell.h"
#include "ui/FloatingIndicatorView.h"
#include "ui/MenuBarView.h"

namespace sayvo::sim {

class FakeTrayItem final : public TrayItem {
public:
    bool button = true;
    std::vector<std::string> images;  // every image set, in order
    std::string description;
    std::vector<std::pair<std::string, std::string>> messages;  // title, text

    bool hasButton() const override { return button; }
    void setImage(const std::string& symbolName, const std::string& accessibility) override {
        images.push_back(symbolName);
        description = accessibility;
    }
    std::vector<NoticeKind> kinds;  // of each message
    void showMessage(const std::string& title, const std::string& message,
                     NoticeKind kind) override {
        messages.emplace_back(title, message);
        kinds.push_back(kind);
    }
    std::string currentImage() const { return images.empty() ? "" : images.back(); }
    // The user clicks; as the real tray, nothing is reported without a button.
    void click(TrayClick which) {
        if (button && onClick) onClick(which);
    }
};

class FakeFloatingWindow final : public FloatingWindow {
public:
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

class FakePopover final : public Popover {
public:
    std::shared_ptr<MenuBarView> content;
    bool shown = false;

    void setContentSize(double, double) override {}
    void setContent(std::shared_ptr<MenuBarView> view) override { content = std::move(view); }
    void showRelativeToTrayItem() override { shown = true; }
    void close() override {
        if (!shown) return;
        shown = false;
        if (onClose) onClose();
    }
    bool isShown() const override { return shown; }
};

// Hands out fakes and keeps pointers to them for inspection.
class FakeApplicationShell final : public ApplicationShell {
public:
    bool trayAvailable = true;
    bool accessory = false;
    FakeTrayItem* trayItem = nullptr;
    FakePopover* popover = nullptr;
    std::vector<FakeFloatingWindow*> windows;

    void setAccessoryActivationPolicy() override { accessory = true; }
    std::unique_ptr<TrayItem> makeTrayItem() override {
        auto item = std::make_unique<FakeTrayItem>();
        item->button = trayAvailable;
        trayItem = item.get();
        return item;
    }
    std::unique_ptr<Popover> makePopover() override {
        auto made = std::make_unique<FakePopover>();
        popover = made.get();
        return made;
    }
    std::unique_ptr<FloatingWindow> makeFloatingWindow() override {
        auto window = std::make_unique<FakeFloatingWindow>();
        windows.push_back(window.get());
        return window;
    }
    Rect visibleScreenFrame() const override { return {0, 25, 1440, 875}; }
    void quit() override {}
};

}  // namespace sayvo::sim
