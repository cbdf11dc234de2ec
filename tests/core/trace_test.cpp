// Trace lines and the trace file: forms, stamps, cuts, size control, naming, renewal and move,
// and the device identification line the moved file is given again.
#include <regex>

#include "core/shims.h"
#include "core/trace.h"
#include "core_test_util.h"

using pvk::test::readFile;
using pvk::test::TraceTest;
using pvk::test::writeFile;

namespace {

TEST_F(TraceTest, NothingIsWrittenBeforeThePathIsSet) {
  MyLog.Log = 1;
  WriteTrace("lost", false);
  EXPECT_FALSE(std::filesystem::exists(tracePath()));
}

TEST_F(TraceTest, EachFormWritesOneCrLfLine) {
  openTrace();
  WriteTrace("one", false);
  WriteTrace("a", "b", false);
  WriteTrace("a", "b", "c", false);
  WriteTrace("a", "b", "c", "d", false);
  WriteTrace("hex", 255, 1, false);
  WriteTrace("dec", 255, 0, false);
  WriteTrace("neg", -3, false);
  WriteTrace("err - ", "text", 7, false);
  WriteTrace("x", "y", "z", 9, false);
  EXPECT_EQ(trace(),
            "one\r\na b\r\na b c\r\na b c d\r\nhex 0x00ff\r\ndec 255\r\nneg -3\r\n"
            "err -  text 7\r\nxyz 9\r\n");
}

TEST_F(TraceTest, NullOrEmptyTextsWriteNothing) {
  openTrace();
  WriteTrace(static_cast<const char*>(nullptr), false);
  WriteTrace("", false);
  WriteTrace("a", static_cast<const char*>(nullptr), false);
  WriteTrace("a", "b", static_cast<const char*>(nullptr), false);
  WriteTrace("a", "b", "c", static_cast<const char*>(nullptr), false);
  WriteTrace("", 3, false);
  WriteTrace(static_cast<const char*>(nullptr), 3, 1, false);
  WriteTrace("a", static_cast<const char*>(nullptr), 3, false);
  WriteTrace("a", "b", static_cast<const char*>(nullptr), 3, false);
  EXPECT_EQ(trace(), "");
}

TEST_F(TraceTest, TextsAreCutTo256Characters) {
  openTrace();
  const std::string text(300, 'x');
  WriteTrace(text.c_str(), false);
  WriteTrace(text.c_str(), text.c_str(), false);
  const std::string cut(256, 'x');
  EXPECT_EQ(trace(), cut + "\r\n" + cut + " " + cut + "\r\n");
}

TEST_F(TraceTest, TimeStampHeadsTheLineUnlessSuppressed) {
  openTrace(0, true);
  WriteTrace("stamped", false);
  WriteTrace("bare", true);
  const std::regex expected("\\d\\d, \\d\\d\\.\\d\\d\\.\\d\\d\tstamped\r\nbare\r\n");
  EXPECT_TRUE(std::regex_match(trace(), expected)) << trace();
}

TEST_F(TraceTest, AFileLargerThanLogSizeIsEmptiedBeforeTheNextLine) {
  openTrace(1000);
  writeFile(tracePath(), std::string(1000, 'a'));
  WriteTrace("kept", false);
  EXPECT_EQ(trace().size(), 1006u) << "a file of exactly LogSize bytes is kept";
  writeFile(tracePath(), std::string(1001, 'a'));
  WriteTrace("fresh", false);
  EXPECT_EQ(trace(), "fresh\r\n");
  MyLog.LogSize = 0;
  writeFile(tracePath(), std::string(5000, 'a'));
  WriteTrace("unlimited", false);
  EXPECT_EQ(trace().size(), 5011u);
}

TEST_F(TraceTest, LogOffWritesNothing) {
  openTrace();
  MyLog.Log = 0;
  WriteTrace("off", false);
  EXPECT_FALSE(std::filesystem::exists(tracePath()));
}

TEST_F(TraceTest, ExceptionLines) {
  openTrace();
  errno = 2;
  WriteEccezione("boom");
  WriteEccezione(nullptr);
  EXPECT_EQ(trace(), "excep  boom 2\r\nexcep not mapped\r\n");
}

TEST(DebugStem, FormsDateAndSerial) {
  tm t{};
  t.tm_year = 126;
  t.tm_mon = 2;
  t.tm_mday = 5;
  t.tm_hour = 14;
  t.tm_min = 7;
  t.tm_sec = 9;
  char stem[64];
  pvk::core::formatDebugStem(stem, sizeof stem, "ocr", 1234, t);
  EXPECT_STREQ(stem, "ocr_001234_20260305_140709");
  char tiny[8];
  pvk::core::formatDebugStem(tiny, sizeof tiny, "iqa", 1, t);
  EXPECT_STREQ(tiny, "iqa_000");
}

// AggiornaLog reads the settings of the INI file written by the test.
class TraceFile : public TraceTest {
 protected:
  void ini(const std::string& general) { writeFile(path("lib.ini"), "[General]\r\n" + general); }
};

TEST_F(TraceFile, NameIsDirectoryLibraryAndProgram) {
  ini("");
  AggiornaLog(true);
  EXPECT_STREQ(MyLog.tracePath, "") << "first pass without LogPath sets nothing";
  AggiornaLog(false);
  EXPECT_EQ(MyLog.tracePath, dir_ + "/libPlavikMS_prog.log");
  EXPECT_EQ(MyLog.logDir, dir_ + "/");
  EXPECT_EQ(MyLog.traceStem, dir_ + "/libPlavikMS_prog");
  EXPECT_EQ(MyLog.tracePattern, dir_ + "/libPlavikMS_prog*.log");
  EXPECT_EQ(MyLog.LogSize, 102400u);
  EXPECT_EQ(MyLog.LogTimeStamp, 1);
}

TEST_F(TraceFile, ModelSelectorAddsA4OrA6) {
  ini("");
  pidDLL = 6;
  AggiornaLog(false);
  EXPECT_EQ(MyLog.tracePath, dir_ + "/libPlavikMS_progA4.log");
  pidDLL = 10;
  AggiornaLog(false);
  EXPECT_EQ(MyLog.tracePath, dir_ + "/libPlavikMS_progA6.log");
  pidDLL = 0;
}

TEST_F(TraceFile, LogPathAndSettingsFromTheIni) {
  std::filesystem::create_directory(path("logs"));
  ini("LogPath=" + path("logs") + "\r\nDebug=-4\r\nLogSize=-1\r\nLogTimeStamp=0\r\nLogDays=3\r\n");
  AggiornaLog(true);
  EXPECT_EQ(MyLog.tracePath, path("logs") + "/libPlavikMS_prog.log");
  EXPECT_EQ(MyLog.Debug, 0);
  EXPECT_EQ(MyLog.LogSize, 0u);
  EXPECT_EQ(MyLog.LogTimeStamp, 0);
  EXPECT_EQ(MyLog.LogDays, 3u);
}

TEST_F(TraceFile, LogOffKeepsTheOtherSettingsUnread) {
  ini("Log=0\r\nDebug=4\r\nVerbose=1\r\n");
  AggiornaLog(false);
  EXPECT_EQ(MyLog.Log, 0);
  EXPECT_EQ(MyLog.Debug, 0);
  EXPECT_EQ(MyLog.Verbose, 0);
  WriteTrace("nothing", false);
  EXPECT_FALSE(std::filesystem::exists(tracePath()));
}

TEST_F(TraceFile, LogNewStartsAfreshAtTheFirstOpening) {
  ini("LogTimeStamp=0\r\n");
  writeFile(tracePath(), "old line\r\n");
  writeFile(tracePath() + ".old", "older\r\n");
  AggiornaLog(false);
  EXPECT_FALSE(std::filesystem::exists(tracePath()));
  EXPECT_FALSE(std::filesystem::exists(tracePath() + ".old"));
}

TEST_F(TraceFile, LogNewOffMarksTheRestartWithABlankLine) {
  ini("LogNew=0\r\nLogTimeStamp=0\r\n");
  writeFile(tracePath(), "old line\r\n");
  AggiornaLog(false);
  EXPECT_EQ(trace(), "old line\r\n \r\n");
}

TEST_F(TraceFile, ANewConfigurationDirectoryMovesTheTrace) {
  ini("LogTimeStamp=0\r\n");
  AggiornaLog(false);
  WriteTrace("before", false);
  prima_apertura = 0;
  std::filesystem::create_directory(path("other"));
  std::snprintf(MyDev.cnfDir, sizeof MyDev.cnfDir, "%s", path("other").c_str());
  const std::string oldPath = tracePath();
  AggiornaLog(false);
  const std::string newPath = path("other") + "/libPlavikMS_prog.log";
  EXPECT_EQ(MyLog.tracePath, newPath);
  EXPECT_FALSE(std::filesystem::exists(oldPath));
  const std::string moved = readFile(newPath);
  EXPECT_EQ(moved.rfind("before\r\nlog moved\r\n" + oldPath + "\r\n" + newPath + "\r\n", 0), 0u)
      << moved;
  EXPECT_NE(moved.find("libPlavikMS ver. 2.2.5.2 ZUN"), std::string::npos);
  // The same directory again moves nothing.
  AggiornaLog(false);
  EXPECT_EQ(readFile(newPath), moved);
}

TEST_F(TraceFile, APathTooLongIsRefusedAndTheOldOneKept) {
  ini("LogTimeStamp=0\r\n");
  AggiornaLog(false);
  const std::string kept = MyLog.tracePath;
  // A long program name in a deep directory overflows the path fields.
  std::filesystem::create_directories(path(std::string(200, 'p')));
  ini("LogPath=" + path(std::string(200, 'p')) + "\r\nLogTimeStamp=0\r\n");
  std::snprintf(MyLog.progName, sizeof MyLog.progName, "%s", std::string(60, 'n').c_str());
  AggiornaLog(true);
  EXPECT_EQ(MyLog.tracePath, kept);
  WriteTrace("still here", false);
  EXPECT_NE(readFile(kept).find("err -  trace path too long"), std::string::npos);
}

TEST_F(TraceFile, DeviceIdentificationLine) {
  openTrace();
  std::memset(&MyDev, 0, sizeof MyDev);
  std::strcpy(MyDev.serialString, "A1");
  TracciaDevice();  // no product: nothing
  EXPECT_EQ(trace(), "");
  MyDev.productId = 9;
  MyDev.fwVersion = 0x3103;
  MyDev.highSpeed = 1;
  // Supply voltage and sensor type as the composition and the capability request left them.
  MyDev.deviceClass = 12;
  MyDev.capabilityCode = 0x18;
  TracciaDevice();
  MyDev.capabilityCode = 8;
  MyDev.highSpeed = 0;
  MyDev.deviceClass = 5;
  TracciaDevice();
  EXPECT_EQ(trace(),
            "pid 0009, ser.num. A1, ver. 3103, 12V, CIS 24, hs\r\n"
            "pid 0009, ser.num. A1, ver. 3103, b, 5V, fs\r\n");
}

}  // namespace
