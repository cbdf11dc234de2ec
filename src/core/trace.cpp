// Trace lines: the WriteTrace forms, the size control of the trace file and the debug stems.
#include "core/trace.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "core/records.h"

namespace {

// Texts are cut to their first 256 characters.
#define PVK_TXT "%.256s"

bool tracing() { return MyLog.Log != 0 && MyLog.tracePath[0] != '\0'; }

// Opens the file and writes the time stamp; null when nothing is to be written.
FILE* beginLine(bool noStamp) {
  bool flag = false;
  FILE* f = TraceOpen(flag);
  if (f != nullptr) TimeStamp(f, noStamp);
  return f;
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
  if (MyLog.LogSize != 0 && static_cast<uint64_t>(filesize(MyLog.tracePath)) > MyLog.LogSize) {
    FILE* empty = std::fopen(MyLog.tracePath, "wb");
    if (empty != nullptr) std::fclose(empty);
  }
  return std::fopen(MyLog.tracePath, "ab");
}

void TimeStamp(FILE* f, bool noStamp) {
  if (f == nullptr || MyLog.LogTimeStamp == 0 || noStamp) return;
  time_t now = std::time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  std::fprintf(f, "%02d, %02d.%02d.%02d\t", local.tm_mday, local.tm_hour, local.tm_min,
               local.tm_sec);
}

void WriteTrace(const char* a, bool noStamp) {
  if (a == nullptr || a[0] == '\0') return;
  echo(PVK_TXT "\n", a);
  FILE* f = beginLine(noStamp);
  if (f == nullptr) return;
  std::fprintf(f, PVK_TXT "\r\n", a);
  std::fclose(f);
}

void WriteTrace(const char* a, const char* b, bool noStamp) {
  if (a == nullptr || b == nullptr) return;
  echo(PVK_TXT " " PVK_TXT "\n", a, b);
  FILE* f = beginLine(noStamp);
  if (f == nullptr) return;
  std::fprintf(f, PVK_TXT " " PVK_TXT "\r\n", a, b);
  std::fclose(f);
}

void WriteTrace(const char* a, const char* b, const char* c, bool noStamp) {
  if (a == nullptr || b == nullptr || c == nullptr) return;
  echo(PVK_TXT " " PVK_TXT " " PVK_TXT "\n", a, b, c);
  FILE* f = beginLine(noStamp);
  if (f == nullptr) return;
  std::fprintf(f, PVK_TXT " " PVK_TXT " " PVK_TXT "\r\n", a, b, c);
  std::fclose(f);
}

void WriteTrace(const char* a, const char* b, const char* c, const char* d, bool noStamp) {
  if (a == nullptr || b == nullptr || c == nullptr || d == nullptr) return;
  FILE* f = beginLine(noStamp);
  if (f == nullptr) return;
  std::fprintf(f, PVK_TXT " " PVK_TXT " " PVK_TXT " " PVK_TXT "\r\n", a, b, c, d);
  std::fclose(f);
}

void WriteTrace(const char* a, int v, int format, bool noStamp) {
  if (a == nullptr || a[0] == '\0') return;
  echo(PVK_TXT " %d\n", a, v);
  FILE* f = beginLine(noStamp);
  if (f == nullptr) return;
  if (format == 1)
    std::fprintf(f, PVK_TXT " 0x%04x\r\n", a, static_cast<unsigned>(v));
  else
    std::fprintf(f, PVK_TXT " %d\r\n", a, v);
  std::fclose(f);
}

void WriteTrace(const char* a, int v, bool noStamp) { WriteTrace(a, v, 0, noStamp); }

void WriteTrace(const char* a, const char* b, int v, bool noStamp) {
  if (a == nullptr || b == nullptr) return;
  echo(PVK_TXT " " PVK_TXT " %d\n", a, b, v);
  FILE* f = beginLine(noStamp);
  if (f == nullptr) return;
  std::fprintf(f, PVK_TXT " " PVK_TXT " %d\r\n", a, b, v);
  std::fclose(f);
}

void WriteTrace(const char* a, const char* b, const char* c, int v, bool noStamp) {
  if (a == nullptr || b == nullptr || c == nullptr) return;
  echo(PVK_TXT " " PVK_TXT " " PVK_TXT " %d\n", a, b, c, v);
  FILE* f = beginLine(noStamp);
  if (f == nullptr) return;
  std::fprintf(f, PVK_TXT PVK_TXT PVK_TXT " %d\r\n", a, b, c, v);
  std::fclose(f);
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
