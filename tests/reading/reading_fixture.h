// What the reading tests share: acquired sides laid out by hand in MyDev (grey, ready for
// output, as the acquisition leaves them), a trace file of the test's own, and a scratch
// configuration directory for the dumps. Header only.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <opencv2/core.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/records.h"
#include "document/document.h"

namespace pvk::testing {

inline int countOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
  return n;
}

class ReadingFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    MyDev = _DevInfo{};
    MyAcq = AcqInfo{};
    MyOcr = OcrInfo{};
    MyOcrBL = OcrBLInfo{{0, 256, 512, 768}, 0, 0};
    MyITACheck = ITACheckInfo{};
    savedLog_ = MyLog;
    char tmpl[] = "/tmp/pvk_reading_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    std::snprintf(MyDev.cnfDir, sizeof MyDev.cnfDir, "%s", dir_.c_str());
    MyLog.Log = 1;
    MyLog.LogTimeStamp = 0;
    MyLog.LogSize = 0;
    MyLog.Debug = 0;
    std::snprintf(MyLog.tracePath, sizeof MyLog.tracePath, "%s/trace.log", dir_.c_str());
  }
  void TearDown() override {
    for (int s = 0; s < kSides; ++s) MyOcrFree(static_cast<uint16_t>(s), true);
    MyLog = savedLog_;
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  // Puts a grey picture (CV_8UC1) as the acquired image of the side, at dpi both ways, inside a
  // larger buffer with a margin (so that the trim rectangle matters), and asks the OCR image of
  // that side at the same resolution.
  // With three planes each holds the picture.
  void setSide(int side, const cv::Mat& grey, int dpi = 300, int planes = 1) {
    const int top = 3, left = 5, planeLine = grey.cols + left + 7, raw = planeLine * planes;
    std::vector<uint8_t>& buf = sides_[side];
    buf.assign(static_cast<size_t>(raw) * (grey.rows + top + 2), 0x11);
    for (int y = 0; y < grey.rows; ++y)
      for (int p = 0; p < planes; ++p)
        std::memcpy(&buf[static_cast<size_t>(top + y) * raw + p * planeLine + left], grey.ptr(y), grey.cols);
    ImgInfo& img = MyDev.img[side];
    img = ImgInfo{};
    img.side = static_cast<uint8_t>(side);
    img.colourPlanes = static_cast<uint8_t>(planes);
    img.planesPerLine = static_cast<uint8_t>(planes);
    img.trimTop = top;
    img.trimLeft = left;
    img.trimWidth = img.fullWidth = static_cast<uint16_t>(grey.cols);
    img.rowsUsed = img.fullHeight = static_cast<uint16_t>(grey.rows);
    img.planeLineBytes = static_cast<uint16_t>(planeLine);
    img.rawLineBytes = static_cast<uint16_t>(raw);
    img.dpiH = img.dpiV = static_cast<uint16_t>(dpi);
    img.firstRow = buf.data();
    img.bytesAllocated = img.imageBytes = buf.size();
    img.outputFlag = 1;
    img.deskewApplied = 1;
    img.hasData = 1;
    img.corrected = 1;
    MyOcr.reqDpiH[side] = MyOcr.reqDpiV[side] = static_cast<uint16_t>(dpi);
  }

  // The OCR image of a side as a matrix header (no copy).
  static cv::Mat ocrMat(int side) {
    const PVKImg& o = MyOcr.ocrImg[side];
    return cv::Mat(o.height, o.width, CV_8UC1, o.data, o.stride);
  }

  std::string trace() const {
    std::ifstream in(MyLog.tracePath, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string dir_;
  std::vector<uint8_t> sides_[kSides];
  LogInfo savedLog_;
};

}  // namespace pvk::testing
