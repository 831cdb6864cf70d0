#pragma once

#include <cstdint>
#include <optional>
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

    struct PasteKeys {
        std::uint16_t keyCode;
        std::uint64_t flags;  // and nothing else
        bool operator==(const PasteKeys&) const = default;
    };
    // Where there is a primary selection, terminals take Ctrl+V for the
    // program inside them (a bare ^V) and GTK ignores Ctrl+Shift+V, while
    // Shift+Insert pastes in both: terminals from the primary selection,
    // everything else from the clipboard. Both hold the text.
    static constexpr PasteKeys commandV{KeyCode::v, ModifierFlag::command};
    static constexpr PasteKeys shiftInsert{KeyCode::insert, ModifierFlag::shift};
    static constexpr double pasteDelay = 0.1;
    static constexpr Text pasteboardRefused =
        SAYVO_TEXT("TypeSimulator", "无法写入剪贴板，文字仍在指示器中");

    // Replaces the pasteboard's contents with the text; false when it refused.
    static bool writePasteboard(const Platform& platform, const std::string& text);
    // The text as it goes into another application: a space after text in a
    // script that spaces its words, so that the next dictation does not run
    // into it. Sayvo cannot see the text around the caret; nothing is put
    // before the text, so an empty field gets no stray space.
    static std::string textToPaste(const std::string& transcript);
    // Puts the text where the paste keys read it and says which keys those
    // are. Nothing when a write was refused: the keys would paste whatever
    // was there before.
    static std::optional<PasteKeys> preparePaste(const Platform& platform,
                                                 const std::string& transcript);
    // Prepares the paste and sends the keys 0.1 s later. The pasteboard keeps
    // the text afterwards.
    static bool typeText(const Platform& platform, const std::string& transcript);
    // Sends the paste keys now.
    static void pasteText(const Platform& platform, PasteKeys keys);
};

}  // namespace sayvo
