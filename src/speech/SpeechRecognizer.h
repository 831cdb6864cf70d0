#pragma once

#include <memory>
#include <optional>
#include <string>

#include "cloud/CloudASRClient.h"
#include "core/Observable.h"
#include "platform/Platform.h"

namespace sayvo {

// The one recognition object: the observable recording state, the engine
// choice at every start, the permission checks and transcript assembly.
// Thread: main thread only. Work that arrives on other threads (permission
// answers, cloud callbacks) is posted to the main queue and holds the
// recognizer weakly. Make it with create(): handlers need a weak_ptr to it.
class SpeechRecognizer : public Observable, public std::enable_shared_from_this<SpeechRecognizer> {
public:
    static inline const std::string apiKeyKey = "AliyunASRAPIKey";

    static std::shared_ptr<SpeechRecognizer> create(const Platform& platform,
                                                    CloudASRClient& cloud);
    ~SpeechRecognizer();

    Published<std::string> transcript{*this, ""};
    Published<bool> isRecording{*this, false};
    Published<bool> isProcessing{*this, false};
    Published<std::optional<std::string>> errorMessage{*this, std::nullopt};
    Published<bool> isAuthorized{*this, false};
    Published<std::string> currentEngine{*this, "system"};
    Published<float> audioLevel{*this, 0.0f};

    // Starts a recording, or stops the one under way.
    void startRecording();
    // Stops the recording of the engine named by currentEngine.
    void stopRecording();
    void clearTranscript();

    std::string aliyunAPIKey() const;
    void setAliyunAPIKey(const std::string& key);
    bool useAliyunASR() const;

private:
    struct StartFailure {
        std::string domain;
        int code = 0;
        std::string localizedDescription;
    };

    SpeechRecognizer(const Platform& platform, CloudASRClient& cloud);
    void setupAliyunASRCallbacks();
    void checkMicrophoneThenStart();
    void checkSpeechAuthorizationThenStart();
    std::optional<StartFailure> startSystemRecognition();
    void stopSystemRecording();

    Platform platform_;
    CloudASRClient& cloud_;
    std::shared_ptr<OnDeviceRecognizer> speechRecognizer_;
    std::optional<double> lastResultTime_;
    std::string confirmedText_;
    static constexpr double silenceTimeout_ = 3.0;
};

}  // namespace sayvo
