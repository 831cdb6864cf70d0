#pragma once

#include <string>

namespace sayvo {

// Random (version 4) UUIDs in canonical text form. Thread: any.
class UUIDGenerator {
public:
    virtual ~UUIDGenerator() = default;
    virtual std::string uuidString() = 0;
};

}  // namespace sayvo
