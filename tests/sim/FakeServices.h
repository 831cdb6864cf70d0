#pragma once

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "Locked.h"
#include "platform/DecisionLog.h"
#include "platform/LoginItem.h"
#include "platform/MicrophoneAuthorization.h"
#include "platform/Pasteboard.h"
#include "platform/Preferences.h"
#include "platform/Scheduler.h"
#include "platform/SecretStore.h"
#include "platform/SourceTexts.h"
#include "platform/SpeechRecognitionService.h"
#include "platform/SystemPermissions.h"
#include "platform/Translations.h"
#include "platform/URLOpener.h"
#include "speech/CloudASRClient.h"

namespace sayvo::sim {

template <typename F, typename... Args>
void call(const F& callback, Args&&... args) {
    if (callback) callback(std::forward<Args>(args)...);
}

// A request the test answers later (as the system would, once), from any thread.
template <typename Answer>
struct PendingRequest {
    int requestCount = 0;
    std::function<void(Answer)> pending_;
    void answer(Answer value) { call(std::exchange(pending_, {}), value); }
    void ask(std::function<void(Answer)> answer) { ++requestCount, pending_ = std::move(answer); }
};

// In-memory preferences. `raw` lets a test plant values of any type; a
// refused write keeps the value, as a file that cannot be written does.
struct FakePreferences final : Preferences {
    using Value = std::variant<bool, std::int64_t, std::string, double>;
    std::map<std::string, Value> raw;
    std::optional<std::string> problem;  // what readProblem() tells
    std::optional<std::string> readProblem() const override { return problem; }
    bool refuseWrites = false;

    std::optional<bool> boolForKey(const std::string& key) const override { return get<bool>(key); }
    std::optional<std::int64_t> integerForKey(const std::string& key) const override {
        return get<std::int64_t>(key);
    }
    std::optional<std::string> stringForKey(const std::string& key) const override {
        return get<std::string>(key);
    }
    void setBool(const std::string& key, bool value) override { put(key, value); }
    void setInteger(const std::string& key, std::int64_t value) override { put(key, value); }
    void setString(const std::string& key, const std::string& value) override { put(key, value); }
    void removeValue(const std::string& key) override {
        raw.erase(key);
        if (refuseWrites) call(onWriteFailed);
    }
    template <typename T>
    std::optional<T> get(const std::string& key) const {
        const auto it = raw.find(key);
        if (it == raw.end() || !std::holds_alternative<T>(it->second)) return std::nullopt;
        return std::get<T>(it->second);
    }
    void put(const std::string& key, Value value) {
        raw[key] = std::move(value);
        if (refuseWrites) call(onWriteFailed);
    }
};

struct FakePasteboard final : Pasteboard {
    std::optional<std::string> contents;
    std::vector<std::string> writes;
    bool refuse = false;

    void clearContents() override { contents.reset(); }
    bool setString(const std::string& text) override {
        return !refuse && (writes.push_back(text), contents = text, true);
    }
    std::optional<std::string> string() const override { return contents; }

