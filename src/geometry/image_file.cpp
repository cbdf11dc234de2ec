// Image files into side images (raw plane layout) and PVKImg records, and PVKImg records out to
// files; for replaying stored images instead of an acquisition and for debug dumps.
#include "geometry/geometry.h"

#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/trace.h"

namespace {

using namespace pvk::geometry;

// Owners count from their allocation; a view states its bytes in bytesAllocated.
uint64_t fileCapacity(const ImgInfo& img) {
  if (img.allocBase != nullptr) return bytesBehindFirstRow(img);
  return img.firstRow ? img.bytesAllocated : 0;
}

void copyRows(const cv::Mat& plane, int fromRow, int rows, uint8_t* dst, int dstStride) {
  CopiaDati1Colore(plane.ptr<uint8_t>(fromRow), static_cast<int>(plane.step), dst, dstStride, rows, plane.cols);
}

}  // namespace

namespace pvk::geometry {

int readImgFile(ImgInfo* img, const char* path, short planes) {
  if (img == nullptr || path == nullptr) {
    WriteTrace("err - ", "PVKReadImgFile - invalid parameter", false);
    return 0;
  }
  cv::Mat m = readImageFile(path, -1);
  if (m.empty()) {
    WriteTrace("err - ", "PVKReadImgFile - cannot read", path, false);
    return 0;
  }
  const uint64_t planeLine = (static_cast<uint64_t>(m.cols) + 7) / 8 * 8;
  const uint64_t rawLine = planeLine * static_cast<uint64_t>(planes > 0 ? planes : 0);
  if (rawLine > 0xFFFF || m.cols > 0xFFFF || m.rows > 0xFFFF) {
    WriteTrace("err - ", "PVKReadImgFile - image too large for a side image", false);
    return 0;
  }
  img->trimTop = img->trimLeft = img->fullTop = img->fullLeft = 0;
  img->trimWidth = img->fullWidth = img->fullRight = static_cast<uint16_t>(m.cols);
  img->rowsUsed = img->fullHeight = static_cast<uint16_t>(m.rows);
  img->planeLineBytes = static_cast<uint16_t>(planeLine);
  img->rawLineBytes = static_cast<uint16_t>(rawLine);
  // Whatever the file holds, a record without a buffer learns the size it must allocate.
  if (img->bytesAllocated == 0 && img->firstRow == nullptr && img->allocBase == nullptr) return 1;
  // Stored as is: side images hold 8-bit samples, and only planes 3 takes several channels.
  if (m.depth() != CV_8U) {
    WriteTrace("err - ", "PVKReadImgFile - samples wider than 8 bits cannot be placed", path, false);
    return 0;
  }
  if (planes < 1 || planes > 5) {
    WriteTrace("err - ", "PVKReadImgFile - invalid number of planes", planes, false);
    return 0;
  }
  if (planes != 3 && m.channels() != 1) {
    WriteTrace("err - ", "PVKReadImgFile - several channels cannot go into one plane", m.channels(), false);
    return 0;
  }
  const uint64_t size = rawLine * static_cast<uint64_t>(m.rows);
  if (img->firstRow == nullptr || size > fileCapacity(*img)) {
    WriteTrace("err - ", "PVKReadImgFile - buffer too small", false);
    return 0;
  }
  img->imageBytes = size;
  if (planes == 3) {
    std::vector<cv::Mat> ch;
    cv::split(m, ch);
    const int planeOf[3] = {2, 1, 0};  // the file's B, G, R into planes 2, 1, 0
    for (int c = 0; c < static_cast<int>(ch.size()) && c < 3; ++c)
      copyRows(ch[c], 0, m.rows, img->firstRow + planeOf[c] * planeLine, img->rawLineBytes);
  } else {
    copyRows(m, 0, m.rows, img->firstRow, img->rawLineBytes);
  }
  return 1;
}

}  // namespace pvk::geometry

