// Output images of a side: the pending deskew, grey conversion, brightness/contrast, resampling
// to the output size, flips and transposition, one plane at a time into the caller's record.
#include "geometry/geometry.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/trace.h"

namespace {

using pvk::geometry::putText;

constexpr size_t kMsg = 64;

void mirror(cv::Mat& m, bool v, bool h) {
  if (v && h) cv::flip(m, m, -1);
  else if (v) cv::flip(m, m, 0);
  else if (h) cv::flip(m, m, 1);
}

bool sourceFits(const ImgInfo& s) {
  using namespace pvk::geometry;
  return s.firstRow != nullptr &&
         planesFit(s, s.trimTop, s.trimLeft, s.rowsUsed, s.trimWidth, s.planesPerLine, bytesBehindFirstRow(s));
}

// Releases the upright copy made for one output call.
struct OwnedSide {
  ImgInfo rec{};
  bool owned = false;
  ~OwnedSide() {
    if (owned) std::free(rec.allocBase);
  }
};

}  // namespace

bool DeskewWrapInt(ImgInfo* src, ImgInfo* dst, short side, char* msg) {
  using namespace pvk::geometry;
  if (static_cast<uint16_t>(side) > 1) {
    putText(msg, "Deskew on invalid side", kMsg);
    return false;
  }
  putText(msg, "", kMsg);
  if (src == nullptr || dst == nullptr || !sourceFits(*src)) {
    putText(msg, "DeskWrapInt invalid source image", kMsg);
    return false;
  }
  const PVKDeskewEntry& e = PVKPendingDeskew[side];
  double wf = e.ImgAcqSrcWidht + 0.5, hf = e.ImgAcqSrcHeight + 0.5;
  if (!(wf >= 1 && hf >= 1 && wf <= 65535 && hf <= 65535)) {
    putText(msg, "DeskWrapInt invalid output size", kMsg);
    return false;
  }
  const int outW = static_cast<int>(wf), outH = static_cast<int>(hf);
  const int planes = src->planesPerLine;
  const uint64_t planeLine = (static_cast<uint64_t>(outW) + 7) / 8 * 8;
  if (planeLine * planes > 0xFFFF) {
    putText(msg, "DeskWrapInt invalid output size", kMsg);
    return false;
  }
  // The upright image goes into a buffer of its own: the side keeps its cropped pixels, so a
  // second output applies the same deskew to the same pixels.
  const uint64_t bytes = planeLine * planes * static_cast<uint64_t>(outH);
  auto* buf = static_cast<uint8_t*>(bytes ? std::calloc(bytes, 1) : nullptr);
  *dst = *src;
  dst->allocBase = dst->firstRow = dst->writePtr = buf;  // never the source's buffer
  dst->bytesAllocated = dst->imageBytes = buf ? bytes : 0;
  if (planes > 0 && buf == nullptr) {
    WriteTrace("no memory for color copy", false);
    putText(msg, "DeskWrapInt setting img buffer A", kMsg);
    return false;
  }
  cv::Point2f from[3], to[3];
  for (int k = 0; k < 3; ++k) {
    from[k] = {e.ImgAcqSrcBox[k][0], e.ImgAcqSrcBox[k][1]};
    to[k] = {e.ImgAcqDstBox[k][0], e.ImgAcqDstBox[k][1]};
  }
  cv::Mat m = cv::getAffineTransform(from, to);
  if (m.empty()) {
    WriteTrace("no memory for map B", false);
    putText(msg, "DeskWrapInt setting map buffer B", kMsg);
    return false;  // the caller releases dst's buffer
  }
  dst->margin = 0;
  dst->planeLineBytes = static_cast<uint16_t>(planeLine);
  dst->rawLineBytes = static_cast<uint16_t>(planeLine * planes);
  cv::Mat work(src->rowsUsed, src->trimWidth, CV_8UC1), out(outH, outW, CV_8UC1);
  for (int p = 0; p < planes; ++p) {
    CopiaDati1Colore(trimmedRow(*src, p, 0), src->rawLineBytes, work.data, static_cast<int>(work.step),
                     work.rows, work.cols);
    warpLinear(work, out, m);
    if (out.empty()) {
      WriteTrace("DeskWrapInt warpAffine with null buffer", false);
      putText(msg, "DeskWrapInt setting img buffer A", kMsg);
      return false;  // the caller releases dst's buffer
    }
    mirror(out, e.flipSrcV, e.flipSrcH);
    CopiaDati1Colore(out.data, static_cast<int>(out.step), buf + static_cast<size_t>(p) * planeLine,
                     dst->rawLineBytes, out.rows, out.cols);
  }
  dst->trimTop = dst->trimLeft = dst->fullTop = dst->fullLeft = 0;
  dst->trimWidth = dst->fullWidth = static_cast<uint16_t>(outW);
  dst->rowsUsed = dst->fullHeight = static_cast<uint16_t>(outH);
  dst->deskewApplied = 1;
  dst->outputFlag = 1;
  return true;
}

