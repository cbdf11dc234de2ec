// Small utilities on resolutions, line counts, format words and image borders that the
// acquisition, image and reading code share.
#pragma once

#include <cstdint>

#include "PlavikMS.h"

// 0 (side not produced) and 10..600 are valid; otherwise traces "Invalid dpi val", sets -3.
bool CheckDpi(short dpi);
// lines at fromDpi converted to toDpi (0 below 1 line, 0xFFFFFFFF above 65535).
int EvalNumLine(int lines, int fromDpi, int toDpi);
// The format word names JPEG or TIFF with JPEG compression (rotation bits ignored).
bool IS_JPEG_COMPRESSION(short format);
// Whitens the dark (<= 20) outer rows and columns that a rotation leaves around an image.
void CancellaBordiRotazione(PVKImg* img);

// ---- The raw side buffer kept between documents ---------------------------------------------
// Every acquisition needs a buffer sized for the longest document (tens to hundreds of MB)
// filled with 0xFF; allocating and filling it afresh costs page faults on all of it. One buffer
// is kept: a request that fits it (and needs at least half of it) gets it back, refilled with
// 0xFF only up to the last byte the previous user changed.
namespace pvk::core {

// A buffer of at least `bytes` whose first `whiteBytes` are 0xFF (the rest unspecified); null
// when memory runs out. Give it back with releaseSideBuffer, never with free().
uint8_t* takeSideBuffer(uint64_t bytes, uint64_t whiteBytes);
// Takes back a buffer of takeSideBuffer; any other pointer (or null) is freed as usual.
void releaseSideBuffer(void* buffer);
// Frees the kept buffer now, or when it comes back if it is in use (device closed, records
// freed).
void dropSideBuffer();

}  // namespace pvk::core
