// Counters and their file, the font directory default, the stop request, brightness and
// contrast ranges, and the photocell poll steps.
#include "control_fixture.h"

#include "PlavikMS.h"
#include "api/exported.h"
#include "core/frame.h"
#include "core/ini.h"

namespace {

using pvk::test::ControlTest;

class CountersTest : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    file_ = ::testing::TempDir() + "pid_0009_counters_" + std::to_string(getpid()) + ".reg";
    std::snprintf(MyLog.deviceFile, sizeof MyLog.deviceFile, "%s", file_.c_str());
    std::remove(file_.c_str());
  }
  // The test's own name for the file: a test may clear the record's.
  void TearDown() override {
    std::remove(file_.c_str());
    ControlTest::TearDown();
  }
  static std::string key(const char* name) {
    char buf[64];
    GetPrivateProfileString("General", name, "-", buf, sizeof buf, MyLog.deviceFile);
    return buf;
  }
  std::string file_;
};

TEST_F(CountersTest, PagesAndStampsGoToTheFileAndStopAtTheLimit) {
  MyDev.pagesTotal = 2147483646;
  MyDev.pagesCurrent = 5;
  AggiornaNumPag();
  AggiornaNumPag();
  EXPECT_EQ(MyDev.pagesTotal, 2147483647u);
  EXPECT_EQ(MyDev.pagesCurrent, 7u);
  EXPECT_EQ(key("nPages"), "2147483647");
  EXPECT_EQ(key("nPagesCur"), "7");
  AggiornaNInkjet();
  EXPECT_EQ(key("InkjetCnt"), "1");
  EXPECT_EQ(key("InkjetCntCur"), "1");
}

// Counts beyond the largest int (from a garbled file or a register read as negative) are held
// at it: the file never receives a wrapped number that would read back as 0.
TEST_F(CountersTest, CountsBeyondTheLimitAreHeldAtIt) {
  MyDev.pagesTotal = 5000000000u;
  MyDev.pagesCurrent = UINT64_MAX;
  AggiornaNumPag();
  EXPECT_EQ(MyDev.pagesTotal, 2147483647u);
  EXPECT_EQ(MyDev.pagesCurrent, 2147483647u);
  EXPECT_EQ(key("nPages"), "2147483647");
  EXPECT_EQ(key("nPagesCur"), "2147483647");
}

TEST_F(CountersTest, ADeviceThatCountsItselfKeepsOnlyTheCurrentCountInTheFile) {
  MyDev.pageRegister = 1;
  AggiornaNumPag();
  EXPECT_EQ(key("nPages"), "-");
  EXPECT_EQ(key("nPagesCur"), "1");
  MyLog.deviceFile[0] = '\0';  // no counters file known yet: counted, nothing written
  AggiornaNumPag();
  EXPECT_EQ(MyDev.pagesCurrent, 2u);
}

TEST_F(CountersTest, FontDirectoryDefaultIsBounded) {
  std::strcpy(MyDev.cnfDir, "/var/scan");
  Vx3SetDefaultDBDir();
  EXPECT_STREQ(MyOcr.dbDir, "/var/scan/");
  std::strcpy(MyDev.cnfDir, "C:\\scan\\");
  Vx3SetDefaultDBDir();
  EXPECT_STREQ(MyOcr.dbDir, "C:\\scan\\");
  // A directory that fills the field still gets its '/' and terminator inside it.
  std::memset(MyDev.cnfDir, 'd', sizeof MyDev.cnfDir - 1);
  MyDev.cnfDir[sizeof MyDev.cnfDir - 1] = '\0';
  MyOcr.typeDoc = 0x5A5A;  // the field after the directory
  Vx3SetDefaultDBDir();
  const size_t n = strnlen(MyOcr.dbDir, sizeof MyOcr.dbDir);
  ASSERT_LT(n, sizeof MyOcr.dbDir);
  EXPECT_EQ(MyOcr.dbDir[n - 1], '/');
}

TEST_F(CountersTest, StopRequestAndItsTraces) {
  EXPECT_EQ(Vx3Stop(1), 0);
  EXPECT_EQ(MyDev.stopRequest, 1);
  EXPECT_EQ(trace(), "");  // traced only with a debug mask
  MyLog.Debug = 0x4;
  EXPECT_EQ(Vx3Stop(0), 0);
  EXPECT_EQ(MyDev.stopRequest, 0);
  Vx3Stop(2);
  EXPECT_TRUE(traced("PVKStop removed"));
  EXPECT_TRUE(traced("PVKStop set"));
}

// A host stops a running call from another thread: beside a call in progress PVKStop touches
// only the stop request, never the guard (which could reopen the device), the trace or the
// last result that belong to the running call. On its own it is an ordinary guarded call.
TEST_F(CountersTest, StopBesideARunningCallOnlySetsTheRequest) {
  void* const notOpen = reinterpret_cast<void*>(static_cast<intptr_t>(12345));
  initLib = 1;  // started already: these records stand as the running call left them
  MyDev.lastResult = -19;
  {
    pvk::core::CallInProgress running;
    EXPECT_EQ(PVKStop(notOpen, 1), 0);
    EXPECT_TRUE(pvk::core::stopRequested());
    EXPECT_EQ(PVKStop(notOpen, 0), 0);
    EXPECT_FALSE(pvk::core::stopRequested());
    EXPECT_EQ(PVKStop(notOpen, 1), 0);
  }
  EXPECT_EQ(MyDev.lastResult, -19);
  EXPECT_EQ(trace(), "");
  EXPECT_EQ(PVKStop(notOpen, 0), -1);  // alone, the guard refuses a handle that was never given
  EXPECT_TRUE(pvk::core::stopRequested());
  EXPECT_TRUE(traced("invalid handle (AA)"));
}

TEST_F(CountersTest, BrightnessAndContrastRanges) {
  EXPECT_EQ(Vx3Brightness(100, -100), 0);
  EXPECT_EQ(MyBrCr[1].brightness, 100);
  EXPECT_EQ(MyBrCr[0].brightness, -100);
  EXPECT_EQ(Vx3Brightness(101, 0), -3);
  EXPECT_EQ(Vx3Contrast(0, -101), -3);
  EXPECT_EQ(MyBrCr[1].brightness, 100);
  EXPECT_TRUE(traced("err -  invalid parameter"));
  EXPECT_EQ(Vx3Contrast(20, 30), 0);
  EXPECT_EQ(MyBrCr[1].contrast, 20);
  EXPECT_EQ(MyBrCr[0].contrast, 30);
}

TEST_F(CountersTest, PhotocellPollSteps) {
  using pvk::control::photocellStep;
  EXPECT_EQ(photocellStep(1), 1u);
  EXPECT_EQ(photocellStep(49), 1u);
  EXPECT_EQ(photocellStep(50), 10u);
  EXPECT_EQ(photocellStep(199), 10u);
  EXPECT_EQ(photocellStep(200), 50u);
  EXPECT_EQ(photocellStep(0), 50u);
}

TEST_F(CountersTest, PhotoTuningNeedsItsSupport) {
  char bytes[8] = {};
  EXPECT_EQ(Vx3PhotoTunRead(bytes), -15);
  EXPECT_EQ(Vx3PhotoTunWrite(bytes), -15);
  EXPECT_TRUE(traced("err -  Photo tuning not supported"));
  MyDev.photoTuning = 1;
  EXPECT_EQ(Vx3PhotoTunRead(nullptr), -3);
}

}  // namespace
