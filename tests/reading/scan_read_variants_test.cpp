// Variants of the demo cheques read end to end through the exported calls on the software
// scanner: both firmware profiles, grey and colour, upright and turned, codelines in magnetic ink
// with and without head samples; the composite modes on zones that have and lack what they seek;
// a stop from another thread at each point of a read; the declared document size; a two-row zone
// with no room for all of it. The symbols are first read from the composed front by the peers, so
// that a bad print is told from a bad reader.
#include <ZXing/ReadBarcode.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/records.h"
#include "demo_cheque_scan.h"
#include "dm_symbols.h"
#include "reading/reading.h"

namespace {

namespace dc = pvk::democheque;
using demoscan::knownNotToRead;
using demoscan::splitTabs;

const dc::Item& itemOf(const dc::Cheque& c, const std::string& what) {
  for (const dc::Item& it : c.items)
    if (it.what == what) return it;
  throw std::invalid_argument("no item " + what);
}

// The item's rectangle of the composed front, row after row.
std::vector<uint8_t> cut(const dc::Cheque& c, const dc::Item& it) {
  std::vector<uint8_t> px;
  for (int y = it.top; y < it.top + it.height; ++y)
    px.insert(px.end(), c.front.begin() + y * c.width + it.left, c.front.begin() + y * c.width + it.left + it.width);
  return px;
}

std::string zxingRead(const dc::Cheque& c, const dc::Item& it) {
  std::vector<uint8_t> px = cut(c, it);
  ZXing::DecodeHints hints;
  hints.setTryRotate(false);
  const ZXing::Result r =
      ZXing::ReadBarcode(ZXing::ImageView(px.data(), it.width, it.height, ZXing::ImageFormat::Lum), hints);
  return r.isValid() ? std::string(r.bytes().begin(), r.bytes().end()) : std::string();
}

class Variants : public demoscan::DemoChequeScan {
 protected:
  std::string trace() const {
    std::ifstream f(dir + "/libPlavikMS_scan_read_variants_tests.log");
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  // Acquisitions started since the sheet was fed: the document, and a paper move after it.
  static int paperMoves() { return pvkemu_sheet_moves(0); }
};

TEST(DemoChequePrint, PeersReadTheSymbolsOfTheComposedFront) {
  const dc::Cheque c = dc::makeCheque(1);
  for (const char* what : {"Code 128", "PDF417"}) {
    const dc::Item& it = itemOf(c, what);
    EXPECT_EQ(zxingRead(c, it), it.text) << what;
  }
  const dc::Item& dm = itemOf(c, "DataMatrix");
  EXPECT_EQ(dmtest::readLibdmtx(cut(c, dm).data(), dm.width, dm.height, 5000), dm.text);
}

// Each cheque upright and turned half round: the grey-only basic profile, without line aligner
// or head, and the full profile acquiring in colour.
struct ProfileCase {
  void (*profile)(pvkemu_profile*);
  bool colour;
};
class Profiles : public Variants, public testing::WithParamInterface<ProfileCase> {};

TEST_P(Profiles, EveryZoneReadsUprightAndTurned) {
  open(GetParam().profile);
  if (GetParam().colour) {
    ASSERT_EQ(PVKSetParameter(0, 2), 0);
  }
  for (auto [codeline, upsideDown] : {std::pair{short{202}, false}, std::pair{short{1}, true}}) {
    SCOPED_TRACE(testing::Message() << "codeline " << codeline << (upsideDown ? " upside down" : " upright"));
    const dc::Cheque c = dc::makeCheque(codeline);
    EXPECT_EQ(scan(c, upsideDown), 0);
    EXPECT_EQ(MyDev.img[1].colourPlanes, GetParam().colour ? 3 : 1);
    expectRead(c);
  }
}

INSTANTIATE_TEST_SUITE_P(BasicGreyAndFullColour, Profiles,
                         testing::Values(ProfileCase{pvkemu_profile_basic, false}, ProfileCase{pvkemu_profile_full, true}),
                         [](const testing::TestParamInfo<ProfileCase>& i) { return i.param.colour ? "FullColour" : "BasicGrey"; });

// The cheque fed lengthwise past the head: the magnetic zone, last in caller order, is read first
// (its band on the head's side), and the codeline it finds turns the other zones to that side.
// Without samples the head sends its rest level: the sides are still cropped to the paper, and
// the magnetic zone, with nothing to confirm its optical pass, reads nothing, nor do the others.
TEST_F(Variants, MagneticCodelineIsReadFirstAndWrittenLast) {
  open(pvkemu_profile_full);
  MyLog.Debug = 2;  // the zone reads are traced
  struct Case {
    short codeline;
    bool samples, colour;
  };
  const Case cases[] = {{202, true, false}, {1, true, false}, {202, true, true}, {1, true, true}, {1, false, false}};
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << "codeline " << k.codeline << (k.samples ? " with" : " without")
                                    << " head samples" << (k.colour ? ", colour" : ", grey"));
    ASSERT_EQ(PVKSetParameter(0, k.colour ? 2 : 1), 0);
    const dc::Cheque c = dc::makeCheque(k.codeline, true);
    ASSERT_EQ(c.items.back().font, k.codeline == 202 ? 32 : 33);
    feed(dc::alongTravel(c, k.samples, k.colour ? 3 : 1));
    addZones(c.items);
    const size_t before = trace().size();
    // Without the codeline found no zone turns to the head's side: the zones see the blank back
    // of the cheque, and a read that gives nothing at all fails.
    EXPECT_EQ(scanZones(), k.samples ? 0 : PVK_ERR_OCR);
    EXPECT_EQ(PVKOCRZoneOCRchar(handle(), static_cast<short>(c.items.size() - 1)), c.items.back().font);
    for (const ImgInfo& side : {MyDev.img[0], MyDev.img[1]}) {
      EXPECT_NEAR(side.trimWidth, c.height, 2) << "side " << int{side.side};
      EXPECT_NEAR(side.rowsUsed, c.width, 2) << "side " << int{side.side};
    }
    if (k.samples) {
      expectRead(c);
    } else {
      EXPECT_EQ(splitTabs(text).back(), "");
    }
    const std::string t = trace().substr(before);
    const size_t micr = t.find("MICR zone"), other = t.find("Vx3Read1Zone with");
    ASSERT_NE(micr, std::string::npos);
    EXPECT_LT(micr, other);
  }
}

