#include "render/EscKeyRule.h"

#include "platform/tick.h"

uint32_t CEscKeyRule::Now() { return m_ticks ? m_ticks->NowMs() : platform::GetTickCount(); }

CEscKeyRule::Action CEscKeyRule::OnKeyDown(Key key) {
    const uint32_t now = Now();
    if (!m_started) {
        m_started = true;
        m_lastEsc = now;
    }
    switch (key) {
    case Key::Enter:
        m_count = 0;
        return Action::Handled;
    case Key::Escape:
        m_count = platform::TickDiff(now, m_lastEsc) < 2000 ? m_count + 1 : 1;
        m_lastEsc = now;
        if (m_count > 3) {
            m_count = 1;
            return Action::Minimise;
        }
        return Action::None;
    case Key::Other:
        m_count = 0;
        return Action::None;
    }
    return Action::None;
}
