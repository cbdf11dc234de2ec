// The character and submode tables judged by a second encoder: symbols that ZXing-cpp writes
// at every level hold only characters of our table under their row's cluster, row indicators
// as the reader expects them, codewords whose syndromes are all 0, and decode to the payload.
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include <unordered_map>

#include "pdf417_test_util.h"

namespace {

using namespace pdf417test;
using pvk::tools::pdf417::characterKey;
using pvk::tools::pdf417::leftIndicator;
using pvk::tools::pdf417::rightIndicator;

using TablesTest = PdfTest;

std::wstring payloadFor(Rng& rng, int kind)
{
  static const std::wstring text =
      L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 &\r\t,:#-.$/+%*=^;<>@[\\]_`~!\n\"|()?{}'";
  std::wstring p;
  int len = rng.in(1, kind == 2 ? 120 : 60);
  for (int i = 0; i < len; ++i) {
    switch (kind) {
      case 0: p += text[rng.in(0, static_cast<int>(text.size()) - 1)]; break;
      case 1: p += static_cast<wchar_t>(L'0' + rng.in(0, 9)); break;
      default: p += static_cast<wchar_t>(rng.in(0x80, 0xFF)); break;
    }
  }
  return p;
}

TEST_F(TablesTest, SymbolsOfASecondEncoderReadThroughOurTables)
{
  std::unordered_map<uint64_t, int> byKey[3];
  for (int c = 0; c < 3; ++c)
    for (int v = 0; v < 929; ++v)
      ASSERT_TRUE(byKey[c].emplace(tabPdf417[c][v], v).second) << "cluster " << c << " value " << v;
  bool used[3][929] = {};
  Rng rng(15438);
  for (int s = 0; s < 300; ++s) {
    const int level = s % 9;
    std::wstring payload = payloadFor(rng, s % 3);
    ZXing::BitMatrix bm = ZXing::MultiFormatWriter(ZXing::BarcodeFormat::PDF417)
                              .setEccLevel(level)
                              .setMargin(0)
                              .encode(payload, 0, 0);
    SCOPED_TRACE(::testing::Message() << "symbol " << s << " level " << level);
    const int cols = (bm.width() - 69) / 17, rows = bm.height() / 4;
    ASSERT_EQ(bm.width(), 17 * (cols + 3) + 18);
    std::vector<int> stream;
    for (int r = 0; r < rows; ++r) {
      std::vector<uint8_t> m(bm.width());
      for (int x = 0; x < bm.width(); ++x)
        m[x] = bm.get(x, 4 * r) ? 1 : 0;
      for (int c = 0; c < cols + 2; ++c) {
        auto it = byKey[r % 3].find(characterKey(m.data() + 17 * (c + 1)));
        ASSERT_NE(it, byKey[r % 3].end()) << "row " << r << " column " << c;
        used[r % 3][it->second] = true;
        if (c == 0)
          ASSERT_EQ(it->second, leftIndicator(r, rows, cols, level)) << "row " << r;
        else if (c == cols + 1)
          ASSERT_EQ(it->second, rightIndicator(r, rows, cols, level)) << "row " << r;
        else
          stream.push_back(it->second);
      }
    }
    for (int j = 1; j <= (2 << level); ++j)
      ASSERT_EQ(CalcSyndromes(stream.data(), static_cast<int>(stream.size()), j), 0) << j;
    std::string expected;
    for (wchar_t c : payload)
      expected += static_cast<char>(c);
    ASSERT_EQ(decode(stream, level), expected);
  }
  int count = 0;
  for (auto& cluster : used)
    for (bool u : cluster)
      count += u;
  EXPECT_EQ(count, 3 * 929);
}

}  // namespace
