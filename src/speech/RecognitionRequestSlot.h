#pragma once

#include <memory>
#include <mutex>

#include "platform/SpeechRecognitionService.h"

namespace sayvo {

// The current recognition request, shared by the main thread (which replaces
// and ends it) and the audio thread (which appends to it). Appending happens
// under the lock, so once a request has been replaced no buffer reaches it.
// Thread: any; the lock is held only for a swap or one append.
class RecognitionRequestSlot {
public:
    using Request = std::shared_ptr<AudioBufferRecognitionRequest>;

    Request exchange(Request next) {
        std::lock_guard lock(mutex_);
        current_.swap(next);
        return next;
    }

    void appendToCurrent(const AudioPCMBuffer& buffer) {
        std::lock_guard lock(mutex_);
        if (current_) current_->append(buffer);
    }

private:
    std::mutex mutex_;
    Request current_;
};

}  // namespace sayvo
