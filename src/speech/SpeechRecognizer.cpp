#include "speech/SpeechRecognizer.h"

#include "speech/RecognitionEngine.h"

namespace sayvo {

namespace {
const std::string kMicrophoneDenied = "请在系统设置中开启麦克风权限";
const std::string kSpeechDenied = "请在系统设置中开启语音识别权限";
const std::string kStartFailedPrefix = "启动语音识别失败: ";
const std::string kServiceUnavailable = "语音识别服务当前不可用";
}  // namespace

std::shared_ptr<SpeechRecognizer> SpeechRecognizer::create(const Platform& platform,
                                                           CloudASRClient& cloud) {
    std::shared_ptr<SpeechRecognizer> recognizer(new SpeechRecognizer(platform, cloud));
    recognizer->setupAliyunASRCallbacks();
    return recognizer;
}

SpeechRecognizer::SpeechRecognizer(const Platform& platform, CloudASRClient& cloud)
    : platform_(platform), cloud_(cloud) {
    speechRecognizer_ = platform_.speech.recognizerForLocale("zh-CN");
    if (!speechRecognizer_) speechRecognizer_ = platform_.speech.recognizerForDefaultLocale();
}

SpeechRecognizer::~SpeechRecognizer() = default;

std::string SpeechRecognizer::aliyunAPIKey() const {
    return platform_.preferences.stringForKey(apiKeyKey).value_or("");
}

void SpeechRecognizer::setAliyunAPIKey(const std::string& key) {
    platform_.preferences.setString(apiKeyKey, key);
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
                r.confirmedText_ += text;
                r.transcript = r.confirmedText_;
            } else {
                r.transcript = r.confirmedText_ + text;
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
            r.isRecording = false;
            r.isProcessing = false;
            r.audioLevel = 0.0f;
        });
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
    isProcessing = true;
    lastResultTime_ = platform_.scheduler.now();

    if (useAliyunASR()) {
        currentEngine = RecognitionEngine::aliyun;
        isRecording = true;
        cloud_.startRecognition(aliyunAPIKey());
        return;
    }

    currentEngine = RecognitionEngine::system;
    checkMicrophoneThenStart();
}

void SpeechRecognizer::checkMicrophoneThenStart() {
    switch (platform_.microphone.status()) {
        case MicrophoneAuthorizationStatus::notDetermined: {
            isProcessing = false;
            std::weak_ptr<SpeechRecognizer> weak = weak_from_this();
            Scheduler& scheduler = platform_.scheduler;
            platform_.microphone.requestAccess([weak, &scheduler](bool granted) {
                scheduler.post([weak, granted] {
                    auto self = weak.lock();
                    if (!self) return;
                    if (granted) {
                        self->startRecording();
                    } else {
                        self->errorMessage = kMicrophoneDenied;
                    }
                });
            });
            return;
        }
        case MicrophoneAuthorizationStatus::restricted:
        case MicrophoneAuthorizationStatus::denied:
            errorMessage = kMicrophoneDenied;
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

void SpeechRecognizer::checkSpeechAuthorizationThenStart() {
    switch (platform_.speech.authorizationStatus()) {
        case SpeechAuthorizationStatus::notDetermined: {
            isProcessing = false;
            std::weak_ptr<SpeechRecognizer> weak = weak_from_this();
            Scheduler& scheduler = platform_.scheduler;
            platform_.speech.requestAuthorization(
                [weak, &scheduler](SpeechAuthorizationStatus status) {
                    scheduler.post([weak, status] {
                        auto self = weak.lock();
                        if (!self) return;
                        if (status == SpeechAuthorizationStatus::authorized) {
                            self->isAuthorized = true;
                            self->startRecording();
                        } else {
                            self->isAuthorized = false;
                            self->errorMessage = kSpeechDenied;
                        }
                    });
                });
            return;
        }
        case SpeechAuthorizationStatus::denied:
        case SpeechAuthorizationStatus::restricted:
            isAuthorized = false;
            errorMessage = kSpeechDenied;
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

    if (speechRecognizer_ && speechRecognizer_->isAvailable()) {
        if (auto failure = startSystemRecognition()) {
            errorMessage = kStartFailedPrefix + failure->localizedDescription;
            isProcessing = false;
        }
        return;
    }
    errorMessage = kServiceUnavailable;
    isProcessing = false;
}

void SpeechRecognizer::stopRecording() {
    if (currentEngine.get() == RecognitionEngine::aliyun) {
        cloud_.stopRecognition();
    } else {
        stopSystemRecording();
    }
}

void SpeechRecognizer::clearTranscript() {
    transcript = "";
}

// The on-device engine's capture and recognition plug in here; until then a
// system recording runs with no audio source and no silence stop.
std::optional<SpeechRecognizer::StartFailure> SpeechRecognizer::startSystemRecognition() {
    isRecording = true;
    errorMessage = std::nullopt;
    return std::nullopt;
}

void SpeechRecognizer::stopSystemRecording() {
    isRecording = false;
    isProcessing = false;
    audioLevel = 0.0f;
}

}  // namespace sayvo