// One zone per row on one cheque: what each mode writes back as font and text. A row whose reading
// depends on an item known not to read expects only that the text is not the printed one.
TEST_F(Variants, CompositeModesOnZonesThatHaveAndLackWhatTheySeek) {
  open(pvkemu_profile_full);
  struct Row {
    short codeline;
    const char* on;  // the item whose rectangle the zone takes; "" a stretch of blank paper
    short mode, font;
    bool reads;        // the zone gives the item's text (else nothing)
    const char* need;  // the item that must read for it
  };
  const Row rows[] = {
      {202, "Code 128", 120, 7, true, ""},
      {202, "PDF417", 120, 8, true, "PDF417"},
      {202, "", 120, 120, false, ""},
      {202, "OCR-B", 203, 203, false, ""},  // OCR-B below 20 characters is dropped
      {202, "OCR-B", 100, 4, true, "OCR-B"},
      {202, "CMC7 codeline", 100, 0, true, "CMC7 codeline"},
      {202, "", 100, 100, false, ""},
      {202, "Code 128", 121, 121, false, ""},  // its bars read turned
      {202, "Downward Code 128", 121, 121, true, ""},  // the cut turned, the side image as it was
      {202, "CMC7 codeline", 110, 0, true, "CMC7 codeline"},
      {1, "E13B codeline", 110, 110, false, ""},
  };
  for (short codeline : {short{202}, short{1}}) {
    dc::Cheque c = dc::makeCheque(codeline);
    dc::addCode128(c, "Downward Code 128", 304, "V-121", 1660, 250, true);
    std::vector<dc::Item> zones;
    std::vector<const Row*> of;
    bool anyReads = false;
    for (const Row& r : rows) {
      if (r.codeline != codeline) continue;
      dc::Item z = *r.on ? itemOf(c, r.on) : dc::Item{"blank", 0, 1250, 300, 300, 250, ""};
      z.font = r.mode;
      zones.push_back(z);
      of.push_back(&r);
      anyReads = anyReads || r.reads;
    }
    feed(dc::onTransport(c, false));
    addZones(zones);
    EXPECT_EQ(scanZones(), anyReads ? 0 : PVK_ERR_OCR);  // nothing read at all fails the read
    const std::vector<std::string> got = splitTabs(text);
    ASSERT_EQ(got.size(), zones.size()) << text;
    for (size_t k = 0; k < zones.size(); ++k) {
      const Row& r = *of[k];
      SCOPED_TRACE(testing::Message() << "mode " << r.mode << " on " << zones[k].what);
      const std::string want = r.reads ? zones[k].text : "";
      if (*r.need && knownNotToRead(r.need)) {
        EXPECT_NE(got[k], want) << "reads now: take " << r.need << " off the list";
        continue;
      }
      EXPECT_EQ(got[k], want);
      EXPECT_EQ(PVKOCRZoneOCRchar(handle(), static_cast<short>(k)), r.font);
    }
  }
}

