#include "core/UiLanguage.h"

#include <algorithm>
#include <string_view>

namespace sayvo {

namespace {

bool chinese(std::string_view locale) {
    return locale.starts_with("zh");
}

}  // namespace

UiLanguage uiLanguage(const std::function<const char*(const char*)>& variable) {
    // LANGUAGE lists languages by preference ("fr:zh_CN:en"): the first one
    // Sayvo speaks is taken.
    if (const char* list = variable("LANGUAGE")) {
        std::string_view rest(list);
        while (!rest.empty()) {
            const std::string_view entry = rest.substr(0, rest.find(':'));
            rest.remove_prefix(std::min(rest.size(), entry.size() + 1));
            if (chinese(entry)) return UiLanguage::chinese;
            if (entry.starts_with("en") || entry == "C" || entry == "POSIX")
                return UiLanguage::english;
        }
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = variable(name);
        if (value && *value) return chinese(value) ? UiLanguage::chinese : UiLanguage::english;
    }
    return UiLanguage::english;
}

}  // namespace sayvo
