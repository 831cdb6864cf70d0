#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTcpServer>
#include <QTest>
#include <QWebSocket>
#include <QWebSocketCorsAuthenticator>
#include <QWebSocketServer>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "platform/linux/desktop/XdgAutostart.h"
#include "platform/linux/services/JsonFilePreferences.h"
#include "platform/linux/services/QtScheduler.h"
#include "platform/linux/services/QtWebSocketService.h"
#include "platform/linux/ui/QtPopover.h"

using namespace sayvo;
namespace fs = std::filesystem;

TEST(JsonFilePreferencesTest, OnlyAWellFormedFileIsReadAndAStoreMovesACorruptOneAside) {
    const fs::path dir = fs::temp_directory_path() / ("sayvo-prefs-" + std::to_string(::getpid()));
    const std::string path = (dir / "sayvo" / "preferences.json").string();
    const auto padded = [](std::size_t size) {
        std::string json = R"({"hotkeyKeyCode": 49, "hotkeyIsFnKey": "no"})";
        return json + std::string(size - json.size(), ' ');
    };
    const struct {
        std::string contents;
        std::optional<std::int64_t> keyCode;  // as read from it
        bool corrupt;                         // moved to "<path>.corrupt" by a store
    } cases[] = {
        {R"({"hotkeyKeyCode": 1.5})", {}, false},
        {R"({"hotkeyKeyCode": 18446744073709551615})", {}, false},
        {padded(kMaxPreferencesFileSize), 49, false},
        {padded(kMaxPreferencesFileSize + 1), {}, true},
        {R"({"hotkeyKeyCode": 49, "AliyunASRAPIKey": "half-wri)", {}, true},
        {"{\"hotkeyKeyCode\": 49, \"AliyunASRAPIKey\": \"\xff\xfe\"}", {}, true},  // not UTF-8
        {"[49]", {}, true},
        {"", {}, true},
        {"directory", {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contents.substr(0, 60));
        fs::remove_all(dir);
        fs::create_directories(dir / "sayvo");
        c.contents == "directory" ? void(fs::create_directory(path))
                                  : void(std::ofstream(path) << c.contents);
        JsonFilePreferences prefs(path);
        EXPECT_EQ(prefs.integerForKey("hotkeyKeyCode"), c.keyCode);
        EXPECT_EQ(prefs.boolForKey("hotkeyIsFnKey"), std::nullopt) << "a string is no Boolean";
        prefs.setBool("hotkeyIsFnKey", true);
        EXPECT_TRUE(prefs.lastWriteSucceeded());
        std::stringstream aside;
        aside << std::ifstream(path + ".corrupt").rdbuf();
        EXPECT_EQ(aside.str(), c.corrupt && c.contents != "directory" ? c.contents : "");
        JsonFilePreferences again(path);
        EXPECT_EQ(again.boolForKey("hotkeyIsFnKey"), true);
        EXPECT_EQ(again.integerForKey("hotkeyKeyCode"), c.keyCode);
        EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir / "sayvo"), fs::directory_iterator()),
                  1 + c.corrupt)
            << "no temporary files left behind";
    }
    // A file in the way of the directory fails for anyone, root included.
    fs::remove_all(dir);
    std::ofstream(dir) << "not a directory";
    JsonFilePreferences blocked(path);
    int failures = 0;
    blocked.onWriteFailed = [&] { ++failures; };
    blocked.setString("AliyunASRAPIKey", "kept");
    EXPECT_FALSE(blocked.lastWriteSucceeded());
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(blocked.stringForKey("AliyunASRAPIKey"), "kept") << "for this session";
    fs::remove_all(dir);
}

