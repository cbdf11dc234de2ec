// Inside the software scanner: the hooks by which the firmware model reaches the sheet model.
#pragma once

#include <cstdint>

#include "bus.h"

namespace pvk::emulator {

// The raw status bits of the sheet for this status read (counts the read).
uint32_t sheetStatus(Device& d);
// An acquisition start: the sheet moves on (and leaves after its count).
void sheetMoved(Device& d);
// The bus is emptied.
void sheetReset();

}  // namespace pvk::emulator
