// One document end to end on the software scanner: opened, set up and stopped through the
// exported calls as a host does, fed a synthetic two-sided cheque, and acquired by the
// scan-and-read acquisition step (the step the host's scan-and-read call runs). The sides must
// come out upright and cropped to the cheque; stops, timeouts, missing power and a device
// unplugged mid-document give their result codes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "../common/synthetic_cheque.h"
#include "PlavikMS.h"
#include "document/document.h"
#include "pvkemu.h"
#include "pvkemu_image.h"
#include "pvkemu_sheet.h"

namespace {

using pvk::testing::ChequeSpec;
using pvk::testing::SidePlanes;

// A cheque kept alive while the scanner holds pointers into it.
struct FedCheque {
  SidePlanes front, rear;
  std::vector<uint8_t> micr;
  pvkemu_document doc{};
};

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    pvkemu_clock_virtual(1);
    pvkemu_reset();
    char tmpl[] = "/tmp/pvk_e2e_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    if (handle > 0) PVKClose(h());
    std::string cmd = "rm -rf " + dir;
    (void)!std::system(cmd.c_str());
  }
  void* h() const { return reinterpret_cast<void*>(static_cast<intptr_t>(handle)); }

  void open(void (*profile)(pvkemu_profile*), void (*change)(pvkemu_profile&) = nullptr) {
    pvkemu_profile p;
    profile(&p);
    if (change) change(p);
    dev = pvkemu_add_device(&p);
    handle = PVKInitializeSN(dir.data(), nullptr);
    ASSERT_GT(handle, 0) << PVKGetLastResult();
  }

  // Feeds a cheque and puts it at the entry photocell for one acquisition.
  void feed(const ChequeSpec& spec, int planes, bool withMicr = false) {
    cheque = FedCheque{};
    cheque.front = pvk::testing::drawSide(spec, planes, false);
    cheque.rear = pvk::testing::drawSide(spec, planes, true);
    cheque.doc.width = static_cast<uint32_t>(spec.sensorPixels);
    cheque.doc.height = static_cast<uint32_t>(spec.lines);
    for (int p = 0; p < planes; ++p) {
      cheque.doc.front[p] = cheque.front.planes[p].data();
      cheque.doc.rear[p] = cheque.rear.planes[p].data();
    }
    if (withMicr) {
      cheque.micr.resize(static_cast<size_t>(spec.lines) * 64);
      for (size_t i = 0; i < cheque.micr.size(); ++i) cheque.micr[i] = static_cast<uint8_t>(0x40 + i % 97);
      cheque.doc.micr = cheque.micr.data();
      cheque.doc.micr_length = cheque.micr.size();
      cheque.doc.micr_per_slot = MyMICR.samplesTwoSides;
    }
    ASSERT_EQ(pvkemu_feed(dev, &cheque.doc), 0);
    pvkemu_sheet(dev, 0, 1, PVKEMU_SHEET_ENTRY);
  }

  // Width and height of the cheque in the acquired side, against the cheque's own size.
  static void expectCropped(const ImgInfo& side, const ChequeSpec& spec) {
    const double sx = side.dpiH / 300.0, sy = side.dpiV / 300.0;
    EXPECT_EQ(side.outputFlag, 1);
    EXPECT_NEAR(side.trimWidth, spec.width * sx, 2.0 * std::max(1.0, sx));
    EXPECT_NEAR(side.rowsUsed, spec.height * sy, 2.0 * std::max(1.0, sy));
  }
  // Upright: rows between the bars of text are paper from edge to edge, plane 0.
  static int darkInPaperRow(const ImgInfo& side, int row300) {
    const int row = row300 * side.dpiV / 300;
    const uint8_t* p = side.firstRow + static_cast<size_t>(side.trimTop + row) * side.rawLineBytes + side.trimLeft;
    int dark = 0;
    for (int x = 4; x < side.trimWidth - 4; ++x) dark += p[x] < 120;
    return dark;
  }

  std::string dir;
  int dev = -1;
  int handle = -1;
  FedCheque cheque;
};

