// Scanner open and close, one document and paper moves against the software scanner, seen from
// inside: the records that open sets, the requests it sends, the side images a pushed stream
// becomes, and the save and restore around a move.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "../common/cheque_feed.h"
#include "../common/synthetic_cheque.h"
#include "control/control.h"
#include "core/defaults.h"
#include "device/device.h"
#include "document/document.h"
#include "pvkemu.h"
#include "pvkemu_image.h"
#include "pvkemu_sheet.h"

namespace {

class DocumentRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    pvkemu_clock_virtual(1);
    pvkemu_reset();
    char tmpl[] = "/tmp/pvk_road_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    if (handle > 0) Vx3DeviceClose(false);
    std::string cmd = "rm -rf " + dir;
    (void)!std::system(cmd.c_str());
  }
  int addDevice(void (*profile)(pvkemu_profile*), void (*change)(pvkemu_profile&) = nullptr) {
    pvkemu_profile p;
    profile(&p);
    if (change) change(p);
    return pvkemu_add_device(&p);
  }
  int open() {
    handle = Vx3Initialize(0, dir.data(), -1, nullptr);
    return handle;
  }
  // Commands sent with this wValue and direction since the log was cleared.
  static int countRequests(uint16_t value, bool in) {
    int n = 0;
    for (size_t i = 0; i < pvkemu_log_count(); ++i) {
      pvkemu_request r;
      pvkemu_log_get(i, &r);
      if (r.kind == PVKEMU_LOG_CONTROL && r.value == value && ((r.request_type & 0x80) != 0) == in) ++n;
    }
    return n;
  }
  // The trace file as written so far.
  static std::string trace() {
    std::string text;
    if (FILE* f = std::fopen(MyLog.tracePath, "rb")) {
      char buf[4096];
      size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
      std::fclose(f);
    }
    return text;
  }
  std::string dir;
  int handle = -1;
};

}  // namespace

TEST_F(DocumentRoad, OpenSetsCapabilitiesOptionsAndEnablesTheScanner) {
  addDevice(pvkemu_profile_basic);
  pvkemu_log_clear();
  ASSERT_GT(open(), 0);
  EXPECT_EQ(F0, 1);
  EXPECT_EQ(R0, 0);
  EXPECT_EQ(MyDev.FwCapBackward, 1);
  EXPECT_EQ(MyDev.FwCapBackward2, 1);
  EXPECT_EQ(MyDev.FwCap3000, 1);
  EXPECT_EQ(MyDev.outDpi[0], 300);
  EXPECT_EQ(MyDev.outDpi[1], 300);
  EXPECT_EQ(MyDev.outDpi[2], 0);
  EXPECT_EQ(MyAcq.usbBlock, MyDev.highSpeed ? 512 : 64);
  EXPECT_EQ(MyAcq.height150, DefaultHeight150());
  EXPECT_EQ(MyAcq.modeLocked, 0);  // the best mode is only tried at open
  EXPECT_EQ(MyOcr.typeDoc, 1);
  // Scanner enable twice (208/9 on this firmware), stripe reader off and on where there is one.
  EXPECT_EQ(countRequests(9, true), 2);
  EXPECT_EQ(countRequests(10, true), 0);
}

TEST_F(DocumentRoad, FrontAndRearSwapOnOneModel) {
  addDevice(pvkemu_profile_basic, [](pvkemu_profile& p) { p.product_id = 0x000B; });
  ASSERT_GT(open(), 0);
  EXPECT_EQ(F0, 0);
  EXPECT_EQ(R0, 1);
}

TEST_F(DocumentRoad, ReopenClearsTheStopRequest) {
  addDevice(pvkemu_profile_basic);
  ASSERT_GT(open(), 0);
  MyDev.stopRequest = 1;
  Vx3DeviceClose(false);
  handle = -1;
  ASSERT_GT(open(), 0);
  EXPECT_EQ(MyDev.stopRequest, 0);
}

TEST_F(DocumentRoad, MissingExternalPowerIsAWarningAtOpen) {
  // Firmware from 0x3104 senses its power: composition bit 14; status bit 16 absent.
  addDevice(pvkemu_profile_full, [](pvkemu_profile& p) {
    p.composition_low |= 1u << 14;
    p.status &= ~(1u << 16);
  });
  ASSERT_GT(open(), 0);
  EXPECT_EQ(MyDev.lastResult, PVK_WAR_NO_EXT_POWER);
  EXPECT_NE(trace().find("err -  The device is missing external power"), std::string::npos);
}

