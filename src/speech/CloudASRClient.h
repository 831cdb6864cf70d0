#pragma once

#include <functional>
#include <string>

namespace sayvo {

// A streaming cloud recogniser as the speech recognizer drives it.
// Thread: startRecognition/stopRecognition are called on the main thread. The
// callbacks may be fired on any thread; the receiver must hop to the main
// thread itself. A callback member is read at the moment it fires.
class CloudASRClient {
public:
    virtual ~CloudASRClient() = default;

    // Starts one recognition task and returns at once; ignored while a task the
    // client still counts as running exists. Once the client has reported
    // onStopped on its own (the service finished or failed the task, or the
    // connection closed) it no longer counts that task as running, so the next
    // start begins a new task; events of an ended task never fire after that.
    virtual void startRecognition(const std::string& apiKey) = 0;

    // Stops the current task; onStopped follows. Does nothing when not running.
    virtual void stopRecognition() = 0;

    std::function<void(const std::string& text, bool isFinal)> onTranscript;
    std::function<void(const std::string& message)> onError;
    std::function<void()> onStarted;
    std::function<void()> onStopped;
    // The task is over for good, after a stop as well: the service finished
    // or failed it, the connection closed, or nothing was ever sent. Its last
    // result has been reported before this.
    std::function<void()> onFinished;
    std::function<void(float level)> onAudioLevel;
};

}  // namespace sayvo
