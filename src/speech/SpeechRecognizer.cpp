#include "speech/SpeechRecognizer.h"

#include <utility>

#include "core/Utf8.h"
#include "speech/CaptureEnded.h"
#include "speech/RecognitionEngine.h"

namespace sayvo {

namespace {
constexpr Text kMicrophoneDenied = SAYVO_TEXT("SpeechRecognizer", "请在系统设置中开启麦克风权限");
constexpr Text kSpeechDenied = SAYVO_TEXT("SpeechRecognizer", "请在系统设置中开启语音识别权限");
constexpr Text kStartFailed = SAYVO_TEXT("SpeechRecognizer", "启动语音识别失败: %1");
constexpr Text kServiceUnavailable = SAYVO_TEXT("SpeechRecognizer", "语音识别服务当前不可用");
constexpr Text kInvalidAPIKey =
    SAYVO_TEXT("SpeechRecognizer", "API Key 含有换行等无效字符，请在设置中重新输入");
}  // namespace

std::shared_ptr<SpeechRecognizer> SpeechRecognizer::create(const Platform& platform,
                                                           CloudASRClient& cloud) {
    std::shared_ptr<SpeechRecognizer> recognizer(new SpeechRecognizer(platform, cloud));
    recognizer->setupAliyunASRCallbacks();
    return recognizer;
}

SpeechRecognizer::SpeechRecognizer(const Platform& platform, CloudASRClient& cloud)
    : platform_(platform),
      cloud_(cloud),
      apiKeys_(APIKeyStore::create(platform.preferences, platform.secrets, platform.log,
                                   platform.translations)) {
    apiKeysObserver_ = apiKeys_->objectWillChange.subscribe([this] { objectWillChange.fire(); });
    speechRecognizer_ = platform_.speech.recognizerForLocale("zh-CN");
    if (!speechRecognizer_) speechRecognizer_ = platform_.speech.recognizerForDefaultLocale();
}

SpeechRecognizer::~SpeechRecognizer() = default;

std::string SpeechRecognizer::aliyunAPIKey() const {
    return apiKeys_->key();
}

void SpeechRecognizer::setAliyunAPIKey(const std::string& key) {
    apiKeys_->setKey(key);
    objectWillChange.fire();
}

bool SpeechRecognizer::useAliyunASR() const {
    return !aliyunAPIKey().empty();
}

void SpeechRecognizer::setupAliyunASRCallbacks() {
    // The client may fire from its own threads: each callback only posts, and
    // the posted work runs on main while the recognizer still exists.
    std::weak_ptr<SpeechRecognizer> weak = weak_from_this();
    Scheduler& scheduler = platform_.scheduler;
    auto onMain = [weak, &scheduler](auto work) {
        scheduler.post([weak, work = std::move(work)] {
            if (auto self = weak.lock()) work(*self);
        });
    };
    cloud_.onTranscript = [onMain](const std::string& text, bool isFinal) {
        onMain([text, isFinal](SpeechRecognizer& r) {
            if (isFinal) {
                r.confirmedText_ = joinRecognizedText(r.confirmedText_, text);
                r.transcript = r.confirmedText_;
            } else {
                r.transcript = joinRecognizedText(r.confirmedText_, text);
            }
            r.isProcessing = true;
            r.lastResultTime_ = r.platform_.scheduler.now();
        });
    };
    cloud_.onError = [onMain](const std::string& message) {
        onMain([message](SpeechRecognizer& r) { r.errorMessage = message; });
    };
    cloud_.onStarted = [onMain] {
        onMain([](SpeechRecognizer& r) { r.currentEngine = RecognitionEngine::aliyun; });
    };
    cloud_.onStopped = [onMain] {
        onMain([](SpeechRecognizer& r) {
            r.stopSilenceTimer();
            r.isRecording = false;
            r.isProcessing = false;
            r.audioLevel = 0.0f;
        });
    };
    cloud_.onFinished = [onMain] {
        onMain([](SpeechRecognizer& r) { r.stopAwaitingFinalText(); });
    };
    cloud_.onAudioLevel = [onMain](float level) {
        onMain([level](SpeechRecognizer& r) { r.audioLevel = level; });
    };
}

void SpeechRecognizer::startRecording() {
    if (isRecording) {
        stopRecording();
        return;
    }
    transcript = "";
    confirmedText_.clear();
    // The indicator shows the error of this attempt, never the last one's.
    errorMessage = std::nullopt;
    // The last recording's final words are no longer wanted.
    endFinalResultWait();
    isProcessing = true;
    lastResultTime_ = platform_.scheduler.now();

    // Not the on-device engine in its place: it may not know the user's
    // language. The dictation waits for the keyring, and says so.
    if (apiKeys_->isKeyOutOfReach()) {
        errorMessage = apiKeys_->outOfReachText();
        isProcessing = false;
        apiKeys_->retry();
        return;
    }
    if (useAliyunASR()) {
        currentEngine = RecognitionEngine::aliyun;
        const std::string key = aliyunAPIKey();
        // A key stored before keys were checked at save: a line break would
        // land inside the handshake's header, ending it and starting another.
        if (hasControlCharacter(key)) {
            errorMessage = say(kInvalidAPIKey);
            isProcessing = false;
            return;
        }
        isRecording = true;
        cloud_.startRecognition(key);
        // A recording started without a held key must end by itself here
        // too: the microphone streams to a metered service until it does.
        startSilenceTimer();
        return;
    }

    currentEngine = RecognitionEngine::system;
    checkMicrophoneThenStart();
}

void SpeechRecognizer::checkMicrophoneThenStart() {
    switch (platform_.microphone.status()) {
        case MicrophoneAuthorizationStatus::notDetermined:
            isProcessing = false;
            requestMicrophoneThenStart();
            return;
        case MicrophoneAuthorizationStatus::restricted:
        case MicrophoneAuthorizationStatus::denied:
            errorMessage = say(kMicrophoneDenied);
            isProcessing = false;
            return;
        case MicrophoneAuthorizationStatus::other:
            isProcessing = false;
            return;
        case MicrophoneAuthorizationStatus::authorized:
            break;
    }
    checkSpeechAuthorizationThenStart();
}

void SpeechRecognizer::requestMicrophoneThenStart() {
    std::weak_ptr<SpeechRecognizer> weak = weak_from_this();
    Scheduler& scheduler = platform_.scheduler;
    platform_.microphone.requestAccess([weak, &scheduler](bool granted) {
        scheduler.post([weak, granted] {
            auto self = weak.lock();
            if (!self) return;
            if (granted) {
                self->startRecording();
            } else {
                self->errorMessage = self->say(kMicrophoneDenied);
            }
        });
    });
}

void SpeechRecognizer::checkSpeechAuthorizationThenStart() {
    switch (platform_.speech.authorizationStatus()) {
        case SpeechAuthorizationStatus::notDetermined:
            isProcessing = false;
            requestSpeechAuthorizationThenStart();
            return;
        case SpeechAuthorizationStatus::denied:
        case SpeechAuthorizationStatus::restricted:
            isAuthorized = false;
            errorMessage = say(kSpeechDenied);
            isProcessing = false;
            return;
        case SpeechAuthorizationStatus::other:
            isAuthorized = false;
            isProcessing = false;
            return;
        case SpeechAuthorizationStatus::authorized:
            isAuthorized = true;
            break;
    }
    startIfRecognizerAvailable();
}

void SpeechRecognizer::requestSpeechAuthorizationThenStart() {
    std::weak_ptr<SpeechRecognizer> weak = weak_from_this();
    Scheduler& scheduler = platform_.scheduler;
    platform_.speech.requestAuthorization([weak, &scheduler](SpeechAuthorizationStatus status) {
        scheduler.post([weak, status] {
            auto self = weak.lock();
            if (!self) return;
            if (status == SpeechAuthorizationStatus::authorized) {
                self->isAuthorized = true;
                self->startRecording();
            } else {
                self->isAuthorized = false;
                self->errorMessage = self->say(kSpeechDenied);
            }
        });
    });
}

void SpeechRecognizer::startIfRecognizerAvailable() {
    if (speechRecognizer_ && speechRecognizer_->isAvailable()) {
        if (const auto failure = startSystemRecognition()) {
            errorMessage = withArguments(say(kStartFailed), {failure->localizedDescription});
            isProcessing = false;
        }
        return;
    }
    const std::string reason = platform_.speech.unavailableReason();
    errorMessage = reason.empty() ? say(kServiceUnavailable) : reason;
    isProcessing = false;
}

void SpeechRecognizer::stopRecording() {
    if (currentEngine.get() == RecognitionEngine::aliyun) {
        stopSilenceTimer();
        if (isRecording) awaitsFinalText_ = true;
        cloud_.stopRecognition();
    } else {
        stopSystemRecording();
    }
}

void SpeechRecognizer::clearTranscript() {
    transcript = "";
}

namespace {

constexpr Text kRecognitionError = SAYVO_TEXT("SpeechRecognizer", "识别错误: %1");
constexpr Text kNoTask = SAYVO_TEXT("SpeechRecognizer", "无法创建识别任务");
const std::string kStartErrorDomain = "SpeechRecognizer";
constexpr std::uint32_t kTapBufferSize = 1024;
constexpr double kSilenceCheckPeriod = 0.5;
constexpr double kLaterTaskRestartDelay = 0.3;

bool isTransient(const PlatformError& error) {
    return error.domain == SpeechError::assistantDomain &&
           (error.code == SpeechError::noSpeech || error.code == SpeechError::serviceBusy ||
            error.code == SpeechError::retry);
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

void configure(AudioBufferRecognitionRequest& request) {
    request.setShouldReportPartialResults(true);
    request.setTaskHint(RecognitionTaskHint::dictation);
    request.setRequiresOnDeviceRecognition(false);
}

PlatformError startError(long code, const std::string& description) {
    return PlatformError{kStartErrorDomain, code, description};
}

}  // namespace

std::optional<PlatformError> SpeechRecognizer::startSystemRecognition() {
    discardSystemRecognition();
    ++systemRecording_;

    if (!microphone_.open())
        return startError(1, say(SAYVO_TEXT("SpeechRecognizer", "无法创建音频引擎")));

    auto request = platform_.speech.makeRecognitionRequest();
    if (!request) return startError(2, say(SAYVO_TEXT("SpeechRecognizer", "无法创建识别请求")));
    configure(*request);
    recognitionRequest_->exchange(request);

    const AudioFormat format = microphone_.inputFormat();
    if (!(format.sampleRate > 0))
        return startError(3,
                          say(SAYVO_TEXT("SpeechRecognizer", "无效的音频格式，请检查麦克风设置")));

    recognitionTask_ = speechRecognizer_->recognitionTask(request, taskHandler(true, ""));
    if (!recognitionTask_) return startError(4, say(kNoTask));
    if (auto failure = microphone_.start(format, kTapBufferSize, captureHandlers())) return failure;

    isRecording = true;
    errorMessage = std::nullopt;
    startSilenceTimer();
    return std::nullopt;
}

void SpeechRecognizer::discardSystemRecognition() {
    microphone_.close();
    if (recognitionTask_) recognitionTask_->cancel();
    recognitionTask_.reset();
    recognitionRequest_->exchange(nullptr);
}

MicrophoneTap::Handlers SpeechRecognizer::captureHandlers() {
    std::weak_ptr<SpeechRecognizer> weak = weak_from_this();
    const std::uint64_t recording = systemRecording_;
    // A level measured before the stop must not outlive it, and nothing of
    // this recording may touch a later one.
    auto current = [weak, recording]() -> std::shared_ptr<SpeechRecognizer> {
        auto self = weak.lock();
        if (!self || self->systemRecording_ != recording || !self->isRecording) return nullptr;
        return self;
    };
    MicrophoneTap::Handlers handlers;
    handlers.onBuffer = [slot = recognitionRequest_](const AudioPCMBuffer& buffer) {
        slot->appendToCurrent(buffer);
    };
    handlers.onLevel = [current](float level) {
        if (auto self = current()) self->audioLevel = level;
    };
    // A sound server or microphone that goes away ends the recording as a
    // stop would, keeping what was heard.
    handlers.onEnded = [current] {
        auto self = current();
        if (!self) return;
        self->errorMessage = self->say(kCaptureEnded);
        self->stopSystemRecording();
    };
    return handlers;
}

RecognitionResultHandler SpeechRecognizer::taskHandler(bool firstTask, std::string restartBase) {
    std::weak_ptr<SpeechRecognizer> weak = weak_from_this();
    Scheduler& scheduler = platform_.scheduler;
    const std::uint64_t recording = systemRecording_;
    return [weak, &scheduler, recording, firstTask, base = std::move(restartBase)](
               std::optional<RecognitionResult> result, std::optional<PlatformError> error) {
        scheduler.post([weak, recording, firstTask, base, result = std::move(result),
                        error = std::move(error)] {
            auto self = weak.lock();
            if (!self || self->systemRecording_ != recording) return;
            if (firstTask) {
                self->applyFirstTaskReport(result, error);
            } else {
                self->applyLaterTaskReport(base, result, error);
            }
            // After the stop, a final result or an error is the task's last word.
            if (!self->isRecording && self->awaitsFinalText_ &&
                (error || (result && result->isFinal))) {
                self->endFinalResultWait();
            }
        });
    };
}

void SpeechRecognizer::applyFirstTaskReport(const std::optional<RecognitionResult>& result,
                                            const std::optional<PlatformError>& error) {
    if (result) {
        const std::string& text = result->formattedString;
        transcript = text;
        if (isRecording) isProcessing = !text.empty();
        lastResultTime_ = platform_.scheduler.now();
        if (result->isFinal && isRecording) restartRecognition();
    }
    if (error && isRecording) {
        if (isTransient(*error)) {
            restartRecognition();
        } else {
            errorMessage = withArguments(say(kRecognitionError), {error->localizedDescription});
        }
    }
}

void SpeechRecognizer::applyLaterTaskReport(const std::string& restartBase,
                                            const std::optional<RecognitionResult>& result,
                                            const std::optional<PlatformError>& error) {
    if (result) {
        const std::string& text = result->formattedString;
        if (!text.empty()) transcript = restartBase + " " + text;
        if (isRecording) isProcessing = true;
        lastResultTime_ = platform_.scheduler.now();
        if (result->isFinal && isRecording) restartRecognition();
    }
    if (error && isRecording && isTransient(*error)) {
        const std::uint64_t recording = systemRecording_;
        platform_.scheduler.postAfter(kLaterTaskRestartDelay,
                                      [self = shared_from_this(), recording] {
                                          // A restart meant for an earlier recording must not touch
                                          // this one.
                                          if (self->systemRecording_ == recording)
                                              self->restartRecognition();
                                      });
    }
}

void SpeechRecognizer::restartRecognition() {
    if (!isRecording) return;
    if (recognitionTask_) recognitionTask_->cancel();
    recognitionTask_.reset();

    // Swapped in one step, so no buffer falls between the old request and the new.
    auto request = platform_.speech.makeRecognitionRequest();
    if (request) configure(*request);
    if (auto previous = recognitionRequest_->exchange(request)) previous->endAudio();
    if (request) {
        recognitionTask_ =
            speechRecognizer_->recognitionTask(request, taskHandler(false, trimmed(transcript)));
    }
    if (!recognitionTask_) {
        // The audio would go on into nothing: the recording ends with what it has.
        errorMessage = withArguments(say(kRecognitionError), {say(kNoTask)});
        stopSystemRecording();
        return;
    }
    // Later tasks only feed the recogniser: the level stays where it was.
    microphone_.stopMetering();
}

void SpeechRecognizer::startSilenceTimer() {
    if (silenceTimer_) silenceTimer_->invalidate();
    std::weak_ptr<SpeechRecognizer> weak = weak_from_this();
    silenceTimer_ = platform_.scheduler.scheduleRepeating(kSilenceCheckPeriod, [weak] {
        if (auto self = weak.lock()) self->checkSilence();
    });
}

void SpeechRecognizer::stopSilenceTimer() {
    if (silenceTimer_) silenceTimer_->invalidate();
    silenceTimer_.reset();
}

// The on-device recogniser ends a task that hears nothing on its own; the
// cloud service keeps listening, so the recording ends here.
void SpeechRecognizer::checkSilence() {
    if (!isRecording || !lastResultTime_ || !stopsOnSilence) return;
    const double elapsed = platform_.scheduler.now() - *lastResultTime_;
    const bool heard = !transcript.get().empty();
    if ((heard && elapsed > silenceTimeout_) ||
        (!heard && currentEngine.get() == RecognitionEngine::aliyun && elapsed > noSpeechTimeout_))
        stopRecording();
}

void SpeechRecognizer::stopSystemRecording() {
    stopSilenceTimer();
    microphone_.close();
    auto request = recognitionRequest_->exchange(nullptr);
    if (request) request->endAudio();
    if (recognitionTask_ && request && isRecording) {
        // The recogniser is behind the microphone (all the way while its model
        // loads): the last words come after the end of the audio.
        awaitsFinalText_ = true;
        std::weak_ptr<SpeechRecognizer> weak = weak_from_this();
        std::weak_ptr<RecognitionTask> task = recognitionTask_;
        platform_.scheduler.postAfter(finalResultTimeout_, [weak, task] {
            auto self = weak.lock();
            if (self && self->recognitionTask_ && self->recognitionTask_ == task.lock())
                self->endFinalResultWait();
        });
    } else {
        endFinalResultWait();
    }
    lastResultTime_.reset();
    isRecording = false;
    isProcessing = false;
    audioLevel = 0.0f;
}

void SpeechRecognizer::endFinalResultWait() {
    const bool awaited = std::exchange(awaitsFinalText_, false);
    if (recognitionTask_) recognitionTask_->cancel();
    recognitionTask_.reset();
    if (awaited) finalTextSettled.fire();
}

void SpeechRecognizer::stopAwaitingFinalText() {
    if (std::exchange(awaitsFinalText_, false)) finalTextSettled.fire();
}

}  // namespace sayvo
