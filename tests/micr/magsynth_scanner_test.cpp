// The synthesised head bytes through the software scanner: a cheque with a CMC7 codeline on the
// side the head reads, acquired by the scan-and-read step in grey and in colour; the bytes land
// in the sample buffer as sent, and the codeline's optical columns, converted with the
// acquisition's document offset and the head reference, fall on the characters' samples.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "../common/synthetic_cheque.h"
#include "PlavikMS.h"
#include "document/document.h"
#include "magsynth.h"
#include "pvkemu.h"
#include "pvkemu_image.h"
#include "pvkemu_sheet.h"
#include "head_scanner_fixture.h"

namespace {

namespace ms = pvk::magsynth;
using pvk::testing::ChequeSpec;
using pvk::testing::SidePlanes;

class HeadThroughScanner : public HeadScannerFixture {
 protected:
  void SetUp() override { open("/tmp/pvk_magsynth_XXXXXX", false); }

  void expectBytesLanded() {
    ASSERT_NE(MyMICR.samples, nullptr);
    EXPECT_EQ(MyMICR.nSamples, signal.bytes.size()) << "every raw line of the document";
    size_t differ = 0;
    for (size_t i = 0; i < MyMICR.nSamples && i < signal.bytes.size(); ++i) differ += MyMICR.samples[i] != signal.bytes[i];
    EXPECT_EQ(differ, 0u);
  }

  // Rows of the cropped head side (the rear) that hold ink in the codeline's columns, grouped
  // into characters: first and last row of each.
  std::vector<std::pair<int, int>> opticalColumns() {
    const ImgInfo& r = MyDev.img[0];
    std::vector<std::pair<int, int>> chars;
    int last = -100;
    for (int y = 0; y < r.rowsUsed; ++y) {
      const uint8_t* row = r.firstRow + static_cast<size_t>(r.trimTop + y) * r.rawLineBytes + r.trimLeft;
      bool ink = false;
      // The codeline's columns: kColumn in the rear plane lies 105 pixels into the document.
      for (int x = 90; x < 150 && x < r.trimWidth; ++x) ink |= row[x] < 128;
      if (!ink) continue;
      if (y > last + 7) chars.push_back({y, y});
      chars.back().second = y;
      last = y;
    }
    return chars;
  }

  // Optical column to sample, as the reader converts positions.
  static int toSample(int column) {
    return static_cast<int>((column + MyMICR.opticalOffset300 - MyMICR.refOffset) * MyMICR.samplesPer3Px / 3.0);
  }

};

TEST_F(HeadThroughScanner, GreyBytesLandAndColumnsFallOnTheirSamples) {
  ms::Head head;
  EXPECT_EQ(head.samplesPer3Px, 10);
  EXPECT_EQ(head.refLines, 200);
  for (double start : {600.0, 610.4, 620.7}) {
    ms::Codeline line;
    line.text = "0123456789:;<=>";
    line.startLine = start;
    feed(head, line, 1);
    ASSERT_TRUE(Vx3Read_AcquireImg()) << MyDev.lastResult;
    ASSERT_EQ(MyMICR.samplesPer3Px, 10) << "the full profile's head sends 10 bytes per slot";
    ASSERT_EQ(MyMICR.refOffset, head.refLines);
    ASSERT_EQ(MyDev.img[0].dpiV, 300);
    expectBytesLanded();
    const auto columns = opticalColumns();
    ASSERT_EQ(columns.size(), signal.truth.size());
    // A column spans R / 3 samples, [toSample(c), toSample(c + 1)): the first and last samples
    // of each character's ink lie on its first and last column's samples, within 3.
    for (size_t i = 0; i < columns.size(); ++i) {
      const int l = columns[i].first, r = columns[i].second;
      const ms::CharTruth& t = signal.truth[i];
      EXPECT_GE(t.first, toSample(l) - 3) << "start " << start << " char " << i;
      EXPECT_LE(t.first, toSample(l + 1) - 1 + 3) << "start " << start << " char " << i;
      EXPECT_GE(t.last, toSample(r) - 3) << "start " << start << " char " << i;
      EXPECT_LE(t.last, toSample(r + 1) - 1 + 3) << "start " << start << " char " << i;
    }
  }
}

TEST_F(HeadThroughScanner, ColourBytesLandByteForByte) {
  ASSERT_EQ(PVKSetParameter(0, 2), 0);
  ms::Head head;
  head.planes = 3;
  ms::Codeline line;
  line.text = "12345";
  line.startLine = 700;
  ms::Impairments noisy;
  noisy.noise = 3;
  noisy.seed = 5;
  feed(head, line, 3, noisy);
  ASSERT_TRUE(Vx3Read_AcquireImg()) << MyDev.lastResult;
  ASSERT_EQ(MyDev.img[1].colourPlanes, 3);
  EXPECT_EQ(MyMICR.extraBytes, 30) << "three plane slots of 10 bytes";
  expectBytesLanded();
}

}  // namespace
