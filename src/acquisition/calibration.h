// Calibration with the calibration sheet: black and white references and LED levels of every
// acquisition setting, written as calibration files; the check that every setting loads and
// the cleaning check. The stages are exposed here for the tests of their arithmetic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "acquisition/correction.h"

int Vx3Calibrate();
int Vx3CalibrateCheck();
int Vx3CleanCheck();
void VerificaEdAggiornaCleaningRequired();
int CalibrateWithLed();
int CalibrateWithoutLed();
bool CalibrateBlack(int* lines, bool retry);
bool CalibrateWhite(bool& d0, bool& d1, uint16_t previous[2][kColourSlots]);
// White references and levels of a side from `rows` acquired rows; sat receives the percentage
// of saturated pixels per colour slot.
void WhiteEval(uint8_t side, int rows, int sat[kColourSlots]);
// Black references and levels of a side from `rows` rows starting at firstRow.
void BackEval(uint8_t side, uint8_t* firstRow, int rows);
void VerificaLed();
void WriteCalibrationError(const char* kind, int side);

namespace pvk::acquisition {

// One state of the feature count: the extra lighting and reading of a setting.
struct FeatureState {
  bool micr, ir, uv, backlight;
};
// The states of the binary count over the features the device has (MICR the lowest digit,
// then infrared, ultraviolet, backlight), starting with none.
std::vector<FeatureState> featureStates(bool micr, bool ir, bool uv, bool backlight);
// One step of the LED search for a level with saturation s (percent): the new level, or -1
// when the level cannot be reduced any further.
int reducedLedLevel(int level, int saturation, bool reversible);
// Rows of a black pass at vertical dpi D.
int blackPassRows(int dpi);
// Short and long white pass sizes at vertical dpi D.
void whitePassSizes(int dpi, int& shortRows, int& longRows);
// Path of the calibration scratch file in the configuration directory.
void calibScratchPath(char* out, size_t size);
// First row of a side's acquired image.
uint8_t* sideTopRow(const ImgInfo& img);

}  // namespace pvk::acquisition
