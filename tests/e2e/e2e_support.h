#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <string>

// Polls (every pollMs) while keeping our D-Bus objects served; true once done() holds.
bool waitUntil(const std::function<bool()>& done, int timeoutMs, int pollMs = 10);

// With SAYVO_E2E_SCREENSHOTS=<dir>, saves what the screen shows at each step
// (for a person to look at; needs ImageMagick's import).
void screenshot(const char* name);

// Prints a measurement on a line of its own; nothing is asserted on it.
void measure(const char* what, qint64 value, const char* unit);

// Plays 16 kHz mono s16le audio into the test microphone and waits for it to end.
bool speak(const QString& rawFile);

// What another application gets when it pastes.
std::string clipboard();
