// Small utilities on resolutions, line counts, format words and image borders that the
// acquisition, image and reading code share.
#pragma once

#include "PlavikMS.h"

// 0 (side not produced) and 10..600 are valid; otherwise traces "Invalid dpi val", sets -3.
bool CheckDpi(short dpi);
// lines at fromDpi converted to toDpi (0 below 1 line, 0xFFFFFFFF above 65535).
int EvalNumLine(int lines, int fromDpi, int toDpi);
// The format word names JPEG or TIFF with JPEG compression (rotation bits ignored).
bool IS_JPEG_COMPRESSION(short format);
// Whitens the dark (<= 20) outer rows and columns that a rotation leaves around an image.
void CancellaBordiRotazione(PVKImg* img);
