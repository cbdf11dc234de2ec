// The scan-and-read driver as a host calls it, on the software scanner: requests refused before
// anything is fed, requests without zones that only feed, the stop request at its points, and the
// declared document size against the acquired one. Zone reads are scripted; the OCR images are
// the library's own.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "PlavikMS.h"
#include "control/control.h"
#include "core/records.h"
#include "pvkemu.h"
#include "pvkemu_image.h"
#include "pvkemu_sheet.h"
#include "reading/reading.h"
#include "scanner_library.h"

namespace {

constexpr int kSensor = 2592, kLines = 1100;
constexpr int kLeft = 396, kTop = 120, kWidth = 1800, kHeight = 800;  // the cheque, 300 dpi pixels

int reads = 0;
int stopAtRead = -1;
bool scriptedRead(PVKImg*, PVKOCRZone* z, short, unsigned short max, char* text, char* conf, ChInfo*,
                  unsigned short, void*) {
  ++reads;
  if (reads == stopAtRead) PVKStop(nullptr, 1);
  const char kText[] = "READ";
  const size_t n = std::min<size_t>(4, max - 1u);
  std::memcpy(text, kText, n);
  std::memset(conf, 90, n);
  z->charsRead = static_cast<uint16_t>(n);
  return true;
}
bool realImage(unsigned short side, PVKOCRDoc* doc, unsigned char t) { return Vx3CreateOCRImage(side, doc, t); }

class ScanDriver : public ::testing::Test, protected scanlib::OpenLibrary {
 protected:
  void SetUp() override {
    pvkemu_profile p;
    pvkemu_profile_full(&p);
    ASSERT_NO_FATAL_FAILURE(openLibrary(p, "pvkscanread"));
    ASSERT_EQ(PVKImgCreate(handle(), 300, 300), 0);
    reads = 0;
    stopAtRead = -1;
    savedReaders_ = pvk::reading::zoneReaders;
    pvk::reading::zoneReaders = {scriptedRead, realImage};
    cheque.assign(static_cast<size_t>(kSensor) * kLines, 25);
    for (int y = kTop; y < kTop + kHeight; ++y) std::memset(&cheque[static_cast<size_t>(y) * kSensor + kLeft], 220, kWidth);
  }
  void TearDown() override {
    pvk::reading::zoneReaders = savedReaders_;
    closeLibrary();
  }
  void feed() {
    pvkemu_document d{};
    d.width = kSensor;
    d.height = kLines;
    d.front[0] = d.rear[0] = cheque.data();
    ASSERT_EQ(pvkemu_feed(0, &d), 0);
    pvkemu_sheet(0, 0, 1, PVKEMU_SHEET_ENTRY);
  }
  // Bulk transfers submitted since the log was cleared: a document was acquired.
  int bulkSubmits() const {
    int n = 0;
    for (size_t i = 0; i < pvkemu_log_count(); ++i) {
      pvkemu_request r;
      pvkemu_log_get(i, &r);
      n += r.kind == PVKEMU_LOG_BULK_SUBMIT;
    }
    return n;
  }
  std::string trace() const {
    std::ifstream f(dir + "/" + traceName());
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  static std::string traceName() { return "libPlavikMS_scan_read_driver_tests.log"; }
  int scan(PVKOCRDoc* d, short size = 64) {
    pvkemu_log_clear();
    std::memset(text, 0x5A, sizeof text);
    std::memset(conf, 0x5A, sizeof conf);
    return PVKImgScan1(handle(), d, text, conf, size);
  }
  static PVKOCRDoc oneZone(short font, short side = 1) {
    PVKOCRDoc d{};
    d.nZones = 1;
    d.zones[0].side = side;
    d.zones[0].font = font;
    d.zones[0].left = 10, d.zones[0].top = 10, d.zones[0].width = 200, d.zones[0].height = 40;
    return d;
  }

  std::vector<uint8_t> cheque;
  char text[128]{};
  char conf[128]{};
  pvk::reading::ZoneReaders savedReaders_{};
};

TEST_F(ScanDriver, BadRequestsAreRefusedBeforeAnythingIsFed) {
  struct Case {
    const char* name;
    PVKOCRDoc doc;
    short size;
    bool nullText;
    int code;
    const char* trace;
  };
  PVKOCRDoc side2 = oneZone(4, 2), negWidth = oneZone(4), many = oneZone(4), micr = oneZone(33), unknown = oneZone(999);
  negWidth.zones[0].width = -1;
  many.nZones = 21;
  const Case cases[] = {
      {"size 0", oneZone(4), 0, false, -3, "ImgScan - invalid buffer size 0"},
      {"null text", oneZone(4), 64, true, -3, "ImgScan - invalid codeline pointer 64"},
      {"side 2", side2, 64, false, -3, "OCR zones parameters faulty"},
      {"negative width", negWidth, 64, false, -3, "OCR zones parameters faulty"},
      {"21 zones", many, 64, false, -3, "Too much OCR zones"},
      {"MICR without head", micr, 64, false, -3, "magnetic head not detected"},
      {"unknown font", unknown, 64, false, PVK_ERR_OCR_FONT_DISABLED, "invalid/not enabled OCR font 999"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MyMICR.headPresent = 0;
    feed();
    PVKOCRDoc d = c.doc;
    pvkemu_log_clear();
    EXPECT_EQ(PVKImgScan1(handle(), &d, c.nullText ? nullptr : text, conf, c.size), c.code);
    EXPECT_EQ(PVKGetLastResult(), c.code);
    EXPECT_EQ(bulkSubmits(), 0) << "no document fed";
    EXPECT_NE(trace().find(c.trace), std::string::npos) << trace();
  }
}

TEST_F(ScanDriver, AFullTableOfTwentyZonesIsRead) {
  PVKOCRDoc d = oneZone(4);
  d.nZones = PVK_OCR_MAX_ZONES;
  for (int i = 1; i < d.nZones; ++i) d.zones[i] = d.zones[0];
  feed();
  EXPECT_EQ(scan(&d, sizeof text), 0);
  EXPECT_EQ(reads, 20);
  std::string joined = "READ";
  for (int i = 1; i < 20; ++i) joined += "\tREAD";
  EXPECT_EQ(std::string(text), joined);
  EXPECT_EQ(d.zones[19].charsRead, 4);
}

// Parameter 16 switched Code 128 off: a zone of its own font is refused like a font not enabled,
// while Code 39's own font and font 7 (every symbology still on) are read.
TEST_F(ScanDriver, AZoneOfASymbologySwitchedOffIsRefused) {
  ASSERT_EQ(PVKSetParameter(VX3_PAR_BARCODE_TYPE, VX3_BARCODE_NONE), 0);
  ASSERT_EQ(PVKSetParameter(VX3_PAR_BARCODE_TYPE, VX3_BARCODE_CODE39), 0);
  for (short font : {304, 300, 7}) {
    SCOPED_TRACE(font);
    reads = 0;
    feed();
    PVKOCRDoc d = oneZone(font);
    const int r = scan(&d);
    EXPECT_EQ(r, font == 304 ? PVK_ERR_OCR_FONT_DISABLED : 0);
    EXPECT_EQ(reads, font == 304 ? 0 : 1);
    EXPECT_EQ(bulkSubmits() > 0, font != 304);
  }
  EXPECT_NE(trace().find("invalid/not enabled OCR font 304"), std::string::npos);
  PVKSetParameter(VX3_PAR_BARCODE_TYPE, VX3_BARCODE_ALL);
}

TEST_F(ScanDriver, RequestsWithoutZonesOnlyFeed) {
  PVKOCRDoc none{}, negative{};
  negative.nZones = -4;
  for (PVKOCRDoc* d : {static_cast<PVKOCRDoc*>(nullptr), &none, &negative}) {
    feed();
    EXPECT_EQ(scan(d), 0);
    EXPECT_GT(bulkSubmits(), 0) << "the document is fed";
    EXPECT_EQ(reads, 0);
  }
}

// A backlight resolution below 1 asks for no backlight: the create and the scans after it agree.
TEST_F(ScanDriver, ABacklightResolutionBelowOneMeansNoBacklight) {
  for (const short dpi : {-5, 0}) {
    ASSERT_EQ(PVKImgCreate1(handle(), 300, 300, dpi), 0);
    short stored = 99;
    EXPECT_EQ(PVKGetParameter(VX3_PAR_DPI_BACKLIGHT, &stored), 0);
    EXPECT_EQ(stored, 0) << dpi;
    for (int i = 0; i < 2; ++i) {
      feed();
      EXPECT_EQ(scan(nullptr), 0) << dpi;
    }
  }
}

TEST_F(ScanDriver, AStopEndsTheReadAtEachPointAndIsClearedForTheNext) {
  PVKOCRDoc d = oneZone(4);
  feed();
  ASSERT_EQ(PVKStop(handle(), 1), 0);
  EXPECT_EQ(scan(&d), PVK_ERR_ABORTED);
  EXPECT_EQ(bulkSubmits(), 0) << "stopped before acquisition";
  ASSERT_EQ(PVKStop(handle(), 0), 0);
  EXPECT_EQ(scan(&d), 0);
  EXPECT_EQ(reads, 1) << "the next document is read once";
  EXPECT_STREQ(text, "READ");

  // Between zones: the second zone is skipped.
  PVKOCRDoc two = oneZone(4);
  two.nZones = 2;
  two.zones[1] = two.zones[0];
  reads = 0;
  stopAtRead = 1;
  feed();
  EXPECT_EQ(scan(&two), PVK_ERR_ABORTED);
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(two.zones[0].charsRead, 4);
  EXPECT_EQ(two.zones[1].charsRead, 0);
  EXPECT_NE(trace().find("skipping zone decoding for stop 1"), std::string::npos);
  PVKStop(handle(), 0);
}

TEST_F(ScanDriver, TheDeclaredSizeIsCheckedWithinTenPercent) {
  // The cheque is 1800 x 800 pixels at 300 dpi: 900 x 400 in 1/150 inch.
  for (auto [w, h, code] : {std::tuple{945, 420, 0}, std::tuple{1035, 400, 3}, std::tuple{0, 0, 0}}) {
    SCOPED_TRACE(w);
    PVKOCRDoc d = oneZone(4);
    d.expectedWidth = static_cast<int16_t>(w);
    d.expectedHeight = static_cast<int16_t>(h);
    feed();
    EXPECT_EQ(scan(&d), code);
    EXPECT_STREQ(text, "READ") << "the zone is read all the same";
  }
}

}  // namespace
