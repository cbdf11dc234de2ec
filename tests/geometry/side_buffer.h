// Side images laid out as an acquisition leaves them: one buffer owned by the front record, each
// row holding the plane lines of all planes in turn, each plane line the front pixels followed by
// the rear pixels; the rear record is a view into the same buffer.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/records.h"

namespace pvk::testing {

struct SideBuffer {
  ImgInfo front{};
  ImgInfo rear{};

  // width: pixels per side; rows: rows per side; planes: planes per raw line.
  SideBuffer(int width, int rows, int planes, int colourPlanes, int dpiH, int dpiV, int spareRows = 0) {
    const int planeLine = 2 * width;
    const int rawLine = planeLine * planes;
    const size_t bytes = static_cast<size_t>(rawLine) * (rows + spareRows);
    auto* base = static_cast<uint8_t*>(std::malloc(bytes));
    std::memset(base, 0xFF, bytes);
    for (ImgInfo* r : {&front, &rear}) {
      r->colourPlanes = static_cast<uint8_t>(colourPlanes);
      r->planesPerLine = static_cast<uint8_t>(planes);
      r->trimWidth = r->fullWidth = r->fullRight = r->sensorPixels = static_cast<uint16_t>(width);
      r->rowsUsed = r->fullHeight = static_cast<uint16_t>(rows);
      r->planeLineBytes = static_cast<uint16_t>(planeLine);
      r->rawLineBytes = static_cast<uint16_t>(rawLine);
      r->dpiH = static_cast<uint16_t>(dpiH);
      r->dpiV = static_cast<uint16_t>(dpiV);
      r->deskewAngle = kNoAngle;
    }
    front.side = 1;
    rear.side = 0;
    front.allocBase = front.firstRow = base;
    front.bytesAllocated = bytes;
    front.imageBytes = static_cast<uint64_t>(rawLine) * rows;
    // The rear view may use the buffer from its first pixel to the end.
    rear.firstRow = base + width;
    rear.bytesAllocated = bytes - width;
  }
  ~SideBuffer() { std::free(front.allocBase); }
  SideBuffer(const SideBuffer&) = delete;
  SideBuffer& operator=(const SideBuffer&) = delete;
};

// Writes an 8-bit image into plane p of a record's trimmed area.
inline void putPlane(ImgInfo& img, int p, const cv::Mat& m) {
  for (int r = 0; r < m.rows; ++r)
    std::memcpy(img.firstRow + (static_cast<size_t>(img.trimTop) + r) * img.rawLineBytes + img.trimLeft +
                    static_cast<size_t>(p) * img.planeLineBytes,
                m.ptr(r), static_cast<size_t>(m.cols));
}

// Reads plane p of a record's trimmed area (trim width x rows used).
inline cv::Mat getPlane(const ImgInfo& img, int p) {
  cv::Mat m(img.rowsUsed, img.trimWidth, CV_8UC1);
  for (int r = 0; r < m.rows; ++r)
    std::memcpy(m.ptr(r),
                img.firstRow + (static_cast<size_t>(img.trimTop) + r) * img.rawLineBytes + img.trimLeft +
                    static_cast<size_t>(p) * img.planeLineBytes,
                static_cast<size_t>(m.cols));
  return m;
}

// A destination record for an output image: own zeroed buffer of planes x rows x cols.
struct OutputImage {
  ImgInfo rec{};
  OutputImage(int cols, int rows, int planes, int dpiH, int dpiV, int lineBytes = 0) {
    const int line = lineBytes ? lineBytes : (std::max(cols, rows) + 7) / 8 * 8;
    rec.side = 1;
    rec.colourPlanes = static_cast<uint8_t>(planes == 1 ? 1 : 3);
    rec.planesPerLine = static_cast<uint8_t>(planes);
    rec.trimWidth = rec.fullWidth = static_cast<uint16_t>(cols);
    rec.rowsUsed = rec.fullHeight = static_cast<uint16_t>(rows);
    rec.planeLineBytes = static_cast<uint16_t>(line);
    rec.rawLineBytes = static_cast<uint16_t>(line * planes);
    rec.dpiH = static_cast<uint16_t>(dpiH);
    rec.dpiV = static_cast<uint16_t>(dpiV);
    const size_t bytes = static_cast<size_t>(line) * planes * std::max(cols, rows);
    rec.allocBase = rec.firstRow = static_cast<uint8_t*>(std::calloc(bytes, 1));
    rec.bytesAllocated = bytes;
  }
  ~OutputImage() { std::free(rec.allocBase); }
  OutputImage(const OutputImage&) = delete;
  OutputImage& operator=(const OutputImage&) = delete;
};

}  // namespace pvk::testing
