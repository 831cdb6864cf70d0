#pragma once

#include <cstdio>
#include <mutex>
#include <vector>

#include "FakeServices.h"
#include "Locked.h"
#include "platform/UUIDGenerator.h"
#include "platform/WebSocket.h"

namespace sayvo::sim {

// A connection whose service side the test plays. Sends are recorded (from
// any thread); the test answers a pending receive, fails it, or closes.
struct FakeWebSocketTask final : WebSocketTask {
    FakeWebSocketTask(WebSocketRequest request, WebSocketDelegate delegate)
        : request(std::move(request)), delegate(std::move(delegate)) {}
    WebSocketRequest request;
    WebSocketDelegate delegate;
    bool resumed = false;
    std::optional<int> closeCode;
    std::optional<PlatformError> sendFailure;  // every send's answer while set
    std::mutex mutex_;
    std::vector<WebSocketMessage> sent_;
    ReceiveCompletion pending_;
    void resume() override { resumed = true; }
    void send(WebSocketMessage message, SendCompletion completion) override {
        locked(mutex_, [&] { sent_.push_back(std::move(message)); });
        call(completion, sendFailure);
    }
    void receive(ReceiveCompletion completion) override {
        locked(mutex_, [&] { pending_ = std::move(completion); });
    }
    void cancel(int code) override { closeCode = code, fail("cancelled"); }
    // The service side.
    bool hasPendingReceive() {
        return locked(mutex_, [&] { return static_cast<bool>(pending_); });
    }
    void deliver(WebSocketMessage message) { complete(std::move(message), std::nullopt); }
    void fail(const std::string& description, long cause = WebSocketError::other) {
        complete(std::nullopt, PlatformError{WebSocketError::domain, cause, description});
    }
    void closeFromService(int code) { call(delegate.onClose, code); }
    std::vector<WebSocketMessage> sent() {
        return locked(mutex_, [&] { return sent_; });
    }
    std::vector<std::string> sent(WebSocketMessage::Kind kind) {
        std::vector<std::string> data;
        for (const auto& m : sent())
            if (m.kind == kind) data.push_back(m.data);
        return data;
    }
    void complete(std::optional<WebSocketMessage> message, std::optional<PlatformError> error) {
        const auto completion = locked(mutex_, [&] { return std::exchange(pending_, {}); });
        call(completion, std::move(message), std::move(error));
    }
};

struct FakeWebSocketService final : WebSocketService {
    std::vector<std::shared_ptr<FakeWebSocketTask>> tasks;
    std::shared_ptr<WebSocketTask> makeWebSocketTask(const WebSocketRequest& request,
                                                     WebSocketDelegate delegate) override {
        return tasks.emplace_back(
            std::make_shared<FakeWebSocketTask>(request, std::move(delegate)));
    }
    FakeWebSocketTask& last() { return *tasks.back(); }
};

// Version 4 UUIDs in lower case, different every time.
struct FakeUUIDs final : UUIDGenerator {
    unsigned count_ = 0;
    std::string uuidString() override {
        char text[37];
        std::snprintf(text, sizeof text, "3f2a9c1e-7b4d-4e8a-9c2b-%012x", ++count_);
        return text;
    }
};

}  // namespace sayvo::sim
