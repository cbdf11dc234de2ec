// The image calls' own operations, shared by the exported shells in src/api.
#pragma once

#include "image/image.h"

// Front and rear stacked, first side above; *size receives the encoded length. Null on failure
// with the result code set.
uint8_t* Vx3PVKImgGetFR(short side1, short brightness1, short contrast1, short side2,
                        short brightness2, short contrast2, short quality, short format,
                        short rotation, short dpi, short bpp, long* size);
int Vx3PVKImgSaveFR(short side1, short brightness1, short contrast1, short side2, short brightness2,
                    short contrast2, short quality, short format, short rotation, short dpi,
                    short bpp, const char* path);

namespace pvk::image {

// The reader resolved the side, the SideAuto switch is on, or the codeline was found.
bool autoSideMode();
// One side encoded and written to path (the common body of the save calls); the result code.
int saveImage(short side, short plane, short brightness, short contrast, const PVKRoi* roi,
              short quality, short format, short rotation, short dpi, short bpp, const char* path);
// The two-call get: a null buffer encodes into the side's slot and returns the size; a buffer
// receives the slot and empties it (-1 and a trace when it is empty).
int twoCallGet(short side, short plane, short brightness, short contrast, const PVKRoi* roi,
               short quality, short format, short rotation, short dpi, short bpp,
               unsigned char* buffer);
void releaseTwoCallSlots();

}  // namespace pvk::image