// The stop pressed on another thread: before the document is fed, while its stream is read, and
// once the first of two zones was read. Each read ends with -19 and runs its exit's move back,
// which moves no paper while the stop stands; cleared, the next document is read and moved back.
int (*stopHandleOf)() = nullptr;
void stopFromAnotherThread() {
  std::thread t([] { PVKStop(reinterpret_cast<void*>(static_cast<intptr_t>(stopHandleOf())), 1); });
  t.join();
}
int stopAtZone = 0, stopsInStream = 0;
bool (*libraryRead)(PVKImg*, PVKOCRZone*, short, unsigned short, char*, char*, ChInfo*, unsigned short, void*);
bool readThenStop(PVKImg* img, PVKOCRZone* z, short r, unsigned short max, char* text, char* conf, ChInfo* info,
                  unsigned short side, void* reserved) {
  const bool ok = libraryRead(img, z, r, max, text, conf, info, side, reserved);
  if (--stopAtZone == 0) stopFromAnotherThread();
  return ok;
}

TEST_F(Variants, AStopFromAnotherThreadEndsTheReadAtEachPoint) {
  // Paper goes back after a read only on a scanner without feeder.
  open(pvkemu_profile_full, [](pvkemu_profile& p) { p.composition_low &= ~(1u << 8); });
  static int openHandle;
  openHandle = h;
  stopHandleOf = [] { return openHandle; };
  MyLog.Debug = 2;
  AcqDefault.autoMoveBack = MyAcq.autoMoveBack = 1;
  libraryRead = pvk::reading::zoneReaders.readZone;
  pvk::reading::zoneReaders.readZone = readThenStop;
  const dc::Cheque c = dc::makeCheque(1);
  const std::vector<dc::Item> items = {itemOf(c, "Code 128"), itemOf(c, "E13B codeline")};
  enum When { Before, During, BetweenZones };
  struct Case {
    When when;
    int acquisitions;  // started by the stopped read
    const char* first;  // the first zone's text
  } const cases[] = {{Before, 0, ""}, {During, 1, ""}, {BetweenZones, 1, "DEMO-128-2026"}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.when);
    feed(dc::onTransport(c, false), 2);  // the next sheet waits at the entry: paper goes back
    addZones(items);
    stopAtZone = k.when == BetweenZones ? 1 : 0;
    if (k.when == Before) stopFromAnotherThread();
    if (k.when == During) {
      stopsInStream = 1;  // the fault stays for the next acquisitions: this one only
      ASSERT_EQ(pvkemu_stream_fault(0, PVKEMU_STREAM_CALLBACK, 1000000,
                                    [](void*) {
                                      if (stopsInStream-- > 0) stopFromAnotherThread();
                                    },
                                    nullptr),
                0);
    }
    const size_t before = trace().size();
    EXPECT_EQ(scanZones(), PVK_ERR_ABORTED);
    EXPECT_EQ(PVKGetLastResult(), PVK_ERR_ABORTED);
    EXPECT_EQ(paperMoves(), k.acquisitions) << "no paper moved back while the stop stands";
    EXPECT_EQ(splitTabs(text)[0], k.first);
    if (k.when == BetweenZones) {
      EXPECT_NE(trace().find("skipping zone decoding for stop 1", before), std::string::npos);
    }
    if (k.acquisitions > 0) {
      EXPECT_NE(trace().find("moving back", before), std::string::npos);
    }

    ASSERT_EQ(PVKStop(handle(), 0), 0);
    feed(dc::onTransport(c, false), 2);
    addZones(items);
    EXPECT_EQ(scanZones(), 0);
    expectRead(items);
    EXPECT_EQ(paperMoves(), 2) << "the document and the move back";
  }
  pvk::reading::zoneReaders.readZone = libraryRead;
}

