// The CMC7 output mapping applied to a finished codeline: each position is mapped at most once,
// the defaults leave the text alone, and a refused mapping changes nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "micr/micr.h"

namespace {

class Cmc7Output : public ::testing::Test {
 protected:
  void TearDown() override { pvk::micr::setCMC7Mapping(':', ';', '<', '=', '>', '?'); }
  static std::string mapped(std::string text, short len = -1) {
    text.resize(200, 0);
    CambiaSeparatoriCMC7(text.data(), len < 0 ? static_cast<short>(std::strlen(text.c_str())) : len);
    return text.c_str();
  }
};

TEST_F(Cmc7Output, EachPositionIsMappedOnce) {
  ASSERT_EQ(pvk::micr::setCMC7Mapping('A', ':', '<', '=', '>', '?'), 0);
  EXPECT_EQ(mapped(":;"), "A:");
  ASSERT_EQ(pvk::micr::setCMC7Mapping(';', ':', '>', '<', '?', '='), 0);  // a full permutation
  EXPECT_EQ(mapped("1:2;3<4=5>6?"), "1;2:3>4<5?6=");
}

TEST_F(Cmc7Output, DefaultsAndLengths) {
  EXPECT_EQ(mapped(":;<=>?"), ":;<=>?") << "defaults: untouched";
  ASSERT_EQ(pvk::micr::setCMC7Mapping('a', 'b', 'c', 'd', 'e', 'f'), 0);
  EXPECT_EQ(mapped(std::string(126, '1') + ":"), std::string(126, '1') + "a") << "127 characters are mapped";
  EXPECT_EQ(mapped(std::string(127, '1') + ":"), std::string(127, '1') + ":") << "128 are not";
  EXPECT_EQ(mapped("::::", 2), "aa::") << "only len characters";
  EXPECT_EQ(mapped(":", 0), ":");
  CambiaSeparatoriCMC7(nullptr, 5);
}

TEST_F(Cmc7Output, ARefusedMappingChangesNothing) {
  ASSERT_EQ(pvk::micr::setCMC7Mapping('a', 'b', 'c', 'd', 'e', 'f'), 0);
  EXPECT_EQ(pvk::micr::setCMC7Mapping('x', 'y', 'z', 'w', 'v', 0), -3);
  EXPECT_EQ(MyDev.lastResult, -3);
  EXPECT_EQ(CMC7_S1, 'a');
  EXPECT_EQ(CMC7_NR, 'f');
  EXPECT_EQ(mapped(":?"), "af");
}

}  // namespace
