#include <gtest/gtest.h>
#include "kestrane/common.h"
TEST(Placeholder, Builds) { DeviceRecord d; EXPECT_EQ(d.matrixCell, -1); }
