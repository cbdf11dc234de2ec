// The affine geometry transform of zone images: stretch, rotate by a small angle, stretch,
// each output pixel taken backwards from the source; whole-number down-scaling just decimates.
#include <cerrno>
#include <cstddef>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "core/image_utils.h"
#include "image/image.h"

using namespace pvk::image;

namespace {

constexpr uint8_t kFillValue = 10;
constexpr int64_t kMaxDim = 65535;

int64_t roundHalfUp(float v) { return static_cast<int64_t>(v + 0.5f); }

int64_t floorToInt(float v)
{
  auto t = static_cast<int64_t>(v);
  return (v < 0 && static_cast<float>(t) != v) ? t - 1 : t;
}

struct Box {
  int64_t xmin, ymin, width, height;
};

// The output box of the four mapped source corners; sizes computed in 64 bits.
Box outputBox(const PVKImg& src, const LinTranPars& p)
{
  Point corners[4] = {{0, 0},
                      {static_cast<float>(src.width), 0},
                      {static_cast<float>(src.width), static_cast<float>(src.height)},
                      {0, static_cast<float>(src.height)}};
  float x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
  for (const Point& c : corners) {
    Point m = Transform(c, p);
    x0 = std::fmin(x0, m.x);
    x1 = std::fmax(x1, m.x);
    y0 = std::fmin(y0, m.y);
    y1 = std::fmax(y1, m.y);
  }
  Box b{roundHalfUp(x0), roundHalfUp(y0), 0, 0};
  b.width = roundHalfUp(x1) - b.xmin - 1;
  b.height = roundHalfUp(y1) - b.ymin - 1;
  if (b.width < 0)
    b.width = 0;
  if (b.height < 0)
    b.height = 0;
  return b;
}

// A map without rotation: every output column has one source column and weight, every output
// row one source row and weight. The same walk and the same arithmetic as the pixel walk of a
// rotation (rotatePlanes) in the same order (the column blend of each source column first, then
// the blend across the row), with the per-pixel work reduced to table look-ups; the rows blend
// vectorises.
void scaleSeparable(const PVKImg& src, PVKImg& dst, Point start, float cx, float ry, int64_t w, int64_t h,
                    bool turn180)
{
  std::vector<int64_t> colIx(static_cast<size_t>(w));
  std::vector<float> colU(static_cast<size_t>(w));
  int64_t lo = INT64_MAX, hi = -1;
  float fx = start.x;
  for (int64_t x = 0; x < w; ++x, fx += cx) {
    int64_t ix = floorToInt(fx);
    float u = fx - static_cast<float>(ix);
    colU[x] = u * u * u;
    if (ix < 1 || ix > src.width - 2) {
      colIx[x] = -1;
      continue;
    }
    colIx[x] = ix;
    lo = ix < lo ? ix : lo;
    hi = ix > hi ? ix : hi;
  }
  if (hi < 0)
    return;
  std::vector<float> blend(static_cast<size_t>(hi + 2));
  for (int64_t y = 0; y < h; ++y) {
    float fy = start.y + static_cast<float>(y) * ry;
    int64_t iy = floorToInt(fy);
    if (iy < 1 || iy > src.height - 2)
      continue;
    float v = fy - static_cast<float>(iy);
    v = v * v * v;
    const float nv = 1 - v;
    const uint8_t* r0 = src.data + iy * static_cast<int64_t>(src.stride);
    const uint8_t* r1 = r0 + src.stride;
    for (int64_t k = lo; k <= hi + 1; ++k)
      blend[k] = r0[k] * nv + r1[k] * v;
    uint8_t* d = turn180 ? dst.data + (h - 1 - y) * static_cast<int64_t>(dst.stride) + (w - 1)
                         : dst.data + y * static_cast<int64_t>(dst.stride);
    for (int64_t x = 0; x < w; ++x) {
      const int64_t ix = colIx[x];
      if (ix < 0)
        continue;
      const float u = colU[x];
      *(turn180 ? d - x : d + x) = static_cast<uint8_t>(blend[ix] * (1 - u) + blend[ix + 1] * u);
    }
  }
}

// A map with rotation, for `planes` planes side by side in each row (plane k at
// src.data + k * srcPart, written at dst.data + outPlane[k] * dstPart). Each output row walks the
// source once, stepping the coordinates pixel by pixel as a single plane would. The steps are
// constant, so each coordinate only grows (or only shrinks) along a row: the pixels that land
// inside form one span, found once per row. The span's coordinates are then taken eight at a
// time (where the processor has 256-bit vectors), split into source pixel and cubed weights
// once, and blended for every plane. The vector lanes do the same single-precision operations in
// the same order as one pixel alone (no fused multiply-add), so the bytes are those of the
// pixel-by-pixel walk.
struct SpanPlanes {
  const uint8_t* src[256];
  uint8_t* dst[256];
  int planes;
  ptrdiff_t dir;  // +1, or -1 when the output is turned round
  size_t stride;  // of the source
};

inline uint8_t blendOne(const uint8_t* r0, size_t stride, float u, float v)
{
  const uint8_t* r1 = r0 + stride;
  const float value = (r0[0] * (1 - v) + r1[0] * v) * (1 - u) + (r0[1] * (1 - v) + r1[1] * v) * u;
  return static_cast<uint8_t>(value);
}


#if defined(__x86_64__) && defined(__GNUC__)
#define PVK_EIGHT_LANES 1
// Eight pixels a step, the same operations as the one-pixel loop below; the last step ends at
// the span's end, writing again (the same bytes) what the step before it wrote. Spans shorter
// than a step are left to the loop below: returns how many pixels were done.
__attribute__((target("avx2"))) size_t blendEight(const SpanPlanes& sp, const float* fxs, const float* fys, size_t n)
{
  if (n < 8)
    return 0;
  const __m256 one = _mm256_set1_ps(1.0f);
  const __m256i low = _mm256_set1_epi32(0xFF);
  alignas(32) int32_t ix[8], iy[8];
  int64_t at[8];
  for (size_t step = 0; step < n; step += 8) {
    const size_t i = step + 8 <= n ? step : n - 8;
    const __m256 fx = _mm256_loadu_ps(fxs + i), fy = _mm256_loadu_ps(fys + i);
    const __m256i vix = _mm256_cvttps_epi32(fx), viy = _mm256_cvttps_epi32(fy);
    __m256 u = _mm256_sub_ps(fx, _mm256_cvtepi32_ps(vix)), v = _mm256_sub_ps(fy, _mm256_cvtepi32_ps(viy));
    u = _mm256_mul_ps(_mm256_mul_ps(u, u), u);
    v = _mm256_mul_ps(_mm256_mul_ps(v, v), v);
    const __m256 nu = _mm256_sub_ps(one, u), nv = _mm256_sub_ps(one, v);
    _mm256_store_si256(reinterpret_cast<__m256i*>(ix), vix);
    _mm256_store_si256(reinterpret_cast<__m256i*>(iy), viy);
    for (int j = 0; j < 8; ++j)
      at[j] = static_cast<int64_t>(iy[j]) * static_cast<int64_t>(sp.stride) + ix[j];
    for (int k = 0; k < sp.planes; ++k) {
      uint16_t top[8], bottom[8];
      const uint8_t* r0 = sp.src[k];
      const uint8_t* r1 = r0 + sp.stride;
      for (int j = 0; j < 8; ++j) {
        std::memcpy(&top[j], r0 + at[j], 2);
        std::memcpy(&bottom[j], r1 + at[j], 2);
      }
      const __m256i t = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(top)));
      const __m256i b = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom)));
      const __m256 a0 = _mm256_cvtepi32_ps(_mm256_and_si256(t, low)), a1 = _mm256_cvtepi32_ps(_mm256_srli_epi32(t, 8));
      const __m256 b0 = _mm256_cvtepi32_ps(_mm256_and_si256(b, low)), b1 = _mm256_cvtepi32_ps(_mm256_srli_epi32(b, 8));
      const __m256 left = _mm256_add_ps(_mm256_mul_ps(a0, nv), _mm256_mul_ps(b0, v));
      const __m256 right = _mm256_add_ps(_mm256_mul_ps(a1, nv), _mm256_mul_ps(b1, v));
      const __m256 value = _mm256_add_ps(_mm256_mul_ps(left, nu), _mm256_mul_ps(right, u));
      __m256i bytes = _mm256_cvttps_epi32(value);
      bytes = _mm256_packs_epi32(bytes, bytes);     // per half: 4 words, twice
      bytes = _mm256_packus_epi16(bytes, bytes);    // per half: 4 bytes, four times
      uint64_t eight = static_cast<uint32_t>(_mm256_extract_epi32(bytes, 0)) |
                       static_cast<uint64_t>(static_cast<uint32_t>(_mm256_extract_epi32(bytes, 4))) << 32;
      if (sp.dir > 0) {
        std::memcpy(sp.dst[k] + i, &eight, 8);
      } else {
        eight = __builtin_bswap64(eight);
        std::memcpy(sp.dst[k] - static_cast<ptrdiff_t>(i) - 7, &eight, 8);
      }
    }
  }
  return n;
}
#endif

