// Editing and clean-up of the codeline arrays: the edge cases of each operation, and a seeded
// property test that drives thousands of random edit sequences and checks after every step that
// the count stays in range, the text is terminated and the five arrays stay aligned.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "../core/core_test_util.h"
#include "codeline_fixture.h"
#include "micr/micr.h"

namespace pvk::test {
namespace {

TEST(CodelineEdit, RemovingBesideABlankRepairsTheBlank) {
  Line a("12 ?3");
  int index = 3;
  RimuoviCarEDecrementa(a.text, a.conf, a.start, a.end, a.height, index, a.n);
  EXPECT_EQ(a.str(), "12 3");
  EXPECT_EQ(index, 2);
  EXPECT_EQ(a.end[2], a.start[3] - 1) << "the blank reaches the digit";
  EXPECT_EQ(a.height[3], 6) << "the digit's own entry moved down";

  Line b("12 ?");
  index = 3;
  RimuoviCarEDecrementa(b.text, b.conf, b.start, b.end, b.height, index, b.n);
  EXPECT_EQ(b.str(), "12");
  EXPECT_EQ(index, 1);
  EXPECT_EQ(b.text[2], 0);
  EXPECT_EQ(b.conf[2], 0);

  Line c(" ?1");  // a blank at position 0 is not repaired
  index = 1;
  RimuoviCarEDecrementa(c.text, c.conf, c.start, c.end, c.height, index, c.n);
  EXPECT_EQ(c.str(), " 1");
  EXPECT_EQ(c.end[0], 110);
  EXPECT_EQ(index, 0);

  Line d("1 ?");  // text and confidence only: no repair
  index = 2;
  RimuoviCarEDecrementa(d.text, d.conf, index, d.n);
  EXPECT_EQ(d.str(), "1 ");
  EXPECT_EQ(index, 1);

  for (int bad : {-1, 3, 50}) {
    Line e("1 ?");
    index = bad;
    RimuoviCarEDecrementa(e.text, e.conf, e.start, e.end, e.height, index, e.n);
    RimuoviCar(e.text, e.conf, bad, e.n);
    EXPECT_EQ(e.str(), "1 ?");
    EXPECT_EQ(index, bad);
  }
}

TEST(CodelineEdit, InsertionsShiftAppendAndStopAt127) {
  Line a("123");
  AggungiCar(a.text, a.conf, a.start, a.end, a.height, 1, a.n, 'x', 7, 1, 2, 99);
  EXPECT_EQ(a.str(), "1x23");
  EXPECT_EQ(a.height[1], 99);
  EXPECT_EQ(a.height[2], 3);
  EXPECT_EQ(a.start[3], 140);
  AggungiCar(a.text, a.conf, a.start, a.end, nullptr, 9, a.n, 'y', 7, 1, 2, 0);
  EXPECT_EQ(a.str(), "1x23y") << "a position past the end appends";
  EXPECT_EQ(a.text[5], 0);
  EXPECT_EQ(a.conf[5], 0);

  Line full(std::string(127, '5'));
  AggungiCar(full.text, full.conf, full.start, full.end, full.height, 0, full.n, 'x', 7, 1, 2, 0);
  EXPECT_EQ(full.n, 127);
  EXPECT_EQ(full.text[0], '5');
  Line almost(std::string(126, '5'));
  AggungiCar(almost.text, almost.conf, almost.start, almost.end, almost.height, 126, almost.n, 'x', 7, 1, 2, 0);
  EXPECT_EQ(almost.n, 127);
  EXPECT_EQ(almost.text[127], 0);
}

TEST(CodelineEdit, CopiesTakeHeightsOnlyWhenBothHaveThem) {
  Line a("12"), b("34");
  SostituisciCarattereCMC(a.text, a.conf, a.start, a.end, a.height, 1, b.text, b.conf, b.start, b.end, nullptr, 0);
  EXPECT_EQ(b.str(), "24");
  EXPECT_EQ(b.start[0], 120);
  SostituisciCarattereCMC(a.text, a.conf, a.start, a.end, nullptr, 0, b.text, b.conf, b.start, b.end, b.height, 1);
  EXPECT_EQ(b.str(), "21");
  EXPECT_EQ(b.height[1], 3) << "kept";
  SostituisciCarattereCMC(a.text, a.conf, a.start, a.end, a.height, 0, 1);
  EXPECT_EQ(a.str(), "22");
  EXPECT_EQ(a.height[0], 3);
}

TEST(CodelineEdit, UnreadRemovalKeepsOneBlankBetweenSymbols) {
  Line a(" ?1  2? ");
  RimuoviCHNR(a.text, a.conf, a.start, a.end, a.height, a.n);
  EXPECT_EQ(a.str(), "1 2");
  EXPECT_EQ(a.end[1], 190) << "the first blank takes the second one's end";
  EXPECT_EQ(a.height[2], 7);
}

TEST(CodelineEdit, UnreadSymbolsAreTrimmedToTheirRoomAndDroppedWhenTooSmall) {
  // squeezed between two read symbols: room 130 - 120 = 10 < w
  Line a;
  a.add('1', 50, 100, 120).add('?', 1, 115, 135).add('2', 50, 130, 150);
  VerificaCHNR(a.text, a.conf, a.start, a.end, a.height, a.n, 30);
  EXPECT_EQ(a.str(), "12");
  // wide room, wide enough: kept, bounds untouched
  Line b;
  b.add('1', 50, 100, 110).add('?', 1, 130, 170).add('2', 50, 200, 210);
  VerificaCHNR(b.text, b.conf, b.start, b.end, b.height, b.n, 30);
  EXPECT_EQ(b.str(), "1?2");
  // trimmed by its neighbours to 121..139: width 18 <= 2 x 30 / 3
  Line c;
  c.add('1', 50, 100, 120).add('?', 1, 110, 160).add('2', 50, 140, 150).add('3', 50, 400, 410);
  VerificaCHNR(c.text, c.conf, c.start, c.end, c.height, c.n, 10);
  EXPECT_EQ(c.str(), "1?23");
  EXPECT_EQ(c.start[1], 121);
  EXPECT_EQ(c.end[1], 139);
  VerificaCHNR(c.text, c.conf, c.start, c.end, c.height, c.n, 30);
  EXPECT_EQ(c.str(), "123");
  // an unread symbol beside a blank is judged by its width alone
  Line d;
  d.add(' ', 100, 0, 90).add('?', 1, 100, 121).add('2', 50, 125, 135);
  VerificaCHNR(d.text, d.conf, d.start, d.end, d.height, d.n, 30);
  EXPECT_EQ(d.str(), " ?2");
}

TEST(CodelineEdit, BlanksGoOnlyIntoWideGapsAndNeverPast127) {
  Line a;
  a.add('1', 50, 100, 110).add(' ', 100, 111, 129).add('2', 50, 130, 140).add('3', 50, 200, 210).add('4', 50, 212,
                                                                                                        222);
  VerificaAggiungiSpazi(a.text, a.conf, a.start, a.end, a.height, a.n, 30);
  EXPECT_EQ(a.str(), "12 34") << "the old blank goes (gap 20), a new one comes (gap 60)";
  EXPECT_EQ(a.confs()[2], 4);
  EXPECT_EQ(a.start[2], 141);
  EXPECT_EQ(a.end[2], 199);
  EXPECT_EQ(a.height[2], 1);
  Line b("12", 50, 100);
  VerificaAggiungiSpazi(b.text, b.conf, b.start, b.end, b.height, b.n, 30, true);
  EXPECT_EQ(b.str(), "1 2");
  EXPECT_EQ(b.confs()[1], 100);

  Line full(std::string(126, '7'), 50, 100);
  VerificaAggiungiSpazi(full.text, full.conf, full.start, full.end, full.height, full.n, 30);
  EXPECT_EQ(full.n, 127);
  EXPECT_EQ(full.str(), "7 " + std::string(125, '7'));
  EXPECT_EQ(full.text[127], 0);
}

TEST(CodelineEdit, CharactersTooCloseLoseConfidence) {
  InitDatiCMC(0, 1.0f);  // minimum distance 12
  Line a;
  a.add('1', 50, 100, 110).add('2', 9, 121, 131).add('3', 2, 140, 150).add('4', 50, 200, 210).add('?', 1, 215, 225);
  VerificaCaratteriTroppoVicini(a.text, a.conf, a.start, a.end, a.n);
  EXPECT_EQ(a.str(), "12?4?");
  EXPECT_EQ(a.confs(), (std::vector<int>{50, 8, 1, 50, 1}));
  Line b;
  b.add(' ', 100, 100, 110).add('2', 9, 111, 121).add('3', 9, 133, 143);
  VerificaCaratteriTroppoVicini(b.text, b.conf, b.start, b.end, b.n);
  EXPECT_EQ(b.confs(), (std::vector<int>{100, 9, 9})) << "after a blank, and at distance 12";
}

TEST(CodelineEdit, ConfidenceWithoutBars) {
  struct Case {
    int a, b, c;
    char in;
    int r;
    char out;
  };
  const Case cases[] = {{50, 100, 45, '7', 5, '?'}, {50, 100, 40, '7', 10, '7'}, {50, 9, 0, '7', 9, '?'},
                        {5, 100, 50, '7', 1, '?'},   {90, 80, 0, '7', 80, '7'},  {20, 100, 0, '?', 20, '?'}};
  for (const Case& k : cases) {
    char ch = k.in;
    EXPECT_EQ(ConfMicrNoBarre(k.a, k.b, k.c, ch), k.r) << k.a << " " << k.b << " " << k.c;
    EXPECT_EQ(ch, k.out);
  }
}

TEST(CodelineEdit, MinimalChequeCleanUp) {
  struct Case {
    std::string in;
    int conf;
    std::string out;
  };
  const Case cases[] = {
      {"??:123:??", 80, ":123:"},
      {" ?:123:? ", 80, ":123:"},
      {" 1  2 ", 80, "1 2"},
      {"  1   2  ", 80, "1 2"},
      {"?1:23", 80, "?1:23"},           // the first symbol is no separator
      {"?????1:", 80, "?????1:"},        // the separator is not among the first five
      {"12:45?", 80, "12:45?"},         // a sure digit ends the trailing scan
      {"12:45?", 40, "12:45"},          // weak digits are passed over up to the separator
      {"?:", 80, ":"},
      {"?", 80, "?"},
  };
  for (const Case& k : cases) {
    Line a(k.in, k.conf);
    PulisciAssegniMinima(a.text, a.conf, a.n);
    EXPECT_EQ(a.str(), k.out) << "'" << k.in << "'";
    EXPECT_EQ(a.text[a.n], 0);
  }
  std::string t = std::string(11, '1') + "=?" + std::string(9, '2') + ">" + std::string(9, '3') + "<";
  t[23] = '?';
  ASSERT_EQ(t.size(), 33u);
  Line b(t, 80);
  PulisciAssegniMinima(b.text, b.conf, b.n);
  std::string expect = t;
  expect[12] = ' ';
  expect[23] = ' ';
  EXPECT_EQ(b.str(), expect);
}

class CodelineTrace : public TraceTest {};

TEST_F(CodelineTrace, ConfidenceLineHasOneDigitPerEntry) {
  openTrace();
  const char conf[] = {110, 100, 127, 99, 50, 9, 0, -5};
  TraceCnf(conf, 8);
  TraceCnf(conf, 0);
  EXPECT_EQ(trace(), "BAA9500" "0\r\n");
}

// ---- Property test ----------------------------------------------------------------------------

struct Entry {
  char t;
  int c, s, e, h;
};

std::vector<Entry> entries(const Line& l) {
  std::vector<Entry> v;
  for (int i = 0; i < l.n; ++i) v.push_back({l.text[i], static_cast<signed char>(l.conf[i]), l.start[i], l.end[i], l.height[i]});
  return v;
}

void checkShape(const Line& l) {
  ASSERT_GE(l.n, 0);
  ASSERT_LE(l.n, 127);
  ASSERT_EQ(l.text[l.n], 0);
}

// After a clean-up: surviving tagged entries keep their order, and a read symbol its bounds.
void checkSurvivors(const std::vector<Entry>& before, const Line& after) {
  std::map<int, size_t> at;
  for (size_t k = 0; k < before.size(); ++k) at[before[k].h] = k;
  long last = -1;
  for (int i = 0; i < after.n; ++i) {
    if (after.height[i] == 1) {
      ASSERT_EQ(after.text[i], ' ');
      continue;
    }
    const auto it = at.find(after.height[i]);
    ASSERT_NE(it, at.end()) << "entry " << i << " lost its tag";
    ASSERT_GT(static_cast<long>(it->second), last) << "order";
    last = static_cast<long>(it->second);
    const Entry& was = before[it->second];
    if (micr::isRead(after.text[i])) {
      ASSERT_EQ(after.text[i], was.t);
      ASSERT_EQ(after.start[i], was.s);
      ASSERT_EQ(after.end[i], was.e);
    }
  }
}

TEST(CodelineProperty, RandomEditSequencesKeepTheArraysAligned) {
  std::mt19937 rng(20231);
  const std::string alphabet = "0123456789:;<=>?  ";
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  int tag = 2;
  InitDatiCMC(0, 1.0f);
  for (int seq = 0; seq < 1500; ++seq) {
    Line a;
    const int len = pick(0, 127);
    int x = pick(0, 50);
    for (int i = 0; i < len; ++i) {
      const int w = pick(1, 30);
      a.add(alphabet[pick(0, static_cast<int>(alphabet.size()) - 1)], pick(-5, 110), x, x + w);
      a.height[i] = tag++;
      x += w + pick(-5, 60);
    }
    std::vector<Entry> model = entries(a);
    for (int step = 0; step < 12; ++step) {
      const int op = pick(0, 9);
      const std::vector<Entry> before = entries(a);
      if (op == 0) {
        const int pos = pick(-2, a.n + 3);
        const Entry e{alphabet[pick(0, 15)], pick(1, 100), pick(0, 4000), pick(0, 4000), tag++};
        AggungiCar(a.text, a.conf, a.start, a.end, a.height, pos, a.n, e.t, static_cast<char>(e.c), e.s, e.e, e.h);
        if (pos >= 0 && model.size() < 127) model.insert(model.begin() + std::min<size_t>(pos, model.size()), e);
      } else if (op == 1) {
        const int idx = pick(-1, a.n);
        RimuoviCar(a.text, a.conf, a.start, a.end, a.height, idx, a.n);
        if (idx >= 0 && idx < static_cast<int>(model.size())) model.erase(model.begin() + idx);
      } else if (op == 2 && a.n > 0) {
        int idx = pick(0, a.n - 1);
        const int was = idx;
        RimuoviCarEDecrementa(a.text, a.conf, a.start, a.end, a.height, idx, a.n);
        model.erase(model.begin() + was);
        int back = 1;
        if (was > 1 && model[was - 1].t == ' ') {
          if (was < static_cast<int>(model.size())) {
            model[was - 1].e = model[was].s - 1;
          } else {
            model.pop_back();
            back = 2;
          }
        }
        ASSERT_EQ(idx, was - back);
      } else if (op == 3 && a.n > 0) {
        const int k = pick(0, a.n - 1), j = pick(0, a.n - 1);
        SostituisciCarattereCMC(a.text, a.conf, a.start, a.end, a.height, k, j);
        model[k] = model[j];
        model[k].h = a.height[k] = tag++;  // keep tags unique
      } else if (op >= 4 && op <= 8) {
        if (op == 4) RimuoviCHNR(a.text, a.conf, a.start, a.end, a.height, a.n);
        if (op == 5) VerificaCHNR(a.text, a.conf, a.start, a.end, a.height, a.n, pick(0, 40));
        if (op == 6) VerificaAggiungiSpazi(a.text, a.conf, a.start, a.end, a.height, a.n, pick(0, 60), pick(0, 1));
        if (op == 7) VerificaCaratteriTroppoVicini(a.text, a.conf, a.start, a.end, a.n);
        if (op == 8) PulisciAssegniMinima(a.text, a.conf, a.n);
        ASSERT_NO_FATAL_FAILURE(checkShape(a));
        if (op != 8) {
          ASSERT_NO_FATAL_FAILURE(checkSurvivors(before, a));
        } else {  // text and confidence only: the other arrays are re-tagged
          for (int i = 0; i < a.n; ++i) a.height[i] = tag++;
        }
        model = entries(a);
      } else if (op == 9) {
        Line b;
        int y = pick(0, 80);
        for (int i = pick(0, 127); i > 0; --i) {
          const int w = pick(1, 30);
          b.add(alphabet[pick(0, static_cast<int>(alphabet.size()) - 1)], pick(-5, 110), y, y + w);
          y += w + pick(-5, 60);
        }
        int dis = -1;
        ConfrontaCMCMag(a.text, a.conf, a.start, a.end, a.n, b.text, b.conf, b.start, b.end, b.n, pick(0, 20),
                        pick(1, 20), pick(10, 60), pick(50, 110), 0, dis, pick(0, 1));
        ASSERT_NO_FATAL_FAILURE(checkShape(b));
        ASSERT_GE(dis, 0);
        for (int i = 0; i < a.n; ++i) a.height[i] = tag++;
        model = entries(a);
      }
      ASSERT_NO_FATAL_FAILURE(checkShape(a));
      const std::vector<Entry> now = entries(a);
      ASSERT_EQ(now.size(), model.size()) << "seq " << seq << " op " << op;
      for (size_t k = 0; k < now.size(); ++k) {
        ASSERT_EQ(now[k].t, model[k].t) << "seq " << seq << " op " << op << " at " << k;
        ASSERT_EQ(now[k].s, model[k].s);
        ASSERT_EQ(now[k].e, model[k].e);
        ASSERT_EQ(now[k].h, model[k].h);
      }
    }
  }
}

}  // namespace
}  // namespace pvk::test
