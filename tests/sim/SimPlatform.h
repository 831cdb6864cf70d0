#pragma once

#include "FakeAudio.h"
#include "FakeKeyboard.h"
#include "FakeServices.h"
#include "FakeShell.h"
#include "FakeSyntheticKeyboard.h"
#include "FakeWebSocket.h"
#include "SimScheduler.h"
#include "platform/Platform.h"

namespace sayvo::sim {

struct SimPlatform {
    SimScheduler scheduler;
    FakePreferences preferences;
    FakePasteboard pasteboard;
    FakeMicrophoneAuthorization microphone;
    FakeSpeechRecognitionService speech;
    FakeApplicationShell shell;
    FakeKeyboard keyboard;
    FakeAudioSystem audio;
    FakeWebSocketService webSockets;
    FakeUUIDs uuids;
    FakeSyntheticKeyboard syntheticKeyboard;
    FakeAccessibilityTrust accessibility;
    FakeURLOpener urls;
    FakeSystemPermissions permissions;
    FakeDecisionLog log;
    FakeLoginItem loginItem;
    FakeSecretStore secrets{scheduler};
    SourceTranslations translations;

    Platform platform() { return platform(keyboard, syntheticKeyboard); }
    // With another backend's keyboard services in place of the fakes.
    Platform platform(KeyboardMonitoring& keys, SyntheticKeyboard& typing) {
        return Platform{scheduler, preferences, pasteboard, microphone, speech,  shell,
                        keys,      audio,       webSockets, uuids,      typing,  accessibility,
                        urls,      permissions, log,        loginItem,  secrets, translations};
    }
};

}  // namespace sayvo::sim
