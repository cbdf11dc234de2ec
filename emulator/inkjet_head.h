// Inside the software scanner: the hooks by which the firmware model reaches the inkjet head.
#pragma once

#include <cstdint>

#include "bus.h"

namespace pvk::emulator {

// The print set-up block (8 bytes).
void inkjetSetUp(Device& d, const unsigned char* block);
// Print start (70): the head prints what arrived since the set-up block.
void inkjetStart(Device& d);
// The printed-count reply: bytes 1..4 the bytes printed.
int inkjetPrintedReply(Device& d, unsigned char* data, uint16_t length);
void inkjetBusReset();

}  // namespace pvk::emulator
