// The configuration block against byte sequences worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "acquisition/acquisition.h"

using namespace pvk::acquisition;

namespace {

std::vector<uint8_t> build(const ConfigBlockInput& in, bool* limited = nullptr) {
  std::vector<uint8_t> out(kConfigBlockBytes, 0xAA);
  buildConfigBlock(in, out.data(), limited);
  return out;
}

std::vector<uint8_t> expect(std::initializer_list<uint8_t> head) {
  std::vector<uint8_t> v(kConfigBlockBytes, 0);
  std::copy(head.begin(), head.end(), v.begin());
  return v;
}

ConfigBlockInput base() {
  ConfigBlockInput in{};
  std::memset(in.cfgFlags, 1, sizeof in.cfgFlags);
  return in;
}

}  // namespace

TEST(ConfigBlock, ColourBothSidesForwardOnAFeederDevice) {
  ConfigBlockInput in = base();
  in.mode = 1;
  in.colour = true;
  in.ledColour = 2;
  in.frontOn = in.rearOn = true;
  in.forward = true;
  uint16_t front[5] = {200, 180, 160, 0, 0}, rear[5] = {100, 90, 80, 0, 0};
  std::memcpy(in.ledFront, front, sizeof front);
  std::memcpy(in.ledRear, rear, sizeof rear);
  in.planeLineBytes = 5184;
  in.bytesToRead = 5184ull * 3 * 100;  // 100 raw lines of three planes = 300 plane lines
  in.planes = 3;
  in.dpiV = 300;
  in.productId = 9;
  in.fwVersion = 0x5011;
  EXPECT_EQ(build(in), expect({0x01, 0x07, 0x09, 0x00, 0xC8, 0xB4, 0xA0, 0x64, 0x5A, 0x50, 0x2C,
                               0x01, 0xCA, 0x08}));
  in.forward = false;
  EXPECT_EQ(build(in)[2], 0x08);
}

TEST(ConfigBlock, GreyOneLedSlowMicrWithClampsAndLineLimit) {
  ConfigBlockInput in = base();
  in.mode = 3;
  in.slowAcq = true;
  in.ledColour = 4;  // green only
  in.frontOn = true;
  in.uv = in.ir = true;
  in.micr = in.micrDisablesAdf = true;
  in.cfgFlags[0] = 0;
  in.cfgFlags[2] = 0;
  uint16_t front[5] = {50, 0x1FF, 70, 40, 300}, rear[5] = {60, 0x0FF, 80, 20, 10};
  std::memcpy(in.ledFront, front, sizeof front);
  std::memcpy(in.ledRear, rear, sizeof rear);
  in.planeLineBytes = 2592;
  in.bytesToRead = 2592ull * 70000;
  in.planes = 3;
  in.dpiV = 300;
  in.productId = 0x000B;
  bool limited = false;
  EXPECT_EQ(build(in, &limited),
            expect({0x43, 0x3A, 0x2C, 0x09, 0x00, 0xFE, 0x00, 0x00, 0xFE, 0x00, 0xFF, 0xFF, 0x46,
                    0x05, 0xFF, 0x28, 0x0A, 0x14, 0x00}));
  EXPECT_TRUE(limited);
}

TEST(ConfigBlock, BacklightLinesTimingRaisedForTheInkjetAndLevelOffDuringTimedMove) {
  ConfigBlockInput in = base();
  in.mode = 3;
  in.ledColour = 1;  // white: neither colour nor one-LED bit
  in.frontOn = in.rearOn = true;
  in.backlight = true;
  in.backlightLevel = 300;
  in.inkjetBits = 0x30;
  in.inkjetPresent = true;
  in.productId = 4;
  in.fwVersion = 0x30FF;
  in.planeLineBytes = 5184;
  in.bytesToRead = 5184ull * 100;
  in.planes = 1;
  in.dpiV = 300;
  uint16_t lv[5] = {10, 20, 30, 0, 0};
  std::memcpy(in.ledFront, lv, sizeof lv);
  std::memcpy(in.ledRear, lv, sizeof lv);
  bool limited = true;
  EXPECT_EQ(build(in, &limited), expect({0x03, 0x06, 0x08, 0x70, 10, 20, 30, 10, 20, 30, 0xC8,
                                         0x00, 0x08, 0x07, 0, 0, 0, 0, 0xFF}));
  EXPECT_FALSE(limited);
  in.moveByTime = true;
  EXPECT_EQ(build(in)[18], 0);
  in.fwVersion = 0x3200;  // later firmware: no raise for the inkjet
  EXPECT_EQ(build(in)[12], 0xDC);  // 300 x 2 x 5 / 2 = 1500 = 0x05DC
}

