// Which linear barcode symbologies the readers may yield, and which one was decoded first in
// the current document. The enable flags live in MyOcr (1 = symbology off).
#pragma once

#include <cstdint>

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
