// Trace lines of the device layer. Errors and warnings are the two-text lines every layer
// writes ("err - ", the text, and the value where there is one); the others are formed whole.
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

namespace {

void marked(const char* mark, const char* text, const char* tail) {
  char line[320];
  std::snprintf(line, sizeof line, "%s%s", text ? text : "", tail ? tail : "");
  WriteTrace(mark, line, false);
}

void marked(const char* mark, const char* text, long value) {
  WriteTrace(mark, text ? text : "", static_cast<int>(value), false);
}

}  // namespace

void traceError(const char* text) { marked("err - ", text, static_cast<const char*>(nullptr)); }
void traceError(const char* text, const char* tail) { marked("err - ", text, tail); }
void traceError(const char* text, long value) { marked("err - ", text, value); }
void traceWarning(const char* text) { marked("war - ", text, static_cast<const char*>(nullptr)); }
void traceWarning(const char* text, long value) { marked("war - ", text, value); }

}  // namespace pvk::device
