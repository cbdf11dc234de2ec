// The zone table as a host builds it, through the exported calls on the software scanner's
// device: the guard, the checks of each call in their order, the stored values, and the
// table byte for byte after every rejection. Each test runs in its own process: start-up fresh.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../api/host_test_util.h"
#include "PlavikMS.h"

namespace {

using apitest::asHandle;

int countOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
  return n;
}

class ZoneTable : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(apitest::emu<void*>("pvkemu_loaded"), nullptr);
    h = PVKInitializeSN(dir.data(), nullptr);
    ASSERT_GT(h, 0) << PVKGetLastResult();
  }
  void TearDown() override {
    while (PVKClose(asHandle(h)) == 0 && PVKReadStatusL(asHandle(h)) != 0) {
    }
  }
  int add(short dpi, short left, short top, short width, short height, short side = 1, short font = 2,
          short option = 0) {
    return PVKOCRZoneAdd(asHandle(h), dpi, left, top, width, height, side, font, option);
  }
  // A rejected call: its return, -3 as last result, one more trace line, the table unchanged.
  template <typename Call>
  void expectRejected(Call&& call, int expectedReturn, const std::string& line) {
    PVKOCRDoc before;
    std::memcpy(&before, &OCRDoc, sizeof before);
    const int lines = countOf(trace(), line);
    PVKSetLastResult(0);
    EXPECT_EQ(call(), expectedReturn) << line;
    EXPECT_EQ(PVKGetLastResult(), PVK_ERR_INV_PARAMETER) << line;
    EXPECT_EQ(std::memcmp(&before, &OCRDoc, sizeof before), 0) << line;
    EXPECT_EQ(countOf(trace(), line), lines + 1) << line;
  }
  std::string trace() {
    char path[300] = {};
    PVKLogFileName(path);
    return apitest::fileText(path);
  }

  std::string dir = apitest::processDir();
  int h = -1;
};

TEST_F(ZoneTable, FreshTableAnswersEverySlot) {
  EXPECT_EQ(OCRDoc.nZones, 0);
  PVKSetLastResult(0);
  EXPECT_EQ(PVKOCRZoneNChar(asHandle(h), 5), 0);
  EXPECT_EQ(PVKOCRZoneOCRchar(asHandle(h), 19), 0);
  EXPECT_EQ(PVKGetLastResult(), 0) << "a slot beyond the count is no error";
}

TEST_F(ZoneTable, CoordinatesAreKeptAt150DpiTruncatedTowardZero) {
  struct Case {
    short dpi, value;
    int64_t stored;
  };
  const Case cases[] = {
      {300, 600, 300}, {200, -100, -75}, {150, 123, 123}, {1, 1, 150},     {600, 1, 0},
      {600, -1, 0},    {600, 599, 149},  {600, -599, -149}, {400, -7, -2},  {1, -32768, -4915200},
      {1, 32767, 4915050},
  };
  int count = 0;
  for (const Case& c : cases) {
    ASSERT_EQ(add(c.dpi, c.value, c.value, c.value, c.value, 0, 7, -3), ++count) << c.dpi << " " << c.value;
    const PVKOCRZone& z = OCRDoc.zones[count - 1];
    EXPECT_EQ(z.left, c.stored) << c.dpi << " " << c.value;
    EXPECT_EQ(z.top, c.stored);
    EXPECT_EQ(z.width, c.stored);
    EXPECT_EQ(z.height, c.stored);
    EXPECT_EQ(z.side, 0);
    EXPECT_EQ(z.font, 7);
    EXPECT_EQ(z.option, -3);
    EXPECT_EQ(PVKGetLastResult(), 0);
  }
  EXPECT_EQ(OCRDoc.nZones, count);
}

TEST_F(ZoneTable, AddRejectsInTheOrderOfItsChecks) {
  OCRDoc.zones[0].charsRead = 9;  // an add writes 0 over whatever the slot held
  ASSERT_EQ(add(300, 10, 20, 30, 40, 1, -1, 1), 1);
  EXPECT_EQ(OCRDoc.zones[0].charsRead, 0);
  EXPECT_EQ(OCRDoc.zones[0].font, -1);
  const char* kDpi = "err -  invalid dpi\r\n";
  const char* kSide = "err -  invalid side\r\n";
  for (short dpi : {0, 601, -300, 32767}) expectRejected([&] { return add(dpi, 1, 1, 1, 1); }, -1, kDpi);
  for (short side : {2, -1, 256}) expectRejected([&] { return add(300, 1, 1, 1, 1, side); }, -1, kSide);
  // A bad dpi is met before a bad side.
  expectRejected([&] { return add(0, 1, 1, 1, 1, 5); }, -1, kDpi);
  EXPECT_EQ(add(600, 1, 1, 1, 1, 0), 2);
  EXPECT_EQ(add(1, 1, 1, 1, 1, 1), 3);
}

