#pragma once

#include <initializer_list>
#include <string>
#include <vector>

namespace sayvo {

// A text Sayvo shows, as written in the source (Chinese), with the context a
// translator sees it in. Marked with SAYVO_TEXT so that the catalogue's
// template is built from the sources.
struct Text {
    const char* context;
    const char* source;
};
#define SAYVO_TEXT(context, source) (::sayvo::Text{context, source})

// The user's language for what Sayvo shows.
// Thread: any; it never changes while Sayvo runs.
class Translations {
public:
    virtual ~Translations() = default;
    // The text in the user's language; the source where no translation is known.
    virtual std::string text(const Text& marked) const = 0;
};

// A translated template with its %1 … %9 filled in, as the windows' arg()
// does: a translator sees the whole sentence and may move the pieces.
inline std::string withArguments(const std::string& pattern,
                                 std::initializer_list<std::string> arguments) {
    const std::vector<std::string> values(arguments);
    std::string text;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        const std::size_t index = static_cast<std::size_t>(next - '1');
        if (pattern[i] == '%' && next >= '1' && next <= '9' && index < values.size()) {
            text += values[index];
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}

}  // namespace sayvo
