// The font database directory: read from the INI file or the configuration directory on first
// use, or set by the host. It always ends in a separator when it is not empty.
#include <cstring>

#include "control/control.h"
#include "core/trace.h"
#include "ocr/ocr.h"

namespace {

bool endsInSeparator(const char* text, size_t length) {
  return length > 0 && (text[length - 1] == '/' || text[length - 1] == '\\');
}

}  // namespace

int Vx3DBDirGet(char* dest, short size) {
  if (MyOcr.dbDir[0] == '\0') Vx3SetDefaultDBDir();
  const size_t length = strnlen(MyOcr.dbDir, sizeof MyOcr.dbDir - 1);
  if (dest == nullptr) {
    MyDev.lastResult = PVK_OK;
    return static_cast<int>(length) + 1;
  }
  if (size < 1) {
    WriteTrace("PVKDBDirGet, NULL size", false);
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    return -1;
  }
  std::memset(dest, 0, static_cast<size_t>(size));
  if (length >= static_cast<size_t>(size)) {
    WriteTrace("PVKDBDirGet, size too short", false);
    WriteTrace("to copy", MyOcr.dbDir, false);
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    return -1;
  }
  std::memcpy(dest, MyOcr.dbDir, length);
  MyDev.lastResult = PVK_OK;
  return 0;
}

int Vx3DBDirSet(const char* dir) {
  if (dir == nullptr) {
    WriteTrace("NULL DBDir", false);
    WriteTrace("keeping", MyOcr.dbDir, false);
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    return -1;
  }
  // The stored text needs room for a separator that may be appended and the terminator: a
  // text of 259 characters without a separator is refused like a longer one.
  const size_t length = strnlen(dir, sizeof MyOcr.dbDir);
  const bool addSeparator = length > 0 && !endsInSeparator(dir, length);
  if (length + (addSeparator ? 1 : 0) >= sizeof MyOcr.dbDir) {
    WriteTrace("DBDir too long", dir, false);
    WriteTrace("keeping", MyOcr.dbDir, false);
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    return -1;
  }
  char wanted[sizeof MyOcr.dbDir];
  std::memcpy(wanted, dir, length);
  if (addSeparator) wanted[length] = '/';
  wanted[length + (addSeparator ? 1 : 0)] = '\0';
  // The same directory again (with or without its separator) changes nothing.
  if (std::strcmp(wanted, MyOcr.dbDir) != 0) {
    std::memcpy(MyOcr.dbDir, wanted, sizeof wanted);
    WriteTrace("changing DBDir to", MyOcr.dbDir, false);
  }
  MyDev.lastResult = PVK_OK;
  return 0;
}
