#pragma once

#include <functional>

namespace sayvo {

enum class UiLanguage { chinese, english };

// The language of Sayvo's texts, from the environment as the desktop sets it:
// LANGUAGE's first entry Sayvo speaks, else the first of LC_ALL, LC_MESSAGES
// and LANG that is set. Chinese for "zh…", English for everything else, "C"
// and "POSIX" included. `variable` reads one environment variable, or
// nothing for an unset one.
UiLanguage uiLanguage(const std::function<const char*(const char*)>& variable);

}  // namespace sayvo
