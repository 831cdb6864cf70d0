#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Scheduler.h"

namespace sayvo {

// Reads a hold from a desktop shortcut that runs a command at the press and
// again at every autorepeat, never at the release (GNOME's custom keyboard
// shortcuts). A run after a quiet spell is a press; the repeats that follow
// mean the key is held, and their end that it was let go, one repeat
// interval and a margin after the last. A press that no repeat follows was a
// tap. So the release is heard at most that late.
// Thread: main thread only.
class ShortcutRepeatReader {
public:
    // The desktop's keyboard repeat, in seconds; GNOME's own by default.
    struct Repeat {
        double delay = 0.5;
        double interval = 0.03;
    };
    struct Events {
        std::function<void()> pressed;
        std::function<void()> released;
        std::function<void()> tapped;
    };
    // Late repeats must not read as a release: each run is a process the
    // desktop starts, and on a busy machine gaps of 110 ms were seen.
    static constexpr double firstRepeatMargin = 0.15;
    static constexpr double repeatMargin = 0.15;

    ShortcutRepeatReader(Scheduler& scheduler, Repeat repeat, Events events);

    // The shortcut's command ran once.
    void run();

private:
    enum class State { idle, pressed, held };

    void expect(double seconds);

    Scheduler& scheduler_;
    Repeat repeat_;
    Events events_;
    State state_ = State::idle;
    std::uint64_t generation_ = 0;  // a wait outrun by a later run is void
    std::shared_ptr<ShortcutRepeatReader*> self_ = std::make_shared<ShortcutRepeatReader*>(this);
};

}  // namespace sayvo