void blendSpan(const SpanPlanes& sp, const float* fxs, const float* fys, size_t n)
{
  size_t i = 0;
#ifdef PVK_EIGHT_LANES
  if (pvk::core::processorHas(pvk::core::Cpu::EightLanes))
    i = blendEight(sp, fxs, fys, n);
#endif
  for (; i < n; ++i) {
    const float fx = fxs[i], fy = fys[i];
    const int64_t ix = static_cast<int64_t>(fx), iy = static_cast<int64_t>(fy);
    float u = fx - static_cast<float>(ix), v = fy - static_cast<float>(iy);
    u = u * u * u;
    v = v * v * v;
    const int64_t at = iy * static_cast<int64_t>(sp.stride) + ix;
    for (int k = 0; k < sp.planes; ++k)
      sp.dst[k][static_cast<ptrdiff_t>(i) * sp.dir] = blendOne(sp.src[k] + at, sp.stride, u, v);
  }
}

void rotatePlanes(const PVKImg& src, PVKImg& dst, Point start, float cx, float cy, float rx, float ry, int64_t w,
                  int64_t h, bool turn180, int planes, size_t srcPart, size_t dstPart, const int* outPlane)
{
  // Rows are walked a band at a time and blended a block of columns at a time, so that the
  // source pixels a block reads (in every plane) stay in the cache from one row of the band to
  // the next.
  constexpr int64_t kBand = 16;
  const int64_t kBlock = planes < 16 ? (256 / planes) & ~int64_t{15} : 16;
  std::vector<float> fxs(static_cast<size_t>(w * kBand)), fys(static_cast<size_t>(w * kBand));
  int64_t firsts[kBand], counts[kBand];
  SpanPlanes sp{};
  sp.planes = planes;
  sp.dir = turn180 ? -1 : 1;
  sp.stride = src.stride;
  for (int k = 0; k < planes; ++k)
    sp.src[k] = src.data + k * srcPart;
  // 1 <= floor(f) <= size - 2 exactly when 1 <= f < size - 1 (sizes are exact in floats); NaN
  // fails both. Inside, f is positive and truncation is the floor.
  const float xEnd = static_cast<float>(src.width - 1), yEnd = static_cast<float>(src.height - 1);
  for (int64_t y0 = 0; y0 < h; y0 += kBand) {
    const int64_t rows = h - y0 < kBand ? h - y0 : kBand;
    for (int64_t r = 0; r < rows; ++r) {
      const int64_t y = y0 + r;
      float fx = start.x + static_cast<float>(y) * rx, fy = start.y + static_cast<float>(y) * ry;
      int64_t x = 0;
      for (; x < w && !(fx >= 1.0f && fx < xEnd && fy >= 1.0f && fy < yEnd); ++x, fx += cx, fy += cy) {
      }
      firsts[r] = x;
      float* rowX = fxs.data() + r * w;
      float* rowY = fys.data() + r * w;
      int64_t n = 0;
      for (; x < w && fx >= 1.0f && fx < xEnd && fy >= 1.0f && fy < yEnd; ++x, fx += cx, fy += cy, ++n) {
        rowX[n] = fx;
        rowY[n] = fy;
      }
      counts[r] = n;
    }
    for (int64_t c0 = 0; c0 < w; c0 += kBlock) {
      for (int64_t r = 0; r < rows; ++r) {
        const int64_t lo = c0 > firsts[r] ? c0 : firsts[r];
        const int64_t hi = c0 + kBlock < firsts[r] + counts[r] ? c0 + kBlock : firsts[r] + counts[r];
        if (lo >= hi)
          continue;
        const int64_t y = y0 + r;
        for (int k = 0; k < planes; ++k) {
          uint8_t* base = dst.data + outPlane[k] * dstPart;
          sp.dst[k] = turn180 ? base + (h - 1 - y) * static_cast<int64_t>(dst.stride) + (w - 1) - lo
                              : base + y * static_cast<int64_t>(dst.stride) + lo;
        }
        const int64_t at = r * w + (lo - firsts[r]);
        blendSpan(sp, fxs.data() + at, fys.data() + at, static_cast<size_t>(hi - lo));
      }
    }
  }
}

