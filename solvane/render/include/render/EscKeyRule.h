// The output window's Esc rule: the fourth Esc in a row, each less than
// 2000 ms after the one before, minimises the output; Enter or any other key
// starts the count again.
#pragma once

#include <cstdint>

namespace platform {
class TickSource;
}

class CEscKeyRule {
public:
    enum class Key { Escape, Enter, Other };
    enum class Action {
        None,       // not handled
        Handled,    // Enter: count reset
        Minimise,   // minimise the output and release the pointer
    };

    // A null source means the process tick.
    explicit CEscKeyRule(platform::TickSource* ticks = nullptr) : m_ticks(ticks) {}

    Action OnKeyDown(Key key);
    int32_t Count() const { return m_count; }

private:
    uint32_t Now();

    platform::TickSource* m_ticks;
    bool m_started = false;
    int32_t m_count = 0;
    uint32_t m_lastEsc = 0;
};