namespace pvk::geometry {

namespace {

// Output size after a pending deskew: the upright size scaled to the destination's dpi.
bool rescaleDestination(const ImgInfo& upright, ImgInfo& dst, char* msg) {
  if (upright.dpiH == 0 || upright.dpiV == 0) {
    putText(msg, "PVKResize - invalid dpi of deskewed image", kMsg);
    return false;
  }
  uint64_t w = static_cast<uint64_t>(upright.trimWidth) * dst.dpiH / upright.dpiH;
  uint64_t h = static_cast<uint64_t>(upright.rowsUsed) * dst.dpiV / upright.dpiV;
  if (w == 0 || w > 0xFFFF || h == 0 || h > 0xFFFF) {
    putText(msg, "PVKResize - invalid output size", kMsg);
    return false;
  }
  dst.trimWidth = static_cast<uint16_t>(w);
  dst.rowsUsed = static_cast<uint16_t>(h);
  return true;
}

// Part of the image, mirrored as asked, turned a quarter (transposed) into rows r0..r1 and
// columns c0..c1 of a plane of the destination, pixel by pixel.
void turnedPart(const cv::Mat& img, bool flipV, bool flipH, uint8_t* dst, int dstStride, int r0, int r1, int c0,
                int c1) {
  for (int c = c0; c < c1; ++c) {
    const uint8_t* from = img.ptr<uint8_t>(flipV ? img.rows - 1 - c : c);
    uint8_t* to = dst + c;
    for (int r = r0; r < r1; ++r) to[static_cast<size_t>(r) * dstStride] = from[flipH ? img.cols - 1 - r : r];
  }
}

#if defined(__SSE2__)
constexpr int kTile = 16;

// Sixteen rows of 16 bytes turned in registers: v[i] holds row i before, column i after. Pairs
// of rows interleave into columns of 2, 4, 8 and 16 bytes.
inline void turnTile(__m128i v[kTile]) {
  __m128i x[kTile], y[kTile];
  for (int i = 0; i < 8; ++i) {
    x[i] = _mm_unpacklo_epi8(v[2 * i], v[2 * i + 1]);  // columns 0-7 of rows 2i and 2i + 1
    x[8 + i] = _mm_unpackhi_epi8(v[2 * i], v[2 * i + 1]);
  }
  // y[4g + i]: columns 4g to 4g + 3 of rows 4i to 4i + 3.
  for (int h = 0; h < 2; ++h) {
    for (int i = 0; i < 4; ++i) {
      y[8 * h + i] = _mm_unpacklo_epi16(x[8 * h + 2 * i], x[8 * h + 2 * i + 1]);
      y[8 * h + 4 + i] = _mm_unpackhi_epi16(x[8 * h + 2 * i], x[8 * h + 2 * i + 1]);
    }
  }
  // x[4g + 2h + p]: columns 4g + 2p and 4g + 2p + 1 of rows 8h to 8h + 7.
  for (int g = 0; g < 4; ++g) {
    for (int h = 0; h < 2; ++h) {
      x[4 * g + 2 * h] = _mm_unpacklo_epi32(y[4 * g + 2 * h], y[4 * g + 2 * h + 1]);
      x[4 * g + 2 * h + 1] = _mm_unpackhi_epi32(y[4 * g + 2 * h], y[4 * g + 2 * h + 1]);
    }
  }
  for (int g = 0; g < 4; ++g) {
    for (int p = 0; p < 2; ++p) {
      v[4 * g + 2 * p] = _mm_unpacklo_epi64(x[4 * g + p], x[4 * g + 2 + p]);
      v[4 * g + 2 * p + 1] = _mm_unpackhi_epi64(x[4 * g + p], x[4 * g + 2 + p]);
    }
  }
}

// The image mirrored as asked, then turned a quarter, written straight into a plane of the
// destination without a mirrored or a transposed copy in between: 16 x 16 blocks turned in
// registers (the instructions every 64-bit x86 processor has), the edges pixel by pixel. A
// mirror only changes which rows a block is loaded from and which rows it is stored to.
void turnedInto(const cv::Mat& img, bool flipV, bool flipH, uint8_t* dst, int dstStride) {
  const int rows = img.cols, cols = img.rows;  // of the turned image
  const int wholeRows = rows / kTile * kTile, wholeCols = cols / kTile * kTile;
  __m128i v[kTile];
  for (int r0 = 0; r0 < wholeRows; r0 += kTile) {
    const int from = flipH ? img.cols - r0 - kTile : r0;
    for (int c0 = 0; c0 < wholeCols; c0 += kTile) {
      for (int i = 0; i < kTile; ++i) {
        const int c = c0 + i;
        v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(img.ptr<uint8_t>(flipV ? img.rows - 1 - c : c) + from));
      }
      turnTile(v);
      for (int j = 0; j < kTile; ++j) {
        const int r = flipH ? r0 + kTile - 1 - j : r0 + j;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + static_cast<size_t>(r) * dstStride + c0), v[j]);
      }
    }
  }
  turnedPart(img, flipV, flipH, dst, dstStride, 0, rows, wholeCols, cols);
  turnedPart(img, flipV, flipH, dst, dstStride, wholeRows, rows, 0, wholeCols);
}
#else
void turnedInto(const cv::Mat& img, bool flipV, bool flipH, uint8_t* dst, int dstStride) {
  turnedPart(img, flipV, flipH, dst, dstStride, 0, img.cols, 0, img.rows);
}
#endif

