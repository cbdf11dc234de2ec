// Geometry of each mode, the one shared buffer and its views, heights, the USB block, the
// two-part copies and the state save and restore around paper moves (run under ASan/LSan:
// a leak or a double free fails the test).
#include <cstdlib>

#include "control_fixture.h"

namespace {

using pvk::test::ControlTest;

class BufferTest : public ControlTest {
 protected:
  // Prepares `lines` lines with the colour code and switches given.
  void prepare(unsigned char colour, unsigned short lines, bool backlight = false) {
    MyDev.irHw = MyDev.uvHw = MyDev.backlightHw = 1;
    ASSERT_TRUE(SetColor(colour, false));
    MyAcq.backlight = backlight;
    ASSERT_TRUE(MyDevImgInit(lines, true)) << "last result " << Vx3ResultGet();
  }
};

struct Geometry {
  unsigned char colour;
  bool backlight;
  int mode;
  uint16_t raw, plane;
  size_t backlightOffset;  // from the front's first row, 0 = no backlight view
};

TEST_F(BufferTest, LineGeometryAndViewsPerColourCode) {
  const Geometry cases[] = {
      {1, false, 3, 2 * 2592, 2 * 2592, 0},         // grey: front then rear pixels
      {2, false, 1, 2 * 3 * 2592, 2 * 2592, 0},     // three colour planes
      {9, false, 3, 2 * 2 * 2592, 2 * 2592, 0},     // grey and IR
      {17, false, 3, 2 * 2 * 2592, 2 * 2592, 0},    // grey and UV
      {26, false, 1, 2 * 5 * 2592, 2 * 2592, 0},    // colour, IR and UV
      {1, true, 3, 2 * 2592 + 2592, 2 * 2592, 2 * 2592},  // backlight pixels end the row
  };
  for (const Geometry& g : cases) {
    SetUp();
    prepare(g.colour, 100, g.backlight);
    const ImgInfo* img = MyDev.img;
    EXPECT_EQ(MyAcq.mode, g.mode) << int(g.colour);
    for (int s = 0; s < 3; ++s) {
      EXPECT_EQ(img[s].rawLineBytes, g.raw) << int(g.colour) << " side " << s;
      EXPECT_EQ(img[s].planeLineBytes, g.plane) << int(g.colour);
      EXPECT_EQ(img[s].dpiH, 300);
    }
    EXPECT_EQ(img[1].sensorPixels, 2592);
    ASSERT_NE(img[1].allocBase, nullptr);
    EXPECT_EQ(img[0].allocBase, nullptr);  // views own nothing
    EXPECT_EQ(img[2].allocBase, nullptr);
    EXPECT_EQ(img[0].firstRow, img[1].firstRow + 2592);
    if (g.backlightOffset) EXPECT_EQ(img[2].firstRow, img[1].firstRow + g.backlightOffset);
    else EXPECT_EQ(img[2].firstRow, nullptr);
    EXPECT_EQ(img[1].rowsUsed % MyAcq.rowBlock, 0);
    EXPECT_EQ(img[0].rowsUsed, 0);
    // Unread rows are white, and the bulk reader starts one line in.
    EXPECT_EQ(img[1].margin, img[1].rawLineBytes + MyMICR.extraBytes);
    EXPECT_EQ(img[1].writePtr, img[1].firstRow + img[1].margin);
    for (uint64_t i = 0; i < img[1].bytesAllocated; i += 997) ASSERT_EQ(img[1].allocBase[i], 0xFF);
    ASSERT_EQ(img[1].allocBase[img[1].bytesAllocated - 1], 0xFF);
    FreeMyImg(MyDev.img);
  }
}

TEST_F(BufferTest, IrAndUvPlaneIndicesFollowTheColourPlanes) {
  // The correction maps raw-line planes to colour slots through these two copies.
  prepare(26, 10);  // colour, IR and UV: planes R G B IR UV
  EXPECT_EQ(MyAcq.colourPlanes, 3);
  EXPECT_EQ(MyAcq.colourIrPlanes, 4);
  EXPECT_EQ(ColVar2Fix(3), 3);  // IR slot
  EXPECT_EQ(ColVar2Fix(4), 4);  // UV slot
  FreeMyImg(MyDev.img);
  prepare(9, 10);  // grey and IR
  EXPECT_EQ(MyAcq.colourPlanes, 1);
  EXPECT_EQ(MyAcq.colourIrPlanes, 2);
  EXPECT_EQ(ColVar2Fix(1), 3);
}

TEST_F(BufferTest, ForcedModeGeometryOnTheProductBVariant) {
  // This variant divides the line rate by the planes per raw line.
  struct Row { int mode; unsigned char colour; uint16_t dpiH, dpiV, sensor; uint32_t timing; };
  const Row rows[] = {{0, 1, 600, 600, 5184, 1003}, {7, 1, 200, 200, 1728, 1001}, {2, 2, 300, 200, 2592, 1003},
                      {1, 2, 300, 300, 2592, 1005}, {3, 9, 300, 150, 2592, 15}};
  for (const Row& r : rows) {
    SetUp();
    MyDev.productId = pvk::control::kProductMox;
    MyDev.irHw = 1;
    ASSERT_TRUE(SetColor(r.colour, false));
    MyAcq.modeLocked = 1;
    ASSERT_TRUE(MyDevImgInitWithMode(0, static_cast<unsigned char>(r.mode), false)) << r.mode;
    EXPECT_EQ(MyDev.img[1].dpiH, r.dpiH) << r.mode;
    EXPECT_EQ(MyDev.img[1].dpiV, r.dpiV) << r.mode;
    EXPECT_EQ(MyDev.img[0].sensorPixels, r.sensor) << r.mode;
    EXPECT_EQ(MyAcq.lineTiming, r.timing) << r.mode;
    EXPECT_EQ(MyAcq.leadIn, 0);
    EXPECT_EQ(MyAcq.topMargin, 100 * r.dpiV / 300);
  }
  MyAcq.modeLocked = 1;
  EXPECT_FALSE(MyDevImgInitWithMode(0, 4, false));  // not in this variant's table
}

TEST_F(BufferTest, RowsOffsetsAndBlockRounding) {
  MyDev.highSpeed = 0;  // 64-byte blocks, mode 3 at 300 x 300
  prepare(1, 101);
  const ImgInfo& f = MyDev.img[1];
  // Lead-in and tail are 270 lines at 300 dpi; the top offset is one line.
  EXPECT_EQ(MyAcq.leadIn, 270);
  EXPECT_EQ(MyAcq.tail, 270);
  EXPECT_EQ(MyAcq.usbBlock, 64);
  EXPECT_EQ(f.rowsUsed, (101 + 270 + 1 + 7) / 8 * 8);
  EXPECT_EQ(f.imageBytes % 64, 0u);
  EXPECT_GE(f.imageBytes, uint64_t(f.rowsUsed) * f.rawLineBytes);
  // Allocated rows: the rows plus 16 spare ones.
  EXPECT_EQ(f.bytesAllocated, uint64_t(f.rowsUsed + 16) * f.rawLineBytes);
}

TEST_F(BufferTest, ByteCountOffTheBlockIsRoundedAndTraced) {
  MyAcq.usbBlock = 512;
  prepare(1, 100);
  ImgInfo* img = MyDev.img;
  img[1].rawLineBytes = 1000;  // 1000 x rows is not a multiple of 512
  img[1].imageBytes = uint64_t(img[1].rowsUsed) * 1000;
  const uint64_t old = img[1].imageBytes;
  CheckImgSize(img);
  EXPECT_EQ(img[1].imageBytes, (old + 511) / 512 * 512);
  EXPECT_TRUE(traced("err -  SetImgSize not multiple of wBlock " + std::to_string(old)));
  img[1].imageBytes = 100;  // less than one block
  CheckImgSize(img);
  EXPECT_EQ(img[1].imageBytes, 0u);
}

TEST_F(BufferTest, DefaultAndMaximumHeights) {
  EXPECT_EQ(MaxHeight150(), 2048);
  EXPECT_EQ(DefaultHeight150(), 2048);
  MyDev.adfPresent = 1;
  MyDev.inkjetPresent = 1;
  EXPECT_EQ(MaxHeight150(), 2304 + 512);
  MyMICR.enabled = 1;
  EXPECT_EQ(DefaultHeight150(), 19456);
  MyAcq.paperMove = 1;
  EXPECT_EQ(DefaultHeight150(), (2304 + 512) * 4);
  MyAcq.maxHeight150 = 60000;  // the INI value is returned as it is
  EXPECT_EQ(DefaultHeight150(), 60000);
}

TEST_F(BufferTest, TwoPartBufferRowsAreComputedInThirtyTwoBits) {
  // 1000 lines at 150 dpi times 300 dpi overflows 16 bits; the buffer must still hold 2000 rows.
  MyAcq.maxHeight150 = 1000;
  MyAcq.twoPartActive = 1;
  prepare(1, 64);
  EXPECT_EQ(MyAcq.sideBytes[1], uint64_t(2000) * MyDev.img[1].rawLineBytes);
  EXPECT_GE(MyDev.img[1].bytesAllocated, MyAcq.sideBytes[1]);
}

TEST_F(BufferTest, MagneticSamplesBuffer) {
  MyMICR.enabled = 1;
  MyMICR.samplesTwoSides = 6;
  MyMICR.vResGrey = 300;
  prepare(1, 50);
  EXPECT_EQ(MyMICR.extraBytes, 6);
  ASSERT_NE(MyMICR.samples, nullptr);
  EXPECT_EQ(MyMICR.sampleBytes, uint64_t(6) * MyDev.img[1].rowsUsed * 2);
  EXPECT_EQ(MyMICR.samples[MyMICR.sampleBytes - 1], 0xFF);
  // The allocation line carries the magnetic bytes after the pixels.
  EXPECT_EQ(MyDev.img[1].margin, MyDev.img[1].rawLineBytes + 6u);
}

TEST_F(BufferTest, ForcedModePreparesTwiceWithoutLeaking) {
  MyAcq.modeLocked = 1;
  ASSERT_TRUE(MyDevImgInitWithMode(80, 3, false));
  EXPECT_EQ(MyAcq.mode, 3);
  ASSERT_NE(MyDev.img[1].allocBase, nullptr);
}

TEST_F(BufferTest, FirstPartCopyOwnsItsBytesAndItsViews) {
  prepare(1, 100, true);
  ImgInfo* img = MyDev.img;
  ASSERT_TRUE(PreparaSecondaAcq());
  ImgInfo* first = MyDev.imgFirstPart;
  ASSERT_NE(first[1].allocBase, nullptr);
  ASSERT_NE(first[1].allocBase, img[1].allocBase);
  EXPECT_EQ(first[0].firstRow, first[1].firstRow + 2592);
  EXPECT_EQ(first[2].firstRow - first[1].firstRow, img[2].firstRow - img[1].firstRow);
  // The next acquisition overwrites the live buffer; the copy keeps the first part.
  std::memset(img[1].allocBase, 0, img[1].bytesAllocated);
  EXPECT_EQ(first[0].firstRow[0], 0xFF);
  EXPECT_EQ(first[2].firstRow[0], 0xFF);
  // A second copy replaces the first without leaking it.
  ASSERT_TRUE(PreparaSecondaAcq());
}

TEST_F(BufferTest, SecondPartWindowReplacesTheCopiesWithoutLeaking) {
  MyAcq.twoPartActive = 1;
  prepare(1, 100);
  ASSERT_TRUE(PreparaSecondaAcq());
  MyAcq.secondPartPending = 1;
  uint8_t* live = MyDev.img[1].allocBase;
  ASSERT_TRUE(MyDevImgInit(100, true));
  ImgInfo* img = MyDev.img;
  ImgInfo* first = MyDev.imgFirstPart;
  EXPECT_EQ(first[1].allocBase, live);  // the first part took the buffer over
  EXPECT_EQ(img[1].allocBase, nullptr);
  ASSERT_NE(img[1].firstRow, nullptr);
  EXPECT_GE(img[1].firstRow, live);
  EXPECT_LE(img[1].firstRow + img[1].imageBytes, live + first[1].bytesAllocated);
  EXPECT_EQ(MyAcq.leadIn, 0);  // the second part has no lead-in
}

TEST_F(BufferTest, SaveAndRestoreAroundAPaperMove) {
  prepare(2, 100, true);
  uint8_t* docBuffer = MyDev.img[1].allocBase;
  for (auto& c : MyCorS) {
    c.white = static_cast<uint8_t*>(std::malloc(64));
    c.black = static_cast<uint8_t*>(std::malloc(64));
    c.modeLoaded = 0x1234;
  }
  MyInkjet.stamp.data = static_cast<uint8_t*>(std::malloc(32));

  _DevInfo dev;
  AcqInfo acq;
  CorInfoSide cor[3];
  BrCrInfoSide brcr[3];
  SalvaDevice(&dev, &acq, cor, brcr);
  EXPECT_EQ(MyDev.img[1].allocBase, nullptr);
  EXPECT_EQ(MyCorS[2].white, nullptr);
  EXPECT_EQ(MyCorS[0].modeLoaded, 0);

  // The move prepares its own buffers and loads its own correction, on all three sides.
  ASSERT_TRUE(SetColor(1, false));
  ASSERT_TRUE(MyDevImgInit(40, true));
  for (auto& c : MyCorS) {
    c.white = static_cast<uint8_t*>(std::malloc(16));
    c.black = static_cast<uint8_t*>(std::malloc(16));
  }
  RipristinaDevice(&dev, &acq, cor, brcr);
  EXPECT_EQ(MyDev.img[1].allocBase, docBuffer);
  EXPECT_EQ(MyAcq.colour, 2);
  for (auto& c : MyCorS) EXPECT_EQ(c.modeLoaded, 0);
  // The stamp survives the move.
  MyInkjet.stamp.data[31] = 1;
  std::free(MyInkjet.stamp.data);
  MyInkjet.stamp.data = nullptr;
  for (auto& c : MyCorS) {
    std::free(c.white);
    std::free(c.black);
    c.white = c.black = nullptr;
  }
}

TEST_F(BufferTest, RestoreKeepsADeviceLostDuringTheMove) {
  MyDev.state = 1;
  MyDev.cleaningRequired = 1;
  _DevInfo dev;
  AcqInfo acq;
  CorInfoSide cor[3];
  BrCrInfoSide brcr[3];
  SalvaDevice(&dev, &acq, cor, brcr);
  MyDev.state = -1;  // the move found the scanner gone: reopen at the next call
  MyDev.cleaningRequired = 0;
  RipristinaDevice(&dev, &acq, cor, brcr);
  EXPECT_EQ(MyDev.state, -1);
  EXPECT_EQ(MyDev.cleaningRequired, 1);  // everything else comes back as saved
}

TEST_F(BufferTest, SaveAndRestoreRefuseNullRecords) {
  prepare(1, 10);
  AcqInfo acq;
  CorInfoSide cor[3];
  BrCrInfoSide brcr[3];
  SalvaDevice(nullptr, &acq, cor, brcr);
  RipristinaDevice(nullptr, &acq, cor, brcr);
  EXPECT_NE(MyDev.img[1].allocBase, nullptr);
  EXPECT_TRUE(traced("err -  unexpected 1"));
  EXPECT_TRUE(traced("err -  unexpected 2"));
}

TEST_F(BufferTest, SideToPVKImgCopiesTheColourPlanes) {
  prepare(10, 20);  // colour and IR: three colour planes plus one skipped
  ImgInfo& f = MyDev.img[1];
  f.trimWidth = 101;
  f.trimLeft = 3;
  f.trimTop = 0;
  f.rowsUsed = 2;
  for (int p = 0; p < 4; ++p) std::memset(f.firstRow + p * f.planeLineBytes, 10 * (p + 1), f.planeLineBytes);
  PVKImg out{};
  ASSERT_TRUE(ImgInfoToPVKImg(f, &out));
  EXPECT_EQ(out.stride, 312);
  EXPECT_EQ(out.width, 101);
  EXPECT_EQ(out.data[0], 10);
  EXPECT_EQ(out.data[104], 20);
  EXPECT_EQ(out.data[208], 30);
  EXPECT_EQ(out.data[208 + 100], 30);
  EXPECT_EQ(out.data[312], 0xFF);  // second row: untouched white
  EXPECT_EQ(f.allocBase, nullptr);  // the side was released
  std::free(out.data);
  PVKImg none{};
  EXPECT_FALSE(ImgInfoToPVKImg(f, nullptr));
  f.firstRow = nullptr;
  EXPECT_FALSE(ImgInfoToPVKImg(f, &none));
}

// The copy releases the side: a second copy of the same record, or a record that claims more
// rows than its buffer holds, is refused instead of reading freed or foreign memory.
TEST_F(BufferTest, SideToPVKImgRefusesReleasedAndOverlongSides) {
  prepare(1, 20);
  ImgInfo& f = MyDev.img[1];
  ImgInfo tooLong = f;
  tooLong.rowsUsed = static_cast<uint16_t>(f.bytesAllocated / f.rawLineBytes + 2);
  PVKImg out{};
  EXPECT_FALSE(ImgInfoToPVKImg(tooLong, &out));
  EXPECT_EQ(Vx3ResultGet(), -3);
  EXPECT_EQ(out.data, nullptr);
  ASSERT_TRUE(ImgInfoToPVKImg(f, &out));
  EXPECT_EQ(f.firstRow, nullptr);
  EXPECT_FALSE(ImgInfoToPVKImg(f, &out));
  std::free(out.data);
}

// A C host calls with a pointer to the side: a null one is refused, not read.
TEST_F(BufferTest, SideToPVKImgFromCRefusesANullSide) {
  using CSideCopy = bool (*)(ImgInfo*, PVKImg*);
  auto copyFromC = reinterpret_cast<CSideCopy>(reinterpret_cast<void (*)()>(&ImgInfoToPVKImg));
  PVKImg out{};
  Vx3ResultSet(0);
  EXPECT_FALSE(copyFromC(nullptr, &out));
  EXPECT_EQ(Vx3ResultGet(), -3);
  EXPECT_EQ(out.data, nullptr);
}

TEST_F(BufferTest, AcquiredHeightAtAResolution) {
  MyDev.img[1].rowsUsed = 600;
  MyDev.img[1].dpiV = 300;
  MyAcq.autoFrontSide = 1;
  EXPECT_EQ(Vx3GetAcqHeight(1, 150), 300);
  EXPECT_EQ(Vx3GetAcqHeight(9, 200), 400);
  EXPECT_EQ(Vx3GetAcqHeight(3, 200), 0);
  EXPECT_EQ(Vx3GetAcqHeight(1, 0), 0);
  EXPECT_EQ(Vx3GetAcqHeight(0, 100), 0);  // no vertical resolution
  MyDev.img[1].rowsUsed = 65535;
  EXPECT_EQ(Vx3GetAcqHeight(1, 32767), 65535 * 32767 / 300);  // no 16-bit overflow
  EXPECT_TRUE(traced("PVKGetAcqHeight with invalid side 3"));
  EXPECT_TRUE(traced("PVKGetAcqHeight with invalid dpi 0"));
  EXPECT_TRUE(traced("PVKGetAcqHeight with invalid dpiV 0"));
}

}  // namespace
