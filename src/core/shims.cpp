// Platform shims: POSIX semaphores with millisecond time-outs and small file helpers.
#include "core/shims.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "core/trace.h"

char* _strupr(char* s) {
  if (s == nullptr) return s;
  for (char* p = s; *p != '\0'; ++p) *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  return s;
}

int WaitForSingleObject(sem_t* sem, unsigned long ms) {
  if (sem == nullptr) {
    WriteTrace("no hSemaphore", false);
    return kWaitFailed;
  }
  timespec deadline{};
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += static_cast<time_t>(ms / 1000);
  deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  // sem_timedwait refuses a deadline whose nanoseconds reach one second.
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  for (;;) {
    if (sem_timedwait(sem, &deadline) == 0) return kWaitObject0;
    if (errno == EINTR) continue;  // a signal is not the end of the wait
    return errno == ETIMEDOUT ? kWaitTimeout : kWaitFailed;
  }
}

void ReleaseSemaphore(sem_t* sem, int count, void*) {
  if (sem == nullptr) return;
  for (int i = 0; i < count; ++i) sem_post(sem);
}

void Sleep(unsigned int ms) {
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

unsigned int GetLastError() { return static_cast<unsigned int>(errno); }

bool DeleteFile(const char* path) { return path != nullptr && std::remove(path) == 0; }

bool MoveFile(const char* from, const char* to) {
  return from != nullptr && to != nullptr && std::rename(from, to) == 0;
}
