// Helpers of the core unit tests: a temporary directory per test, file read and write, and a
// trace set up inside the temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/frame.h"
#include "core/records.h"

namespace pvk::test {

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// A fresh directory under /tmp, removed with everything in it at the end of the test.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/pvk_core_XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(dir_, ec);
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }

  std::string dir_;
};

// The trace written into the temporary directory as "libPlavikMS_prog.log", stamps off.
class TraceTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    std::memset(&MyLog, 0, sizeof MyLog);
    std::strcpy(FileName, "libPlavikMS");
    std::strcpy(DllName, "libPlavikMS");
    std::strcpy(MyLog.progName, "prog");
    std::snprintf(MyLog.iniPath, sizeof MyLog.iniPath, "%s", path("lib.ini").c_str());
    std::snprintf(MyDev.cnfDir, sizeof MyDev.cnfDir, "%s", dir_.c_str());
    prima_apertura = 1;
    pidDLL = 0;
  }
  void TearDown() override {
    std::memset(&MyLog, 0, sizeof MyLog);
    TempDirTest::TearDown();
  }
  // Points the trace at the temporary directory directly.
  void openTrace(uint64_t logSize = 0, bool stamp = false) {
    MyLog.Log = 1;
    MyLog.LogSize = logSize;
    MyLog.LogTimeStamp = stamp;
    std::snprintf(MyLog.tracePath, sizeof MyLog.tracePath, "%s", tracePath().c_str());
  }
  std::string tracePath() const { return path("libPlavikMS_prog.log"); }
  std::string trace() const { return readFile(tracePath()); }
};

}  // namespace pvk::test
