#include "platform/linux/audio/PulseDefaultSource.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <climits>
#include <memory>

namespace sayvo {
namespace {

using Clock = std::chrono::steady_clock;

struct MainloopFree {
    void operator()(pa_mainloop* m) const { pa_mainloop_free(m); }
};
// The callbacks point into the caller's stack: none may run once it is gone.
struct ContextClose {
    void operator()(pa_context* c) const {
        pa_context_set_state_callback(c, nullptr, nullptr);
        pa_context_disconnect(c);
        pa_context_unref(c);
    }
};
struct OperationUnref {
    void operator()(pa_operation* o) const { pa_operation_unref(o); }
};
using OperationPtr = std::unique_ptr<pa_operation, OperationUnref>;

struct Query {
    PulseDefaultSource answer;
    bool done = false;

    void finish(PulseDefaultSource::State state) {
        answer.state = state;
        done = true;
    }
};

void onSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* query = static_cast<Query*>(userdata);
    if (query->done) return;
    if (eol == 0 && info) {
        const char* description = info->description;
        query->answer.description =
            description && *description ? description : (info->name ? info->name : "");
        query->finish(PulseDefaultSource::State::found);
    } else {
        // The default was removed between the two questions.
        query->finish(PulseDefaultSource::State::noDefaultSource);
    }
}

void onServerInfo(pa_context* context, const pa_server_info* info, void* userdata) {
    auto* query = static_cast<Query*>(userdata);
    if (!info) {
        query->finish(PulseDefaultSource::State::unreachable);
        return;
    }
    const char* name = info->default_source_name;
    if (!name || !*name) {
        query->finish(PulseDefaultSource::State::noDefaultSource);
        return;
    }
    OperationPtr next(pa_context_get_source_info_by_name(context, name, onSourceInfo, query));
    if (!next) query->finish(PulseDefaultSource::State::unreachable);
}

void onContextState(pa_context* context, void* userdata) {
    auto* query = static_cast<Query*>(userdata);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) {
        OperationPtr next(pa_context_get_server_info(context, onServerInfo, query));
        if (!next) query->finish(PulseDefaultSource::State::unreachable);
    } else if (!PA_CONTEXT_IS_GOOD(state)) {
        query->finish(PulseDefaultSource::State::unreachable);
    }
}

}  // namespace

PulseDefaultSource queryPulseDefaultSource(std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    // Declared before the connection so that it outlives every callback.
    Query query;
    std::unique_ptr<pa_mainloop, MainloopFree> mainloop(pa_mainloop_new());
    if (!mainloop) return query.answer;
    std::unique_ptr<pa_context, ContextClose> context(
        pa_context_new(pa_mainloop_get_api(mainloop.get()), "Sayvo"));
    if (!context) return query.answer;
    pa_context_set_state_callback(context.get(), onContextState, &query);
    // Checking for a microphone must not start the sound system.
    if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        return query.answer;
    }

    // Each wait is cut to what is left, so a silent server costs `limit` at most.
    while (!query.done) {
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        const int wait = static_cast<int>(std::min<long long>(left, INT_MAX));
        if (pa_mainloop_prepare(mainloop.get(), wait) < 0 || pa_mainloop_poll(mainloop.get()) < 0 ||
            pa_mainloop_dispatch(mainloop.get()) < 0) {
            break;
        }
    }
    if (!query.done) return PulseDefaultSource{};
    return query.answer;
}

}  // namespace sayvo
