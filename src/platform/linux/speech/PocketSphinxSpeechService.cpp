#include "platform/linux/speech/PocketSphinxSpeechService.h"

#include <malloc.h>
#include <pocketsphinx.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <thread>
#include <utility>

#include "platform/linux/audio/SoxrResampler.h"

namespace sayvo {

namespace {

constexpr std::size_t sampleRate = 16000;
// The decoder looks at the utterance state after each piece: a tenth of a
// second keeps the end of an utterance from hiding inside a long backlog.
constexpr std::size_t pieceSamples = sampleRate / 10;
constexpr std::size_t noSpeechSamples =
    static_cast<std::size_t>(PocketSphinxSpeechService::noSpeechTimeout * sampleRate);

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

struct ModelFiles {
    std::string acousticModel;
    std::string languageModel;
    std::string dictionary;

    // Checked at every start, so installing the model takes effect at once.
    bool present() const {
        return exists(acousticModel + "/mdef") && exists(languageModel) && exists(dictionary);
    }
};

PlatformError noSpeechError() {
    return {SpeechError::assistantDomain, SpeechError::noSpeech, "No speech detected"};
}

PlatformError decodingError() {
    return {PocketSphinxSpeechService::errorDomain, PocketSphinxSpeechService::decodingFailed,
            "Speech decoding failed"};
}

}  // namespace

// One task's handler and its cancellation.
// Thread: cancel on the main thread (or inside the handler); the rest on the
// decoder thread. The handler runs under deliveryMutex_, which cancel takes
// to wait out a call under way: after cancel returns it never runs again.
class PocketSphinxTask final : public RecognitionTask {
public:
    PocketSphinxTask(std::shared_ptr<PocketSphinxRecognitionRequest> request,
                     RecognitionResultHandler handler, std::thread::id decoderThread)
        : request_(std::move(request)),
          handler_(std::move(handler)),
          decoderThread_(decoderThread) {}

    void cancel() override {
        interrupt();
        // Inside the handler the call under way is this one: nothing to wait for.
        if (std::this_thread::get_id() == decoderThread_) return;
        std::lock_guard lock(deliveryMutex_);
        handler_ = nullptr;
    }

    // Stops decoding without waiting for a handler call; any thread.
    void interrupt() {
        interrupted_ = true;
        request_->wake();
    }
    bool interrupted() const { return interrupted_; }

    PocketSphinxRecognitionRequest& request() { return *request_; }

    void deliver(std::optional<RecognitionResult> result, std::optional<PlatformError> error) {
        std::lock_guard lock(deliveryMutex_);
        if (interrupted_ || !handler_) return;
        handler_(std::move(result), std::move(error));
    }

    // The task is over: no more audio, no more calls.
    void finish() {
        request_->close();
        std::lock_guard lock(deliveryMutex_);
        handler_ = nullptr;
    }

private:
    std::shared_ptr<PocketSphinxRecognitionRequest> request_;
    std::mutex deliveryMutex_;
    RecognitionResultHandler handler_;
    const std::thread::id decoderThread_;
    std::atomic<bool> interrupted_{false};
};

// The decoder thread and the ps_decoder_t it owns.
// Thread: enqueue, isAvailable and shutdown from any thread; everything else
// on the decoder thread, which holds a reference to this object until it ends.
class PocketSphinxDecoder {
public:
    static std::shared_ptr<PocketSphinxDecoder> start(ModelFiles files, double idleRelease) {
        std::shared_ptr<PocketSphinxDecoder> decoder(
            new PocketSphinxDecoder(std::move(files), idleRelease));
        decoder->thread_ = std::thread([self = decoder] { self->run(); });
        decoder->threadId_ = decoder->thread_.get_id();
        return decoder;
    }

    ~PocketSphinxDecoder() {
        // Only the decoder thread itself can drop the last reference while it runs.
        if (thread_.joinable()) thread_.detach();
    }

    bool isAvailable() const { return !stopping_ && !loadFailed_ && files_.present(); }
    bool modelFilesPresent() const { return files_.present(); }
    bool isModelLoaded() const { return loaded_; }

    std::shared_ptr<RecognitionTask> enqueue(
        std::shared_ptr<PocketSphinxRecognitionRequest> request, RecognitionResultHandler handler) {
        if (!request->claim()) return nullptr;
        auto task =
            std::make_shared<PocketSphinxTask>(std::move(request), std::move(handler), threadId_);
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return nullptr;
            waiting_.push_back(task);
        }
        wakeUp_.notify_one();
        return task;
    }

