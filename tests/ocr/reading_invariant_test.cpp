// Seeded random readings under random sequences of edits: every box still stands beside the
// character it came with (each entry is tagged in its split field), the count stays inside the
// arrays, which hold exactly max entries, and the terminator stands at the count.
#include <functional>
#include <map>
#include <random>

#include "ocr_post_fixture.h"

namespace pvk::test {
namespace {

constexpr char kAlphabet[] = "ABCE012?. '*,:;<=>1IO5S8";

class ReadingInvariant : public OcrPostTest {
 protected:
  void SetUp() override {
    OcrPostTest::SetUp();
    databases(3, 1.1f, true, false);  // indexes 3..5 stand beyond the list
  }

  // A random reading of up to max - 1 characters with tagged boxes, some of them reversed.
  Reading randomReading(std::mt19937& rng, int max) {
    Reading r(max);
    const int n = std::uniform_int_distribution<int>(0, max - 1)(rng);
    int x = std::uniform_int_distribution<int>(0, 600)(rng);
    for (int i = 0; i < n; ++i) {
      char c = kAlphabet[rng() % (sizeof kAlphabet - 1)];
      if (c == '\r' || (rng() % 40 == 0 && i + 2 < n)) {
        pushTagged(r, '\r', rng, x);
        pushTagged(r, '\n', rng, x);
        ++i;
        continue;
      }
      pushTagged(r, c, rng, x);
    }
    return r;
  }

  void pushTagged(Reading& r, char c, std::mt19937& rng, int& x) {
    const int w = std::uniform_int_distribution<int>(-3, 40)(rng);
    const int top = std::uniform_int_distribution<int>(0, 80)(rng);
    const int h = std::uniform_int_distribution<int>(-2, 50)(rng);
    x += std::uniform_int_distribution<int>(-10, 50)(rng);
    x = std::max(x, 0);
    r.push(c, std::uniform_int_distribution<int>(0, 100)(rng), {x, std::max(0, x + w), top, std::max(0, top + h)}, 1,
           static_cast<uint8_t>(rng() % 6));
    r.box(r.n - 1).split = ++lastTag_;
    original_[lastTag_] = c;
  }

  // Every character that is not a blank keeps the tag it came with, or became unread.
  void expectAligned(Reading& rr, int max, const std::string& op) {
    ASSERT_GE(rr.n, 0) << op;
    ASSERT_LT(rr.n, max) << op;
    EXPECT_EQ(rr.t()[rr.n], '\0') << op;
    for (int i = 0; i < rr.n; ++i) {
      const char c = rr.t()[i];
      if (c == ' ' || c == '?') continue;
      const auto it = original_.find(rr.box(i).split);
      ASSERT_NE(it, original_.end()) << op << " at " << i;
      EXPECT_EQ(it->second, c) << op << " at " << i;
    }
  }