void fullSpeed(pvkemu_profile& p) { p.bcd_usb = 0x0110; }

}  // namespace

TEST_F(EndToEnd, GreyChequeOnTheBasicScanner) {
  open(pvkemu_profile_basic);
  ChequeSpec spec;
  spec.angleDeg = 3.0;
  feed(spec, 1);
  ASSERT_TRUE(Vx3Read_AcquireImg()) << MyDev.lastResult;
  EXPECT_EQ(PVKGetLastResult(), 0);
  for (int s : {0, 1}) {
    expectCropped(MyDev.img[s], spec);
    EXPECT_LT(darkInPaperRow(MyDev.img[s], 440), 8) << "side " << s;
  }
  EXPECT_EQ(PVKGetAcqHeight(h(), 1, 300), MyDev.img[1].rowsUsed);
}

TEST_F(EndToEnd, ColourChequeOnTheFullScanner) {
  open(pvkemu_profile_full);
  ASSERT_EQ(PVKSetParameter(0, 2), 0);
  ChequeSpec spec;
  spec.angleDeg = -2.0;
  feed(spec, 3);
  ASSERT_TRUE(Vx3Read_AcquireImg()) << MyDev.lastResult;
  const ImgInfo& f = MyDev.img[1];
  ASSERT_EQ(f.colourPlanes, 3);
  expectCropped(f, spec);
  expectCropped(MyDev.img[0], spec);
  // The paper keeps its colour: red above green above blue in the middle of the cheque.
  const size_t at = static_cast<size_t>(f.trimTop + f.rowsUsed / 2 + 20 * f.dpiV / 300) * f.rawLineBytes + f.trimLeft +
                    f.trimWidth * 3 / 4;
  const uint8_t r = f.firstRow[at], g = f.firstRow[at + f.planeLineBytes], b = f.firstRow[at + 2 * f.planeLineBytes];
  EXPECT_GT(r, g);
  EXPECT_GT(g, b);
}

TEST_F(EndToEnd, GreyChequeWithMagneticSamples) {
  // A head that sends 4 magnetic bytes per plane slot with both sides on, 8 with one.
  open(pvkemu_profile_full, [](pvkemu_profile& p) {
    p.head_config[8] = 8;
    p.head_config[9] = 4;
  });
  MyMICR.enabled = 1;  // a codeline zone of the reader switches the head on
  ChequeSpec spec;
  spec.angleDeg = 1.5;
  feed(spec, 1, true);
  ASSERT_TRUE(Vx3Read_AcquireImg()) << MyDev.lastResult;
  expectCropped(MyDev.img[1], spec);
  ASSERT_GT(MyMICR.nSamples, 0u);
  ASSERT_NE(MyMICR.samples, nullptr);
  EXPECT_EQ(MyMICR.samples[0], 0x40);
  EXPECT_EQ(MyMICR.samples[1], 0x41);
}

TEST_F(EndToEnd, GreyChequeOnAFullSpeedLink) {
  open(pvkemu_profile_full, fullSpeed);
  ChequeSpec spec;
  spec.angleDeg = 2.0;
  feed(spec, 1);
  ASSERT_TRUE(Vx3Read_AcquireImg()) << MyDev.lastResult;
  expectCropped(MyDev.img[1], spec);
}

TEST_F(EndToEnd, TwoDocumentsInARow) {
  open(pvkemu_profile_basic);
  const int pages = PVKPagNumCur(h(), false);
  ChequeSpec first;
  first.angleDeg = 2.0;
  feed(first, 1);
  ASSERT_TRUE(Vx3Read_AcquireImg());
  expectCropped(MyDev.img[1], first);
  ChequeSpec second;
  second.width = 1500;
  second.height = 700;
  second.angleDeg = -3.0;
  feed(second, 1);
  ASSERT_TRUE(Vx3Read_AcquireImg());
  expectCropped(MyDev.img[1], second);
  expectCropped(MyDev.img[0], second);
  EXPECT_EQ(PVKPagNumCur(h(), false), pages + 2);
}

