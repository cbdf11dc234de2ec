// Start-up defaults of the option records, read from the main INI file.
#pragma once

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
