#include "FakeServices.h"

namespace sayvo::sim {

void FakeCloudClient::startRecognition(const std::string& apiKey) {
    std::lock_guard lock(mutex_);
    if (isRunning_) {
        ++ignoredStarts;
        return;
    }
    isRunning_ = true;
    startedKeys.push_back(apiKey);
}

void FakeCloudClient::stopRecognition() {
    {
        std::lock_guard lock(mutex_);
        ++stopCalls;
        if (!isRunning_) return;
        isRunning_ = false;
        ++stopCount;
    }
    if (onStopped) onStopped();
    if (!holdFinish) fireFinished();
}

bool FakeCloudClient::isRunning() const {
    std::lock_guard lock(mutex_);
    return isRunning_;
}

void FakeCloudClient::fireTranscript(const std::string& text, bool isFinal) {
    if (onTranscript) onTranscript(text, isFinal);
}
void FakeCloudClient::fireError(const std::string& message) {
    if (onError) onError(message);
}
void FakeCloudClient::fireStarted() {
    if (onStarted) onStarted();
}
void FakeCloudClient::fireAudioLevel(float level) {
    if (onAudioLevel) onAudioLevel(level);
}
void FakeCloudClient::fireStoppedByService() {
    {
        std::lock_guard lock(mutex_);
        isRunning_ = false;
    }
    if (onStopped) onStopped();
    fireFinished();
}

void FakeCloudClient::fireFinished() {
    if (onFinished) onFinished();
}

}  // namespace sayvo::sim
