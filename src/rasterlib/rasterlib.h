// What the raster image library offers the other folders: the image object with its
// pixel, palette and transform operations, the stream classes and the format codecs.
#pragma once

#include "rasterlib/raster_codecs.h"
#include "rasterlib/raster_file.h"
#include "rasterlib/raster_image.h"
#include "rasterlib/raster_types.h"