// Two processes storing at once, both killed mid-way: a reader only ever
// finds a whole file, from one writer or the other.
TEST(JsonFilePreferencesTest, WritersRacingOrKilledNeverLeaveAHalfWrittenFile) {
    const fs::path dir = fs::temp_directory_path() / ("sayvo-race-" + std::to_string(::getpid()));
    const std::string path = (dir / "preferences.json").string();
    fs::remove_all(dir);
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = ::fork();
        ASSERT_GE(writers[w], 0);
        if (writers[w] == 0) {
            JsonFilePreferences prefs(path);
            const std::string value(256 * 1024, char('a' + w));
            for (;;) prefs.setString("AliyunASRAPIKey", value);
        }
    }
    int whole = 0, torn = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(700);
    while (std::chrono::steady_clock::now() < until) {
        std::stringstream contents;
        contents << std::ifstream(path).rdbuf();
        if (contents.str().empty()) continue;  // none written yet
        parsePreferences(contents.str()) ? ++whole : ++torn;
    }
    for (const pid_t writer : writers) ::kill(writer, SIGKILL), ::waitpid(writer, nullptr, 0);
    EXPECT_EQ(torn, 0);
    EXPECT_GT(whole, 10);
    EXPECT_EQ(JsonFilePreferences(path).stringForKey("AliyunASRAPIKey").value_or("").size(),
              256u * 1024);
    fs::remove_all(dir);
}

// The desktop's own startup reads the entry: the program must survive its
// quoting, and an entry the user turned off elsewhere is off.
TEST(XdgAutostartTest, TheEntryStartsThisProgramAndOnlyAnEntryLeftOnCountsAsOn) {
    const fs::path dir =
        fs::temp_directory_path() / ("sayvo-autostart-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    const QString program = "/opt/my apps/say\"vo$1 100%/sayvo";
    XdgAutostart autostart("app.sayvo.Sayvo", program, QString::fromStdString(dir / "autostart"));
    const fs::path entry = dir / "autostart" / "app.sayvo.Sayvo.desktop";
    const auto contents = [&] {
        std::stringstream text;
        text << std::ifstream(entry).rdbuf();
        return text.str();
    };
    EXPECT_FALSE(autostart.isEnabled());
    EXPECT_EQ(autostart.setEnabled(true), std::nullopt);
    EXPECT_TRUE(autostart.isEnabled());
    EXPECT_NE(contents().find("\nExec=\"/opt/my apps/say\\\"vo\\$1 100%%/sayvo\"\n"
                              "TryExec=/opt/my apps/say\"vo$1 100%/sayvo\n"),
              std::string::npos)
        << contents();
    for (const char* off : {"Hidden=true", "X-GNOME-Autostart-enabled=false"}) {
        std::ofstream(entry, std::ios::app) << off << "\n";
        EXPECT_FALSE(autostart.isEnabled()) << off;
        EXPECT_EQ(autostart.setEnabled(true), std::nullopt);
        EXPECT_TRUE(autostart.isEnabled()) << "turned back on";
    }
    EXPECT_EQ(autostart.setEnabled(false), std::nullopt);
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_EQ(autostart.setEnabled(false), std::nullopt) << "already off";
    // Things in the way fail for anyone, root included, and change nothing.
    fs::create_directories(entry / "in-the-way");
    EXPECT_TRUE(autostart.isEnabled() == false && autostart.setEnabled(false).has_value());
    fs::remove_all(dir);
    std::ofstream(dir) << "not a directory";
    EXPECT_TRUE(autostart.setEnabled(true).has_value());
    EXPECT_FALSE(autostart.isEnabled());
    fs::remove_all(dir);
}

TEST(QtSchedulerTest, RunsTasksFromAnyThreadOnTheMainThreadInOrderAndDropsThemWithItself) {
    std::string ran;  // posted: a to e; after 0.05 s: 1 then 2; after 0.12 s: 3
    std::atomic<int> fromThreads{0}, offMain{0};
    int fires = 0;
    auto held = std::make_shared<int>(0);
    {
        QtScheduler scheduler;
        scheduler.postAfter(0.12, [&] { ran += '3'; });
        scheduler.postAfter(0.05, [&] { ran += '1'; });
        scheduler.postAfter(0.05, [&] { ran += '2'; });
        for (char task : std::string("abcde")) scheduler.post([&ran, task] { ran += task; });
        EXPECT_EQ(ran, "") << "post never runs inline";
        const auto fromAThread = [&, mainThread = std::this_thread::get_id()] {
            offMain += std::this_thread::get_id() != mainThread;
            ++fromThreads;
        };
        std::jthread poster([&] {
            for (int i = 0; i < 400; ++i)
                i % 2 ? scheduler.post(fromAThread) : scheduler.postAfter(0.01, fromAThread);
        });
        std::unique_ptr<RepeatingTimer> timer = scheduler.scheduleRepeating(0.01, [&] {
            if (++fires == 3) timer->invalidate();
        });
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return ran.size() == 8 && fromThreads == 400 && fires > 2; }));
        EXPECT_EQ(offMain, 0);
        EXPECT_FALSE(timer->isValid()) << "invalidated from its own action";
        // What a pending task holds must go with the scheduler, while the
        // application object still exists, not at its teardown.
        scheduler.postAfter(60, [held] {});
        QTest::qWait(50);
        scheduler.post([&] { ran += 'x'; });
        scheduler.postAfter(0.01, [&] { ran += 'x'; });
    }
    EXPECT_EQ(held.use_count(), 1);
    QTest::qWait(100);
    EXPECT_EQ(ran, "abcde123");
    EXPECT_EQ(fires, 3);
}