    bool primary = false, refusePrimary = false;  // a desktop with one; its refusal
    std::optional<std::string> primaryContents;
    bool hasPrimarySelection() const override { return primary; }
    bool setPrimarySelection(const std::string& text) override {
        if (!primary || refusePrimary) return false;
        primaryContents = text;
        return true;
    }
};

struct FakeMicrophoneAuthorization final : MicrophoneAuthorization, PendingRequest<bool> {
    MicrophoneAuthorizationStatus currentStatus = MicrophoneAuthorizationStatus::authorized;
    MicrophoneAuthorizationStatus status() const override { return currentStatus; }
    void requestAccess(std::function<void(bool)> answer) override { ask(std::move(answer)); }
};

struct FakeRecognitionRequest final : AudioBufferRecognitionRequest {
    bool partialResults = false;
    RecognitionTaskHint hint = RecognitionTaskHint::unspecified;
    bool onDeviceOnly = true;
    std::atomic<int> appended{0}, appendedAfterEnd{0};
    std::atomic<bool> ended{false};
    std::function<void()> onEnd;  // main thread
    void setShouldReportPartialResults(bool on) override { partialResults = on; }
    void setTaskHint(RecognitionTaskHint h) override { hint = h; }
    void setRequiresOnDeviceRecognition(bool on) override { onDeviceOnly = on; }
    void append(const AudioPCMBuffer&) override { (ended ? appendedAfterEnd : appended)++; }
    void endAudio() override { ended = true, call(std::exchange(onEnd, {})); }
};

// A task whose results and errors the test delivers, from any thread.
struct FakeRecognitionTask final : RecognitionTask {
    FakeRecognitionTask(std::shared_ptr<AudioBufferRecognitionRequest> r,
                        RecognitionResultHandler h)
        : request(std::move(r)), handler_(std::move(h)) {}
    std::shared_ptr<AudioBufferRecognitionRequest> request;
    std::atomic<bool> cancelled{false};
    RecognitionResultHandler handler_;
    std::mutex mutex_;
    std::string lastText_;
    void cancel() override { cancelled = true; }
    void result(const std::string& text, bool isFinal = false) {
        locked(mutex_, [&] { lastText_ = text; });
        if (!cancelled) handler_(RecognitionResult{text, isFinal}, std::nullopt);
    }
    void error(const std::string& domain, long code, const std::string& description = "failed") {
        if (!cancelled) handler_(std::nullopt, PlatformError{domain, code, description});
    }
    // What a recogniser does once the audio has ended: a final result of the
    // text so far, or "no speech" without any.
    void answerEndOfAudio() {
        const std::string text = locked(mutex_, [&] { return lastText_; });
        if (text.empty())
            return error(SpeechError::assistantDomain, SpeechError::noSpeech, "no speech");
        result(text, true);
    }
    FakeRecognitionRequest& fakeRequest() { return static_cast<FakeRecognitionRequest&>(*request); }
};

struct FakeOnDeviceRecognizer final : OnDeviceRecognizer {
    explicit FakeOnDeviceRecognizer(std::string locale) : locale_(std::move(locale)) {}
    std::string locale_;
    bool available = true;
    bool refuseTasks = false;
    // Off: the final result after the end of the audio is the test's to give.
    bool answersEndOfAudio = true;
    std::vector<std::shared_ptr<FakeRecognitionTask>> tasks;
    bool isAvailable() const override { return available; }
    std::string localeIdentifier() const override { return locale_; }
    std::shared_ptr<RecognitionTask> recognitionTask(
        std::shared_ptr<AudioBufferRecognitionRequest> request,
        RecognitionResultHandler handler) override {
        if (refuseTasks) return nullptr;
        auto task = std::make_shared<FakeRecognitionTask>(request, std::move(handler));
        auto* fake = dynamic_cast<FakeRecognitionRequest*>(request.get());
        if (answersEndOfAudio && fake) {
            fake->onEnd = [weak = std::weak_ptr<FakeRecognitionTask>(task)] {
                if (auto t = weak.lock()) t->answerEndOfAudio();
            };
        }
        return tasks.emplace_back(task);
    }
    FakeRecognitionTask& currentTask() { return *tasks.back(); }
};

struct FakeSpeechRecognitionService final : SpeechRecognitionService,
                                            PendingRequest<SpeechAuthorizationStatus> {
    SpeechAuthorizationStatus currentStatus = SpeechAuthorizationStatus::authorized;
    std::vector<std::string> supportedLocales{"zh-CN", "en-US"};
    std::vector<std::string> requestedLocales;
    bool refuseTasks = false;  // in the recognisers made from now on
    std::vector<std::shared_ptr<FakeOnDeviceRecognizer>> made;
    std::string reason;  // what unavailableReason() tells
    std::string unavailableReason() const override { return reason; }
    SpeechAuthorizationStatus authorizationStatus() const override { return currentStatus; }
    void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> answer) override {
        ask(std::move(answer));
    }
    std::shared_ptr<OnDeviceRecognizer> recognizerForLocale(const std::string& localeId) override {
        requestedLocales.push_back(localeId);
        if (std::ranges::find(supportedLocales, localeId) == supportedLocales.end()) return nullptr;
        made.push_back(std::make_shared<FakeOnDeviceRecognizer>(localeId));
        return made.back()->refuseTasks = refuseTasks, made.back();
    }
    std::shared_ptr<OnDeviceRecognizer> recognizerForDefaultLocale() override {
        return recognizerForLocale("en-US");
    }
    bool refuseRequests = false;
    std::vector<std::shared_ptr<FakeRecognitionRequest>> requests;
    std::shared_ptr<AudioBufferRecognitionRequest> makeRecognitionRequest() override {
        if (refuseRequests) return nullptr;
        return requests.emplace_back(std::make_shared<FakeRecognitionRequest>());
    }
};

