// Whatever a device answers, the connection neither crashes nor reads or writes out of bounds:
// random firmware versions, composition words, head configurations, status words, serial
// strings and cut replies, run under the sanitizers.
#include <random>

#include "device_fixture.h"

namespace pvk::test {
namespace {

using RandomReplies = DeviceTest;

TEST_F(RandomReplies, OpenStatusCompositionAndCountersSurviveAnyReply) {
  std::mt19937 rng(20261207);
  auto byte = [&] { return static_cast<uint8_t>(rng() & 0xFF); };
  int opened = 0;
  for (int round = 0; round < 150; ++round) {
    pvkemu_reset();
    pvkemu_profile p = full();
    p.firmware = static_cast<uint16_t>(rng());
    p.alt_firmware = static_cast<uint16_t>(rng());
    p.composition_low = static_cast<uint32_t>(rng());
    p.composition_high = static_cast<uint16_t>(rng());
    p.bcd_usb = (rng() & 1) ? 0x0200 : 0x0110;
    for (auto& b : p.head_config) b = byte();
    for (auto& b : p.inkjet_config) b = byte();
    size_t n = rng() % 127;
    for (size_t i = 0; i < n; ++i) p.serial[i] = static_cast<char>(1 + rng() % 255);
    p.serial[n] = 0;
    p.pages = static_cast<uint32_t>(rng());
    p.stamps = static_cast<uint32_t>(rng());
    int dev = pvkemu_add_device(&p);
    uint32_t words[4] = {static_cast<uint32_t>(rng()), 0, static_cast<uint32_t>(rng()), 0};
    pvkemu_script_status(dev, words, 4);
    for (int f = 0; f < 3; ++f)
      pvkemu_fault(dev, static_cast<int>(rng() % 90), PVKEMU_DIR_ANY, 1 + static_cast<int>(rng() % 4),
                   1 + static_cast<int>(rng() % 3), static_cast<int>(rng() % 9));
    MyDev.productId = 0;
    MyDev.fwVersion = 0;
    int h = Vx3DeviceOpen(-1, nullptr);
    if (h == -1) {
      Vx3BaseCloseLinux();
      continue;
    }
    ++opened;
    unsigned long l, hi;
    Vx3CompositionLH(l, hi);
    FX2ReadStatusL();
    FX2ReadStatusLH(&l, &hi);
    LeggiNPages(true, true);
    LeggiNStamp(true, true);
    Vx3SpecialHW();
    char text[64];
    Vx3Version(text, sizeof text);
    // The counters file name never leaves the configuration directory.
    std::string file = MyLog.deviceFile;
    if (!file.empty()) {
      EXPECT_EQ(file.rfind(dir + "/pid_", 0), 0u) << file;
      EXPECT_EQ(file.find('/', dir.size() + 1), std::string::npos) << file;
    }
    Vx3DeviceClose(false);
    removeLockOfMyDev();  // a serial of this round's
  }
  EXPECT_GT(opened, 50);  // most rounds get a device to talk to
}

}  // namespace
}  // namespace pvk::test
