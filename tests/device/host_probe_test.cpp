// The shipped library in a host program: with the system's libusb and no scanner it fails
// cleanly; with the software scanner first on the library path it finds the default scanner.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "../common/ep0_lock_file.h"

namespace {

std::string run(const std::string& libraryPath) {
  char tmpl[] = "/tmp/pvkprobeXXXXXX";
  if (!mkdtemp(tmpl)) return "";
  std::string dir = tmpl;
  std::string cmd = "env LD_LIBRARY_PATH='" + libraryPath + "' '" PVK_BINARY_DIR
                    "/tests/device/pvk_host_probe' '" + dir + "' 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  char line[128] = {0};
  if (p) {
    if (!fgets(line, sizeof line, p)) line[0] = 0;
    pclose(p);
  }
  std::string rm = "rm -rf '" + dir + "'";
  if (std::system(rm.c_str()) != 0) line[0] = 0;
  return line;
}

TEST(HostProbe, SystemLibusbWithoutAScannerFailsCleanly) {
  EXPECT_EQ(run(PVK_BINARY_DIR), "-1 -21 0\n");
}

TEST(HostProbe, SoftwareScannerPresentsTheDefaultScanner) {
  int h = 0, last = 0, emulated = 0;
  std::string out = run(PVK_BINARY_DIR "/emulator:" PVK_BINARY_DIR);
  pvkemu_profile host;
  pvkemu_profile_full(&host);  // the default scanner the host drove
  pvk::testing::removeEp0LockFile(host);
  ASSERT_EQ(std::sscanf(out.c_str(), "%d %d %d", &h, &last, &emulated), 3) << out;
  EXPECT_EQ(emulated, 1);
  EXPECT_EQ(h, 9 * 1000000 + 400512);
}

}  // namespace
