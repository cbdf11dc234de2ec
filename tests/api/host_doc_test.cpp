// The host reference tells the truth about the zone font codes: the codes and ranges that begin
// the rows of its table in docs/HOST.md are exactly those PVKCheckOCRType accepts on an opened
// scanner with a magnetic head; the magnetic codes are refused before one is open.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
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
  bool in = false;
  int tableLines = 0;
  while (std::getline(f, line) && !(tableLines > 0 && line.rfind('|', 0) != 0)) {
    in = in || line == heading;
    if (!in || line.rfind('|', 0) != 0 || ++tableLines <= 2) continue;  // the header and its rule
    std::smatch m;
    if (!std::regex_match(line, m, row)) bad += line + "\n";
    const std::string cell = m.size() > 1 ? m[1].str() : "";
    for (std::sregex_iterator i(cell.begin(), cell.end(), item), end; i != end; ++i)
      for (int c = std::stoi((*i)[1]); c <= ((*i)[3].matched ? std::stoi((*i)[3]) : std::stoi((*i)[1])); ++c)
        codes.insert(c);
  }
  return codes;
}

std::set<int> acceptedCodes() {
  std::set<int> codes;
  for (int c = -1; c <= 1000; ++c)
    if (PVKCheckOCRType(static_cast<short>(c)) == 0) codes.insert(c);
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
  std::set<int> accepted = acceptedCodes();
  ASSERT_EQ(PVKSetParameter(3, 12), 0);  // two codes read the payment forms of type 12 only
  for (int c : acceptedCodes()) accepted.insert(c);
  PVKClose(h);
  std::set<int> refused, missing;
  std::set_difference(documented.begin(), documented.end(), accepted.begin(), accepted.end(),
                      std::inserter(refused, refused.end()));
  std::set_difference(accepted.begin(), accepted.end(), documented.begin(), documented.end(),
                      std::inserter(missing, missing.end()));
  EXPECT_EQ(refused, std::set<int>{}) << "in docs/HOST.md but refused";
  EXPECT_EQ(missing, std::set<int>{}) << "accepted but not in docs/HOST.md";
}

}  // namespace