TEST_F(DocumentRoad, SideSwitchFeatureKeepsBothSidesOn) {
  addDevice(pvkemu_profile_full);
  ASSERT_GT(open(), 0);
  EXPECT_EQ(MyDev.FwCapB, 1);
  EXPECT_EQ(MyDev.FwCapC, 1);
  Vx3DeviceClose(false);
  handle = -1;
  pvkemu_reset();
  addDevice(pvkemu_profile_full, [](pvkemu_profile& p) { p.composition_low |= 1u << 22; });
  ASSERT_GT(open(), 0);
  EXPECT_EQ(MyDev.FwCapB, 0);
  EXPECT_EQ(MyDev.FwCapC, 0);
  EXPECT_NE(trace().find("with SequenceCheck"), std::string::npos);
}

TEST_F(DocumentRoad, CloseFreesEveryBuffer) {
  addDevice(pvkemu_profile_basic);
  ASSERT_GT(open(), 0);
  ASSERT_TRUE(MyDevImgInit(200, true));
  MyOcr.ocrImg[1].data = static_cast<uint8_t*>(std::malloc(32));
  MyOcr.reqDpiH[1] = 200;
  MyMICR.samples = static_cast<uint8_t*>(std::malloc(32));
  ScannerClose(false);
  EXPECT_EQ(MyDev.img[1].allocBase, nullptr);
  EXPECT_EQ(MyOcr.ocrImg[1].data, nullptr);
  EXPECT_EQ(MyOcr.reqDpiH[1], 0);
  EXPECT_EQ(MyMICR.samples, nullptr);
}

namespace {

// Opens the basic scanner, pushes a grey cheque turned by `angle` and acquires it.
class OneDocument : public DocumentRoad {
 protected:
  int32_t acquire(double angle, int lines = 1100) {
    dev = addDevice(pvkemu_profile_basic);
    if (open() <= 0) return -1000;
    pvk::testing::ChequeSpec spec;
    spec.angleDeg = angle;
    spec.lines = lines;
    const auto front = pvk::testing::drawSide(spec, 1, false);
    const auto rear = pvk::testing::drawSide(spec, 1, true);
    pvk::testing::feedGrey(dev, front, rear);
    MyAcq.cfgFlags[kCfgWaitDoc] = 0;  // no photocell wait: the stream is already there
    return AcquireImg(0, MyDev.img, true);
  }
  int dev = -1;
};

}  // namespace

TEST_F(OneDocument, StraightChequeIsCroppedToItsSize) {
  ASSERT_EQ(acquire(0.0), 0);
  const ImgInfo& f = MyDev.img[1];
  EXPECT_EQ(f.outputFlag, 1);
  EXPECT_NEAR(f.trimWidth, 1800, 3);
  EXPECT_NEAR(f.rowsUsed, 800, 3);
  const ImgInfo& r = MyDev.img[0];
  EXPECT_NEAR(r.trimWidth, 1800, 3);
  EXPECT_NEAR(r.rowsUsed, 800, 3);
}

TEST_F(OneDocument, TurnedChequeComesOutUpright) {
  ASSERT_EQ(acquire(4.0), 0);
  const ImgInfo& f = MyDev.img[1];
  EXPECT_NEAR(f.trimWidth, 1800, 3);
  EXPECT_NEAR(f.rowsUsed, 800, 3);
  // Upright: a row between two bars of text is paper from edge to edge, and a row of a bar is
  // ink over its whole length (a sixth of the width from the left edge on, two thirds long).
  const int mid = 440;
  const uint8_t* row = f.firstRow + static_cast<size_t>(f.trimTop + mid) * f.rawLineBytes + f.trimLeft;
  int dark = 0;
  for (int x = 4; x < f.trimWidth - 4; ++x) dark += row[x] < 120;
  EXPECT_LT(dark, 8);
  const uint8_t* bar = f.firstRow + static_cast<size_t>(f.trimTop + 485) * f.rawLineBytes + f.trimLeft;
  dark = 0;
  for (int x = 10; x < 1190; ++x) dark += bar[x] < 120;
  EXPECT_GT(dark, 1170);
}

TEST_F(OneDocument, HeightAboveTheMaximumIsRefused) {
  dev = addDevice(pvkemu_profile_basic);
  ASSERT_GT(open(), 0);
  const int maxLines = static_cast<int>(MyAcq.height150) * 2;  // 300 dpi grey
  EXPECT_EQ(AcquireImg(static_cast<uint16_t>(maxLines + 1), MyDev.img, true), PVK_ERR_INV_PARAMETER);
  EXPECT_EQ(MyDev.lastResult, PVK_ERR_INV_PARAMETER);
}

