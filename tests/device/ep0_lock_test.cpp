// The cross-process lock of the control endpoint: its name and file, shared by every user,
// exclusion between two processes, a wait that times out without stealing another holder's
// lock, and a holder killed in the middle of a request, whose lock the next process finds free.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>

#include "../common/file_kinds.h"
#include "device_fixture.h"

namespace pvk::test {
namespace {

int countOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
  return n;
}

double secondsSince(const timespec& t0) {
  timespec t1;
  clock_gettime(CLOCK_MONOTONIC, &t1);
  return (t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) / 1e9;
}

class Ep0Lock : public DeviceTest {
 protected:
  std::string lockPath;
  void SetUp() override {
    DeviceTest::SetUp();
    add(full());
    lockPath = lockNames.back();
  }
  // Whether another open file could take the lock now, without waiting.
  bool lockFree() const {
    const int fd = ::open(lockPath.c_str(), O_RDWR);
    if (fd < 0) return true;  // not created yet
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
  }
  long status() { return FX2ReadStatusL(); }
};

TEST(Ep0LockName, FormattedFromVendorProductAndSignedSerialLow) {
  char n[160];
  pvk::device::ep0LockName(n, sizeof n, 0x1A2B, 9, 12400512);
  EXPECT_STREQ(n, "/vid_1a2b_pid_0009_snLow_12400512_EP0_A");
  pvk::device::ep0LockName(n, sizeof n, 0x1A2B, 0x0E, 0x80000000u);
  EXPECT_STREQ(n, "/vid_1a2b_pid_000e_snLow_-2147483648_EP0_A");
  pvk::device::ep0LockPath(n, sizeof n, 0x1A2B, 9, 12400512);
  EXPECT_TRUE(std::string(n) == "/dev/shm/vid_1a2b_pid_0009_snLow_12400512_EP0_A.lock" ||
              std::string(n) == "/tmp/vid_1a2b_pid_0009_snLow_12400512_EP0_A.lock")
      << n;
}

// Every user who drives the scanner shares its lock: the file is readable and writable by all
// whatever the umask, also one of this user's that an earlier version made for itself alone.
TEST_F(Ep0Lock, TheLockFileIsReadableAndWritableByAll) {
  const mode_t umaskBefore = ::umask(077);
  for (const bool madeBefore : {false, true}) {
    ::unlink(lockPath.c_str());
    if (madeBefore) ::close(::open(lockPath.c_str(), O_RDWR | O_CREAT, 0600));
    ASSERT_GT(open(), 0);
    EXPECT_NE(status(), 0);
    struct stat st {};
    ASSERT_EQ(::stat(lockPath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u) << madeBefore;
    EXPECT_GE(EP0LockFile, 0);
    Vx3DeviceClose(false);
  }
  ::umask(umaskBefore);
}

// What stands at the lock's name and is not a regular file (a FIFO, a link, even to a file) is
// not taken for the lock: requests go on without it, at once, and that is traced once per open.
TEST_F(Ep0Lock, WhatIsNotARegularFileIsNotTheLockAndIsTracedOncePerOpen) {
  using pvk::testing::FileOfKind;
  for (const FileOfKind kind : {FileOfKind::kFifo, FileOfKind::kLinkToFile}) {
    ::unlink(lockPath.c_str());
    ASSERT_EQ(pvk::testing::makeFileOfKind(kind, lockPath), 0);
    const mode_t type = pvk::testing::typeAt(lockPath);
    for (int opens = 1; opens <= 2; ++opens) {
      ASSERT_GT(open(), 0);
      for (int i = 0; i < 3; ++i) EXPECT_NE(status(), 0);
      EXPECT_LT(EP0LockFile, 0);
      Vx3DeviceClose(false);
      EXPECT_EQ(countOf(trace(), "creating EP0Semaphore"), opens) << nameOf(kind);
    }
    EXPECT_EQ(pvk::testing::typeAt(lockPath), type) << nameOf(kind);
    ::unlink(lockPath.c_str());
    ::unlink((lockPath + ".real").c_str());
    std::remove((dir + "/trace.log").c_str());
  }
}

TEST_F(Ep0Lock, TheLockIsFreeAfterEveryRequestAndClose) {
  ASSERT_GT(open(), 0);
  for (int i = 0; i < 25; ++i) {
    EXPECT_NE(status(), 0);
    EXPECT_TRUE(lockFree());
    Vx3DeviceClose(false);
    ASSERT_GT(open(), 0);
  }
  EXPECT_NE(status(), 0);
  Vx3DeviceClose(false);
  EXPECT_TRUE(lockFree());
  EXPECT_EQ(EP0LockFile, -1);
}

TEST_F(Ep0Lock, ATimedOutWaitGoesAheadWithoutTakingTheOtherHoldersLock) {
  ASSERT_GT(open(), 0);
  EXPECT_NE(status(), 0);  // creates the lock file
  const int other = ::open(lockPath.c_str(), O_RDWR);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);  // another holder keeps it
  uint64_t before = pvkemu_clock_elapsed_ms();
  EXPECT_NE(status(), 0);  // the request still goes out
  EXPECT_GE(pvkemu_clock_elapsed_ms() - before, 60000u);
  EXPECT_TRUE(traced("timeout waiting EP0Sem (AA), timeout is 60000"));
  EXPECT_FALSE(lockFree());  // what was not taken was not released
  Vx3DeviceClose(false);     // nor at close
  EXPECT_FALSE(lockFree());
  ::close(other);
  EXPECT_TRUE(lockFree());
  ASSERT_GT(open(), 0);
  before = pvkemu_clock_elapsed_ms();
  for (int i = 0; i < 5; ++i) EXPECT_NE(status(), 0);
  EXPECT_LT(pvkemu_clock_elapsed_ms() - before, 1000u);
}

TEST_F(Ep0Lock, TwoProcessesAreSerialised) {
  pvkemu_clock_virtual(0);  // the other process holds the lock in real time
  ASSERT_GT(open(), 0);
  EXPECT_NE(status(), 0);
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = ::open(lockPath.c_str(), O_RDWR);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0) _exit(2);
    char c = 1;
    if (write(ready[1], &c, 1) != 1) _exit(3);
    struct timespec hold = {0, 300000000};
    nanosleep(&hold, nullptr);
    if (write(done[1], &c, 1) != 1) _exit(4);  // written just before the lock is given back
    ::flock(fd, LOCK_UN);
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  timespec t0;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  EXPECT_NE(status(), 0);
  const double waited = secondsSince(t0);
  // The request waited for the other process: its "done" mark is already there.
  fcntl(done[0], F_SETFL, O_NONBLOCK);
  EXPECT_EQ(read(done[0], &c, 1), 1);
  EXPECT_GT(waited, 0.2);
  int st = 0;
  waitpid(child, &st, 0);
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
  EXPECT_TRUE(lockFree());
  EXPECT_FALSE(traced("timeout waiting EP0Sem"));
}

// A host killed while it holds the lock: the kernel releases it with the process, and the next
// process opens the scanner in its normal time instead of waiting out the lock's minute.
TEST_F(Ep0Lock, AHostKilledWhileHoldingTheLockDoesNotBlockTheNext) {
  pvkemu_clock_virtual(0);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (open() <= 0) _exit(2);
    new pvk::device::Ep0Guard();  // a request in flight when the host dies
    char c = 1;
    if (write(ready[1], &c, 1) != 1) _exit(3);
    pause();
    _exit(4);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  EXPECT_FALSE(lockFree());
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  timespec t0;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  ASSERT_GT(open(), 0);
  EXPECT_NE(status(), 0);
  EXPECT_LT(secondsSince(t0), 10.0);
  EXPECT_FALSE(traced("timeout waiting EP0Sem"));
  EXPECT_TRUE(lockFree());
}

}  // namespace
}  // namespace pvk::test
