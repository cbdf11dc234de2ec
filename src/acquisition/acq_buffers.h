// Acquisition modes and side buffers: the choice of a device mode before every acquisition,
// the geometry it gives each side, and the one raw buffer that the bulk reader fills. The
// front record owns that buffer; the rear and backlight records are views into it.
#pragma once

#include <cstdint>

#include "core/records.h"

// Default document height in lines at 150 dpi: the INI MaxHeight150 when set, else 2048, with
// a feeder 2304 during a calibration or paper move and 4352 otherwise, plus 512 with an inkjet;
// times 4 while MICR reading is on.
unsigned short DefaultHeight150();
// 2048 (2304 with a feeder) plus 512 with an inkjet: the upper bound of parameter 9.
unsigned short MaxHeight150();
// The best-resolution mode: 3 on firmware 0x3001 and later, else 0 (-11 on 0x2205..0x2209).
unsigned char ResModeBest();
// Prepares the side records and their buffer for `lines` lines (0: records only). False with
// the last result -3 (mode refused), -11 (firmware), -1 (no firmware version) or -4 (memory).
bool MyDevImgInit(unsigned short lines, bool);
// MyDevImgInit with `mode` when a mode is locked; a failure puts MyAcq back as it was.
bool MyDevImgInitWithMode(unsigned short lines, unsigned char mode, bool);
// Geometry of the current (or automatically chosen) mode for the connected firmware.
bool InitMyImgFW();
// True during a document acquisition: no paper move, timed move or calibration running.
bool isOCROperation();
// Frees the buffers of a record triple (rows used zeroed) and the magnetic sample buffer.
void FreeMyImg(ImgInfo* records);

// Mode selection, standard variant and the product-0x000B variant.
void SetAcquisitionMode(unsigned int hdpi, unsigned int vdpi);
void SetAcquisitionMode_MOX(unsigned int hdpi, unsigned int vdpi);
bool PID0009_Rev3000_SetAcquisitionMode();
bool ModoAbilitato();
bool ModoAbilitatoMOX();
bool PID0009_Rev3000_InitMyImg();
bool PID0009_Rev3000_InitMyImg_MOX();
unsigned char PID0009_Rev3000_BestResMode();
unsigned char PID0009_Rev3000_BestResMode_MOX();

// The steps of MyDevImgInit on a record triple.
void SetHeightOffset(ImgInfo* records);
void SetImgHeight(ImgInfo* records, unsigned short lines);
bool SetImgBuffer(ImgInfo* records);
void CheckImgSize(ImgInfo* records);

namespace pvk::acquisition {

constexpr uint16_t kProductMox = 0x000B;
constexpr uint16_t kProductWide = 0x000E;  // sensor of 2592 pixels at 600 dpi

// One row of the mode table.
struct ModeInfo {
  uint16_t dpiH;        // 0: the mode does not exist
  uint32_t timing;      // line timing code
};
ModeInfo modeInfo(int mode);
// Lines per second of a timing code: 1000 -> 100, 1001 -> 200, 15 -> 300, 1003 -> 600, else 900.
unsigned lineRate(uint32_t timing);
// Whether the mode table lets `mode` run with the current options and device.
bool modeAllowed(int mode, bool mox);
// The disabled-mode table as rebuilt before an automatic choice (nonzero = disabled).
void disabledModeTable(uint8_t table[8], bool mox);
// True on the product-0x000B model of the device's own vendor.
bool isMoxModel();
// The device record of the device's vendor with one of the given product ids.
bool isOwnProduct(uint16_t product);
// The head values the geometry uses, taken from the head configuration when a head is present:
// single-side and two-side samples from byte pairs 8/11 and 9/12, pixels per line from 13/14
// (fixed width when byte 1 bit 3 is set and the count is known), the grey and colour vertical
// limits from the head's two resolutions.
void syncHeadGeometry();

}  // namespace pvk::acquisition
