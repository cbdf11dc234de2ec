// The software scanner's firmware replies, pinned with bytes worked out by hand from the wire
// tables: the library's own reading of those tables is not used here.
#include <gtest/gtest.h>
#include <libusb.h>

#include <vector>

#include "emulator_bus.h"
#include "pvkemu.h"

namespace {

using emutest::Bus;

pvkemu_profile withFirmware(uint16_t fw, uint32_t low, uint16_t high = 0, uint8_t cls = 7) {
  pvkemu_profile p;
  pvkemu_profile_basic(&p);
  p.firmware = fw;
  p.composition_low = low;
  p.composition_high = high;
  p.device_class = cls;
  return p;
}

using V = std::vector<uint8_t>;

TEST_F(Bus, ProbeSaysTheSoftwareScannerIsLoaded) { EXPECT_EQ(pvkemu_loaded(), 1); }

TEST_F(Bus, VersionReplyCarriesFourHexDigits) {
  plug(withFirmware(0x5011, 1));
  EXPECT_EQ(in(2, 5), (V{0x00, 0x05, 0x00, 0x01, 0x01}));
  plug(withFirmware(0x3103, 1));
  EXPECT_EQ(in(2, 5), (V{0x00, 0x03, 0x01, 0x00, 0x03}));
}

TEST_F(Bus, CompositionReplyLengthAndLayoutFollowTheFirmwareRange) {
  // L = 0x81C2B3A4, H = 0x0130, class 7.
  plug(withFirmware(0x2009, 0x81C2B3A4, 0x0130));
  EXPECT_EQ(in(1, 8), (V{0x00, 0xA4}));
  plug(withFirmware(0x2010, 0x81C2B3A4, 0x0130));
  EXPECT_EQ(in(1, 8), (V{0x00, 0xA4, 0x07}));
  plug(withFirmware(0x3106, 0x81C2B3A4, 0x0130));
  EXPECT_EQ(in(1, 8), (V{0x00, 0xA4, 0x07, 0xB3}));
  plug(withFirmware(0x3107, 0x81C2B3A4, 0x0130));
  EXPECT_EQ(in(1, 8), (V{0x00, 0xA4, 0x07, 0xB3, 0, 0, 0, 0}));
  plug(withFirmware(0x4000, 0x81C2B3A4, 0x0130));
  EXPECT_EQ(in(1, 8), (V{0x00, 0xA4, 0x07, 0xB3, 0xC2, 0x81, 0x30, 0x01}));
}

TEST_F(Bus, StatusFollowsScanEnableAndScripts) {
  plug(withFirmware(0x3103, 1));
  // Idle: external power (bit 16) only.
  EXPECT_EQ(in(3, 8), (V{0, 0x00, 0x00, 0x01, 0x00, 0, 0, 0}));
  EXPECT_EQ(command(9), 1);  // scan enable, fw 0x3000 and above
  EXPECT_EQ(in(3, 8), (V{0, 0x02, 0x00, 0x01, 0x00, 0, 0, 0}));
  EXPECT_EQ(command(15), LIBUSB_ERROR_PIPE);  // the old command set is unknown to this firmware
  const uint32_t script[] = {0, 0x12345678};
  pvkemu_script_status(dev, script, 2);
  EXPECT_EQ(in(3, 8), (V{0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(in(3, 8), (V{0, 0x78, 0x56, 0x34, 0x12, 0, 0, 0}));
  EXPECT_EQ(in(3, 8)[1], 0x02);  // back to its own status
}

TEST_F(Bus, SharedValuesAreToldApartByDirectionAndLength) {
  pvkemu_profile p = withFirmware(0x4005, 1);
  plug(p);
  // wValue 12: preparatory read (8 bytes) versus the stop command (1 scratch byte).
  EXPECT_EQ(in(12, 8).size(), 8u);
  EXPECT_EQ(command(12), 1);
  // wValue 19: EEPROM block (64 bytes) versus busy off; wValue 34: buzzer on (OUT, one byte)
  // versus packet end. Busy off and packet end are commands of the older command set only.
  EXPECT_EQ(in(19, 64).size(), 64u);
  EXPECT_EQ(out(34, {200}), 1);
  EXPECT_EQ(command(19), LIBUSB_ERROR_PIPE);
  EXPECT_EQ(command(34), LIBUSB_ERROR_PIPE);
  plug(withFirmware(0x2207, 1));
  EXPECT_EQ(command(19), 1);
  EXPECT_EQ(command(34), 1);
  // Old firmware sends commands with no data at all.
  EXPECT_EQ(command(12, 0), 0);
}

// Busy scan and the stop pair are told apart by command set, as for scan enable.
TEST_F(Bus, BusyAndStopCommandsBelongToTheirCommandSet) {
  plug(withFirmware(0x3000, 1));
  for (uint16_t v : {63, 64, 65, 67}) EXPECT_EQ(command(v), 1) << v;
  for (uint16_t v : {18, 19, 33, 34}) EXPECT_EQ(command(v), LIBUSB_ERROR_PIPE) << v;
  plug(withFirmware(0x2FFF, 1));
  for (uint16_t v : {18, 19, 33, 34}) EXPECT_EQ(command(v), 1) << v;
  for (uint16_t v : {63, 64, 65, 67}) EXPECT_EQ(command(v), LIBUSB_ERROR_PIPE) << v;
}

TEST_F(Bus, CountersCountAndReplyLittleEndian) {
  pvkemu_profile p = withFirmware(0x5011, 1);
  p.pages = 0x01020304;
  p.stamps = 0x7FFFFFFF;
  plug(p);
  EXPECT_EQ(in(42, 4), (V{0x04, 0x03, 0x02, 0x01}));
  EXPECT_EQ(command(43), 1);
  EXPECT_EQ(in(42, 4), (V{0x05, 0x03, 0x02, 0x01}));
  EXPECT_EQ(command(46), 1);
  EXPECT_EQ(in(45, 4), (V{0x00, 0x00, 0x00, 0x80}));
}

TEST_F(Bus, OptionalRequestsStallWhereTheFirmwareLacksThem) {
  plug(withFirmware(0x3103, 1));
  EXPECT_TRUE(in(30, 8).empty());  // capability request needs firmware above 0x3103
  EXPECT_TRUE(in(60, 5).empty());  // no alternative version
  EXPECT_TRUE(in(81, 64).empty()); // no inkjet
  EXPECT_TRUE(in(99, 8).empty());  // unknown register
  pvkemu_profile p = withFirmware(0x3104, 1 | (1u << 9));
  p.capability = 0x38;
  p.alt_firmware = 0x3005;
  plug(p);
  EXPECT_EQ(in(30, 8), (V{0, 0x38, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(in(60, 5), (V{0, 3, 0, 0, 5}));
  EXPECT_EQ(in(81, 64).size(), 64u);
}

TEST_F(Bus, OutRequestsCheckTheirLength) {
  plug(withFirmware(0x5011, 1));
  EXPECT_EQ(out(61, V(33, 0x11)), 33);
  EXPECT_EQ(out(61, V(32, 0x11)), LIBUSB_ERROR_PIPE);
  EXPECT_EQ(out(20, {1, 2, 3, 4, 5, 6, 7, 8}), 8);
  EXPECT_EQ(in(21, 8), (V{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(out(17, {4}), LIBUSB_ERROR_PIPE);  // only data sets 3 and 6 exist
}

TEST_F(Bus, DefaultProfilesAreWhatTheHeaderPromises) {
  pvkemu_profile b, f;
  pvkemu_profile_basic(&b);
  pvkemu_profile_full(&f);
  EXPECT_EQ(b.firmware, 0x3103);
  EXPECT_EQ(b.composition_low & (1u << 12), 0u);  // no magnetic head
  EXPECT_EQ(f.firmware, 0x5011);
  EXPECT_NE(f.composition_high & (1u << 4), 0u);  // stream-end status
  EXPECT_EQ(f.vendor_id, PVK_USB_VENDOR_ID);
  // Both serials keep high 0 with a low part of at least 380247: no slow bulk mode.
  EXPECT_GE(atol(f.serial), 380247);
  EXPECT_GE(atol(b.serial), 380247);
  // The device class byte is the supply voltage the identification trace prints.
  for (const pvkemu_profile* p : {&b, &f}) EXPECT_TRUE(p->device_class == 12 || p->device_class == 5);
}

}  // namespace
