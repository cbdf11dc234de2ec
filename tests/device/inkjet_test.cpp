// The endorser against the software scanner: stamp fonts of our own, the stamp bitmap, the head
// configuration, the set-up block and column words, and one print from start to printed count.
#include <cstdlib>
#include <string>

#include "../common/stamp_font.h"
#include "device/inkjet.h"
#include "device_fixture.h"
#include "pvkemu_inkjet.h"

namespace pvk::test {
namespace {

using pvk::testing::glyphInk;
using pvk::testing::stampFontBytes;
using pvk::testing::stampGlyphs;

class Inkjet : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    ASSERT_EQ(add(full()), 0);
    ASSERT_GT(open(), 0);
    std::memset(&MyInkjet, 0, sizeof MyInkjet);
    ASSERT_TRUE(Vx3CompositionLH());
    ASSERT_TRUE(MyDev.inkjetPresent);
    ASSERT_TRUE(MyDev.inkjetReady);
    ASSERT_TRUE(pvk::testing::writeFile(dir + "/stamp.fnt", stampFontBytes(stampGlyphs(), true)));
  }
  void TearDown() override {
    std::free(MyInkjet.stamp.data);
    MyInkjet.stamp = PVKImg{};
    DeviceTest::TearDown();
  }
  // A font stamp as the set-up leaves it before preparing.
  void stamp(const char* text, const char* font = "stamp", int rotate = 0) {
    std::free(MyInkjet.stamp.data);
    MyInkjet.stamp = PVKImg{};
    std::snprintf(MyInkjet.stampText, sizeof MyInkjet.stampText, "%s", text);
    std::snprintf(MyInkjet.fontName, sizeof MyInkjet.fontName, "%s", font);
    MyInkjet.rotate180 = static_cast<uint16_t>(rotate);
    MyInkjet.stampTurned = 0;
  }
  int readFont(const std::string& bytes, pvk::device::StampFont& font) {
    const std::string path = dir + "/f.fnt";
    EXPECT_TRUE(pvk::testing::writeFile(path, bytes));
    return pvk::device::readStampFont(path.c_str(), 12, font);
  }
  uint8_t px(int row, int col) const { return MyInkjet.stamp.data[row * MyInkjet.stamp.stride + col]; }
};

TEST_F(Inkjet, FontFilesInBothLineEndsAndTheirFaults) {
  for (bool crlf : {true, false}) {
    pvk::device::StampFont font;
    ASSERT_EQ(readFont(stampFontBytes(stampGlyphs(), crlf), font), 0) << crlf;
    EXPECT_EQ(font.count, 13u);
    EXPECT_EQ(font.widths[10], 10);  // 'A', written as CR LF in the CR LF file
    EXPECT_EQ(font.glyphs[1][1 * 7 + 0], '#');
    pvk::device::freeStampFont(font);
  }
  EXPECT_TRUE(traced("A\t10\r\n"));
  const std::string good = stampFontBytes(stampGlyphs(), false);
  pvk::device::StampFont font;
  EXPECT_EQ(readFont(good.substr(0, good.size() - 1), font), -1);  // the last line cut short
  EXPECT_EQ(readFont(good + "x", font), -1);                       // bytes after the last glyph
  EXPECT_EQ(readFont("", font), -1);
  EXPECT_EQ(readFont("\n\n", font), -1);                           // no characters
  EXPECT_EQ(readFont(std::string(600, 'a') + "\n", font), -1);     // first line too long
  EXPECT_EQ(readFont("ab\n\x03\n", font), -1);                     // widths line too short
  EXPECT_EQ(pvk::device::readStampFont((dir + "/none.fnt").c_str(), 12, font), -1);
  // Every cut of a good file is refused, never over-read.
  for (size_t n = 0; n < good.size(); n += 7) EXPECT_EQ(readFont(good.substr(0, n), font), -1) << n;
}

TEST_F(Inkjet, GarbledFontsNeverOverrun) {
  // Bytes of a good font changed at random: read whole or refused, and a stamp drawn from
  // what was read stays inside its bitmap.
  const std::string good = stampFontBytes(stampGlyphs(), true);
  uint32_t seed = 99;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  std::snprintf(MyInkjet.stampText, sizeof MyInkjet.stampText, "%s", "0A 9-Z");
  for (int round = 0; round < 300; ++round) {
    std::string bytes = good;
    for (int k = 0; k < 1 + round % 4; ++k) bytes[next() % bytes.size()] = static_cast<char>(next());
    ASSERT_TRUE(pvk::testing::writeFile(dir + "/g.fnt", bytes));
    char path[300];
    std::snprintf(path, sizeof path, "%s/g.fnt", dir.c_str());
    const int r = pvk::device::createStamp(path, 12, round % 2 == 0);
    EXPECT_TRUE(r == 0 || r == -1 || r == -3) << r;
    if (r == 0) {
      EXPECT_EQ(MyInkjet.stamp.height, 12);
    }
  }
}

