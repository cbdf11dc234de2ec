// The arithmetic of the document road: capability flags by firmware, the combined deskew
// angle, top skips, paper-move line counts and the short-cheque test.
#include <gtest/gtest.h>

#include "document/document.h"

using namespace pvk::document;

namespace {

FirmwareCaps caps(uint16_t fw, uint16_t pid = 9, uint32_t low = 1234, bool bit22 = false) {
  return firmwareCaps(fw, pid, 0, low, bit22, false);
}

}  // namespace

TEST(FirmwareCaps, BackwardMovesFollowTheFirmware) {
  EXPECT_EQ(caps(0x2008).backward, 0);
  EXPECT_EQ(caps(0x2009).backward, 1);
  EXPECT_EQ(caps(0x2009).backward2, 0);
  EXPECT_EQ(caps(0x2021).backward, 1);
  EXPECT_EQ(caps(0x2021).backward2, 1);
}

TEST(FirmwareCaps, RangesOfEachFlag) {
  const FirmwareCaps c3103 = caps(0x3103);
  EXPECT_EQ(c3103.a, 1);
  EXPECT_EQ(c3103.b, 0);  // front switchable only after 0x3106
  EXPECT_EQ(c3103.c, 1);
  EXPECT_EQ(c3103.e, 1);
  EXPECT_EQ(c3103.f, 1);
  EXPECT_EQ(c3103.i, 1);
  EXPECT_EQ(c3103.j, 1);
  EXPECT_EQ(c3103.fw3000, 1);
  EXPECT_EQ(caps(0x3107).b, 1);
  EXPECT_EQ(caps(0x3000).c, 0);
  EXPECT_EQ(caps(0x3000).f, 0);
  EXPECT_EQ(caps(0x2FFF).fw3000, 0);
  // The 202x family is a range of its own inside the older firmware.
  EXPECT_EQ(caps(0x2025).a, 1);
  EXPECT_EQ(caps(0x2102).a, 0);
  EXPECT_EQ(caps(0x2025).c, 0);
  EXPECT_EQ(caps(0x2020).c, 1);
  EXPECT_EQ(caps(0x2025).j, 1);
  EXPECT_EQ(caps(0x2110).j, 0);
  EXPECT_EQ(caps(0x2111).j, 1);
  EXPECT_EQ(caps(0x2202).j, 0);
  EXPECT_EQ(caps(0x2203).j, 1);
  // D is 1 except on old firmware, where only 0x2003 has it.
  EXPECT_EQ(caps(0x2003).d, 1);
  EXPECT_EQ(caps(0x2004).d, 0);
  EXPECT_EQ(caps(0x2008).d, 1);
  EXPECT_EQ(caps(0x2102).d, 1);
  EXPECT_EQ(caps(0x2008).e, 1);
  EXPECT_EQ(caps(0x2010).e, 0);
  EXPECT_EQ(caps(0x2020).g, 0);
  EXPECT_EQ(caps(0x2021).h, 1);
}

TEST(FirmwareCaps, SideSwitchAndModelExceptions) {
  EXPECT_EQ(caps(0x5011, 9, 1234, true).b, 0);
  EXPECT_EQ(caps(0x5011, 9, 1234, true).c, 0);
  EXPECT_EQ(caps(0x5011, 9, 1234, false).c, 1);
  EXPECT_EQ(caps(0x3110, 0x000B, 330100).c, 0);
  EXPECT_EQ(caps(0x3110, 0x000B, 330106).c, 0);
  EXPECT_EQ(caps(0x3110, 0x000B, 330107).c, 1);
  EXPECT_EQ(caps(0x3110, 0x0009, 330100).c, 1);
  EXPECT_EQ(firmwareCaps(0x3110, 9, 0, 1, false, true).i, 0);
}

namespace {

AngleInput angles(float front, float rear, uint16_t wf = 10, uint16_t wr = 10) {
  AngleInput in{};
  in.front = front;
  in.rear = rear;
  in.frontWeight = wf;
  in.rearWeight = wr;
  in.onePart = true;
  return in;
}

}  // namespace

TEST(CombineAngles, MissingAngleTakesTheOppositeOfTheOther) {
  float f, r;
  AngleInput tall = angles(kNoAngle, 0.01f, 0, 10);
  tall.tallDocument = true;
  combineAngles(tall, f, r);
  // front becomes -0.01, the weighted mean is (0 * -0.01 - 10 * 0.01) / 10 = -0.01.
  EXPECT_FLOAT_EQ(f, -0.01f);
  EXPECT_FLOAT_EQ(r, 0.01f);
  combineAngles(angles(0.05f, kNoAngle), f, r);
  EXPECT_FLOAT_EQ(f, 0.05f);
  EXPECT_FLOAT_EQ(r, -0.05f);
  combineAngles(angles(kNoAngle, kNoAngle), f, r);
  EXPECT_EQ(f, 0.0f);
  EXPECT_EQ(r, 0.0f);
}