// The output box's walk: start point and steps along a row and down a column of the source.
struct Walk {
  Point start;
  float cx, cy, rx, ry;
  int64_t w, h;
};

Walk walkOf(const PVKImg& dst, const LinTranPars& p, const Box& b, bool turn180)
{
  LinTranPars q = GetInversePars(p);
  float ox = static_cast<float>(b.xmin), oy = static_cast<float>(b.ymin);
  Walk k{};
  k.start = Transform(Point{ox, oy}, q);
  Point col = Transform(Point{ox + 1, oy}, q), row = Transform(Point{ox, oy + 1}, q);
  k.cx = col.x - k.start.x;
  k.cy = col.y - k.start.y;
  k.rx = row.x - k.start.x;
  k.ry = row.y - k.start.y;
  k.w = b.width;
  k.h = b.height;
  if (turn180) {
    // Walking backwards from the last pixel must stay inside what dst was sized for.
    k.w = k.w < dst.width ? k.w : dst.width;
    k.h = k.h < dst.height ? k.h : dst.height;
  }
  return k;
}

}  // namespace

LinTranPars GetLinTranPars(const PVKImg& img, float a, float b, float angle, float c, float d)
{
  float s = std::sin(angle), k = std::cos(angle);
  LinTranPars p{d * k / b, d * s / a, 0, -c * s / b, c * k / a, 0};
  Point corners[4] = {{0, 0},
                      {static_cast<float>(img.width), 0},
                      {static_cast<float>(img.width), static_cast<float>(img.height)},
                      {0, static_cast<float>(img.height)}};
  float xmin = INFINITY, ymin = INFINITY;
  for (const Point& c0 : corners) {
    Point m = Transform(c0, p);
    xmin = std::fmin(xmin, m.x);
    ymin = std::fmin(ymin, m.y);
  }
  p.p2 = -xmin;
  p.p5 = -ymin;
  return p;
}