bool ImgRead(const char* path, ImgInfo* img, bool flipH, bool flipV) {
  try {
    if (img == nullptr) {
      WriteTrace("ImgRead - NULL image pointer", false);
      return false;
    }
    cv::Mat m = readImageFile(path, img->colourPlanes == 1 ? 0 : 1);
    if (m.empty()) {
      WriteTrace("read file - cannot read", path ? path : "(null)", false);
      return false;
    }
    img->trimTop = img->fullTop = 0;
    if (m.channels() != img->colourPlanes) {
      WriteTrace("read file - planes differ from the image record", false);
      return false;
    }
    if (img->dpiH < 100) img->dpiH = 100;
    if (img->dpiV < 100) img->dpiV = 100;
    if (m.cols > img->sensorPixels) {
      cv::Mat t;
      cv::transpose(m, t);
      m = t;
      if (m.cols > img->sensorPixels) {
        WriteTrace("read file - dimensions too small", false);
        return false;
      }
      flipV = !flipV;
    }
    if (m.rows > 0xFFFF) {
      WriteTrace("read file - dimensions too large", false);
      return false;
    }
    if (m.cols > img->trimWidth) {
      img->trimLeft = img->fullLeft = 0;
      if (m.cols > img->fullRight) img->fullRight = static_cast<uint16_t>(m.cols);
    }
    img->trimWidth = static_cast<uint16_t>(m.cols);
    int start = 0, rows = m.rows;
    if (img->rowsUsed == 0 || img->rowsUsed > m.rows) {
      img->rowsUsed = img->fullHeight = static_cast<uint16_t>(m.rows);
    } else {
      img->fullHeight = img->rowsUsed;
      rows = img->rowsUsed;
      start = flipV ? 0 : m.rows - rows;
    }
    const int planes = img->colourPlanes;
    if (img->firstRow == nullptr || !planesFit(*img, 0, 0, rows, m.cols, planes, fileCapacity(*img))) {
      WriteTrace("read pgm file - buffer too small", false);
      return false;
    }
    if (flipH) cv::flip(m, m, 1);
    if (flipV) cv::flip(m, m, 0);
    if (planes == 3) {
      std::vector<cv::Mat> ch;
      cv::split(m, ch);
      for (int p = 0; p < 3; ++p)
        copyRows(ch[2 - p], start, rows, img->firstRow + static_cast<size_t>(p) * img->planeLineBytes,
                 img->rawLineBytes);
    } else {
      copyRows(m, start, rows, img->firstRow, img->rawLineBytes);
    }
    return true;
  } catch (...) {
    return false;
  }
}

bool ImgRead(const char* path, PVKImg* img, bool flipH, bool flipV) {
  try {
    if (img == nullptr) {
      WriteTrace("ImgRead - NULL image pointer", false);
      return false;
    }
    if (img->data != nullptr) {
      WriteTrace("ImgRead - invalid image buffer", false);
      return false;
    }
    cv::Mat m = readImageFile(path, 0);
    if (m.empty()) {
      WriteTrace("read file - cannot read", path ? path : "(null)", false);
      return false;
    }
    if (m.cols > 0xFFFF || m.rows > 0xFFFF || m.step > 0xFFFF) {
      WriteTrace("ImgRead - image too large", false);
      return false;
    }
    if (flipH) cv::flip(m, m, 1);
    if (flipV) cv::flip(m, m, 0);
    if (img->dpi < 100) img->dpi = 100;
    const size_t bytes = static_cast<size_t>(m.rows) * m.step;
    auto* data = static_cast<uint8_t*>(std::malloc(bytes));
    if (data == nullptr) {
      MyDev.lastResult = PVK_ERR_OUT_OF_MEMORY;
      WriteTrace("read image file - out of memory", false);
      return false;
    }
    copyRows(m, 0, m.rows, data, static_cast<int>(m.step));
    img->width = static_cast<uint16_t>(m.cols);
    img->height = static_cast<uint16_t>(m.rows);
    img->stride = static_cast<uint16_t>(m.step);
    img->data = data;
    return true;
  } catch (...) {
    return false;
  }
}

bool ImgWrite(const char* path, PVKImg* img) {
  try {
    if (img == nullptr) {
      WriteTrace("ImgWrite - NULL image pointer", false);
      return false;
    }
    if (img->data == nullptr) {
      WriteTrace("ImgWrite - NULL image buffer", false);
      return false;
    }
    if (img->width == 0) {
      WriteTrace("ImgWrite - null width for image buffer", false);
      return false;
    }
    if (img->height == 0) {
      WriteTrace("ImgWrite - null height for image buffer", false);
      return false;
    }
    const size_t stride = img->stride == 0 ? img->width : img->stride;
    if (stride < img->width || path == nullptr) {
      WriteTrace("ImgWrite - error", false);
      return false;
    }
    cv::Mat m(img->height, img->width, CV_8UC1, img->data, stride);
    std::string why;
    if (!writeImageFile(path, m, why)) {
      WriteTrace("ImgWrite - error", why.c_str(), false);
      return false;
    }
    return true;
  } catch (...) {
    return false;
  }
}
