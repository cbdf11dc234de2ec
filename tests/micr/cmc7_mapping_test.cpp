// The CMC7 output mapping as a host sets it: result and last result, the trace lines, and a
// refused mapping leaving -3.
#include "../api/loaded/loaded_library.h"

namespace {

using pvk::test::countOf;

class Cmc7Mapping : public pvk::test::LoadedLibrary {
 protected:
  int map(unsigned char s1, unsigned char s2, unsigned char s3, unsigned char s4, unsigned char s5,
          unsigned char nr) {
    return fn<decltype(PVKCMC7Mapping)>("PVKCMC7Mapping")(s1, s2, s3, s4, s5, nr);
  }
  std::string ownTrace() const { return pvk::test::readText(cnfDir_ + "/libPlavikMS_micr_mapping_tests.log"); }
};

TEST_F(Cmc7Mapping, ANewMappingIsTracedSymbolBySymbol) {
  load("LogTimeStamp=0\r\n");
  setLastResult(-7);
  EXPECT_EQ(map('A', 'B', 'C', 'D', 'E', '*'), 0);
  EXPECT_EQ(lastResult(), 0);
  EXPECT_EQ(countOf(ownTrace(), "new CMC7 mapping\r\nS1 65\r\nS2 66\r\nS3 67\r\nS4 68\r\nS5 69\r\nNR 42\r\n"), 1)
      << ownTrace();
}

TEST_F(Cmc7Mapping, AZeroCharacterRefusesTheWholeMapping) {
  load("LogTimeStamp=0\r\n");
  for (int zero = 0; zero < 6; ++zero) {
    unsigned char c[6] = {'a', 'b', 'c', 'd', 'e', 'f'};
    c[zero] = 0;
    EXPECT_EQ(map(c[0], c[1], c[2], c[3], c[4], c[5]), -3) << zero;
    EXPECT_EQ(lastResult(), -3);
  }
  EXPECT_EQ(countOf(ownTrace(), "invalid CMC7 mapping\r\nS1 97\r\nS2 98\r\nS3 99\r\nS4 100\r\nS5 101\r\nNR 0\r\n"), 1)
      << ownTrace();
  EXPECT_EQ(countOf(ownTrace(), "invalid CMC7 mapping\r\n"), 6);
}

}  // namespace