using Kind = WebSocketMessage::Kind;

// What a client saw, in order ("open", "sent <name>", "text <message>",
// "close <code>", failures with their code), and on which threads.
struct Events {
    std::mutex mutex;
    std::string log;
    std::atomic<int> count{0};
    std::set<std::thread::id> threads;

    void add(std::string entry, const std::optional<PlatformError>& error = std::nullopt) {
        std::lock_guard lock(mutex);
        EXPECT_EQ(error ? error->domain : "QtWebSockets", "QtWebSockets");
        log += (log.empty() ? "" : ", ") + entry + (error ? " " + std::to_string(error->code) : "");
        threads.insert(std::this_thread::get_id());
        ++count;
    }
    // The log once it has `n` entries, given a moment for unexpected ones.
    std::string waitFor(int n) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return count >= n; }));
        QTest::qWait(50);
        std::lock_guard lock(mutex);
        return log;
    }
    WebSocketTask::ReceiveCompletion receiver() {
        return [this](auto message, auto error) {
            add(message ? "text " + message->data : "receive failed", error);
        };
    }
    WebSocketTask::SendCompletion sender(std::string name) {
        return [this, name](auto error) { add("sent " + name, error); };
    }
    WebSocketDelegate delegate() {
        return {[this] { add("open"); },
                [this](int code) { add("close " + std::to_string(code)); }};
    }
};

// A client task against a WebSocket peer on loopback.
struct LoopbackSocketPair {
    LoopbackSocketPair() {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
        QObject::connect(&server, &QWebSocketServer::newConnection,
                         [this] { peer.reset(server.nextPendingConnection()); });
        const std::string url = "ws://127.0.0.1:" + std::to_string(server.serverPort());
        task = service->makeWebSocketTask({url, {}, 5}, events.delegate());
    }

    Events events;  // outlives the service, which may still complete into it
    std::unique_ptr<QtWebSocketService> service = std::make_unique<QtWebSocketService>();
    QWebSocketServer server{"test", QWebSocketServer::NonSecureMode};
    std::unique_ptr<QWebSocket> peer;
    std::shared_ptr<WebSocketTask> task;
};

