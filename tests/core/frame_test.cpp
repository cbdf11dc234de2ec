// The INI path of the library file and the call guard across handles and device states.
#include "core/frame.h"
#include "core_test_util.h"

using pvk::test::TraceTest;

namespace {

std::string iniOf(const char* lib, size_t size = 264) {
  char out[600];
  std::strcpy(out, "unchanged");
  return pvk::core::iniPathFromLibraryPath(lib, out, size) ? out : std::string("refused");
}

TEST(IniPath, SoBecomesIniInTheBaseNameOnly) {
  EXPECT_EQ(iniOf("/usr/lib/libPlavikMS.so"), "/usr/lib/libPlavikMS.ini");
  EXPECT_EQ(iniOf("/usr/lib/libPlavikMS.so.1"), "/usr/lib/libPlavikMS.ini");
  EXPECT_EQ(iniOf("/opt/x.solutions/libPlavikMS.so"), "/opt/x.solutions/libPlavikMS.ini");
  EXPECT_EQ(iniOf("libPlavikMS.so"), "libPlavikMS.ini");
  EXPECT_EQ(iniOf("/opt/x.solutions/plavik"), "refused");
  EXPECT_EQ(iniOf(nullptr), "refused");
  const std::string deep = "/" + std::string(300, 'd') + "/libPlavikMS.so";
  EXPECT_EQ(iniOf(deep.c_str()), "refused");
  EXPECT_EQ(iniOf("/a/libPlavikMS.so", 18), "refused") << "no room for the terminator";
  EXPECT_EQ(iniOf("/a/libPlavikMS.so", 19), "/a/libPlavikMS.ini");
}

TEST(Names, DllNameAndSelectorReset) {
  char full[64], base[64];
  GetDllName(full, base);
  EXPECT_STREQ(full, "libPlavikMS.so");
  EXPECT_STREQ(base, "libPlavikMS");
  GetDllName(nullptr, nullptr);
  pidDLL = 10;
  std::strcpy(SerialFilter, "123");
  EXPECT_EQ(pidDLLClose(), 0);
  EXPECT_EQ(pidDLL, 0);
  EXPECT_STREQ(SerialFilter, "");
}

int reopenCalls;
bool reopenResult;
int resetCalls;

// The guard without start-up (a null name), over every device state.
class Guard : public TraceTest {
 protected:
  void SetUp() override {
    TraceTest::SetUp();
    openTrace();
    saved_ = pvk::core::guardHooks;
    pvk::core::guardHooks = {[] { ++reopenCalls; return reopenResult; }, [] { ++resetCalls; }};
    reopenCalls = resetCalls = 0;
    reopenResult = false;
    MyDev.handleValue = 0x1234;
    MyDev.state = 1;
    MyDev.lastResult = 0;
  }
  void TearDown() override {
    pvk::core::guardHooks = saved_;
    std::memset(&MyDev, 0, sizeof MyDev);
    TraceTest::TearDown();
  }
  bool call(uintptr_t value) {
    void* h = reinterpret_cast<void*>(value);
    return DllFunctInit(nullptr, h);
  }
  pvk::core::GuardHooks saved_{};
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
