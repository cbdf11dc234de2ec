// Calls from scanner control and the buffer preparation into the device layer, the paper moves,
// the inkjet and calibration. Each has a weak stand-in in control_seams_default.cpp; the owning
// code defines the real one, which takes precedence. The device calls and the moves have their
// owners in the library (the stand-ins let the unit tests link without them); the inkjet start
// and the calibration calls are still stand-ins.
#pragma once

#include <cstdint>

// Device layer: the normalised status word (0 when the read fails) and one vendor request
// (the length asked for on success, -1 on failure).
long FX2ReadStatusL();
int Vx3BaseContrlMsg(int bank, int reg, char* buffer, int length, bool in);
// Whether the caller's handle names the open, usable device.
bool isValidHandleAndDevice(void* handle);

// Paper moves. Results: 0 or a negative code.
int Vx3MoveScannerLines(bool forward, uint16_t lines, uint16_t dpi, bool noFeedFlag,
                        uint16_t seconds, uint16_t milliseconds, bool lastFlag);
int Vx3MoveScanner(bool lastFlag, bool forward, int milliseconds, uint16_t dpi, uint16_t lines);
int Vx3PreScan(uint16_t seconds, uint16_t milliseconds);

// The inkjet endorser: starts printing the armed stamp with the next acquisition.
bool InkjetStart();

// Calibration and the cleaning check.
int Vx3Calibrate();
int Vx3CalibrateCheck();
int Vx3CleanCheck();
