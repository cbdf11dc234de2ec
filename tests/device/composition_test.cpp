// The composition words and the capabilities they set, per firmware range, and the magnetic
// head configuration.
#include "device_fixture.h"

namespace pvk::test {
namespace {

class Composition : public DeviceTest {
 protected:
  int dev = -1;
  void openWith(uint16_t fw, uint32_t low, uint16_t high = 0, uint16_t bcd = 0x0200) {
    pvkemu_profile p = full();
    p.firmware = fw;
    p.composition_low = low;
    p.composition_high = high;
    p.bcd_usb = bcd;
    dev = add(p);
    ASSERT_TRUE(Vx3BaseOpen(nullptr));
    MyDev.fwVersion = fw;
    pvkemu_log_clear();
  }
  unsigned long l = 0, h = 0;
};

TEST_F(Composition, ReplyLengthFollowsTheFirmware) {
  const uint16_t fws[] = {0x200F, 0x2010, 0x3106, 0x3107, 0x4000};
  const int lengths[] = {2, 3, 4, 8, 8};
  openWith(0x200F, 0x02);
  for (int i = 0; i < 5; ++i) {
    pvkemu_device_profile(dev)->firmware = fws[i];
    MyDev.fwVersion = fws[i];
    pvkemu_log_clear();
    EXPECT_TRUE(Vx3CompositionLH(l, h));
    auto rs = vendorRequests();
    ASSERT_EQ(rs.size(), 1u);
    EXPECT_EQ(rs[0].value, 1);
    EXPECT_EQ(rs[0].length, lengths[i]) << std::hex << fws[i];
  }
}

TEST_F(Composition, PreparatoryReadOnFirmware0x4001To0x4008) {
  for (uint16_t fw : {0x4000, 0x4001, 0x4008, 0x4009}) {
    pvkemu_reset();
    Vx3BaseCloseLinux();
    openWith(fw, 0x02);
    Vx3CompositionLH(l, h);
    bool prep = fw >= 0x4001 && fw <= 0x4008;
    EXPECT_EQ(briefs(vendorRequests()), prep ? (Strings{"C0/12/8", "C0/1/8"}) : (Strings{"C0/1/8"}))
        << std::hex << fw;
  }
}

TEST_F(Composition, LowWordIsSignedAndHighWordFrom0x4000) {
  openWith(0x4000, 0x81C2B3A4u, 0x0130);
  EXPECT_TRUE(Vx3CompositionLH(l, h));
  EXPECT_EQ(l, static_cast<unsigned long>(static_cast<long>(static_cast<int32_t>(0x81C2B3A4u))));
  EXPECT_EQ(h, 0x0130u);
  pvkemu_device_profile(dev)->firmware = 0x3FFF;
  MyDev.fwVersion = 0x3FFF;
  EXPECT_TRUE(Vx3CompositionLH(l, h));
  EXPECT_EQ(l, 0xB3A4u);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(MyDev.deviceClass, 12);  // the profile's byte 2
}

TEST_F(Composition, FeatureBoundaries) {
  const uint32_t all = 0xFFFFFFFFu;
  openWith(0x4004, all, 0xFFFF);
  Vx3CompositionLH(l, h);
  EXPECT_EQ(MyDev.doubleFeedHw, 0);
  EXPECT_EQ(MyDev.gateC, 0);
  MyDev.fwVersion = 0x4005;
  pvkemu_device_profile(dev)->firmware = 0x4005;
  Vx3CompositionLH(l, h);
  EXPECT_EQ(MyDev.doubleFeedHw, 1);
  EXPECT_EQ(MyDev.gateC, 1);
  EXPECT_EQ(MyDev.irHw, 0);
  for (auto [fw, ir, stream] : {std::tuple{0x5009, 0, 0}, {0x500A, 1, 0}, {0x5010, 1, 0}, {0x5011, 1, 1}}) {
    MyDev.fwVersion = static_cast<uint16_t>(fw);
    pvkemu_device_profile(dev)->firmware = static_cast<uint16_t>(fw);
    MyDev.irHw = MyDev.uvHw = MyDev.streamEndCap = MyDev.buzzerPresent = 0;
    Vx3CompositionLH(l, h);
    EXPECT_EQ(MyDev.irHw, ir) << std::hex << fw;
    EXPECT_EQ(MyDev.uvHw, ir) << std::hex << fw;
    EXPECT_EQ(MyDev.streamEndCap, stream) << std::hex << fw;
    EXPECT_EQ(MyDev.buzzerPresent, stream) << std::hex << fw;
  }
}

TEST_F(Composition, ExternalPowerSensingByFirmware) {
  openWith(0x2021, 0x02);
  Vx3CompositionLH(l, h);
  EXPECT_EQ(MyDev.extPowerSensed, 1);
  for (auto [fw, low, sensed] : {std::tuple{0x3103, 0x4002u, 0}, {0x3104, 0x4002u, 1}, {0x3104, 0x0002u, 0}}) {
    MyDev.fwVersion = static_cast<uint16_t>(fw);
    pvkemu_device_profile(dev)->firmware = static_cast<uint16_t>(fw);
    pvkemu_device_profile(dev)->composition_low = low;
    Vx3CompositionLH(l, h);
    EXPECT_EQ(MyDev.extPowerSensed, sensed) << std::hex << fw;
  }
}

TEST_F(Composition, AShortReplyChangesNothing) {
  openWith(0x5011, 0xFFFFFFFFu, 0xFFFF);
  pvkemu_fault(dev, 1, PVKEMU_DIR_IN, PVKEMU_FAULT_SHORT, 1, 4);
  MyDev.inkjetPresent = 0;
  MyDev.rearPresent = 0;
  EXPECT_FALSE(Vx3CompositionLH(l, h));
  EXPECT_EQ(l, 0u);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(MyDev.inkjetPresent, 0);
  EXPECT_EQ(MyDev.rearPresent, 0);
  EXPECT_EQ(Vx3CompositionL(), 0xFFFFFFFFFFFFFFFFul);
}

TEST_F(Composition, MagneticHeadOnAHighSpeedLink) {
  openWith(0x5011, (1u << 12) | 2u);
  Vx3CompositionLH(l, h);
  EXPECT_EQ(MyMICR.headPresent, 1);
  EXPECT_EQ(MyMICR.rotation, 256);      // byte 1 bit 6 on firmware above 0x3103
  EXPECT_EQ(MyMICR.refOffset, 200);     // 0x0190 halved
  EXPECT_EQ(MyMICR.head.vRes, 200);
  EXPECT_EQ(MyMICR.head.vRes2, 66);     // byte 10 zero: a third of the head resolution
  EXPECT_EQ(MyMICR.head.limits[1], -130);
  EXPECT_EQ(MyMICR.side, 0);
  // A configuration cut short is no head: its missing bytes are not taken as flags.
  pvkemu_fault(dev, 40, PVKEMU_DIR_IN, PVKEMU_FAULT_SHORT, 1, 8);
  Vx3CompositionLH(l, h);
  EXPECT_EQ(MyMICR.headPresent, 0);
  // A resolution below 100 dpi is refused.
  pvkemu_device_profile(dev)->head_config[4] = 9;
  Vx3CompositionLH(l, h);
  EXPECT_EQ(MyMICR.headPresent, 0);
  EXPECT_TRUE(traced("err -  invalid magnetic head VRes 90"));
}

TEST_F(Composition, NoMagneticHeadAtFullSpeed) {
  openWith(0x5011, (1u << 12) | 2u, 0, 0x0110);
  Vx3CompositionLH(l, h);
  EXPECT_EQ(MyMICR.headPresent, 0);
  EXPECT_TRUE(traced("war -  micr disabled in full speed"));
}

TEST_F(Composition, InkjetReadinessAndCapabilityByte) {
  openWith(0x5011, (1u << 9) | 2u);
  Vx3CompositionLH(l, h);
  EXPECT_EQ(MyDev.inkjetPresent, 1);
  EXPECT_EQ(MyDev.inkjetReady, 1);
  pvkemu_fault(dev, 81, PVKEMU_DIR_IN, PVKEMU_FAULT_STALL, 1, 0);
  Vx3CompositionLH(l, h);
  EXPECT_EQ(MyDev.inkjetReady, 0);
  EXPECT_TRUE(traced("war -  Inkjet is not supported in this configuration (full speed?)."));
}

// Capabilities that only newer firmware reports must not survive into an older device's reading.
TEST_F(Composition, OlderFirmwareInheritsNothingOfAnEarlierDevice) {
  openWith(0x5011, 0xFFFFFFFFu, 0x0030);
  ASSERT_TRUE(Vx3CompositionLH(l, h));
  ASSERT_EQ(MyDev.irHw + MyDev.uvHw + MyDev.streamEndCap + MyDev.buzzerPresent, 4);
  ASSERT_EQ(MyDev.inkjetPresent + MyDev.adfPresent + MyDev.backlightHw + MyDev.gateD, 4);
  pvkemu_device_profile(dev)->firmware = 0x3103;
  MyDev.fwVersion = 0x3103;
  ASSERT_TRUE(Vx3CompositionLH(l, h));
  EXPECT_EQ(MyDev.irHw + MyDev.uvHw + MyDev.streamEndCap + MyDev.buzzerPresent, 0);
  EXPECT_EQ(MyDev.backlightHw + MyDev.photoTuning + MyDev.sideSwitch + MyDev.gateC + MyDev.gateD, 0);
  EXPECT_EQ(MyDev.doubleFeedHw + MyDev.altSideLayout, 0);
  EXPECT_EQ(MyDev.inkjetPresent + MyDev.adfPresent + MyDev.gateA, 3);  // 0x3000 command set
  pvkemu_device_profile(dev)->firmware = 0x2010;
  MyDev.fwVersion = 0x2010;
  ASSERT_TRUE(Vx3CompositionLH(l, h));
  EXPECT_EQ(MyDev.inkjetPresent + MyDev.inkjetReady + MyDev.adfPresent + MyDev.ledCalib, 0);
  EXPECT_EQ(MyDev.gateA + MyDev.gateB + MyDev.magAlign, 0);
}

}  // namespace
}  // namespace pvk::test
