// The call guard across handles and device states, with the reopen and the correction reset
// replaced through the device layer's hooks.
#include "../core/core_test_util.h"
#include "device/device.h"

using pvk::test::TraceTest;

namespace {

int reopenCalls;
bool reopenResult;
int resetCalls;

// The guard without start-up (a null name), over every device state.
class Guard : public TraceTest {
 protected:
  void SetUp() override {
    TraceTest::SetUp();
    openTrace();
    saved_ = pvk::device::deviceHooks;
    pvk::device::deviceHooks.reopen = [] { ++reopenCalls; return reopenResult; };
    pvk::device::deviceHooks.resetCorrection = [] { ++resetCalls; };
    reopenCalls = resetCalls = 0;
    reopenResult = false;
    MyDev.handleValue = 0x1234;
    MyDev.state = 1;
    MyDev.lastResult = 0;
  }
  void TearDown() override {
    pvk::device::deviceHooks = saved_;
    std::memset(&MyDev, 0, sizeof MyDev);
    TraceTest::TearDown();
  }
  bool call(uintptr_t value) {
    void* h = reinterpret_cast<void*>(value);
    return DllFunctInit(nullptr, h);
  }
  pvk::device::DeviceHooks saved_{};
};

TEST_F(Guard, NoDeviceHandleIsAlwaysAccepted) {
  MyDev.state = 0;
  void* h = pvk::core::noDeviceHandle();
  EXPECT_TRUE(DllFunctInit(nullptr, h));
  EXPECT_EQ(MyDev.lastResult, 0);
}

TEST_F(Guard, NullHandleIsRefusedAndInvalidatesTheStoredOne) {
  EXPECT_TRUE(call(0x1234));
  EXPECT_FALSE(call(0));
  EXPECT_EQ(MyDev.lastResult, -1);
  EXPECT_FALSE(call(0x1234)) << "the old handle no longer passes";
  EXPECT_EQ(resetCalls, 0) << "handle refusals leave the correction data alone";
  EXPECT_EQ(trace(), "null handle (AA)\r\ninvalid handle (AA)\r\n");
}

TEST_F(Guard, WrongAndInvalidHandlesAreRefused) {
  EXPECT_FALSE(call(0x4321));
  EXPECT_FALSE(call(0xFFFFFFFF));
  EXPECT_EQ(MyDev.lastResult, -1);
  EXPECT_EQ(MyDev.handleValue, 0x1234u);
}

struct StateCase {
  int8_t state;
  bool reopenWorks;
  bool accepted;
  int8_t stateAfter;
  int reopens;
};

TEST_F(Guard, DeviceStates) {
  const StateCase cases[] = {
      {1, false, true, 1, 0},    {5, false, true, 5, 0},    {0, false, false, 0, 0},
      {-1, true, true, -1, 1},   {-1, false, false, -2, 1}, {-2, true, false, -1, 0},
      {-5, true, false, -2, 0},
  };
  for (const StateCase& c : cases) {
    MyDev.state = c.state;
    reopenResult = c.reopenWorks;
    reopenCalls = resetCalls = 0;
    MyDev.lastResult = 0;
    EXPECT_EQ(call(0x1234), c.accepted) << int{c.state};
    EXPECT_EQ(MyDev.state, c.stateAfter) << int{c.state};
    EXPECT_EQ(reopenCalls, c.reopens) << int{c.state};
    EXPECT_EQ(resetCalls, c.accepted ? 0 : 1) << int{c.state};
    EXPECT_EQ(MyDev.lastResult, c.accepted ? 0 : -1) << int{c.state};
  }
  EXPECT_NE(trace().find("device in unexpected state  -5"), std::string::npos) << trace();
}

TEST_F(Guard, AnUnusableDeviceIsRefusedOnceThenReopened) {
  MyDev.state = -2;
  reopenResult = true;
  EXPECT_FALSE(call(0x1234));
  EXPECT_TRUE(call(0x1234));
  EXPECT_EQ(reopenCalls, 1);
}

}  // namespace
