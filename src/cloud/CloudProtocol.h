#pragma once

#include <optional>
#include <string>

#include "platform/UUIDGenerator.h"

namespace sayvo {

// The realtime speech-recognition service's message formats: the two
// commands the client sends and the events it understands. Pure functions.

// 32 upper-case hexadecimal characters: a random UUID without its hyphens.
std::string makeTaskId(UUIDGenerator& uuids);

// Compact JSON texts of the commands; nothing when they cannot be serialised.
std::optional<std::string> buildRunTask(const std::string& taskId);
std::optional<std::string> buildFinishTask(const std::string& taskId);

struct CloudEvent {
    enum class Kind { started, result, finished, failed, ignored };
    Kind kind = Kind::ignored;
    std::string text;  // result: the sentence; failed: the service's reason, if it gave one
    bool isFinal = false;
};

// Parses one received text message; anything malformed or unknown is ignored.
CloudEvent parseCloudEvent(const std::string& text);

}  // namespace sayvo
