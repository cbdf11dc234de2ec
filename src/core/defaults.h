// Start-up defaults of the option records, read from the main INI file.
#pragma once

#include <cstdint>

// Zeroes MyAcq, AcqDefault and MyIQA and fills the acquisition, cleaning and buzzer settings.
void InitImageAcquisition();
// Zeroes MyMICR and reads its deskew switch.
void InitMICRAcquisition();
// Zeroes OcrDefault, reads the [Ocr] keys and copies the record into MyOcr.
void InitOCRAcquisition();
// Reads [Inkjet2], [IQA] and [Debug] into MyInkjet, MyIQA and MyDebug.
void InitOtherSettings();
// Copies AcqDefault into MyAcq and OcrDefault into MyOcr.
void AcqDefaultToLive();

namespace pvk::core {

// A number of the main INI file that must lie in lo..hi, read as strtol reads it. A missing
// key or an empty value gives fallback; so does a value that is not a number or lies outside
// lo..hi, traced once per key and value as a warning naming section, key and value.
long iniNumberIn(const char* section, const char* key, long lo, long hi, long fallback);

}  // namespace pvk::core

// Default document height in lines at 150 dpi: the INI MaxHeight150 when set, else 2048, with
// a feeder 2304 during a calibration or paper move and 4352 otherwise, plus 512 with an inkjet;
// times 4 while MICR reading is on.
unsigned short DefaultHeight150();
// True during a document acquisition: no paper move, timed move or calibration running.
bool isOCROperation();
// Bytes of the acquisition block.
uint64_t initAcqBlock();
