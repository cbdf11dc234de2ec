// The cross-process lock of the control endpoint: one lock file per physical device, so that the
// control requests of several processes driving the same scanner never interleave. The lock is
// an flock on that file, which the kernel releases when its holder dies: a host killed in the
// middle of a request never leaves the other processes waiting.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/records.h"
#include "core/regular_file.h"
#include "core/shims.h"
#include "core/trace.h"
#include "device/device.h"

int EP0LockFile = -1;
int32_t EP0SemaphoreTimeout = 60000;

namespace {

// The process that opened EP0LockFile: a forked child shares the parent's open file, and with
// it the parent's lock, so it opens the file again for itself.
pid_t lockOwner = 0;
// Whether this process holds the lock now; only what was taken is ever released.
bool ep0Held = false;
// The process whose open of the lock file failed since the device was last closed: its requests
// go on without the lock, and the failure is traced once, not at every request.
pid_t lockRefusedIn = 0;

const char* lockErrorText(int e) {
  switch (e) {
    case EACCES: return "creating EP0Semaphore, EACCES";
    case EEXIST: return "creating EP0Semaphore, EEXIST";
    case EINVAL: return "creating EP0Semaphore, EINVAL";
    case EMFILE: return "creating EP0Semaphore, EMFILE";
    case ENAMETOOLONG: return "creating EP0Semaphore, ENAMETOOLONG";
    case ENFILE: return "creating EP0Semaphore, ENFILE";
    case ENOENT: return "creating EP0Semaphore, ENOENT";
    case ENOMEM: return "creating EP0Semaphore, ENOMEM";
    default: return "creating EP0Semaphore";
  }
}

bool lockOpen() { return EP0LockFile >= 0 && lockOwner == ::getpid(); }

// Every user who can drive the scanner shares its lock, so the file, which holds no data, is
// readable and writable by all whatever the umask. A file this user made without that (the
// umask, or an earlier version of the library) is made so when it is nothing but an empty lock.
void shareLockFile(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & 0777) == 0666) return;
  if (st.st_nlink == 1 && st.st_size == 0) ::fchmod(fd, 0666);
}

// The lock file, in a directory every user writes to: never opened through a link, and only
// when it is a regular file. One that exists is opened without O_CREAT, which a sticky directory
// refuses on another user's file where fs.protected_regular is set; reading is all a lock needs.
int openLockFile(const char* path) {
  for (int tries = 0; tries < 3; ++tries) {
    int fd = pvk::core::openRegularFd(path, O_RDONLY | O_NOFOLLOW);
    if (fd < 0 && errno == ENOENT)
      fd = pvk::core::openRegularFd(path, O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
    if (fd >= 0) {
      shareLockFile(fd);
      return fd;
    }
    if (errno != ENOENT && errno != EEXIST) return -1;  // else made or removed meanwhile
  }
  return -1;
}

// Takes the lock within ms milliseconds: kWaitObject0, kWaitTimeout or kWaitFailed. The kernel
// offers no timed flock: poll it, briefly at first.
int takeLock(unsigned long ms) {
  unsigned long waited = 0;
  for (unsigned tries = 0;; ++tries) {
    if (::flock(EP0LockFile, LOCK_EX | LOCK_NB) == 0) return kWaitObject0;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return kWaitFailed;
    if (waited >= ms) return kWaitTimeout;
    const unsigned step = tries < 20 ? 1 : 10;
    Sleep(step);
    waited += step;
  }
}

}  // namespace

namespace pvk::device {

void ep0LockName(char* out, size_t size, uint16_t vendor, uint16_t product, uint32_t serialLow) {
  char name[128] = {0};
  std::snprintf(name, sizeof name, "/vid_%04x_pid_%04x_snLow_%d_EP0_A", vendor, product,
                static_cast<int32_t>(serialLow));
  std::snprintf(out, size, "%s", name);
}

void ep0LockPath(char* out, size_t size, uint16_t vendor, uint16_t product, uint32_t serialLow) {
  char name[128];
  ep0LockName(name, sizeof name, vendor, product, serialLow);
  // Beside the shared-memory objects, where one is; else in the temporary directory.
  const char* dir = ::access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "/tmp";
  std::snprintf(out, size, "%s%s.lock", dir, name);
}

Ep0Guard::Ep0Guard() {
  if (!lockOpen() && lockRefusedIn != ::getpid()) CreaSemaforoEP0();
  if (!lockOpen()) return;  // no lock: the request goes ahead without it
  int r = takeLock(static_cast<unsigned long>(EP0SemaphoreTimeout < 0 ? 0 : EP0SemaphoreTimeout));
  if (r == kWaitObject0) {
    held_ = ep0Held = true;
  } else if (r == kWaitTimeout) {
    // Another process keeps the lock too long: go ahead, but what was not taken is not released.
    WriteTrace("timeout waiting EP0Sem (AA), timeout is", EP0SemaphoreTimeout, false);
  } else {
    WriteTrace("waiting EP0Sem (AA)", r, false);
  }
}

Ep0Guard::~Ep0Guard() {
  if (held_ && ep0Held && lockOpen()) ::flock(EP0LockFile, LOCK_UN);
  if (held_) ep0Held = false;
}

}  // namespace pvk::device

void CreaSemaforoEP0() {
  if (MyDev.vendorId == 0 || MyDev.productId == 0) return;
  if (EP0LockFile >= 0) CloseSemaforoEP0(true);
  char path[160];
  pvk::device::ep0LockPath(path, sizeof path, MyDev.vendorId, MyDev.productId, MyDev.serialLow);
  // A shared directory: whatever else stands at the name (a link, a FIFO) is not the lock.
  const int fd = openLockFile(path);
  if (fd < 0) {
    const int e = errno;
    pvk::device::traceError(lockErrorText(e), e);
    lockRefusedIn = ::getpid();
    return;
  }
  EP0LockFile = fd;
  lockOwner = ::getpid();
}

int CloseSemaforoEP0(bool release) {
  int r = 0;
  if (lockOpen()) {
    // Releasing is only right when this process holds the lock (a request cut short).
    if (release && ep0Held) ::flock(EP0LockFile, LOCK_UN);
    r = ::close(EP0LockFile);
  } else if (EP0LockFile >= 0) {
    // Inherited from the parent process: closing this copy leaves the parent's lock alone.
    ::close(EP0LockFile);
  }
  ep0Held = false;
  EP0LockFile = -1;
  lockRefusedIn = 0;  // the next open tries the lock again
  return r;
}
