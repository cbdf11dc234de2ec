// Operations that the frame and the trace call but the device, correction and acquisition code
// owns. Each has a default (weak) definition in seams_default.cpp so the library links before
// those folders exist; the owning folder defines the real one, which then takes precedence.
#pragma once

#include <cstdint>

// Reopens a lost device; true when it is usable again.
bool RiapriDevice();
// Resets the per-side correction records to neutral data (after a device became unusable).
void CorrModeResetAll();
// Writes the device identification line to the trace.
void TracciaDevice();
// The default document height in lines at 150 dpi.
unsigned short DefaultHeight150();
// The bulk acquisition block size in bytes.
uint64_t initAcqBlock();