  uint32_t lastTag_ = 0;
  std::map<uint32_t, char> original_;
};

TEST_F(ReadingInvariant, EditsKeepTheArraysAligned) {
  using Op = std::function<void(Reading&, int, std::mt19937&)>;
  const std::vector<std::pair<std::string, Op>> ops = {
      {"remove", [](Reading& r, int, std::mt19937& g) {
         if (r.n > 0) RimuoviCarattere(r.t(), r.c(), r.i(), static_cast<int>(g() % r.n), r.n);
       }},
      {"remove before", [](Reading& r, int, std::mt19937&) { RimuoviCarattere(r.t(), r.c(), r.i(), -1, r.n); }},
      {"insert", [](Reading& r, int max, std::mt19937& g) {
         AggiungiCarattere(' ', 100, ChInfo{}, r.t(), r.c(), r.i(), static_cast<int>(g() % (r.n + 3)) - 1, max, r.n);
       }},
      {"insert fitted", [](Reading& r, int max, std::mt19937& g) {
         ChInfo ci{};
         ci.left = static_cast<uint16_t>(g() % 800);
         ci.right = static_cast<uint16_t>(ci.left + g() % 40);
         int pos = static_cast<int>(g() % (r.n + 2));
         AggiungiEVerifica(' ', 100, ci, r.t(), r.c(), r.i(), pos, r.n, max);
       }},
      {"crlf", [](Reading& r, int, std::mt19937&) { RimuoviCRLF(r.t(), r.c(), r.i(), r.n); }},
      {"unread ends", [](Reading& r, int, std::mt19937&) { RimuoviCHNRInizialiEFinali(r.t(), r.c(), r.i(), r.n); }},
      {"blanks", [](Reading& r, int, std::mt19937&) { RimuoviSpaziEsterniEDoppi(r.t(), r.c(), r.i(), r.n); }},
      {"overlaps", [](Reading& r, int, std::mt19937& g) {
         VerificaCaratteriSovrappostiESpazi(r.t(), r.c(), r.i(), r.n, static_cast<int>(g() % 20));
       }},
      {"isolated", [](Reading& r, int, std::mt19937&) { VerificaSeparati(r.t(), r.c(), r.i(), r.n); }},
      {"line end", [](Reading& r, int, std::mt19937&) { PulisciFineRiga(r.t(), r.c(), r.i(), r.n); }},
      {"above below", [](Reading& r, int, std::mt19937&) { PulisciSottoSopraRiga(r.t(), r.c(), r.i(), r.n); }},
      {"line start", [](Reading& r, int, std::mt19937& g) { PulisciInizioRiga(r.t(), r.c(), r.i(), r.n, g() % 2); }},
      {"amount start", [](Reading& r, int, std::mt19937&) { PulisciInizioRigaAmount(r.t(), r.c(), r.i(), r.n, false); }},
      {"above first", [](Reading& r, int, std::mt19937&) { TagliaCaratteriSopraPrimaLinea(r.t(), r.c(), r.i(), r.n); }},
      {"stamps", [](Reading& r, int, std::mt19937& g) {
         RimuoviTimbri(static_cast<int>(g() % (r.n + 2)) - 1, r.t(), r.c(), r.i(), r.n);
       }},
      {"spacing", [](Reading& r, int max, std::mt19937& g) {
         static const short fonts[] = {4, 944, 945, 935, 41, 39};
         VerificaAggiungiSpazi(r.t(), r.c(), r.i(), r.n, max, fonts[g() % 6]);
       }},
      {"sizes", [](Reading& r, int, std::mt19937& g) {
         if (g() % 2) PulisciFontOCRB(r.t(), r.c(), r.i(), r.n, 0, 0, 0, 0);
         else PulisciMicroperforati(r.t(), r.c(), r.i(), r.n, 3, 0, 0, 40);
       }},
      {"doubled unread", [](Reading& r, int max, std::mt19937&) {
         RimuoviDoppi_CH_NR_e_Piccoli(r.t(), r.c(), r.i(), r.n, max);
       }},
      {"duplicate rows", [](Reading& r, int, std::mt19937&) { VerificaRigheDiverse(r.t(), r.c(), r.i(), r.n, 0); }},
  };
  for (unsigned seed = 1; seed <= 300; ++seed) {
    std::mt19937 rng(seed);
    const int max = seed % 7 == 0 ? 8 : std::uniform_int_distribution<int>(2, kOcrChars)(rng);
    aw = static_cast<uint16_t>(rng() % 30);
    ah = static_cast<uint16_t>(rng() % 50);
    TopPrimaLineaValida = static_cast<uint16_t>(rng() % 60);
    MyOcr.engineScale = 0.5f + static_cast<float>(rng() % 4) * 0.5f;
    Reading r = randomReading(rng, max);
    for (int step = 0; step < 25; ++step) {
      const auto& [name, op] = ops[rng() % ops.size()];
      op(r, max, rng);
      expectAligned(r, max, name + " seed " + std::to_string(seed));
      if (HasFatalFailure()) return;
    }
  }
}

TEST_F(ReadingInvariant, MergesStayInsideTheirArrays) {
  for (unsigned seed = 1; seed <= 200; ++seed) {
    std::mt19937 rng(seed);
    const int max = std::uniform_int_distribution<int>(2, kOcrChars)(rng);
    aw = static_cast<uint16_t>(rng() % 30);
    ah = static_cast<uint16_t>(rng() % 50);
    MyOcr.currentFont = static_cast<int16_t>(std::vector<int>{4, 3, 935, 944, 945, 1, 0, 12}[rng() % 8]);
    MyOcr.multiLine = static_cast<uint8_t>(rng() % 2);
    MyOcr.fixedSize = static_cast<uint8_t>(rng() % 2);
    Reading a = randomReading(rng, max), b = randomReading(rng, max);
    switch (seed % 4) {
      case 0:
        ConfrontaSimili(a.t(), a.c(), a.i(), a.n, b.t(), b.c(), b.i(), b.n, rng() % 2, max, rng() % 2, rng() % 2);
        break;
      case 1:
        ConfrontaMicroforatura(a.t(), a.c(), a.i(), a.n, b.t(), b.c(), b.i(), b.n, 10, rng() % 2, 935,
                               static_cast<short>(max), rng() % 2);
        break;
      case 2:
        CalCumulaConf(a.t(), a.c(), a.i(), a.n, rng() % 2, 0);
        break;
      default: {
        bool complete = false;
        IsAssegnoItalia(a.t(), a.c(), a.i(), a.n, complete, true);
        VerificaMicroforaturaConPulizia(b.t(), b.c(), b.i(), b.n);
      }
    }
    for (Reading* r : {&a, &b}) {
      ASSERT_GE(r->n, 0) << seed;
      ASSERT_LT(r->n, max) << seed;
    }
  }
}

TEST_F(ReadingInvariant, NullArraysWhereAllowed) {
  Reading r = Reading::of("AB CD");
  RimuoviCarattere(r.t(), nullptr, nullptr, 1, r.n);
  EXPECT_EQ(r.str(), "A CD");
  AggiungiCarattere('x', 1, ChInfo{}, r.t(), nullptr, nullptr, 0, kOcrChars, r.n);
  EXPECT_EQ(r.str(), "xA CD");
  RimuoviSpaziEsterniEDoppi(r.t(), r.c(), nullptr, r.n);
  int total = 50;
  RiduciConfidenza(total, nullptr, r.n, 0.5f, true);
  EXPECT_EQ(total, 25);
  char worst = 0;
  int count = 0;
  CercaCaratterePeggiore(r.t(), r.c(), nullptr, r.n, worst, count);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(ConfrontaSimili(r.t(), nullptr, r.i(), r.n, r.t(), r.c(), r.i(), r.n, true, kOcrChars, true, true), 0);
  EXPECT_FALSE(MicorforaturaOK(945, nullptr, nullptr, 3));
  EXPECT_TRUE(daMigliorareBollettiniItalia(nullptr, nullptr, 3));
}

}  // namespace
}  // namespace pvk::test
