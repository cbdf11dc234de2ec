#include <gtest/gtest.h>
#include "PlavikMS.h"
TEST(Smoke, Dravin) { EXPECT_EQ(PVKDravin(0), -11); }
