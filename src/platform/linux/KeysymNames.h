#pragma once

#include <string>

#include "platform/Keyboard.h"

namespace sayvo {

// What a key does and what it is called, judged from the keysym the current
// layout gives it at the first level, as X11 and Wayland keymaps alike name
// keys. Thread: any.
//
// A key whose keysym enters a character, or edits or moves through text,
// types; a level or group key (AltGr, Mode_switch) selects a level; so does
// Compose, which typing needs as it is. Everything else stands alone.
KeyRole keyRoleOfKeysym(unsigned long keysym);

// The character in upper case ("Ö", "1"), "Space", "AltGr", or else the
// keysym's own name ("F5", "Pause", "XF86AudioPlay"); empty for no keysym.
std::string keyNameOfKeysym(unsigned long keysym);

}  // namespace sayvo
