// Inside the software scanner: the hooks by which the image stream and the status reach the
// calibration sheet.
#pragma once

#include <cstdint>

#include "bus.h"

namespace pvk::emulator {

// At an acquisition start with a calibration sheet in: feeds the stretch of sheet the block
// asks for and moves the sheet. True when the sheet has nothing left to stream (the stream is
// then empty).
bool calibrationSheetFeed(Device& d);
// The raw value of a pixel of the sheet, with its dirty and bright black columns.
uint8_t calibrationSheetPixel(const Device& d, int side, uint32_t x, int ledLevel, int black, uint8_t raw);
// A calibration sheet is in the device's transport.
bool calibrationSheetIn(const Device& d);
// The entry photocell bit while the sheet covers it.
uint32_t calibrationSheetStatus(const Device& d);
void calibrationSheetReset();

}  // namespace pvk::emulator
