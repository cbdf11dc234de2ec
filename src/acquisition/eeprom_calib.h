// Factory calibration data kept in the scanner's EEPROM (300 and 600 dpi sets): the request
// sequence, the 64-byte info block, a cache of what was read, and the conversion into MyCorS.
#pragma once

#include <cstdint>

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
