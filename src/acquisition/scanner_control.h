// Scanner control: the parameter table, colour and side switches, the automatic side and
// rotation defaults, the save and restore of the device state around paper moves, the stop
// request, and the sheet routines (photocell, cleaning, counters, first-part copy).
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
void TracciaDevice();
void Vx3SetDefaultDBDir();
void PatchBordiFWOld(ImgInfo* img);

// MyDevImgTrimReset and ImgInfoToPVKImg, the side-record utilities, are declared in PlavikMS.h.

namespace pvk::acquisition {

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

}  // namespace pvk::acquisition