LinTranPars GetInversePars(const LinTranPars& p)
{
  float det = p.p0 * p.p4 - p.p1 * p.p3;
  if (det == 0)
    return LinTranPars{0, 0, 0, 0, 0, 0};
  return LinTranPars{p.p4 / det, -p.p1 / det, (p.p1 * p.p5 - p.p4 * p.p2) / det,
                     -p.p3 / det, p.p0 / det, (p.p3 * p.p2 - p.p0 * p.p5) / det};
}

Point Transform(const Point& pt, const LinTranPars& p)
{
  return Point{p.p0 * pt.x + p.p1 * pt.y + p.p2, p.p3 * pt.x + p.p4 * pt.y + p.p5};
}

bool LinearTransformation(const PVKImg& src, PVKImg& dst, const LinTranPars& p, bool turn180,
                          bool sizeOnly, uint16_t planes)
{
  Box b = outputBox(src, p);
  int64_t stride = ((b.width + 3) & ~int64_t{3}) * planes;
  if (b.width > kMaxDim || b.height > kMaxDim || stride > kMaxDim)
    return false;
  if (sizeOnly) {
    dst.width = static_cast<uint16_t>(b.width);
    dst.height = static_cast<uint16_t>(b.height);
    dst.stride = static_cast<uint16_t>(stride);
    return true;
  }
  if (!dst.data || !src.data)
    return false;
  const Walk k = walkOf(dst, p, b, turn180);
  // Without rotation the rows all walk the same columns: take the separable way.
  if (k.rx == 0 && k.cy == 0) {
    scaleSeparable(src, dst, k.start, k.cx, k.ry, k.w, k.h, turn180);
    return true;
  }
  const int samePlane = 0;
  rotatePlanes(src, dst, k.start, k.cx, k.cy, k.rx, k.ry, k.w, k.h, turn180, 1, 0, 0, &samePlane);
  return true;
}

