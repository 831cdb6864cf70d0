#include "platform/linux/audio/PulseAudioCapture.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/audio/PulseSourceQuery.h"
#include "platform/linux/audio/SoxrAudioConverter.h"

namespace sayvo {
namespace {

using std::chrono::milliseconds;

// A local server answers within milliseconds; these only keep a hung server
// from freezing the caller.
constexpr milliseconds kServerWait{5000};
// Until a tap asks for a size.
constexpr std::uint32_t kDefaultTapFrames = 1024;

// The description reaches the user as it is; the code keeps the server's reason.
// Said in the source language: the engine translates at its surface, where
// the translations are (the capture thread has none of its own).
PlatformError pulseError(int code, const Text& description) {
    return PlatformError{"PulseAudio", code, description.source};
}

struct MainloopFree {
    void operator()(pa_threaded_mainloop* m) const { pa_threaded_mainloop_free(m); }
};
struct ContextUnref {
    void operator()(pa_context* c) const { pa_context_unref(c); }
};
struct StreamUnref {
    void operator()(pa_stream* s) const { pa_stream_unref(s); }
};
struct OperationUnref {
    void operator()(pa_operation* o) const { pa_operation_unref(o); }
};
using OperationPtr = std::unique_ptr<pa_operation, OperationUnref>;

// Holds the mainloop lock for a scope. Never on the capture thread itself.
class MainloopLock {
public:
    explicit MainloopLock(pa_threaded_mainloop* m) : m_(m) { pa_threaded_mainloop_lock(m_); }
    ~MainloopLock() { pa_threaded_mainloop_unlock(m_); }
    MainloopLock(const MainloopLock&) = delete;
    MainloopLock& operator=(const MainloopLock&) = delete;

private:
    pa_threaded_mainloop* m_;
};

// A timer on the mainloop; freed with the mainloop lock held.
class TimeEvent {
public:
    TimeEvent(pa_mainloop_api* api, pa_time_event* event) : api_(api), event_(event) {}
    ~TimeEvent() {
        if (event_) api_->time_free(event_);
    }
    TimeEvent(const TimeEvent&) = delete;
    TimeEvent& operator=(const TimeEvent&) = delete;
    explicit operator bool() const { return event_ != nullptr; }

private:
    pa_mainloop_api* api_;
    pa_time_event* event_;
};

struct SourceFormat {
    pa_sample_spec sampleFormat;
    pa_channel_map channelMap;
};

// A server connection with its own mainloop thread (the capture thread).
// Thread: main thread, or whichever single thread made it.
class PulseConnection {
public:
    PulseConnection() = default;
    ~PulseConnection() {
        if (started_) {
            {
                MainloopLock lock(mainloop());
                pa_context_set_state_callback(context(), nullptr, nullptr);
                pa_context_disconnect(context());
            }
            pa_threaded_mainloop_stop(mainloop());
        }
        context_.reset();
        mainloop_.reset();
    }
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    pa_threaded_mainloop* mainloop() const { return mainloop_.get(); }
    pa_context* context() const { return context_.get(); }

