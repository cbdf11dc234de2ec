// Result codes: the last result lives in the device record; messages come from the one table
// in the public header.
#include "core/results.h"

#include <cstring>

#include "core/records.h"
#include "core/trace.h"

namespace pvk::core {

const char* resultMessage(int code) {
  switch (code) {
#define PVK_RESULT_CASE_(value, name, message) \
  case value:                                  \
    return message;
    PVK_RESULT_CODES(PVK_RESULT_CASE_)
#undef PVK_RESULT_CASE_
    default:
      return "Unknown error.";
  }
}

}  // namespace pvk::core

void Vx3ResultSet(int code) { MyDev.lastResult = code; }

int Vx3ResultGet() { return MyDev.lastResult; }

int Vx3ResultMsg(int code, char* buf, short size) {
  const char* msg = pvk::core::resultMessage(code);
  const int n = static_cast<int>(std::strlen(msg)) + 1;
  if (size < 1) return n;
  if (buf == nullptr) {
    WriteTrace("err - ", "error message buffer invalid", false);
    Vx3ResultSet(PVK_ERR_INV_PARAMETER);
    return -1;
  }
  if (n <= size) {
    std::memcpy(buf, msg, static_cast<size_t>(n));
    return n;
  }
  buf[0] = '\0';
  WriteTrace("err - ", "error message buffer too small", false);
  Vx3ResultSet(PVK_ERR_INV_PARAMETER);
  return -1;
}
