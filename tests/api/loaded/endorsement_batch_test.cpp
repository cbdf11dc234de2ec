// A back-office batch as a host runs it, on the software scanner's full profile and a library
// installed with its fonts: each cheque endorsed with keepImage (a BMP stamp, or a text in the
// installed stamp font), scanned with PVKImgScan1 and its front saved, with no PVKImgFree or
// PVKImgCreate between the cheques. Each saved front carries its stamp where docs/HOST.md says,
// on a cheque centred on the sensor and on one laid against its far edge.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "../../../emulator/pvkemu.h"
#include "../../../emulator/pvkemu_image.h"
#include "../../common/stamp_font.h"
#include "../../common/synthetic_cheque.h"
#include "loaded_library.h"

namespace {

// The full profile's head: 3 inches in from the sensor's far edge, 12 dots at 30 dpi, so 10
// pixels a dot across and 10 rows a stamp column on a 300 dpi side.
constexpr int kStampColumn = 2592 - 300 * 300 / 100;
constexpr int kOffset = 20;  // hundredths of an inch below the cheque's top edge
constexpr int kBlur = 8;     // the side's sharpening spreads a stamp's edge this far

// Pixels of a stamped front (8-bit BMP) that differ from the plain one, inside the band the
// stamp's columns x rows cover from column `left` and outside it.
std::pair<long, long> marks(const std::string& stamped, const std::string& plain, int left, int rows) {
  const std::string a = pvk::test::readText(stamped), b = pvk::test::readText(plain);
  const auto u32 = [&](size_t at) {
    uint32_t v;
    std::memcpy(&v, a.data() + at, 4);
    return v;
  };
  if (a.size() != b.size() || a.size() < 54 || a[28] != 8) return {-1, -1};
  const long offset = u32(10), w = u32(18), h = u32(22), stride = (w + 3) / 4 * 4;
  std::pair<long, long> n{0, 0};
  for (long y = 0; y < h; ++y)  // rows bottom-up
    for (long x = 0; x < w; ++x) {
      const size_t at = offset + (h - 1 - y) * stride + x;
      if (std::abs(static_cast<uint8_t>(a[at]) - static_cast<uint8_t>(b[at])) <= 40) continue;
      const bool band = x >= left - kBlur && x < left + 120 + kBlur && y >= kOffset * 3 - kBlur &&
                        y < kOffset * 3 + rows + kBlur;
      ++(band ? n.first : n.second);
    }
  return n;
}

class EndorsementBatch : public pvk::test::LoadedLibrary {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(LoadedLibrary::SetUp());
    const std::string fonts = root_ + "/share/PlavikMS/fontdb";  // installed beside lib/
    std::filesystem::create_directories(fonts);
    for (const auto& e : std::filesystem::directory_iterator(PVK_FONT_DB_DIR))
      std::filesystem::copy_file(e.path(), fonts + "/" + e.path().filename().string());
    ASSERT_NO_FATAL_FAILURE(load("LogTimeStamp=0\r\n"));
    emu_ = ::dlopen("libusb-1.0.so.0", RTLD_NOW | RTLD_NOLOAD);  // the software scanner
    ASSERT_NE(emu_, nullptr);
    emuFn<void()>("pvkemu_reset")();
    pvkemu_profile p;
    emuFn<void(pvkemu_profile*)>("pvkemu_profile_full")(&p);
    dev_ = emuFn<int(const pvkemu_profile*)>("pvkemu_add_device")(&p);
    emuFn<void(int)>("pvkemu_clock_virtual")(1);
    h_ = reinterpret_cast<void*>(static_cast<intptr_t>(fn<decltype(PVKInitializeSN)>("PVKInitializeSN")(cnfDir_.data(), nullptr)));
    ASSERT_EQ(fn<decltype(PVKImgCreate)>("PVKImgCreate")(h_, 300, 300), 0) << lastResult();
  }
  void TearDown() override {
    fn<decltype(PVKClose)>("PVKClose")(h_);
    emuFn<void(int)>("pvkemu_clock_virtual")(0);
    LoadedLibrary::TearDown();
  }
  template <typename F>
  F* emuFn(const char* name) {
    return reinterpret_cast<F*>(::dlsym(emu_, name));
  }
  // Feeds the cheque, scans it without zones and saves its front as name.bmp; the scan's result.
  int scan(const pvk::testing::SidePlanes& side, const std::string& name) {
    pvkemu_document doc{};
    doc.width = static_cast<uint32_t>(side.width);
    doc.height = static_cast<uint32_t>(side.height);
    doc.front[0] = doc.rear[0] = side.planes[0].data();
    EXPECT_EQ(emuFn<int(int, const pvkemu_document*)>("pvkemu_feed")(dev_, &doc), 0);
    const int r = fn<decltype(PVKImgScan1)>("PVKImgScan1")(h_, nullptr, nullptr, nullptr, 0);
    std::string path = cnfDir_ + "/" + name + ".bmp";
    EXPECT_EQ(fn<decltype(PVKImgSave)>("PVKImgSave")(h_, 1, nullptr, 8, 4, path.data()), 0) << name;
    return r;
  }
  int stamps() { return fn<decltype(PVKInkjetNumCur)>("PVKInkjetNumCur")(h_, false); }
  int setUpText(const char* text, const char* font) {
    return fn<decltype(PVKInkjet1SetUp)>("PVKInkjet1SetUp")(h_, text, font, 0, 0, kOffset, 1);
  }

