// Stand-ins for the calls of acq_seams.h until their owners define them.
#include "acquisition/acq_seams.h"
#include "core/records.h"

__attribute__((weak)) uint8_t stopAcq = 0;
__attribute__((weak)) uint8_t inviatoPktend = 0;
__attribute__((weak)) bool isValidDevice() { return MyDev.state > 0; }
__attribute__((weak)) void FermaAcquisizione(int, bool, bool) {}
__attribute__((weak)) int Vx3BaseContrlMsg(int, int, char*, int, bool) { return -1; }
__attribute__((weak)) bool Vx3BaseBulkRead(int, unsigned char*, unsigned long& size, bool) {
  size = 0;
  return false;
}
__attribute__((weak)) bool MyDevImgInitWithMode(unsigned short, unsigned char, bool) {
  return false;
}

namespace pvk::acquisition {
__attribute__((weak)) uint8_t inkjetConfigBits() { return 0; }

namespace {
void imgInitDefault(uint8_t mode) { MyDevImgInitWithMode(0, mode, true); }
}  // namespace
void (*imgInitForMode)(uint8_t mode) = imgInitDefault;
int (*controlRequest)(int bank, int reg, char* buffer, int length, bool in) = Vx3BaseContrlMsg;
}  // namespace pvk::acquisition
