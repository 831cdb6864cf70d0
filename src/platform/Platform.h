#pragma once

#include "platform/AccessibilityTrust.h"
#include "platform/ApplicationShell.h"
#include "platform/Audio.h"
#include "platform/DecisionLog.h"
#include "platform/Keyboard.h"
#include "platform/LoginItem.h"
#include "platform/MicrophoneAuthorization.h"
#include "platform/Pasteboard.h"
#include "platform/Preferences.h"
#include "platform/Scheduler.h"
#include "platform/SecretStore.h"
#include "platform/SpeechRecognitionService.h"
#include "platform/SyntheticKeyboard.h"
#include "platform/SystemPermissions.h"
#include "platform/Translations.h"
#include "platform/URLOpener.h"
#include "platform/UUIDGenerator.h"
#include "platform/WebSocket.h"

namespace sayvo {

// The operating-system services the logic uses, handed to it at construction.
// The referenced services outlive every object that was given them.
struct Platform {
    Scheduler& scheduler;
    Preferences& preferences;
    Pasteboard& pasteboard;
    MicrophoneAuthorization& microphone;
    SpeechRecognitionService& speech;
    ApplicationShell& shell;
    KeyboardMonitoring& keyboard;
    AudioSystem& audio;
    WebSocketService& webSockets;
    UUIDGenerator& uuids;
    SyntheticKeyboard& syntheticKeyboard;
    AccessibilityTrust& accessibility;
    URLOpener& urls;
    SystemPermissions& permissions;
    DecisionLog& log;
    LoginItem& loginItem;
    SecretStore& secrets;
    const Translations& translations;
};

}  // namespace sayvo
