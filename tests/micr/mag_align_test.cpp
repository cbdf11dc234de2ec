// Alignment of a magnetic reading with the optical one: a reading shifted by a known amount is
// put back on the other at several tolerances, in both directions, with the marks and counts of
// its agreement; equally good shifts are averaged; entries near the window's ends are blanked.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "micr/micr.h"

namespace {

struct Line {
  char text[128] = {};
  int start[128] = {};
  int end[128] = {};
  int n = 0;
  // Characters every `pitch` samples from `first`, each `width` wide; blanks take their cell.
  Line(const std::string& s, int first, int pitch = 125, int width = 94) {
    for (char c : s) {
      text[n] = c;
      start[n] = first + n * pitch;
      end[n] = start[n] + width;
      ++n;
    }
  }
  std::string str() const { return std::string(text, text + n); }
};

TEST(ValutaCMC, PutsAShiftedReadingBackOnTheOther) {
  for (int tol : {30, 60, 95}) {
    for (int shift : {-3 * tol, -tol, -7, 0, 5, tol / 2, 2 * tol, 3 * tol + 1}) {
      Line a("12345:6789", 1000), b("12345:6789", 1000 + shift);
      char marks[128];
      std::memset(marks, 9, sizeof marks);
      int agree = -1, disagree = -1;
      const int s = ValutaCMC(a.text, a.start, a.end, a.n, marks, b.text, b.start, b.end, b.n, tol, agree,
                              disagree, true, 0, 5000);
      // Candidate shifts step by max(1, tol / 12): a shift between two steps lands on the
      // mean of the steps that match, within one step.
      const int step = std::max(1, tol / 3 / 4);
      EXPECT_NEAR(s, shift, step) << "tol " << tol << " shift " << shift;
      EXPECT_EQ(agree, 10);
      EXPECT_EQ(disagree, 0);
      for (int i = 0; i < 10; ++i) {
        EXPECT_NEAR(b.start[i], a.start[i], step);
        EXPECT_EQ(marks[i], 2) << i;
      }
      EXPECT_EQ(marks[10], 9) << "marks past A's count are not written";
    }
  }
}

TEST(ValutaCMC, ExactShiftsAreFoundExactly) {
  // tol 48: step 4; a shift of 12 matches at X = 4 .. 20 when |d| < 16: 8, 12, 16 are the
  // candidates with both ends within 15 ... all have the same counts, their mean is 12.
  Line a("0123456789", 500), b("0123456789", 512);
  int agree = 0, disagree = 0;
  EXPECT_EQ(ValutaCMC(a.text, a.start, a.end, a.n, nullptr, b.text, b.start, b.end, b.n, 48, agree, disagree,
                      true, 0, 3000),
            12);
  EXPECT_EQ(b.start[0], 500);
  EXPECT_EQ(b.end[9], a.end[9]);
}

TEST(ValutaCMC, MarksTellAgreementFromAnotherSymbol) {
  Line a("12?45:6789", 1000), b("12345:6089", 990);
  char marks[128] = {};
  int agree = 0, disagree = 0;
  const int s = ValutaCMC(a.text, a.start, a.end, a.n, marks, b.text, b.start, b.end, b.n, 95, agree, disagree,
                          true, 0, 5000);
  EXPECT_NEAR(s, -10, 7);
  EXPECT_EQ(agree, 8);
  EXPECT_EQ(disagree, 1) << "7 against 0; the '?' counts neither way";
  const char want[10] = {2, 2, 1, 2, 2, 2, 2, 1, 2, 2};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(marks[i], want[i]) << i;
}

TEST(ValutaCMC, BlanksAreDroppedAndEndsBlanked) {
  Line a("12 34 56", 100), b("", 0);
  int agree = 0, disagree = 0;
  char marks[128] = {};
  // Put b where a is: move its characters into a's cells (a's blanks sit in cells 2 and 5).
  const int cells[6] = {0, 1, 3, 4, 6, 7};
  b.n = 0;
  for (int k = 0; k < 6; ++k) {
    b.text[b.n] = "123456"[k];
    b.start[b.n] = 130 + cells[k] * 125;
    b.end[b.n] = b.start[b.n] + 94;
    ++b.n;
  }
  const int s = ValutaCMC(a.text, a.start, a.end, a.n, marks, b.text, b.start, b.end, b.n, 95, agree, disagree,
                          true, 140, 1000);
  EXPECT_EQ(a.n, 6);
  EXPECT_EQ(a.str(), "123456");
  EXPECT_NEAR(s, 30, 7);
  EXPECT_EQ(agree, 6);
  // After the shift b's first cell starts near 100 (at or before 140 + 29) and its last ends
  // near 1070 (at or after 1000 - 29): both become blanks, the others stay.
  EXPECT_EQ(std::string(b.text, b.text + 6), " 2345 ");
}

TEST(ValutaCMC, NothingToAlign) {
  Line a("123", 100), b("", 100), far("999", 90000);
  int agree = 5, disagree = 5;
  char marks[128];
  std::memset(marks, 7, sizeof marks);
  EXPECT_EQ(ValutaCMC(a.text, a.start, a.end, a.n, marks, b.text, b.start, b.end, b.n, 95, agree, disagree, true,
                      0, 1000),
            0);
  EXPECT_EQ(agree, 0);
  EXPECT_EQ(disagree, 0);
  int big = 129;
  EXPECT_EQ(ValutaCMC(a.text, a.start, a.end, a.n, marks, far.text, far.start, far.end, big, 95, agree, disagree,
                      true, 0, 1000),
            0);
  // No shift brings any pair together: marks cleared, B untouched.
  EXPECT_EQ(ValutaCMC(a.text, a.start, a.end, a.n, marks, far.text, far.start, far.end, far.n, 95, agree,
                      disagree, true, 0, 100000),
            0);
  EXPECT_EQ(marks[0], 0);
  EXPECT_EQ(marks[2], 0);
  EXPECT_EQ(marks[3], 7);
  EXPECT_EQ(far.start[0], 90000);
}

}  // namespace