TEST_F(OneDocument, NoDocumentAtThePhotocellTimesOut) {
  dev = addDevice(pvkemu_profile_basic);
  ASSERT_GT(open(), 0);
  MyAcq.msWaitDoc = 200;
  EXPECT_EQ(AcquireImg(0, MyDev.img, true), PVK_ERR_TIMEOUT);
}

TEST_F(OneDocument, StopRequestEndsTheWait) {
  dev = addDevice(pvkemu_profile_basic);
  ASSERT_GT(open(), 0);
  MyDev.stopRequest = 1;
  EXPECT_EQ(AcquireImg(0, MyDev.img, true), PVK_ERR_ABORTED);
}

namespace {
// A blank sheet of `lines` raw lines fed as the next document of the first scanner (which keeps
// its own copy); the result of pvkemu_feed.
int feedBlankSheet(uint32_t lines) {
  std::vector<uint8_t> page(static_cast<size_t>(2592) * lines, 200);
  pvkemu_document doc{};
  doc.width = 2592;
  doc.height = lines;
  doc.front[0] = doc.rear[0] = page.data();
  return pvkemu_feed(0, &doc);
}
}  // namespace

TEST_F(DocumentRoad, PaperMovesKeepTheRecordsAndRefuseBadArguments) {
  addDevice(pvkemu_profile_basic);
  ASSERT_GT(open(), 0);
  MyAcq.thresholds[0] = 123;
  EXPECT_EQ(Vx3MoveScannerLines(true, 10, 0, false, 1, 0, false), PVK_ERR_INV_PARAMETER);
  MyDev.stopRequest = 1;
  EXPECT_EQ(Vx3MoveScannerLines_(true, 10, 300, false, 1, 0, false), PVK_ERR_ABORTED);
  MyDev.stopRequest = 0;
  EXPECT_EQ(Vx3MoveScannerLines_(true, 10, 50, false, 1, 0, false), 0);  // below 100 dpi: nothing to do
  MyDev.FwCapBackward = MyDev.FwCapBackward2 = 0;
  EXPECT_EQ(Vx3MoveScannerLines_(false, 10, 300, false, 1, 0, false), PVK_ERR_HW_NOT_SUPPORTED);
  MyDev.FwCapBackward = 1;
  pvkemu_stream_end(0);
  EXPECT_EQ(Vx3MoveScannerLines_(true, 100, 300, false, 1, 0, false), 0);
  EXPECT_EQ(MyAcq.thresholds[0], 123);
  EXPECT_EQ(MyAcq.paperMove, 0);
  EXPECT_EQ(MyDev.outDpi[1], 300);
  // A move by time leaves the document height and its own flag as they were.
  MyAcq.height150 = 1234;
  ASSERT_EQ(feedBlankSheet(300), 0);
  EXPECT_EQ(Vx3MoveScanner(false, true, 800, 100, 0), 0);
  EXPECT_EQ(MyAcq.height150, 1234);
  EXPECT_EQ(MyAcq.paperMove2, 0);
}

namespace {
// The host presses stop while the move's stream is being read (what PVKStop does beside a
// running call).
void hostStops(void*) { pvk::core::requestStop(true); }
}  // namespace

TEST_F(DocumentRoad, StopPressedDuringAMoveOutlivesTheRestore) {
  addDevice(pvkemu_profile_basic);
  ASSERT_GT(open(), 0);
  ASSERT_EQ(feedBlankSheet(600), 0);
  pvkemu_stream_fault(0, PVKEMU_STREAM_CALLBACK, 4096, hostStops, nullptr);
  EXPECT_EQ(Vx3MoveScannerLines_(true, 300, 300, false, 1, 0, false), PVK_ERR_ABORTED);
  // The records saved before the move must not take the stop back: the next move is refused.
  EXPECT_NE(MyDev.stopRequest, 0);
  const size_t before = pvkemu_log_count();
  EXPECT_EQ(Vx3MoveScannerLines_(true, 300, 300, false, 1, 0, false), PVK_ERR_ABORTED);
  EXPECT_EQ(pvkemu_log_count(), before);  // nothing reached the scanner
}