// The stamp font the build makes and installs: the characters docs/HOST.md lists, the blank
// first, 6 columns each, the top of each character in its first line.
TEST_F(Inkjet, TheInstalledStampFont) {
  pvk::device::StampFont font;
  ASSERT_EQ(pvk::device::readStampFont(PVK_FONT_DB_DIR "/stamp12.fnt", 12, font), 0);
  EXPECT_EQ(std::string(font.chars, font.count), " 0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ/-.:#");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(font.widths), font.count), std::string(font.count, 6));
  const std::string t(font.glyphs[30], 12 * 6);  // 'T'
  EXPECT_EQ(t.substr(0, 6) + "|" + t.substr(11 * 6), "##### |  #   ");
  pvk::device::freeStampFont(font);
}

TEST_F(Inkjet, FontPathTakesTheExtensionOnce) {
  char out[64];
  ASSERT_TRUE(pvk::device::stampFontPath("/d", "ocr", out, sizeof out));
  EXPECT_STREQ(out, "/d/ocr.fnt");
  ASSERT_TRUE(pvk::device::stampFontPath("/d", "ocr.fnt", out, sizeof out));
  EXPECT_STREQ(out, "/d/ocr.fnt");
  EXPECT_FALSE(pvk::device::stampFontPath("/d", std::string(80, 'x').c_str(), out, sizeof out));
}

TEST_F(Inkjet, StampBitmapFromTheFont) {
  stamp("1 A-7\r\n");
  char path[300];
  std::snprintf(path, sizeof path, "%s/stamp.fnt", dir.c_str());
  ASSERT_TRUE(CreaStampFontProprietario(path, 12, true));
  // 7 + 4 + 10 + 5 + 7 columns, stride rounded up to 8, glyph lines bottom-up.
  EXPECT_EQ(MyInkjet.stamp.width, 33);
  EXPECT_EQ(MyInkjet.stamp.stride, 40);
  EXPECT_EQ(MyInkjet.stamp.height, 12);
  EXPECT_EQ(MyInkjet.stamp.dpi, 100);
  for (int r = 0; r < 12; ++r) {
    EXPECT_EQ(px(r, 0), 0);                                   // the bar of '1'
    EXPECT_EQ(px(r, 3), glyphInk('1', 11 - r, 3) ? 0 : 255);  // its line, turned bottom-up
    for (int c = 7; c < 11; ++c) EXPECT_EQ(px(r, c), 255);    // the space
    EXPECT_EQ(px(r, 11), 0);                                  // the bar of 'A'
  }
  // A character the font lacks takes its first glyph; CR inside the text is a space.
  stamp("Z\r1");
  ASSERT_TRUE(CreaStampFontProprietario(path, 12, false));
  EXPECT_EQ(MyInkjet.stamp.width, 6 + 4 + 7);
  EXPECT_EQ(px('0' % 12, 3), 0);  // '0' drawn top-down
  // A CMC7 font: a 6-column gap after every non-space character, the first glyph as wide as
  // the second.
  ASSERT_TRUE(pvk::testing::writeFile(dir + "/cmc7.fnt", stampFontBytes(stampGlyphs(), false)));
  stamp("00 1");
  std::snprintf(path, sizeof path, "%s/cmc7.fnt", dir.c_str());
  ASSERT_TRUE(CreaStampFontProprietario(path, 12, true));
  EXPECT_EQ(MyInkjet.stamp.width, 7 + 6 + 7 + 6 + 4 + 7);
  for (int c = 7; c < 13; ++c) EXPECT_EQ(px(0, c), 255);
}

TEST_F(Inkjet, StampWidthsAddUpWithoutWrapping) {
  std::string wide;
  std::vector<pvk::testing::StampGlyph> glyphs = {{'W', 250}};
  ASSERT_TRUE(pvk::testing::writeFile(dir + "/wide.fnt", stampFontBytes(glyphs, false)));
  stamp(std::string(300, 'W').c_str(), "wide");  // 75000 columns: beyond a 16-bit image
  char path[300];
  std::snprintf(path, sizeof path, "%s/wide.fnt", dir.c_str());
  MyDev.lastResult = 0;
  EXPECT_FALSE(CreaStampFontProprietario(path, 12, true));
  EXPECT_EQ(MyDev.lastResult, -3);
  EXPECT_EQ(MyInkjet.stamp.data, nullptr);
}

