// Blank-page test of an acquired side, and the image-quality check entry point (not supported).
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/regular_file.h"
#include "image/image.h"
#include "image/image_calls.h"

using namespace pvk::image;

namespace {

int refuse(const char* text, long value)
{
  traceError(text, value);
  return setResult(-3);
}

// True when some row of plane `p` has more dark pixels than the limit between its first and
// last bright pixel (brightness > 100 marks paper, not the border around it).
bool planeHasWriting(const ImgInfo& s, size_t p, size_t top, size_t rows, size_t left,
                     size_t width, size_t limit, uint8_t darkLevel)
{
  for (size_t r = top; r < top + rows; ++r) {
    const uint8_t* px = s.firstRow + r * s.rawLineBytes + p * s.planeLineBytes + left;
    size_t start = 0;
    while (start < width && px[start] <= 100)
      ++start;
    if (start + 1 >= width)
      continue;
    size_t end = width - 1;
    while (end > start && px[end] <= 100)
      --end;
    if (end <= start)
      continue;
    size_t dark = 0;
    for (size_t x = start; x < end; ++x)
      dark += px[x] < darkLevel;
    if (dark > limit)
      return true;
  }
  return false;
}

}  // namespace

int IsPageBlank(short side, uint8_t pixThreshold, uint8_t darkLevel)
{
  if (autoSideMode() && (side == 1 || side == 9))
    side = Vx3GetSideAuto(1);
  else if (autoSideMode() && (side == 0 || side == 8))
    side = Vx3GetSideAuto(0);
  else if (side == 9 || side == 8)
    side = Vx3GetSideAuto(side == 9 ? 1 : 0);
  if (side < 0 || side >= 2)
    return refuse("IsPageBlank - invalid side", side);
  if (pixThreshold > 100)
    return refuse("IsPageBlank - invalid  PixThreshold", pixThreshold);
  const ImgInfo& s = MyDev.img[side];
  if (!s.firstRow || !s.hasData) {
    traceError("IsPageBlank - no data");
    return setResult(-3);
  }
  size_t top = s.trimTop, rows = s.rowsUsed, left = s.trimLeft, width = s.trimWidth;
  size_t cutV = s.dpiV / 3, cutH = s.dpiH / 3;
  // A third of an inch at each end is margin, not page.
  if (rows > 4 * cutV) {
    top += cutV;
    rows -= 2 * cutV;
  }
  if (width > s.dpiH) {
    left += cutH;
    width -= 2 * cutH;
  }
  size_t limit = static_cast<size_t>(pixThreshold) * width / 1000;
  limit = limit < 1 ? 1 : limit;
  size_t planes = MyAcq.colourLines ? MyAcq.colourLines : 1;
  for (size_t p = 0; p < planes; ++p)
    if (planeHasWriting(s, p, top, rows, left, width, limit, darkLevel))
      return setResult(0);
  return setResult(6);
}

int Vx3IQACheck(const char* frontPath, const char* rearPath)
{
  if (!frontPath || !rearPath) {
    traceError("Invalid file name pointer");
    return setResult(-3);
  }
  FILE* front = pvk::core::openForReading(frontPath);
  if (!front) {
    traceError("error opening Front file", frontPath);
    traceError("error", static_cast<long>(errno));
    return setResult(-6);
  }
  FILE* rear = pvk::core::openForReading(rearPath);
  if (!rear) {
    std::fclose(front);
    traceError("error opening Rear file", rearPath);
    traceError("error", static_cast<long>(errno));
    return setResult(-6);
  }
  std::fclose(front);
  std::fclose(rear);
  return setResult(-11);
}