TEST_F(OneDocument, TwoPartDocumentIsCroppedWhole) {
  dev = addDevice(pvkemu_profile_basic);
  ASSERT_GT(open(), 0);
  pvk::testing::ChequeSpec spec;
  spec.angleDeg = 2.0;
  const auto front = pvk::testing::drawSide(spec, 1, false);
  const auto rear = pvk::testing::drawSide(spec, 1, true);
  const size_t split = static_cast<size_t>(560) * spec.sensorPixels;
  MyAcq.cfgFlags[kCfgWaitDoc] = 0;
  MyAcq.twoPartActive = 1;
  MyAcq.secondPartPending = 0;
  for (int part = 0; part < 2; ++part) {
    pvkemu_document doc{};
    doc.width = static_cast<uint32_t>(spec.sensorPixels);
    doc.height = part == 0 ? 560 : static_cast<uint32_t>(spec.lines - 560);
    doc.front[0] = front.planes[0].data() + (part ? split : 0);
    doc.rear[0] = rear.planes[0].data() + (part ? split : 0);
    // Each part is the sensors' lines of one sheet: the first ends on its paper, the second
    // starts on it.
    ASSERT_EQ(pvkemu_feed_lines(dev, &doc), 0);
    ASSERT_EQ(AcquireImg(0, MyDev.img, true), 0) << "part " << part;
    if (part == 0) {
      EXPECT_EQ(MyDev.img[1].outputFlag, 0);  // half a document is not cropped
      MyAcq.secondPartPending = 1;
    }
  }
  const ImgInfo& f = MyDev.img[1];
  EXPECT_EQ(f.outputFlag, 1);
  EXPECT_NEAR(f.trimWidth, 1800, 3);
  EXPECT_NEAR(f.rowsUsed, 800, 3);
}

namespace {

// The last configuration block: direction and line count.
struct Block {
  bool forward;
  int lines;
};
Block lastBlock(int dev) {
  uint8_t b[33] = {};
  pvkemu_config_block(dev, b);
  return Block{(b[2] & 0x01) != 0, b[10] | (b[11] << 8)};
}

}  // namespace

TEST_F(OneDocument, NextDocumentAtTheEntryIsMovedBack) {
  dev = addDevice(pvkemu_profile_basic, [](pvkemu_profile& p) { p.composition_low &= ~(1u << 8); });
  ASSERT_GT(open(), 0);
  ASSERT_EQ(MyDev.adfPresent, 0);
  AcqDefault.autoMoveBack = MyAcq.autoMoveBack = 1;
  pvk::testing::ChequeSpec spec;
  const auto front = pvk::testing::drawSide(spec, 1, false);
  ASSERT_EQ(pvk::testing::feedGrey(dev, front, front), 0);
  pvkemu_sheet(dev, 0, -1, PVKEMU_SHEET_ENTRY);  // the next cheque is already in
  ASSERT_EQ(AcquireImg(0, MyDev.img, true), 0);
  EXPECT_EQ(MyAcq.nextDocInserted, 1);
  ASSERT_EQ(pvk::testing::feedGrey(dev, front, front), 0);
  MuoviSeGiaInseritoProssimo();
  const Block b = lastBlock(dev);
  EXPECT_FALSE(b.forward);
  EXPECT_GE(b.lines, 300);
  EXPECT_EQ(MyAcq.autoMoveBack, 1);  // the move kept the option
}

TEST_F(OneDocument, Firmware4002StretchesTheSides) {
  dev = addDevice(pvkemu_profile_basic, [](pvkemu_profile& p) { p.firmware = 0x4002; });
  ASSERT_GT(open(), 0);
  pvk::testing::ChequeSpec spec;
  const auto front = pvk::testing::drawSide(spec, 1, false);
  ASSERT_EQ(pvk::testing::feedGrey(dev, front, front), 0);
  MyAcq.cfgFlags[kCfgWaitDoc] = 0;
  ASSERT_EQ(AcquireImg(0, MyDev.img, true), 0);
  const float factor = MyDev.adfPresent ? 1.046f : 1.03f;
  for (int s : {0, 1}) {
    EXPECT_EQ(MyDev.img[s].vStretchApplied, 1);
    EXPECT_NEAR(MyDev.img[s].rowsUsed, 800 * factor, 4);
    EXPECT_NEAR(MyDev.img[s].trimWidth, 1800, 3);
  }
}

TEST_F(OneDocument, ShortChequeIsFedOutWithAWarning) {
  dev = addDevice(pvkemu_profile_basic);
  ASSERT_GT(open(), 0);
  pvk::testing::ChequeSpec spec;
  spec.width = 2100;
  spec.height = 900;
  spec.centreY = 500;
  pvk::testing::ChequeSpec rearSpec = spec;
  rearSpec.height = 600;  // punched holes cost the rear its top
  rearSpec.centreY = 650;
  const auto front = pvk::testing::drawSide(spec, 1, false);
  const auto rear = pvk::testing::drawSide(rearSpec, 1, true);
  ASSERT_EQ(pvk::testing::feedGrey(dev, front, rear), 0);
  MyAcq.cfgFlags[kCfgWaitDoc] = 0;
  MyITACheck.active = 1;
  ASSERT_TRUE(Vx3Read_AcquireImg()) << MyDev.lastResult;
  EXPECT_EQ(MyDev.lastResult, PVK_WAR_IQA);
  const Block b = lastBlock(dev);
  EXPECT_TRUE(b.forward);
  EXPECT_GE(b.lines, 2125 - 900);
  EXPECT_NEAR(MyDev.img[1].rowsUsed, 900, 3);  // the document's images survive the move
}

