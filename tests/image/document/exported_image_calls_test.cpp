// The exported image calls on a cheque acquired from the software scanner: single-side saves
// and gets with their rotations, flips and side codes, the two-call gets, stacked sides, the
// acquired height, output levels of stored images, colour order, and the blank-page call.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../common/cheque_feed.h"
#include "../../common/scanner_scratch.h"
#include "../../common/synthetic_cheque.h"
#include "../image_test_util.h"
#include "PlavikMS.h"
#include "control/control.h"
#include "document/document.h"
#include "pvkemu.h"
#include "pvkemu_image.h"

namespace {

using imgtest::run;

class ExportedImageCalls : public pvk::testing::ScannerScratch {
 protected:
  void TearDown() override
  {
    if (handle > 0)
      PVKClose(h());
  }
  void* h() const { return reinterpret_cast<void*>(static_cast<intptr_t>(handle)); }
  // Opens a scanner (grey basic or colour full profile) and acquires one cheque.
  int acquire(bool colour)
  {
    pvkemu_profile p;
    colour ? pvkemu_profile_full(&p) : pvkemu_profile_basic(&p);
    int dev = pvkemu_add_device(&p);
    handle = PVKInitializeSN(&dir[0], nullptr);
    if (handle <= 0)
      return -1000;
    if (PVKImgCreate(h(), 200, 100) != 0)
      return -1001;
    if (colour && Vx3ParamSet(0, 2, false) != 0)
      return -1002;
    pvk::testing::ChequeSpec spec;
    int planes = colour ? 3 : 1;
    front = pvk::testing::drawSide(spec, planes, false);
    rear = pvk::testing::drawSide(spec, planes, true);
    pvk::testing::feedPlanes(dev, front, rear, planes);
    MyAcq.cfgFlags[kCfgWaitDoc] = 0;
    return AcquireImg(0, MyDev.img, true);
  }
  std::string size(const std::string& file)
  {
    return run("/usr/bin/identify -format '%w %h' '" + file + "'");
  }
  static std::string wh(int w, int h) { return std::to_string(w) + " " + std::to_string(h); }
  int frontW() const { return MyDev.img[1].trimWidth * 200 / MyDev.img[1].dpiH / 4 * 4; }
  int frontH() const { return MyDev.img[1].rowsUsed * 200 / MyDev.img[1].dpiV; }
  int rearW() const { return MyDev.img[0].trimWidth * 100 / MyDev.img[0].dpiH / 4 * 4; }
  int rearH() const { return MyDev.img[0].rowsUsed * 100 / MyDev.img[0].dpiV; }

