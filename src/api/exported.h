// The shell of an exported call: whatever happens inside, no C++ exception reaches the host.
#pragma once

#include "PlavikMS.h"
#include "core/frame.h"
#include "core/records.h"
#include "core/results.h"
#include "core/trace.h"
#include "device/device.h"

namespace pvk::api {

// Exported calls running right now. A host can only stop a running call from another thread,
// so PVKStop is the one call that may run beside another; it looks here to stay out of its way.
inline int callsInProgress = 0;

struct CallInProgress {
  CallInProgress() noexcept { __atomic_add_fetch(&callsInProgress, 1, __ATOMIC_ACQ_REL); }
  ~CallInProgress() { __atomic_sub_fetch(&callsInProgress, 1, __ATOMIC_ACQ_REL); }
  CallInProgress(const CallInProgress&) = delete;
  CallInProgress& operator=(const CallInProgress&) = delete;
};

inline bool anotherCallInProgress() noexcept {
  return __atomic_load_n(&callsInProgress, __ATOMIC_ACQUIRE) > 0;
}

// Runs body; an exception is traced, stored as the last result failure and returned.
template <typename Body>
int guarded(const char* name, Body&& body, int onException = PVK_ERR_GENERIC) noexcept {
  CallInProgress inProgress;
  try {
    return body();
  } catch (...) {
    WriteTrace("err - ", name, "unexpected exception", false);
    MyDev.lastResult = onException;
    return onException;
  }
}

// The frame of a call with the caller's handle: the guard, the operation, and its result kept
// as the last result. A refused call returns the result the guard left.
template <typename Op>
int withHandle(const char* name, void* handle, Op&& op) noexcept {
  return guarded(name, [&] {
    if (!DllFunctInit(name, handle)) {
      RMSVERIFICARESULT();
      return Vx3ResultGet();
    }
    const int r = op();
    Vx3ResultSet(r);
    RMSVERIFICARESULT();
    return r;
  });
}

}  // namespace pvk::api