    // Ends the thread; no handler runs after it returns (unless called from
    // a handler, which cannot wait for itself).
    void shutdown() {
        std::deque<std::shared_ptr<PocketSphinxTask>> neverStarted;
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            std::swap(neverStarted, waiting_);
            if (current_) current_->interrupt();
        }
        wakeUp_.notify_one();
        for (auto& task : neverStarted) task->finish();
        if (std::this_thread::get_id() != threadId_ && thread_.joinable()) thread_.join();
    }

private:
    struct ConfigDeleter {
        void operator()(cmd_ln_t* config) const { cmd_ln_free_r(config); }
    };
    struct DecoderDeleter {
        void operator()(ps_decoder_t* decoder) const { ps_free(decoder); }
    };

    PocketSphinxDecoder(ModelFiles files, double idleRelease)
        : files_(std::move(files)),
          idleRelease_(std::chrono::duration_cast<std::chrono::milliseconds>(
              std::chrono::duration<double>(idleRelease))) {}

    void run() {
        for (;;) {
            std::shared_ptr<PocketSphinxTask> task;
            {
                std::unique_lock lock(mutex_);
                const auto due = [this] { return stopping_ || !waiting_.empty(); };
                // A loaded model waits for work only so long; an idle thread never wakes.
                if (decoder_ && !wakeUp_.wait_for(lock, idleRelease_, due)) {
                    lock.unlock();
                    release();
                    continue;
                }
                wakeUp_.wait(lock, due);
                if (stopping_) break;
                task = std::move(waiting_.front());
                waiting_.pop_front();
                current_ = task;
            }
            if (!task->interrupted()) serve(*task);
            task->finish();
            std::lock_guard lock(mutex_);
            current_ = nullptr;
        }
        decoder_.reset();
        config_.reset();
    }

    bool load() {
        if (decoder_) return true;
        if (loadFailed_) return false;
        // Without the flat second pass the final comes 3 ms after the last
        // audio instead of 40 ms, and no fewer words are right on the
        // LibriVox sentences (bench/RecognitionBench.cpp).
        config_.reset(cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", files_.acousticModel.c_str(),
                                  "-lm", files_.languageModel.c_str(), "-dict",
                                  files_.dictionary.c_str(), "-logfn", "/dev/null", "-fwdflat",
                                  "no", static_cast<const char*>(nullptr)));
        if (config_) decoder_.reset(ps_init(config_.get()));
        loadFailed_ = decoder_ == nullptr;
        loaded_ = !loadFailed_;
        return !loadFailed_;
    }

    // The model's memory goes back to the system, not just to the heap.
    void release() {
        decoder_.reset();
        config_.reset();
        loaded_ = false;
        ::malloc_trim(0);
    }

    void serve(PocketSphinxTask& task) {
        if (!load()) {
            task.deliver(std::nullopt, PlatformError{PocketSphinxSpeechService::errorDomain,
                                                     PocketSphinxSpeechService::modelLoadFailed,
                                                     "The speech model could not be loaded"});
            return;
        }
        if (ps_start_utt(decoder_.get()) < 0) {
            task.deliver(std::nullopt, decodingError());
            return;
        }
        // Interrupted: the utterance is dropped, and nothing is said about it.
        if (!decodeAudio(task)) ps_end_utt(decoder_.get());
    }

    // What decoding has found in the task's audio so far.
    struct Utterance {
        bool heardSpeech = false;
        std::size_t silentSamples = 0;
        std::string partial;  // the latest partial result delivered
    };
    enum class Outcome { pending, delivered };

    // Decodes the request's audio as it arrives, until the task's outcome is
    // delivered (true) or the task is interrupted (false).
    bool decodeAudio(PocketSphinxTask& task) {
        PocketSphinxRecognitionRequest& request = task.request();
        Utterance utterance;
        std::vector<std::int16_t> audio;
        for (;;) {
            const auto taken = request.take(audio, [&] { return task.interrupted(); });
            if (taken.stopped) return false;
            for (std::size_t at = 0; at < audio.size(); at += pieceSamples) {
                if (task.interrupted()) break;
                const std::size_t n = std::min(pieceSamples, audio.size() - at);
                if (decodePiece(task, utterance, audio.data() + at, n) == Outcome::delivered) {
                    return true;
                }
            }
            if (task.interrupted()) return false;
            if (taken.last) {
                endUtterance(task);
                return true;
            }
        }
    }

    Outcome decodePiece(PocketSphinxTask& task, Utterance& utterance, const std::int16_t* samples,
                        std::size_t count) {
        ps_decoder_t* ps = decoder_.get();
        if (ps_process_raw(ps, samples, count, FALSE, FALSE) < 0) {
            ps_end_utt(ps);
            task.deliver(std::nullopt, decodingError());
            return Outcome::delivered;
        }
        task.request().addDecoded(count);
        if (ps_get_in_speech(ps)) {
            utterance.heardSpeech = true;
        } else if (utterance.heardSpeech) {
            endUtterance(task);
            return Outcome::delivered;
        } else if ((utterance.silentSamples += count) >= noSpeechSamples) {
            ps_end_utt(ps);
            task.deliver(std::nullopt, noSpeechError());
            return Outcome::delivered;
        }
        if (utterance.heardSpeech && task.request().shouldReportPartialResults()) {
            reportPartial(task, utterance);
        }
        return Outcome::pending;
    }

    // Only a changed hypothesis: the same words again would redraw for nothing.
    void reportPartial(PocketSphinxTask& task, Utterance& utterance) {
        const char* hypothesis = ps_get_hyp(decoder_.get(), nullptr);
        std::string text = hypothesis ? hypothesis : "";
        if (text == utterance.partial) return;
        utterance.partial = text;
        task.deliver(RecognitionResult{std::move(text), false}, std::nullopt);
    }

    // Words or nothing: an utterance without any (a cough, a door) ends as
    // no speech rather than as a final that would pass for something heard.
    void endUtterance(PocketSphinxTask& task) {
        ps_decoder_t* ps = decoder_.get();
        ps_end_utt(ps);
        const char* hypothesis = ps_get_hyp(ps, nullptr);
        std::string text = hypothesis ? hypothesis : "";
        if (text.empty()) {
            task.deliver(std::nullopt, noSpeechError());
        } else {
            task.deliver(RecognitionResult{std::move(text), true}, std::nullopt);
        }
    }

    const ModelFiles files_;
    const std::chrono::milliseconds idleRelease_;
    std::atomic<bool> loadFailed_{false};
    std::atomic<bool> loaded_{false};

    std::mutex mutex_;
    std::condition_variable wakeUp_;
    std::deque<std::shared_ptr<PocketSphinxTask>> waiting_;
    std::shared_ptr<PocketSphinxTask> current_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::thread::id threadId_;  // set before anyone else sees this object

    // Decoder thread only.
    std::unique_ptr<cmd_ln_t, ConfigDeleter> config_;
    std::unique_ptr<ps_decoder_t, DecoderDeleter> decoder_;
};

