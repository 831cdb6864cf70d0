#pragma once

#include "platform/DecisionLog.h"
#include "platform/linux/StderrLine.h"

namespace sayvo {

// Standard error, only when asked for (--verbose). Thread: main thread.
class StderrDecisionLog final : public DecisionLog {
public:
    explicit StderrDecisionLog(bool verbose) : verbose_(verbose) {}
    void note(const std::string& line) override {
        if (verbose_) printToStderr(line);
    }

private:
    const bool verbose_;
};

}  // namespace sayvo
