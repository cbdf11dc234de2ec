// Inside the software scanner: the hooks by which the firmware model and the bulk transfers
// reach the image stream, the sensor model and the factory calibration data.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bus.h"
#include "pvkemu_image.h"

namespace pvk::emulator {

// Feeds a document: a sheet laid on the transport (pvkemu_feed), or the sensors' own lines
// (pvkemu_feed_lines); atPhotocell false leaves the sheet model alone (the calibration sheet
// feeds itself one stretch at a time).
int feedDocument(int dev, const pvkemu_document* doc, bool atPhotocell, bool sheet);
// The acquisition start command: builds the stream of the fed document when a document is in
// the transport (documentIn), else the stream of an acquisition without one.
void imageStreamStart(Device& d, bool documentIn);
// The fed document has passed the sensors and left the device.
void imageStreamDocumentLeft(Device& d);
// Bytes were taken from the bulk stream (fires the byte-offset faults).
void imageStreamTaken(Device& d, size_t n);
// The bus is emptied.
void imageStreamReset();
// Drops the stream faults of every device.
void imageStreamClearFaults();
void eepromReset();

// Factory calibration requests: the data-set select and the 64-byte reads.
void eepromSelect(Device& d, uint8_t set);
int eepromRead(Device& d, unsigned char* data, uint16_t length);

// The sensor model of a device, or null.
const pvkemu_sensor* sensorOf(int dev);
// Pixels per column of a factory data set (3 or 6) for a product.
uint32_t eepromPixels(uint16_t product, int set);
// White response of a pixel at the calibration LED level, and its black offset.
int sensorWhite(const pvkemu_sensor& s, int dev, int side, uint32_t x, bool forData);
int sensorBlack(const pvkemu_sensor& s, int white);

}  // namespace pvk::emulator
