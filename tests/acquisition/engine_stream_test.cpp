// One document through the software scanner: the configuration block, the raw stream of every
// layout separated back in place, the magnetic samples, correction against the scanner's own
// factory data, and the stream faults.
#include <cstdlib>
#include <vector>

#include "../device/device_fixture.h"
#include "acquisition/acquisition.h"
#include "calibration/calibration.h"
#include "pvkemu_image.h"

using namespace pvk::acquisition;

namespace {

// A pixel value that says where it belongs.
uint8_t code(uint32_t x, uint32_t y, uint32_t plane, uint32_t side) {
  uint32_t h = x * 73856093u ^ y * 19349663u ^ plane * 83492791u ^ side * 2654435761u;
  h ^= h >> 15;
  return static_cast<uint8_t>(1 + h % 254);
}

struct Document {
  uint32_t width, height;
  std::vector<uint8_t> planes[2][5];
  std::vector<uint8_t> backlight, micr;
  pvkemu_document doc{};

  Document(uint32_t w, uint32_t h, uint32_t micrPerSlot = 0) : width(w), height(h) {
    doc.width = w;
    doc.height = h;
    for (uint32_t side = 0; side < 2; ++side)
      for (uint32_t p = 0; p < 5; ++p) {
        planes[side][p].resize(static_cast<size_t>(w) * h);
        for (uint32_t y = 0; y < h; ++y)
          for (uint32_t x = 0; x < w; ++x) planes[side][p][y * w + x] = code(x, y, p, side);
        (side ? doc.front : doc.rear)[p] = planes[side][p].data();
      }
    backlight.resize(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < backlight.size(); ++i) backlight[i] = code(static_cast<uint32_t>(i), 7, 9, 2);
    doc.backlight = backlight.data();
    micr.resize(static_cast<size_t>(h) * 5 * micrPerSlot);
    for (size_t i = 0; i < micr.size(); ++i) micr[i] = static_cast<uint8_t>(i * 7 + 3);
    doc.micr = micr.data();
    doc.micr_length = micr.size();
    doc.micr_per_slot = micrPerSlot;
  }
};

class EngineStream : public pvk::test::DeviceTest {
 protected:
  int dev = -1;
  std::vector<uint8_t> buffer;

  void SetUp() override {
    DeviceTest::SetUp();
    // The layouts' bytes as fed: the line aligner's marker and its shifts have their own test.
    pvkemu_profile p = full();
    p.composition_low &= ~(1u << 30);
    dev = add(p);
    ASSERT_GE(open(), 0);
    pvkemu_log_clear();
    std::memset(&MyAcq, 0, sizeof MyAcq);
    std::memset(&MyMICR, 0, sizeof MyMICR);
    std::memset(&AcqDefault, 0, sizeof AcqDefault);
    MyAcq.acqTimeoutSec = 60;
    MyAcq.forward = 1;
    MyAcq.greyLed = 1;
    std::memset(MyAcq.cfgFlags, 1, sizeof MyAcq.cfgFlags);
    imgInitForMode = [](uint8_t) {};
    MyDev.slowAcq = 0;
    MyDev.adfPresent = 1;
    EEPROMCalibCacheClear();
  }

  // A document longer than one 2 MiB transfer with a fault 1 MiB into its stream.
  void runWithFault(int kind) {
    Document d(2592, 420);
    ASSERT_EQ(pvkemu_feed_lines(dev, &d.doc), 0);
    auto stop = [](void*) {
      stopAcq = 1;
      requestStop(true);
    };
    ASSERT_EQ(pvkemu_stream_fault(dev, kind, 1 << 20, stop, nullptr), 0);
    prepare(2592, 420, 1, false, 0);
    EXPECT_EQ(Vx3Scan_PID009(), 0);
  }

  void TearDown() override {
    std::free(MyMICR.samples);
    MyMICR.samples = nullptr;
    CorrInfoFree(MyCorS);
    DeviceTest::TearDown();
  }

