#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "cloud/CloudASRClient.h"
#include "core/SharedInstance.h"
#include "platform/Audio.h"
#include "platform/Scheduler.h"
#include "platform/WebSocket.h"

namespace sayvo {

// The cloud engine: one WebSocket connection and one recognition task per
// start; streams the microphone, converted to 16 kHz mono int16, and reports
// the service's results through the five callbacks, each posted to the main queue.
// Threads: start/stop, the delayed command and close, audio capture start and
// stop run on the main thread. The connection's callback queue handles
// received messages and only posts. The audio thread converts and sends.
// Crossing threads: isRunning_ (atomic) and the connection (guarded).
// Every posted report carries the start it belongs to, so nothing of an
// earlier connection reaches the callbacks after a new start.
// Make it with create(): deferred work holds it weakly.
class AliyunASR final : public CloudASRClient, public std::enable_shared_from_this<AliyunASR> {
public:
    struct Services {
        Scheduler& scheduler;
        WebSocketService& webSockets;
        UUIDGenerator& uuids;
        AudioSystem& audio;
    };

    static std::shared_ptr<AliyunASR> create(Services services, std::string wsURL);
    ~AliyunASR() override;

    // The process-wide instance, installed by the entry point (SharedInstance::Scope).
    static AliyunASR& shared() { return SharedInstance<AliyunASR>::get(); }

    void startRecognition(const std::string& apiKey) override;
    void stopRecognition() override;

    bool isRunning() const { return isRunning_; }
    const std::string& taskId() const { return taskId_; }

private:
    AliyunASR(Services services, std::string wsURL);

    std::shared_ptr<WebSocketTask> currentTask() const;
    void sendRunTask(std::uint64_t start);
    void sendFinishTask();
    void receiveMessages(std::shared_ptr<WebSocketTask> task, std::uint64_t start);
    void handleMessage(const std::string& text, std::uint64_t start);
    void startAudioCapture(std::uint64_t start);
    void stopAudioCapture();
    void endedByService(std::uint64_t start);
    void closeTask(const std::shared_ptr<WebSocketTask>& task);
    // Runs `work` on the main queue if this client still exists and no newer start happened.
    template <typename Work>
    void onMain(std::uint64_t start, Work work);
    void report(const std::function<void()>& callback) const {
        if (callback) callback();
    }

    Services services_;
    const std::string wsURL_;
    std::atomic<bool> isRunning_{false};
    // The current connection, read by the callback queue and the audio thread.
    class Connection {
    public:
        std::shared_ptr<WebSocketTask> get() const {
            std::lock_guard lock(mutex_);
            return task_;
        }
        void set(std::shared_ptr<WebSocketTask> task) {
            std::lock_guard lock(mutex_);
            task_ = std::move(task);
        }
        void clearIf(const std::shared_ptr<WebSocketTask>& task) {
            std::lock_guard lock(mutex_);
            if (task_ == task) task_.reset();
        }

    private:
        mutable std::mutex mutex_;
        std::shared_ptr<WebSocketTask> task_;
    };
    const std::shared_ptr<Connection> connection_ = std::make_shared<Connection>();
    std::unique_ptr<AudioEngine> audioEngine_;
    std::string taskId_;
    std::uint64_t start_ = 0;                               // main thread: which start is current
    bool runTaskSent_ = false;                              // main thread: for the current start
    std::shared_ptr<WebSocketTask> closedAfterServiceEnd_;  // main thread
};

}  // namespace sayvo
