// The status word: the firmware boundary of its fourth byte, the remapping of the upper bits,
// the power, track, inkjet and gate adjustments, and the retries of invalid words.
#include "device_fixture.h"

namespace pvk::test {
namespace {

class Status : public DeviceTest {
 protected:
  int dev = -1;
  // Opens a device of this firmware and product; capabilities are then set by the test.
  void openWith(uint16_t fw, uint16_t pid) {
    pvkemu_profile p = full();
    p.firmware = fw;
    p.product_id = pid;
    dev = add(p);
    ASSERT_TRUE(Vx3BaseOpen(nullptr));
    MyDev.fwVersion = fw;
    MyDev.extPowerSensed = 0;
    MyDev.trackReader[0] = MyDev.trackReader[1] = MyDev.trackReader[2] = 1;
  }
  long statusOf(uint32_t raw) {
    pvkemu_script_status(dev, &raw, 1);
    return FX2ReadStatusL();
  }
};

TEST_F(Status, FourthByteCountsFromFirmware0x3100) {
  openWith(0x30FF, 5);
  EXPECT_EQ(statusOf(0x80000002u), 0x00010002L);  // byte 4 ignored; bit 16: power not sensed
  MyDev.fwVersion = 0x3100;
  EXPECT_EQ(statusOf(0x80000002u), static_cast<long>(static_cast<int32_t>(0x80010002u)));
}

TEST_F(Status, UpperBitsMoveDownOnePlace) {
  openWith(0x5011, 5);
  MyDev.streamEndCap = 0;
  // Raw 24, 25, 26 become 23, 24, 25; raw 27 needs the stream-end capability.
  EXPECT_EQ(statusOf(0x0F000002u), 0x03810002L);
  MyDev.streamEndCap = 1;
  EXPECT_EQ(statusOf(0x0F000002u), 0x07810002L);
  EXPECT_EQ(statusOf(0x00800002u), 0x00810002L);  // raw 23 stays
}

TEST_F(Status, PowerTracksAndInkjet) {
  openWith(0x5011, 5);
  MyDev.extPowerSensed = 1;
  EXPECT_EQ(statusOf(0x00000002u), 0x00000006L);  // power sensed and absent: bit 2
  EXPECT_EQ(statusOf(0x00010002u), 0x00010002L);
  MyDev.trackReader[1] = 0;
  EXPECT_EQ(statusOf(0x00010E02u), 0x00010A02L);  // no track 2 reader: bit 10 cleared
  MyDev.inkjetPresent = MyDev.inkjetReady = 1;
  EXPECT_EQ(statusOf(0x00010002u), 0x08010002L);
  MyDev.inkjetReady = 0;
  EXPECT_EQ(statusOf(0x00010002u), 0x00010002L);
  MyDev.extPowerSensed = 0;
  EXPECT_TRUE(Vx3IsExtPwrd());
}

TEST_F(Status, GatesOfTheVendorsProducts) {
  openWith(0x5011, 9);
  MyDev.photocellPresent = 1;
  MyDev.gateA = 1;
  MyDev.gateC = 1;
  // Raw 31 -> 18 (photocell), 18 -> 19 (gate A), 20 -> 21 (gate C); raw 19 and 21 have no
  // gate here and drop out; raw 31 itself stays.
  EXPECT_EQ(statusOf(0x803C0002u), static_cast<long>(static_cast<int32_t>(0x802D0002u)));
}

TEST_F(Status, OtherProductsKeepTheirRawGateBits) {
  openWith(0x5011, 5);
  MyDev.photocellPresent = 1;
  EXPECT_EQ(statusOf(0x003C0002u), 0x003D0002L);
}

TEST_F(Status, InvalidWordsAreRetriedThenTheDeviceIsLost) {
  openWith(0x5011, 9);
  const uint32_t zeros[11] = {0};
  pvkemu_script_status(dev, zeros, 2);
  uint32_t script[3] = {0, 0, 2};
  pvkemu_script_status(dev, script, 3);
  EXPECT_EQ(FX2ReadStatusL(), 0x00010002L);
  EXPECT_EQ(vendorRequests().size(), 3u);
  EXPECT_EQ(pvkemu_clock_elapsed_ms() >= 400, true);
  EXPECT_TRUE(traced("war -  Read status returning INVALID value -> retry 1"));

  pvkemu_log_clear();
  pvkemu_script_status(dev, zeros, 11);
  EXPECT_EQ(FX2ReadStatusL(), 0);
  EXPECT_EQ(vendorRequests().size(), 11u);
  EXPECT_EQ(MyDev.state, -2);
  EXPECT_TRUE(traced("war -  Read status returning INVALID value -> retry 10"));
  EXPECT_TRUE(traced("err -  Read status returning INVALID value -> labelling device as invalid"));
}

TEST_F(Status, FeederDisabledByIniMakesBit17AloneInvalid) {
  openWith(0x5011, 5);
  MyDev.feederDisabledIni = 1;
  uint32_t script[2] = {1u << 17, (1u << 17) | 2u};
  pvkemu_script_status(dev, script, 2);
  EXPECT_EQ(FX2ReadStatusL(), 0x00010002L);
  EXPECT_EQ(vendorRequests().size(), 2u);
}

TEST_F(Status, FailedOrShortRepliesGiveZero) {
  openWith(0x5011, 5);
  pvkemu_fault(dev, 3, PVKEMU_DIR_IN, PVKEMU_FAULT_TIMEOUT, 1, 0);
  EXPECT_EQ(FX2ReadStatusL(), 0);
  pvkemu_fault(dev, 3, PVKEMU_DIR_IN, PVKEMU_FAULT_SHORT, 1, 3);
  EXPECT_EQ(FX2ReadStatusL(), 0);
  EXPECT_EQ(MyDev.state, 1);
}

TEST_F(Status, SpecialHardwareAndBuzzer) {
  openWith(0x2210, 5);
  EXPECT_EQ(Vx3SpecialHW(), 2u);
  EXPECT_TRUE(vendorRequests().empty());
  pvkemu_device_profile(dev)->special_hw = 0x030201;
  MyDev.fwVersion = 0x2202;
  EXPECT_EQ(Vx3SpecialHW(), 0x030201u);
  MyDev.buzzerPresent = 0;
  EXPECT_EQ(Vx3ComandaBuzzer(100, 0), -15);
  MyDev.buzzerPresent = 1;
  pvkemu_log_clear();
  EXPECT_EQ(Vx3ComandaBuzzer(0, 0), 0);
  EXPECT_EQ(Vx3ComandaBuzzer(200, 500), 0);
  auto rs = vendorRequests();
  ASSERT_EQ(briefs(rs), (Strings{"C0/35/1", "40/34/1"}));
  EXPECT_EQ(rs[1].data[0], 200);
}

}  // namespace
}  // namespace pvk::test
