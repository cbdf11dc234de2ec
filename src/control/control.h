// Scanner control: the options of the next acquisition and the state kept around it. The
// parameter table, colour and side switches, the acquisition modes and their tables, the side
// and magnetic buffers a mode shapes, the save and restore around paper moves, sheet handling,
// cleaning, counters, the barcode symbology switches and the side-record utilities.
#pragma once

#include <cstdint>

#include "PlavikMS.h"
#include "core/records.h"

struct CorInfoSide;
struct BrCrInfoSide;

// Parameter ids.
enum : unsigned short {
  VX3_PAR_COLOR = 0,
  VX3_PAR_AUTOROTATE = 1,
  VX3_PAR_TRIM = 2,
  VX3_PAR_DOC_TYPE = 3,
  VX3_PAR_ENHANCE_IMG = 4,
  VX3_PAR_THRESHOLD = 5,
  VX3_PAR_THRESHOLD2 = 6,
  VX3_PAR_MAX_HEIGHT_150DPI = 9,
  VX3_PAR_BARCODE_TYPE = 16,
  PAR_E13B_MAPPING = 17,
  VX3_PAR_BACKLIGHT = 19,
  VX3_PAR_ONLY_MICR = 20,
  VX3_PAR_IQA = 21,
  VX3_PAR_MSEC_WAIT_DOC = 100,
  VX3_PAR_MSEC_WAIT_BADGE = 101,
  MSEC_WAIT_START = 102,
  VX3_PAR_ACQ_TIMEOUT = 103,
  VX3_PAR_SLOW_ACQ = 104,
  VX3_PAR_DOUBLE_FEED = 111,
  VX3_PAR_SEQUENCE_CHECK = 112,
  VX3_PAR_DOUBLE_FEED_B = 118,
  VX3_PAR_DPI_FRONT = 121,
  VX3_PAR_DPI_REAR = 122,
  VX3_PAR_DPI_BACKLIGHT = 123,
  VX3_PAR_ACQ_MODE = 1000,
  VX3_PAR_CORRECT = 1001,
};

// Sets a parameter: 0 or a negative code, also the last result. `quiet` suppresses the traces
// of an unknown id and of a refused colour code.
int Vx3ParamSet(unsigned short id, short value, bool quiet);
// Reads a parameter: 0 (value written) or -3 (value untouched). Leaves the last result alone,
// except id 16 which sets it to 0.
int Vx3ParamGet(unsigned short id, short* value);

// Colour code: 1 grey, 2 colour, 3/4/5 one LED; +8 IR plane, +16 UV plane. A refused code puts
// MyAcq back as it was, sets -3 and returns false.
bool SetColor(unsigned char code, bool quiet);
bool SetFrontOff(bool off);
bool SetRearOff(bool off);
void SetDefaultSideAndRotationAuto();

// Moves the device state into the caller's records (which then own the buffers), and back.
// The restore frees what the live records hold; null records are refused with a trace.
void SalvaDevice(_DevInfo* dev, AcqInfo* acq, CorInfoSide* cor, BrCrInfoSide* brcr);
void RipristinaDevice(_DevInfo* dev, AcqInfo* acq, CorInfoSide* cor, BrCrInfoSide* brcr);

// Acquired height of a side (0, 1, 2; 8 and 9 the automatic rear and front) at `dpi`; 0 with a
// trace for a bad side, dpi or a side without vertical resolution.
int Vx3GetAcqHeight(short side, short dpi);
// Sets (value >= 1) or clears the stop request; returns 0.
int Vx3Stop(short value);
// Brightness and contrast of the front and rear correction tables, each -100..100.
int Vx3Brightness(short front, short rear);
int Vx3Contrast(short front, short rear);
// A paper move of `lines` at `dpi` with the acquisition timeout (30 s at least), through the
// road's hook.
int Vx3MoveScannerLinesOld(bool forward, unsigned short lines, unsigned short dpi);
// Photo-sensor tuning bytes (bank 208 registers 21 read, 20 write).
int Vx3PhotoTunRead(char* bytes8);
int Vx3PhotoTunWrite(const char* bytes8);

// ---- Sheet handling ---------------------------------------------------------------------

