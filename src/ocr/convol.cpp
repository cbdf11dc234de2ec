// Binarisation of a grey zone image into the engine's one-bit working image at one threshold:
// a pixel is black when a small neighbourhood of it is dark enough, the neighbourhood chosen per
// font so that thin E13B strokes and microperforation dots survive; then the runs touching the
// side margins are erased and, on request, long horizontal rules are removed.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/shims.h"
#include "core/trace.h"
#include "ocr/ocr.h"

uint32_t* BWImg = nullptr;

namespace {

size_t bwCapacity = 0;  // values BWImg holds

// Keeps the buffer when it is large enough for this image, else replaces it.
bool prepareBuffer(size_t values) {
  if (BWImg == nullptr) bwCapacity = 0;
  if (BWImg != nullptr && values <= bwCapacity) {
    std::memset(BWImg, 0, values * sizeof *BWImg);
    return true;
  }
  std::free(BWImg);
  bwCapacity = values > 0 ? values : 1;
  BWImg = static_cast<uint32_t*>(std::calloc(bwCapacity, sizeof *BWImg));
  if (BWImg != nullptr) return true;
  bwCapacity = 0;
  WriteTrace("err - ", "Convolution", static_cast<int>(GetLastError()), false);
  MyDev.lastResult = PVK_ERR_OUT_OF_MEMORY;
  return false;
}

struct Sums {
  unsigned T, twoFifths, threeFifths, fourFifths;
};

// Calls black(up, mid, down, x) for rows 4 .. height - 3 and columns 3 .. width - 4 (images
// lower or narrower than 7 pixels have none) and marks the pixels it accepts.
template <typename Black>
void eachCentre(const PVKImg& img, uint32_t* out, size_t w4, Black black) {
  if (img.height < 7 || img.width < 7) return;
  for (int y = 4; y <= img.height - 3; ++y) {
    const uint8_t* up = img.data + static_cast<size_t>(y - 1) * img.stride;
    const uint8_t* mid = up + img.stride;
    const uint8_t* down = mid + img.stride;
    uint32_t* row = out + static_cast<size_t>(y) * w4;
    for (int x = 3; x <= img.width - 4; ++x)
      if (black(up, mid, down, x)) row[x] = 1;
  }
}

void textMode(const PVKImg& img, uint32_t* out, size_t w4, const Sums& s, unsigned limitH) {
  eachCentre(img, out, w4, [&](const uint8_t* up, const uint8_t* mid, const uint8_t* down, int x) {
    const unsigned v = up[x] + mid[x] + down[x];
    const unsigned h = mid[x - 1] + mid[x] + mid[x + 1];
    return v < s.twoFifths || h < limitH || h + v + up[x - 1] + up[x + 1] + down[x - 1] + down[x + 1] <= s.T;
  });
}

// The diagonal sum mid[x] + mid[x - 1] + down[x + 1] keeps thin slanted E13B strokes.
void e13bMode(const PVKImg& img, uint32_t* out, size_t w4, const Sums& s) {
  eachCentre(img, out, w4, [&](const uint8_t* up, const uint8_t* mid, const uint8_t* down, int x) {
    const unsigned v = up[x] + mid[x] + down[x];
    const unsigned diag = mid[x] + mid[x - 1] + down[x + 1];
    return v <= s.threeFifths && diag <= s.threeFifths &&
           diag + v + up[x - 1] + up[x + 1] + down[x + 1] + down[x - 1] <= s.T;
  });
}

void verticalBarMode(const PVKImg& img, uint32_t* out, size_t w4, const Sums& s) {
  if (img.height <= 7) return;
  for (int y = 3; y <= img.height - 5; ++y) {
    const uint8_t* r0 = img.data + static_cast<size_t>(y - 2) * img.stride;
    const uint8_t* r1 = r0 + img.stride;
    const uint8_t* r2 = r1 + img.stride;
    const uint8_t* r3 = r2 + img.stride;
    const uint8_t* r4 = r3 + img.stride;
    uint32_t* row = out + static_cast<size_t>(y) * w4;
    for (int x = 0; x < img.width; ++x)
      if (static_cast<unsigned>(r0[x] + r1[x] + r2[x] + r3[x] + r4[x]) <= s.fourFifths) row[x] = 1;
  }
}

// Runs of black that touch column 3 or column width - 4 are margin, not text.
void clearMarginRuns(uint32_t* out, size_t w4, int width, int height) {
  const int right = width - 4;
  if (right < 0) return;
  for (int y = 0; y < height; ++y) {
    uint32_t* row = out + static_cast<size_t>(y) * w4;
    int end = 3;
    while (end <= right && row[end] != 0) row[end++] = 0;
    for (int x = right; x >= end && row[x] != 0; --x) row[x] = 0;
  }
}

// A row holding a run of more than 60 black pixels takes, at its black pixels, the row above.
void removeRules(uint32_t* out, size_t w4, int width, int height) {
  for (int y = 1; y < height; ++y) {
    uint32_t* row = out + static_cast<size_t>(y) * w4;
    int run = 0, longest = 0;
    for (int x = 0; x < width; ++x) {
      run = row[x] != 0 ? run + 1 : 0;
      if (run > longest) longest = run;
    }
    if (longest <= 60) continue;
    const uint32_t* above = row - w4;
    for (int x = 0; x < width; ++x)
      if (row[x] != 0) row[x] = above[x];
  }
}

}  // namespace

bool Convol(PVKImg* img, unsigned char threshold, bool removeLines) {
  if (img == nullptr || (img->data == nullptr && img->width > 0 && img->height > 0) || img->stride < img->width) {
    WriteTrace("err - ", "Convolution", "invalid image", false);
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    return false;
  }
  SogliaBW = threshold;
  const size_t w4 = (static_cast<size_t>(img->width) + 3) & ~static_cast<size_t>(3);
  if (!prepareBuffer(w4 * img->height)) return false;

  const unsigned T = static_cast<unsigned>(threshold) * MyOcr.neighbourWeight;
  const Sums s{T, 2 * T / 5, 3 * T / 5, 4 * T / 5};
  const short font = MyOcr.currentFont;
  if (PrivilegiaBarreVert != 0)
    verticalBarMode(*img, BWImg, w4, s);
  else if (font == 1)
    e13bMode(*img, BWImg, w4, s);
  else
    textMode(*img, BWImg, w4, s, IsMICROPERFORATIONFont(font, true) ? s.twoFifths : s.fourFifths);

  clearMarginRuns(BWImg, w4, img->width, img->height);
  if (removeLines && img->height >= 2) removeRules(BWImg, w4, img->width, img->height);
  return true;
}

void pvk::ocr::freeBWImg() {
  std::free(BWImg);
  BWImg = nullptr;
  bwCapacity = 0;
}