bool resizeInto(const ImgInfo& s, ImgInfo& dst, short brightness, short contrast, bool grey, bool reverse,
                bool flipV, bool flipH, bool transpose, char* msg) {
  const int R = s.rowsUsed, C = s.trimWidth;
  const bool unequal = s.dpiV != s.dpiH;
  const int colours = s.colourPlanes;
  const int outPlanes = grey ? 1 : s.planesPerLine;
  if (grey && (colours < 3 || s.planesPerLine < colours)) {
    putText(msg, "PVKResize - invalid source image", kMsg);
    return false;
  }
  const int outW = dst.trimWidth, outH = dst.rowsUsed;
  // The whole written area is checked before the first plane is written.
  const int resRows = transpose ? outW : outH, resCols = transpose ? outH : outW;
  if (!planesFit(dst, 0, 0, resRows, resCols, outPlanes, bytesBehindFirstRow(dst))) {
    putText(msg, "PVKResize - output image buffer too small", kMsg);
    return false;
  }
  const int workRows = (grey && unequal) ? R * colours : R;
  cv::Mat work;
  try {
    work.create(workRows, C, CV_8UC1);  // every byte is written by the copy that fills it
  } catch (...) {
    putText(msg, "PVKResize - allocating image buffer A", kMsg);
    return false;
  }
  const int ws = static_cast<int>(work.step);
  if (!grey)
    CopiaDati1ColoreA(trimmedRow(s, 0, 0), s.rawLineBytes, work.data, ws, brightness, contrast, R, C);
  else if (!unequal)
    CopiaDati3ColoriMean(trimmedRow(s, 0, 0), s.planeLineBytes, s.rawLineBytes, work.data, ws, R, C);
  else
    CopiaDatiColori(trimmedRow(s, 0, 0), s.planeLineBytes, s.rawLineBytes, work.data, ws, R, C, colours, reverse);
  if (grey) dst.colourPlanes = dst.planesPerLine = 1;
  for (int i = 0; i < outPlanes; ++i) {
    if (i > 0) CopiaDati1ColoreA(trimmedRow(s, i, 0), s.rawLineBytes, work.data, ws, brightness, contrast, R, C);
    // At the size it has the image is the output as it is, as the library's resize copies it.
    cv::Mat out = work;
    if (outW != C || outH != workRows) cv::resize(work, out, cv::Size(outW, outH), 0, 0, cv::INTER_LINEAR);
    if (out.empty()) {
      putText(msg, "PVKResize2 - allocating image buffer B", kMsg);
      return false;
    }
    uint8_t* plane = dst.firstRow + static_cast<size_t>(i) * dst.planeLineBytes;
    if (transpose) {
      turnedInto(out, flipV, flipH, plane, dst.rawLineBytes);
      continue;
    }
    mirror(out, flipV, flipH);
    CopiaDati1Colore(out.data, static_cast<int>(out.step), plane, dst.rawLineBytes, out.rows, out.cols);
  }
  if (transpose) {
    std::swap(dst.fullWidth, dst.fullHeight);
    std::swap(dst.trimWidth, dst.rowsUsed);
  }
  return true;
}

}  // namespace

bool resizeSide(ImgInfo* src, short side, ImgInfo* dst, short brightness, short contrast, bool grey,
                bool reverse, bool flipV, bool flipH, bool transpose, char* msg) {
  try {
    putText(msg, "", kMsg);
    if (dst == nullptr || dst->firstRow == nullptr) {
      putText(msg, "PVKResize - NULL output image buffer", kMsg);
      return false;
    }
    char text[kMsg];
    if (dst->trimWidth == 0) {
      std::snprintf(text, sizeof text, "PVKResize - null width for output image buffer - side %d", dst->side);
      putText(msg, text, kMsg);
      return false;
    }
    if (dst->rowsUsed == 0) {
      std::snprintf(text, sizeof text, "PVKResize - null height for output image buffer - side %d", dst->side);
      putText(msg, text, kMsg);
      return false;
    }
    // A record naming no planes vouches for no bytes, yet plane 0 is what the copy reads first.
    if (src == nullptr || !sourceFits(*src) || src->planesPerLine == 0 || src->rowsUsed == 0 ||
        src->trimWidth == 0) {
      putText(msg, "PVKResize - invalid source image", kMsg);
      return false;
    }
    OwnedSide upright;
    const ImgInfo* source = src;
    if ((side == 0 || side == 1) && deskewPending(side)) {
      upright.owned = true;
      if (!DeskewWrapInt(src, &upright.rec, side, msg)) return false;
      if (!rescaleDestination(upright.rec, *dst, msg)) return false;
      source = &upright.rec;
    }
    return resizeInto(*source, *dst, brightness, contrast, grey && source->colourPlanes > 1, reverse, flipV, flipH,
                      transpose, msg);
  } catch (...) {
    putText(msg, "PVKResize2 exception", kMsg);
    return false;
  }
}

}  // namespace pvk::geometry
