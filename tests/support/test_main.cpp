#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

int main(int argc, char** argv) {
    // Both programs ignore SIGPIPE; tests see the same process state.
    std::signal(SIGPIPE, SIG_IGN);
#ifdef SV_SOURCE_DIR
    setenv("SV_SOURCE_DIR", SV_SOURCE_DIR, 0);
    setenv("SV_BINARY_DIR", SV_BINARY_DIR, 0);
#endif
#ifdef SV_QT_OFFSCREEN
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
