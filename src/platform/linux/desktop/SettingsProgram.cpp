#include "platform/linux/desktop/SettingsProgram.h"

#include <QProcess>
#include <QStandardPaths>
#include <vector>

namespace sayvo {
namespace {

// The installed ones, in the caller's order of preference, with full paths.
std::vector<SettingsProgram> installed(std::span<const SettingsProgram> candidates) {
    std::vector<SettingsProgram> found;
    for (const SettingsProgram& candidate : candidates) {
        const QString path = QStandardPaths::findExecutable(candidate.name);
        if (!path.isEmpty()) found.push_back({path, candidate.arguments});
    }
    return found;
}

}  // namespace

bool anySettingsProgramInstalled(std::span<const SettingsProgram> candidates) {
    return !installed(candidates).empty();
}

bool startSettingsProgram(std::span<const SettingsProgram> candidates) {
    for (const SettingsProgram& program : installed(candidates)) {
        if (QProcess::startDetached(program.name, program.arguments)) return true;
    }
    return false;
}

}  // namespace sayvo
