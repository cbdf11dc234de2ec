// Page and stamp counters from the device registers and from the counters file, and the
// counters file's name built from a serial number the device supplies.
#include "../common/file_limit.h"
#include "PlavikMS.h"
#include "core/ini.h"
#include "device_fixture.h"

namespace pvk::test {
namespace {

class Counters : public DeviceTest {
 protected:
  int dev = -1;
  void openWith(uint16_t fw, uint32_t pages, uint32_t stamps) {
    pvkemu_profile p = full();
    p.firmware = fw;
    p.pages = pages;
    p.stamps = stamps;
    dev = add(p);
    ASSERT_GT(open(), 0);
  }
};

TEST_F(Counters, FromTheDeviceRegisters) {
  openWith(0x5011, 0x01020304, 1710);
  EXPECT_EQ(MyDev.pageRegister, 1);
  EXPECT_EQ(MyDev.pagesTotal, 0x01020304u);
  EXPECT_EQ(MyDev.stampsTotal, 1710u);
  pvkemu_device_profile(dev)->pages = 0x80000000u;
  LeggiNPages(true, false);
  EXPECT_EQ(MyDev.pagesTotal, 0xFFFFFFFF80000000ull);  // a signed 32-bit register
  // Failed reads keep what was read before; the stamp total never takes the page total.
  pvkemu_fault(dev, 42, PVKEMU_DIR_IN, PVKEMU_FAULT_SHORT, 1, 3);
  pvkemu_fault(dev, 45, PVKEMU_DIR_IN, PVKEMU_FAULT_TIMEOUT, 1, 0);
  pvkemu_device_profile(dev)->pages = 5;
  LeggiNPages(true, false);
  LeggiNStamp(true, false);
  EXPECT_EQ(MyDev.pagesTotal, 0xFFFFFFFF80000000ull);
  EXPECT_EQ(MyDev.stampsTotal, 1710u);
}

TEST_F(Counters, FromTheCountersFileWithoutAPageRegister) {
  pvkemu_profile p = full();
  p.firmware = 0x3100;
  std::snprintf(p.serial, sizeof p.serial, "%s", "31000001");
  std::string file = dir + "/pid_0009_31000001.reg";
  WritePrivateProfileString("General", "nPages", "1234", file.c_str());
  WritePrivateProfileString("General", "nPagesCur", "-7", file.c_str());
  WritePrivateProfileString("General", "InkjetCntCur", "12", file.c_str());
  dev = add(p);
  ASSERT_GT(open(), 0);
  EXPECT_STREQ(MyLog.deviceFile, file.c_str());
  EXPECT_EQ(MyDev.pageRegister, 0);
  EXPECT_EQ(MyDev.pagesTotal, 1234u);
  EXPECT_EQ(MyDev.pagesCurrent, 0u);  // negative counts as 0
  EXPECT_EQ(MyDev.stampsTotal, 0u);   // missing key
  EXPECT_EQ(MyDev.stampsCurrent, 12u);
  // The INI switch keeps the register off on later firmware too.
  Vx3BaseClose();
  MyAcq.pageNumEn = 0;
  pvkemu_device_profile(dev)->firmware = 0x5011;
  ASSERT_GT(open(), 0);
  EXPECT_EQ(MyDev.pageRegister, 0);
  EXPECT_TRUE(traced("nPage reg disabled"));
}

// Without a page register the stamp total is the counters file's InkjetCnt (a negative one
// counts as 0), never its current count or its page total; the call holds it to 0x7FFFFFFF.
TEST_F(Counters, TheStampTotalWithoutAPageRegisterIsTheFilesCount) {
  openWith(0x3100, 1234, 99);  // what registers would have said
  ASSERT_EQ(MyDev.pageRegister, 0);
  const std::string file = MyLog.deviceFile;
  WritePrivateProfileString("General", "InkjetCntCur", "12", file.c_str());
  WritePrivateProfileString("General", "nPages", "1234", file.c_str());
  const struct {
    const char* count;
    uint64_t total;
    int call;
  } cases[] = {{"1710", 1710, 1710}, {"-3", 0, 0}, {"2147483647", 2147483647u, 0x7FFFFFFF},
               {"2147483648", 2147483648u, 0x7FFFFFFF}, {"5000000000", 5000000000u, 0x7FFFFFFF}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    ASSERT_EQ(WritePrivateProfileString("General", "InkjetCnt", c.count, file.c_str()), 1);
    MyDev.stampsTotal = 7;
    LeggiNStamp(true, false);
    EXPECT_EQ(MyDev.stampsTotal, c.total);
    MyDev.stampsTotal = 7;
    EXPECT_EQ(PVKInkjetNumTot(reinterpret_cast<void*>(static_cast<uintptr_t>(MyDev.handleValue))), c.call);
    EXPECT_EQ(MyDev.stampsTotal, c.total);
  }
}

// A reset of the current counts that the full disk keeps out of the counters file says so, and
// the count stays what the file still holds; with room, the reset goes through.
TEST_F(Counters, AResetThatCannotBeSavedReportsTheFailedWrite) {
  openWith(0x5011, 100, 10);
  const std::string file = MyLog.deviceFile;
  ASSERT_EQ(WritePrivateProfileString("General", "nPagesCur", "5", file.c_str()), 1);
  ASSERT_EQ(WritePrivateProfileString("General", "InkjetCntCur", "3", file.c_str()), 1);
  const std::string before = pvk::testing::fileBytes(file);
  void* h = reinterpret_cast<void*>(static_cast<uintptr_t>(MyDev.handleValue));
  EXPECT_EQ(pvk::testing::withFileLimit(16, [&] {
              const int pages = PVKPagNumCur(h, true);
              const int stamps = PVKInkjetNumCur(h, true);
              return pages == PVK_ERR_WRITE && stamps == PVK_ERR_WRITE && PVKGetLastResult() == PVK_ERR_WRITE &&
                             PVKPagNumCur(h, false) == 5 && PVKInkjetNumCur(h, false) == 3
                         ? 0
                         : 1;
            }),
            0);
  EXPECT_EQ(pvk::testing::fileBytes(file), before);
  for (const std::string& name : pvk::testing::filesIn(dir)) EXPECT_EQ(name.find(".pvk"), std::string::npos) << name;
  EXPECT_EQ(PVKPagNumCur(h, true), 0);
  EXPECT_EQ(PVKPagNumCur(h, false), 0);
}

TEST_F(Counters, TheFileNameStaysInTheConfigurationDirectory) {
  char out[264];
  pvk::device::countersFilePath(out, sizeof out, "/cnf", 9, "../x/y\001z");
  EXPECT_STREQ(out, "/cnf/pid_0009_.._x_y_z.reg");
  pvk::device::countersFilePath(out, sizeof out, "/cnf", 0x0E, "AB 12-x");
  EXPECT_STREQ(out, "/cnf/pid_000e_AB 12-x.reg");  // other characters keep the old names
  std::string longSerial(254, '7');
  pvk::device::countersFilePath(out, sizeof out, "/cnf", 9, longSerial.c_str());
  EXPECT_EQ(std::strlen(out), 263u);
  EXPECT_EQ(std::string(out).substr(259), ".reg");
  std::string longDir(258, 'd');
  pvk::device::countersFilePath(out, sizeof out, longDir.c_str(), 9, "1");
  EXPECT_STREQ(out, "");  // no room for a name: no counters file
}

}  // namespace
}  // namespace pvk::test
