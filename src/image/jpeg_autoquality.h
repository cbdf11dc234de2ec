// JPEG auto-quality: the size window, the next-quality step and the search over one side.
#pragma once

#include <cstdint>

namespace pvk::image {

// Accepted file sizes in bytes.
struct QualityWindow {
  int64_t min;
  int64_t max;
};

// The window of KB_Min..KB_Max KiB, narrowed by 3 KiB at each end when wider than 6 KiB.
QualityWindow autoQualityWindow(uint16_t kbMin, uint16_t kbMax);
int clampQuality(int q);  // 1..100

enum class QualityStep { Inside, Next, StopAtOne, StopAt99 };

// One step of the search after an encoding of `size` bytes at quality q: Inside when the size
// is in the window; Next with q moved towards it (never past the bounds hi and lo seen so
// far, which are updated); StopAtOne / StopAt99 when q cannot move further.
QualityStep nextQuality(int& q, int64_t size, const QualityWindow& w, int& hi, int& lo);

struct AutoQualityRequest {
  int side;             // 0 rear, 1 front, 2 backlight: selects the [IQA] window
  const uint8_t* bmp;   // the side as an in-memory BMP; not changed by the encodings
  long bmpSize;
  uint8_t threshold;
  short format;         // the format word
  short dpi;
  short bpp;
};

// Encodes with the quality search (a single encoding when sizeOut is null). The result is
// released with free(); null with result -1 when the encoder fails.
uint8_t* encodeAutoQuality(const AutoQualityRequest& request, int* sizeOut);

}  // namespace pvk::image
