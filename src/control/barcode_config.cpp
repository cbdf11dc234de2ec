// Barcode symbology switches of parameter 16 and the first-barcode-read state.
#include "control/control.h"

#include <cstring>

#include "core/records.h"

int FirstBarcodeRead = VX3_BARCODE_NONE;

namespace {

// Index of a symbology's flag in MyOcr.barcodeDisabled, or -1 when `type` names none. The
// flags lie in the order Codabar, EAN-8, EAN-13, Code 39, I2of5, Code 128, Code 93, UPC-A, UPC-E.
int flagIndex(short type) {
  switch (type) {
    case VX3_BARCODE_CODABAR: return 0;
    case VX3_BARCODE_EAN8: return 1;
    case VX3_BARCODE_EAN13: return 2;
    case VX3_BARCODE_CODE39: return 3;
    case VX3_BARCODE_I2OF5: return 4;
    case VX3_BARCODE_CODE128: return 5;
    case VX3_BARCODE_CODE93: return 6;
    case VX3_BARCODE_UPCA: return 7;
    case VX3_BARCODE_UPCE: return 8;
    default: return -1;
  }
}

}  // namespace

bool Vx3BarcodeTypeEnable(short type, bool /*fromParameter*/) {
  static_assert(sizeof MyOcr.barcodeDisabled == 9, "one flag per symbology");
  if (type == VX3_BARCODE_NONE) {
    std::memset(MyOcr.barcodeDisabled, 1, sizeof MyOcr.barcodeDisabled);
    return true;
  }
  if (type == VX3_BARCODE_ALL) {
    std::memset(MyOcr.barcodeDisabled, 0, sizeof MyOcr.barcodeDisabled);
    return true;
  }
  int i = flagIndex(type);
  if (i < 0) return false;
  MyOcr.barcodeDisabled[i] = 0;
  return true;
}

int IsVx3BarcodeTypeEnabled(short type) {
  int i = flagIndex(type);
  return i < 0 ? 0 : (MyOcr.barcodeDisabled[i] == 0 ? 1 : 0);
}

int IsBarcodeEnabled(short font) {
  return IsVx3BarcodeTypeEnabled(static_cast<short>(font - 300));
}

void AggiornaFirstBarcodeRead(VX3_BARCODE code) {
  if (code == VX3_BARCODE_NONE || FirstBarcodeRead == VX3_BARCODE_NONE) FirstBarcodeRead = code;
}

short WhichIsFirstBarcodeRead() { return static_cast<short>(FirstBarcodeRead); }
