// Float geometry helpers of the raster library.
#include <cmath>

#include "rasterlib/raster_types.h"

float RasterPoint2::Distance(float px, float py) const
{
    return static_cast<float>(std::sqrt((x - px) * (x - px) + (y - py) * (y - py)));
}

RasterRect2 RasterRect2::CrossSection(const RasterRect2& r2) const
{
    RasterRect2 cs(left > r2.left ? left : r2.left, top > r2.top ? top : r2.top,
                   right < r2.right ? right : r2.right, bottom < r2.bottom ? bottom : r2.bottom);
    if (cs.right >= cs.left && cs.bottom >= cs.top) return cs;
    return RasterRect2();
}
