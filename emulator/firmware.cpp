// The scanner's firmware model: the vendor control requests of banks 208, 209 and 210 and the
// replies a device gives them, worked out from the wire tables of the protocol.
#include <cstring>

#include "bus.h"
#include "image_stream.h"
#include "sheet_model.h"
#include "calibration_sheet.h"
#include "inkjet_head.h"
#include "stripe_reader.h"

namespace pvk::emulator {
namespace {

constexpr uint8_t kVendorIn = 0xC0;
constexpr uint8_t kVendorOut = 0x40;
constexpr uint8_t kVendorRequest = 4;

// Composition reply length by firmware range.
int compositionLength(uint16_t fw) {
  if (fw < 0x2010) return 2;
  if (fw < 0x3000) return 3;
  if (fw <= 0x3106) return 4;
  return 8;
}

int reply(unsigned char* data, uint16_t room, const uint8_t* bytes, int n) {
  int k = n < room ? n : room;
  if (k > 0) std::memcpy(data, bytes, static_cast<size_t>(k));
  return k;
}

void putLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

int versionReply(uint16_t fw, unsigned char* data, uint16_t room) {
  uint8_t r[5] = {0, static_cast<uint8_t>((fw >> 12) & 15), static_cast<uint8_t>((fw >> 8) & 15),
                  static_cast<uint8_t>((fw >> 4) & 15), static_cast<uint8_t>(fw & 15)};
  return reply(data, room, r, 5);
}

int compositionReply(const Device& d, unsigned char* data, uint16_t room) {
  const pvkemu_profile& p = d.profile;
  uint32_t l = p.composition_low;
  uint8_t r[8] = {0, static_cast<uint8_t>(l), p.device_class, static_cast<uint8_t>(l >> 8), 0, 0, 0, 0};
  if (p.firmware >= 0x4000) {
    r[4] = static_cast<uint8_t>(l >> 16);
    r[5] = static_cast<uint8_t>(l >> 24);
    r[6] = static_cast<uint8_t>(p.composition_high);
    r[7] = static_cast<uint8_t>(p.composition_high >> 8);
  }
  return reply(data, room, r, compositionLength(p.firmware));
}

uint32_t ownStatus(const Device& d) {
  uint32_t raw = d.profile.status & ~(1u << 1);
  if (d.scanEnabled) raw |= 1u << 1;
  if (d.stripeEnabled) raw |= 1u << 12;
  return raw;
}

int statusReply(Device& d, unsigned char* data, uint16_t room) {
  uint32_t raw = ownStatus(d) | sheetStatus(d) | stripeStatus(d) | calibrationSheetStatus(d);
  if (d.statusPos < d.statusScript.size()) raw = d.statusScript[d.statusPos++];
  uint8_t r[8] = {0};
  putLe32(r + 1, raw);
  r[5] = static_cast<uint8_t>(d.profile.status_high);
  r[6] = static_cast<uint8_t>(d.profile.status_high >> 8);
  return reply(data, room, r, 8);
}

bool hasInkjet(const pvkemu_profile& p) { return p.firmware >= 0x3000 && (p.composition_low & (1u << 9)); }

// A data request IN (wLength above 1). Returns bytes or a libusb error.
int dataIn(Device& d, uint16_t value, unsigned char* data, uint16_t length) {
  pvkemu_profile& p = d.profile;
  uint8_t r[64] = {0};
  switch (value) {
    case 1: return compositionReply(d, data, length);
    case 2: return versionReply(p.firmware, data, length);
    case 3: return statusReply(d, data, length);
    case 8:
      r[1] = static_cast<uint8_t>(p.special_hw);
      r[2] = static_cast<uint8_t>(p.special_hw >> 8);
      r[3] = static_cast<uint8_t>(p.special_hw >> 16);
      return reply(data, length, r, 8);
    case 12: return reply(data, length, r, 8);  // preparatory read of 0x4001..0x4008 firmware
    case 19: return eepromRead(d, data, length);  // factory calibration data
    case 21: return reply(data, length, p.photo_tuning, 8);
    case 30:  // capability byte, only firmware above 0x3103 knows the request
      if (p.firmware <= 0x3103) return LIBUSB_ERROR_PIPE;
      r[1] = p.capability;
      return reply(data, length, r, 8);
    case 40: return reply(data, length, p.head_config, 16);
    case 42: putLe32(r, p.pages); return reply(data, length, r, 4);
    case 45: putLe32(r, p.stamps); return reply(data, length, r, 4);
    case 52: case 53: case 54: return stripeReply(d, value - 52, data, length);
    case 60:
      if (p.alt_firmware == 0) return LIBUSB_ERROR_PIPE;
      return versionReply(p.alt_firmware, data, length);
    case 80: return hasInkjet(p) ? inkjetPrintedReply(d, data, length) : LIBUSB_ERROR_PIPE;
    case 81: return hasInkjet(p) ? reply(data, length, p.inkjet_config, 64) : LIBUSB_ERROR_PIPE;
    default: return LIBUSB_ERROR_PIPE;
  }
}

// A command: IN with no data (old firmware) or one scratch byte. Returns 0 or the error.
int command(Device& d, uint16_t value) {
  pvkemu_profile& p = d.profile;
  bool fw3000 = p.firmware >= 0x3000;
  switch (value) {
    case 9: case 10:
      if (!fw3000) return LIBUSB_ERROR_PIPE;
      d.scanEnabled = value == 9;
      return 0;
    case 15: case 16:
      if (fw3000) return LIBUSB_ERROR_PIPE;
      d.scanEnabled = value == 15;
      return 0;
    // Busy scan, the second stop and the packet end belong to one command set each.
    case 18: case 19:
      if (fw3000) return LIBUSB_ERROR_PIPE;
      d.scanBusy = value == 18;
      return 0;
    case 64: case 65:
      if (!fw3000) return LIBUSB_ERROR_PIPE;
      d.scanBusy = value == 64;
      return 0;
    case 33: case 34:
      return fw3000 ? LIBUSB_ERROR_PIPE : 0;
    case 63: case 67:
      return fw3000 ? 0 : LIBUSB_ERROR_PIPE;
    case 43: ++p.pages; return 0;
    case 46: ++p.stamps; return 0;
    case 55: d.stripeEnabled = true; return 0;
    case 56: d.stripeEnabled = false; return 0;
    case 70: case 71:
      if (!hasInkjet(p)) return LIBUSB_ERROR_PIPE;
      d.inkjetPrinting = value == 70;
      if (value == 70) inkjetStart(d);
      return 0;
    case 62: {  // acquisition start, second command: the document in the transport streams
      const bool in = sheetIn(d);
      sheetMoved(d);
      imageStreamStart(d, in);
      // Once through, the document is out of the device: a second start without a new
      // document has none to scan.
      if (in && !sheetIn(d)) imageStreamDocumentLeft(d);
      return 0;
    }
    case 51: stripeClear(d); return 0;
    case 11: case 12: case 35: case 66:
      return 0;
    default: return LIBUSB_ERROR_PIPE;
  }
}

int dataOut(Device& d, uint16_t value, const unsigned char* data, uint16_t length) {
  switch (value) {
    case 17:
      if (length != 1 || (data[0] != 3 && data[0] != 6)) return LIBUSB_ERROR_PIPE;
      d.eepromSet = data[0];
      eepromSelect(d, data[0]);
      return 1;
    case 20:
      if (length != 8) return LIBUSB_ERROR_PIPE;
      std::memcpy(d.profile.photo_tuning, data, 8);
      return 8;
    case 34: return length == 1 ? 1 : LIBUSB_ERROR_PIPE;  // buzzer on
    case 61:
      if (length != 33) return LIBUSB_ERROR_PIPE;
      std::memcpy(d.configBlock, data, 33);
      d.configBlockValid = true;
      return 33;
    case 72:
      if (length != 8 || !hasInkjet(d.profile)) return LIBUSB_ERROR_PIPE;
      inkjetSetUp(d, data);
      return 8;
    default: return LIBUSB_ERROR_PIPE;
  }
}

}  // namespace

int firmwareControl(Device& d, uint8_t requestType, uint8_t request, uint16_t value,
                    unsigned char* data, uint16_t length) {
  if (request != kVendorRequest) return LIBUSB_ERROR_PIPE;
  if (requestType == kVendorOut) {
    if (length > 0 && !data) return LIBUSB_ERROR_INVALID_PARAM;
    return dataOut(d, value, data, length);
  }
  if (requestType != kVendorIn) return LIBUSB_ERROR_PIPE;
  // Three wValues are both a data request and a command (12, 19 and 34): a command carries at
  // most one scratch byte, the data requests ask for their full reply.
  if (length <= 1) {
    int rc = command(d, value);
    if (rc < 0) return rc;
    if (length == 1) {
      if (!data) return LIBUSB_ERROR_INVALID_PARAM;
      data[0] = 0;
    }
    return length;
  }
  if (!data) return LIBUSB_ERROR_INVALID_PARAM;
  return dataIn(d, value, data, length);
}

}  // namespace pvk::emulator