// The cheque is 1800 x 800 pixels at 300 dpi: 900 x 400 in 1/150 inch. Beyond a tenth off either
// way the zones are still read, with the warning.
TEST_F(Variants, DeclaredDocumentSizeIsCheckedWithinATenth) {
  open(pvkemu_profile_full);
  const dc::Cheque c = dc::makeCheque(1);
  const dc::Item& code = itemOf(c, "Code 128");
  struct Case {
    int16_t width, height;
    int result;
  } const cases[] = {{945, 420, 0}, {1035, 400, 3}, {900, 340, 3}};
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.width << " x " << k.height);
    feed(dc::onTransport(c, false));
    addZones({code});
    OCRDoc.expectedWidth = k.width;
    OCRDoc.expectedHeight = k.height;
    EXPECT_EQ(scanZones(), k.result);
    EXPECT_STREQ(text, code.text.c_str());
  }
}

// A host's own scans of each demo cheque, fed as it has them: cropped to the paper (1800 x 800),
// cropped with a few white pixels around the paper, and the bordered image given its grey plane
// only and scanned in colour. Each reads what the bordered original reads, and its saved front
// is the original's size within a few pixels.
TEST_F(Variants, AHostsOwnScansReadAsTheBorderedOriginal) {
  open(pvkemu_profile_full);
  constexpr int kWhite = 3, kFew = 2 * kWhite + 2;
  struct Saved {
    int result;
    std::string text;
    int width, height;
  };
  auto scanFed = [&](const pvkemu_document& d, const dc::Cheque& c, bool colour) {
    EXPECT_EQ(PVKSetParameter(0, colour ? 2 : 1), 0);
    EXPECT_EQ(pvkemu_feed(0, &d), 0);
    addZones(c.items);
    Saved s{scanZones(), text, 0, 0};
    int size = 0;
    unsigned char* bmp = PVKImgGet(handle(), 1, nullptr, 0, 4, &size);
    if (bmp && size > 26) {
      std::memcpy(&s.width, bmp + 18, 4);
      std::memcpy(&s.height, bmp + 22, 4);
      s.height = std::abs(s.height);
    }
    if (bmp) PVKImgGetFree(handle(), bmp);
    return s;
  };
  for (short codeline : {short{202}, short{1}}) {
    const dc::Cheque c = dc::makeCheque(codeline);
    const dc::Transport t = dc::onTransport(c, false);
    pvkemu_document bordered{};
    bordered.width = static_cast<uint32_t>(t.sensorPixels);
    bordered.height = static_cast<uint32_t>(t.lines);
    bordered.front[PVKEMU_PLANE_GREY] = t.front.data();
    bordered.rear[PVKEMU_PLANE_GREY] = t.rear.data();
    const Saved original = scanFed(bordered, c, false);
    ASSERT_EQ(original.result, 0);
    expectRead(c);

    pvkemu_document cropped{};
    cropped.width = static_cast<uint32_t>(c.width);
    cropped.height = static_cast<uint32_t>(c.height);
    cropped.front[PVKEMU_PLANE_GREY] = c.front.data();
    cropped.rear[PVKEMU_PLANE_GREY] = c.rear.data();
    const int w = c.width + 2 * kWhite, hgt = c.height + 2 * kWhite;
    std::vector<uint8_t> front(static_cast<size_t>(w) * hgt, 255), rear(front);
    for (int y = 0; y < c.height; ++y) {
      const size_t from = static_cast<size_t>(y) * c.width, to = static_cast<size_t>(y + kWhite) * w + kWhite;
      std::copy_n(&c.front[from], c.width, &front[to]);
      std::copy_n(&c.rear[from], c.width, &rear[to]);
    }
    pvkemu_document margins = cropped;
    margins.width = static_cast<uint32_t>(w);
    margins.height = static_cast<uint32_t>(hgt);
    margins.front[PVKEMU_PLANE_GREY] = front.data();
    margins.rear[PVKEMU_PLANE_GREY] = rear.data();
    const struct {
      const char* way;
      const pvkemu_document& doc;
      bool colour;
    } ways[] = {{"cropped to the paper", cropped, false},
                {"white margins", margins, false},
                {"grey plane scanned in colour", bordered, true}};
    for (const auto& k : ways) {
      const Saved s = scanFed(k.doc, c, k.colour);
      SCOPED_TRACE(testing::Message() << "codeline " << codeline << ", " << k.way << ": front " << s.width << " x "
                                      << s.height << " (original " << original.width << " x " << original.height
                                      << "), read \"" << s.text << "\"");
      EXPECT_EQ(s.result, 0);
      EXPECT_EQ(s.text, original.text);
      EXPECT_NEAR(s.width, original.width, kFew);
      EXPECT_NEAR(s.height, original.height, kFew);
    }
  }
  ASSERT_EQ(PVKSetParameter(0, 1), 0);
}

