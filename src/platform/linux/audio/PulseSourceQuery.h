#pragma once

#include <pulse/pulseaudio.h>

#include <functional>
#include <string>

namespace sayvo {

// What the server says about its default source, as its callbacks come in:
// the status check's short connection and the capture's own both ask.
// Thread: the connection's mainloop thread fills it in; read it under that
// mainloop's lock, or on the thread that runs a plain mainloop.
struct DefaultSourceAnswer {
    bool complete = false;  // the server has said all it will
    bool found = false;
    std::string description;  // the name people see, else the source name
    pa_sample_spec sampleFormat{};
    pa_channel_map channelMap{};
    // After each callback: a threaded mainloop's waiter has to be woken.
    std::function<void()> onCallback;
};

// `answer` must outlive the operation, which is null when it could not be sent.
inline pa_operation* askDefaultSource(pa_context* context, DefaultSourceAnswer& answer) {
    auto onInfo = [](pa_context*, const pa_source_info* info, int eol, void* userdata) {
        auto* a = static_cast<DefaultSourceAnswer*>(userdata);
        if (eol == 0 && info) {
            const char* description = info->description;
            a->found = true;
            a->description =
                description && *description ? description : (info->name ? info->name : "");
            a->sampleFormat = info->sample_spec;
            a->channelMap = info->channel_map;
        } else {
            a->complete = true;  // eol < 0: there is no default source
        }
        if (a->onCallback) a->onCallback();
    };
    return pa_context_get_source_info_by_name(context, "@DEFAULT_SOURCE@", onInfo, &answer);
}

}  // namespace sayvo