  int handle = -1;
  pvk::testing::SidePlanes front, rear;
};

TEST_F(ExportedImageCalls, SavesWithTurnsFlipsAndSideCodes)
{
  ASSERT_EQ(acquire(false), 0);
  std::string f = path("f.jpg");
  ASSERT_EQ(PVKImgSave(h(), 1, nullptr, 80, 0, &f[0]), 0);
  EXPECT_EQ(size(f), wh(frontW(), frontH()));
  // Turned right and left: width and height swap (within the copy-out's rounding).
  for (short turn : {short(0x100), short(0x300)}) {
    ASSERT_EQ(PVKImgSave(h(), 1, nullptr, 80, turn, &f[0]), 0);
    int w = 0, hh = 0;
    ASSERT_EQ(std::sscanf(size(f).c_str(), "%d %d", &w, &hh), 2);
    EXPECT_NEAR(w, frontH(), 4);
    EXPECT_NEAR(hh, frontW(), 4);
  }
  // Automatic turn without a codeline reading: the side stays as it is, also in automatic-side
  // mode, where side 1 stands for the automatic front.
  ASSERT_EQ(PVKImgSave(h(), 1, nullptr, 80, 0x400, &f[0]), 0);
  EXPECT_EQ(size(f), wh(frontW(), frontH()));
  MyAcq.sideAuto = 1;
  ASSERT_EQ(PVKImgSave(h(), 1, nullptr, 80, 0, &f[0]), 0);
  EXPECT_EQ(size(f), wh(frontW(), frontH()));
  MyAcq.sideAuto = 0;
  std::string b = path("f.bmp");
  ASSERT_EQ(PVKImgSave4(h(), 1, PVKRoi{0, 0, 0, 0}, 8, 4, 0x200, &b[0]), 0);
  EXPECT_EQ(size(b), wh(frontW(), frontH()));
  // The flip bit turns the picture top to bottom: the cheque's first rows end up last.
  std::string up = path("up.bmp"), down = path("down.bmp");
  ASSERT_EQ(PVKImgSave(h(), 1, nullptr, 8, 4, &up[0]), 0);
  ASSERT_EQ(PVKImgSave(h(), 1, nullptr, 8, 0x0804, &down[0]), 0);
  std::string back = path("back.bmp");
  run("/usr/bin/convert '" + down + "' -flip '" + back + "'");
  EXPECT_EQ(run("/usr/bin/compare -metric AE '" + up + "' '" + back + "' null: 2>&1"), "0");
  // Side codes 8 and 9 take the sides the automatic choice set (rear 0, front 1 by default).
  std::string r9 = path("r9.bmp");
  ASSERT_EQ(PVKImgSave(h(), 9, nullptr, 8, 4, &r9[0]), 0);
  EXPECT_EQ(size(r9), wh(frontW(), frontH()));
  ASSERT_EQ(PVKImgSave2(h(), 8, PVKRoi{0, 0, 0, 0}, 8, 4, &r9[0]), 0);
  EXPECT_EQ(size(r9), wh(rearW(), rearH()));
  // Infrared asked of a scanner without it, a side code of 5: refused.
  EXPECT_EQ(PVKImgSaveCol(h(), 1, nullptr, 8, 4, 8, f.c_str()), -3);
  EXPECT_EQ(PVKImgSave(h(), 5, nullptr, 80, 0, &f[0]), -3);
  PVKRoi roi{10, 10, 100, 100};
  EXPECT_EQ(PVKImgSave(h(), 1, &roi, 80, 0, &f[0]), 0);
  EXPECT_EQ(size(f), wh(frontW(), frontH()));  // not cut
}

TEST_F(ExportedImageCalls, GetsAndTwoCallGets)
{
  ASSERT_EQ(acquire(false), 0);
  int n = 0;
  unsigned char* jpg = PVKImgGet(h(), 1, nullptr, 75, 0, &n);
  ASSERT_NE(jpg, nullptr);
  EXPECT_GT(n, 1000);
  EXPECT_EQ(jpg[0], 0xFF);
  EXPECT_EQ(PVKImgGetFree(h(), jpg), 0);
  // Two calls: the size, then the picture; a second copy without a first call is refused.
  int size2 = PVKImgGet2(h(), 0, nullptr, 0, 2, nullptr);
  ASSERT_GT(size2, 100);
  std::vector<unsigned char> buf(static_cast<size_t>(size2));
  EXPECT_EQ(PVKImgGet2(h(), 0, nullptr, 0, 2, buf.data()), size2);
  EXPECT_EQ(PVKImgGet2(h(), 0, nullptr, 0, 2, buf.data()), -1);
  std::string tif = path("g.tif");
  FILE* out = std::fopen(tif.c_str(), "wb");
  std::fwrite(buf.data(), 1, buf.size(), out);
  std::fclose(out);
  EXPECT_NE(run("tiffinfo '" + tif + "' 2>/dev/null").find("CCITT Group 4"), std::string::npos);
  int size3 = PVKImgGet3(h(), 1, 0, 0, nullptr, 0, 4, 0, 150, 8, nullptr);
  ASSERT_GT(size3, 1078);
  buf.resize(static_cast<size_t>(size3));
  EXPECT_EQ(PVKImgGet3(h(), 1, 0, 0, nullptr, 0, 4, 0, 150, 8, buf.data()), size3);
  EXPECT_EQ(buf[0], 'B');
  // Stacked: front (200 dpi) over rear, both at the larger output dpi.
  unsigned char* fr = PVKImgGetFR(h(), 1, 0, 80, 0, &n);
  ASSERT_NE(fr, nullptr);
  PVKImgGetFree(h(), fr);
  fr = PVKImgGet3FR(h(), 1, 0, 0, 0, 0, 0, 0, 4, 0, 0, 8, &n);
  ASSERT_NE(fr, nullptr);
  std::string bmp = path("fr.bmp");
  out = std::fopen(bmp.c_str(), "wb");
  std::fwrite(fr, 1, static_cast<size_t>(n), out);
  std::fclose(out);
  PVKImgGetFree(h(), fr);
  EXPECT_EQ(size(bmp), wh(frontW(), frontH() + MyDev.img[0].rowsUsed * 200 / MyDev.img[0].dpiV));
  std::string saved = path("fr2.bmp");
  EXPECT_EQ(PVKImgSaveFR2(h(), 1, 0, 0, 4, 0, 0, 8, &saved[0]), 0);
  EXPECT_EQ(PVKImgeSaveFR(h(), 9, 8, 80, 0, &saved[0]), 0);
  EXPECT_EQ(PVKImgSave3FR(h(), 1, 0, 0, 0, 0, 0, 80, 0, 0, 0, 0, &saved[0]), 0);
  EXPECT_EQ(PVKImgSaveFR(h(), 1, 0, 80, 0, &saved[0]), 0);
}

// A cheque whose codeline was read upside down: the stacked saves asked for the automatic sides
// (8, 9) with no rotation turn both sides by the reading's half turn, as an explicit half turn of
// the same sides does; asked for sides 1 and 0 they leave them as acquired.
TEST_F(ExportedImageCalls, StackedSavesOfTheAutomaticSidesTurnAnUpsideDownCheque)
{
  ASSERT_EQ(acquire(false), 0);
  MyOcrOpt.found = 1;
  MyOcrOpt.rotation = 512;
  for (uint16_t& r : MyAcq.rotation)
    r = 512;
  // The bytes of stacked save number `call` of side s1 over s2 turned by rotation ("": failed).
  auto save = [&](int call, short s1, short s2, short rotation) {
    std::string p = path("out.bmp");
    const int r = call == 0   ? PVKImgSaveFR(h(), s1, s2, 0, static_cast<short>(4 | rotation), &p[0])
                  : call == 1 ? PVKImgSaveFR2(h(), s1, s2, 0, 4, rotation, 0, 8, &p[0])
                              : PVKImgSave3FR(h(), s1, 0, 0, s2, 0, 0, 0, 4, rotation, 0, 8, &p[0]);
    return r == 0 ? imgtest::slurp(p) : std::string();
  };
  const std::string turned10 = save(1, 1, 0, 0x200), turned01 = save(1, 0, 1, 0x200), plain = save(1, 1, 0, 0);
  ASSERT_TRUE(!turned01.empty() && !plain.empty() && turned10 != plain);
  const struct {
    short s1, s2;
    const std::string& same;
  } cases[] = {{9, 8, turned10}, {8, 9, turned01}, {1, 8, turned10}, {1, 0, plain}};
  for (int call : {0, 1, 2})
    for (const auto& c : cases)
      EXPECT_TRUE(save(call, c.s1, c.s2, 0) == c.same) << "call " << call << ", sides " << c.s1 << " " << c.s2;
}

TEST_F(ExportedImageCalls, HeightLevelsAndBlankPage)
{
  ASSERT_EQ(acquire(false), 0);
  EXPECT_EQ(PVKGetAcqHeight(h(), 1, 150), MyDev.img[1].rowsUsed * 150 / MyDev.img[1].dpiV);
  EXPECT_EQ(PVKGetAcqHeight(h(), 9, 150), MyDev.img[1].rowsUsed * 150 / MyDev.img[1].dpiV);
  // Brighter output: the stored picture's mean rises.
  std::string a = path("a.bmp"), b = path("b.bmp");
  ASSERT_EQ(PVKImgSave(h(), 1, nullptr, 8, 4, &a[0]), 0);
  ASSERT_EQ(PVKImgBright(1, -50), 0);
  ASSERT_EQ(PVKImgContr(1, 20), 0);
  ASSERT_EQ(PVKImgSave(h(), 1, nullptr, 8, 4, &b[0]), 0);
  double ma = std::atof(run("/usr/bin/identify -format '%[fx:mean*255]' '" + a + "'").c_str());
  double mb = std::atof(run("/usr/bin/identify -format '%[fx:mean*255]' '" + b + "'").c_str());
  EXPECT_LT(mb, ma - 20);
  EXPECT_EQ(PVKIsPageBlank(h(), 1, 100, 128), 6);  // the bars touch the edge: taken as border
  EXPECT_EQ(PVKIsPageBlank(h(), 2, 10, 128), -3);
  EXPECT_EQ(PVKImgFree(h()), 0);
  EXPECT_EQ(PVKImgSave(h(), 1, nullptr, 80, 0, &a[0]), -3);
}

TEST_F(ExportedImageCalls, ColourOrderOfTwentyFourBitOutput)
{
  int acquired = acquire(true);
  ASSERT_EQ(acquired, 0);
  ASSERT_EQ(MyDev.img[1].colourPlanes, 3);
  std::string bgr = path("bgr.bmp"), rgb = path("rgb.bmp");
  ASSERT_EQ(PVKImgSave(h(), 1, nullptr, 24, 4, &bgr[0]), 0);
  ASSERT_EQ(PVKImgSave(h(), 1, nullptr, 24, 0x1004, &rgb[0]), 0);
  // The paper is redder than it is blue: a BMP in its own order shows it so, the other order
  // swaps red and blue.
  auto channel = [&](const std::string& f, const char* c) {
    return std::atof(run("/usr/bin/identify -format '%[fx:mean." + std::string(c) + "*255]' '" + f + "'").c_str());
  };
  EXPECT_GT(channel(bgr, "r"), channel(bgr, "b"));
  EXPECT_LT(channel(rgb, "r"), channel(rgb, "b"));
  std::string jpg = path("c.jpg");
  ASSERT_EQ(PVKImgSave(h(), 1, nullptr, 80, 0, &jpg[0]), 0);
  EXPECT_NE(run("djpeg -pnm '" + jpg + "' | pnmfile").find("PPM raw"), std::string::npos);
}

}  // namespace