// Two Code 128 rows in one zone, joined by CR LF: room for both and a line end reads both; room
// for the first and its line end, or less, gives the first and the warning.
TEST_F(Variants, ATwoRowZoneWithoutRoomForItAllIsCut) {
  open(pvkemu_profile_full);
  dc::Cheque c = dc::makeCheque(1);
  dc::addCode128(c, "Second row", 304, "ROW2-128-0001", 80, 420);
  const dc::Item& first = itemOf(c, "Code 128");
  const dc::Item& second = itemOf(c, "Second row");
  dc::Item zone = first;
  zone.height = second.top + second.height - first.top;
  const std::string both = first.text + "\r\n" + second.text;
  struct Case {
    short size;
    int result;
  } const cases[] = {{static_cast<short>(both.size() + 2), 0},
                     {static_cast<short>(first.text.size() + 2), 7},
                     {static_cast<short>(first.text.size() + 1), 7}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.size);
    feed(dc::onTransport(c, false));
    addZones({zone});
    EXPECT_EQ(scanZones(k.size), k.result);
    const std::string got = text;
    EXPECT_LT(got.size(), static_cast<size_t>(k.size));
    EXPECT_EQ(got, k.result == 0 ? both : first.text);
    EXPECT_EQ(PVKOCRZoneNChar(handle(), 0), static_cast<int>(got.size()));
  }
}

}  // namespace
