#include "cloud/AliyunASR.h"

#include <cassert>

namespace sayvo {

namespace {
std::unique_ptr<AliyunASR>& sharedInstance() {
    static std::unique_ptr<AliyunASR> instance;
    return instance;
}
}  // namespace

AliyunASR::AliyunASR(Scheduler& scheduler) : scheduler_(scheduler) {}
AliyunASR::~AliyunASR() = default;

AliyunASR& AliyunASR::shared() {
    assert(sharedInstance() && "AliyunASR::makeShared must run first");
    return *sharedInstance();
}

void AliyunASR::makeShared(Scheduler& scheduler) {
    if (!sharedInstance()) sharedInstance() = std::make_unique<AliyunASR>(scheduler);
}

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