// A forced height of one line or more is taken; any other value forces nothing (a warning says
// so), and the document is scanned whole.
TEST_F(OneDocument, IniForcesTheDocumentHeight) {
  dev = addDevice(pvkemu_profile_basic);
  ASSERT_GT(open(), 0);
  const uint16_t usual = MyAcq.height150;
  const std::string ini = dir + "/forced.ini";
  std::snprintf(MyLog.iniPath, sizeof MyLog.iniPath, "%s", ini.c_str());
  const struct {
    const char* value;
    int height150;
  } rows[] = {{"300", 300}, {"1", 1}, {"0", usual}, {"abc", usual}};
  pvk::testing::ChequeSpec spec;
  const auto front = pvk::testing::drawSide(spec, 1, false);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.value);
    std::ofstream(ini) << "[Image]\nh_150_dpi=" << row.value << "\n";
    MyAcq.height150 = usual;
    ASSERT_EQ(pvk::testing::feedGrey(dev, front, front), 0);
    MyAcq.cfgFlags[kCfgWaitDoc] = 0;
    const bool scanned = Vx3Read_AcquireImg();
    EXPECT_EQ(MyAcq.height150, row.height150);
    const bool forced = row.height150 != usual;
    const std::string warning = std::string("war -  [Image] h_150_dpi=") + row.value + ": value not usable";
    EXPECT_EQ(trace().find(warning) != std::string::npos, !forced);
    if (row.height150 == 300) {
      EXPECT_LE(lastBlock(dev).lines, 900);  // 600 lines at 300 dpi and the margins
    }
    if (!forced) {
      EXPECT_TRUE(scanned) << MyDev.lastResult;
      EXPECT_NEAR(MyDev.img[1].rowsUsed, spec.height, 3);
    }
  }
}

namespace {

// Dark pixels where the stamp lands: 1500 - 396 = 1104 columns and 150 rows into the cheque,
// 36 columns wide and 180 rows long (the stamp turned along the document's travel).
int inkPixels(const ImgInfo& f) {
  int n = 0;
  for (int y = 150; y < 330 && y < f.rowsUsed; ++y) {
    const uint8_t* row = f.firstRow + static_cast<size_t>(f.trimTop + y) * f.rawLineBytes + f.trimLeft;
    for (int x = 1104; x < 1140 && x < f.trimWidth; ++x) n += row[x] < 120;
  }
  return n;
}

}  // namespace

TEST_F(OneDocument, EndorsementIsDrawnOnTheFront) {
  dev = addDevice(pvkemu_profile_basic);
  ASSERT_GT(open(), 0);
  pvk::testing::ChequeSpec spec;
  const auto front = pvk::testing::drawSide(spec, 1, false);
  MyAcq.cfgFlags[kCfgWaitDoc] = 0;
  ASSERT_EQ(pvk::testing::feedGrey(dev, front, front), 0);
  ASSERT_EQ(AcquireImg(0, MyDev.img, true), 0);
  const int without = inkPixels(MyDev.img[1]);

  // A stamp of 60 columns of 12 dots, all ink, at 100 dpi: 180 x 36 pixels on a 300 dpi side.
  std::vector<uint8_t> stamp(64 * 12, 0);
  MyDev.inkjetPresent = 1;
  MyInkjet.stamp = PVKImg{60, 12, 64, 100, stamp.data()};
  MyInkjet.stampImageRequested = 1;
  MyInkjet.headRes = 100;
  MyInkjet.headIntensity = MyInkjet.intensity = 100;
  MyInkjet.headOffset = 364;   // column 2592 - 1092 = 1500
  MyInkjet.stampOffset = 50;   // 150 rows below the top edge
  MyInkjet.printing = 1;       // the head prints this document: only a printed stamp is drawn
  ASSERT_EQ(pvk::testing::feedGrey(dev, front, front), 0);
  MyAcq.cfgFlags[kCfgWaitDoc] = 0;
  ASSERT_EQ(AcquireImg(0, MyDev.img, true), 0);
  MyInkjet.stamp = PVKImg{};
  EXPECT_GT(inkPixels(MyDev.img[1]) - without, 4000) << trace();
  EXPECT_NEAR(MyDev.img[1].trimWidth, 1800, 3);
}