TEST_F(Inkjet, HeadConfigurationAndSetUpBlock) {
  // Profile: resolution 30, offset 300 (its high byte in byte 7), intensity 128, origin
  // (50, 10), 32 x 64 buffer bytes.
  EXPECT_EQ(MyInkjet.headRes, 30);
  EXPECT_EQ(MyInkjet.headOffset, 300);
  EXPECT_EQ(MyInkjet.headIntensity, 128);
  EXPECT_EQ(MyInkjet.xOrigin, 50);
  EXPECT_EQ(MyInkjet.yOrigin, 10);
  EXPECT_EQ(MyInkjet.stampBufferSize, 2048u);
  uint8_t b[8];
  MyInkjet.headIntensity = 200;
  MyInkjet.intensity = 100;  // scale 50
  MyInkjet.xOrigin = 650;
  MyInkjet.stampOffset = 50;
  MyInkjet.fireCount = 3;
  MyInkjet.headOption = 9;
  pvk::device::inkjetSetUpBlock(b);
  EXPECT_EQ(b[0] | (b[1] << 8), 1400);
  EXPECT_EQ(b[4] | (b[5] << 8), 20);
  EXPECT_EQ(b[2], 100);
  EXPECT_EQ(b[3], 3);
  EXPECT_EQ(b[6], 9);  // firmware 0x5011 carries the head option
  EXPECT_EQ(b[7], 0);
  MyInkjet.xOrigin = 40000;
  pvk::device::inkjetSetUpBlock(b);
  EXPECT_EQ(b[0] | (b[1] << 8), 0xFFFF);
  // An intensity that scales to 0 would divide by 0: it counts as 100 %.
  MyInkjet.intensity = 1;
  EXPECT_EQ(pvk::device::inkjetScale(), 100);
  MyInkjet.intensity = 0;
  EXPECT_EQ(pvk::device::inkjetScale(), 100);
}

TEST_F(Inkjet, ColumnWordsTakeRowsBelowHalfAsInk) {
  std::vector<uint8_t> bits(8 * 12, 127);
  for (int r = 0; r < 12; ++r) bits[r * 8 + 1] = 128;
  bits[3 * 8 + 2] = 255;
  PVKImg img{3, 12, 8, 100, bits.data()};
  uint8_t out[6];
  ASSERT_TRUE(pvk::device::stampColumns(img, out, sizeof out));
  EXPECT_EQ(out[0] | (out[1] << 8), 0x0FFF);
  EXPECT_EQ(out[2] | (out[3] << 8), 0);
  EXPECT_EQ(out[4] | (out[5] << 8), 0x0FFF & ~(1 << 3));
  EXPECT_EQ(bits[0], 0);
  EXPECT_EQ(bits[1], 255);
  EXPECT_FALSE(pvk::device::stampColumns(img, out, 5));
}

TEST_F(Inkjet, PreparationChecksTheStampAgainstTheHead) {
  // Width x 2 equal to the buffer is accepted, one column more is not.
  MyInkjet.stampBufferSize = 66;
  stamp("123-");  // 7 + 8 + 6 + 5 = 26 columns
  ASSERT_TRUE(InkjetPrepare_TIJ10());
  EXPECT_EQ(MyInkjet.stampColumns, 26u);
  MyInkjet.stampBufferSize = 52;
  EXPECT_TRUE(InkjetPrepare_TIJ10());
  MyInkjet.stampBufferSize = 50;
  MyDev.lastResult = 0;
  EXPECT_FALSE(InkjetPrepare_TIJ10());
  EXPECT_EQ(MyDev.lastResult, -3);
  EXPECT_TRUE(traced("err -  stamp is larger then stamp buffer 26\r\n"));
  // A mode beyond the acquisition modes, a missing font, a font that is not one.
  MyInkjet.stampBufferSize = 2048;
  MyAcq.mode = 8;
  EXPECT_FALSE(InkjetPrepare_TIJ10());
  EXPECT_TRUE(traced("err -  unexpected mode when printing\r\n"));
  MyAcq.mode = 0;
  stamp("1", "missing");
  MyDev.lastResult = 0;
  EXPECT_FALSE(InkjetPrepare_TIJ10());
  EXPECT_EQ(MyDev.lastResult, 0);
  ASSERT_TRUE(pvk::testing::writeFile(dir + "/bad.fnt", "0\n\x05\nshort\n"));
  stamp("1", "bad.fnt");
  EXPECT_FALSE(InkjetPrepare_TIJ10());
  EXPECT_EQ(MyDev.lastResult, -1);
  EXPECT_TRUE(traced("err -  corrupted or invalid file " + dir + "/bad.fnt\r\n"));
  // A stamp that is not 12 rows high is dropped without a trace of its own.
  stamp("1");
  MyInkjet.stamp = PVKImg{4, 13, 8, 300, static_cast<uint8_t*>(std::calloc(8 * 13, 1))};
  EXPECT_FALSE(InkjetPrepare_TIJ10());
  EXPECT_EQ(MyInkjet.stamp.data, nullptr);
}

