#pragma once

#include <QUuid>
#include <string>

#include "platform/WebSocket.h"

namespace sayvo {

// Random UUIDs in upper case, the canonical text form the logic expects.
// Thread: any.
class QtUUIDGenerator final : public UUIDGenerator {
public:
    std::string uuidString() override {
        return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
    }
};

}  // namespace sayvo