TEST(QtWebSocketServiceTest, CallsCompleteInOrderOnTheCallbackThreadAndFailOnceTheConnectionEnds) {
    const struct {
        const char* end;
        std::function<void(LoopbackSocketPair&)> act;
        std::string log;
    } cases[] = {
        {"server closes", [](auto& c) { c.peer->close(); },
         "close 1000, receive failed 1, sent late 1"},
        {"cancel", [](auto& c) { c.task->cancel(1001); },
         "receive failed 19, close 1001, sent late 19"},
        {"oversized message",
         [](auto& c) {
             c.peer->sendBinaryMessage(QByteArray(QtWebSocketService::maxIncomingBytes + 1, 'x'));
         },
         "close 1009, receive failed 1, sent late 1"},
        {"service destroyed", [](auto& c) { c.service.reset(); }, "receive failed 19"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.end);
        LoopbackSocketPair connection;
        auto [events, task] = std::tie(connection.events, connection.task);
        task->send({Kind::text, "run-task"}, events.sender("early"));  // waits for the open
        task->resume();  // a send from the audio thread, too
        std::thread([&] { task->send({Kind::binary, "\1"}, events.sender("audio")); }).join();
        EXPECT_EQ(events.count, 0) << "nothing completes on the caller's stack";
        ASSERT_TRUE(QTest::qWaitFor([&] { return connection.peer && events.count == 3; }));
        connection.peer->sendTextMessage("result");
        QTest::qWait(100);
        task->receive(events.receiver());  // the message waited for it
        task->receive(events.receiver());
        task->receive(events.receiver());  // one may be pending: this one fails at once
        task->send({Kind::text, "ping"}, events.sender("ping"));  // once sent, a receive pends
        ASSERT_TRUE(QTest::qWaitFor([&] { return events.count == 6; }));
        c.act(connection);
        const bool gone = !connection.service;
        events.waitFor(gone ? 7 : 8);                             // the end comes first
        task->send({Kind::text, "late"}, events.sender("late"));  // or dropped with the service
        EXPECT_EQ(
            events.waitFor(gone ? 7 : 9),
            "open, sent early, sent audio, text result, receive failed 19, sent ping, " + c.log);
        std::lock_guard lock(events.mutex);
        EXPECT_EQ(events.threads.size(), 1u);
        EXPECT_FALSE(events.threads.contains(std::this_thread::get_id()));
    }
}

TEST(QtWebSocketServiceTest, ARefusedOrSilentHandshakeFailsTheWaitingCalls) {
    QWebSocketServer refusing{"test", QWebSocketServer::NonSecureMode};
    QTcpServer silent;  // it takes the connection and never answers
    ASSERT_TRUE(refusing.listen(QHostAddress::LocalHost) && silent.listen(QHostAddress::LocalHost));
    QObject::connect(&refusing, &QWebSocketServer::originAuthenticationRequired,
                     [](QWebSocketCorsAuthenticator* origin) { origin->setAllowed(false); });
    const auto url = [](auto& server) {
        return "ws://127.0.0.1:" + std::to_string(server.serverPort());
    };
    Events refused, timedOut;
    QtWebSocketService service;
    auto a = service.makeWebSocketTask({url(refusing), {}, 5}, refused.delegate());
    auto b = service.makeWebSocketTask({url(silent), {}, 0.5}, timedOut.delegate());
    a->send({Kind::text, "run-task"}, refused.sender("early"));
    a->receive(refused.receiver());
    b->receive(timedOut.receiver());
    a->resume();
    b->resume();
    EXPECT_EQ(refused.waitFor(2), "sent early 0, receive failed 0");
    EXPECT_EQ(timedOut.waitFor(1), "receive failed 5");
}

TEST(PanelFrameTest, OpensBesideItsAnchorOnTheSideWithMoreRoom) {
    const QRect area(0, 30, 1000, 770);  // a top panel of 30
    const struct {
        QRect tray;
        QPoint pointer;
        QPoint topLeft;
    } cases[] = {
        {{}, {100, 40}, {100, 44}},                // pointer top left
        {{}, {999, 799}, {739, 495}},              // in a corner: the panel stays whole
        {{980, 5, 20, 20}, {0, 0}, {740, 30}},     // tray item at the top right
        {{500, 780, 20, 20}, {0, 0}, {379, 476}},  // tray item at the bottom
    };
    for (const auto& c : cases) {
        const QRect frame = panelFrame(QSize(260, 300), c.tray, c.pointer, area);
        EXPECT_EQ(frame.topLeft(), c.topLeft);
        EXPECT_TRUE(area.contains(frame));
    }
}
