// The arithmetic of calibration, on hand-made side records.
#include <gtest/gtest.h>

#include "acquisition/calibration.h"

namespace {

TEST(CalibrationSteps, FeatureCountOverTheDevicesFeatures) {
  auto states = pvk::acquisition::featureStates(true, true, false, false);
  ASSERT_EQ(states.size(), 4u);
  EXPECT_TRUE(!states[0].micr && !states[0].ir);
  EXPECT_TRUE(states[1].micr && !states[1].ir);
  EXPECT_TRUE(!states[2].micr && states[2].ir);
  EXPECT_TRUE(states[3].micr && states[3].ir);
  EXPECT_EQ(pvk::acquisition::featureStates(true, true, false, true).size(), 8u);
  EXPECT_EQ(pvk::acquisition::featureStates(false, false, false, false).size(), 1u);
}

}  // namespace
