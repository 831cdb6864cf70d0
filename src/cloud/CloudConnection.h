#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/WebSocket.h"

namespace sayvo {

// The current connection and the audio bound for it. The microphone opens at
// the press, before the service has started the task; what it captures until
// then is held, in order, and goes out first when the task starts.
// Thread: any. The lock is held for a swap, one queued send, or the flush of
// the held audio; sends only queue, so the audio thread never waits on the
// network. Streaming is switched on by the main thread only.
class CloudConnection {
public:
    // A minute of 16 kHz int16 audio; a service that has not started the task
    // by then is not going to, and the memory must stay bounded.
    static constexpr std::size_t maxHeldBytes = 60 * 16000 * 2;

    std::shared_ptr<WebSocketTask> get() const {
        std::lock_guard lock(mutex_);
        return task_;
    }

    // A new connection: nothing held, nothing streams until it is started.
    void set(std::shared_ptr<WebSocketTask> task) {
        std::lock_guard lock(mutex_);
        task_ = std::move(task);
        held_.clear();
        heldBytes_ = 0;
        streaming_ = false;
    }

    void clearIf(const std::shared_ptr<WebSocketTask>& task) {
        std::lock_guard lock(mutex_);
        if (task_ != task) return;
        task_.reset();
        held_.clear();
        heldBytes_ = 0;
    }

    // Audio thread: one converted chunk.
    void sendAudio(std::string bytes) {
        std::lock_guard lock(mutex_);
        if (!task_) return;
        if (streaming_) {
            send(std::move(bytes));
        } else if (heldBytes_ + bytes.size() <= maxHeldBytes) {
            heldBytes_ += bytes.size();
            held_.push_back(std::move(bytes));
        }
    }

    // Main thread, once the task has started: the held audio first, then live.
    void beginStreaming() {
        std::lock_guard lock(mutex_);
        if (!task_ || streaming_) return;
        for (auto& bytes : held_) send(std::move(bytes));
        held_.clear();
        heldBytes_ = 0;
        streaming_ = true;
    }

    // Main thread.
    bool isStreaming() const {
        std::lock_guard lock(mutex_);
        return streaming_;
    }

private:
    void send(std::string bytes) {
        task_->send({WebSocketMessage::Kind::binary, std::move(bytes)},
                    [](std::optional<PlatformError>) {});
    }

    mutable std::mutex mutex_;
    std::shared_ptr<WebSocketTask> task_;
    std::vector<std::string> held_;
    std::size_t heldBytes_ = 0;
    bool streaming_ = false;
};

}  // namespace sayvo
