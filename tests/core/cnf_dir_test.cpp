// Configuration directory probe, choice from the INI file, and the forced resolutions.
#include "core/cnf_dir.h"
#include "core/ini.h"
#include "core_test_util.h"

using pvk::test::TraceTest;
using pvk::test::writeFile;

namespace {

class CnfDir : public TraceTest {};

TEST_F(CnfDir, ProbeAcceptsWritableDirectoriesOnly) {
  openTrace();
  MyDev.cnfDirWritable = 7;
  EXPECT_FALSE(DirExist(nullptr));
  EXPECT_FALSE(DirExist(""));
  EXPECT_EQ(MyDev.cnfDirWritable, 7) << "no probe, flag untouched";
  EXPECT_TRUE(DirExist(dir_.c_str()));
  EXPECT_EQ(MyDev.cnfDirWritable, 1);
  EXPECT_FALSE(std::filesystem::exists(path("Vx3cnfDirAccessibile.txt")));
  EXPECT_FALSE(DirExist(path("missing").c_str()));
  EXPECT_EQ(MyDev.cnfDirWritable, 0);
  writeFile(path("plain"), "x");
  EXPECT_FALSE(DirExist(path("plain").c_str()));
  EXPECT_FALSE(DirExist("/proc/self")) << "a directory where no file can be created";
  const std::string t = trace();
  EXPECT_NE(t.find(path("missing") + " not exists"), std::string::npos) << t;
  EXPECT_NE(t.find(path("plain") + " opening failed"), std::string::npos) << t;
  EXPECT_NE(t.find("/proc/self/Vx3cnfDirAccessibile.txt error on write"), std::string::npos) << t;
}

TEST_F(CnfDir, IniChoiceFallsBackToHome) {
  writeFile(path("lib.ini"), "[General]\r\nCnfDir=" + path("missing") + "\r\n");
  EXPECT_FALSE(Vx3CnfDir());
  EXPECT_STREQ(MyDev.cnfDir, "/home/");
  EXPECT_EQ(MyDev.cnfDirWritable, 0);
  writeFile(path("lib.ini"), "[General]\r\nCnfDir=" + dir_ + "\r\n");
  EXPECT_TRUE(Vx3CnfDir());
  EXPECT_EQ(MyDev.cnfDir, dir_);
}

TEST_F(CnfDir, SetAdoptsOnlyAcceptedDirectories) {
  std::strcpy(MyDev.cnfDir, "/keep");
  EXPECT_TRUE(Vx3CnfDirSet(nullptr, true, false));
  EXPECT_STREQ(MyDev.cnfDir, "/keep");
  EXPECT_FALSE(Vx3CnfDirSet(path("missing").c_str(), true, false));
  EXPECT_STREQ(MyDev.cnfDir, "/keep");
  EXPECT_FALSE(Vx3CnfDirSet(("/" + std::string(400, 'x')).c_str(), true, false));
  EXPECT_STREQ(MyDev.cnfDir, "/keep");
  EXPECT_TRUE(Vx3CnfDirSet(dir_.c_str(), false, true));
  EXPECT_EQ(MyDev.cnfDir, dir_);
}

TEST_F(CnfDir, ForcedResolutionNeedsALockedMode) {
  std::memset(&MyAcq, 0, sizeof MyAcq);
  unsigned short f = 1, r = 1, v1 = 1, v2 = 1;
  EXPECT_EQ(GetForcedRes(&f, &r, &v1, &v2), -1);
  MyAcq.modeLocked = 1;
  EXPECT_EQ(GetForcedRes(&f, &r, &v1, &v2), -1);
  EXPECT_EQ(f, 1);
  MyAcq.planesPerLine = 1;
  MyAcq.dpiH[0] = 100;
  MyAcq.dpiH[1] = 200;
  MyAcq.dpiV = 300;
  EXPECT_EQ(GetForcedRes(&f, &r, &v1, &v2), 0);
  EXPECT_EQ(f, 200);
  EXPECT_EQ(r, 100);
  EXPECT_EQ(v1, 300);
  EXPECT_EQ(v2, 300);
  EXPECT_EQ(GetForcedRes(nullptr, nullptr, nullptr, nullptr), 0);
  std::memset(&MyAcq, 0, sizeof MyAcq);
}

}  // namespace