  // The side records and the one buffer, laid out as the buffer preparation lays them out.
  void prepare(uint32_t S, uint32_t rows, uint32_t planes, bool backlight, uint32_t micrPerSlot,
               uint16_t dpi = 300) {
    MyAcq.planesPerLine = static_cast<uint8_t>(planes);
    MyAcq.colourLines = MyAcq.rgb ? 3 : 1;
    MyAcq.backlight = backlight;
    MyMICR.enabled = micrPerSlot != 0;
    MyMICR.samplesPer3Px = static_cast<uint16_t>(micrPerSlot);
    MyMICR.extraBytes = static_cast<uint16_t>(planes * micrPerSlot);
    const uint32_t outRow = planes * 2 * S + (backlight ? S : 0);
    const uint32_t rawLine = outRow + MyMICR.extraBytes;
    buffer.assign(static_cast<size_t>(rows + 16) * rawLine + rawLine, 0xFF);
    for (int s = 0; s < kSides; ++s) {
      ImgInfo& i = MyDev.img[s];
      std::memset(&i, 0, sizeof i);
      i.side = static_cast<uint8_t>(s);
      i.planesPerLine = static_cast<uint8_t>(s == 2 ? 1 : planes);
      i.sensorPixels = i.trimWidth = i.fullWidth = i.fullRight = static_cast<uint16_t>(S);
      i.planeLineBytes = static_cast<uint16_t>(2 * S);
      i.rawLineBytes = static_cast<uint16_t>(outRow);
      i.dpiH = i.dpiV = dpi;
      i.hasData = s < 2 || backlight;
    }
    ImgInfo& f = MyDev.img[1];
    f.allocBase = buffer.data();
    f.bytesAllocated = buffer.size();
    f.firstRow = buffer.data();
    f.margin = rawLine;
    f.writePtr = buffer.data() + rawLine;
    f.rowsUsed = static_cast<uint16_t>(rows);
    f.imageBytes = (static_cast<uint64_t>(rows) * outRow + 511) / 512 * 512;
    MyDev.img[0].firstRow = f.firstRow + S;
    MyDev.img[2].firstRow = backlight ? f.firstRow + 2 * S * planes : nullptr;
    MyMICR.sampleBytes = static_cast<uint64_t>(rows) * MyMICR.extraBytes * 2;
    std::free(MyMICR.samples);
    MyMICR.samples = static_cast<uint8_t*>(std::malloc(MyMICR.sampleBytes + 1));
    MyMICR.nSamples = 0;
  }

