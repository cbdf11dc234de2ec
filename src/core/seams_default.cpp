// Stand-ins until the device, correction and acquisition folders define these; see seams.h.
#include "core/records.h"
#include "core/seams.h"

__attribute__((weak)) bool RiapriDevice() { return false; }
__attribute__((weak)) void CorrModeResetAll() {}
__attribute__((weak)) void TracciaDevice() {}
__attribute__((weak)) unsigned short DefaultHeight150() {
  return AcqDefault.maxHeight150 != 0 ? AcqDefault.maxHeight150 : 2048;
}
__attribute__((weak)) uint64_t initAcqBlock() { return 0xC00000; }
