// Received text messages come from the network: any bytes must parse without
// a crash, and into a consistent event.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cloud/CloudProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const sayvo::CloudEvent event = sayvo::parseCloudEvent(text);
    using Kind = sayvo::CloudEvent::Kind;
    // Only a result can end a sentence; only results and failures carry text.
    if (event.isFinal && event.kind != Kind::result) std::abort();
    if (!event.text.empty() && event.kind != Kind::result && event.kind != Kind::failed) {
        std::abort();
    }
    return 0;
}
