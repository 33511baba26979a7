// [ScreenPowerOption] of a running server: bit 1 asks logind to hold off
// system sleep, which a machine without logind cannot; that is said once.
#include "support/ProgramHarness.h"

namespace {

using namespace e2e;

class ScreenPowerTest : public SolvaneProgramFixture {};

TEST_F(ScreenPowerTest, OptionIsReadAndAMissingLogindIsLoggedOnce) {
    struct Case {
        int option;
        size_t noLogindLines;
    } cases[] = {{2, 1}, {3, 1}, {1, 0}, {0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        fs::remove_all(base / "log");
        fs::create_directories(base);
        testsupport::WriteFile(base / "mediacfg.ini", "[ScreenPowerOption]\nOption=" + std::to_string(c.option) + "\n");
        ASSERT_TRUE(StartServer({"DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/system_bus_socket"}));
        EXPECT_TRUE(testsupport::WaitUntil(
            [&] { return Log().find("screen power option=" + std::to_string(c.option)) != std::string::npos; }, 10s));
        EXPECT_EQ(server.Stop(), 0);
        const std::string log = Log();
        size_t count = 0;
        for (size_t at = log.find("system sleep not held off (no logind)"); at != std::string::npos;
             at = log.find("system sleep not held off (no logind)", at + 1))
            ++count;
        EXPECT_EQ(count, c.noLogindLines);
    }
}

}  // namespace
