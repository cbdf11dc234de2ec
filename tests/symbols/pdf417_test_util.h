// Shared by the PDF417 tests: a trace in a scratch directory, seeded randomness, and codeword
// streams of symbols that zint encodes, read back through our character table.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/records.h"
#include "pdf417_model.h"
#include "symbols/symbols.h"

namespace pdf417test {

using pvk::tools::pdf417::Modules;
using pvk::tools::pdf417::Request;

using pvk::tools::pdf417::Rng;

class PdfTest : public ::testing::Test {
 protected:
  void SetUp() override
  {
    char tmpl[] = "/tmp/pvkpdfXXXXXX";
    dir_ = mkdtemp(tmpl);
    std::memset(&MyLog, 0, sizeof MyLog);
    MyLog.Log = 1;
    std::snprintf(MyLog.tracePath, sizeof MyLog.tracePath, "%s/trace.log", dir_.c_str());
    MyDev.lastResult = 0;
  }
  void TearDown() override
  {
    std::memset(&MyLog, 0, sizeof MyLog);
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  std::string trace() const
  {
    std::ifstream in(dir_ + "/trace.log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool traced(const std::string& text) const { return trace().find(text) != std::string::npos; }

  std::string dir_;
};

// The level a symbol's row indicators give (row 1, left).
inline int levelOf(const std::vector<std::vector<int>>& rowCw) { return rowCw[1][0] % 30 / 3; }

// The codeword stream of a zint symbol (data and checks, row after row) and its level.
inline bool zintStream(const Request& rq, std::vector<int>& cw, int& level, Modules* modules = nullptr)
{
  Modules m;
  std::string err;
  if (!pvk::tools::pdf417::encode(rq, m, &err)) {
    ADD_FAILURE() << "zint: " << err;
    return false;
  }
  auto rows = pvk::tools::pdf417::readCodewords(m, tabPdf417);
  if (m.rows < 2)
    return false;
  level = levelOf(rows);
  cw = pvk::tools::pdf417::dataStream(rows);
  if (modules)
    *modules = m;
  return true;
}

// Decodes a stream as the reader would, with a generous buffer.
inline std::string decode(std::vector<int> cw, int level, int* length = nullptr)
{
  std::vector<char> text(4096, 'X');
  int n = AnalyzeRuns(static_cast<int>(cw.size()), cw.data(), text.data(), level,
                      static_cast<unsigned short>(text.size()));
  if (length)
    *length = n;
  return std::string(text.data(), n > 0 ? static_cast<size_t>(n) : 0);
}

// A whole stream built by hand: descriptor, data, 900 pads up to dataCount, then the checks.
inline std::vector<int> handStream(std::vector<int> data, int level, int dataCount = 0)
{
  data.insert(data.begin(), 0);
  if (dataCount < static_cast<int>(data.size()))
    dataCount = static_cast<int>(data.size());
  while (static_cast<int>(data.size()) < dataCount)
    data.push_back(900);
  data[0] = dataCount;
  auto checks = pvk::tools::pdf417::checkCodewords(data, level);
  data.insert(data.end(), checks.begin(), checks.end());
  return data;
}

}  // namespace pdf417test