TEST_F(ZoneTable, TheCountStopsAtTwenty) {
  for (int i = 1; i <= 20; ++i) ASSERT_EQ(add(150, static_cast<short>(i), 0, 0, 0), i);
  // A full table is refused first, even for a zone that is bad in other ways.
  expectRejected([&] { return add(150, 1, 1, 1, 1); }, -1, "err -  invalid n. zone\r\n");
  expectRejected([&] { return add(0, 1, 1, 1, 1, 9); }, -1, "err -  invalid n. zone\r\n");
  EXPECT_EQ(OCRDoc.nZones, 20);
  EXPECT_EQ(OCRDoc.zones[19].left, 20);
}

TEST_F(ZoneTable, RotationAcceptsTheFourQuarters) {
  PVKSetLastResult(-5);
  for (short r : {256, 512, 768, 0}) {
    EXPECT_EQ(PVKOCRZoneRotateDoc(asHandle(h), r), 0) << r;
    EXPECT_EQ(OCRDoc.rotation, r);
  }
  EXPECT_EQ(PVKGetLastResult(), -5) << "success leaves the last result alone";
  ASSERT_EQ(PVKOCRZoneRotateDoc(asHandle(h), 512), 0);
  for (short r : {1024, 100, -256, 257, 1})
    expectRejected([&] { return PVKOCRZoneRotateDoc(asHandle(h), r); }, -1,
                   "err -  invalid rotation " + std::to_string(r) + "\r\n");
  EXPECT_EQ(OCRDoc.rotation, 512);
}

TEST_F(ZoneTable, QueriesReturnWhatTheReaderWrote) {
  ASSERT_EQ(add(300, 0, 0, 0, 0, 1, 2), 1);
  OCRDoc.zones[0].charsRead = 40000;  // unsigned 16-bit
  OCRDoc.zones[0].font = -1;
  OCRDoc.zones[7].font = 36;
  PVKSetLastResult(-5);
  EXPECT_EQ(PVKOCRZoneNChar(asHandle(h), 0), 40000);
  EXPECT_EQ(PVKOCRZoneOCRchar(asHandle(h), 0), 0xFFFF);
  EXPECT_EQ(PVKOCRZoneOCRchar(asHandle(h), 7), 36);
  EXPECT_EQ(PVKGetLastResult(), -5);
  for (short i : {20, -1, 32767}) {
    const std::string line = "err -  PVKOCRZoneNChar with invalid parameter " + std::to_string(i) + "\r\n";
    expectRejected([&] { return PVKOCRZoneNChar(asHandle(h), i); }, 0, line);
    expectRejected([&] { return PVKOCRZoneOCRchar(asHandle(h), i); }, -1, line);
  }
}

TEST_F(ZoneTable, ARefusedHandleChangesNothing) {
  void* const stranger = asHandle(h + 1000);
  for (void* bad : {static_cast<void*>(nullptr), stranger}) {
    PVKSetLastResult(0);
    EXPECT_EQ(PVKOCRZoneAdd(bad, 300, 1, 1, 1, 1, 1, 2, 0), -1);
    EXPECT_EQ(PVKGetLastResult(), -1);
    EXPECT_EQ(PVKOCRZoneRotateDoc(bad, 256), -1);
    EXPECT_EQ(PVKOCRZoneNChar(bad, 0), 0);
    EXPECT_EQ(PVKOCRZoneOCRchar(bad, 0), -1);
    EXPECT_EQ(PVKGetLastResult(), -1);
  }
  EXPECT_EQ(OCRDoc.nZones, 0);
  EXPECT_EQ(OCRDoc.rotation, 0);
  EXPECT_EQ(countOf(trace(), "null handle (AA)\r\n"), 4);
}

}  // namespace
