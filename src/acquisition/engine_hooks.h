// The two calls of the acquisition engine and the correction record that tests point elsewhere:
// the vendor control request and the preparation of the side records for a mode. Both default
// to the real calls.
#pragma once

#include <cstdint>

namespace pvk::acquisition {

// Vendor control requests of this folder; Vx3BaseContrlMsg unless a test points it elsewhere.
extern int (*controlRequest)(int bank, int reg, char* buffer, int length, bool in);
// Records for the current mode, without buffers; tests may point it elsewhere.
extern void (*imgInitForMode)(uint8_t mode);

}  // namespace pvk::acquisition
