#pragma once

#include <functional>
#include <string>
#include <vector>

#include "portal/GlobalShortcutsPortal.h"
#include "portal/HostRegistryPortal.h"
#include "portal/RemoteDesktopPortal.h"

namespace sayvo::sim {

// Keeps every call's reply for the test to answer, as the bus would later.
struct FakeShortcutsPortal final : GlobalShortcutsPortal {
    bool present = true;
    std::vector<std::string> calls;  // "create <token> <trigger>", "bind <session> <trigger>"
    SessionReply created;
    BindReply bound;
    Events events;
    bool available() const override { return present; }
    void createSession(const std::string& token, const std::vector<Shortcut>& shortcuts,
                       SessionReply reply) override {
        calls.push_back("create " + token + " " + describe(shortcuts)), created = std::move(reply);
    }
    void bindShortcuts(const std::string& session, const std::vector<Shortcut>& shortcuts,
                       BindReply reply) override {
        calls.push_back("bind " + session + " " + describe(shortcuts)), bound = std::move(reply);
    }
    void setEvents(Events e) override { events = std::move(e); }
    static std::string describe(const std::vector<Shortcut>& shortcuts) {
        std::string text;
        for (const auto& s : shortcuts) text += s.id + "=" + s.preferredTrigger;
        return text;
    }
};

// A desktop that grants a keyboard only to a session that asks for just that,
// and types only into the session it opened ("/rd/1").
struct FakeRemoteDesktop final : RemoteDesktopPortal {
    bool present = true;
    int sessions = 0;
    unsigned askedDevices = 0;
    SessionReply created;
    Reply selected;
    StartReply started;
    std::function<void()> closed;
    std::string sent;  // "+29 +47 -47 -29 "
    bool available() const override { return present; }
    void createSession(SessionReply reply) override { ++sessions, created = std::move(reply); }
    bool restores = false;  // a desktop that keeps grants (portal version 2)
    std::string offeredToken;
    bool restoresSessions() const override { return restores; }
    void selectDevices(const std::string&, unsigned devices, const std::string& token,
                       Reply reply) override {
        askedDevices = devices, offeredToken = token, selected = std::move(reply);
    }
    void start(const std::string&, StartReply reply) override { started = std::move(reply); }
    void notifyKeyboardKeycode(const std::string& session, int keycode, bool pressed) override {
        if (session == "/rd/1") sent += (pressed ? "+" : "-") + std::to_string(keycode) + " ";
    }
    void setSessionClosedHandler(std::function<void()> handler) override {
        closed = std::move(handler);
    }
    void grant() {
        created(PortalOutcome::success, "/rd/1");
        selected(PortalOutcome::success);
        started(PortalOutcome::success, askedDevices == keyboardDevice ? keyboardDevice : 0u, "");
    }
};

// Absent unless told; keeps its reply for the test to answer.
struct FakeHostRegistry final : HostRegistryPortal {
    bool present = false;
    std::vector<std::string> registered;
    std::function<void(PortalOutcome)> answer;
    bool available() const override { return present; }
    void registerApp(const std::string& id, std::function<void(PortalOutcome)> reply) override {
        registered.push_back(id), answer = std::move(reply);
    }
};

}  // namespace sayvo::sim