  void* emu_ = nullptr;
  int dev_ = -1;
  void* h_ = nullptr;
};

TEST_F(EndorsementBatch, EveryChequeOfTheBatchCarriesItsStamp) {
  const std::string bmp = cnfDir_ + "/endorsed.bmp";  // 40 columns, ink in 4 of every 5
  pvk::test::writeText(bmp, pvk::testing::greyBmp(40, 12, [](int x, int) { return x % 5 < 4 ? 0 : 255; }));
  const struct {
    double centreX;
    int paperLeft;
  } placements[] = {{1296, 396}, {2592 - 900, 2592 - 1800}};  // centred; against the far edge
  for (const auto& at : placements) {
    SCOPED_TRACE(at.paperLeft);
    pvk::testing::ChequeSpec spec;  // 1800 x 800 pixels
    spec.centreX = at.centreX;
    const pvk::testing::SidePlanes cheque = pvk::testing::drawSide(spec, 1, false);
    ASSERT_EQ(scan(cheque, "plain"), 0);
    // Three BMP stamps (400 rows), then 10 characters of 6 columns in the installed font (600).
    for (int i = 0; i < 5; ++i) {
      const std::string name = "cheque" + std::to_string(i);
      const int before = stamps();
      const int setUp = i < 3    ? fn<decltype(PVKInkjet1SetUpImg)>("PVKInkjet1SetUpImg")(h_, bmp.c_str(), 0, kOffset, 1, 1, 0)
                        : i == 3 ? setUpText("PAID 15/01", "stamp12")
                                 : 0;
      ASSERT_EQ(setUp, 0) << name;
      EXPECT_EQ(scan(cheque, name), 0) << name;
      // A set-up serves one cheque: the fifth, without one, is neither printed nor stamped.
      EXPECT_EQ(stamps(), before + (i < 4)) << name;
      const auto [in, out] = marks(cnfDir_ + "/" + name + ".bmp", cnfDir_ + "/plain.bmp",
                                   kStampColumn - at.paperLeft, i < 3 ? 400 : 600);
      EXPECT_GT(in, i < 3 ? 30000 : i == 3 ? 20000 : -1) << name;
      EXPECT_LE(in, i < 4 ? 120 * 600 : 0) << name;
      EXPECT_EQ(out, 0) << name;
    }
  }
}

// A host that prepares the images itself (PVKImgCreate, without PVKImgFree) and sets up nothing
// for the next cheque: that cheque is not printed, so the last stamp is not drawn on it either.
TEST_F(EndorsementBatch, AChequeNotPrintedIsNotStamped) {
  const std::string bmp = cnfDir_ + "/endorsed.bmp";
  pvk::test::writeText(bmp, pvk::testing::greyBmp(40, 12, [](int, int) { return 0; }));
  pvk::testing::ChequeSpec spec;
  spec.centreX = 1296;
  const pvk::testing::SidePlanes cheque = pvk::testing::drawSide(spec, 1, false);
  ASSERT_EQ(scan(cheque, "plain"), 0);
  ASSERT_EQ(fn<decltype(PVKInkjet1SetUpImg)>("PVKInkjet1SetUpImg")(h_, bmp.c_str(), 0, kOffset, 1, 1, 0), 0);
  for (const char* name : {"printed", "next"}) {
    ASSERT_EQ(scan(cheque, name), 0) << name;
    ASSERT_EQ(fn<decltype(PVKImgCreate)>("PVKImgCreate")(h_, 300, 300), 0);
  }
  EXPECT_GT(marks(cnfDir_ + "/printed.bmp", cnfDir_ + "/plain.bmp", kStampColumn - 396, 400).first, 30000);
  EXPECT_EQ(marks(cnfDir_ + "/next.bmp", cnfDir_ + "/plain.bmp", kStampColumn - 396, 400), std::make_pair(0L, 0L));
}

// The configuration directory's copy of a stamp font comes before the installed one.
TEST_F(EndorsementBatch, TheConfigurationDirectoryFontComesFirst) {
  pvk::test::writeText(cnfDir_ + "/stamp12.fnt", "0\n\x06\n#");  // garbled
  EXPECT_EQ(setUpText("0", "stamp12"), -1);
  EXPECT_NE(trace().find("corrupted or invalid file " + cnfDir_ + "/stamp12.fnt"), std::string::npos);
  std::filesystem::remove(cnfDir_ + "/stamp12.fnt");
  EXPECT_EQ(setUpText("0", "stamp12.fnt"), 0);
  EXPECT_EQ(setUpText("0", "nofont"), -3);
}

}  // namespace
