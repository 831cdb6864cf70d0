#pragma once

#include <string>

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
    virtual std::string translate(const Text& text) const = 0;
};

}  // namespace sayvo