TEST(ConfigBlock, FeederOffFlagsAndZeroPlaneLine) {
  ConfigBlockInput in = base();
  in.noAdf = true;
  EXPECT_EQ(build(in)[2], 0x0C);
  in = base();
  in.moveNoAdf = true;
  in.startupMove = true;
  EXPECT_EQ(build(in)[2], 0x0E);
  in = base();
  in.micr = true;  // MICR alone keeps the feeder
  EXPECT_EQ(build(in)[2], 0x28);
  in.bytesToRead = 1000;  // no plane line known: no lines rather than a division by zero
  EXPECT_EQ(build(in)[10], 0);
}

TEST(ConfigBlock, InvisibleLightLevelsGoOutTogetherWhenEitherLightIsOn) {
  ConfigBlockInput in = base();
  uint16_t front[5] = {1, 2, 3, 40, 300}, rear[5] = {4, 5, 6, 20, 10};
  std::memcpy(in.ledFront, front, sizeof front);
  std::memcpy(in.ledRear, rear, sizeof rear);
  std::vector<uint8_t> off = build(in);
  EXPECT_EQ(std::vector<uint8_t>(off.begin() + 14, off.begin() + 18),
            (std::vector<uint8_t>{0, 0, 0, 0}));
  in.ir = true;  // ultraviolet off: its levels still go with the infrared ones
  std::vector<uint8_t> ir = build(in);
  EXPECT_EQ(std::vector<uint8_t>(ir.begin() + 14, ir.begin() + 18),
            (std::vector<uint8_t>{0xFF, 40, 10, 20}));
  in.ir = false;
  in.uv = true;
  EXPECT_EQ(build(in)[15], 40);
}

// The ultraviolet, infrared and backlight levels of bytes 14 to 18 are held to a byte: anything
// above 255 goes out as 255, full light, never wrapped round to a dark LED; each byte follows
// only its own light (the others at 9).
TEST(ConfigBlock, InvisibleAndBacklightLevelsAboveAByteGoOutAsFullLight) {
  ConfigBlockInput in = base();
  in.uv = in.ir = in.backlight = true;
  uint16_t* level[5] = {&in.ledFront[4], &in.ledFront[3], &in.ledRear[4], &in.ledRear[3], &in.backlightLevel};
  for (uint16_t value : {254, 255, 256, 512, 65535})
    for (int light = 0; light < 5; ++light) {
      for (uint16_t* l : level) *l = 9;
      *level[light] = value;
      const std::vector<uint8_t> out = build(in);
      for (int k = 0; k < 5; ++k)
        EXPECT_EQ(out[14 + k], k == light ? std::min(value, uint16_t{255}) : 9) << value << ", light " << light << ", " << k;
    }
}

TEST(ConfigBlock, TheEndorsersBitsComeFromItsCompositionWhileAStampIsArmed) {
  std::memset(&MyDev, 0, sizeof MyDev);
  std::memset(&MyAcq, 0, sizeof MyAcq);
  std::memset(&MyInkjet, 0, sizeof MyInkjet);
  MyDev.fwVersion = 0x30FF;
  MyDev.inkjetReady = 1;
  MyDev.gateB = 1;  // composition bit 13
  EXPECT_EQ(configBlockInputFromRecords().inkjetBits, 0);  // nothing armed
  MyInkjet.armed = 1;
  EXPECT_EQ(configBlockInputFromRecords().inkjetBits, 0x20);
  MyDev.gateA = 1;
  EXPECT_EQ(configBlockInputFromRecords().inkjetBits, 0x30);
  MyDev.inkjetReady = 0;
  EXPECT_EQ(configBlockInputFromRecords().inkjetBits, 0);
  MyDev.inkjetReady = 1;
  MyDev.fwVersion = 0x3100;  // later firmware: none
  EXPECT_EQ(configBlockInputFromRecords().inkjetBits, 0);
}
