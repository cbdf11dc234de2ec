// The joined output of a document's zones: the loop's running output with each slot's place
// recorded, and its rewrite in caller order within the caller's buffer, at every buffer size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "core/records.h"
#include "reading/reading.h"

namespace {

using pvk::reading::ZoneOutput;

constexpr char kGuard = 0x5A;
constexpr int kGuardBytes = 8;

// One working slot as the loop meets it: its reading, or a stop that skips it.
struct Slot {
  std::string reading;
  bool stopped = false;
  int16_t font = 4;
};

struct Result {
  std::string text, conf;
  std::vector<uint16_t> counts;
  bool cut = false;      // the rewrite cut
  bool loopCut = false;  // a reader was cut, or a slot found no room (the reader's own warning)
  bool guardsKept = true;
};

// Runs slots through the output as the zone loop does (each reader bounded by the room left,
// the terminator counted), then rewrites them with callerSlot[i] the slot of caller zone i.
Result run(const std::vector<Slot>& slots, const std::vector<int>& callerSlot, int size) {
  std::vector<char> text(static_cast<size_t>(size + kGuardBytes), kGuard);
  std::vector<char> conf(text);
  ZoneOutput out;
  Result r;
  pvk::reading::startOutput(out, text.data(), conf.data(), size);
  for (int s = 0; s < static_cast<int>(slots.size()); ++s) {
    if (slots[s].stopped) continue;
    if (s > 0 && !pvk::reading::separateSlot(out, s)) {
      r.loopCut = true;
      continue;
    }
    const int room = out.capacity - 1;
    const int n = std::min(static_cast<int>(slots[s].reading.size()), std::max(room, 0));
    r.loopCut = r.loopCut || n < static_cast<int>(slots[s].reading.size());
    std::memcpy(pvk::reading::slotText(out), slots[s].reading.data(), static_cast<size_t>(n));
    std::memset(pvk::reading::slotConf(out), 60, static_cast<size_t>(n));
    pvk::reading::recordSlot(out, s, n);
  }
  std::vector<int16_t> fonts;
  for (int s : callerSlot) fonts.push_back(slots[static_cast<size_t>(s)].font);
  r.counts.resize(callerSlot.size());
  const int n = pvk::reading::arrangeOutput(out, callerSlot.data(), fonts.data(), static_cast<int>(callerSlot.size()),
                                            r.counts.data(), r.cut);
  r.text.assign(text.data());
  r.conf.assign(conf.data(), static_cast<size_t>(std::max(n, 0)));
  EXPECT_EQ(static_cast<int>(r.text.size()), n);
  for (int i = size; i < size + kGuardBytes; ++i) r.guardsKept = r.guardsKept && text[i] == kGuard && conf[i] == kGuard;
  return r;
}

std::vector<int> identity(size_t n) {
  std::vector<int> v(n);
  std::iota(v.begin(), v.end(), 0);
  return v;
}

class ZoneOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLog_ = MyLog;
    MyLog.Log = 0;
  }
  void TearDown() override { MyLog = savedLog_; }
  LogInfo savedLog_;
};

TEST_F(ZoneOutputTest, ZonesAreTabJoinedWithSeparatorConfidenceAndCounts) {
  const Result r = run({{"A"}, {""}, {"BC"}}, identity(3), 64);
  EXPECT_EQ(r.text, "A\t\tBC");
  EXPECT_EQ(r.conf, std::string("<d") + "d<<");
  EXPECT_EQ(r.counts, (std::vector<uint16_t>{1, 0, 2}));
  EXPECT_FALSE(r.cut);
}

TEST_F(ZoneOutputTest, CallerOrderIsRestoredAndAStoppedSlotKeepsTheOthersInPlace) {
  // Slot 1 skipped by a stop writes no separator: the places recorded still find slot 2.
  const std::vector<Slot> slots = {{"MICR123"}, {"XYZ", true}, {"ocr"}, {"Q"}};
  const Result r = run(slots, {2, 3, 1, 0}, 64);
  EXPECT_EQ(r.text, "ocr\tQ\t\tMICR123");
  EXPECT_EQ(r.counts, (std::vector<uint16_t>{3, 1, 0, 7}));
  EXPECT_FALSE(r.cut);
}

TEST_F(ZoneOutputTest, AMicrZoneReadFirstIsCutWhenTheCallerPutsItLast) {
  // Size 11: the 10-character band read first fills the buffer, the OCR zone finds no room,
  // and the caller's order needs a TAB before the band.
  const Result r = run({{"0123456789", false, 33}, {"OCR"}}, {1, 0}, 11);
  EXPECT_EQ(r.text, "\t012345678");
  EXPECT_EQ(r.counts, (std::vector<uint16_t>{0, 9}));
  EXPECT_TRUE(r.cut);
  EXPECT_TRUE(r.guardsKept);
}

