// Trace lines: the WriteTrace forms, the size control of the trace file and the debug stems.
#include "core/trace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <string>

#include "core/records.h"
#include "core/regular_file.h"

namespace {

// Texts are cut to their first 256 characters.
#define PVK_TXT "%.256s"

bool tracing() { return MyLog.Log != 0 && MyLog.tracePath[0] != '\0'; }

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  char small[1100];
  const int n = std::vsnprintf(small, sizeof small, fmt, ap);
  va_end(ap);
  return n < 0 ? std::string() : std::string(small, std::min<size_t>(static_cast<size_t>(n), sizeof small - 1));
}

std::string stamp(bool noStamp) {
  if (MyLog.LogTimeStamp == 0 || noStamp) return std::string();
  time_t now = std::time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  return format("%02d, %02d.%02d.%02d\t", local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

// Appends one whole line with one write. A line that does not fit (a full disk, a file size
// limit) is taken back, so the trace never holds half a line.
void appendLine(const std::string& text, bool noStamp) {
  if (!tracing()) return;
  const int saved = errno;
  if (MyLog.LogSize != 0 && static_cast<uint64_t>(filesize(MyLog.tracePath)) > MyLog.LogSize)
    (void)::truncate(MyLog.tracePath, 0);
  const std::string line = stamp(noStamp) + text;
  const int fd = pvk::core::openRegularFd(MyLog.tracePath, O_WRONLY | O_APPEND | O_CREAT);
  if (fd >= 0) {
    struct stat st {};
    const off_t before = ::fstat(fd, &st) == 0 ? st.st_size : -1;
    const ssize_t n = ::write(fd, line.data(), line.size());
    if (n > 0 && static_cast<size_t>(n) < line.size() && before >= 0 && ::fstat(fd, &st) == 0 &&
        st.st_size == before + n)
      (void)::ftruncate(fd, before);
    ::close(fd);
  }
  errno = saved;  // callers trace errno after the text that explains it
}

void echo(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void echo(const char* fmt, ...) {
  if (MyLog.Verbose == 0) return;
  va_list ap;
  va_start(ap, fmt);
  std::vprintf(fmt, ap);
  va_end(ap);
  std::fflush(stdout);
}

}  // namespace

long filesize(const char* path) {
  struct stat st {};
  if (path == nullptr || ::stat(path, &st) != 0) return 0;
  return static_cast<long>(st.st_size);
}

FILE* TraceOpen(bool& flag) {
  flag = false;
  if (!tracing()) return nullptr;
  if (MyLog.LogSize != 0 && static_cast<uint64_t>(filesize(MyLog.tracePath)) > MyLog.LogSize)
    (void)::truncate(MyLog.tracePath, 0);
  return pvk::core::openRegularFile(MyLog.tracePath, O_WRONLY | O_APPEND | O_CREAT, "ab");
}

void TimeStamp(FILE* f, bool noStamp) {
  if (f == nullptr) return;
  const std::string s = stamp(noStamp);
  std::fputs(s.c_str(), f);
}

void WriteTrace(const char* a, bool noStamp) {
  if (a == nullptr || a[0] == '\0') return;
  echo(PVK_TXT "\n", a);
  appendLine(format(PVK_TXT "\r\n", a), noStamp);
}

void WriteTrace(const char* a, const char* b, bool noStamp) {
  if (a == nullptr || b == nullptr) return;
  echo(PVK_TXT " " PVK_TXT "\n", a, b);
  appendLine(format(PVK_TXT " " PVK_TXT "\r\n", a, b), noStamp);
}

void WriteTrace(const char* a, const char* b, const char* c, bool noStamp) {
  if (a == nullptr || b == nullptr || c == nullptr) return;
  echo(PVK_TXT " " PVK_TXT " " PVK_TXT "\n", a, b, c);
  appendLine(format(PVK_TXT " " PVK_TXT " " PVK_TXT "\r\n", a, b, c), noStamp);
}

void WriteTrace(const char* a, const char* b, const char* c, const char* d, bool noStamp) {
  if (a == nullptr || b == nullptr || c == nullptr || d == nullptr) return;
  appendLine(format(PVK_TXT " " PVK_TXT " " PVK_TXT " " PVK_TXT "\r\n", a, b, c, d), noStamp);
}

void WriteTrace(const char* a, int v, int format, bool noStamp) {
  if (a == nullptr || a[0] == '\0') return;
  echo(PVK_TXT " %d\n", a, v);
  if (format == 1)
    appendLine(::format(PVK_TXT " 0x%04x\r\n", a, static_cast<unsigned>(v)), noStamp);
  else
    appendLine(::format(PVK_TXT " %d\r\n", a, v), noStamp);
}

void WriteTrace(const char* a, int v, bool noStamp) { WriteTrace(a, v, 0, noStamp); }

void WriteTrace(const char* a, const char* b, int v, bool noStamp) {
  if (a == nullptr || b == nullptr) return;
  echo(PVK_TXT " " PVK_TXT " %d\n", a, b, v);
  appendLine(format(PVK_TXT " " PVK_TXT " %d\r\n", a, b, v), noStamp);
}

void WriteTrace(const char* a, const char* b, const char* c, int v, bool noStamp) {
  if (a == nullptr || b == nullptr || c == nullptr) return;
  echo(PVK_TXT " " PVK_TXT " " PVK_TXT " %d\n", a, b, c, v);
  appendLine(format(PVK_TXT PVK_TXT PVK_TXT " %d\r\n", a, b, c, v), noStamp);
}

void WriteEccezione(const char* text) {
  if (text == nullptr)
    WriteTrace("excep not mapped", false);
  else
    WriteTrace("excep ", text, static_cast<int>(errno), false);
}

void DeleteOldTraces() {}

namespace pvk::core {

void formatDebugStem(char* out, size_t size, const char* prefix, unsigned serialLow, const tm& utc) {
  std::snprintf(out, size, "%s_%06u_%04d%02d%02d_%02d%02d%02d", prefix, serialLow,
                utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min,
                utc.tm_sec);
}

}  // namespace pvk::core

void AggiornaDebugFileName() {
  if (MyOcr.debugDump == 0) return;
  time_t now = std::time(nullptr);
  tm utc{};
  gmtime_r(&now, &utc);
  pvk::core::formatDebugStem(MyOcr.debugStem, sizeof MyOcr.debugStem, "ocr", MyDev.serialLow, utc);
  pvk::core::formatDebugStem(MyIQA.debugStem, sizeof MyIQA.debugStem, "iqa", MyDev.serialLow, utc);
}
