#include "hotkey/HotkeyManager.h"

namespace sayvo {

HotkeyManager& HotkeyManager::shared() {
    static HotkeyManager instance;
    return instance;
}

}  // namespace sayvo