    // Connects, waiting at most `limit`. The server is never spawned: a
    // dictation tool must not start the sound system as a side effect.
    std::optional<PlatformError> open(milliseconds limit) {
        mainloop_.reset(pa_threaded_mainloop_new());
        if (!mainloop_)
            return pulseError(PA_ERR_INTERNAL, SAYVO_TEXT("PulseAudioCapture", "无法启动录音线程"));
        pa_threaded_mainloop_set_name(mainloop(), "sayvo-audio");
        context_.reset(pa_context_new(pa_threaded_mainloop_get_api(mainloop()), "Sayvo"));
        if (!context_)
            return pulseError(PA_ERR_INTERNAL,
                              SAYVO_TEXT("PulseAudioCapture", "无法连接声音服务器"));
        pa_context_set_state_callback(context(), &PulseConnection::signal, mainloop());
        if (pa_threaded_mainloop_start(mainloop()) < 0) {
            return pulseError(PA_ERR_INTERNAL, SAYVO_TEXT("PulseAudioCapture", "无法启动录音线程"));
        }
        started_ = true;

        MainloopLock lock(mainloop());
        if (pa_context_connect(context(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            return pulseError(pa_context_errno(context()),
                              SAYVO_TEXT("PulseAudioCapture", "无法连接声音服务器"));
        }
        const bool settled = waitFor(
            [this] {
                const pa_context_state_t state = pa_context_get_state(context());
                return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
            },
            limit);
        if (!settled)
            return pulseError(PA_ERR_TIMEOUT,
                              SAYVO_TEXT("PulseAudioCapture", "声音服务器没有响应"));
        if (pa_context_get_state(context()) != PA_CONTEXT_READY) {
            return pulseError(pa_context_errno(context()),
                              SAYVO_TEXT("PulseAudioCapture", "无法连接声音服务器"));
        }
        return std::nullopt;
    }

    bool isReady() const {
        MainloopLock lock(mainloop());
        return pa_context_get_state(context()) == PA_CONTEXT_READY;
    }

    // The default source's native format; none when there is no source or the
    // server does not answer in time.
    std::optional<SourceFormat> defaultSource(milliseconds limit) {
        DefaultSourceAnswer answer;
        answer.onCallback = [mainloop = mainloop()] { pa_threaded_mainloop_signal(mainloop, 0); };
        MainloopLock lock(mainloop());
        OperationPtr operation(askDefaultSource(context(), answer));
        if (!operation) return std::nullopt;
        waitFor(
            [&] {
                return answer.complete ||
                       pa_operation_get_state(operation.get()) != PA_OPERATION_RUNNING;
            },
            limit);
        // A late answer must not reach `answer` once it is gone.
        if (pa_operation_get_state(operation.get()) == PA_OPERATION_RUNNING) {
            pa_operation_cancel(operation.get());
            return std::nullopt;
        }
        if (!answer.complete || !answer.found || !pa_sample_spec_valid(&answer.sampleFormat)) {
            return std::nullopt;
        }
        return SourceFormat{answer.sampleFormat, answer.channelMap};
    }

    // With the lock held: waits until `done` or `limit` passes; returns `done()`.
    template <typename Done>
    bool waitFor(Done done, milliseconds limit) {
        struct Alarm {
            pa_threaded_mainloop* mainloop;
            bool rang = false;
        } alarm{mainloop()};
        auto ring = [](pa_mainloop_api*, pa_time_event*, const timeval*, void* userdata) {
            auto* a = static_cast<Alarm*>(userdata);
            a->rang = true;
            pa_threaded_mainloop_signal(a->mainloop, 0);
        };
        const pa_usec_t deadline = pa_rtclock_now() + pa_usec_t(limit.count()) * PA_USEC_PER_MSEC;
        TimeEvent timer(pa_threaded_mainloop_get_api(mainloop()),
                        pa_context_rttime_new(context(), deadline, ring, &alarm));
        if (!timer) return done();
        while (!done() && !alarm.rang) pa_threaded_mainloop_wait(mainloop());
        return done();
    }

private:
    static void signal(pa_context*, void* mainloop) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(mainloop), 0);
    }

    std::unique_ptr<pa_threaded_mainloop, MainloopFree> mainloop_;
    std::unique_ptr<pa_context, ContextUnref> context_;
    bool started_ = false;
};

AudioFormat formatOf(const pa_sample_spec& sample) {
    return AudioFormat{double(sample.rate), sample.channels, SampleType::float32};
}

// The installed tap. Crosses threads: the capture thread calls the block with
// `mutex` held, so removing a tap waits for a call in flight, and the main
// thread holds `mutex` only to swap the block.
struct TapSlot {
    std::mutex mutex;
    AudioTapBlock block;
    std::atomic<std::uint32_t> frames{kDefaultTapFrames};

