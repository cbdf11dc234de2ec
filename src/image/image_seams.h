// Operations that image output calls but the acquisition, correction and scanner code owns.
// Each has a weak stand-in in image_seams_default.cpp so the library links before those folders
// define them; the owner's definition (same signature) then takes precedence.
#pragma once

#include <cstdint>

#include "core/records.h"

// Cuts side `src` out at `dpi`, turned by rotation (0, 256, 512, 768) and mirrored, into a new
// buffer owned by dst. False when the cut is refused.
bool WrapCutCopyOut(ImgInfo src, short rotation, int dpi, short brightness, short contrast,
                    ImgInfo& dst, uint8_t threshold, bool flipH, bool flipV);
// Releases the OCR image of a side; with clearDpi its requested dpi too.
void MyOcrFree(uint16_t side, bool clearDpi);
// Prepares the side records (and, with lines, their buffer) for the next acquisition.
bool MyDevImgInit(unsigned short lines, bool);
uint8_t ResModeBest();
int Vx3ParamSet(unsigned short id, short value, bool quiet);
// The side's brightness/contrast lookup table applied to value.
uint8_t BrightnessAndContrast(uint8_t side, uint8_t value);
// Acquired height of a side converted to dpi; 0 when refused.
int Vx3GetAcqHeight(short side, short dpi);

namespace pvk::image {

// The correction-mode code of the data the side's correction record holds; 0 nothing loaded.
uint16_t correctionModeLoaded(int side);

}  // namespace pvk::image
