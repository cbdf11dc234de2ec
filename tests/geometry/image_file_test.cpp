// Image files into side images and PVKImg records, and PVKImg records out to files.
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

#include "geometry/geometry.h"
#include "side_buffer.h"

using namespace pvk::testing;

namespace {

class ImageFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/pvk_imgfile_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
  // A colour file whose B, G and R channels hold 10, 20 and 30 (plus a row ramp in G).
  std::string colourFile(int cols, int rows, const char* name = "c.png") {
    cv::Mat m(rows, cols, CV_8UC3, cv::Scalar(10, 20, 30));
    for (int r = 0; r < rows; ++r) m.at<cv::Vec3b>(r, 0)[1] = static_cast<uint8_t>(r);
    std::string p = dir + "/" + name;
    cv::imwrite(p, m);
    return p;
  }
  std::string dir;
};

TEST_F(ImageFile, RawFileLearnsGeometryThenFillsPlanes) {
  std::string p = colourFile(1001, 12);
  ImgInfo none{};
  EXPECT_EQ(PVKReadImgFile(&none, const_cast<char*>(p.c_str()), 3), 1);
  EXPECT_EQ(none.planeLineBytes, 1008);
  EXPECT_EQ(none.rawLineBytes, 3024);
  EXPECT_EQ(none.trimWidth, 1001);
  EXPECT_EQ(none.rowsUsed, 12);

  std::vector<uint8_t> buf(3024 * 12, 0xFF);
  ImgInfo rec{};
  rec.allocBase = rec.firstRow = buf.data();
  rec.bytesAllocated = buf.size();
  ASSERT_EQ(PVKReadImgFile(&rec, const_cast<char*>(p.c_str()), 3), 1);
  EXPECT_EQ(rec.imageBytes, buf.size());
  EXPECT_EQ(buf[5], 30);          // plane 0: R
  EXPECT_EQ(buf[1008 + 5], 20);   // plane 1: G
  EXPECT_EQ(buf[2016 + 5], 10);   // plane 2: B
  EXPECT_EQ(buf[3024 * 7 + 1008], 7);

  // A grey file read as three planes fills plane 2 only.
  cv::Mat g(12, 1001, CV_8UC1, cv::Scalar(99));
  std::string gp = dir + "/g.png";
  cv::imwrite(gp, g);
  std::fill(buf.begin(), buf.end(), 0xFF);
  ASSERT_EQ(PVKReadImgFile(&rec, const_cast<char*>(gp.c_str()), 3), 1);
  EXPECT_EQ(buf[5], 0xFF);
  EXPECT_EQ(buf[1008 + 5], 0xFF);
  EXPECT_EQ(buf[2016 + 5], 99);
}

TEST_F(ImageFile, RawFileRefusesWhatItCannotPlace) {
  std::string p = colourFile(100, 10);
  std::vector<uint8_t> buf(104 * 3 * 10 + 64, 0xEE);
  ImgInfo rec{};
  rec.allocBase = buf.data();
  rec.firstRow = buf.data() + 100;  // writing starts here: the allocation is 36 bytes short
  rec.bytesAllocated = 104 * 3 * 10 + 64;
  EXPECT_EQ(PVKReadImgFile(&rec, const_cast<char*>(p.c_str()), 3), 0);
  EXPECT_EQ(buf.back(), 0xEE);
  // A view that states no bytes, 16-bit samples, several channels into one plane, bad arguments.
  ImgInfo view{};
  view.firstRow = buf.data();
  EXPECT_EQ(PVKReadImgFile(&view, const_cast<char*>(p.c_str()), 3), 0);
  cv::Mat deep(10, 100, CV_16UC1, cv::Scalar(40000));
  std::string dp = dir + "/deep.png";
  cv::imwrite(dp, deep);
  rec.firstRow = buf.data();
  EXPECT_EQ(PVKReadImgFile(&rec, const_cast<char*>(dp.c_str()), 1), 0);
  EXPECT_EQ(PVKReadImgFile(&rec, const_cast<char*>(p.c_str()), 1), 0);
  EXPECT_EQ(PVKReadImgFile(&rec, const_cast<char*>(p.c_str()), 0), 0);
  EXPECT_EQ(PVKReadImgFile(&rec, nullptr, 3), 0);
  EXPECT_EQ(PVKReadImgFile(nullptr, const_cast<char*>(p.c_str()), 3), 0);
  std::string missing = dir + "/none.png";
  EXPECT_EQ(PVKReadImgFile(&rec, const_cast<char*>(missing.c_str()), 3), 0);
  // Wider than a 16-bit raw line can hold with three planes.
  cv::Mat wide(2, 30000, CV_8UC1, cv::Scalar(1));
  std::string wp = dir + "/wide.png";
  cv::imwrite(wp, wide);
  EXPECT_EQ(PVKReadImgFile(&rec, const_cast<char*>(wp.c_str()), 3), 0);
  std::string garbled = dir + "/garbled.png";
  FILE* f = std::fopen(garbled.c_str(), "wb");
  std::fputs("\x89PNG\r\n\x1a\nnot really", f);
  std::fclose(f);
  EXPECT_EQ(PVKReadImgFile(&rec, const_cast<char*>(garbled.c_str()), 1), 0);
}

