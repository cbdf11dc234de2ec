// Result messages: every code of the table, unknown codes, and the buffer and size rules.
#include "../common/result_table.h"
#include "core/results.h"
#include "core_test_util.h"

namespace {

using pvk::testing::kResultTable;
using pvk::testing::ResultEntry;

TEST(ResultMessages, EveryCodeOfTheTable) {
  EXPECT_EQ(std::size(kResultTable), 47u);
  for (const ResultEntry& e : kResultTable) {
    char buf[128];
    const int n = Vx3ResultMsg(e.code, buf, sizeof buf);
    EXPECT_EQ(n, static_cast<int>(std::strlen(e.message)) + 1) << e.code;
    EXPECT_STREQ(buf, e.message) << e.code;
  }
  EXPECT_STREQ(pvk::core::resultMessage(-2), "Device is busy. Close the previous istance of the device.");
  EXPECT_EQ(std::strlen(pvk::core::resultMessage(-18)), 69u);
  EXPECT_STREQ(pvk::core::resultMessage(-9), pvk::core::resultMessage(9));
}

TEST(ResultMessages, CodesOutsideTheTableAreUnknown) {
  for (int code : {-12, -13, 1, 2, 12, -115, -16, -91, 1000, -2147483647 - 1})
    EXPECT_STREQ(pvk::core::resultMessage(code), "Unknown error.") << code;
}

TEST(ResultMessages, SizeRules) {
  MyDev.lastResult = 5;
  EXPECT_EQ(Vx3ResultMsg(0, nullptr, 0), 9) << "size query";
  EXPECT_EQ(Vx3ResultMsg(0, nullptr, -4), 9);
  EXPECT_EQ(MyDev.lastResult, 5) << "a size query leaves the last result alone";
  char buf[100];
  EXPECT_EQ(Vx3ResultMsg(-2, buf, 100), 58);
  EXPECT_EQ(MyDev.lastResult, 5) << "success leaves the last result alone";
  EXPECT_EQ(Vx3ResultMsg(0, nullptr, 10), -1);
  EXPECT_EQ(MyDev.lastResult, -3);
  MyDev.lastResult = 0;
  std::strcpy(buf, "untouched");
  EXPECT_EQ(Vx3ResultMsg(-2, buf, 20), -1);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(MyDev.lastResult, -3);
  EXPECT_EQ(Vx3ResultMsg(0, buf, 9), 9) << "exactly the size needed";
  EXPECT_EQ(Vx3ResultMsg(0, buf, 8), -1);
}

}  // namespace
