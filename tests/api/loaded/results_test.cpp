// Result codes and messages through the exported calls, with their two different size rules.
#include "../../common/result_table.h"
#include "loaded_library.h"

using pvk::test::LoadedLibrary;

namespace {

class Results : public LoadedLibrary {
 protected:
  void SetUp() override {
    LoadedLibrary::SetUp();
    load("LogTimeStamp=0\r\n");
  }
};

using pvk::testing::kResultTable;
using pvk::testing::ResultEntry;

TEST_F(Results, EveryMessageOfTheTable) {
  for (const ResultEntry& e : kResultTable) {
    char buf[100];
    EXPECT_EQ(errMsg(e.code, buf, sizeof buf), static_cast<int>(std::strlen(e.message)) + 1);
    EXPECT_STREQ(buf, e.message);
    setLastResult(e.code);
    EXPECT_EQ(errorString(buf, sizeof buf), static_cast<int>(std::strlen(e.message)) + 1);
    EXPECT_STREQ(buf, e.message);
    EXPECT_EQ(lastResult(), e.code) << "reading the message keeps the code";
  }
  char buf[100];
  for (int code : {-12, -13, 1, 2, 12, -115}) {
    errMsg(code, buf, sizeof buf);
    EXPECT_STREQ(buf, "Unknown error.") << code;
  }
  EXPECT_EQ(errMsg(-2, buf, 100), 58);
  EXPECT_STREQ(buf, "Device is busy. Close the previous istance of the device.");
}

TEST_F(Results, MessageSizeRules) {
  setLastResult(4);
  EXPECT_EQ(errMsg(0, nullptr, 0), 9);
  EXPECT_EQ(lastResult(), 4) << "a size query leaves the last result alone";
  EXPECT_EQ(errMsg(0, nullptr, 10), -1);
  EXPECT_EQ(lastResult(), -3);
  setLastResult(0);
  char buf[20];
  std::strcpy(buf, "keep");
  EXPECT_EQ(errMsg(-2, buf, 20), -1);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(lastResult(), -3);
  EXPECT_EQ(errorString(buf, sizeof buf), 19);
  EXPECT_STREQ(buf, "Invalid parameter.");
  EXPECT_EQ(errorString(buf, 65536), 19) << "65536 is taken as 0: a size query";
  EXPECT_EQ(errMsg(0, buf, 65536 + 20), 9) << "sizes are taken as 16-bit values";
  EXPECT_NE(trace().find("err -  error message buffer too small\r\n"), std::string::npos);
  EXPECT_NE(trace().find("err -  error message buffer invalid\r\n"), std::string::npos);
}

TEST_F(Results, LibraryInfoSizeRules) {
  setLastResult(-7);
  EXPECT_EQ(libInfo(nullptr, 0), 28);
  EXPECT_EQ(lastResult(), 0) << "a size query sets 0 here";
  char buf[40];
  std::strcpy(buf, "keep");
  EXPECT_EQ(libInfo(buf, 10), 28);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(lastResult(), -3);
  EXPECT_NE(trace().find("info too small 10\r\n"), std::string::npos);
  EXPECT_EQ(libInfo(buf, 28), 28);
  EXPECT_STREQ(buf, "libPlavikMS.so ver. 2.2.5.2");
  EXPECT_EQ(lastResult(), 0);
  EXPECT_EQ(libInfo(buf, -1), 28);
}

TEST_F(Results, AskingForTheLastResultNeverChangesIt) {
  EXPECT_EQ(lastResult(), 0) << "the first call starts the library and still reads 0";
  setLastResult(-21);
  EXPECT_EQ(lastResult(), -21);
  EXPECT_EQ(lastResult(), -21);
  EXPECT_EQ(fn<decltype(PVKDravin)>("PVKDravin")(1), -11);
  EXPECT_EQ(lastResult(), -21) << "PVKDravin does not store its result";
}

}  // namespace