  void expectSeparated(const Document& d, uint32_t planes, bool backlight) {
    const ImgInfo& f = MyDev.img[1];
    const uint32_t S = d.width;
    const uint32_t outRow = f.rawLineBytes;
    const int slots[5][5] = {{0}, {0}, {0, 1, 2}, {0, 1, 2, 3}, {0, 1, 2, 3, 4}};
    ASSERT_EQ(f.rowsUsed, d.height);
    for (uint32_t y = 0; y < d.height; ++y)
      for (uint32_t p = 0; p < planes; ++p) {
        int slot = MyAcq.rgb ? slots[planes - 1][p] : (p == 0 ? 0 : (p == 1 && MyAcq.ir ? 3 : 4));
        for (uint32_t side = 0; side < 2; ++side)
          for (uint32_t x = 0; x < S; ++x) {
            uint8_t got = f.firstRow[y * outRow + p * 2 * S + (side ? 0 : S) + x];
            ASSERT_EQ(got, d.planes[side][slot][y * S + x])
                << "y " << y << " plane " << p << " side " << side << " x " << x;
          }
        if (backlight) {
          for (uint32_t x = 0; x < S; ++x)
            ASSERT_EQ(f.firstRow[y * outRow + planes * 2 * S + x], d.backlight[y * S + x]);
        }
      }
  }
};

TEST_F(EngineStream, GreyBothSidesWithTheBlockPinnedByHand) {
  Document d(96, 40);
  ASSERT_EQ(pvkemu_feed_lines(dev, &d.doc), 0);
  MyAcq.mode = 3;
  for (int c = 0; c < 3; ++c) {
    MyCorS[1].ledLev[c] = 0x64;
    MyCorS[0].ledLev[c] = 0x1FF;
  }
  prepare(96, 48, 1, false, 0);
  ASSERT_EQ(Vx3Scan_PID009(), 1) << MyDev.lastResult;
  expectSeparated(d, 1, false);
  uint8_t block[33];
  ASSERT_EQ(pvkemu_config_block(dev, block), 0);
  // 48 rows x 192 bytes = 9216 bytes (a multiple of 512) = 48 plane lines; 300 x 1 x 5 / 2.
  const uint8_t expect[19] = {0x03, 0x06, 0x09, 0x00, 0x64, 0x64, 0x64, 0xFE, 0xFE, 0xFE,
                              0x30, 0x00, 0xEE, 0x02, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(block, block + 19), std::vector<uint8_t>(expect, expect + 19));
  for (int i = 19; i < 33; ++i) EXPECT_EQ(block[i], 0);
  // Start: block, 209/56, 209/52 (wValues 61, 66, 62), then the stream.
  auto rs = vendorRequests();
  ASSERT_GE(rs.size(), 3u);
  EXPECT_EQ(rs[0].value, 61);
  EXPECT_EQ(rs[1].value, 66);
  EXPECT_EQ(rs[2].value, 62);
}

TEST_F(EngineStream, ColourWithInfraredAndUltraviolet) {
  Document d(64, 30);
  ASSERT_EQ(pvkemu_feed_lines(dev, &d.doc), 0);
  MyAcq.rgb = MyAcq.ir = MyAcq.uv = 1;
  MyAcq.greyLed = 2;
  prepare(64, 32, 5, false, 0);
  ASSERT_EQ(Vx3Scan_PID009(), 1) << MyDev.lastResult;
  expectSeparated(d, 5, false);
}

TEST_F(EngineStream, MagneticLayoutsOfCurrentAndOlderFirmware) {
  for (uint16_t fw : {0x5011, 0x3105}) {
    SCOPED_TRACE(fw);
    pvkemu_device_profile(dev)->firmware = fw;
    MyDev.fwVersion = fw;
    Document d(90, 20, 3);
    ASSERT_EQ(pvkemu_feed_lines(dev, &d.doc), 0);
    MyAcq.rgb = 1;
    MyAcq.greyLed = 2;
    prepare(90, 40, 3, false, 3);
    ASSERT_EQ(Vx3Scan_PID009(), 1) << MyDev.lastResult;
    expectSeparated(d, 3, false);  // lines from the stream, not bytes / image line
    ASSERT_EQ(MyMICR.nSamples, 20u * 3 * 3);
    for (size_t i = 0; i < MyMICR.nSamples; ++i) ASSERT_EQ(MyMICR.samples[i], d.micr[i]) << i;
  }
}

TEST_F(EngineStream, BacklightWithAndWithoutMagneticBytes) {
  for (uint32_t m : {0u, 2u}) {
    SCOPED_TRACE(m);
    Document d(80, 24, m);
    ASSERT_EQ(pvkemu_feed_lines(dev, &d.doc), 0);
    prepare(80, 32, 1, true, m);
    ASSERT_EQ(Vx3Scan_PID009(), 1) << MyDev.lastResult;
    expectSeparated(d, 1, true);
    EXPECT_EQ(MyMICR.nSamples, 24u * m);
  }
}

TEST_F(EngineStream, AlignerShiftsInOneDocumentDoNotMoveTheNext) {
  pvkemu_sensor s{};
  s.aligner = 1;
  s.glitch_count = 2;
  s.glitch_line[0] = 5;
  s.glitch_bytes[0] = 4;
  s.glitch_line[1] = 12;
  s.glitch_bytes[1] = -1;
  ASSERT_EQ(pvkemu_sensor_model(dev, &s), 0);
  MyDev.magAlign = 1;
  for (int doc = 0; doc < 2; ++doc) {
    SCOPED_TRACE(doc);
    Document d(64, 20);
    ASSERT_EQ(pvkemu_feed_lines(dev, &d.doc), 0);
    prepare(64, 24, 1, false, 0);
    ASSERT_EQ(Vx3Scan_PID009(), 1) << MyDev.lastResult;
    const ImgInfo& f = MyDev.img[1];
    ASSERT_GE(f.rowsUsed, 19);
    for (uint32_t y = 0; y < 19; ++y) {
      if (y == 11) continue;  // the line that lost its last byte
      for (uint32_t x = 1; x < 64; ++x) {
        ASSERT_EQ(f.firstRow[y * 128 + x], std::max<uint8_t>(d.planes[1][0][y * 64 + x], 1)) << y;
        ASSERT_EQ(f.firstRow[y * 128 + 64 + x], std::max<uint8_t>(d.planes[0][0][y * 64 + x], 1)) << y;
      }
    }
    EXPECT_TRUE(traced("alligner detected positive glith at 5"));
    EXPECT_TRUE(traced("alligner detected negative glith at 12"));
    // The second document repeats the same shifts: the first one's +3 must not be carried over.
  }
}

class CorrectedStream : public EngineStream, public ::testing::WithParamInterface<bool> {};

TEST_P(CorrectedStream, AgainstTheScannersFactoryDataTheImageMatchesTheDocument) {
  const bool colour = GetParam();
  const uint32_t planes = colour ? 3 : 1;
  pvkemu_sensor s{};
  s.seed = 7;
  s.white_min = 170;
  s.white_max = 235;
  s.white_level = 200;
  s.black_level = 20;
  s.led_level = 180;
  s.dirt_count = 4;
  for (uint32_t i = 0; i < 4; ++i) s.dirt_columns[i] = 1000 + i;
  ASSERT_EQ(pvkemu_sensor_model(dev, &s), 0);
  MyDev.sideSwitch = 1;
  MyDev.cleaningCalibCheck = 1;
  MyDev.cleaningRequired = 0;
  const uint32_t S = 2592, H = 12;
  Document d(S, H);
  for (auto& side : d.planes)
    for (uint32_t p = 0; p < planes; ++p)
      for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < S; ++x)
          side[p][y * S + x] = static_cast<uint8_t>(15 + (x + 5 * y + 70 * p) % 230);
  ASSERT_EQ(pvkemu_feed_lines(dev, &d.doc), 0);
  MyAcq.calibOption = 1;
  MyAcq.rgb = colour;
  MyAcq.greyLed = colour ? 2 : 1;
  prepare(S, 16, planes, false, 0);
  std::memset(MyBrCr, 0, sizeof MyBrCr);
  CorrModeUpdate();  // no file yet: the factory data, kept as this setting's file
  ASSERT_EQ(MyDev.calibValid, 1);
  EXPECT_EQ(MyDev.cleaningRequired, 1);  // four dark columns in the white reference
  EXPECT_EQ(MyCorS[1].ledLev[0], 180);
  ASSERT_EQ(Vx3Scan_PID009(), 1) << MyDev.lastResult;
  const ImgInfo& f = MyDev.img[1];
  EXPECT_EQ(f.corrected, 1);
  // Within 2 grey levels (rounding in the scanner, truncation in the correction); the first and
  // last 8 pixels take the conditioned margin white, the dirt columns the patched white.
  int worst = 0;
  for (uint32_t y = 0; y < H; ++y)
    for (uint32_t p = 0; p < planes; ++p)
      for (uint32_t side = 0; side < 2; ++side)
        for (uint32_t x = 8; x < S - 8; ++x) {
          if (x >= 1000 && x < 1004) continue;
          int got = f.firstRow[y * f.rawLineBytes + p * 2 * S + (side ? 0 : S) + x];
          int want = d.planes[side][p][y * S + x];
          worst = std::max(worst, std::abs(got - want));
        }
  EXPECT_LE(worst, 2);
  // The configuration block carried the calibrated LED levels.
  uint8_t block[33];
  ASSERT_EQ(pvkemu_config_block(dev, block), 0);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(block[4 + c], 180);
    EXPECT_EQ(block[7 + c], 180);
  }
}