namespace {

class PocketSphinxRecognizer final : public OnDeviceRecognizer {
public:
    explicit PocketSphinxRecognizer(std::shared_ptr<PocketSphinxDecoder> decoder)
        : decoder_(std::move(decoder)) {}

    bool isAvailable() const override { return decoder_->isAvailable(); }
    std::string localeIdentifier() const override { return "en-US"; }

    std::shared_ptr<RecognitionTask> recognitionTask(
        std::shared_ptr<AudioBufferRecognitionRequest> request,
        RecognitionResultHandler handler) override {
        auto ours = std::dynamic_pointer_cast<PocketSphinxRecognitionRequest>(request);
        if (!ours || !handler || !isAvailable()) return nullptr;
        return decoder_->enqueue(std::move(ours), std::move(handler));
    }

private:
    std::shared_ptr<PocketSphinxDecoder> decoder_;
};

}  // namespace

// --- request ---

PocketSphinxRecognitionRequest::PocketSphinxRecognitionRequest() = default;
PocketSphinxRecognitionRequest::~PocketSphinxRecognitionRequest() = default;

void PocketSphinxRecognitionRequest::setShouldReportPartialResults(bool on) {
    reportPartials_ = on;
}

void PocketSphinxRecognitionRequest::setTaskHint(RecognitionTaskHint hint) {
    taskHint_ = hint;
}

void PocketSphinxRecognitionRequest::setRequiresOnDeviceRecognition(bool on) {
    requiresOnDevice_ = on;
}

void PocketSphinxRecognitionRequest::append(const AudioPCMBuffer& buffer) {
    // Queued under the converter's lock too, so endAudio's tail cannot
    // overtake a buffer converted just before it.
    std::lock_guard lock(converterMutex_);
    if (!accepting_) return;
    std::vector<std::int16_t> samples;
    if (!converter_ || converter_->inputFormat() != buffer.format()) {
        // The device changed mid-stream: finish the old stream's tail first.
        if (converter_) samples = converter_->flush();
        converter_ = std::make_unique<SoxrResampler>(buffer.format());
    }
    std::vector<std::int16_t> converted = converter_->process(buffer);
    samples.insert(samples.end(), converted.begin(), converted.end());
    if (!samples.empty()) enqueue(samples, false);
}

