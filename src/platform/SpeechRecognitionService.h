#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Audio.h"
#include "platform/PlatformError.h"

namespace sayvo {

enum class SpeechAuthorizationStatus { notDetermined, denied, restricted, authorized, other };

enum class RecognitionTaskHint { unspecified, dictation, search, confirmation };

// Audio handed to a recogniser buffer by buffer.
// Thread: options and endAudio on the main thread; append from the audio
// thread, never blocking on recognition. Buffers appended after endAudio are
// dropped.
class AudioBufferRecognitionRequest {
public:
    virtual ~AudioBufferRecognitionRequest() = default;
    virtual void setShouldReportPartialResults(bool on) = 0;
    virtual void setTaskHint(RecognitionTaskHint hint) = 0;
    virtual void setRequiresOnDeviceRecognition(bool on) = 0;
    virtual void append(const AudioPCMBuffer& buffer) = 0;
    virtual void endAudio() = 0;
};

struct RecognitionResult {
    // The whole text of the task so far.
    std::string formattedString;
    bool isFinal = false;
};

// A running recognition. Thread: main thread. After cancel() its handler is
// never called again.
class RecognitionTask {
public:
    virtual ~RecognitionTask() = default;
    virtual void cancel() = 0;
};

// Called any number of times, on a thread of the service's choosing, with a
// result, an error, or both. A final result or an error ends the task.
using RecognitionResultHandler =
    std::function<void(std::optional<RecognitionResult>, std::optional<PlatformError>)>;

// One on-device recogniser for one locale.
// Thread: main thread.
class OnDeviceRecognizer {
public:
    virtual ~OnDeviceRecognizer() = default;
    // False while the recogniser cannot take requests (model missing, service down).
    virtual bool isAvailable() const = 0;
    virtual std::string localeIdentifier() const = 0;
    // Starts recognising the request's audio; null when no task can be made.
    virtual std::shared_ptr<RecognitionTask> recognitionTask(
        std::shared_ptr<AudioBufferRecognitionRequest> request,
        RecognitionResultHandler handler) = 0;
};

// Errors of recognition tasks: "no speech" and other transient conditions
// that end a task without ending the user's dictation.
namespace SpeechError {
inline const std::string assistantDomain = "kAFAssistantErrorDomain";
constexpr long noSpeech = 1110;
constexpr long retry = 209;
constexpr long serviceBusy = 216;
}  // namespace SpeechError

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

    // A new, empty request; null when none can be made.
    virtual std::shared_ptr<AudioBufferRecognitionRequest> makeRecognitionRequest() = 0;

    // Why no recogniser can run, in the user's words: what is missing, where
    // it was looked for and how to get it. Empty when it can run, or when the
    // platform cannot say.
    virtual std::string unavailableReason() const { return {}; }
};

}  // namespace sayvo
