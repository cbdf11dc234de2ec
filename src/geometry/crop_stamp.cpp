// The endorsement drawn into a working image, and the vertical stretch of a side for the one
// firmware whose line rate runs short.
#include "geometry/geometry.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstring>

#include "core/trace.h"

void AggiungiTimbro(cv::Mat& img, ImgInfo* stamp, int* ys, int* xs, short column, short rowOffset) {
  using namespace pvk::geometry;
  if (stamp == nullptr || stamp->firstRow == nullptr || img.empty() || ys == nullptr || xs == nullptr) return;
  // A stamp record that claims more than its buffer holds draws nothing.
  if (!planesFit(*stamp, 0, 0, stamp->rowsUsed, stamp->trimWidth, 1, bytesBehindFirstRow(*stamp))) return;
  const int R = img.rows, C = img.cols;
  int r0 = rowOffset + ys[0];
  if (r0 >= R) r0 = R < 1 ? 0 : R - 1;
  if (r0 < 0) r0 = 0;
  int r1 = std::min(r0 + static_cast<int>(stamp->rowsUsed), std::min(ys[3], R));
  int c0 = column;
  if (c0 < 0) c0 = 0;
  if (c0 >= C) c0 = C < 1 ? 0 : C - 1;
  int right = xs[3] < C ? xs[3] : C - 1;
  int c1 = std::min(c0 + static_cast<int>(stamp->trimWidth), right);
  for (int r = r0; r < r1; ++r) {
    const unsigned char* s = stamp->firstRow + static_cast<size_t>(r - r0) * stamp->rawLineBytes;
    unsigned char* d = img.ptr<unsigned char>(r);
    for (int c = c0; c < c1; ++c)
      if (s[c - c0] < 255) d[c] = 50;
  }
}

namespace pvk::geometry {

int fixVerticalResolution(ImgInfo* img, float factor, short rowLimit) {
  if (img == nullptr) {
    WriteTrace("PVKFixVRes - invalid pointer", false);
    return 0;
  }
  const int h = img->rowsUsed;
  if (h <= 9) return 1;
  const float stretched = static_cast<float>(h) * factor;
  if (!(stretched >= 1.0f) || stretched > 65535.0f) return 1;  // nothing sensible to stretch to
  const int h2 = static_cast<int>(stretched);
  if (static_cast<uint16_t>(h2) > static_cast<uint16_t>(rowLimit)) return 1;
  const int w = img->trimWidth, planes = img->planesPerLine;
  if (img->firstRow == nullptr || w == 0 || planes == 0) {
    WriteTrace("PVKFixVRes - invalid pointer", false);
    return 0;
  }
  // The stretched rows are written below trim top: they must exist in the buffer.
  uint64_t cap = bytesBehindFirstRow(*img);
  if (!planesFit(*img, img->trimTop, img->trimLeft, std::max(h, h2), w, planes, cap)) {
    WriteTrace("PVKFixVRes - allocating image buffer", false);
    return 0;
  }
  try {
    cv::Point2f from[3] = {{0, 0}, {float(w), 0}, {0, float(h)}};
    cv::Point2f to[3] = {{0, 0}, {float(w), 0}, {0, float(h2)}};
    cv::Mat m = cv::getAffineTransform(from, to);
    cv::Mat plane(h, w, CV_8UC1, cv::Scalar(0)), out;
    for (int p = 0; p < planes; ++p) {
      CopiaDati1Colore(trimmedRow(*img, p, 0), img->rawLineBytes, plane.data, static_cast<int>(plane.step), h, w);
      cv::warpAffine(plane, out, m, cv::Size(w, h2), cv::INTER_CUBIC, cv::BORDER_WRAP);
      CopiaDati1Colore(out.data, static_cast<int>(out.step), trimmedRow(*img, p, 0), img->rawLineBytes, h2, w);
    }
  } catch (...) {
    WriteTrace("PVKFixVRes - allocating image buffer", false);
    return 0;
  }
  img->rowsUsed = static_cast<uint16_t>(h2);
  return 1;
}

}  // namespace pvk::geometry