void PocketSphinxRecognitionRequest::endAudio() {
    std::lock_guard lock(converterMutex_);
    if (!accepting_) return;
    accepting_ = false;
    enqueue(converter_ ? converter_->flush() : std::vector<std::int16_t>{}, true);
    converter_.reset();
}

void PocketSphinxRecognitionRequest::enqueue(const std::vector<std::int16_t>& samples, bool last) {
    {
        std::lock_guard lock(queueMutex_);
        if (queue_.size() + samples.size() <= maxQueuedSamples) {
            queue_.insert(queue_.end(), samples.begin(), samples.end());
        }
        if (last) ended_ = true;
    }
    queued_.notify_one();
}

template <typename Stop>
PocketSphinxRecognitionRequest::Taken PocketSphinxRecognitionRequest::take(
    std::vector<std::int16_t>& out, Stop stop) {
    out.clear();
    std::unique_lock lock(queueMutex_);
    queued_.wait(lock, [&] { return stop() || ended_ || !queue_.empty(); });
    if (stop()) return {true, false};
    // The cleared vector goes back to the audio thread with its capacity.
    std::swap(out, queue_);
    return {false, ended_};
}

void PocketSphinxRecognitionRequest::wake() {
    // Taking the lock orders this with a take() between its check and its wait.
    { std::lock_guard lock(queueMutex_); }
    queued_.notify_all();
}

void PocketSphinxRecognitionRequest::close() {
    {
        std::lock_guard lock(converterMutex_);
        accepting_ = false;
        converter_.reset();
    }
    std::lock_guard lock(queueMutex_);
    queue_ = {};
    ended_ = true;
}

// --- service ---

PocketSphinxSpeechService::PocketSphinxSpeechService(const Translations& translations,
                                                     std::string modelDirectory, double idleRelease)
    : decoder_(
          PocketSphinxDecoder::start({modelDirectory + "/en-us", modelDirectory + "/en-us.lm.bin",
                                      modelDirectory + "/cmudict-en-us.dict"},
                                     idleRelease)),
      translations_(translations),
      modelDirectory_(std::move(modelDirectory)) {}

std::string PocketSphinxSpeechService::unavailableReason() const {
    if (decoder_->isAvailable()) return {};
    if (!decoder_->modelFilesPresent()) {
        return withArguments(translations_.text(SAYVO_TEXT(
                                 "PocketSphinxSpeechService",
                                 "找不到离线语音模型（查找位置：%1）。请安装 pocketsphinx-en-us "
                                 "软件包，或在设置中填入 API Key 改用云端识别")),
                             {modelDirectory_});
    }
    return withArguments(translations_.text(SAYVO_TEXT(
                             "PocketSphinxSpeechService",
                             "离线语音模型无法加载（%1）。请重新安装 pocketsphinx-en-us 软件包")),
                         {modelDirectory_});
}

PermissionStatus PocketSphinxSpeechService::modelStatus() const {
    const std::string reason = unavailableReason();
    return {translations_.text(SAYVO_TEXT("PocketSphinxSpeechService", "离线语音模型")),
            reason.empty(), reason.empty() ? modelDirectory_ : reason};
}

bool PocketSphinxSpeechService::isModelLoaded() const {
    return decoder_->isModelLoaded();
}

PocketSphinxSpeechService::~PocketSphinxSpeechService() {
    decoder_->shutdown();
}

std::string PocketSphinxSpeechService::defaultModelDirectory() {
    return "/usr/share/pocketsphinx/model/en-us";
}

SpeechAuthorizationStatus PocketSphinxSpeechService::authorizationStatus() const {
    return SpeechAuthorizationStatus::authorized;
}

void PocketSphinxSpeechService::requestAuthorization(
    std::function<void(SpeechAuthorizationStatus)> answer) {
    answer(SpeechAuthorizationStatus::authorized);
}

std::shared_ptr<OnDeviceRecognizer> PocketSphinxSpeechService::recognizerForLocale(
    const std::string& localeId) {
    if (localeId != "en-US" && localeId != "en_US" && localeId != "en") return nullptr;
    return std::make_shared<PocketSphinxRecognizer>(decoder_);
}

std::shared_ptr<OnDeviceRecognizer> PocketSphinxSpeechService::recognizerForDefaultLocale() {
    return recognizerForLocale("en-US");
}

std::shared_ptr<AudioBufferRecognitionRequest> PocketSphinxSpeechService::makeRecognitionRequest() {
    return std::make_shared<PocketSphinxRecognitionRequest>();
}

}  // namespace sayvo
