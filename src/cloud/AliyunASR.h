#pragma once

#include <memory>

#include "cloud/CloudASRClient.h"
#include "core/SharedInstance.h"
#include "platform/Scheduler.h"

namespace sayvo {

// The cloud engine. Until the streaming connection exists this client holds a
// task open without sending audio, so the recording cycle behaves as it will:
// started on start, stopped (and reported) on stop.
// Thread: main thread for every call; callbacks are fired on the main queue.
class AliyunASR final : public CloudASRClient {
public:
    explicit AliyunASR(Scheduler& scheduler);
    ~AliyunASR() override;

    void startRecognition(const std::string& apiKey) override;
    void stopRecognition() override;

    // The process-wide instance, installed by the entry point (SharedInstance::Scope).
    static AliyunASR& shared() { return SharedInstance<AliyunASR>::get(); }

private:
    Scheduler& scheduler_;
    bool isRunning_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace sayvo