void NoTrasformation(const PVKImg& src, PVKImg& dst, bool turn180, int stepH, int stepV,
                     int planes)
{
  if (!src.data || !dst.data || planes < 1 || stepH < 1 || stepV < 1)
    return;
  size_t srcPart = src.stride / planes, dstPart = dst.stride / planes;
  for (int p = 0; p < planes; ++p) {
    const uint8_t* s = src.data + p * srcPart;
    int outPlane = (turn180 && planes == 3) ? 2 - p : p;
    uint8_t* d0 = dst.data + outPlane * dstPart;
    for (size_t y = 0; y < dst.height; ++y) {
      uint8_t* d = d0 + y * dst.stride;
      if (!turn180) {
        const uint8_t* row = s + y * stepV * static_cast<size_t>(src.stride);
        if (stepH == 1) {
          std::memcpy(d, row, dst.width);
          continue;
        }
        for (size_t x = 0; x < dst.width; ++x)
          d[x] = row[x * stepH];
      } else {
        const uint8_t* row = s + (src.height - 1 - y * stepV) * static_cast<size_t>(src.stride);
        for (size_t x = 0; x < dst.width; ++x)
          d[x] = row[src.width - 1 - x * stepH];
      }
    }
  }
}

void FreePVKImg(PVKImg& img)
{
  img.width = img.height = img.stride = img.dpi = 0;
  std::free(img.data);
  img.data = nullptr;
}

namespace {

bool refuse(const char* text, int code)
{
  traceError(text);
  setResult(code);
  return false;
}

}  // namespace

bool StretchRotateStretch(PVKImg& src, PVKImg& dst, int srcV, int srcH, int dstV, int dstH,
                          float angle, uint8_t planes, bool turn180)
{
  if (MyAcq.colourLines == 0 || MyAcq.planesPerLine == 0)
    return refuse("null nColRGB in Stretch", -3);
  if (srcV < 1 || srcH < 1 || dstV < 1 || dstH < 1)
    return refuse("null or negative strech factors", -3);
  if (!src.data || planes < 1)
    return refuse("Stretch with invalid input", -3);
  dst.width = src.width;
  dst.height = src.height;
  dst.stride = src.stride;
  dst.dpi = src.dpi;
  dst.data = nullptr;
  float m = static_cast<float>(srcV < srcH ? srcV : srcH);
  float a = srcV / m, b = srcH / m, c = dstV / m, d = dstH / m;

  int kV = srcV / dstV, kH = srcH / dstH;
  bool decimate = std::fabs(angle) < 0.001f && srcV >= dstV && srcH >= dstH &&
                  srcV % dstV == 0 && srcH % dstH == 0 && kH % kV == 0;
  if (decimate) {
    int64_t w = src.width / kH, h = src.height / kV;
    w = w < 1 ? 1 : w;
    h = h < 1 ? 1 : h;
    dst.width = static_cast<uint16_t>(w);
    dst.height = static_cast<uint16_t>(h);
    int64_t stride = planes * ((w + 7) & ~int64_t{7});
    if (stride > kMaxDim)
      return refuse("Stretch with output too large", -3);
    dst.stride = static_cast<uint16_t>(stride);
  } else if (!LinearTransformation(src, dst, GetLinTranPars(src, a, b, angle, c, d), turn180,
                                   true, planes)) {
    dst.height = 0;
    return refuse("Stretch with output too large", -3);
  }

  size_t bytes = (static_cast<size_t>(dst.height) + 16) * dst.stride;
  dst.data = static_cast<uint8_t*>(std::malloc(bytes ? bytes : 1));
  if (!dst.data) {
    traceError("strech with invalid memory allocation", static_cast<long>(errno));
    dst.height = 0;
    setResult(-4);
    return false;
  }
  std::memset(dst.data, kFillValue, bytes);

  if (decimate) {
    NoTrasformation(src, dst, turn180, kH, kV, planes);
  } else {
    LinTranPars p = GetLinTranPars(src, a, b, angle, c, d);
    int outPlane[256];
    for (int pl = 0; pl < planes; ++pl)
      outPlane[pl] = (turn180 && planes == 3) ? planes - 1 - pl : pl;
    const Walk k = walkOf(dst, p, outputBox(src, p), turn180);
    if (k.rx == 0 && k.cy == 0) {
      for (int pl = 0; pl < planes; ++pl) {
        PVKImg s = src, o = dst;
        s.data = src.data + pl * (src.stride / planes);
        o.data = dst.data + outPlane[pl] * (dst.stride / planes);
        LinearTransformation(s, o, p, turn180, false, planes);
      }
    } else {
      // One walk of the source coordinates for all the planes.
      rotatePlanes(src, dst, k.start, k.cx, k.cy, k.rx, k.ry, k.w, k.h, turn180, planes, src.stride / planes,
                   dst.stride / planes, outPlane);
    }
  }
  dst.dpi = static_cast<uint16_t>(static_cast<float>(src.dpi) * d / b);
  return true;
}
