// Scan-and-read calls that must fail rather than pass for a read: a stream the scanner cut inside
// the document, a page that holds nothing the zones look for; and a stop pressed while the
// engine reads a page of noise, which must end the call at once.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "demo_cheque_scan.h"
#include "reading/reading.h"

namespace {

namespace dc = pvk::democheque;

class Faults : public demoscan::DemoChequeScan {
 protected:
  std::string trace() const {
    std::ifstream f(dir + "/libPlavikMS_scan_read_faults_tests.log");
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  // No zone gave a character; the text holds at most the TABs between empty zones.
  void expectNothingRead(size_t zones) {
    EXPECT_EQ(std::string(text).find_first_not_of('\t'), std::string::npos) << text;
    for (size_t k = 0; k < zones; ++k) EXPECT_EQ(PVKOCRZoneNChar(handle(), static_cast<short>(k)), 0) << k;
  }
};

// The grey cheque's stream holds 1100 raw lines of 5184 bytes, the paper in lines 120..919: cut
// before the paper shows, inside it, and one line before its end. The call fails as a device not
// working, reads no zone, and the next document reads again.
TEST_F(Faults, AStreamCutInsideTheDocumentIsADeviceError) {
  open(pvkemu_profile_basic);
  const dc::Cheque c = dc::makeCheque(202);
  for (size_t cut : {size_t{100} << 10, size_t{1} << 20, size_t{919} * 5184}) {
    SCOPED_TRACE(cut);
    feed(dc::onTransport(c, false));
    ASSERT_EQ(pvkemu_stream_fault(0, PVKEMU_STREAM_SHORT, cut, nullptr, nullptr), 0);
    addZones(c.items);
    const size_t before = trace().size();
    EXPECT_EQ(scanZones(), PVK_ERR_NOT_READY);
    EXPECT_EQ(PVKGetLastResult(), PVK_ERR_NOT_READY);
    expectNothingRead(c.items.size());
    EXPECT_NE(trace().find("image stream ended inside the document", before), std::string::npos);
    pvkemu_clear_faults();
  }
  // The whole stream, its last lines the transport behind the paper: a document.
  ASSERT_EQ(pvkemu_stream_fault(0, PVKEMU_STREAM_SHORT, size_t{921} * 5184, nullptr, nullptr), 0);
  EXPECT_EQ(scan(c, false), 0);
  expectRead(c);
}

// The cheque cropped to its paper, fed as a host has it: the scanner adds the transport before and
// after the sheet, so its stream of 50 + 800 + 50 raw lines of 5184 bytes is a whole document.
// Cut inside the paper, or just after its last line, before the transport behind it, it is a
// stream cut short as before.
TEST_F(Faults, ACroppedScanIsWholeAndTheSameStreamCutShortIsNot) {
  open(pvkemu_profile_basic);
  const dc::Cheque c = dc::makeCheque(202);
  pvkemu_document cropped{};
  cropped.width = static_cast<uint32_t>(c.width);
  cropped.height = static_cast<uint32_t>(c.height);
  cropped.front[PVKEMU_PLANE_GREY] = c.front.data();
  cropped.rear[PVKEMU_PLANE_GREY] = c.rear.data();
  const struct {
    const char* how;
    size_t cut;  // bytes of the stream sent; 0 the whole stream
    int result;
  } cases[] = {{"whole", 0, 0},
               {"cut inside the paper", size_t{450} * 5184, PVK_ERR_NOT_READY},
               {"cut after the paper's last line", size_t{850} * 5184, PVK_ERR_NOT_READY},
               {"whole again", 0, 0}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.how);
    ASSERT_EQ(pvkemu_feed(0, &cropped), 0);
    if (k.cut) {
      ASSERT_EQ(pvkemu_stream_fault(0, PVKEMU_STREAM_SHORT, k.cut, nullptr, nullptr), 0);
    }
    addZones(c.items);
    EXPECT_EQ(scanZones(), k.result);
    if (k.result == 0) {
      expectRead(c);
    } else {
      expectNothingRead(c.items.size());
    }
    pvkemu_clear_faults();
  }
}

// A document that never came, after a cheque was read: the scan fails with the timeout, whether
// the scanner started at once (document wait off) and its stream brought no line, or the wait at
// the photocell ran out. No zone is read, no page is counted and the cheque before is not handed
// back as this document's image.
TEST_F(Faults, ADocumentThatNeverCameIsNoSuccess) {
  open(pvkemu_profile_basic);
  const dc::Cheque c = dc::makeCheque(202);
  const struct {
    int wait;
    const char* trace;
  } cases[] = {{0, "no document: the image stream brought no line"}, {200, "acquisition timeout 1 200"}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.wait);
    ASSERT_EQ(PVKSetParameter(100, k.wait), 0);
    ASSERT_EQ(scan(c, false), 0);
    expectRead(c);
    const int pages = PVKPagNumCur(handle(), false);
    const size_t before = trace().size();
    addZones(c.items);
    std::memset(text, 'x', sizeof text - 1);  // what the host's buffer held before the call
    EXPECT_EQ(PVKImgScan1(handle(), &OCRDoc, text, conf, sizeof text), PVK_ERR_TIMEOUT);
    EXPECT_EQ(PVKGetLastResult(), PVK_ERR_TIMEOUT);
    EXPECT_STREQ(text, "");
    expectNothingRead(c.items.size());
    EXPECT_EQ(PVKPagNumCur(handle(), false), pages);
    EXPECT_NE(trace().find(k.trace, before), std::string::npos) << trace().substr(before);
    int size = 0;
    unsigned char* image = PVKImgGet(handle(), 1, nullptr, 0, 4, &size);
    EXPECT_EQ(image, nullptr);
    if (image) PVKImgGetFree(handle(), image);
  }
}

