// Trace lines and small shared steps of image output: every refusal of this folder is traced
// here with its "err - " or "war - " prefix and stored as the device's last result.
#include <cerrno>
#include <cstdio>
#include <string>

#include "core/atomic_file.h"
#include "core/trace.h"
#include "image/image.h"

namespace pvk::image {

namespace {

void line(const char* prefix, const char* text, const char* more)
{
  std::string s(prefix);
  s += text ? text : "";
  if (more) {
    s += ' ';
    s += more;
  }
  WriteTrace(s.c_str(), false);
}

void line(const char* prefix, const char* text, long value)
{
  std::string s(prefix);
  s += text ? text : "";
  s += ' ';
  s += std::to_string(value);
  WriteTrace(s.c_str(), false);
}

}  // namespace

int setResult(int code)
{
  MyDev.lastResult = code;
  return code;
}

void traceError(const char* text) { line("err - ", text, nullptr); }
void traceError(const char* text, long value) { line("err - ", text, value); }
void traceError(const char* text, const char* more) { line("err - ", text, more ? more : "(null)"); }
void traceWarning(const char* text) { line("war - ", text, nullptr); }
void traceWarning(const char* text, long value) { line("war - ", text, value); }
void traceWarning(const char* text, const char* more) { line("war - ", text, more ? more : "(null)"); }
void traceInfo(const char* text) { line("", text, nullptr); }
void traceInfo(const char* text, long value) { line("", text, value); }

FileWrite writeFile(const char* path, const void* data, size_t size)
{
  // Whole or not at all: a full disk leaves the old file as it was and no partial file.
  pvk::core::AtomicFile f(path);
  if (!path || !f.open())
    return FileWrite::NotOpened;
  f.write(data, size);
  return f.commit() ? FileWrite::Done : FileWrite::NotWritten;
}

bool writeWholeFile(const char* path, const void* data, size_t size)
{
  return writeFile(path, data, size) == FileWrite::Done;
}

}  // namespace pvk::image
