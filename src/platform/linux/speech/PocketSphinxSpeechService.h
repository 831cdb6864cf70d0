#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/SpeechRecognitionService.h"
#include "platform/SystemPermissions.h"
#include "platform/Translations.h"

namespace sayvo {

class SoxrResampler;
class PocketSphinxDecoder;
class PocketSphinxTask;

// Audio for one recognition task, converted to 16 kHz mono int16 as it
// arrives so the queue holds a sixth of what a 48 kHz float stream would.
// Thread: options and endAudio on the main thread; append on the audio
// thread; the decoder thread drains it. append never waits for recognition:
// it converts and queues under a lock only endAudio and the task's end share,
// and the queue's own lock the decoder holds just long enough to swap the
// queue out.
class PocketSphinxRecognitionRequest final : public AudioBufferRecognitionRequest {
public:
    // Audio queued beyond this (nobody decoding it) is dropped.
    static constexpr std::size_t maxQueuedSamples = 60 * 16000;

    PocketSphinxRecognitionRequest();
    ~PocketSphinxRecognitionRequest() override;

    void setShouldReportPartialResults(bool on) override;
    void setTaskHint(RecognitionTaskHint hint) override;
    void setRequiresOnDeviceRecognition(bool on) override;
    void append(const AudioPCMBuffer& buffer) override;
    void endAudio() override;

    bool shouldReportPartialResults() const { return reportPartials_; }
    // Samples (16 kHz) the decoder has consumed: the audio position of the
    // latest result. Any thread.
    std::uint64_t samplesDecoded() const { return samplesDecoded_; }

private:
    friend class PocketSphinxDecoder;
    friend class PocketSphinxTask;

    struct Taken {
        bool stopped = false;  // `stop` held: nothing was taken
        bool last = false;     // no audio follows what was taken
    };
    // Decoder side: waits until audio is queued, the audio has ended or
    // `stop` holds, then swaps the queue into `out`.
    template <typename Stop>
    Taken take(std::vector<std::int16_t>& out, Stop stop);
    // Decoder side: makes a waiting take() look at its `stop` again.
    void wake();
    // Decoder side: the task is over; later audio is dropped.
    void close();
    // Starting a task claims the request; a second claim fails.
    bool claim() { return !claimed_.exchange(true); }
    void addDecoded(std::size_t samples) { samplesDecoded_ += samples; }

    void enqueue(const std::vector<std::int16_t>& samples, bool last);

    std::atomic<bool> reportPartials_{true};
    // Kept but not acted on: decoding is always on the device, the same for every hint.
    std::atomic<RecognitionTaskHint> taskHint_{RecognitionTaskHint::unspecified};
    std::atomic<bool> requiresOnDevice_{false};
    std::atomic<bool> claimed_{false};
    std::atomic<std::uint64_t> samplesDecoded_{0};

    // Serialises conversion and queueing (audio thread) with endAudio and
    // close; taken before queueMutex_, never after.
    std::mutex converterMutex_;
    std::unique_ptr<SoxrResampler> converter_;
    bool accepting_ = true;

    std::mutex queueMutex_;
    std::condition_variable queued_;
    std::vector<std::int16_t> queue_;
    bool ended_ = false;
};

// The on-device recogniser service backed by the PocketSphinx models installed
// on the system. Only an English model exists, so "zh-CN" is refused and the
// default locale is "en-US". Linux has no speech-permission prompt.
//
// Recognition runs on one decoder thread of the service's own, one task at a
// time in the order they were made; result handlers are called on it. The
// model (about 95 MB, half a second to load) is loaded when the first task
// starts and kept while tasks come: users of the cloud engine never pay for
// it, and tasks follow each other at every pause, which a reload each time
// would delay. After `idleRelease` seconds without a task it is released; the
// next task loads it again while its audio waits in the request.
// A task ends with a final result at the end of an utterance, or when its
// audio ends while there is text; with the no-speech error when its audio
// ends without text or after `noSpeechTimeout` seconds of audio without any.
//
// Thread: main thread. Destroying it stops the decoder thread; no handler is
// called after the destructor returns.
class PocketSphinxSpeechService final : public SpeechRecognitionService {
public:
    static constexpr double noSpeechTimeout = 10.0;
    // Errors of a model that cannot be loaded or run; they end the task. After
    // a failed load the recogniser also reports itself unavailable.
    static inline const std::string errorDomain = "PocketSphinx";
    static constexpr long modelLoadFailed = 1;
    static constexpr long decodingFailed = 2;

    static constexpr double modelIdleRelease = 600;

    explicit PocketSphinxSpeechService(const Translations& translations,
                                       std::string modelDirectory = defaultModelDirectory(),
                                       double idleRelease = modelIdleRelease);
    ~PocketSphinxSpeechService() override;
    static std::string defaultModelDirectory();

    SpeechAuthorizationStatus authorizationStatus() const override;
    void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> answer) override;
    std::shared_ptr<OnDeviceRecognizer> recognizerForLocale(const std::string& localeId) override;
    std::shared_ptr<OnDeviceRecognizer> recognizerForDefaultLocale() override;
    std::shared_ptr<AudioBufferRecognitionRequest> makeRecognitionRequest() override;
    std::string unavailableReason() const override;
    // The model as an item of the system-status view: found, or what to do.
    PermissionStatus modelStatus() const;
    // Any thread.
    bool isModelLoaded() const;

private:
    // Shared with the recognisers handed out; those outliving the service
    // report themselves unavailable.
    std::shared_ptr<PocketSphinxDecoder> decoder_;
    const Translations& translations_;
    const std::string modelDirectory_;
};

}  // namespace sayvo
