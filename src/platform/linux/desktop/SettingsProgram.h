#pragma once

#include <QString>
#include <QStringList>
#include <span>

namespace sayvo {

// A desktop's settings program, by name on $PATH, and the page to open.
struct SettingsProgram {
    QString name;
    QStringList arguments;
};

// Desktops differ in which settings program they ship, so each use names a
// few. They are looked up on each use: cheap, and follows software installed
// meanwhile. Thread: GUI thread only.
bool anySettingsProgramInstalled(std::span<const SettingsProgram> candidates);
// Starts the first of `candidates` that is installed and starts, detached so
// that it outlives Sayvo. False when none did.
bool startSettingsProgram(std::span<const SettingsProgram> candidates);

}  // namespace sayvo
