// Inside the software scanner: the hooks by which the firmware model reaches the sheet model.
#pragma once

#include <cstdint>

#include "bus.h"

namespace pvk::emulator {

// The raw status bits of the sheet for this status read (counts the read).
uint32_t sheetStatus(Device& d);
// Whether a sheet shows at the photocell or in the feeder now (does not count as a status read).
bool sheetIn(const Device& d);
// An acquisition start: the sheet moves on (and leaves after its count).
void sheetMoved(Device& d);
// A document was fed: unless a sheet is set and not gone yet, one shows at the entry photocell
// from the next status read and leaves after the next acquisition start.
void sheetFed(Device& d);
// The bus is emptied.
void sheetReset();

}  // namespace pvk::emulator