// True when a document is at the entry photocell (or in the feeder unless ignoreAdf); a failed
// status read sets `error`. With `confirm` a present document is read again after 300 ms.
bool DocInMaster(bool& error, bool confirm, bool ignoreAdf);
// Waits for the document before an acquisition; false with -10 (timeout), -19 (stop) or the
// status failure.
bool WaitFotocellula();
bool FotocellIsPresent();
// The cleaning cycle with a cleaning sheet: 0, -10 (no sheet), -21 (the sheet stayed in or the
// scanner cannot be enabled), -19, or the failing move's code.
int Vx3Clean();
void AggiornaNumPag();
void AggiornaNInkjet();
// Copies the three side records and the image bytes into the first-part records; -4 and false
// when out of memory.
bool PreparaSecondaAcq();
void Vx3SetDefaultDBDir();
void PatchBordiFWOld(ImgInfo* img);

// MyDevImgTrimReset and ImgInfoToPVKImg, the side-record utilities, are declared in PlavikMS.h.

// ---- Acquisition modes and side buffers ---------------------------------------------------
// The choice of a device mode before every acquisition, the geometry it gives each side, and
// the one raw buffer that the bulk reader fills. The front record owns that buffer; the rear
// and backlight records are views into it.

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

// ---- Barcode symbology switches -----------------------------------------------------------
// Which linear barcode symbologies the readers may yield, and which one was decoded first in
// the current document. The enable flags live in MyOcr (1 = symbology off).

// Symbology codes: the barcode font code minus 300.
enum VX3_BARCODE : int {
  VX3_BARCODE_NONE = -2,  // none decoded since the last reset; as an enable argument: all off
  VX3_BARCODE_ALL = -1,   // enable argument only: all on
  VX3_BARCODE_CODE39 = 0,
  VX3_BARCODE_I2OF5 = 1,
  VX3_BARCODE_CODE93 = 3,
  VX3_BARCODE_CODE128 = 4,
  VX3_BARCODE_CODABAR = 6,
  VX3_BARCODE_UPCA = 7,
  VX3_BARCODE_UPCE = 8,
  VX3_BARCODE_EAN8 = 9,
  VX3_BARCODE_EAN13 = 10,
};

// The first symbology decoded since the last reset; VX3_BARCODE_NONE at load.
extern int FirstBarcodeRead;

// -2 switches all nine off, -1 all on, a symbology code switches that one on. A code that
// names no symbology (2, 5, below -2, above 10) changes nothing and returns false. The flag
// takes no part in the behaviour.
bool Vx3BarcodeTypeEnable(short type, bool fromParameter);
// 1 when the symbology is enabled, 0 when disabled or when `type` names none.
int IsVx3BarcodeTypeEnabled(short type);
// IsVx3BarcodeTypeEnabled(font - 300): only the single-symbology fonts 300..310 answer 1, so
// the zone checks must not use it for font 7 (every enabled symbology).
int IsBarcodeEnabled(short font);
// -2 resets; otherwise the code is kept only when nothing was decoded since the reset.
void AggiornaFirstBarcodeRead(VX3_BARCODE code);
short WhichIsFirstBarcodeRead();

namespace pvk::control {

// The calls of the document road that this floor makes: calibration acquires and moves its
// sheet, the cleaning cycle moves its own. The road is a floor above, so they are installed
// when the library is loaded (src/api/floor_hooks.cpp); until then each traces and gives -1.
struct RoadHooks {
  int32_t (*acquireImg)(uint16_t lines, ImgInfo* sides, bool forward);  // AcquireImg
  int32_t (*moveScannerLines)(bool forward, uint16_t lines, uint16_t dpi, bool noFeedFlag,
                              uint16_t seconds, uint16_t milliseconds,
                              bool lastFlag);  // Vx3MoveScannerLines
};
extern RoadHooks roadHooks;

// Poll step of the photocell wait for a document wait of w ms: 1 ms below 50, 10 ms below
// 200, else 50 ms (0 included).
unsigned photocellStep(unsigned w);
// Products of the device's vendor that report a document at the entry: 3, 4, 8, 9 and 14.
bool reportsDocument();
// The paper move of each cleaning pass; Vx3MoveScannerLinesOld unless a test counts the moves.
extern int (*cleaningMove)(bool forward, unsigned short lines, unsigned short dpi);

// Status word bits used by the sheet routines.
constexpr long kStatusEnabled = 0x2;
constexpr long kStatusDocAtEntry = 0x4;
constexpr long kStatusDocInAdf = 0x20000;

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

}  // namespace pvk::control
