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

// Recognised pieces of text joined as a writer would: one space between two
// pieces whose facing characters come from scripts that separate words with
// spaces (Latin, Cyrillic, Greek, Korean...), nothing where either side is
// Chinese, Japanese or Thai, or already has the space.
std::string joinRecognizedText(const std::string& before, const std::string& after);

}  // namespace sayvo
