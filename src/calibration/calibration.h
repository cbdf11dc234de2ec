// Calibration: the data that corrects every acquired line, where it comes from and how it is
// kept. The per-side correction record (white and black references, levels, LED levels) and
// the brightness/contrast tables, the calibration file of each acquisition setting with the
// conditioning of its white reference, the factory data in the scanner's EEPROM and its cache,
// and the calibration run with the calibration sheet, its passes, evaluation and checks.
// The acquisition engine applies the record; calibration produces it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/records.h"

// ---- Correction record and calibration file ------------------------------------------------

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
// Neutral correction data after a device became unusable.
void CorrModeResetAll();
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

// ---- Factory data in the EEPROM ------------------------------------------------------------
// The 300 and 600 dpi sets: the request sequence, the 64-byte info block, a cache of what was
// read, and the conversion into MyCorS.

constexpr int kEEPROMInfoBytes = 64;

// Info block offsets.
constexpr int kEEInfoSerial = 0;    // 7 bytes, NUL-terminated serial tail; byte 0 = 0: not read
constexpr int kEEInfoCode = 7;
constexpr int kEEInfoBacklight = 8;
constexpr int kEEInfoColourRearWhite = 9;
constexpr int kEEInfoColourFrontWhite = 12;
constexpr int kEEInfoColourRearBlack = 15;
constexpr int kEEInfoColourFrontBlack = 18;
constexpr int kEEInfoColourRearLed = 21;
constexpr int kEEInfoColourFrontLed = 24;
constexpr int kEEInfoColourRearGain = 27;
constexpr int kEEInfoColourFrontGain = 30;
constexpr int kEEInfoGrayRearWhite = 33;
constexpr int kEEInfoGrayFrontWhite = 36;
constexpr int kEEInfoGrayRearBlack = 39;
constexpr int kEEInfoGrayFrontBlack = 42;
constexpr int kEEInfoGrayRearLed = 45;
constexpr int kEEInfoGrayFrontLed = 48;
constexpr int kEEInfoGrayRearGain = 51;
constexpr int kEEInfoGrayFrontGain = 52;
constexpr int kEEInfoSize = 54;     // u16 LE pixels per column

extern uint8_t EEPROMCalibInfo300[kEEPROMInfoBytes];
extern uint8_t EEPROMCalibInfo600[kEEPROMInfoBytes];
extern uint8_t* EEPROMCalibData300;
extern uint8_t* EEPROMCalibData600;

int EEPROMPixelPerCol(char code);
bool EEPROMCalibDataInit(char code);
// Last result 0 on success, -1 on a request, identity or format failure, -4 out of memory.
bool EEPROMCalibDataRead(char code);
bool EEPROMCalibData_to_CorInfoSide();
bool CorInfoSide_to_EEPROMCalibData();
void EEPROMCalibDataFree(char code);
int GuadWhiteCalib(uint8_t* stored, uint8_t* current);
void EEPROMCalibDataFill(uint8_t*& rearLine, uint8_t*& frontLine, uint8_t* data, int C);
// Forgets what was read (at scanner open: another device may be attached now).
void EEPROMCalibCacheClear();

// ---- Calibration run -----------------------------------------------------------------------
// Black and white references and LED levels of every acquisition setting with the calibration
// sheet, written as calibration files; the check that every setting loads and the cleaning
// check. The stages are exposed here for the tests of their arithmetic.

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

namespace pvk::calibration {

// First side of a calibration file for the current setting (1 = front only, 0 = rear first).
// The reader and the writer share it so that a front-only block never replaces a two-side file.
int calibFirstSide();
// Last side of a calibration file: 2 with the backlight, else 1.
int calibLastSide();
// Colour slots stored per side: 5 with IR or UV hardware, else 3.
int calibSlotCount();
// Bytes of one side block for a side with the given allocation.
size_t calibBlockBytes(int slots, size_t pixelsAlloc);
// The directory and device stem every calibration file name of the device starts with
// (kCalibPathSize bytes). False, traced, with last result -5 when it does not fit.
bool calibStemPath(char* path);

// The calibration files of a run form one set. Between beginCalibSet and the end of the run
// CorrInfoWrite holds the files in memory and CorrInfoRead reads what is held; commitCalibSet
// puts the whole set in place so that a process killed at any moment leaves either the old set
// or the new one (0, or -5 traced with the old set kept); dropCalibSet forgets it.
void beginCalibSet();
bool calibSetActive();
void holdCalibFile(const char* path, std::vector<uint8_t> bytes);
// The bytes held for path, null when none (or no set is being held).
const std::vector<uint8_t>* heldCalibFile(const char* path);
int commitCalibSet();
void dropCalibSet();
// Completes the commit of a set that a killed process left half done; false when a file could
// not be put in place (the commit is then tried again at the next load).
bool finishCalibCommit();
// Called after each step of a commit that reached the disk (a seam for the tests that kill a
// process between two steps); null in the library.
extern void (*afterCommitStep)();

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

}  // namespace pvk::calibration
