#pragma once

#include <cstdint>
#include <optional>

namespace sayvo {

// X keycodes are evdev codes + 8 under Xorg and Xvfb (evdev/libinput).
constexpr unsigned kX11KeycodeOffset = 8;

// The portable key code of an evdev key: the US-layout hardware code for every
// key that has one, otherwise a stable code of our own (1000 + evdev code).
std::uint16_t portableKeyCodeForEvdev(unsigned evdevCode);
std::uint16_t portableKeyCodeForX11(unsigned xKeycode);

// The X keycode of a portable key code: its US-layout position. Nothing for
// codes that name no key.
std::optional<unsigned> x11KeycodeForPortable(std::uint16_t portableKeyCode);

// The evdev code of a portable key code, for input that takes evdev codes
// (a Wayland compositor's); nothing for codes that name no key.
std::optional<int> evdevCodeForPortable(std::uint16_t portableKeyCode);

// The keysym of a letter key's letter (lower case); nothing for other keys.
// A letter is found by its keysym on the current layout, not by its US position.
std::optional<unsigned long> letterKeysymForPortable(std::uint16_t portableKeyCode);

}  // namespace sayvo
