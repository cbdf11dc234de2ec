// The INI file beside the library when it is not a file: a FIFO that no one writes, or a link to
// /dev/zero. Start-up goes on at once with the defaults (each start-up runs in a child that is
// stopped after a deadline, so one that blocks fails instead of hanging the test).
#include <sys/stat.h>
#include <unistd.h>

#include "../../common/child_process.h"
#include "loaded_library.h"

using pvk::test::LoadedLibrary;
using pvk::testing::withDeadline;

namespace {

class IniFileKinds : public LoadedLibrary {};

TEST_F(IniFileKinds, StartUpDoesNotWaitOnAnIniThatIsNotAFile) {
  for (const bool fifo : {true, false}) {
    const std::string libDir = fifo ? "fifo" : "zero";
    load("", "", libDir, "libPlavikMS.so", false);
    const std::string ini = root_ + "/" + libDir + "/libPlavikMS.ini";
    ASSERT_EQ(fifo ? ::mkfifo(ini.c_str(), 0600) : ::symlink("/dev/zero", ini.c_str()), 0);
    const int r = withDeadline(10, [&] {
      // The directory goes in with the first call: the INI cannot name it.
      std::string dir = cnfDir_;
      fn<decltype(PVKInitializeSN)>("PVKInitializeSN")(dir.data(), nullptr);
      char buf[64];
      return libInfo(buf, sizeof buf);
    });
    EXPECT_EQ(r, 28) << libDir;
  }
}

}  // namespace
