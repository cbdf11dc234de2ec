// BMP and PGM files: header figures, the level table, files read back by ImageMagick and
// netpbm, and garbled files that must be refused before anything is allocated or read.
#include <cstdlib>
#include <vector>

#include "../common/file_kinds.h"
#include "../common/file_limit.h"
#include "image/image.h"
#include "image_test_util.h"

using imgtest::run;
using imgtest::slurp;

namespace {

uint32_t le32(const std::string& s, size_t at)
{
  return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8 |
         static_cast<uint8_t>(s[at + 2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}

void put32(std::string& s, size_t at, uint32_t v)
{
  for (int i = 0; i < 4; ++i)
    s[at + i] = static_cast<char>(v >> (8 * i));
}

void writeFile(const std::string& path, const std::string& bytes)
{
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// Grey pixels of a file as ImageMagick decodes them, top row first.
std::string greyPixels(const std::string& path)
{
  return run("/usr/bin/convert '" + path + "' -depth 8 gray:-");
}

struct OwnedImg : PVKImg {
  OwnedImg(uint16_t w, uint16_t h, uint16_t s, uint16_t d) : PVKImg{w, h, s, d, nullptr}
  {
    data = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(s) * h + 1, 1));
  }
  OwnedImg() : PVKImg{} {}
  ~OwnedImg() { std::free(data); }
};

class BmpFiles : public imgtest::ImageTest {};
class PgmFiles : public imgtest::ImageTest {};

TEST_F(BmpFiles, HeaderFiguresAndSizes)
{
  char h[1078];
  EXPECT_EQ(ImgBMPHeaderFill(100, 10, 200, 200, 8, h), 1078);
  std::string s(h, sizeof h);
  EXPECT_EQ(s.substr(0, 2), "BM");
  EXPECT_EQ(le32(s, 2), 2078u);
  EXPECT_EQ(le32(s, 10), 1078u);
  EXPECT_EQ(le32(s, 38), 7874u);
  EXPECT_EQ(le32(s, 46), 256u);
  EXPECT_EQ(static_cast<uint8_t>(s[54 + 4 * 200]), 200);  // grey ramp
  EXPECT_EQ(ImgBMPHeaderFill(100, 10, 200, 200, 24, h), 54);
  s.assign(h, 54);
  EXPECT_EQ(le32(s, 10), 54u);
  EXPECT_EQ(le32(s, 34), 3000u);
  EXPECT_EQ(le32(s, 46), 0u);
  EXPECT_EQ(ImgBMPSize(1001, 2), 3086u);
}

TEST_F(BmpFiles, LevelTableClampsBrightnessAndContrast)
{
  uint8_t src[4] = {0, 128, 255, 64};
  std::vector<uint8_t> out(ImgBMPSize(4, 1));
  long size = 0;
  ASSERT_TRUE(ImgBMPElabora(src, 1, 4, 4, 4, 4, 200, 200, 0, 100, 8, true, false, out.data(), &size));
  EXPECT_EQ(size, 1078 + 4);
  EXPECT_EQ(out[1078], 0);
  EXPECT_EQ(out[1079], 128);
  EXPECT_EQ(out[1080], 255);
  ASSERT_TRUE(ImgBMPElabora(src, 1, 4, 4, 4, 4, 200, 200, 0, -100, 8, true, false, out.data(), &size));
  EXPECT_EQ(out[1078], 100);
  ASSERT_TRUE(ImgBMPElabora(src, 1, 4, 4, 4, 4, 200, 200, -10, 0, 8, true, false, out.data(), &size));
  EXPECT_EQ(out[1078], 0);
  EXPECT_EQ(out[1081], 54);
  EXPECT_FALSE(ImgBMPElabora(nullptr, 1, 4, 4, 4, 4, 200, 200, 0, 0, 8, true, false, out.data(), &size));
  EXPECT_FALSE(ImgBMPElabora(src, 1, 4, 4, 4, 4, 200, 200, 0, 0, 8, true, false, out.data(), nullptr));
}

TEST_F(BmpFiles, ColourPictureReadsBackWithItsColoursAndDpi)
{
  // Two rows of 4 pixels, planes red, green, blue side by side (plane offset 4).
  std::vector<uint8_t> src = {10, 11, 12, 13, 20, 21, 22, 23, 30, 31, 32, 33,
                              40, 41, 42, 43, 50, 51, 52, 53, 60, 61, 62, 63};
  std::vector<uint8_t> out(ImgBMPSize(12, 2));
  long size = 0;
  ASSERT_TRUE(ImgBMPElabora(src.data(), 2, 4, 4, 12, 12, 200, 200, 0, 0, 24, true, true,
                            out.data(), &size));
  std::string file = path("c.bmp");
  ASSERT_TRUE(pvk::image::writeWholeFile(file.c_str(), out.data(), static_cast<size_t>(size)));
  EXPECT_EQ(run("/usr/bin/identify -format '%w %h' '" + file + "'"), "4 2");
  // Whole pixels per metre: 200 dpi comes back as about 199.99.
  double dpi = std::atof(run("/usr/bin/identify -units PixelsPerInch -format '%[fx:resolution.x]' '" + file + "'").c_str());
  EXPECT_NEAR(dpi, 200.0, 0.02);
  std::string rgb = run("/usr/bin/convert '" + file + "' -depth 8 rgb:-");
  ASSERT_EQ(rgb.size(), 24u);
  EXPECT_EQ(static_cast<uint8_t>(rgb[0]), 10);   // red of the top-left pixel
  EXPECT_EQ(static_cast<uint8_t>(rgb[1]), 20);   // green
  EXPECT_EQ(static_cast<uint8_t>(rgb[2]), 30);   // blue
  EXPECT_EQ(static_cast<uint8_t>(rgb[12]), 40);  // second row
}

TEST_F(BmpFiles, WritersProduceFilesThatReadBack)
{
  OwnedImg a(6, 3, 8, 200), b(10, 2, 12, 300);
  for (int i = 0; i < 8 * 3; ++i)
    a.data[i] = static_cast<uint8_t>(i * 10);
  std::memset(b.data, 200, 12 * 2);
  std::string one = path("one.bmp"), two = path("two.bmp");
  ASSERT_TRUE(ImgBPMWrite(one.c_str(), &a, 8));
  EXPECT_EQ(run("/usr/bin/identify -format '%w %h' '" + one + "'"), "8 3");
  std::string px = greyPixels(one);
  ASSERT_EQ(px.size(), 24u);
  EXPECT_EQ(static_cast<uint8_t>(px[9]), 90);  // row 1, column 1 of the source
  // Two images: the second stands above the first, both padded to the wider one.
  ASSERT_TRUE(ImgBPMWrite(two.c_str(), &a, &b, 8));
  EXPECT_EQ(run("/usr/bin/identify -format '%w %h' '" + two + "'"), "12 5");
  px = greyPixels(two);
  ASSERT_EQ(px.size(), 60u);
  EXPECT_EQ(static_cast<uint8_t>(px[0]), 200);
  EXPECT_EQ(static_cast<uint8_t>(px[2 * 12 + 1]), 10);
  EXPECT_EQ(static_cast<uint8_t>(px[2 * 12 + 7]), 0);  // padding of the narrower first image
}

TEST_F(BmpFiles, WriteFailuresAreReported)
{
  OwnedImg a(640, 480, 640, 200);
  // A disk that fills up is a write error (the trace of the writer goes to a file of its own,
  // which the limit on every file's size leaves room for).
  EXPECT_EQ(pvk::testing::withFileLimit(4096, [&] {
              std::snprintf(MyLog.tracePath, sizeof MyLog.tracePath, "%s", path("full.log").c_str());
              return ImgBPMWrite(path("full.bmp").c_str(), &a, 8) ? 1 : MyDev.lastResult;
            }),
            -1);
  EXPECT_NE(imgtest::slurp(path("full.log")).find("err - writing image file"), std::string::npos);
  // A device is no file to write into.
  ASSERT_EQ(pvk::testing::makeDeviceOrFifo(path("dev")), 0);
  EXPECT_FALSE(ImgBPMWrite(path("dev").c_str(), &a, 8));
  EXPECT_EQ(MyDev.lastResult, -1);
  EXPECT_FALSE(ImgBPMWrite(path("no/such/dir.bmp").c_str(), &a, 8));
  EXPECT_TRUE(traced("err - creating image file"));
  EXPECT_FALSE(ImgBPMWrite(path("x.bmp").c_str(), static_cast<const PVKImg*>(nullptr), 8));
}

TEST_F(BmpFiles, SideRecordWritesItsColourPlanesAsBgr)
{
  std::vector<uint8_t> raw(3 * 8 * 2, 0);
  for (int r = 0; r < 2; ++r)
    for (int x = 0; x < 8; ++x) {
      raw[r * 24 + x] = 100;       // red plane
      raw[r * 24 + 8 + x] = 150;   // green
      raw[r * 24 + 16 + x] = 50;   // blue
    }
  ImgInfo side{};
  side.firstRow = raw.data();
  side.trimWidth = 8;
  side.rowsUsed = 2;
  side.planeLineBytes = 8;
  side.rawLineBytes = 24;
  side.dpiH = side.dpiV = 200;
  MyAcq.colourLines = 3;
  std::string file = path("side.bmp");
  ASSERT_TRUE(ImgBPMWrite(file.c_str(), &side));
  std::string rgb = run("/usr/bin/convert '" + file + "' -depth 8 rgb:-");
  ASSERT_EQ(rgb.size(), 48u);
  EXPECT_EQ(static_cast<uint8_t>(rgb[0]), 100);
  EXPECT_EQ(static_cast<uint8_t>(rgb[1]), 150);
  EXPECT_EQ(static_cast<uint8_t>(rgb[2]), 50);
}

TEST_F(BmpFiles, ReaderTakesRowsWhenImageSizeFieldIsZero)
{
  // A 10-pixel-wide file: rows padded to 12 in the file, 16 in the record.
  OwnedImg a(10, 3, 12, 200);
  for (int r = 0; r < 3; ++r)
    for (int x = 0; x < 10; ++x)
      a.data[r * 12 + x] = static_cast<uint8_t>(r * 50 + x);
  std::string file = path("z.bmp");
  char header[1078];
  int n = ImgBMPHeaderFill(10, 3, 200, 200, 8, header);
  std::string bytes(header, n);
  for (int r = 2; r >= 0; --r)
    bytes.append(reinterpret_cast<char*>(a.data + r * 12), 12);
  put32(bytes, 34, 0);
  writeFile(file, bytes);
  OwnedImg back;
  ASSERT_TRUE(ImgBMPRead(file.c_str(), &back));
  EXPECT_EQ(back.width, 10);
  EXPECT_EQ(back.height, 3);
  EXPECT_EQ(back.stride, 16);
  EXPECT_EQ(back.dpi, 300);
  EXPECT_EQ(back.data[2 * 16 + 9], 109);
  EXPECT_EQ(back.data[0], 0);
}

TEST_F(BmpFiles, ReaderTakesImageMagickFilesUncompressedOnly)
{
  std::string file = path("im.bmp"), rle = path("rle.bmp");
  const std::string make = "/usr/bin/convert -size 61x40 gradient:white-black -type Palette -depth 8 ";
  run(make + "-compress none bmp3:'" + file + "'");
  run(make + "bmp3:'" + rle + "'");
  OwnedImg back;
  ASSERT_TRUE(ImgBMPRead(file.c_str(), &back));
  EXPECT_EQ(back.width, 61);
  EXPECT_EQ(back.stride, 64);
  // The reader keeps palette indexes: map them through the file's palette to compare.
  std::string bytes = slurp(file), px = greyPixels(file);
  ASSERT_EQ(px.size(), 61u * 40);
  for (int r = 0; r < 40; ++r)
    for (int x = 0; x < 61; ++x) {
      uint8_t index = back.data[r * back.stride + x];
      ASSERT_EQ(static_cast<uint8_t>(bytes[54 + 4 * index]), static_cast<uint8_t>(px[r * 61 + x]));
    }
  // ImageMagick's default for such a picture is RLE: refused, not read as pixels.
  OwnedImg none;
  EXPECT_FALSE(ImgBMPRead(rle.c_str(), &none));
  EXPECT_TRUE(traced("Not uncompressed image; compression 1"));
}

TEST_F(BmpFiles, GarbledFilesAreRefusedBeforeAllocation)
{
  OwnedImg a(8, 4, 8, 200);
  std::string good = path("good.bmp");
  ASSERT_TRUE(ImgBPMWrite(good.c_str(), &a, 8));
  std::string bytes = slurp(good);
  struct Case {
    const char* name;
    size_t at;
    uint32_t value;
    const char* trace;
  } cases[] = {
      {"rle", 30, 1, "Not uncompressed image; compression 1"},
      {"huge", 18, 0x7FFFFFFF, "invalid width"},
      {"zerowide", 18, 0, "invalid width"},
      {"tall", 22, 70000, "invalid height"},
      {"topdown", 22, static_cast<uint32_t>(-4), "invalid height"},
  };
  for (const Case& c : cases) {
    std::string b = bytes;
    put32(b, c.at, c.value);
    std::string f = path(std::string(c.name) + ".bmp");
    writeFile(f, b);
    OwnedImg back;
    EXPECT_FALSE(ImgBMPRead(f.c_str(), &back)) << c.name;
    EXPECT_EQ(back.data, nullptr) << c.name;
    EXPECT_TRUE(traced(c.trace)) << c.name;
  }
  // 24 bits and a truncated file.
  std::string b = bytes;
  b[28] = 24;
  writeFile(path("rgb.bmp"), b);
  ImgInfo side{};
  EXPECT_FALSE(ImgBMPRead(path("rgb.bmp").c_str(), &side, true));
  EXPECT_EQ(MyDev.lastResult, -3);
  EXPECT_TRUE(traced("Not 8 bit grayscale image; bit count 24"));
  writeFile(path("short.bmp"), bytes.substr(0, bytes.size() - 9));
  EXPECT_FALSE(ImgBMPRead(path("short.bmp").c_str(), &side, true));
  std::free(side.allocBase);
  EXPECT_FALSE(ImgBMPRead(path("missing.bmp").c_str(), &side, true));
  EXPECT_TRUE(traced("file not found"));
  EXPECT_FALSE(ImgBMPRead(good.c_str(), static_cast<ImgInfo*>(nullptr), true));
  EXPECT_EQ(MyDev.lastResult, -1);
}

TEST_F(PgmFiles, SideDumpCarriesAllPlanesAndDpi)
{
  std::vector<uint8_t> raw(3 * 1000 * 4, 77);
  ImgInfo side{};
  side.firstRow = raw.data();
  side.trimWidth = 1000;
  side.rowsUsed = 4;
  side.planeLineBytes = 1000;
  side.rawLineBytes = 3000;
  side.planesPerLine = 3;
  side.dpiH = 200;
  side.dpiV = 100;
  std::string file = path("side.pgm");
  ImgPGMWrite(file.c_str(), &side);
  EXPECT_NE(run("pnmfile '" + file + "'").find("3000 by 4"), std::string::npos);
  EXPECT_NE(slurp(file).find("# Created by Plavik (dpi 200x100)\n"), std::string::npos);
  // Nothing to do and bad planes: traced, no file.
  ImgPGMWrite(path("n.pgm").c_str(), raw.data(), 0, 1000, 1000, 3000, 200, 200, 1);
  EXPECT_TRUE(traced("war - write pgm image with nothing to do "));
  ImgPGMWrite(path("p.pgm").c_str(), raw.data(), 4, 1000, 1000, 3000, 200, 200, 0);
  EXPECT_TRUE(traced("write pgm image with invalid num of colors "));
  EXPECT_EQ(slurp(path("p.pgm")), "");
}

TEST_F(PgmFiles, EnlargedReadAddsWhiteRowsAndKeepsOddWidths)
{
  std::string file = path("e.pgm");
  writeFile(file, "P5\n# test\n1000 10\n255\n" + std::string(10000, '\x80'));
  OwnedImg img;
  ASSERT_TRUE(ImgPGMReadEnlarge(file.c_str(), &img, 6));
  EXPECT_EQ(img.height, 16);
  EXPECT_EQ(img.dpi, 100);
  EXPECT_EQ(img.data[9 * img.stride + 5], 128);
  EXPECT_EQ(img.data[10 * img.stride], 255);
  EXPECT_EQ(img.data[15 * img.stride + 999], 255);
  // A width that is not a multiple of 8 still lands row by row.
  std::string odd = path("odd.pgm");
  std::string px;
  for (int i = 0; i < 13 * 3; ++i)
    px += static_cast<char>(i);
  writeFile(odd, "P5\n# test\n13 3\n255\n" + px);
  ASSERT_TRUE(ImgPGMRead(odd.c_str(), &img));
  EXPECT_EQ(img.stride, 16);
  EXPECT_EQ(img.data[2 * 16 + 12], 2 * 13 + 12);
  // Our own dump reads back the same way, and netpbm agrees with its size.
  std::string dump = path("dump.pgm");
  ImgPGMWrite(dump.c_str(), &img, 1);
  EXPECT_NE(run("pnmfile '" + dump + "'").find("13 by 3"), std::string::npos);
  OwnedImg again;
  ASSERT_TRUE(ImgPGMRead(dump.c_str(), &again));
  EXPECT_EQ(std::memcmp(again.data, img.data, 16 * 3), 0);
}

TEST_F(PgmFiles, HeadersOutOfRangeAreRefused)
{
  const char* headers[] = {"P5\n# c\n0 10 255\n", "P5\n# c\n10 0 255\n", "P5\n# c\n10 10 256\n",
                           "P5\n# c\n99999999 99999999 255\n", "P5\n# c\n10 -3 255\n", "P5\n# c\n"};
  int i = 0;
  for (const char* h : headers) {
    std::string f = path("h" + std::to_string(i++) + ".pgm");
    writeFile(f, std::string(h) + std::string(100, 'x'));
    OwnedImg img;
    int maxValue = 0;
    EXPECT_FALSE(ImgPGMRead(f.c_str(), &img)) << h;
    EXPECT_EQ(ImgPGMRead(f.c_str(), img, maxValue, false), -1) << h;
    ImgInfo side{};
    EXPECT_FALSE(ImgPGMRead(f.c_str(), &side, false)) << h;
  }
  // Short pixel data.
  writeFile(path("s.pgm"), "P5\n# c\n8 8 255\n" + std::string(20, 'x'));
  OwnedImg img;
  int maxValue = 0;
  EXPECT_EQ(ImgPGMRead(path("s.pgm").c_str(), img, maxValue, false), -1);
}

TEST_F(PgmFiles, RotatedReadTurnsThePicture)
{
  std::string file = path("r.pgm");
  std::string px = {1, 2, 3, 4, 5, 6};
  writeFile(file, "P5\n# c\n3 2 200\n" + px);
  OwnedImg img;
  int maxValue = 0;
  ASSERT_EQ(ImgPGMRead(file.c_str(), img, maxValue, true), 0);
  EXPECT_EQ(maxValue, 200);
  EXPECT_EQ(img.data[0], 6);
  EXPECT_EQ(img.data[2], 4);
  EXPECT_EQ(img.data[8], 3);
  ASSERT_EQ(ImgPGMRead(file.c_str(), img, maxValue, false), 0);
  EXPECT_EQ(img.data[8], 4);
}

TEST_F(PgmFiles, DumpReadBackIntoSideRecordStaysInsideItsBuffer)
{
  std::string file = path("d.pgm");
  writeFile(file, "P5\n# test\n16 20\n255\n" + std::string(320, 'f'));
  std::vector<uint8_t> buf(16 * 10 + 32, 0);
  ImgInfo side{};
  side.side = 1;
  side.colourPlanes = 1;
  side.planeLineBytes = side.rawLineBytes = 16;
  side.sensorPixels = 16;
  side.allocBase = side.firstRow = buf.data();
  side.bytesAllocated = buf.size();
  side.writePtr = buf.data() + 16;
  // 20 rows do not fit what is left after the write pointer.
  EXPECT_FALSE(ImgPGMRead(file.c_str(), &side, true));
  EXPECT_TRUE(traced("read pgm file - buffer too small"));
  EXPECT_EQ(buf[16], 0);
  // Into the first row with 10 rows already asked for: the last 10 rows are kept.
  side.rowsUsed = 10;
  side.imageBytes = 160;
  ASSERT_TRUE(ImgPGMRead(file.c_str(), &side, false));
  EXPECT_EQ(side.trimWidth, 16);
  EXPECT_EQ(buf[0], 102);
  EXPECT_EQ(buf[159], 102);
  EXPECT_EQ(buf[160], 0);
  side.sensorPixels = 8;
  EXPECT_FALSE(ImgPGMRead(file.c_str(), &side, false));
  EXPECT_TRUE(traced("read pgm file - dimensions too small"));
}

TEST_F(BmpFiles, PdfMultipageIsNotSupported)
{
  EXPECT_EQ(Vx3MultiPageInit_PDF("x.pdf", 0, 0), -11);
  EXPECT_EQ(Vx3MultiPageAdd_PDF("x.pdf"), -11);
  EXPECT_EQ(Vx3MultiPageClose_PDF(), -11);
  EXPECT_TRUE(traced("PDF not supported"));
}

}  // namespace
