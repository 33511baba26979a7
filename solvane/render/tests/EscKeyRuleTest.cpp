#include <gtest/gtest.h>

#include "platform/tick.h"
#include "render/EscKeyRule.h"

namespace {

using Key = CEscKeyRule::Key;
using Action = CEscKeyRule::Action;

struct Press {
    uint32_t afterMs;  // since the press before
    Key key;
};

struct EscCase {
    const char* name;
    std::vector<Press> presses;
    std::vector<Action> expected;
};

void PrintTo(const EscCase& c, std::ostream* os) { *os << c.name; }

class EscKeyRuleTest : public ::testing::TestWithParam<EscCase> {};

TEST_P(EscKeyRuleTest, MinimisesOnTheFourthQuickEsc) {
    platform::ManualTickSource ticks(0xFFFFF000u);  // the tick wraps inside the sequences
    CEscKeyRule rule(&ticks);
    const EscCase& c = GetParam();
    ASSERT_EQ(c.presses.size(), c.expected.size());
    for (size_t i = 0; i < c.presses.size(); ++i) {
        ticks.Advance(c.presses[i].afterMs);
        EXPECT_EQ(rule.OnKeyDown(c.presses[i].key), c.expected[i]) << "press " << i;
    }
}

constexpr Key E = Key::Escape;
constexpr Action N = Action::None;
constexpr Action M = Action::Minimise;

INSTANTIATE_TEST_SUITE_P(
    Sequences, EscKeyRuleTest,
    ::testing::Values(
        EscCase{"three_quick_do_nothing", {{0, E}, {100, E}, {100, E}}, {N, N, N}},
        EscCase{"fourth_quick_minimises", {{0, E}, {100, E}, {100, E}, {100, E}}, {N, N, N, M}},
        EscCase{"each_just_under_two_seconds", {{0, E}, {1999, E}, {1999, E}, {1999, E}}, {N, N, N, M}},
        EscCase{"a_gap_of_two_seconds_restarts", {{0, E}, {100, E}, {100, E}, {2000, E}, {100, E}}, {N, N, N, N, N}},
        EscCase{"enter_between_resets",
                {{0, E}, {100, E}, {100, Key::Enter}, {100, E}, {100, E}, {100, E}},
                {N, N, Action::Handled, N, N, N}},
        EscCase{"other_key_resets", {{0, E}, {100, E}, {100, E}, {100, Key::Other}, {100, E}}, {N, N, N, N, N}},
        // After minimising the count starts at one, so three more minimise again.
        EscCase{"count_restarts_at_one",
                {{0, E}, {10, E}, {10, E}, {10, E}, {10, E}, {10, E}, {10, E}},
                {N, N, N, M, N, N, M}},
        // The first press of the process sets the reference time.
        EscCase{"late_first_press", {{50000, E}, {10, E}, {10, E}, {10, E}}, {N, N, N, M}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
