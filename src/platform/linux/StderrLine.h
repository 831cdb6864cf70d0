#pragma once

#include <iostream>
#include <string>
#include <string_view>

namespace sayvo {

// A session's log gathers many programs' standard error: each of Sayvo's
// lines says whose it is.
inline std::string stderrLine(std::string_view text) {
    return "sayvo: " + std::string(text) + "\n";
}

// Thread: any.
inline void printToStderr(std::string_view text) {
    std::cerr << stderrLine(text) << std::flush;
}

}  // namespace sayvo
