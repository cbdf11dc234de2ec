// The INI fuzzer's committed inputs, each one a fault it found once, replayed through the same
// round trip under the sanitizers of the test build.
#include <filesystem>

#include "../../fuzz/ini_round_trip.h"
#include "core_test_util.h"

namespace {

class IniCorpus : public pvk::test::TempDirTest {};

TEST_F(IniCorpus, EveryCommittedInputRoundTrips) {
  const std::filesystem::path corpus = std::filesystem::path(__FILE__).parent_path() / ".." / ".." / "fuzz" / "corpus" / "ini";
  int replayed = 0;
  for (const auto& e : std::filesystem::directory_iterator(corpus)) {
    const std::string bytes = pvk::test::readFile(e.path().string());
    const char* fault = pvk::fuzz::iniRoundTrip(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                                dir_, path("f.ini"));
    EXPECT_EQ(fault, nullptr) << e.path().filename() << ": " << (fault ? fault : "");
    ++replayed;
  }
  EXPECT_GE(replayed, 5);
}

}  // namespace
