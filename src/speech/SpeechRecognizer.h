#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/Observable.h"
#include "platform/Platform.h"
#include "speech/APIKeyStore.h"
#include "speech/CloudASRClient.h"
#include "speech/MicrophoneTap.h"
#include "speech/RecognitionRequestSlot.h"

namespace sayvo {

// The one recognition object: the observable recording state, the engine
// choice at every start, the permission checks and transcript assembly.
// Thread: main thread only. Work that arrives on other threads (permission
// answers, cloud callbacks, recogniser results, audio levels) is posted to the
// main queue and holds the recognizer weakly; the audio thread touches only
// the request slot, through the microphone's tap. Make it with create():
// handlers need a weak_ptr to it.
class SpeechRecognizer : public Observable, public std::enable_shared_from_this<SpeechRecognizer> {
public:
    static inline const std::string apiKeyKey = APIKeyStore::preferencesKey;

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

    // Whether three seconds of silence after some text end the recording (and,
    // on the cloud engine, ten seconds without any).
    // Not while the user holds the hotkey: the hold says "still dictating".
    bool stopsOnSilence = true;

    // Starts a recording, or stops the one under way.
    void startRecording();
    // Stops the recording of the engine named by currentEngine.
    void stopRecording();
    // After a stop, until the service has answered or the on-device
    // recogniser has given its final result: the transcript may still grow.
    bool awaitsFinalText() const { return awaitsFinalText_; }
    // Fired when awaitsFinalText() turns false: the last words are in, or
    // will not come.
    Signal<> finalTextSettled;
    void clearTranscript();

    std::string aliyunAPIKey() const;
    void setAliyunAPIKey(const std::string& key);
    bool useAliyunASR() const;
    // Where the key is kept; its changes are this object's changes.
    APIKeyStore& apiKeyStore() { return *apiKeys_; }

private:
    SpeechRecognizer(const Platform& platform, CloudASRClient& cloud);
    void setupAliyunASRCallbacks();
    void checkMicrophoneThenStart();
    void requestMicrophoneThenStart();
    void checkSpeechAuthorizationThenStart();
    void requestSpeechAuthorizationThenStart();
    void startIfRecognizerAvailable();
    std::optional<PlatformError> startSystemRecognition();
    // Whatever an earlier recording or a failed start left behind.
    void discardSystemRecognition();
    void restartRecognition();
    void startSilenceTimer();
    void checkSilence();
    void stopSilenceTimer();
    void stopSystemRecording();
    // The ended recording's task has given its last result, or will not.
    void endFinalResultWait();
    void stopAwaitingFinalText();
    // One tap serves the whole recording, so a restart never leaves a gap in
    // which captured audio has nowhere to go.
    MicrophoneTap::Handlers captureHandlers();
    void applyFirstTaskReport(const std::optional<RecognitionResult>& result,
                              const std::optional<PlatformError>& error);
    void applyLaterTaskReport(const std::string& restartBase,
                              const std::optional<RecognitionResult>& result,
                              const std::optional<PlatformError>& error);
    // Handlers report on the recogniser's thread; this posts their reports to
    // main, where they apply only to the recording whose task made them.
    RecognitionResultHandler taskHandler(bool firstTask, std::string restartBase);

    std::string say(const Text& text) const { return platform_.translations.text(text); }
    Platform platform_;
    CloudASRClient& cloud_;
    std::shared_ptr<APIKeyStore> apiKeys_;
    Subscription apiKeysObserver_;
    std::shared_ptr<OnDeviceRecognizer> speechRecognizer_;
    MicrophoneTap microphone_{platform_.audio, platform_.scheduler};
    // Shared with the audio thread.
    std::shared_ptr<RecognitionRequestSlot> recognitionRequest_ =
        std::make_shared<RecognitionRequestSlot>();
    std::shared_ptr<RecognitionTask> recognitionTask_;
    std::unique_ptr<RepeatingTimer> silenceTimer_;
    bool awaitsFinalText_ = false;
    std::optional<double> lastResultTime_;
    std::string confirmedText_;
    // Counts system recordings, so late reports of an earlier one change nothing.
    std::uint64_t systemRecording_ = 0;
    static constexpr double silenceTimeout_ = 3.0;
    // A cloud recording that has heard nothing at all.
    static constexpr double noSpeechTimeout_ = 10.0;
    static constexpr double finalResultTimeout_ = 3.0;
};

}  // namespace sayvo