// The geometry query answers for every readable file; copying then says why it refuses.
TEST_F(ImageFile, RawFileGeometryOfFilesItWillNotCopy) {
  const std::string trace = dir + "/trace.log";
  std::memset(&MyLog, 0, sizeof MyLog);
  MyLog.Log = 1;
  std::snprintf(MyLog.tracePath, sizeof MyLog.tracePath, "%s", trace.c_str());
  cv::Mat deep(10, 100, CV_16UC1, cv::Scalar(40000));
  const std::string dp = dir + "/deep.png", cp = colourFile(100, 10);
  cv::imwrite(dp, deep);
  std::vector<uint8_t> buf(104 * 10, 0xEE);
  for (const std::string& p : {dp, cp}) {
    ImgInfo none{};
    EXPECT_EQ(PVKReadImgFile(&none, const_cast<char*>(p.c_str()), 1), 1) << p;
    EXPECT_EQ(none.trimWidth, 100);
    EXPECT_EQ(none.rowsUsed, 10);
    EXPECT_EQ(none.rawLineBytes, 104);
    ImgInfo rec = none;
    rec.allocBase = rec.firstRow = buf.data();
    rec.bytesAllocated = buf.size();
    EXPECT_EQ(PVKReadImgFile(&rec, const_cast<char*>(p.c_str()), 1), 0) << p;
  }
  EXPECT_EQ(buf[0], 0xEE);
  std::ifstream f(trace);
  const std::string t{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  EXPECT_NE(t.find("samples wider than 8 bits cannot be placed"), std::string::npos) << t;
  EXPECT_NE(t.find("several channels cannot go into one plane 3"), std::string::npos) << t;
  std::memset(&MyLog, 0, sizeof MyLog);
}

TEST_F(ImageFile, SideImageReadKeepsPlanesAndTurnsTooWideFiles) {
  SideBuffer side(64, 40, 3, 3, 50, 50, 80);
  std::string p = colourFile(60, 30);
  side.front.rowsUsed = 0;
  ASSERT_TRUE(ImgRead(p.c_str(), &side.front, false, false));
  EXPECT_EQ(side.front.dpiH, 100);
  EXPECT_EQ(side.front.rowsUsed, 30);
  EXPECT_EQ(side.front.trimWidth, 60);
  EXPECT_EQ(side.front.firstRow[5], 30);
  EXPECT_EQ(side.front.firstRow[side.front.planeLineBytes + 5], 20);
  EXPECT_EQ(side.front.firstRow[2 * side.front.planeLineBytes + 5], 10);

  // Taller than the rows used: the bottom rows are kept (row ramp in G, column 0).
  side.front.rowsUsed = 10;
  ASSERT_TRUE(ImgRead(p.c_str(), &side.front, false, false));
  EXPECT_EQ(side.front.firstRow[side.front.planeLineBytes], 20);
  EXPECT_EQ(side.front.fullHeight, 10);

  // 100 columns do not fit a 64-pixel sensor line, 20 rows do: the file is turned.
  std::string w = colourFile(100, 20, "w.png");
  side.front.rowsUsed = 0;
  ASSERT_TRUE(ImgRead(w.c_str(), &side.front, false, false));
  EXPECT_EQ(side.front.trimWidth, 20);
  EXPECT_EQ(side.front.rowsUsed, 100);
  std::string huge = colourFile(100, 100, "h.png");
  EXPECT_FALSE(ImgRead(huge.c_str(), &side.front, false, false));

  // A grey record takes the file's grey levels; a buffer too small is refused.
  SideBuffer grey(64, 40, 1, 1, 300, 300);
  grey.front.rowsUsed = 0;
  ASSERT_TRUE(ImgRead(p.c_str(), &grey.front, false, false));
  grey.front.bytesAllocated = 100;
  grey.front.rowsUsed = 0;
  EXPECT_FALSE(ImgRead(p.c_str(), &grey.front, false, false));
  EXPECT_FALSE(ImgRead(nullptr, &grey.front, false, false));
  EXPECT_FALSE(ImgRead(p.c_str(), static_cast<ImgInfo*>(nullptr), false, false));
}

TEST_F(ImageFile, PVKImgReadConvertsAndWriteUsesTheExtension) {
  cv::Mat rgba(20, 30, CV_8UC4, cv::Scalar(0, 0, 255, 128));  // red, half transparent
  std::string p = dir + "/rgba.png";
  cv::imwrite(p, rgba);
  PVKImg img{};
  ASSERT_TRUE(ImgRead(p.c_str(), &img, true, true));
  EXPECT_EQ(img.width, 30);
  EXPECT_EQ(img.height, 20);
  EXPECT_EQ(img.dpi, 100);
  EXPECT_NEAR(img.data[0], 76, 2);  // grey level of pure red
  EXPECT_FALSE(ImgRead(p.c_str(), &img, false, false));  // already holds a buffer

  std::string jpg = dir + "/out.jpg";
  ASSERT_TRUE(ImgWrite(jpg.c_str(), &img));
  // An independent tool judges the quality the file was written with.
  std::string cmd = "identify -format %Q '" + jpg + "'";
  FILE* f = popen(cmd.c_str(), "r");
  ASSERT_NE(f, nullptr);
  char q[16] = "";
  ASSERT_NE(fgets(q, sizeof q, f), nullptr);
  pclose(f);
  EXPECT_EQ(std::string(q), "80");

  // Stride 0 means rows of width bytes; the written file reads back the same.
  img.stride = 0;
  std::string png = dir + "/out.png";
  ASSERT_TRUE(ImgWrite(png.c_str(), &img));
  cv::Mat back = cv::imread(png, cv::IMREAD_UNCHANGED);
  EXPECT_EQ(back.cols, 30);
  EXPECT_EQ(back.at<uint8_t>(0, 0), img.data[0]);

  std::string odd = dir + "/out.unknownext";
  EXPECT_FALSE(ImgWrite(odd.c_str(), &img));
  EXPECT_FALSE(ImgWrite(nullptr, &img));
  EXPECT_FALSE(ImgWrite(jpg.c_str(), nullptr));
  PVKImg empty{};
  EXPECT_FALSE(ImgWrite(jpg.c_str(), &empty));
  std::free(img.data);
  EXPECT_FALSE(ImgRead(p.c_str(), static_cast<PVKImg*>(nullptr), false, false));

  // 16-bit samples come down to 8 bits.
  cv::Mat deep(10, 12, CV_16UC1, cv::Scalar(40000));
  std::string dp = dir + "/deep.png";
  cv::imwrite(dp, deep);
  PVKImg grey{};
  ASSERT_TRUE(ImgRead(dp.c_str(), &grey, false, false));
  EXPECT_NEAR(grey.data[0], 156, 1);
  std::free(grey.data);
}

TEST_F(ImageFile, RefusalsLeaveTheirTraceLines) {
  const std::string trace = dir + "/trace.log";
  std::memset(&MyLog, 0, sizeof MyLog);
  MyLog.Log = 1;
  std::snprintf(MyLog.tracePath, sizeof MyLog.tracePath, "%s", trace.c_str());
  PVKImg img{};
  std::string jpg = dir + "/x.jpg";
  EXPECT_FALSE(ImgWrite(jpg.c_str(), nullptr));
  EXPECT_FALSE(ImgWrite(jpg.c_str(), &img));
  uint8_t px[4] = {1, 2, 3, 4};
  img.data = px;
  EXPECT_FALSE(ImgWrite(jpg.c_str(), &img));
  img.width = 2;
  EXPECT_FALSE(ImgWrite(jpg.c_str(), &img));
  EXPECT_FALSE(ImgRead(jpg.c_str(), &img, false, false));
  // The deskew writes its progress lines only with debugOn.
  SideBuffer side(400, 100, 1, 1, 300, 300);
  short edge;
  char err[40], info[40];
  debugOn = 1;
  PVKDeskewWrapStamp(&side.front, nullptr, false, false, false, false, true, edge, false, err, info, nullptr, 0, 0,
                     false);
  debugOn = 0;
  std::ifstream in(trace);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::memset(&MyLog, 0, sizeof MyLog);
  EXPECT_EQ(text,
            "ImgWrite - NULL image pointer\r\n"
            "ImgWrite - NULL image buffer\r\n"
            "ImgWrite - null width for image buffer\r\n"
            "ImgWrite - null height for image buffer\r\n"
            "ImgRead - invalid image buffer\r\n"
            "------------- PVKDeskewWrap start -----------------\r\n"
            "findImgContours start\r\n"
            "ok\r\n"  // the unfilled buffer is white: all document
            "------------- PVKDeskewWrap end -----------------\r\n");
}

}  // namespace
