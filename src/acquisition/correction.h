// Calibration data of the three sides (white and black reference lines, levels, LED levels),
// the brightness/contrast tables, and the calibration file that keeps one acquisition setting's
// data. The acquisition engine applies them; calibration produces them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/records.h"

// Colour slots of the per-side levels: 0 red, 1 green, 2 blue, 3 infrared, 4 ultraviolet.
constexpr int kColourSlots = 5;

// Colour codes that select a slot in LedLevSet.
constexpr int kColourRed = 3;
constexpr int kColourGreen = 4;
constexpr int kColourBlue = 5;
constexpr int kColourIr = 8;
constexpr int kColourUv = 16;

// Calibration data of one side. The two reference buffers are owned (C allocator), each
// pixelsAlloc bytes: plane p starts at p x pixelsInUse.
struct CorInfoSide {
  uint16_t ledLev[kColourSlots];
  uint8_t whiteLev[kColourSlots];
  uint8_t blackLev[kColourSlots];
  uint8_t* white;
  uint8_t* black;
  uint16_t pixelsInUse;
  uint16_t pixelsAlloc;
  uint16_t modeLoaded;  // correction-mode code of the data held, 0 = nothing loaded
};

// Brightness/contrast of one side and its lookup table, rebuilt on every change.
struct BrCrInfoSide {
  uint8_t lut[256];
  int16_t brightness;
  int16_t contrast;
};

extern CorInfoSide MyCorS[kSides];
extern BrCrInfoSide MyBrCr[kSides];

// Size of a calibration file path buffer.
constexpr size_t kCalibPathSize = 260;

uint16_t CorrMode();
void InitCorrInfo();
void CorrInfoFree(CorInfoSide* cor = nullptr);
// Allocation failure: traced, record freed, last result -5, false.
bool CorrInfoCreate(CorInfoSide* cor = nullptr);
// Fills path (kCalibPathSize bytes). False with last result -5 when the name does not fit.
bool GetCalibFile(char* path, bool withPid);
bool CorrInfoWrite();
bool CorrInfoRead(CorInfoSide* cor = nullptr);
void CorrInfoMakeInvalid();
void CorrModeUpdate();
void CorrModeReset(CorInfoSide* cor);
// Start of a plane of the white / black reference; null when out of range or not allocated.
uint8_t* CorrInfoWhiteLevel(CorInfoSide* cor, uint8_t side, uint8_t plane);
uint8_t* CorrInfoBackLevel(CorInfoSide* cor, uint8_t side, uint8_t plane);
void LedLevSet(uint8_t side, uint16_t level, int colour);
void LedLevSet(uint8_t side, uint16_t level);
int16_t ColVar2Fix(int16_t plane);
bool HasFrontOnlyCalibration();
void BrightnessContrastEval(uint8_t side);
int16_t Brightness(uint8_t side);
int16_t Contrast(uint8_t side);
void Brightness(uint8_t side, int16_t value);
void Contrast(uint8_t side, int16_t value);
// The forms scanner control calls with a plain side number.
void Brightness(int side, short value);
void Contrast(int side, short value);
uint8_t BrightnessAndContrast(uint8_t side, uint8_t value);
void ReAllign();
void InitVerificaDoppi(ImgInfo* img);

namespace pvk::acquisition {

// First side of a calibration file for the current setting (1 = front only, 0 = rear first).
// The reader and the writer share it so that a front-only block never replaces a two-side file.
int calibFirstSide();
// Last side of a calibration file: 2 with the backlight, else 1.
int calibLastSide();
// Colour slots stored per side: 5 with IR or UV hardware, else 3.
int calibSlotCount();
// Bytes of one side block for a side with the given allocation.
size_t calibBlockBytes(int slots, size_t pixelsAlloc);

// Conditioning of one plane of a white reference on load: evens out the margins and the black
// level, patches dark pixels, and reports dirt (four or more dark pixels in a row). Indexes
// are bounded by `pixels`. Returns false when the evaluation window is empty.
struct ConditionInput {
  uint8_t* white;
  uint8_t* black;
  int pixels;   // bytes of this plane in each reference
  int left;     // full left
  int width;    // full width
  int dpi;      // horizontal dpi: the margin is one inch
  int whiteLevel;
  int blackLevel;
};
bool conditionWhiteReference(const ConditionInput& in, bool& dirt);

// Dark-zone flags and bounds per side, prepared for each scan.
struct DarkZones {
  int start[3];
  int stop[3];
  uint8_t dark[3];
};
extern DarkZones darkZones[2];

}  // namespace pvk::acquisition
