#include "core/Utf8.h"

#include <cstdint>

namespace sayvo {

namespace {

// Decodes the character starting at `at`; a malformed one reads as 0xFFFD.
char32_t decodeAt(const std::string& text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    int length = lead < 0x80         ? 1
                 : lead >> 5 == 0x6  ? 2
                 : lead >> 4 == 0xE  ? 3
                 : lead >> 3 == 0x1E ? 4
                                     : 0;
    if (length == 0 || at + length > text.size()) return 0xFFFD;
    if (length == 1) return lead;
    char32_t code = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) code = (code << 6) | (text[at + i] & 0x3F);
    return code;
}

char32_t lastCharacter(const std::string& text) {
    std::size_t at = text.size();
    while (at > 0 && !startsUtf8Character(text[at - 1])) --at;
    return at == 0 ? 0xFFFD : decodeAt(text, at - 1);
}

bool isSpace(char32_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0x3000;
}

// Scripts written without spaces between words, with their punctuation.
bool writtenWithoutSpaces(char32_t c) {
    return (c >= 0x0E00 && c <= 0x0E7F) ||  // Thai
           (c >= 0x2E80 && c <= 0x31FF) ||  // CJK radicals, punctuation, kana
           (c >= 0x3400 && c <= 0x9FFF) ||  // CJK ideographs
           (c >= 0xF900 && c <= 0xFAFF) ||  // CJK compatibility ideographs
           (c >= 0xFF00 && c <= 0xFFEF) ||  // full-width forms
           (c >= 0x20000 && c <= 0x3FFFF);  // CJK extensions
}

bool wantsSpace(char32_t c) {
    return !isSpace(c) && !writtenWithoutSpaces(c);
}

}  // namespace

bool endsInSpacedScript(const std::string& text) {
    return !text.empty() && wantsSpace(lastCharacter(text));
}

std::string joinRecognizedText(const std::string& before, const std::string& after) {
    if (before.empty() || after.empty()) return before + after;
    const bool space = endsInSpacedScript(before) && wantsSpace(decodeAt(after, 0));
    return space ? before + " " + after : before + after;
}

}  // namespace sayvo
