// The defaults of the engine's replaceable calls; see acquisition.h.
#include "acquisition/acquisition.h"

#include "control/control.h"
#include "device/device.h"

namespace pvk::acquisition {

namespace {
void imgInitDefault(uint8_t mode) { MyDevImgInitWithMode(0, mode, true); }
}  // namespace

void (*imgInitForMode)(uint8_t mode) = imgInitDefault;
int (*controlRequest)(int bank, int reg, char* buffer, int length, bool in) = Vx3BaseContrlMsg;

}  // namespace pvk::acquisition
