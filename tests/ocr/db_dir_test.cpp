// The font database directory as a host sees it: the default from the INI file or the
// configuration directory, the separator appended, the size rules of the get and the
// handle rules of both calls, with the trace lines read back.
#include "../api/loaded/loaded_library.h"

namespace {

using pvk::test::countOf;

class DbDir : public pvk::test::LoadedLibrary {
 protected:
  int get(char* buf, int size, void* handle = nullptr) {
    return fn<decltype(PVKDBDirGet)>("PVKDBDirGet")(handle, buf, size);
  }
  int set(const char* dir, void* handle = nullptr) { return fn<decltype(PVKDBDirSet)>("PVKDBDirSet")(handle, dir); }
  std::string dir() {
    char buf[300];
    EXPECT_EQ(get(buf, sizeof buf), 0);
    return buf;
  }
  std::string ownTrace() const { return pvk::test::readText(cnfDir_ + "/libPlavikMS_ocr_dbdir_tests.log"); }
};

void* const kNoDevice = reinterpret_cast<void*>(0xFFFFFFFFu);

TEST_F(DbDir, TheIniKeyGivesTheFirstDirectory) {
  load("LogTimeStamp=0\r\n", "[OCR]\r\nDBDir=/opt/fonts\r\n");
  EXPECT_EQ(get(nullptr, 0, kNoDevice), 12) << "\"/opt/fonts/\" and its terminator";
  EXPECT_EQ(lastResult(), 0);
  EXPECT_EQ(dir(), "/opt/fonts/");
  EXPECT_EQ(countOf(ownTrace(), "changing DBDir /opt/fonts\r\n"), 1) << ownTrace();
}

TEST_F(DbDir, WithoutTheKeyTheConfigurationDirectoryServes) {
  load("LogTimeStamp=0\r\n");
  EXPECT_EQ(dir(), cnfDir_ + "/");
}

TEST_F(DbDir, SettingAppendsTheSeparatorOnceAndTracesChangesOnly) {
  load("LogTimeStamp=0\r\n");
  EXPECT_EQ(set("/data/fonts"), 0);
  EXPECT_EQ(get(nullptr, 0), 13);
  EXPECT_EQ(dir(), "/data/fonts/");
  EXPECT_EQ(set("/data/fonts"), 0);
  EXPECT_EQ(set("/data/fonts/"), 0);
  EXPECT_EQ(set("C:\\fonts\\", kNoDevice), 0);
  EXPECT_EQ(dir(), "C:\\fonts\\");
  EXPECT_EQ(set(""), 0);
  EXPECT_EQ(lastResult(), 0);
  const std::string t = ownTrace();
  EXPECT_EQ(countOf(t, "changing DBDir to /data/fonts/\r\n"), 1) << t;
  EXPECT_EQ(countOf(t, "changing DBDir to"), 3) << t;
  // An emptied directory is filled again from the default on the next get.
  EXPECT_EQ(dir(), cnfDir_ + "/");
}

TEST_F(DbDir, GetNeedsRoomForTheTerminator) {
  load("LogTimeStamp=0\r\n");
  ASSERT_EQ(set("/data/fonts/"), 0);
  char buf[16];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(get(buf, 12), -1);
  EXPECT_EQ(lastResult(), -3);
  EXPECT_EQ(std::string(buf, 13), std::string(12, '\0') + "x") << "exactly size bytes cleared";
  EXPECT_EQ(get(buf, 13), 0);
  EXPECT_STREQ(buf, "/data/fonts/");
  EXPECT_EQ(lastResult(), 0);
  for (int size : {0, -1, 65536}) {
    EXPECT_EQ(get(buf, size), -1) << size;
    EXPECT_EQ(lastResult(), -3);
  }
  EXPECT_EQ(get(buf, 65536 + 13), 0) << "the size is taken as a 16-bit count";
  const std::string t = ownTrace();
  EXPECT_EQ(countOf(t, "PVKDBDirGet, size too short\r\nto copy /data/fonts/\r\n"), 1) << t;
  EXPECT_EQ(countOf(t, "PVKDBDirGet, NULL size\r\n"), 3) << t;
}

TEST_F(DbDir, NullAndOverlongDirectoriesKeepTheCurrentOne) {
  load("LogTimeStamp=0\r\n");
  ASSERT_EQ(set("/keep"), 0);
  EXPECT_EQ(set(nullptr), -1);
  EXPECT_EQ(lastResult(), -3);
  const std::string max258(258, 'd');
  for (const std::string& tooLong : {std::string(259, 'd'), std::string(260, 'd'), std::string(400, 'd')}) {
    EXPECT_EQ(set(tooLong.c_str()), -1) << tooLong.size();
    EXPECT_EQ(lastResult(), -3);
  }
  EXPECT_EQ(dir(), "/keep/");
  const std::string t = ownTrace();
  EXPECT_EQ(countOf(t, "NULL DBDir\r\nkeeping /keep/\r\n"), 1) << t;
  EXPECT_EQ(countOf(t, "DBDir too long"), 3) << t;
  EXPECT_EQ(countOf(t, "keeping /keep/\r\n"), 4) << t;
  // The longest texts that fit: 258 without a separator, 259 with one.
  EXPECT_EQ(set(max258.c_str()), 0);
  EXPECT_EQ(dir(), max258 + "/");
  EXPECT_EQ(set((std::string(258, 'e') + "/").c_str()), 0);
  EXPECT_EQ(get(nullptr, 0), 260);
}

TEST_F(DbDir, ARefusedDeviceHandleChangesNothing) {
  load("LogTimeStamp=0\r\n");
  ASSERT_EQ(set("/keep"), 0);
  void* notOpen = reinterpret_cast<void*>(0x1234);
  char buf[64] = "untouched";
  EXPECT_EQ(get(buf, sizeof buf, notOpen), -1);
  EXPECT_STREQ(buf, "untouched");
  setLastResult(0);
  EXPECT_EQ(set("/other", notOpen), -1);
  EXPECT_EQ(lastResult(), -1);
  EXPECT_EQ(dir(), "/keep/");
  EXPECT_EQ(countOf(ownTrace(), "invalid handle (AA)\r\n"), 2) << ownTrace();
}

}  // namespace