TEST_F(EndToEnd, StopBeforeADocumentThenScanAgain) {
  open(pvkemu_profile_basic);
  ChequeSpec spec;
  feed(spec, 1);
  ASSERT_EQ(PVKStop(h(), 1), 0);
  EXPECT_FALSE(Vx3Read_AcquireImg());
  EXPECT_EQ(PVKGetLastResult(), PVK_ERR_ABORTED);
  ASSERT_EQ(PVKStop(h(), 0), 0);
  feed(spec, 1);
  ASSERT_TRUE(Vx3Read_AcquireImg()) << MyDev.lastResult;
  expectCropped(MyDev.img[1], spec);
}

namespace {
void* stopHandle = nullptr;
int stopsLeft = 0;
// The host presses stop while the stream is being read (once).
void stopNow(void*) {
  if (stopsLeft-- > 0) PVKStop(stopHandle, 1);
}
}  // namespace

TEST_F(EndToEnd, StopDuringADocumentThenScanAgain) {
  open(pvkemu_profile_basic);
  stopHandle = h();
  stopsLeft = 1;
  ChequeSpec spec;
  feed(spec, 1);
  pvkemu_stream_fault(dev, PVKEMU_STREAM_CALLBACK, 1000000, stopNow, nullptr);
  EXPECT_FALSE(Vx3Read_AcquireImg());
  EXPECT_EQ(PVKGetLastResult(), PVK_ERR_ABORTED);
  ASSERT_EQ(PVKScanEnable(h(), 0), 0);  // clears the stop request
  feed(spec, 1);
  ASSERT_TRUE(Vx3Read_AcquireImg()) << MyDev.lastResult;
  expectCropped(MyDev.img[1], spec);
}

TEST_F(EndToEnd, NoDocumentAtThePhotocell) {
  open(pvkemu_profile_basic);
  ASSERT_EQ(PVKSetParameter(100, 300), 0);
  EXPECT_FALSE(Vx3Read_AcquireImg());
  EXPECT_EQ(PVKGetLastResult(), PVK_ERR_TIMEOUT);
}

TEST_F(EndToEnd, NoExternalPower) {
  open(pvkemu_profile_full, [](pvkemu_profile& p) {
    p.composition_low |= 1u << 14;
    p.status &= ~(1u << 16);
  });
  ChequeSpec spec;
  feed(spec, 1);
  EXPECT_FALSE(Vx3Read_AcquireImg());
  EXPECT_EQ(PVKGetLastResult(), PVK_ERR_NO_EXT_POWER);
}

namespace {
int unplugsLeft = 0;
// The cable comes out while the stream is being read (once).
void unplugNow(void* dev) {
  if (unplugsLeft-- > 0) pvkemu_unplug(*static_cast<int*>(dev));
}
}  // namespace

// A stream that stalls behind the first chunk leaves a transfer waiting that is not at the head
// of the queue: its own timeout must end the read.
TEST_F(EndToEnd, AStreamStallingAfterTheFirstChunkFailsTheDocument) {
  open(pvkemu_profile_basic);
  ChequeSpec spec;
  feed(spec, 1);
  ASSERT_EQ(pvkemu_stream_fault(dev, PVKEMU_STREAM_TIMEOUT, 2500000, nullptr, nullptr), 0);
  EXPECT_FALSE(Vx3Read_AcquireImg());
  EXPECT_LT(PVKGetLastResult(), 0);
}

