// The software scanner's virtual clock: while it is on, the process's time and sleep calls are
// answered here, so that waits of seconds in the library cost no real time. Off, every call
// goes to the C library as if this file did not exist.
#include <dlfcn.h>
#include <errno.h>
#include <semaphore.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "bus.h"

namespace {

std::atomic<bool> virtualOn{false};
std::atomic<int64_t> elapsedNs{0};
struct timespec baseReal, baseMono;

constexpr int64_t kNs = 1000000000LL;

int64_t toNs(const struct timespec& t) { return static_cast<int64_t>(t.tv_sec) * kNs + t.tv_nsec; }
struct timespec fromNs(int64_t ns) {
  struct timespec t;
  t.tv_sec = static_cast<time_t>(ns / kNs);
  t.tv_nsec = static_cast<long>(ns % kNs);
  return t;
}

template <typename F>
F nextSymbol(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

int realClockGettime(clockid_t id, struct timespec* ts) {
  using Fn = int (*)(clockid_t, struct timespec*);
  static Fn fn = nextSymbol<Fn>("clock_gettime");
  if (fn) return fn(id, ts);
  return static_cast<int>(syscall(SYS_clock_gettime, id, ts));
}

bool isRealtime(clockid_t id) { return id == CLOCK_REALTIME || id == CLOCK_REALTIME_COARSE; }
bool isMonotonic(clockid_t id) {
  return id == CLOCK_MONOTONIC || id == CLOCK_MONOTONIC_RAW || id == CLOCK_MONOTONIC_COARSE ||
         id == CLOCK_BOOTTIME;
}

void advanceNs(int64_t ns) {
  if (ns > 0) elapsedNs += ns;
}

int64_t virtualRealtimeNs() { return toNs(baseReal) + elapsedNs.load(); }

}  // namespace

namespace pvk::emulator {

uint64_t monotonicMs() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000 + static_cast<uint64_t>(t.tv_nsec) / 1000000;
}

bool clockIsVirtual() { return virtualOn; }

void clockJumpToMs(uint64_t monotonicTarget) {
  int64_t target = static_cast<int64_t>(monotonicTarget) * 1000000LL - toNs(baseMono);
  if (target > elapsedNs) elapsedNs = target;
}

}  // namespace pvk::emulator

extern "C" {

void pvkemu_clock_virtual(int on) {
  if (on && !virtualOn) {
    realClockGettime(CLOCK_REALTIME, &baseReal);
    realClockGettime(CLOCK_MONOTONIC, &baseMono);
    elapsedNs = 0;
  }
  virtualOn = on != 0;
  if (!on) elapsedNs = 0;
}

int pvkemu_clock_is_virtual(void) { return virtualOn ? 1 : 0; }

uint64_t pvkemu_clock_elapsed_ms(void) { return virtualOn ? static_cast<uint64_t>(elapsedNs / 1000000) : 0; }

void pvkemu_clock_advance_ms(uint64_t ms) {
  if (virtualOn) advanceNs(static_cast<int64_t>(ms) * 1000000LL);
}

int clock_gettime(clockid_t id, struct timespec* ts) {
  if (!virtualOn || !(isRealtime(id) || isMonotonic(id))) return realClockGettime(id, ts);
  *ts = fromNs((isRealtime(id) ? toNs(baseReal) : toNs(baseMono)) + elapsedNs.load());
  return 0;
}

int gettimeofday(struct timeval* tv, void* tz) {
  if (!virtualOn) {
    using Fn = int (*)(struct timeval*, void*);
    static Fn fn = nextSymbol<Fn>("gettimeofday");
    if (fn) return fn(tv, tz);
  }
  struct timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  tv->tv_sec = t.tv_sec;
  tv->tv_usec = t.tv_nsec / 1000;
  return 0;
}

time_t time(time_t* out) {
  struct timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  if (out) *out = t.tv_sec;
  return t.tv_sec;
}

int nanosleep(const struct timespec* req, struct timespec* rem) {
  if (!virtualOn) {
    using Fn = int (*)(const struct timespec*, struct timespec*);
    static Fn fn = nextSymbol<Fn>("nanosleep");
    if (fn) return fn(req, rem);
    return static_cast<int>(syscall(SYS_nanosleep, req, rem));
  }
  if (!req || req->tv_nsec < 0 || req->tv_nsec >= kNs || req->tv_sec < 0) {
    errno = EINVAL;
    return -1;
  }
  advanceNs(toNs(*req));
  if (rem) *rem = fromNs(0);
  return 0;
}

int clock_nanosleep(clockid_t id, int flags, const struct timespec* req, struct timespec* rem) {
  if (!virtualOn || !(isRealtime(id) || isMonotonic(id))) {
    using Fn = int (*)(clockid_t, int, const struct timespec*, struct timespec*);
    static Fn fn = nextSymbol<Fn>("clock_nanosleep");
    if (fn) return fn(id, flags, req, rem);
    return ENOSYS;
  }
  if (!req || req->tv_nsec < 0 || req->tv_nsec >= kNs) return EINVAL;
  if (flags & TIMER_ABSTIME) {
    struct timespec now;
    clock_gettime(id, &now);
    advanceNs(toNs(*req) - toNs(now));
  } else {
    advanceNs(toNs(*req));
  }
  return 0;
}

int usleep(useconds_t us) {
  struct timespec t = fromNs(static_cast<int64_t>(us) * 1000);
  return nanosleep(&t, nullptr);
}

unsigned int sleep(unsigned int seconds) {
  struct timespec t = fromNs(static_cast<int64_t>(seconds) * kNs);
  nanosleep(&t, nullptr);
  return 0;
}

int sem_timedwait(sem_t* sem, const struct timespec* deadline) {
  if (!virtualOn) {
    using Fn = int (*)(sem_t*, const struct timespec*);
    static Fn fn = nextSymbol<Fn>("sem_timedwait");
    if (fn) return fn(sem, deadline);
    errno = ENOSYS;
    return -1;
  }
  if (sem_trywait(sem) == 0) return 0;
  if (errno != EAGAIN) return -1;
  if (deadline->tv_nsec < 0 || deadline->tv_nsec >= kNs) {
    errno = EINVAL;
    return -1;
  }
  // Nobody else in this process can post while we wait: the wait runs to its deadline.
  advanceNs(toNs(*deadline) - virtualRealtimeNs());
  errno = ETIMEDOUT;
  return -1;
}

}  // extern "C"
