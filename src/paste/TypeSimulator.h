#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace sayvo {

// Inserts text into the focused application: the text goes on the pasteboard
// and the paste keystroke follows, as if the user had pressed it. Holds no
// state; nothing is ever made of it.
// Thread: main thread only.
class TypeSimulator {
public:
    TypeSimulator() = delete;

    static constexpr std::uint16_t pasteKeyCode = KeyCode::v;
    static constexpr std::uint64_t pasteFlags = ModifierFlag::command;  // and nothing else
    static constexpr double pasteDelay = 0.1;
    static inline const std::string pasteboardRefusedMessage = "无法写入剪贴板，文字仍在指示器中";

    // Replaces the pasteboard's contents with the text; false when it refused.
    static bool writePasteboard(const Platform& platform, const std::string& text);
    // Puts the text on the pasteboard and pastes it 0.1 s later. The
    // pasteboard keeps the text afterwards. A refused write pastes nothing,
    // since the paste would insert whatever the pasteboard held before.
    static bool typeText(const Platform& platform, const std::string& text);
    // Pastes whatever the pasteboard holds now.
    static void pasteText(const Platform& platform);
};

}  // namespace sayvo