INSTANTIATE_TEST_SUITE_P(GreyAndColour, CorrectedStream, ::testing::Bool());

TEST_F(EngineStream, WithTheRearOffTheRawLinesStayAsTheyCame) {
  Document d(96, 20);
  ASSERT_EQ(pvkemu_feed_lines(dev, &d.doc), 0);
  MyAcq.rearOff = 1;
  prepare(96, 24, 1, false, 0);
  for (ImgInfo& i : MyDev.img) i.planeLineBytes = i.rawLineBytes = 96;
  MyDev.img[0].hasData = 0;
  MyDev.img[1].imageBytes = 24 * 96;
  ASSERT_EQ(Vx3Scan_PID009(), 1) << MyDev.lastResult;
  uint8_t block[33];
  ASSERT_EQ(pvkemu_config_block(dev, block), 0);
  EXPECT_EQ(block[1], 0x02);
  EXPECT_EQ(MyDev.img[1].rowsUsed, 20);
  for (uint32_t i = 0; i < 96u * 20; ++i) ASSERT_EQ(MyDev.img[1].writePtr[i], d.planes[1][0][i]) << i;
}

TEST_F(EngineStream, AShortStreamEndsTheDocumentEarly) {
  Document d(96, 40);
  ASSERT_EQ(pvkemu_feed_lines(dev, &d.doc), 0);
  ASSERT_EQ(pvkemu_stream_fault(dev, PVKEMU_STREAM_SHORT, 192 * 10 + 50, nullptr, nullptr), 0);
  prepare(96, 48, 1, false, 0);
  ASSERT_EQ(Vx3Scan_PID009(), 1);
  EXPECT_EQ(MyDev.img[1].rowsUsed, 10);
}

TEST_F(EngineStream, AStallMidStreamFails) {
  runWithFault(PVKEMU_STREAM_TIMEOUT);
  EXPECT_EQ(MyDev.lastResult, -1);
  EXPECT_TRUE(traced("Vx3BaseBulkRead error"));
}

TEST_F(EngineStream, AnUnplugMidStreamFails) {
  runWithFault(PVKEMU_STREAM_UNPLUG);
  EXPECT_EQ(MyDev.lastResult, -1);
}

TEST_F(EngineStream, AStopRequestMidStreamEndsWithMinus19) {
  MyDev.stopRequest = 0;
  runWithFault(PVKEMU_STREAM_CALLBACK);
  EXPECT_EQ(MyDev.lastResult, -19);
  EXPECT_TRUE(traced("acquisition stopped"));
}

}  // namespace