TEST_F(EndToEnd, AColourStreamStallingAfterTheFirstChunkFailsTheDocument) {
  open(pvkemu_profile_full);
  ASSERT_EQ(PVKSetParameter(0, 2), 0);  // colour
  ChequeSpec spec;
  feed(spec, 3);
  ASSERT_EQ(pvkemu_stream_fault(dev, PVKEMU_STREAM_TIMEOUT, 3500000, nullptr, nullptr), 0);
  EXPECT_FALSE(Vx3Read_AcquireImg());
  EXPECT_LT(PVKGetLastResult(), 0);
}

TEST_F(EndToEnd, UnpluggedMidDocumentAndBackAgain) {
  open(pvkemu_profile_basic);
  ChequeSpec spec;
  feed(spec, 1);
  unplugsLeft = 1;
  pvkemu_stream_fault(dev, PVKEMU_STREAM_CALLBACK, 2000000, unplugNow, &dev);
  EXPECT_FALSE(Vx3Read_AcquireImg());
  EXPECT_LT(PVKGetLastResult(), 0);
  ASSERT_EQ(pvkemu_replug(dev), 0);
  // The next calls find the device lost and open it again.
  for (int i = 0; i < 3 && MyDev.state != 1; ++i) PVKReadStatusL(h());
  PVKReadStatusL(h());
  EXPECT_EQ(MyDev.state, 1);
  EXPECT_GT(PVKReadStatusL(h()), 0);
  // Lost while waiting for the next document: the same.
  ASSERT_EQ(pvkemu_unplug(dev), 0);
  EXPECT_FALSE(Vx3Read_AcquireImg());
  EXPECT_LT(PVKGetLastResult(), 0);
  ASSERT_EQ(pvkemu_replug(dev), 0);
  for (int i = 0; i < 3 && MyDev.state != 1; ++i) PVKReadStatusL(h());
  EXPECT_GT(PVKReadStatusL(h()), 0);
  feed(spec, 1);
  ASSERT_TRUE(Vx3Read_AcquireImg()) << MyDev.lastResult;
  expectCropped(MyDev.img[1], spec);
}

TEST_F(EndToEnd, BacklightImageFollowsTheFrontGeometry) {
  open(pvkemu_profile_full);
  ASSERT_EQ(PVKImgCreate1(h(), 300, 300, 300), 0);
  ChequeSpec spec;
  spec.angleDeg = 2.5;
  ChequeSpec light = spec;
  light.paper[0] = 160;  // the paper lit from behind
  const SidePlanes back = pvk::testing::drawSide(light, 1, false);
  feed(spec, 1);
  cheque.doc.backlight = back.planes[0].data();
  ASSERT_EQ(pvkemu_feed(dev, &cheque.doc), 0);
  ASSERT_TRUE(Vx3Read_AcquireImg()) << MyDev.lastResult;
  const ImgInfo& f = MyDev.img[1];
  const ImgInfo& b = MyDev.img[2];
  expectCropped(f, spec);
  EXPECT_EQ(b.outputFlag, 1);
  EXPECT_EQ(b.trimWidth, f.trimWidth);
  EXPECT_EQ(b.rowsUsed, f.rowsUsed);
}

TEST_F(EndToEnd, SavedFrontHasTheChequeSize) {
  open(pvkemu_profile_basic);
  ChequeSpec spec;
  spec.angleDeg = -3.5;
  feed(spec, 1);
  ASSERT_TRUE(Vx3Read_AcquireImg()) << MyDev.lastResult;
  const std::string bmp = dir + "/front.bmp";
  ASSERT_EQ(PVKImgSave(h(), 1, nullptr, 8, 4, const_cast<char*>(bmp.c_str())), 0) << PVKGetLastResult();
  // An independent reader judges the file.
  const std::string cmd = "identify -format '%w %h' '" + bmp + "'";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  int w = 0, hgt = 0;
  ASSERT_EQ(std::fscanf(p, "%d %d", &w, &hgt), 2);
  pclose(p);
  EXPECT_NEAR(w, spec.width, 2);
  EXPECT_NEAR(hgt, spec.height, 2);
}
