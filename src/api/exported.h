// The shell of an exported call: whatever happens inside, no C++ exception reaches the host.
#pragma once

#include "PlavikMS.h"
#include "core/records.h"
#include "core/trace.h"

namespace pvk::api {

// Runs body; an exception is traced, stored as the last result failure and returned.
template <typename Body>
int guarded(const char* name, Body&& body, int onException = PVK_ERR_GENERIC) noexcept {
  try {
    return body();
  } catch (...) {
    WriteTrace("err - ", name, "unexpected exception", false);
    MyDev.lastResult = onException;
    return onException;
  }
}

}  // namespace pvk::api
