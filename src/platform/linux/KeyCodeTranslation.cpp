#include "platform/linux/KeyCodeTranslation.h"

#include <X11/keysym.h>
#include <linux/input-event-codes.h>

#include <algorithm>
#include <iterator>
#include <unordered_map>

#include "platform/Keyboard.h"

namespace sayvo {

namespace {

const std::unordered_map<unsigned, std::uint16_t>& evdevToPortable() {
    static const std::unordered_map<unsigned, std::uint16_t> table = {
        {KEY_A, 0},          {KEY_S, 1},           {KEY_D, 2},           {KEY_F, 3},
        {KEY_H, 4},          {KEY_G, 5},           {KEY_Z, 6},           {KEY_X, 7},
        {KEY_C, 8},          {KEY_V, 9},           {KEY_102ND, 10},      {KEY_B, 11},
        {KEY_Q, 12},         {KEY_W, 13},          {KEY_E, 14},          {KEY_R, 15},
        {KEY_Y, 16},         {KEY_T, 17},          {KEY_1, 18},          {KEY_2, 19},
        {KEY_3, 20},         {KEY_4, 21},          {KEY_6, 22},          {KEY_5, 23},
        {KEY_EQUAL, 24},     {KEY_9, 25},          {KEY_7, 26},          {KEY_MINUS, 27},
        {KEY_8, 28},         {KEY_0, 29},          {KEY_RIGHTBRACE, 30}, {KEY_O, 31},
        {KEY_U, 32},         {KEY_LEFTBRACE, 33},  {KEY_I, 34},          {KEY_P, 35},
        {KEY_ENTER, 36},     {KEY_L, 37},          {KEY_J, 38},          {KEY_APOSTROPHE, 39},
        {KEY_K, 40},         {KEY_SEMICOLON, 41},  {KEY_BACKSLASH, 42},  {KEY_COMMA, 43},
        {KEY_SLASH, 44},     {KEY_N, 45},          {KEY_M, 46},          {KEY_DOT, 47},
        {KEY_TAB, 48},       {KEY_SPACE, 49},      {KEY_GRAVE, 50},      {KEY_BACKSPACE, 51},
        {KEY_ESC, 53},       {KEY_RIGHTMETA, 54},  {KEY_LEFTMETA, 55},   {KEY_LEFTSHIFT, 56},
        {KEY_CAPSLOCK, 57},  {KEY_LEFTALT, 58},    {KEY_LEFTCTRL, 59},   {KEY_RIGHTSHIFT, 60},
        {KEY_RIGHTALT, 61},  {KEY_RIGHTCTRL, 62},  {KEY_FN, 63},         {KEY_F17, 64},
        {KEY_KPDOT, 65},     {KEY_KPASTERISK, 67}, {KEY_KPPLUS, 69},     {KEY_NUMLOCK, 71},
        {KEY_VOLUMEUP, 72},  {KEY_VOLUMEDOWN, 73}, {KEY_MUTE, 74},       {KEY_KPSLASH, 75},
        {KEY_KPENTER, 76},   {KEY_KPMINUS, 78},    {KEY_F18, 79},        {KEY_F19, 80},
        {KEY_KPEQUAL, 81},   {KEY_KP0, 82},        {KEY_KP1, 83},        {KEY_KP2, 84},
        {KEY_KP3, 85},       {KEY_KP4, 86},        {KEY_KP5, 87},        {KEY_KP6, 88},
        {KEY_KP7, 89},       {KEY_F20, 90},        {KEY_KP8, 91},        {KEY_KP9, 92},
        {KEY_F5, 96},        {KEY_F6, 97},         {KEY_F7, 98},         {KEY_F3, 99},
        {KEY_F8, 100},       {KEY_F9, 101},        {KEY_F11, 103},       {KEY_F13, 105},
        {KEY_F16, 106},      {KEY_F14, 107},       {KEY_F10, 109},       {KEY_F12, 111},
        {KEY_F15, 113},      {KEY_INSERT, 114},    {KEY_HOME, 115},      {KEY_PAGEUP, 116},
        {KEY_DELETE, 117},   {KEY_F4, 118},        {KEY_END, 119},       {KEY_F2, 120},
        {KEY_PAGEDOWN, 121}, {KEY_F1, 122},        {KEY_LEFT, 123},      {KEY_RIGHT, 124},
        {KEY_DOWN, 125},     {KEY_UP, 126},
    };
    return table;
}

}  // namespace

std::uint16_t portableKeyCodeForEvdev(unsigned evdevCode) {
    const auto& table = evdevToPortable();
    const auto it = table.find(evdevCode);
    if (it != table.end()) return it->second;
    return static_cast<std::uint16_t>(1000 + (evdevCode & 0x3FFF));
}

std::uint16_t portableKeyCodeForX11(unsigned xKeycode) {
    return portableKeyCodeForEvdev(xKeycode >= kX11KeycodeOffset ? xKeycode - kX11KeycodeOffset
                                                                 : 0x3FFF);
}

std::optional<unsigned> x11KeycodeForPortable(std::uint16_t portableKeyCode) {
    if (portableKeyCode >= 1000) return portableKeyCode - 1000u + kX11KeycodeOffset;
    for (const auto& [evdev, portable] : evdevToPortable()) {
        if (portable == portableKeyCode) return evdev + kX11KeycodeOffset;
    }
    return std::nullopt;
}

std::optional<int> evdevCodeForPortable(std::uint16_t portableKeyCode) {
    const auto keycode = x11KeycodeForPortable(portableKeyCode);
    if (!keycode) return std::nullopt;
    return static_cast<int>(*keycode - kX11KeycodeOffset);
}

// The letter keys' evdev codes in alphabetical order, as their keysyms are.
std::optional<unsigned long> letterKeysymForPortable(std::uint16_t portableKeyCode) {
    static constexpr unsigned letters[] = {
        KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I, KEY_J, KEY_K, KEY_L, KEY_M,
        KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R, KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z,
    };
    // Our own codes (1000 + evdev code) are for keys off the table: none is a letter.
    const auto evdev = evdevCodeForPortable(portableKeyCode);
    if (!evdev || portableKeyCode >= 1000) return std::nullopt;
    const auto* letter = std::find(std::begin(letters), std::end(letters), unsigned(*evdev));
    if (letter == std::end(letters)) return std::nullopt;
    return XK_a + static_cast<unsigned long>(letter - std::begin(letters));
}

}  // namespace sayvo
