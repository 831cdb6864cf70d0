#include "hotkey/ShortcutRepeatReader.h"

#include <utility>

namespace sayvo {

ShortcutRepeatReader::ShortcutRepeatReader(Scheduler& scheduler, Repeat repeat, Events events)
    : scheduler_(scheduler), repeat_(repeat), events_(std::move(events)) {}

void ShortcutRepeatReader::run() {
    switch (state_) {
        case State::idle:
            state_ = State::pressed;
            expect(repeat_.delay + firstRepeatMargin);
            if (events_.pressed) events_.pressed();
            break;
        case State::pressed:
        case State::held:
            state_ = State::held;
            expect(repeat_.interval + repeatMargin);
            break;
    }
}

void ShortcutRepeatReader::expect(double seconds) {
    const std::uint64_t generation = ++generation_;
    std::weak_ptr<ShortcutRepeatReader*> weak = self_;
    scheduler_.postAfter(seconds, [weak, generation] {
        const auto self = weak.lock();
        if (!self) return;
        ShortcutRepeatReader& reader = **self;
        if (generation != reader.generation_) return;
        const State ended = std::exchange(reader.state_, State::idle);
        const auto& event =
            ended == State::pressed ? reader.events_.tapped : reader.events_.released;
        if (event) event();
    });
}

}  // namespace sayvo
