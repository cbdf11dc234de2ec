// Inside the software scanner: the hooks by which the firmware model reaches the stripe reader.
#pragma once

#include <cstdint>

#include "bus.h"

namespace pvk::emulator {

// Data-ready bits (13, 14, 15) of the tracks that hold characters, for this status read.
uint32_t stripeStatus(Device& d);
// The reply of a track request (track 0..2): byte 1 the count, then the characters.
int stripeReply(Device& d, int track, unsigned char* data, uint16_t length);
// The buffer-reset command: the device forgets the swipe.
void stripeClear(Device& d);
// The bus is emptied.
void stripeBusReset();

}  // namespace pvk::emulator
