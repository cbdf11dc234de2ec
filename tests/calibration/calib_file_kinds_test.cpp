// A calibration file that is a FIFO no one writes or reads: reading it fails at once as a
// missing file does, and a calibration is not written into it (the call runs in a child stopped
// after a deadline, so one that blocks fails instead of hanging the test).
#include <sys/stat.h>
#include <unistd.h>

#include "../common/child_process.h"
#include "calib_fixture.h"

namespace {

using calibtest::CalibFixture;

TEST_F(CalibFixture, AFifoAtTheCalibrationFileIsNeitherReadNorWritten) {
  ASSERT_EQ(::mkfifo(path().c_str(), 0600), 0);
  MyAcq.calibrating = 1;  // no fallback to the factory data
  EXPECT_EQ(pvk::testing::withDeadline(10, [] { return CorrInfoRead(MyCorS) ? 1 : 0; }), 0);
  EXPECT_EQ(pvk::testing::withDeadline(10, [] {
              if (!CorrInfoCreate(MyCorS)) return 2;
              fillGood(MyCorS);
              return CorrInfoWrite() ? 1 : MyDev.lastResult;
            }),
            -5);
  struct stat st {};
  EXPECT_TRUE(::lstat(path().c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
}

}  // namespace