    // Returns the previous block so that it is destroyed outside the lock.
    AudioTapBlock exchange(AudioTapBlock next) {
        std::lock_guard lock(mutex);
        std::swap(block, next);
        return next;
    }
    void deliver(std::shared_ptr<const AudioPCMBuffer> buffer) {
        std::lock_guard lock(mutex);
        if (block) block(std::move(buffer));
    }
};

// A record stream and the audio read from it but not yet delivered.
// Thread: made and destroyed on the main thread; its callbacks, and with them
// the tap, run on the capture thread under the mainloop lock.
class Capture {
public:
    Capture(PulseConnection& connection, TapSlot& tap, const SourceFormat& source,
            std::function<void(const PlatformError&)> onFailure)
        : connection_(connection),
          tap_(tap),
          format_(formatOf(source.sampleFormat)),
          onFailure_(std::move(onFailure)) {
        // float32 whatever the hardware does: the server converts anyway, and
        // the level meter and resampler take float.
        sampleFormat_ = pa_sample_spec{PA_SAMPLE_FLOAT32NE, source.sampleFormat.rate,
                                       source.sampleFormat.channels};
        if (pa_channel_map_valid(&source.channelMap) &&
            source.channelMap.channels == sampleFormat_.channels) {
            map_ = source.channelMap;
        } else {
            pa_channel_map_init_auto(&map_, sampleFormat_.channels, PA_CHANNEL_MAP_DEFAULT);
        }
    }
    ~Capture() {
        if (!stream_) return;
        // Under the lock: after it, no read callback (and no tap call) for
        // this stream runs.
        MainloopLock lock(connection_.mainloop());
        pa_stream_set_read_callback(stream_.get(), nullptr, nullptr);
        pa_stream_set_state_callback(stream_.get(), nullptr, nullptr);
        pa_stream_disconnect(stream_.get());
        stream_.reset();
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    const AudioFormat& format() const { return format_; }
    // Set by the capture thread when the server drops the stream.
    bool failed() const { return failed_.load(); }

    std::optional<PlatformError> open(milliseconds limit) {
        pa_context* context = connection_.context();
        MainloopLock lock(connection_.mainloop());
        stream_.reset(pa_stream_new(context, "Dictation", &sampleFormat_, &map_));
        if (!stream_)
            return pulseError(pa_context_errno(context),
                              SAYVO_TEXT("PulseAudioCapture", "无法打开麦克风"));
        pa_stream_set_state_callback(stream_.get(), &Capture::onState, this);
        pa_stream_set_read_callback(stream_.get(), &Capture::onRead, this);

        // Fragments of the tap's size keep the latency near one buffer.
        pa_buffer_attr attributes;
        attributes.maxlength = std::uint32_t(-1);
        attributes.tlength = std::uint32_t(-1);
        attributes.prebuf = std::uint32_t(-1);
        attributes.minreq = std::uint32_t(-1);
        attributes.fragsize = std::uint32_t(tap_.frames.load() * pa_frame_size(&sampleFormat_));
        // No device name: the default source, without pinning this stream's
        // routing in the server's restore database.
        if (pa_stream_connect_record(stream_.get(), nullptr, &attributes,
                                     PA_STREAM_ADJUST_LATENCY) < 0) {
            return pulseError(pa_context_errno(context),
                              SAYVO_TEXT("PulseAudioCapture", "无法打开麦克风"));
        }
        const bool settled = connection_.waitFor(
            [this] {
                const pa_stream_state_t state = pa_stream_get_state(stream_.get());
                return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
            },
            limit);
        if (!settled)
            return pulseError(PA_ERR_TIMEOUT, SAYVO_TEXT("PulseAudioCapture", "麦克风没有响应"));
        if (pa_stream_get_state(stream_.get()) != PA_STREAM_READY) {
            return pulseError(pa_context_errno(context),
                              SAYVO_TEXT("PulseAudioCapture", "无法打开麦克风"));
        }
        opened_ = true;
        return std::nullopt;
    }

private:
    // A failure while opening is start()'s to report; after it, the handler's,
    // once. The server's death fails the stream too.
    static void onState(pa_stream* stream, void* userdata) {
        auto* self = static_cast<Capture*>(userdata);
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)) && !self->failed_.exchange(true) &&
            self->opened_ && self->onFailure_) {
            self->onFailure_(pulseError(pa_context_errno(pa_stream_get_context(stream)),
                                        SAYVO_TEXT("PulseAudioCapture", "麦克风已断开")));
        }
        pa_threaded_mainloop_signal(self->connection_.mainloop(), 0);
    }

    static void onRead(pa_stream* stream, std::size_t, void* userdata) {
        auto* self = static_cast<Capture*>(userdata);
        for (;;) {
            const void* data = nullptr;
            std::size_t bytes = 0;
            if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) break;
            const std::size_t end = self->pending_.size();
            // A hole becomes silence of the same length: the recording keeps
            // its timeline, so durations and the resampler's state stay right.
            self->pending_.resize(end + bytes);
            if (data) std::memcpy(self->pending_.data() + end, data, bytes);
            pa_stream_drop(stream);
        }
        self->deliverWholeBuffers();
    }

    // Cuts what was read into buffers of exactly the tap's size; the rest waits
    // for the next read.
    void deliverWholeBuffers() {
        const std::uint32_t channels = format_.channelCount;
        const std::size_t frameBytes = sizeof(float) * channels;
        std::size_t offset = 0;
        for (;;) {
            const std::uint32_t frames = std::max<std::uint32_t>(tap_.frames.load(), 1);
            if (pending_.size() - offset < frames * frameBytes) break;
            auto buffer = std::make_shared<AudioPCMBuffer>(format_, frames);
            for (std::uint32_t c = 0; c < channels; ++c) {
                float* out = buffer->mutableFloatChannelData(c);
                const std::byte* in = pending_.data() + offset + c * sizeof(float);
                for (std::uint32_t f = 0; f < frames; ++f, in += frameBytes) {
                    std::memcpy(out + f, in, sizeof(float));
                }
            }
            offset += frames * frameBytes;
            tap_.deliver(std::move(buffer));
        }
        pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(offset));
    }

    PulseConnection& connection_;
    TapSlot& tap_;
    AudioFormat format_;
    pa_sample_spec sampleFormat_;
    pa_channel_map map_;
    std::unique_ptr<pa_stream, StreamUnref> stream_;
    std::vector<std::byte> pending_;  // interleaved float32; capture thread only
    std::atomic<bool> failed_{false};
    bool opened_ = false;  // under the mainloop lock
    std::function<void(const PlatformError&)> onFailure_;
};

}  // namespace

