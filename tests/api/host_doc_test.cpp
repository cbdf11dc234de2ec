// The host reference tells the truth about the zone font codes: the codes and ranges that begin
// the rows of its table in docs/HOST.md are exactly those PVKCheckOCRType accepts on an opened
// scanner with a magnetic head; the magnetic codes are refused before one is open.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "PlavikMS.h"
#include "host_test_util.h"

namespace {

// The codes of the first table under the heading ("| 300, 306-310 | ..."); a row that begins
// with anything else goes into bad.
std::set<int> documentedCodes(const std::string& heading, std::string& bad) {
  std::ifstream f(PVK_HOST_DOC);
  static const std::regex row(R"(\| *(-?\d+(-\d+)?(, *-?\d+(-\d+)?)*) *\|.*)"), item(R"((-?\d+)(-(\d+))?)");
  std::set<int> codes;
  std::string line;
  while (std::getline(f, line) && line != heading) {
  }
  for (int rows = 0; std::getline(f, line) && (rows == 0 || line.rfind('|', 0) == 0);) {
    std::smatch m;
    if (line.rfind('|', 0) != 0 || ++rows <= 2) continue;  // the text before the table, its header and rule
    if (!std::regex_match(line, m, row)) bad += line + "\n";
    const std::string cell = m.size() > 1 ? m[1].str() : "";
    for (std::sregex_iterator i(cell.begin(), cell.end(), item), end; i != end; ++i)
      for (int c = std::stoi((*i)[1]); c <= std::stoi((*i)[(*i)[3].matched ? 3 : 1]); ++c) codes.insert(c);
  }
  return codes;
}

TEST(HostReference, TheFontCodeTableListsExactlyTheCodesTheLibraryAccepts) {
  std::string bad;
  const std::set<int> documented = documentedCodes("## Zone font codes and reading modes", bad);
  EXPECT_EQ(bad, "") << "rows that do not begin with codes";
  ASSERT_GT(documented.size(), 50u);

  // No device yet: the font databases decide, but the magnetic codes want a head. The library
  // starts up in the test's directory (an open that finds no scanner), not in the default one.
  std::string dir = apitest::processDir();
  apitest::emu<void (*)()>("pvkemu_reset")();
  ASSERT_LT(PVKInitializeSN(dir.data(), nullptr), 0);
  ASSERT_EQ(PVKDBDirSet(nullptr, PVK_FONT_DB_DIR), 0);
  const std::pair<short, int> before[] = {{-1, 0}, {1, 0}, {31, -33}, {32, -3}, {33, -3}, {34, -3}, {35, 0}, {1001, -34}};
  for (const auto& [code, result] : before) EXPECT_EQ(PVKCheckOCRType(code), result) << code;

  ASSERT_EQ(apitest::busOfOne("pvkemu_profile_full"), 0);  // the full profile: a head
  void* h = apitest::asHandle(PVKInitializeSN(dir.data(), nullptr));
  ASSERT_EQ(PVKDBDirSet(h, PVK_FONT_DB_DIR), 0);
  std::set<int> accepted;
  for (int type : {0, 12}) {  // two codes read the payment forms of type 12 only
    ASSERT_TRUE(type == 0 || PVKSetParameter(3, type) == 0);
    for (int c = -1; c <= 1000; ++c)
      if (PVKCheckOCRType(static_cast<short>(c)) == 0) accepted.insert(c);
  }
  PVKClose(h);
  EXPECT_EQ(documented, accepted) << "the codes in docs/HOST.md, then those the library accepts";
}

}  // namespace
