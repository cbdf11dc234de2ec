// Platform shims: POSIX semaphores with millisecond time-outs, sleeps and small file helpers.
#include "core/shims.h"

#include <dlfcn.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "core/trace.h"

namespace {

// The clock the library waits by. A USB library that keeps a clock of its own (a software scanner
// running a virtual clock) is heard even when a host loads us with dlopen, where its definitions
// would not come before the C library's; otherwise the calls resolve as any other.
struct WaitClock {
  int (*gettime)(clockid_t, timespec*) = ::clock_gettime;
  int (*sleep)(const timespec*, timespec*) = ::nanosleep;
  int (*semWait)(sem_t*, const timespec*) = ::sem_timedwait;
};

// The object file an address lies in, or null.
const void* objectOf(const void* address) {
  Dl_info info{};
  return address && ::dladdr(address, &info) ? info.dli_fbase : nullptr;
}

// Takes the USB library's own definition of a call, and only its own: what the lookup finds
// behind it (the C library's) would pass over a definition that the process put before the C
// library, such as a test's.
template <typename F>
void takeFrom(void* lib, const void* libBase, const char* name, F& fn) {
  void* p = ::dlsym(lib, name);
  if (p && libBase && objectOf(p) == libBase) fn = reinterpret_cast<F>(p);
}

const WaitClock& waitClock() {
  static const WaitClock clock = [] {
    WaitClock c;
    if (void* usb = ::dlopen("libusb-1.0.so.0", RTLD_LAZY | RTLD_NOLOAD)) {
      const void* base = objectOf(::dlsym(usb, "libusb_init"));
      takeFrom(usb, base, "clock_gettime", c.gettime);
      takeFrom(usb, base, "nanosleep", c.sleep);
      takeFrom(usb, base, "sem_timedwait", c.semWait);
      ::dlclose(usb);  // the reference the lookup took; the library keeps its own
    }
    return c;
  }();
  return clock;
}

}  // namespace

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
  waitClock().gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += static_cast<time_t>(ms / 1000);
  deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  // sem_timedwait refuses a deadline whose nanoseconds reach one second.
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  for (;;) {
    if (waitClock().semWait(sem, &deadline) == 0) return kWaitObject0;
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
  while (waitClock().sleep(&left, &left) != 0 && errno == EINTR) {
  }
}

unsigned int GetLastError() { return static_cast<unsigned int>(errno); }

bool DeleteFile(const char* path) { return path != nullptr && std::remove(path) == 0; }

bool MoveFile(const char* from, const char* to) {
  return from != nullptr && to != nullptr && std::rename(from, to) == 0;
}
