// Conversions between the three position scales of a codeline: bar-profile positions (two per
// image column), optical columns and magnetic samples (ratio samples per three columns, placed by
// the scan's offset against the head's reference).
#include "micr/micr.h"

int IniBarre2IniOttico(int n, int* start, int* end) {
  if (n < 0) return 0;
  for (int i = 0; i < n; ++i) {
    start[i] /= 2;
    end[i] /= 2;
  }
  return n;
}

int IniOttico2IniBarre(int n, int* start, int* end) {
  if (n < 0) return 0;
  for (int i = 0; i < n; ++i) {
    start[i] *= 2;
    end[i] *= 2;
  }
  return n;
}

int IniMagnetico2IniOttico(int n, int* start, int* end, int off) {
  const int ratio = MyMICR.samplesPer3Px;
  // Without a sample rate there is no optical place for a sample.
  if (n < 0 || ratio == 0) return 0;
  const int shift = off - MyMICR.refOffset;
  for (int i = 0; i < n; ++i) {
    start[i] = static_cast<int>(start[i] * 3.0 / ratio) - shift;
    end[i] = static_cast<int>(end[i] * 3.0 / ratio) - shift;
  }
  return n;
}

namespace {

int toMagnetic(int column, int off) {
  return static_cast<int>(static_cast<double>(column + off - MyMICR.refOffset) * MyMICR.samplesPer3Px / 3.0);
}

}  // namespace

int IniOttico2IniMagnetico(int n, int* start, int* end, int off) {
  if (n < 0) return 0;
  for (int i = 0; i < n; ++i) {
    start[i] = toMagnetic(start[i], off);
    end[i] = toMagnetic(end[i], off);
  }
  return n;
}

int IniOttico2IniMagnetico(int n, const ChInfo* boxes, int* start, int* end, int off) {
  if (n < 0 || boxes == nullptr) return 0;
  for (int i = 0; i < n; ++i) {
    start[i] = toMagnetic(boxes[i].left, off);
    end[i] = toMagnetic(boxes[i].right, off);
  }
  return n;
}
