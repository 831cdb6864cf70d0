#pragma once

#include <QUuid>
#include <string>

#include "platform/UUIDGenerator.h"

namespace sayvo {

// Random version 4 UUIDs, without braces. Thread: any.
class QtUUIDGenerator final : public UUIDGenerator {
public:
    std::string uuidString() override {
        return QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    }
};

}  // namespace sayvo