TEST_F(Inkjet, AStampAskedToBeTurnedIsTurnedOnce) {
  stamp("1", "stamp", 1);
  ASSERT_TRUE(InkjetPrepare_TIJ10());
  // The bar of '1' moves from column 0 to the last column; its line turns bottom-up twice.
  const int last = MyInkjet.stamp.width - 1;
  for (int r = 0; r < 12; ++r) {
    EXPECT_EQ(px(r, last), 0);
    if (r != '1' % 12) {
      EXPECT_EQ(px(r, 0), 255);
    }
  }
  ASSERT_TRUE(InkjetPrepare_TIJ10());  // again before the print: unchanged
  EXPECT_EQ(px(5, last), 0);
  EXPECT_EQ(px(5, 0), 255);
  EXPECT_EQ(px('1' % 12, last - 3), 0);
}

TEST_F(Inkjet, OnePrintOnTheWire) {
  stamp("12");
  MyInkjet.stampImageRequested = 1;
  ASSERT_TRUE(InkjetPrepare_TIJ10());
  const int columns = MyInkjet.stamp.width;
  pvkemu_bulk_out_take(0, nullptr, 0);
  const size_t from = pvkemu_log_count();
  ASSERT_TRUE(InkjetStart());
  EXPECT_TRUE(MyInkjet.printing);
  EXPECT_TRUE(MyInkjet.armed);
  InkjetStop();
  EXPECT_TRUE(MyInkjet.printed);
  EXPECT_FALSE(MyInkjet.printing);
  ASSERT_TRUE(CheckStamp());
  EXPECT_EQ(MyInkjet.printedCount, 2u * columns);
  // 72 (set-up), the columns on endpoint 6, 70 (start), 71 (stop), 80 (printed count).
  std::vector<std::string> order;
  for (size_t i = from; i < pvkemu_log_count(); ++i) {
    pvkemu_request r;
    pvkemu_log_get(i, &r);
    if (r.kind == PVKEMU_LOG_BULK_SYNC) order.push_back("ep" + std::to_string(r.endpoint) + "/" + std::to_string(r.length));
    else if (r.value != 3) order.push_back(brief(r));
  }
  EXPECT_EQ(order, (Strings{"40/72/8", "ep6/" + std::to_string(2 * columns), "C0/70/1", "C0/71/1", "C0/80/8"}));
  std::vector<uint8_t> words(2 * columns);
  ASSERT_EQ(pvkemu_bulk_out_take(0, words.data(), words.size()), words.size());
  EXPECT_EQ(words[0] | (words[1] << 8), 0x0FFF);  // the bar of '1'
  uint8_t block[8];
  ASSERT_EQ(pvkemu_inkjet_setup(0, block), 0);
  EXPECT_EQ(block[2], MyInkjet.intensity);
  // Printed already: the next start sends nothing.
  EXPECT_FALSE(InkjetStart());
  EXPECT_FALSE(MyInkjet.armed);
}

TEST_F(Inkjet, APartialPrintAndAStartThatCannotPrepare) {
  stamp("12");
  ASSERT_TRUE(InkjetPrepare_TIJ10());
  ASSERT_EQ(pvkemu_inkjet_limit(0, 6), 0);
  ASSERT_TRUE(InkjetStart());
  EXPECT_EQ(MyInkjet.stamp.data, nullptr);  // not kept for the image
  InkjetStop();
  EXPECT_FALSE(CheckStamp());
  EXPECT_EQ(MyDev.lastResult, -81);
  EXPECT_TRUE(traced("err -  incomplete stamp 6\r\n"));
  // A stamp that outgrows the head's buffer is not sent at all.
  stamp("1111111111");
  MyInkjet.printed = 0;
  MyInkjet.stampBufferSize = 20;
  const size_t from = pvkemu_log_count();
  MyDev.lastResult = 0;
  EXPECT_FALSE(InkjetStart());
  EXPECT_EQ(MyDev.lastResult, -3);
  EXPECT_FALSE(MyInkjet.armed);
  EXPECT_TRUE(vendorRequests(from).empty());
  // A failing count request.
  MyInkjet.expectedCount = 4;
  ASSERT_EQ(pvkemu_fault(0, 80, PVKEMU_DIR_IN, PVKEMU_FAULT_STALL, 1, 0), 0);
  EXPECT_FALSE(CheckStamp());
  EXPECT_TRUE(traced("err -  error checking printed stamp\r\n"));
  EXPECT_FALSE(CreateStamp());
  EXPECT_EQ(MyDev.lastResult, -11);
}

}  // namespace
}  // namespace pvk::test
