// The cross-process lock of the control endpoint: its name, exclusion between two processes,
// and a count that never climbs above one, also after a wait that timed out.
#include <fcntl.h>
#include <sys/wait.h>
#include <time.h>

#include "device_fixture.h"

namespace pvk::test {
namespace {

class Ep0Lock : public DeviceTest {
 protected:
  std::string name;
  void SetUp() override {
    DeviceTest::SetUp();
    add(full());
    ASSERT_GT(open(), 0);
    char n[128];
    pvk::device::ep0LockName(n, sizeof n, MyDev.vendorId, MyDev.productId, MyDev.serialLow);
    name = n;
  }
  int lockCount() {
    sem_t* s = sem_open(name.c_str(), 0);
    if (s == SEM_FAILED) return -100;
    int v = -100;
    sem_getvalue(s, &v);
    sem_close(s);
    return v;
  }
  long status() { return FX2ReadStatusL(); }
};

TEST(Ep0LockName, FormattedFromVendorProductAndSignedSerialLow) {
  char n[128];
  pvk::device::ep0LockName(n, sizeof n, 0x1A2B, 9, 12400512);
  EXPECT_STREQ(n, "/vid_1a2b_pid_0009_snLow_12400512_EP0_A");
  pvk::device::ep0LockName(n, sizeof n, 0x1A2B, 0x0E, 0x80000000u);
  EXPECT_STREQ(n, "/vid_1a2b_pid_000e_snLow_-2147483648_EP0_A");
}

TEST_F(Ep0Lock, CountStaysOneOverManyOpensAndCloses) {
  for (int i = 0; i < 25; ++i) {
    EXPECT_NE(status(), 0);
    Vx3DeviceClose(false);
    ASSERT_GT(open(), 0);
  }
  EXPECT_NE(status(), 0);
  EXPECT_EQ(lockCount(), 1);
  Vx3DeviceClose(false);
  EXPECT_EQ(lockCount(), 1);
}

TEST_F(Ep0Lock, ATimedOutWaitGoesAheadWithoutRaisingTheCount) {
  EXPECT_NE(status(), 0);  // creates the lock
  sem_t* other = sem_open(name.c_str(), 0);
  ASSERT_NE(other, SEM_FAILED);
  ASSERT_EQ(sem_trywait(other), 0);  // another holder keeps it
  uint64_t before = pvkemu_clock_elapsed_ms();
  EXPECT_NE(status(), 0);  // the request still goes out
  EXPECT_GE(pvkemu_clock_elapsed_ms() - before, 60000u);
  EXPECT_TRUE(traced("timeout waiting EP0Sem (AA), timeout is 60000"));
  EXPECT_EQ(lockCount(), 0);  // what was not taken was not posted
  Vx3DeviceClose(false);      // nor at close
  EXPECT_EQ(lockCount(), 0);
  sem_post(other);
  sem_close(other);
  ASSERT_GT(open(), 0);
  for (int i = 0; i < 5; ++i) EXPECT_NE(status(), 0);
  EXPECT_EQ(lockCount(), 1);
}

TEST_F(Ep0Lock, TwoProcessesAreSerialised) {
  pvkemu_clock_virtual(0);  // the other process holds the lock in real time
  EXPECT_NE(status(), 0);
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    sem_t* s = sem_open(name.c_str(), 0);
    if (s == SEM_FAILED || sem_wait(s) != 0) _exit(2);
    char c = 1;
    if (write(ready[1], &c, 1) != 1) _exit(3);
    struct timespec hold = {0, 300000000};
    nanosleep(&hold, nullptr);
    if (write(done[1], &c, 1) != 1) _exit(4);  // written just before the lock is given back
    sem_post(s);
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  struct timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  EXPECT_NE(status(), 0);
  clock_gettime(CLOCK_MONOTONIC, &t1);
  // The request waited for the other process: its "done" mark is already there.
  fcntl(done[0], F_SETFL, O_NONBLOCK);
  EXPECT_EQ(read(done[0], &c, 1), 1);
  double waited = (t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) / 1e9;
  EXPECT_GT(waited, 0.2);
  int st = 0;
  waitpid(child, &st, 0);
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
  EXPECT_EQ(lockCount(), 1);
  EXPECT_FALSE(traced("timeout waiting EP0Sem"));
}

}  // namespace
}  // namespace pvk::test