// Zones on a cheque that carries no print: every zone was read and none gave a character. So
// with a sheet of the cheque's size fed with no plane at all, both its sides blank, and with a
// zone on the blank rear of a printed front scanned with the front switched off.
TEST_F(Faults, ABlankChequeReadsAsAnOcrError) {
  open(pvkemu_profile_basic);
  dc::Cheque c = dc::makeCheque(202);
  std::fill(c.front.begin(), c.front.end(), uint8_t{230});
  EXPECT_EQ(scan(c, false), PVK_ERR_OCR);
  EXPECT_EQ(PVKGetLastResult(), PVK_ERR_OCR);
  expectNothingRead(c.items.size());

  pvkemu_document blank{};
  blank.width = static_cast<uint32_t>(c.width);
  blank.height = static_cast<uint32_t>(c.height);
  ASSERT_EQ(pvkemu_feed(0, &blank), 0);
  addZones(c.items);
  EXPECT_EQ(scanZones(), PVK_ERR_OCR);
  expectNothingRead(c.items.size());

  // The printed front alone, its rear blank, with the front switched off and a zone on the rear.
  const dc::Cheque printed = dc::makeCheque(202);
  blank.front[PVKEMU_PLANE_GREY] = printed.front.data();
  ASSERT_EQ(PVKImgCreate(handle(), 0, 300), 0);
  ASSERT_EQ(pvkemu_feed(0, &blank), 0);
  OCRDoc = PVKOCRDoc{};
  ASSERT_GT(PVKOCRZoneAdd(handle(), 300, 0, 0, 0, 0, 0, 4, 0), 0);
  EXPECT_EQ(scanZones(), PVK_ERR_OCR);
  EXPECT_NEAR(MyDev.img[0].trimWidth, c.width, 4);  // a white sheet the document's size
  EXPECT_NEAR(MyDev.img[0].rowsUsed, c.height, 4);
}

// Real seconds: the software scanner's virtual clock answers the C library's clocks.
double realSeconds() {
  struct timespec t;
  syscall(SYS_clock_gettime, CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

std::atomic<bool> zoneStarted{false};
bool (*libraryRead)(PVKImg*, PVKOCRZone*, short, unsigned short, char*, char*, ChInfo*, unsigned short, void*);
bool markThenRead(PVKImg* img, PVKOCRZone* z, short r, unsigned short max, char* text, char* conf, ChInfo* info,
                  unsigned short side, void* reserved) {
  zoneStarted = true;
  return libraryRead(img, z, r, max, text, conf, info, side, reserved);
}

// Five whole-cheque zones of the engine's fonts on a page of noise take seconds to read; a stop
// pressed on another thread early in the first of them, and later in it, ends the call within
// a bound far above the tenth of a second it takes, and far below one zone's reading.
TEST_F(Faults, AStopDuringTheOcrOfANoisePageEndsTheCallAtOnce) {
  open(pvkemu_profile_basic);
  dc::Cheque c = dc::makeCheque(202);
  std::mt19937 rng(7);
  for (uint8_t& px : c.front) px = static_cast<uint8_t>(rng());
  std::vector<dc::Item> zones;
  for (short font : {4, 2, 3, 5, 38}) zones.push_back({"noise", font, 0, 0, c.width, c.height, ""});
  libraryRead = pvk::reading::zoneReaders.readZone;
  pvk::reading::zoneReaders.readZone = markThenRead;
  for (double delay : {0.02, 0.3}) {
    SCOPED_TRACE(delay);
    feed(dc::onTransport(c, false));
    addZones(zones);
    zoneStarted = false;
    std::atomic<bool> done{false};
    std::atomic<double> pressed{0};
    void* h = handle();
    std::thread stopper([&] {
      while (!zoneStarted && !done) std::this_thread::yield();
      const double from = realSeconds();
      while (!done && realSeconds() < from + delay) std::this_thread::yield();
      if (done) return;
      pressed = realSeconds();
      PVKStop(h, 1);
    });
    const int result = scanZones();
    const double returned = realSeconds();
    done = true;
    stopper.join();
    EXPECT_EQ(result, PVK_ERR_ABORTED);
    ASSERT_GT(pressed.load(), 0.0) << "the read ended before the stop";
    EXPECT_LT(returned - pressed, 1.0);
    ASSERT_EQ(PVKStop(handle(), 0), 0);
  }
  pvk::reading::zoneReaders.readZone = libraryRead;
}

}  // namespace