// The real client's running rules; the test plays the service, firing from any
// thread as the real client's callback queue and audio thread do.
struct FakeCloudClient final : CloudASRClient {
    std::vector<std::string> startedKeys;  // one per task actually started
    int stopCalls = 0;                     // every stopRecognition call
    // The service answers a stop at once unless the test holds its answer.
    bool holdFinish = false;
    std::mutex mutex_;
    bool isRunning_ = false;
    void startRecognition(const std::string& apiKey) override {
        std::lock_guard lock(mutex_);
        if (!std::exchange(isRunning_, true)) startedKeys.push_back(apiKey);
    }
    void stopRecognition() override {
        if (!locked(mutex_, [&] { return ++stopCalls, std::exchange(isRunning_, false); })) return;
        call(onStopped);
        if (!holdFinish) fireFinished();
    }
    void fireTranscript(const std::string& text, bool isFinal) {
        call(onTranscript, text, isFinal);
    }
    // The service ended the task on its own (finished, failed, connection gone).
    void fireStoppedByService() {
        locked(mutex_, [&] { isRunning_ = false; });
        call(onStopped);
        fireFinished();
    }
    void fireFinished() { call(onFinished); }
};

struct FakeURLOpener final : URLOpener {
    bool hasBrowser = true;
    std::vector<std::string> opened;
    bool open(const std::string& url) override {
        return hasBrowser && (opened.push_back(url), true);
    }
};

struct FakeSystemPermissions final : SystemPermissions {
    std::vector<PermissionStatus> currentStatus() override { return {}; }
    std::string settingsTitle() const override { return {}; }
    void openSettings() override {}
};

struct FakeDecisionLog final : DecisionLog {
    std::vector<std::string> notes;
    void note(const std::string& line) override { notes.push_back(line); }
};

// Sayvo's source language: every text as written.
using SourceTranslations = SourceTexts;

// The autostart entry as a flag; a set error makes every change fail.
struct FakeLoginItem final : LoginItem {
    bool enabled = false;
    std::optional<PlatformError> error;
    bool isEnabled() const override { return enabled; }
    std::optional<PlatformError> setEnabled(bool value) override {
        return error ? error : (enabled = value, std::nullopt);
    }
};

// The desktop's keyring: none by default. Answers go through the main queue,
// computed when they run, so a keyring that changes meanwhile answers as it
// is then; each waits `prompt` seconds, as behind an unlock prompt.
struct FakeSecretStore final : SecretStore {
    explicit FakeSecretStore(Scheduler& scheduler) : scheduler_(scheduler) {}
    std::optional<SecretOutcome> failure = SecretOutcome::unavailable;  // every answer's
    std::optional<std::string> stored;
    double prompt = 0;

    void read(ReadAnswer answer) override {
        scheduler_.postAfter(prompt, [this, answer] {
            if (failure) return answer(*failure, "");
            answer(stored ? SecretOutcome::done : SecretOutcome::notFound, stored.value_or(""));
        });
    }
    void write(const std::string& secret, Answer answer) override { change(secret, answer); }
    void erase(Answer answer) override { change(std::nullopt, answer); }

private:
    void change(std::optional<std::string> secret, Answer answer) {
        scheduler_.postAfter(prompt, [this, secret, answer] {
            if (!failure) stored = secret;
            answer(failure.value_or(SecretOutcome::done));
        });
    }
    Scheduler& scheduler_;
};

}  // namespace sayvo::sim