TEST(CombineAngles, SameSignWeightsAndThresholds) {
  float f, r;
  combineAngles(angles(0.05f, 0.04f), f, r);
  EXPECT_EQ(f, 0.0f);
  EXPECT_EQ(r, 0.0f);
  combineAngles(angles(-0.05f, -0.04f), f, r);
  EXPECT_EQ(f, 0.0f);
  combineAngles(angles(0.05f, -0.03f, 10, 30), f, r);
  EXPECT_FLOAT_EQ(f, (10 * 0.05f + 30 * 0.03f) / 40);
  EXPECT_FLOAT_EQ(r, -f);
  // Weights below 4 on both sides carry no angle.
  combineAngles(angles(0.05f, -0.05f, 3, 3), f, r);
  EXPECT_EQ(f, 0.0f);
  // 0.003 is below both thresholds.
  AngleInput in = angles(0.003f, -0.003f);
  combineAngles(in, f, r);
  EXPECT_EQ(f, 0.0f);
  in.tallDocument = true;
  combineAngles(in, f, r);
  EXPECT_EQ(f, 0.0f);
  // 0.01 passes the threshold of a tall document only.
  in = angles(0.01f, -0.01f);
  combineAngles(in, f, r);
  EXPECT_EQ(f, 0.0f);
  in.tallDocument = true;
  combineAngles(in, f, r);
  EXPECT_FLOAT_EQ(f, 0.01f);
}

TEST(CombineAngles, MagneticRules) {
  float f, r;
  AngleInput in = angles(0.1f, -0.1f);
  in.micr = true;
  combineAngles(in, f, r);
  EXPECT_EQ(f, 0.0f);  // MICR without its deskew switch: no angle
  in.deskewMicr = true;
  combineAngles(in, f, r);
  EXPECT_FLOAT_EQ(f, 0.1f);
  in.front = 0.6f;
  in.rear = -0.6f;
  combineAngles(in, f, r);
  EXPECT_EQ(f, 0.0f);  // beyond 30 degrees with MICR
  in = angles(0.1f, 0.1f);
  in.micrReverse = true;
  combineAngles(in, f, r);  // the rear is taken as the front turned over
  EXPECT_FLOAT_EQ(f, 0.1f);
  EXPECT_FLOAT_EQ(r, -0.1f);
}

TEST(SkipTop, TrimTopAndDeviceSkips) {
  SkipResult s = skipTop(100, 5, false, 50, 50, false);
  EXPECT_EQ(s.fullHeight, 105);
  EXPECT_EQ(s.height, 95);
  EXPECT_EQ(s.trimTop, 5);
  s = skipTop(100, 5, true, 20, 10, false);
  EXPECT_EQ(s.height, 70);
  EXPECT_EQ(s.trimTop, 20);
  s = skipTop(100, 5, true, 20, 10, true);  // the additional skip only without a stream read
  EXPECT_EQ(s.height, 80);
  s = skipTop(100, 5, true, 120, 0, true);
  EXPECT_EQ(s.height, 0);
  EXPECT_EQ(s.trimTop, 0);
  EXPECT_EQ(s.fullHeight, 105);
  s = skipTop(0, 5, false, 0, 0, false);
  EXPECT_EQ(s.fullHeight, 0);
  EXPECT_EQ(s.trimTop, 0);
  s = skipTop(10, 8, true, 8, 0, true);  // the kept trim top never passes the new height
  EXPECT_EQ(s.height, 2);
  EXPECT_EQ(s.trimTop, 2);
}

TEST(PaperMoveLines, GranularityAndResolution) {
  EXPECT_EQ(moveLines(300, 300, 1), 300u);
  EXPECT_EQ(moveLines(300, 100, 1), 100u);
  EXPECT_EQ(moveLines(301, 300, 8), 304u);
  EXPECT_EQ(moveLines(301, 300, 0), 301u);  // never set: counts as 1, no division by zero
  EXPECT_EQ(moveLines(0, 300, 16), 0u);
}

TEST(PaperMoveLines, MoveByTimeHeight) {
  EXPECT_EQ(moveByTimeLines150(0x3103, 1, 2048), 2048);
  EXPECT_EQ(moveByTimeLines150(0x2210, 5000, 2048), 2048);
  EXPECT_EQ(moveByTimeLines150(0x2210, 100, 2048), 1);
  EXPECT_EQ(moveByTimeLines150(0x2210, 4999, 19456), 19452);
  EXPECT_EQ(moveByTimeLines150(0x2210, 1000, 19456), 1);
}

TEST(ShortCheque, WidthWindowAndHeights) {
  // A 300 dpi cheque 2100 pixels wide whose rear is 700 lines and front 1000.
  EXPECT_TRUE(chequeTooShort(2100, 2000, 300, 1000, 300, 700, 300));
  EXPECT_FALSE(chequeTooShort(1900, 1900, 300, 1000, 300, 700, 300));  // not cheque width
  EXPECT_FALSE(chequeTooShort(2400, 2000, 300, 1000, 300, 700, 300));
  EXPECT_FALSE(chequeTooShort(2100, 2000, 300, 1000, 300, 800, 300));  // rear long enough
  EXPECT_FALSE(chequeTooShort(2100, 2000, 300, 770, 300, 700, 300));   // front not 10 % longer
  EXPECT_TRUE(chequeTooShort(1926, 0, 300, 771, 300, 700, 300));
}

TEST(OpticalOffset, EdgeAtTheMaximumDpiInLinesAt300) {
  EXPECT_EQ(opticalOffset300(150, 600), 75);
  EXPECT_EQ(opticalOffset300(40, 300), 40);
  // A document cut at the image's edge leaves the edge outside it: no offset, not 65534 lines.
  EXPECT_EQ(opticalOffset300(-2, 300), 0);
  EXPECT_EQ(opticalOffset300(40, 0), 0);
}
