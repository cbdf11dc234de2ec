// The document road: a document from the photocell to finished side images. Scanner open and
// close, the side images asked for, the acquisition of one document (engine, deskew, crop and
// stamp of its sides), the acquire step of scan-and-read, the paper moves that acquire a
// document whose image is thrown away, and the rules of the road kept apart from the device.
#pragma once

#include <cstdint>

#include "PlavikMS.h"
#include "core/records.h"

// ---- Scanner open and close ----------------------------------------------------------------

// The whole opening for the host: start-up, the device opened, the scanner made ready, the
// default colour checked. The handle, or -1 with the last result saying why.
int Vx3Initialize(unsigned short pid, char* cnfDir, int first, char* serial);

// Enables (on >= 1) or disables the scanner; 0 when the device accepted it, else the last result.
int Vx3ScanEnable(short on);
// Turns a connected device into one ready to acquire. False when the composition cannot be
// read, the image preparation fails or the configuration directory cannot be set; without
// external power it still returns true with the warning 9 as last result.
bool ScannerOpen(char* cnfdir);
// Stops any acquisition and frees every side, zone and magnetic sample buffer; `reset` also
// resets the device.
void ScannerClose(bool reset);
// Frees the zone image of a side (0..2); with clearDpi also forgets the dpi the zones asked for.
void MyOcrFree(uint16_t side, bool clearDpi);

// ---- Side images of the next document -------------------------------------------------------

// The output resolution of each side (0: side not produced; a backlight resolution must be
// the one of its side), which also picks the acquisition mode unless one is locked. False
// with -3 or -15 as the last result.
bool Vx3PVKImgCreate(short dpiFront, short dpiRear, short dpiBacklight);
// Frees the endorsement image, every side buffer and the magnetic samples; 0.
int Vx3PVKImgFree();

namespace pvk::document {
// What scan-and-read does when the host did not free and create the images since the last
// document: as Vx3PVKImgFree then Vx3PVKImgCreate at the output resolutions already set, but an
// endorsement armed for the coming document is kept. Vx3PVKImgCreate's result.
bool recreateSideImages();
}  // namespace pvk::document

// ---- One document and paper moves ----------------------------------------------------------

// Acquires one document into the three side records of MyDev; `lines` 0 takes the maximum for
// the current height. Returns the result code (also the last result).
int32_t AcquireImg(uint16_t lines, ImgInfo* sides, bool forward);
// The acquisition step of scan-and-read; false on failure (the last result says why).
bool Vx3Read_AcquireImg();
// Paper moves: the records are saved and restored around an acquisition whose image is
// thrown away. Results: 0, -3 (dpi 0), -15 (backward not allowed), -19 (stop request) or the
// acquisition's code; a timeout waiting for paper counts as done.
int32_t Vx3MoveScannerLines(bool forward, uint16_t lines, uint16_t dpi, bool noFeedFlag, uint16_t seconds,
                            uint16_t milliseconds, bool lastFlag);
int32_t Vx3MoveScannerLines_(bool forward, uint16_t lines, uint16_t dpi, bool noFeedFlag, uint16_t seconds,
                             uint16_t milliseconds, bool lastFlag);
// Moves by `lines` at `dpi`, or by time (`milliseconds`) when lines is 0.
int32_t Vx3MoveScanner(bool lastFlag, bool forward, int milliseconds, uint16_t dpi, uint16_t lines);
int32_t Vx3PreScan(uint16_t seconds, uint16_t milliseconds);
// Moves a next document that was found inserted back out of the way.
void MuoviSeGiaInseritoProssimo();

namespace pvk::document {

// The firmware capability flags that scanner open derives from the firmware version.
struct FirmwareCaps {
  uint8_t a, b, c, d, e, f, g, backward, h, backward2, i, j, fw3000;
};
// compositionBit22: the composition reports the side-switch feature; greyForcing: the
// device's grey-forcing word is non-zero; the serial identifies a model whose rear stays on.
FirmwareCaps firmwareCaps(uint16_t fw, uint16_t productId, uint32_t serialHigh, uint32_t serialLow,
                          bool compositionBit22, bool greyForcing);
// Puts the flags into the device record, with the calibration capabilities they stand for.
void storeFirmwareCaps(const FirmwareCaps& caps);

// Deskew angles of front and rear (radians, kNoAngle when none) combined into the one turn
// both sides get; see combineAngles in document_rules.cpp for the rules.
struct AngleInput {
  float front, rear;
  uint16_t frontWeight, rearWeight;
  bool micr;            // MICR enabled
  bool deskewMicr;      // deskew from the MICR side allowed
  bool micrReverse;     // MICR reverse-signal flag
  bool onePart;
  bool tallDocument;    // front height + rear height >= the two trim widths
};
void combineAngles(const AngleInput& in, float& front, float& rear);

// Height and trim top of one side after the lines skipped at its top.
struct SkipResult {
  uint16_t height, trimTop, fullHeight;
};
SkipResult skipTop(uint16_t height, uint16_t trimTop, bool topSkipDevice, uint16_t topSkip, uint16_t addSkip,
                   bool streamRead);

// Lines of a paper move at the front vertical dpi, rounded up to a multiple of the granularity
// (0 counts as 1).
uint32_t moveLines(uint32_t lines300, uint32_t frontDpiV, uint16_t granularity);
// Lines at 150 dpi of a paper move by time.
uint16_t moveByTimeLines150(uint16_t fw, int milliseconds, uint16_t defaultHeight150);

// The magnetic head's optical offset in lines at 300 dpi from the document edge found by the
// deskew (rows at the maximum vertical dpi); an edge outside the image counts as 0.
uint16_t opticalOffset300(int edgeRows, int maxDpiV);

// The short-cheque test of scan-and-read: true when the document may have holes.
bool chequeTooShort(int frontTrimWidth, int rearTrimWidth, int frontDpiH, int frontHeight, int frontDpiV,
                    int rearHeight, int rearDpiV);

// A scanner ends a document's stream once the paper has passed its sensors: a stream that
// ended before the bytes asked for shows paper in some row and the transport's dark background
// in its last. False for a side that shows paper to its last row, or none at all: a stream cut
// inside the document. Rows are those the engine wrote from firstRow (before the top skips).
bool streamHoldsWholeDocument(const ImgInfo& side);

// Deskews, crops and stamps the used sides of `sides` (rear then front); 0, or -4 when a side
// could not be processed (traced).
int32_t finishSides(ImgInfo* sides, bool secondPart);

// The endorser's per-document flags as the document road sees them.
void inkjetPrintedClear();
bool inkjetPrinted();
void inkjetArmedClear();

}  // namespace pvk::document
