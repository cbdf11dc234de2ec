// Calls of the acquisition engine and the correction record into the device layer, the buffer
// preparation and the inkjet. Each has a weak stand-in in acq_seams_default.cpp that fails
// safely, so this folder links and is tested before those parts exist; the real definitions
// take precedence in the shipped library.
#pragma once

#include <cstdint>

// Device layer.
bool isValidDevice();
void FermaAcquisizione(int stop, bool force, bool packetEnd);
int Vx3BaseContrlMsg(int bank, int reg, char* buffer, int length, bool in);
bool Vx3BaseBulkRead(int timeout, unsigned char* buffer, unsigned long& size, bool);
// Stop request of the running acquisition (read by the bulk read) and the packet-end mark.
extern uint8_t stopAcq;
extern uint8_t inviatoPktend;
// Buffer preparation: the side records for a mode (0 lines = records only).
bool MyDevImgInitWithMode(unsigned short lines, unsigned char mode, bool);

namespace pvk::acquisition {
// Vendor control requests of this folder; Vx3BaseContrlMsg unless a test points it elsewhere.
extern int (*controlRequest)(int bank, int reg, char* buffer, int length, bool in);
// Records for the current mode, without buffers; tests may point it elsewhere.
extern void (*imgInitForMode)(uint8_t mode);
inline void seamImgInitWithMode(uint8_t mode) { imgInitForMode(mode); }
// The inkjet bits of configuration byte 3 (0x10, 0x20) when the endorser is armed and ready.
uint8_t inkjetConfigBits();
}  // namespace pvk::acquisition
