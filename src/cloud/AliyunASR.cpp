#include "cloud/AliyunASR.h"

namespace sayvo {

AliyunASR::AliyunASR(Scheduler& scheduler) : scheduler_(scheduler) {}
AliyunASR::~AliyunASR() = default;

void AliyunASR::startRecognition(const std::string& /*apiKey*/) {
    if (isRunning_) return;
    isRunning_ = true;
}

void AliyunASR::stopRecognition() {
    if (!isRunning_) return;
    isRunning_ = false;
    std::weak_ptr<bool> alive = alive_;
    scheduler_.post([this, alive] {
        if (alive.expired()) return;
        if (onStopped) onStopped();
    });
}

}  // namespace sayvo
