// The shell of an exported call: whatever happens inside, no C++ exception reaches the host.
#pragma once

#include "PlavikMS.h"
#include "core/frame.h"
#include "core/records.h"
#include "core/results.h"
#include "core/trace.h"
#include "device/device.h"
#include "geometry/geometry.h"

namespace pvk::api {

// Runs body; an exception is traced, stored as the last result failure and returned.
template <typename Body>
int caught(const char* name, Body&& body, int onException = PVK_ERR_GENERIC) noexcept {
  try {
    return body();
  } catch (...) {
    WriteTrace("err - ", name, "unexpected exception", false);
    MyDev.lastResult = onException;
    return onException;
  }
}

// The shell of an exported call: counted as running (see pvk::core::CallInProgress), caught,
// and worked through on the caller's thread alone.
template <typename Body>
int guarded(const char* name, Body&& body, int onException = PVK_ERR_GENERIC) noexcept {
  pvk::core::CallInProgress inProgress;
  return caught(name, [&] { return pvk::geometry::onCallingThreadOnly(body); }, onException);
}

// The guard, the operation, and its result kept as the last result. A refused call returns
// the result the guard left.
template <typename Op>
int handleFrame(const char* name, void* handle, Op&& op) {
  if (!DllFunctInit(name, handle)) {
    RMSVERIFICARESULT();
    return Vx3ResultGet();
  }
  const unsigned lostBefore = pvk::device::lostMarks();
  int r = op();
  // A failure met because the device went away is told as such: the next call reopens it.
  if (r < 0 && pvk::device::lostMarks() != lostBefore) r = PVK_ERR_NOT_READY;
  Vx3ResultSet(r);
  RMSVERIFICARESULT();
  return r;
}

// The frame of a call with the caller's handle.
template <typename Op>
int withHandle(const char* name, void* handle, Op&& op) noexcept {
  return guarded(name, [&] { return handleFrame(name, handle, op); });
}

}  // namespace pvk::api
