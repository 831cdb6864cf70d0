#pragma once

#include <functional>
#include <memory>
#include <string>

namespace sayvo {

enum class SpeechAuthorizationStatus { notDetermined, denied, restricted, authorized, other };

// One on-device recogniser for one locale.
// Thread: main thread.
class OnDeviceRecognizer {
public:
    virtual ~OnDeviceRecognizer() = default;
    // False while the recogniser cannot take requests (model missing, service down).
    virtual bool isAvailable() const = 0;
    virtual std::string localeIdentifier() const = 0;
};

// The platform's on-device speech recognition service.
// Thread: called on the main thread; answers may come on any thread.
// Failure: a locale without a model gives no recogniser; a recogniser that
// cannot run reports itself unavailable.
class SpeechRecognitionService {
public:
    virtual ~SpeechRecognitionService() = default;

    virtual SpeechAuthorizationStatus authorizationStatus() const = 0;

    // `answer` is called exactly once, on any thread, with the resulting status.
    virtual void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> answer) = 0;

    // A recogniser for a locale identifier such as "zh-CN"; none when the
    // platform cannot recognise that locale.
    virtual std::shared_ptr<OnDeviceRecognizer> recognizerForLocale(
        const std::string& localeId) = 0;

    // A recogniser for the user's default locale; none when there is no model at all.
    virtual std::shared_ptr<OnDeviceRecognizer> recognizerForDefaultLocale() = 0;
};

}  // namespace sayvo
