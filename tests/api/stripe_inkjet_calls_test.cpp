// The stripe reader and the endorser as a host sees them, on a full-featured software scanner.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "PlavikMS.h"
#include "host_test_util.h"
#include "../../emulator/pvkemu.h"  // the software scanner's test interface
#include "../../emulator/pvkemu_stripe.h"
#include "../common/child_process.h"
#include "../common/file_kinds.h"
#include "../common/stamp_font.h"

namespace {

using apitest::asHandle;
using apitest::busOfOne;
using apitest::emu;
using apitest::fileText;
using apitest::processDir;

class HostCalls : public ::testing::Test {
 protected:
  std::string dir = processDir();
  int h = -1;
  void SetUp() override {
    ASSERT_NE(emu<void*>("pvkemu_loaded"), nullptr);
    ASSERT_EQ(busOfOne("pvkemu_profile_full"), 0);
    emu<void (*)(int)>("pvkemu_clock_virtual")(1);
    h = PVKInitializeSN(dir.data(), nullptr);
    ASSERT_GT(h, 0) << PVKGetLastResult();
  }
  void TearDown() override {
    PVKClose(asHandle(h));
    emu<void (*)(int)>("pvkemu_clock_virtual")(0);
  }
  void swipe(const char* t1, const char* t2, const char* t3) {
    pvkemu_track tracks[3] = {{t1, 0, 0, 0, 0, 0, 0}, {t2, 1, 0, 0, 0, 0, 0}, {t3, 0, 0, 0, 0, 0, 0}};
    ASSERT_EQ(emu<int (*)(int, const pvkemu_track*, int)>("pvkemu_swipe")(0, tracks, 0), 0);
  }
  std::string trace() {
    char path[300] = {0};
    PVKLogFileName(path);
    return fileText(path);
  }
};

TEST_F(HostCalls, MagStripeTracksAndBufferSizes) {
  swipe("B1234^DOE/J^25", "5432", nullptr);
  char t1[128], t2[128], t3[128];
  std::memset(t3, 'x', sizeof t3);
  EXPECT_EQ(PVKMagStripeC(asHandle(h), t1, t2, t3, 1 | 2 | 4, 128), 0);
  EXPECT_STREQ(t1, "B1234^DOE/J^25");
  EXPECT_STREQ(t2, "5432");
  EXPECT_STREQ(t3, "");
  // A buffer the text does not fit (its length equal to the size) is left alone; so is any
  // buffer with a size below 1. Sizes are whole ints: 65538 is not 2.
  for (int size : {4, 0, -1}) {
    swipe(nullptr, "5432", nullptr);
    std::memset(t2, 'x', sizeof t2);
    EXPECT_EQ(PVKMagStripeC(asHandle(h), t1, t2, t3, 7, size), 0) << size;
    EXPECT_EQ(t2[0], 'x') << size;
  }
  swipe(nullptr, "5432", nullptr);
  EXPECT_EQ(PVKMagStripeC(asHandle(h), t1, t2, t3, 7, 65536 + 2), 0);
  EXPECT_STREQ(t2, "5432");
  // A null buffer is a failed call, the others still get their text.
  swipe("A", "12", nullptr);
  EXPECT_EQ(PVKMagStripeC(asHandle(h), nullptr, t2, t3, 7, 128), -1);
  EXPECT_STREQ(t2, "12");
  EXPECT_EQ(PVKGetLastResult(), -1);
}

TEST_F(HostCalls, MagStripeTimeoutResetAndRefusal) {
  ASSERT_EQ(PVKSetParameter(101, 50), 0);  // swipe wait 50 ms: one status poll
  char t1[128], t2[128], t3[128];
  EXPECT_EQ(PVKMagStripeC(asHandle(h), t1, t2, t3, 0, 128), -10);
  EXPECT_STREQ(t1, "");
  EXPECT_EQ(PVKGetLastResult(), -10);
  EXPECT_EQ(PVKMagStripeReset(asHandle(h)), 0);
  EXPECT_EQ(PVKMagStripeC(asHandle(h + 1), t1, t2, t3, 0, 128), -1);
  EXPECT_EQ(PVKMagStripeReset(nullptr), -1);
  EXPECT_NE(trace().find("war -  Magnetic Stripe Timeout"), std::string::npos);
}

// The endorser's set-up as a host calls it, with a font file of our own in the configuration
// directory and BMP stamps written by the test.
class InkjetSetUp : public HostCalls {
 protected:
  void SetUp() override {
    HostCalls::SetUp();
    ASSERT_TRUE(pvk::testing::writeFile(dir + "/stamp.fnt", pvk::testing::stampFontBytes(pvk::testing::stampGlyphs(), true)));
  }
  std::string bmp(const std::string& name, int width, int height) {
    const std::string path = dir + "/" + name;
    EXPECT_TRUE(pvk::testing::writeFile(path, pvk::testing::greyBmp(width, height, [](int x, int) { return x % 3 ? 255 : 0; })));
    return path;
  }
};

TEST_F(InkjetSetUp, TextStampsAndTheirLimits) {
  EXPECT_EQ(PVKInkjet1SetUp(asHandle(h), "0123", "stamp", 0, 0, 10, 0), 0);
  EXPECT_EQ(PVKInkjet1SetUp1(asHandle(h), "0123", "stamp.fnt", 0, 0, 10, 1, 4), 0);
  EXPECT_EQ(PVKInkjet1SetUp2(asHandle(h), "0123", "stamp", 0, 0, 10, 1, 4, 1), 0);
  // 511 characters fit; 512 do not (nor do they fit the head's buffer: 7 columns each).
  std::string text(511, '1');
  EXPECT_EQ(PVKInkjet1SetUp(asHandle(h), text.c_str(), "stamp", 0, 0, 0, 0), -3);
  EXPECT_NE(trace().find("err -  stamp is larger then stamp buffer"), std::string::npos);
  text.push_back('1');
  EXPECT_EQ(PVKInkjet1SetUp(asHandle(h), text.c_str(), "stamp", 0, 0, 0, 0), -3);
  EXPECT_NE(trace().find("err -  stamp too long"), std::string::npos);
  EXPECT_EQ(PVKInkjet1SetUp(asHandle(h), "1", std::string(260, 'f').c_str(), 0, 0, 0, 0), -3);
  EXPECT_NE(trace().find("err -  font too long"), std::string::npos);
  EXPECT_EQ(PVKInkjet1SetUp(asHandle(h), "1", nullptr, 5, 0, 0, 0), -3);
  EXPECT_NE(trace().find("err -  null font pointer"), std::string::npos);
  EXPECT_EQ(PVKInkjet1SetUp(asHandle(h), "1", "stamp", -1, 0, 0, 0), -3);
  EXPECT_EQ(PVKInkjet1SetUp(asHandle(h), "1", "stamp", 0, 0, -5, 0), -3);
  EXPECT_NE(trace().find("err -  negative offset"), std::string::npos);
  // An empty text sets no stamp; a missing font file leaves the call's result as it was.
  EXPECT_EQ(PVKInkjet1SetUp(asHandle(h), "", "stamp", 0, 0, 0, 0), 0);
  EXPECT_EQ(PVKInkjet1SetUp(asHandle(h), nullptr, nullptr, 0, 0, 0, 0), 0);
  EXPECT_EQ(PVKInkjet1SetUp(asHandle(h), "1", "nofont", 0, 0, 0, 0), -3);
  ASSERT_TRUE(pvk::testing::writeFile(dir + "/broken.fnt", "01\n\x05"));
  EXPECT_EQ(PVKInkjet1SetUp(asHandle(h), "1", "broken", 0, 0, 0, 0), -1);
  EXPECT_NE(trace().find("err -  corrupted or invalid file " + dir + "/broken.fnt"), std::string::npos);
  EXPECT_EQ(PVKInkjet1SetUp(asHandle(h + 1), "1", "stamp", 0, 0, 0, 0), -1);
}

TEST_F(InkjetSetUp, ImageStamps) {
  EXPECT_EQ(PVKInkjet1SetUpImg(asHandle(h), bmp("s12.bmp", 40, 12).c_str(), 0, 0, 1, 1, 0), 0);
  EXPECT_EQ(PVKInkjet1SetUpImg(asHandle(h), bmp("s12.bmp", 40, 12).c_str(), 0, 0, 1, 1, 1), 0);
  // 13 rows: refused without a trace of the preparation's own.
  const std::string before = trace();
  EXPECT_EQ(PVKInkjet1SetUpImg(asHandle(h), bmp("s13.bmp", 40, 13).c_str(), 0, 0, 1, 1, 0), -3);
  EXPECT_EQ(trace().size(), before.size());
  // 1024 columns fill the head's 2048 bytes; 1025 do not.
  EXPECT_EQ(PVKInkjet1SetUpImg(asHandle(h), bmp("w.bmp", 1024, 12).c_str(), 0, 0, 0, 1, 0), 0);
  EXPECT_EQ(PVKInkjet1SetUpImg(asHandle(h), bmp("w1.bmp", 1025, 12).c_str(), 0, 0, 0, 1, 0), -3);
  EXPECT_EQ(PVKInkjet1SetUpImg(asHandle(h), (dir + "/none.bmp").c_str(), 0, 0, 0, 1, 0), -3);
  EXPECT_NE(trace().find("err -  stamp file invalid"), std::string::npos);
}

// A stamp picture or font that is not a file (a FIFO no one writes, /dev/zero, a directory) is
// refused at once, as a missing one is; each call runs in a child stopped after a deadline.
TEST_F(InkjetSetUp, StampFilesThatAreNotFilesAreRefusedAtOnce) {
  using pvk::testing::FileOfKind;
  using pvk::testing::withDeadline;
  for (FileOfKind k : {FileOfKind::kFifo, FileOfKind::kZero, FileOfKind::kDirectory}) {
    SCOPED_TRACE(pvk::testing::nameOf(k));
    const std::string name = "odd" + std::to_string(static_cast<int>(k)), picture = dir + "/" + name + ".bmp";
    ASSERT_EQ(pvk::testing::makeFileOfKind(k, picture), 0);
    ASSERT_EQ(pvk::testing::makeFileOfKind(k, dir + "/" + name + ".fnt"), 0);
    EXPECT_EQ(withDeadline(10, [&] { return PVKInkjet1SetUpImg(asHandle(h), picture.c_str(), 0, 0, 1, 1, 0); }), -3);
    EXPECT_EQ(withDeadline(10, [&] { return PVKInkjet1SetUp(asHandle(h), "1", name.c_str(), 0, 0, 0, 0); }), -3);
  }
}

TEST(InkjetWithoutHead, BasicScannerHasNoInkjet) {
  ASSERT_NE(emu<void*>("pvkemu_loaded"), nullptr);
  ASSERT_EQ(busOfOne("pvkemu_profile_basic"), 0);
  std::string dir = processDir();
  const int h = PVKInitializeSN(dir.data(), nullptr);
  ASSERT_GT(h, 0);
  EXPECT_EQ(PVKInkjet1SetUp(asHandle(h), "1", "stamp", 0, 0, 0, 0), -15);
  EXPECT_EQ(PVKGetLastResult(), -15);
  PVKClose(asHandle(h));
}

}  // namespace
