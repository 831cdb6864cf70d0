#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "FakeWebSocket.h"
#include "cloud/CloudProtocol.h"

using namespace sayvo;

using nlohmann::json;

TEST(CloudProtocolTest, CommandsHaveExactlyTheMembersAndTypesTheServiceExpects) {
    const auto text = buildRunTask("0123456789ABCDEF0123456789ABCDEF");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->find('\n'), std::string::npos) << "compact, one line";
    const json expected = R"({
        "header": {"action": "run-task", "task_id": "0123456789ABCDEF0123456789ABCDEF",
                   "streaming": "duplex"},
        "payload": {"task_group": "audio", "task": "asr", "function": "recognition",
                    "model": "fun-asr-realtime",
                    "parameters": {"format": "pcm", "sample_rate": 16000}, "input": {}}})"_json;
    const json actual = json::parse(*text);
    EXPECT_EQ(actual, expected);
    EXPECT_TRUE(actual["payload"]["parameters"]["sample_rate"].is_number_integer());
    EXPECT_EQ(json::parse(buildFinishTask("ABC").value()),
              R"({"header": {"action": "finish-task", "task_id": "ABC",
        "streaming": "duplex"}, "payload": {"input": {}}})"_json);
    EXPECT_FALSE(buildFinishTask("\xff\xfe")) << "not UTF-8: cannot be serialised";
}

TEST(CloudProtocolTest, EventsAreParsedMemberByMember) {
    using K = CloudEvent::Kind;
    const auto sentence = [](const std::string& members) {
        return R"({"header":{"event":"result-generated"},"payload":{"output":{"sentence":{)" +
               members + "}}}}";
    };
    const struct {
        std::string json;
        K kind;
        std::string text;
        bool isFinal;
    } cases[] = {
        {R"({"header":{"event":"task-started"},"payload":{}})", K::started, "", false},
        {R"({"header":{"event":"task-finished","task_id":"X"}})", K::finished, "", false},
        {sentence(R"("text":"你好","sentence_end":true,"begin_time":0)"), K::result, "你好", true},
        {sentence(R"("text":"你")"), K::result, "你", false},
        {sentence(R"("text":"","sentence_end":"true")"), K::result, "", false},
        {sentence(R"("sentence_end":true)"), K::ignored, "", false},
        {R"({"header":{"event":"result-generated"},"payload":[]})", K::ignored, "", false},
        {R"({"header":{"event":"task-failed","error_message":"配额不足"}})", K::failed, "配额不足",
         false},
        {R"({"header":{"event":"task-failed","error_message":42}})", K::failed, "", false},
        {R"({"header":{"event":"Task-Started"}})", K::ignored, "", false},
        {R"({"header":{"event":7}})", K::ignored, "", false},
        {R"(["task-started"])", K::ignored, "", false},
        {R"({"header":{"event":"task-started"})", K::ignored, "", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        const CloudEvent event = parseCloudEvent(c.json);
        EXPECT_EQ(event.kind, c.kind);
        EXPECT_EQ(event.text, c.text);
        EXPECT_EQ(event.isFinal, c.isFinal);
    }
}
