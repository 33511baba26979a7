#include <gtest/gtest.h>

#include <csignal>

int main(int argc, char** argv) {
    // Both programs ignore SIGPIPE; tests see the same process state.
    std::signal(SIGPIPE, SIG_IGN);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
