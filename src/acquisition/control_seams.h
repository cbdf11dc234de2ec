// Calls from scanner control and the buffer preparation into the paper moves, the inkjet, the
// correction records and calibration. Each has a weak stand-in in control_seams_default.cpp so
// that the library links before those parts exist; the owning code defines the real one, which
// then takes precedence.
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
