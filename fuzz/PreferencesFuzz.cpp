// The preferences file is the user's to edit, and to break: any bytes must
// load without harm, as values of the types asked for or as nothing.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/SourceTexts.h"
#include "platform/linux/services/JsonFilePreferences.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto values = sayvo::parsePreferences(text);
    if (!values) return 0;
    if (!values->is_object()) std::abort();

    char path[] = "/tmp/sayvo-fuzz-preferences-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
    ::close(fd);
    const sayvo::SourceTexts texts;
    const sayvo::JsonFilePreferences preferences(path, texts);
    ::unlink(path);
    for (const auto& [key, value] : values->items()) {
        if (preferences.boolForKey(key).has_value() != value.is_boolean()) std::abort();
        if (preferences.stringForKey(key).has_value() != value.is_string()) std::abort();
        const auto integer = preferences.integerForKey(key);
        if (integer && !value.is_number_integer()) std::abort();
    }
    return 0;
}
