// The host reference tells the truth about the zone font codes: every code that
// PVKCheckOCRType accepts on an opened scanner is a row of the table of docs/HOST.md, and every
// code a row names is accepted; the magnetic codeline codes are refused until a scanner with a
// magnetic head is open.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "PlavikMS.h"
#include "host_test_util.h"

namespace {

using apitest::asHandle;
using apitest::processDir;

// "300, 301, 306-310" as codes; false for anything else in the cell.
bool parseCodes(const std::string& cell, std::set<int>& codes) {
  std::stringstream s(cell);
  std::string part;
  bool any = false;
  while (std::getline(s, part, ',')) {
    int first = 0, last = 0;
    char dash = 0, extra = 0;
    std::stringstream p(part);
    if (!(p >> first)) return false;
    last = first;
    if (p >> dash && (dash != '-' || !(p >> last) || last < first)) return false;
    if (p >> extra) return false;
    for (int c = first; c <= last; ++c) codes.insert(c);
    any = true;
  }
  return any;
}

// The codes of the first table under the heading; a row whose first cell holds anything else
// than codes and ranges is reported in bad.
std::set<int> documentedCodes(const std::string& path, const std::string& heading, std::vector<std::string>& bad) {
  std::ifstream f(path);
  std::set<int> codes;
  std::string line;
  bool inSection = false, inTable = false;
  while (std::getline(f, line)) {
    if (!inSection) {
      inSection = line == heading;
      continue;
    }
    if (line.rfind("|", 0) != 0) {
      if (inTable) break;
      continue;
    }
    if (!inTable) {  // the header row, then its rule
      inTable = true;
      std::getline(f, line);
      continue;
    }
    const std::string cell = line.substr(1, line.find('|', 1) - 1);
    if (!parseCodes(cell, codes)) bad.push_back(line);
  }
  return codes;
}

std::set<int> acceptedCodes() {
  std::set<int> codes;
  for (int c = -1; c <= 1000; ++c)
    if (PVKCheckOCRType(static_cast<short>(c)) == 0) codes.insert(c);
  return codes;
}

std::string listed(const std::set<int>& codes) {
  std::string s;
  for (int c : codes) s += std::to_string(c) + " ";
  return s;
}

TEST(HostReference, TheFontCodeTableListsExactlyTheCodesTheLibraryAccepts) {
  ASSERT_NE(dlsym(RTLD_DEFAULT, "pvkemu_loaded"), nullptr);
  std::vector<std::string> bad;
  const std::set<int> documented = documentedCodes(PVK_HOST_DOC, "## Zone font codes and reading modes", bad);
  EXPECT_TRUE(bad.empty()) << "rows without codes first: " << bad.size() << ", the first: " << bad.front();
  ASSERT_GT(documented.size(), 50u);

  // No device yet: the databases alone decide, but the magnetic codes want a head.
  ASSERT_EQ(PVKDBDirSet(nullptr, PVK_FONT_DB_DIR), 0);
  struct Before {
    short code;
    int result;
  } const before[] = {{-1, 0}, {1, 0}, {4, 0}, {31, -33}, {32, -3}, {33, -3}, {34, -3}, {35, 0}, {1001, -34}};
  for (const Before& b : before) EXPECT_EQ(PVKCheckOCRType(b.code), b.result) << b.code;

  std::string dir = processDir();
  const int h = PVKInitializeSN(dir.data(), nullptr);
  ASSERT_GT(h, 0) << PVKGetLastResult();
  ASSERT_EQ(PVKDBDirSet(asHandle(h), PVK_FONT_DB_DIR), 0);
  std::set<int> accepted = acceptedCodes();
  EXPECT_EQ(accepted.count(33), 1u) << "the full profile has a magnetic head";
  // Two codes read only payment forms of document type 12.
  ASSERT_EQ(PVKSetParameter(3, 12), 0);
  const std::set<int> withType12 = acceptedCodes();
  accepted.insert(withType12.begin(), withType12.end());
  PVKClose(asHandle(h));

  std::set<int> missing, refused;
  for (int c : accepted)
    if (!documented.count(c)) missing.insert(c);
  for (int c : documented)
    if (!accepted.count(c)) refused.insert(c);
  EXPECT_TRUE(missing.empty()) << "accepted but not in docs/HOST.md: " << listed(missing);
  EXPECT_TRUE(refused.empty()) << "in docs/HOST.md but refused: " << listed(refused);
}

}  // namespace
