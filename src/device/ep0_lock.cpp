// The cross-process lock of the control endpoint: one named semaphore per physical device, so
// that the control requests of several processes driving the same scanner never interleave.
#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/records.h"
#include "core/shims.h"
#include "core/trace.h"
#include "device/device.h"

sem_t* EP0Semaphore = nullptr;
int32_t EP0SemaphoreTimeout = 60000;

namespace {

// Whether this process holds the lock now. Only what was taken is ever posted, so the count of
// the semaphore never climbs above its initial 1 and the lock keeps excluding other processes.
bool ep0Held = false;

const char* semErrorText(int e) {
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

bool lockOpen() { return EP0Semaphore != nullptr && EP0Semaphore != SEM_FAILED; }

}  // namespace

namespace pvk::device {

void ep0LockName(char* out, size_t size, uint16_t vendor, uint16_t product, uint32_t serialLow) {
  char name[128] = {0};
  std::snprintf(name, sizeof name, "/vid_%04x_pid_%04x_snLow_%d_EP0_A", vendor, product,
                static_cast<int32_t>(serialLow));
  std::snprintf(out, size, "%s", name);
}

Ep0Guard::Ep0Guard() {
  if (!lockOpen()) CreaSemaforoEP0();
  if (!lockOpen()) return;  // no lock: the request goes ahead without it
  int r = WaitForSingleObject(EP0Semaphore, static_cast<unsigned long>(EP0SemaphoreTimeout));
  if (r == kWaitObject0) {
    held_ = ep0Held = true;
  } else if (r == kWaitTimeout) {
    // Another process keeps the lock too long: go ahead, but what was not taken is not posted.
    WriteTrace("timeout waiting EP0Sem (AA), timeout is", EP0SemaphoreTimeout, false);
  } else {
    WriteTrace("waiting EP0Sem (AA)", r, false);
  }
}

Ep0Guard::~Ep0Guard() {
  if (held_ && ep0Held && lockOpen()) sem_post(EP0Semaphore);
  if (held_) ep0Held = false;
}

}  // namespace pvk::device

void CreaSemaforoEP0() {
  if (MyDev.vendorId == 0 || MyDev.productId == 0) return;
  if (EP0Semaphore != nullptr) CloseSemaforoEP0(true);
  char name[128];
  pvk::device::ep0LockName(name, sizeof name, MyDev.vendorId, MyDev.productId, MyDev.serialLow);
  sem_t* s = sem_open(name, O_CREAT, 0600, 1);
  if (s == SEM_FAILED) {
    int e = errno;
    EP0Semaphore = nullptr;
    pvk::device::traceError(semErrorText(e), e);
    return;
  }
  EP0Semaphore = s;
}

int CloseSemaforoEP0(bool post) {
  int r = 0;
  if (lockOpen()) {
    // Posting is only right when this process holds the lock (a request cut short).
    if (post && ep0Held) sem_post(EP0Semaphore);
    r = sem_close(EP0Semaphore);
  }
  ep0Held = false;
  EP0Semaphore = nullptr;
  return r;
}