TEST_F(ZoneOutputTest, EverySizeStaysInsideTheBufferWithCountsOfWhatWasWritten) {
  const std::vector<Slot> slots = {{"0123456789"}, {"A"}, {""}, {"BC"}, {"WXYZ", true}, {"long zone text"}};
  const std::vector<int> order = {3, 0, 5, 2, 4, 1};
  const Result full = run(slots, order, 200);
  ASSERT_EQ(full.text, "BC\t0123456789\tlong zone text\t\t\tA");
  for (int size = 1; size <= static_cast<int>(full.text.size()) + 1; ++size) {
    SCOPED_TRACE(size);
    const Result r = run(slots, order, size);
    EXPECT_TRUE(r.guardsKept);
    EXPECT_LE(static_cast<int>(r.text.size()), size - 1);
    EXPECT_EQ(r.cut || r.loopCut, r.text != full.text);
    // Zone by zone the output holds a prefix of the reading, TAB-joined, as counted.
    size_t pos = 0;
    for (size_t i = 0; i < order.size(); ++i) {
      if (i > 0 && pos < r.text.size()) {
        ASSERT_EQ(r.text[pos], '\t');
        EXPECT_EQ(r.conf[pos], 'd');
        ++pos;
      } else if (i > 0) {
        EXPECT_EQ(r.counts[i], 0u) << "zones past the cut are empty";
        continue;
      }
      const std::string& reading = slots[static_cast<size_t>(order[i])].reading;
      EXPECT_EQ(r.text.substr(pos, r.counts[i]), reading.substr(0, r.counts[i]));
      pos += r.counts[i];
    }
    EXPECT_EQ(pos, r.text.size());
  }
}

TEST_F(ZoneOutputTest, TheOutputLimitCutsTheSlotThatCrossesItAndKeepsCountsTrue) {
  const std::vector<Slot> slots = {{std::string(3000, 'a')}, {std::string(3000, 'b')}};
  const Result r = run(slots, {1, 0}, 9000);
  // The loop wrote 6001 characters; the first 4095 survive: all of slot 0, 1094 of slot 1.
  EXPECT_EQ(r.counts, (std::vector<uint16_t>{1094, 3000}));
  EXPECT_EQ(r.text, std::string(1094, 'b') + "\t" + std::string(3000, 'a'));
  EXPECT_TRUE(r.guardsKept);
  // 4096 characters are still within the limit.
  const Result edge = run({{std::string(2047, 'a')}, {std::string(2048, 'b')}}, {0, 1}, 9000);
  EXPECT_EQ(edge.counts, (std::vector<uint16_t>{2047, 2048}));
  EXPECT_FALSE(edge.cut);
  // A stopped slot wrote no separator: the one the caller's order needs must not carry the
  // output past the limit.
  const Result stopped = run({{std::string(2047, 'a')}, {"x", true}, {std::string(2048, 'b')}}, {0, 1, 2}, 9000);
  EXPECT_EQ(stopped.counts, (std::vector<uint16_t>{2047, 0, 2047}));
  EXPECT_EQ(stopped.text.size(), 4096u);
  EXPECT_TRUE(stopped.cut);
}

TEST_F(ZoneOutputTest, AKeptReadingIsCopiedWithinTheRoomLeft) {
  std::vector<char> text(100 + kGuardBytes, kGuard), conf(text);
  ZoneOutput out;
  pvk::reading::startOutput(out, text.data(), conf.data(), 100);
  const std::string dm(255, 'M');
  EXPECT_FALSE(pvk::reading::putSlot(out, 0, dm.data(), dm.data(), 255));
  EXPECT_EQ(out.length[0], 99);
  EXPECT_EQ(out.capacity, 1);
  EXPECT_FALSE(pvk::reading::separateSlot(out, 1)) << "no more space";
  EXPECT_EQ(out.capacity, 0);
  EXPECT_TRUE(pvk::reading::putSlot(out, 1, "", nullptr, 0));
  EXPECT_EQ(text[99], 0);
  EXPECT_EQ(text[100], kGuard);
}

TEST_F(ZoneOutputTest, ASlotRecordedAtTheWholeCapacityLeavesTheTerminatorsByte) {
  // The loop records what a reader says it wrote: a count of the whole room must not take the
  // byte of the NUL, whether the slot is the first or follows a separator.
  struct Case {
    bool second;
    int extra;  // count = capacity + extra
    int kept;   // characters recorded, as an offset from the capacity
  };
  const Case cases[] = {{false, 0, -1}, {false, -1, -1}, {false, -2, -2}, {false, 5, -1}, {true, 0, -1}, {true, -2, -2}};
  for (const Case& c : cases) {
    std::vector<char> text(16, kGuard), conf(text);
    ZoneOutput out;
    pvk::reading::startOutput(out, text.data(), conf.data(), 16);
    if (c.second) {
      pvk::reading::recordSlot(out, 0, 3);
      ASSERT_TRUE(pvk::reading::separateSlot(out, 1));
    }
    const int slot = c.second ? 1 : 0, before = out.total, capacity = out.capacity;
    pvk::reading::recordSlot(out, slot, capacity + c.extra);
    SCOPED_TRACE(::testing::Message() << "second " << c.second << " extra " << c.extra);
    EXPECT_EQ(out.length[slot], capacity + c.kept);
    EXPECT_EQ(out.total, before + capacity + c.kept);
    EXPECT_EQ(out.capacity, -c.kept);
    EXPECT_LE(out.total, 15);
  }
}

TEST_F(ZoneOutputTest, WithoutATextBufferNothingIsWritten) {
  std::vector<char> conf(100, kGuard);
  ZoneOutput out;
  pvk::reading::startOutput(out, nullptr, conf.data(), 100);
  EXPECT_FALSE(pvk::reading::putSlot(out, 0, "ABC", "ddd", 3));
  EXPECT_FALSE(pvk::reading::separateSlot(out, 1));
  EXPECT_EQ(out.total, 0);
  EXPECT_EQ(conf, std::vector<char>(100, kGuard));
}

TEST(SostituisciACapo, LineBreaksBecomeTheSectionByte) {
  char text[] = "A\r\nB\n";
  SostituisciACapo(text);
  EXPECT_EQ(std::string(text), "A\xA7\xA7" "B\xA7");
  char empty[] = "";
  SostituisciACapo(empty);
  SostituisciACapo(nullptr);
}

}  // namespace
