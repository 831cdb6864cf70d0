#include "platform/linux/audio/PulseDefaultSource.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <climits>
#include <memory>

#include "platform/linux/audio/PulseSourceQuery.h"

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
    DefaultSourceAnswer source;
    bool unreachable = false;

    bool done() const { return unreachable || source.complete; }
};

void onContextState(pa_context* context, void* userdata) {
    auto* query = static_cast<Query*>(userdata);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) {
        OperationPtr next(askDefaultSource(context, query->source));
        if (!next) query->unreachable = true;
    } else if (!PA_CONTEXT_IS_GOOD(state)) {
        query->unreachable = true;
    }
}

}  // namespace

PulseDefaultSource queryPulseDefaultSource(std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    // Declared before the connection so that it outlives every callback.
    Query query;
    std::unique_ptr<pa_mainloop, MainloopFree> mainloop(pa_mainloop_new());
    if (!mainloop) return {};
    std::unique_ptr<pa_context, ContextClose> context(
        pa_context_new(pa_mainloop_get_api(mainloop.get()), "Sayvo"));
    if (!context) return {};
    pa_context_set_state_callback(context.get(), onContextState, &query);
    // Checking for a microphone must not start the sound system.
    if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        return {};
    }

    // Each wait is cut to what is left, so a silent server costs `limit` at most.
    while (!query.done()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        const int wait = static_cast<int>(std::min<long long>(left, INT_MAX));
        if (pa_mainloop_prepare(mainloop.get(), wait) < 0 || pa_mainloop_poll(mainloop.get()) < 0 ||
            pa_mainloop_dispatch(mainloop.get()) < 0) {
            break;
        }
    }
    if (!query.done() || query.unreachable) return {};
    if (!query.source.found) return {PulseDefaultSource::State::noDefaultSource, {}};
    return {PulseDefaultSource::State::found, query.source.description};
}

}  // namespace sayvo