struct PulseAudioEngine::Impl {
    class Node final : public AudioInputNode {
    public:
        explicit Node(Impl& impl) : impl_(impl) {}

        // Only bus 0 exists.
        AudioFormat outputFormat(int bus) override {
            if (bus != 0) return AudioFormat{0, 1, SampleType::float32};
            return impl_.outputFormat();
        }
        // A new size cuts buffers at once; the server's fragments follow it
        // from the next start.
        void installTap(int bus, std::uint32_t bufferSize, AudioFormat,
                        AudioTapBlock block) override {
            if (bus != 0) return;
            impl_.tap.frames = bufferSize ? bufferSize : kDefaultTapFrames;
            impl_.tap.exchange(std::move(block));
        }
        void removeTap(int bus) override {
            if (bus != 0) return;
            impl_.tap.exchange(nullptr);
        }

    private:
        Impl& impl_;
    };

    ~Impl() { stop(); }

    std::optional<PlatformError> connect() {
        if (connection && connection->isReady()) return std::nullopt;
        stop();
        auto next = std::make_unique<PulseConnection>();
        if (auto error = next->open(kServerWait)) return error;
        connection = std::move(next);
        return std::nullopt;
    }

    AudioFormat outputFormat() {
        if (capture && !capture->failed()) return capture->format();
        if (!connect()) {
            if (auto source = connection->defaultSource(kServerWait))
                return formatOf(source->sampleFormat);
        }
        return AudioFormat{0, 1, SampleType::float32};
    }

    std::optional<PlatformError> start() {
        if (capture && !capture->failed()) return std::nullopt;
        capture.reset();
        if (auto error = connect()) return error;
        const auto source = connection->defaultSource(kServerWait);
        if (!source) {
            stop();
            return pulseError(PA_ERR_NOENTITY, SAYVO_TEXT("PulseAudioCapture", "没有可用的麦克风"));
        }
        auto next = std::make_unique<Capture>(*connection, tap, *source, onFailure);
        if (auto error = next->open(kServerWait)) {
            next.reset();
            stop();
            return error;
        }
        capture = std::move(next);
        return std::nullopt;
    }

    // The stream goes first: it needs the connection's lock to close.
    void stop() {
        capture.reset();
        connection.reset();
    }

    Node node{*this};
    TapSlot tap;
    std::function<void(const PlatformError&)> onFailure;
    std::unique_ptr<PulseConnection> connection;
    std::unique_ptr<Capture> capture;
};

PulseAudioEngine::PulseAudioEngine(const Translations& translations)
    : translations_(translations), impl_(std::make_unique<Impl>()) {}

PlatformError PulseAudioEngine::translated(PlatformError error) const {
    error.localizedDescription =
        translations_.text(Text{"PulseAudioCapture", error.localizedDescription.c_str()});
    return error;
}
PulseAudioEngine::~PulseAudioEngine() = default;

AudioInputNode& PulseAudioEngine::inputNode() {
    return impl_->node;
}

void PulseAudioEngine::prepare() {
    impl_->connect();  // a failure shows again, and is reported, at start()
}

std::optional<PlatformError> PulseAudioEngine::start() {
    std::optional<PlatformError> error = impl_->start();
    if (error) return translated(std::move(*error));
    return error;
}

bool PulseAudioEngine::isRunning() const {
    return impl_->capture && !impl_->capture->failed();
}

void PulseAudioEngine::stop() {
    impl_->stop();
}

void PulseAudioEngine::setFailureHandler(std::function<void(const PlatformError&)> handler) {
    impl_->onFailure = [this, handler = std::move(handler)](const PlatformError& error) {
        if (handler) handler(translated(error));
    };
}

std::unique_ptr<AudioEngine> PulseAudioSystem::makeAudioEngine() {
    return std::make_unique<PulseAudioEngine>(translations_);
}

std::unique_ptr<AudioConverter> PulseAudioSystem::makeConverter(const AudioFormat& from,
                                                                const AudioFormat& to) {
    if (to != AudioFormat{SoxrResampler::outputRate, 1, SampleType::int16}) return nullptr;
    auto converter = std::make_unique<SoxrAudioConverter>(from);
    if (!converter->isValid()) return nullptr;
    return converter;
}

MicrophoneAuthorizationStatus PulseMicrophoneAuthorization::status() const {
    return MicrophoneAuthorizationStatus::authorized;
}

void PulseMicrophoneAuthorization::requestAccess(std::function<void(bool granted)> answer) {
    answer(true);
}

}  // namespace sayvo
