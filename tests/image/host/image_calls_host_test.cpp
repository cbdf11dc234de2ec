// The exported image calls seen from a host program on the software scanner's default scanner:
// output resolutions, refusals before any document, output levels, the two-call get, the
// blank-page and quality checks, and the file utilities.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../../common/scratch_dir.h"
#include "PlavikMS.h"

namespace {

void* asHandle(int h) { return reinterpret_cast<void*>(static_cast<intptr_t>(h)); }

const std::string& processDir()
{
  static const std::string dir = pvk::testing::processScratchDir("pvkimghost");
  return dir;
}

class ImageCallsHost : public ::testing::Test {
 protected:
  std::string dir = processDir();
  int h = -1;
  void SetUp() override
  {
    h = PVKInitializeSN(dir.data(), nullptr);
    ASSERT_GT(h, 0) << PVKGetLastResult();
  }
  void TearDown() override
  {
    while (PVKClose(asHandle(h)) == 0 && PVKReadStatusL(asHandle(h)) != 0) {
    }
  }
  std::string path(const char* name) const { return dir + "/" + name; }
};

TEST_F(ImageCallsHost, OutputResolutionsAreChecked)
{
  EXPECT_EQ(PVKImgCreate(asHandle(h), 200, 300), 0);
  EXPECT_EQ(PVKImgCreate(asHandle(h), 601, 200), -3);
  EXPECT_EQ(PVKGetLastResult(), -3);
  // The full profile has a backlight on the front side: it must share the front's dpi.
  EXPECT_EQ(PVKImgCreate1(asHandle(h), 200, 200, 300), -3);
  EXPECT_EQ(PVKImgCreate(asHandle(0), 200, 200), -1);
}

TEST_F(ImageCallsHost, NothingToSaveBeforeADocument)
{
  ASSERT_EQ(PVKImgCreate(asHandle(h), 200, 200), 0);
  std::string file = path("none.jpg");
  EXPECT_EQ(PVKImgSave(asHandle(h), 1, nullptr, 80, 0, &file[0]), -3);
  EXPECT_EQ(PVKImgSave(asHandle(h), 7, nullptr, 80, 0, &file[0]), -3);
  int size = 5;
  EXPECT_EQ(PVKImgGet(asHandle(h), 1, nullptr, 80, 0, &size), nullptr);
  EXPECT_EQ(PVKImgGet(asHandle(h), 4, nullptr, 80, 0, &size), nullptr);
  EXPECT_EQ(PVKGetLastResult(), -3);
  unsigned char buf[16];
  EXPECT_EQ(PVKImgGet2(asHandle(h), 1, nullptr, 80, 0, buf), -1);
  EXPECT_EQ(PVKImgGet2(asHandle(h), 1, nullptr, 80, 0, nullptr), 0);
  EXPECT_EQ(PVKImgSaveFR(asHandle(h), 1, 0, 80, 0, &file[0]), -3);
  EXPECT_EQ(PVKImgGetFR(asHandle(h), 1, 0, 80, 0, &size), nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(PVKIsPageBlank(asHandle(h), 1, 10, 128), -3);
  EXPECT_EQ(PVKIsPageBlank(asHandle(h), 2, 10, 128), -3);
  EXPECT_EQ(PVKImgGetFree(asHandle(h), nullptr), 0);
  EXPECT_EQ(PVKImgFree(asHandle(h)), 0);
}

TEST_F(ImageCallsHost, OutputLevelsNeedNoDevice)
{
  EXPECT_EQ(PVKImgBright(1, 10), 0);
  EXPECT_EQ(PVKImgContr(0, -100), 0);
  EXPECT_EQ(PVKImgBright(2, 10), -3);
  EXPECT_EQ(PVKImgContr(1, 101), -3);
  EXPECT_EQ(PVKGetLastResult(), -3);
}

TEST_F(ImageCallsHost, QualityCheckAndFileUtilities)
{
  std::string a = path("a.bin");
  FILE* f = std::fopen(a.c_str(), "wb");
  std::fputs("x", f);
  std::fclose(f);
  EXPECT_EQ(PVKIQACheck(asHandle(h), &a[0], &a[0]), -11);
  std::string missing = path("missing.bin");
  EXPECT_EQ(PVKIQACheck(asHandle(h), &a[0], &missing[0]), -6);
  EXPECT_EQ(PVKIQACheck(asHandle(h), nullptr, &a[0]), -3);
  short x = 0, y = 0, hh = 0, w = 0;
  EXPECT_EQ(GetImageInfo(a.c_str(), &x, &y, &hh, &w), 0);
  EXPECT_EQ(x, 96);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(GetImageInfo(nullptr, &x, &y, &hh, &w), 0);
  int ih = 0, iw = 0, dpi = 0;
  EXPECT_EQ(ConvertiImg(a.c_str(), 3, 0, &ih, &iw, &dpi), 0);
  EXPECT_EQ(ConvertiImg(a.c_str(), 2, 0, &ih, &iw, &dpi), 0);
  EXPECT_EQ(Vx3MultiPageClose(), -8);
  EXPECT_EQ(Vx3MultiPageInit(path("m.tif").c_str(), 4, 0), -3);
  EXPECT_EQ(PVKGetAcqHeight(asHandle(h), 7, 200), 0);
}

}  // namespace
