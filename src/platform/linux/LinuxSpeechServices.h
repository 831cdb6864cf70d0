#pragma once

#include <string>

#include "platform/MicrophoneAuthorization.h"
#include "platform/SpeechRecognitionService.h"

namespace sayvo {

// Linux asks no one for microphone access: a process may capture whenever a
// capture source exists. Thread: main thread.
class LinuxMicrophoneAuthorization final : public MicrophoneAuthorization {
public:
    MicrophoneAuthorizationStatus status() const override;
    void requestAccess(std::function<void(bool granted)> answer) override;
};

// The on-device recogniser service backed by PocketSphinx models installed on
// the system. Only an English model exists, so "zh-CN" is refused and the
// default locale is "en-US". Linux has no speech-permission prompt.
// Thread: main thread.
class PocketSphinxSpeechService final : public SpeechRecognitionService {
public:
    explicit PocketSphinxSpeechService(std::string modelDirectory = defaultModelDirectory());
    static std::string defaultModelDirectory();

    SpeechAuthorizationStatus authorizationStatus() const override;
    void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> answer) override;
    std::shared_ptr<OnDeviceRecognizer> recognizerForLocale(const std::string& localeId) override;
    std::shared_ptr<OnDeviceRecognizer> recognizerForDefaultLocale() override;

private:
    std::string modelDirectory_;
};

}  // namespace sayvo
