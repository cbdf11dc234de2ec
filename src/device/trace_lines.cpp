// Trace lines of the device layer, formed whole so that each reads exactly as written.
#include <cstdio>

#include "core/trace.h"
#include "device/device.h"

namespace pvk::device {

void traceLine(const char* prefix, const char* text, const char* tail) {
  char line[320];
  std::snprintf(line, sizeof line, "%s%s%s", prefix ? prefix : "", text ? text : "", tail ? tail : "");
  WriteTrace(line, false);
}

void traceLine(const char* prefix, const char* text, long value) {
  char line[320];
  std::snprintf(line, sizeof line, "%s%s %ld", prefix ? prefix : "", text ? text : "", value);
  WriteTrace(line, false);
}

void traceError(const char* text) { traceLine("err - ", text, static_cast<const char*>(nullptr)); }
void traceError(const char* text, long value) { traceLine("err - ", text, value); }
void traceWarning(const char* text) { traceLine("war - ", text, static_cast<const char*>(nullptr)); }
void traceWarning(const char* text, long value) { traceLine("war - ", text, value); }

}  // namespace pvk::device
