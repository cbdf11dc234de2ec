// Stand-ins for the paper moves, the inkjet, correction and calibration until their code
// lands; see control_seams.h. A move that cannot run reports a device error.
#include "acquisition/control_seams.h"

__attribute__((weak)) long FX2ReadStatusL() { return 0; }
__attribute__((weak)) int Vx3BaseContrlMsg(int, int, char*, int, bool) { return -1; }
__attribute__((weak)) bool isValidHandleAndDevice(void*) { return false; }
__attribute__((weak)) int Vx3MoveScannerLines(bool, uint16_t, uint16_t, bool, uint16_t, uint16_t, bool) {
  return -21;
}
__attribute__((weak)) int Vx3MoveScanner(bool, bool, int, uint16_t, uint16_t) { return -21; }
__attribute__((weak)) int Vx3PreScan(uint16_t, uint16_t) { return 0; }
__attribute__((weak)) bool InkjetStart() { return true; }
__attribute__((weak)) int Vx3Calibrate() { return -11; }
__attribute__((weak)) int Vx3CalibrateCheck() { return -11; }
__attribute__((weak)) int Vx3CleanCheck() { return 0; }
