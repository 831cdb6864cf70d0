#include "platform/linux/KeysymNames.h"

#include <xkbcommon/xkbcommon.h>

namespace sayvo {

namespace {

bool selectsLevel(xkb_keysym_t sym) {
    switch (sym) {
        case XKB_KEY_ISO_Level3_Shift:
        case XKB_KEY_ISO_Level3_Latch:
        case XKB_KEY_ISO_Level3_Lock:
        case XKB_KEY_ISO_Level5_Shift:
        case XKB_KEY_ISO_Level5_Latch:
        case XKB_KEY_ISO_Level5_Lock:
        case XKB_KEY_Mode_switch:
        case XKB_KEY_ISO_Group_Latch:
        case XKB_KEY_ISO_Group_Lock:
        case XKB_KEY_ISO_Next_Group:
        case XKB_KEY_ISO_Prev_Group:
        case XKB_KEY_Multi_key:
            return true;
        default:
            return false;
    }
}

// Keys that move the cursor or change text without entering a character.
bool editsText(xkb_keysym_t sym) {
    return (sym >= XKB_KEY_Home && sym <= XKB_KEY_End) ||
           (sym >= XKB_KEY_KP_Home && sym <= XKB_KEY_KP_Delete) || sym == XKB_KEY_Insert ||
           sym == XKB_KEY_ISO_Left_Tab;
}

}  // namespace

KeyRole keyRoleOfKeysym(unsigned long keysym) {
    const auto sym = static_cast<xkb_keysym_t>(keysym);
    if (selectsLevel(sym)) return KeyRole::selectsLevel;
    // Return, Tab, BackSpace, Escape and Delete map to control characters.
    if (xkb_keysym_to_utf32(sym) != 0 || editsText(sym)) return KeyRole::types;
    return KeyRole::standsAlone;
}

std::string keyNameOfKeysym(unsigned long keysym) {
    const auto sym = static_cast<xkb_keysym_t>(keysym);
    if (sym == XKB_KEY_NoSymbol) return {};
    if (sym == XKB_KEY_space) return "Space";
    if (sym == XKB_KEY_ISO_Level3_Shift) return "AltGr";
    const std::uint32_t character = xkb_keysym_to_utf32(sym);
    char buffer[64] = {};
    if (character > 0x20 && character != 0x7F &&
        xkb_keysym_to_utf8(xkb_keysym_to_upper(sym), buffer, sizeof buffer) > 1)
        return buffer;
    if (xkb_keysym_get_name(sym, buffer, sizeof buffer) > 0) return buffer;
    return {};
}

}  // namespace sayvo
