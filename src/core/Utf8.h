#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sayvo {

// Whether a byte begins a UTF-8 character (continuation bytes belong to the
// character before them). Counting these counts characters, not bytes.
constexpr bool startsUtf8Character(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
}

inline std::size_t utf8CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (char c : text) count += startsUtf8Character(c);
    return count;
}

// The text without the spaces, tabs and line breaks around it.
inline std::string_view trimmedWhitespace(std::string_view text) {
    constexpr std::string_view blanks = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Whether the text holds an ASCII control character (a line break, a tab...).
constexpr bool hasControlCharacter(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    }
    return false;
}

// Recognised pieces of text joined as a writer would: one space between two
// pieces whose facing characters come from scripts that separate words with
// spaces (Latin, Cyrillic, Greek, Korean...), nothing where either side is
// Chinese, Japanese or Thai, or already has the space.
std::string joinRecognizedText(const std::string& before, const std::string& after);

// Whether the text ends in a character after which a following word would
// want a space (and not in one already).
bool endsInSpacedScript(const std::string& text);

}  // namespace sayvo
