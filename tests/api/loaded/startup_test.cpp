// Start-up as a host sees it: lazy, once per process, configured from the INI file beside the
// library, and tracing into the configuration directory.
#include <sys/stat.h>
#include <unistd.h>

#include <regex>

#include "../../common/child_process.h"
#include "../../common/ep0_lock_file.h"
#include "loaded_library.h"

using pvk::test::countOf;
using pvk::test::LoadedLibrary;
using pvk::test::readText;
using pvk::test::writeText;

namespace {

class Startup : public LoadedLibrary {};

TEST_F(Startup, CallsWithoutTheGuardDoNotStartTheLibrary) {
  load();
  EXPECT_EQ(fn<decltype(PVKDravin)>("PVKDravin")(0), -11);
  char buf[260];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(fn<decltype(PVKLogFileName)>("PVKLogFileName")(buf), 0);
  EXPECT_EQ(std::string(buf, 260), std::string(260, '\0'));
  unsigned short f = 0;
  EXPECT_EQ(fn<decltype(PVKGetForcedRes)>("PVKGetForcedRes")(&f, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(configDir(), "") << "no directory before start-up";
  EXPECT_EQ(configDir(reinterpret_cast<void*>(0xFFFFFFFFu)), "");
  EXPECT_FALSE(std::filesystem::exists(tracePath()));
}

TEST_F(Startup, TheFirstGuardedCallStartsOnceAndTraces) {
  load("LogTimeStamp=0\r\n");
  start();
  start();
  EXPECT_EQ(lastResult(), 0);
  EXPECT_EQ(configDir(), cnfDir_);
  const std::string t = trace();
  EXPECT_EQ(countOf(t, "libPlavikMS ver. 2.2.5.2 ZUN\r\n"), 1) << t;
  EXPECT_NE(t.find("/test_api_loaded\r\n"), std::string::npos) << "the program path line\n" << t;
  EXPECT_NE(t.find("CnfDir " + cnfDir_ + "\r\n"), std::string::npos) << t;
  EXPECT_NE(t.find(root_ + "/lib/libPlavikMS.ini\r\n"), std::string::npos) << t;
  EXPECT_EQ(t.find("StiSvcInstance"), std::string::npos);
  char path[260];
  EXPECT_EQ(fn<decltype(PVKLogFileName)>("PVKLogFileName")(path), 0);
  EXPECT_EQ(path, tracePath());
}

TEST_F(Startup, StartUpReadsTheOptionDefaultsOnce) {
  load("LogTimeStamp=0\r\nSWGlitchDetection=1\r\n",
       "[Ocr]\r\ntypeDoc=4\r\nBarcodeMirror=1\r\n[Debug]\r\nglitch=1\r\n");
  start();
  setLastResult(0);
  const std::string t = trace();
  for (const char* line : {"with SW glitch detection\r\n", "ini forces typeDoc to  4\r\n",
                           "Mirrored barcode enabled\r\n", "glitch debug\r\n"})
    EXPECT_EQ(countOf(t, line), 1) << line << "\n" << t;
  // The version lines come before the option traces, the directory lines after them.
  EXPECT_LT(t.find("ZUN\r\n"), t.find("glitch debug"));
  EXPECT_LT(t.find("glitch debug"), t.find("CnfDir "));
}

// The trace file is named after the calling program, and one program name gets a line of its own.
TEST_F(Startup, TheProgramNameNamesTheTrace) {
  load("LogTimeStamp=0\r\n");
  for (const char* name : {"STISVC", "scanapp"}) {
    const std::string program = root_ + "/" + name;
    std::filesystem::copy_file(PVK_STARTUP_HOST, program);
    const std::string cmd = program + " " + root_ + "/lib/libPlavikMS.so";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    const std::string t = readText(cnfDir_ + "/libPlavikMS_" + name + ".log");
    EXPECT_NE(t.find(program + "\r\n"), std::string::npos) << t;
    EXPECT_EQ(countOf(t, "StiSvcInstance\r\n"), std::string(name) == "STISVC" ? 1 : 0) << t;
  }
}

// A host that loads the software scanner and the library with dlopen: the library waits for the
// document on the scanner's virtual clock (10 s, the default wait) though the scanner's
// definitions do not come before the C library's for it.
TEST_F(Startup, TheVirtualClockReachesALibraryLoadedWithDlopen) {
  load("LogTimeStamp=0\r\n");
  const std::string out = root_ + "/clock.txt";
  const std::string cmd = std::string(PVK_CLOCK_HOST) + " " + PVK_SOFTWARE_SCANNER + " " + root_ +
                          "/lib/libPlavikMS.so > " + out;
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  // The host drove the software scanner's default scanner: its lock file goes with the test.
  void* scanner = ::dlopen(PVK_SOFTWARE_SCANNER, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(scanner, nullptr) << ::dlerror();
  pvkemu_profile drove;
  reinterpret_cast<void (*)(pvkemu_profile*)>(::dlsym(scanner, "pvkemu_profile_full"))(&drove);
  pvk::testing::removeEp0LockFile(drove);
  int result = 0;
  unsigned long long ms = 0;
  ASSERT_EQ(std::sscanf(readText(out).c_str(), "%d %llu", &result, &ms), 2) << readText(out);
  EXPECT_EQ(result, -10);
  EXPECT_GE(ms, 10000u);
}

TEST_F(Startup, LinesCarryTheTimeStampAndEndInCrLf) {
  load();
  start();
  const std::string t = trace();
  ASSERT_FALSE(t.empty());
  const std::regex line("\\d\\d, \\d\\d\\.\\d\\d\\.\\d\\d\t[^\r\n]*\r\n");
  size_t lines = 0;
  for (size_t p = 0; p < t.size();) {
    const size_t e = t.find("\r\n", p);
    ASSERT_NE(e, std::string::npos) << "every line ends in CR LF";
    EXPECT_TRUE(std::regex_match(t.substr(p, e + 2 - p), line)) << t.substr(p, e + 2 - p);
    p = e + 2;
    ++lines;
  }
  EXPECT_GE(lines, 4u);
}

TEST_F(Startup, TheIniIsFoundBesideAVersionedLibraryInADottedDirectory) {
  load("LogTimeStamp=0\r\n", "", "x.solutions", "libPlavikMS.so.2");
  start();
  EXPECT_EQ(configDir(), cnfDir_);
  EXPECT_NE(trace().find(root_ + "/x.solutions/libPlavikMS.ini"), std::string::npos);
}

// An INI that is a FIFO no one writes or a link to /dev/zero: start-up goes on at once with
// the defaults (in a child stopped after a deadline, so one that blocks fails the test).
TEST_F(Startup, StartUpDoesNotWaitOnAnIniThatIsNotAFile) {
  for (const std::string kind : {"fifo", "zero"}) {
    load("", "", kind, "libPlavikMS.so", false);
    const std::string ini = root_ + "/" + kind + "/libPlavikMS.ini";
    ASSERT_EQ(kind == "fifo" ? ::mkfifo(ini.c_str(), 0600) : ::symlink("/dev/zero", ini.c_str()), 0);
    EXPECT_EQ(pvk::testing::withDeadline(10, [&] {
                std::string dir = cnfDir_;  // given with the first call: the INI cannot name it
                fn<decltype(PVKInitializeSN)>("PVKInitializeSN")(dir.data(), nullptr);
                char buf[64];
                return libInfo(buf, sizeof buf);
              }),
              28) << kind;
  }
}

TEST_F(Startup, ALibraryLoadedByARelativePathFindsItsIniAfterTheHostMoves) {
  load("LogTimeStamp=0\r\n", "", "rel");
  ::dlclose(handle_);  // keep the files; load the copy again by a relative name
  const std::string before = std::filesystem::current_path();
  std::filesystem::current_path(root_);
  std::filesystem::copy_file("rel/libPlavikMS.so", "rel/libPlavikMS.so.1");
  handle_ = ::dlopen("rel/libPlavikMS.so.1", RTLD_NOW | RTLD_LOCAL);
  std::filesystem::current_path("/");
  ASSERT_NE(handle_, nullptr) << ::dlerror();
  start();
  std::filesystem::current_path(before);
  EXPECT_EQ(configDir(), cnfDir_);
}

TEST_F(Startup, LogNewOffKeepsTheOldTraceAndMarksEachPass) {
  std::filesystem::create_directories(root_ + "/logs");
  const std::string logFile = root_ + "/logs/libPlavikMS_test_api_loaded.log";
  writeText(logFile, "previous run\r\n");
  load("LogPath=" + root_ + "/logs\r\nLogNew=0\r\nLogTimeStamp=0\r\n");
  start();
  const std::string t = readText(logFile);
  EXPECT_EQ(t.rfind("previous run\r\n \r\n \r\n", 0), 0u) << t;
}

TEST_F(Startup, LogNewStartsAFreshTrace) {
  writeText(tracePath(), "previous run\r\n");
  load("LogTimeStamp=0\r\n");
  start();
  EXPECT_EQ(trace().find("previous run"), std::string::npos);
}

TEST_F(Startup, LogOffWritesNoTraceAndNamesNoFile) {
  load("Log=0\r\n");
  start();
  char path[260];
  std::memset(path, 'x', sizeof path);
  EXPECT_EQ(fn<decltype(PVKLogFileName)>("PVKLogFileName")(path), 0);
  EXPECT_EQ(std::string(path, 260), std::string(260, '\0'));
  EXPECT_FALSE(std::filesystem::exists(tracePath()));
}

TEST_F(Startup, ASmallLogSizeRenewsTheTrace) {
  load("LogSize=200\r\nLogTimeStamp=0\r\n");
  start();
  char buf[4];
  for (int i = 0; i < 20; ++i) errMsg(-2, buf, sizeof buf);  // each traces a line
  const std::string t = trace();
  EXPECT_LE(t.size(), 200u + 60u) << t;
  EXPECT_NE(t.find("error message buffer too small"), std::string::npos);
}

TEST_F(Startup, NullBuffersAreRefused) {
  load();
  EXPECT_EQ(fn<decltype(PVKLogFileName)>("PVKLogFileName")(nullptr), -3);
  EXPECT_EQ(fn<decltype(PVKConfigDirGet)>("PVKConfigDirGet")(nullptr, nullptr), -3);
  start();
  EXPECT_EQ(fn<decltype(PVKConfigDirGet)>("PVKConfigDirGet")(nullptr, nullptr), -3);
  EXPECT_EQ(lastResult(), -3);
}

TEST_F(Startup, AHandleOfNoOpenDeviceIsRefused) {
  load("LogTimeStamp=0\r\n");
  char buf[260];
  EXPECT_EQ(fn<decltype(PVKConfigDirGet)>("PVKConfigDirGet")(reinterpret_cast<void*>(0x1234), buf),
            -1);
  EXPECT_EQ(lastResult(), -1);
  EXPECT_NE(trace().find("invalid handle (AA)\r\n"), std::string::npos);
}

TEST_F(Startup, StartUpClearsTheZoneTable) {
  load();
  auto* doc = fn<PVKOCRDoc>("OCRDoc");
  ASSERT_NE(doc, nullptr);
  doc->nZones = 7;
  doc->zones[3].font = 12;
  start();
  EXPECT_EQ(doc->nZones, 0);
  EXPECT_EQ(doc->zones[3].font, 0);
}

TEST_F(Startup, RestoreDefaultInitPathKeepsTheDirectory) {
  load();
  setLastResult(-5);
  EXPECT_EQ(fn<decltype(PVKRestoreDefaultInitPath)>("PVKRestoreDefaultInitPath")(), 0);
  EXPECT_EQ(lastResult(), 0);
  EXPECT_EQ(configDir(), cnfDir_);
}

}  // namespace
