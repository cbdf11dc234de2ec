// A cheque read end to end through the exported calls on the software scanner: an OCR-B line, a
// Code 128, a PDF417, a DataMatrix and a codeline printed at known places, zones added with
// PVKOCRZoneAdd in pixels of the cut front, one PVKImgScan1, and each zone's text and count
// checked against what was printed.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/records.h"
#include "demo_cheque_scan.h"

namespace {

namespace dc = pvk::democheque;

// Threads of this process now.
int threadCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (const dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

class ChequeRead : public demoscan::DemoChequeScan {
 protected:
  void SetUp() override { open(pvkemu_profile_full); }  // a device with the line aligner
};

// The composed sides hold no 0 pixel: on a device with the line aligner a 0 byte marks where a
// line slot starts, and an inked 0 would shift the rest of its line (the front was then never
// cut to the paper and every zone missed its print). Both codelines, upright and turned.
TEST_F(ChequeRead, EveryZoneReadsWhatWasPrinted) {
  const int threads = threadCount();
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
  // The calls did their work on this thread: none was started in the host's process.
  EXPECT_EQ(threadCount(), threads);
}

// A buffer shorter than the zones' texts keeps what fits and warns (7), down to a buffer of the
// terminator alone; one byte more than the texts and their TABs need reads them whole (0). A
// zone after the buffer is full is not read, and that too is a cut.
TEST_F(ChequeRead, AShortBufferKeepsWhatFitsAndWarns) {
  const dc::Cheque c = dc::makeCheque(1);
  const dc::Item &ocrb = c.items[0], &code128 = c.items[1];
  ASSERT_EQ(ocrb.text + code128.text, "00421234-5678/90DEMO-128-2026");
  const struct {
    std::vector<dc::Item> zones;
    short size;
    int result;
    std::string text;
  } cases[] = {
      {{ocrb}, 1, 7, ""}, {{ocrb}, 16, 7, "00421234-5678/9"}, {{ocrb}, 17, 0, "00421234-5678/90"},
      {{code128}, 13, 7, "DEMO-128-202"}, {{code128}, 14, 0, "DEMO-128-2026"},
      {{ocrb, code128}, 17, 7, "00421234-5678/90"}, {{ocrb, code128}, 18, 7, "00421234-5678/90\t"},
      {{ocrb, code128}, 31, 0, "00421234-5678/90\tDEMO-128-2026"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.zones.size() << " zones, size " << k.size);
    feed(dc::onTransport(c, false));
    addZones(k.zones);
    EXPECT_EQ(scanZones(k.size), k.result);
    EXPECT_EQ(std::string(text), k.text);
    const std::vector<std::string> got = demoscan::splitTabs(text);
    for (size_t z = 0; z < k.zones.size(); ++z)
      EXPECT_EQ(PVKOCRZoneNChar(handle(), static_cast<short>(z)), z < got.size() ? static_cast<int>(got[z].size()) : 0);
  }
}

}  // namespace
