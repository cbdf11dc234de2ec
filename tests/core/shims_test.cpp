// Platform shims: semaphore waits with time-outs, interrupted waits, file helpers.
#include <signal.h>
#include <sys/time.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/shims.h"
#include "core_test_util.h"

namespace {

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point t0) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
}

TEST(Semaphore, TakenAtOnceWhenPostedAndTimesOutWhenNot) {
  sem_t sem;
  ASSERT_EQ(sem_init(&sem, 0, 1), 0);
  EXPECT_EQ(WaitForSingleObject(&sem, 1000), kWaitObject0);
  const auto t0 = Clock::now();
  EXPECT_EQ(WaitForSingleObject(&sem, 60), kWaitTimeout);
  EXPECT_GE(msSince(t0), 55);
  ReleaseSemaphore(&sem, 2, nullptr);
  int value = 0;
  sem_getvalue(&sem, &value);
  EXPECT_EQ(value, 2);
  ReleaseSemaphore(&sem, 0, nullptr);
  ReleaseSemaphore(nullptr, 1, nullptr);
  EXPECT_EQ(WaitForSingleObject(nullptr, 10), kWaitFailed);
  sem_destroy(&sem);
}

// A deadline whose nanoseconds pass one second would make the wait fail at once.
TEST(Semaphore, DeadlinesAcrossASecondBoundaryAreValid) {
  sem_t sem;
  ASSERT_EQ(sem_init(&sem, 0, 0), 0);
  for (unsigned long ms : {999ul, 1999ul}) {
    std::thread poster([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      sem_post(&sem);
    });
    EXPECT_EQ(WaitForSingleObject(&sem, ms), kWaitObject0) << ms;
    poster.join();
  }
  sem_destroy(&sem);
}

void onAlarm(int) {}

TEST(Semaphore, ASignalDoesNotEndTheWait) {
  struct sigaction sa {};
  sa.sa_handler = onAlarm;  // no SA_RESTART: the wait sees EINTR
  struct sigaction old {};
  sigaction(SIGALRM, &sa, &old);
  itimerval timer{};
  timer.it_value.tv_usec = 20000;
  setitimer(ITIMER_REAL, &timer, nullptr);
  sem_t sem;
  ASSERT_EQ(sem_init(&sem, 0, 0), 0);
  const auto t0 = Clock::now();
  EXPECT_EQ(WaitForSingleObject(&sem, 150), kWaitTimeout);
  EXPECT_GE(msSince(t0), 140);
  sem_destroy(&sem);
  sigaction(SIGALRM, &old, nullptr);
}

class Files : public pvk::test::TempDirTest {};

TEST_F(Files, DeleteMoveAndUpperCase) {
  pvk::test::writeFile(path("a"), "x");
  EXPECT_TRUE(MoveFile(path("a").c_str(), path("b").c_str()));
  EXPECT_FALSE(MoveFile(path("a").c_str(), path("c").c_str()));
  EXPECT_TRUE(DeleteFile(path("b").c_str()));
  EXPECT_FALSE(DeleteFile(path("b").c_str()));
  EXPECT_FALSE(DeleteFile(nullptr));
  EXPECT_EQ(GetLastError(), static_cast<unsigned>(errno));
  char text[] = "abc1-z";
  EXPECT_STREQ(_strupr(text), "ABC1-Z");
  EXPECT_EQ(_strupr(nullptr), nullptr);
}

}  // namespace
