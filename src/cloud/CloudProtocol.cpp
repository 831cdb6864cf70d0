#include "cloud/CloudProtocol.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>

namespace sayvo {

namespace {

using nlohmann::json;

const json* member(const json& object, const char* name) {
    if (!object.is_object()) return nullptr;
    const auto it = object.find(name);
    return it == object.end() ? nullptr : &*it;
}

std::optional<std::string> serialise(const json& command) {
    try {
        return command.dump();
    } catch (const json::exception&) {
        // An identifier that is not valid UTF-8 cannot be sent.
        return std::nullopt;
    }
}

json header(const char* action, const std::string& taskId) {
    return {{"action", action}, {"task_id", taskId}, {"streaming", "duplex"}};
}

}  // namespace

std::string makeTaskId(UUIDGenerator& uuids) {
    std::string id = uuids.uuidString();
    id.erase(std::remove(id.begin(), id.end(), '-'), id.end());
    std::transform(id.begin(), id.end(), id.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return id;
}

std::optional<std::string> buildRunTask(const std::string& taskId) {
    const json command = {{"header", header("run-task", taskId)},
                          {"payload",
                           {{"task_group", "audio"},
                            {"task", "asr"},
                            {"function", "recognition"},
                            {"model", "fun-asr-realtime"},
                            {"parameters", {{"format", "pcm"}, {"sample_rate", 16000}}},
                            {"input", json::object()}}}};
    return serialise(command);
}

std::optional<std::string> buildFinishTask(const std::string& taskId) {
    const json command = {{"header", header("finish-task", taskId)},
                          {"payload", {{"input", json::object()}}}};
    return serialise(command);
}

CloudEvent parseCloudEvent(const std::string& text) {
    const json root = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (root.is_discarded() || !root.is_object()) return {};
    const json* head = member(root, "header");
    const json* event = head ? member(*head, "event") : nullptr;
    if (!event || !event->is_string()) return {};
    const auto& name = event->get_ref<const std::string&>();

    if (name == "task-started") return {CloudEvent::Kind::started, "", false};
    if (name == "task-finished") return {CloudEvent::Kind::finished, "", false};
    if (name == "task-failed") {
        const json* message = member(*head, "error_message");
        return {CloudEvent::Kind::failed,
                message && message->is_string() ? message->get<std::string>() : "", false};
    }
    if (name == "result-generated") {
        const json* payload = member(root, "payload");
        const json* output = payload ? member(*payload, "output") : nullptr;
        const json* sentence = output ? member(*output, "sentence") : nullptr;
        const json* sentenceText = sentence ? member(*sentence, "text") : nullptr;
        if (!sentenceText || !sentenceText->is_string()) return {};
        const json* end = member(*sentence, "sentence_end");
        return {CloudEvent::Kind::result, sentenceText->get<std::string>(),
                end && end->is_boolean() && end->get<bool>()};
    }
    return {};
}

}  // namespace sayvo
