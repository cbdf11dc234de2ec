// The magnetic reading loop: bad samples, planes, windows and guides; the raw and "micr.txt"
// dumps; synthesised lines read end to end with an optical guide; the replay of the fixtures of
// a folder and of a reading's own dumps.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "../common/child_process.h"
#include "../common/file_kinds.h"
#include "mag_loop_fixture.h"
#include "magreplay.h"

namespace {

namespace ms = pvk::magsynth;
namespace mr = pvk::magreplay;

using Line = pvk::testing::MagLine;
using Synth = pvk::testing::MagSynth;

class MagLoop : public pvk::testing::MagRecords {
 protected:
  int read(Line& out, Line& guide, int from, int to) { return pvk::testing::readMag(out, guide, from, to); }
  void samples(std::vector<uint8_t>& bytes, int planes, int font = 33) {
    pvk::testing::installSamples(bytes, planes, font);
  }
};

Synth synthesise(const std::string& text, pvk::glyphs::Font font, const ms::Impairments& imp = {}) {
  return pvk::testing::synthesiseLine(text, font, imp);
}

TEST_F(MagLoop, BadSamplesPlanesAndWindowsReadNothing) {
  std::vector<uint8_t> none;
  Line out, guide;
  samples(none, 1);
  MyMICR.nSamples = 3000;  // a count without a buffer
  EXPECT_EQ(read(out, guide, 0, 1000), 0);
  std::vector<uint8_t> flat(3 * 2000, 0x80);
  samples(flat, 0);
  EXPECT_EQ(read(out, guide, 0, 1000), 0) << "planes 0";
  samples(flat, 1);
  MyMICR.enabled = 0;
  EXPECT_EQ(read(out, guide, 0, 1000), 0) << "head not enabled";
  MyMICR.enabled = 1;
  for (int down : {0, 1, 511, 512}) {
    std::vector<uint8_t> few(3 * down + 2, 0x80);  // not a multiple of 3 either
    samples(few, 1);
    EXPECT_EQ(read(out, guide, 0, 100000), 0) << down;
    // From 512 samples on the sweep runs (and reads nothing on a flat signal).
    EXPECT_EQ(pvk::micr::magPassCount() > 0, down >= 512) << down;
  }
  samples(flat, 1);
  EXPECT_EQ(read(out, guide, 1500, 200), 0) << "from after to";
  EXPECT_EQ(read(out, guide, 5000, 9000), 0) << "from beyond the signal";
  EXPECT_EQ(read(out, guide, -400, 1 << 30), 0) << "a flat signal";
}

TEST_F(MagLoop, HostileSamplesAndGuidesGiveACountNeverACrash) {
  std::mt19937 rng(7);
  for (int round = 0; round < 4; ++round) {
    std::vector<uint8_t> bytes(3 * (512 + round * 700));
    for (auto& b : bytes) b = round == 0 ? 0xFF : static_cast<uint8_t>(rng());
    samples(bytes, 1, round % 2 ? 32 : 33);
    MyMICR.reverse = static_cast<uint8_t>(round & 1);
    Line out, guide;
    guide.n = round == 3 ? kCdlUsable : 0;
    for (int i = 0; i < guide.n; ++i) {
      guide.text[i] = "0123456789"[i % 10];
      guide.start[i] = i * 3;
      guide.end[i] = i * 3 + 2;
    }
    const int n = read(out, guide, 0, 1 << 20);
    EXPECT_GE(n, 0);
    EXPECT_LE(n, kCdlUsable);
    EXPECT_EQ(out.text[n], 0);
    EXPECT_LE(guide.n, kCdlUsable);
  }
}

TEST_F(MagLoop, DumpsTheRawBytesAndTheSignal) {
  char dir[] = "/tmp/pvk_magloop_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  Synth s = synthesise("1289", pvk::glyphs::Font::E13B);
  samples(s.signal.bytes, 1);
  const std::string raw = std::string(dir) + "/raw.txt";
  fNameDatiMICR = raw.c_str();
  MyOcr.cdlMicr = 1;
  std::snprintf(MyDev.cnfDir, sizeof MyDev.cnfDir, "%s", dir);
  Line out;
  read(out, s.guide, 0, s.to);
  std::vector<int> values;
  ASSERT_TRUE(mr::readValues(raw, values));
  ASSERT_EQ(values.size(), s.signal.bytes.size());
  for (size_t i = 0; i < values.size(); ++i) ASSERT_EQ(values[i], s.signal.bytes[i]) << i;
  ASSERT_TRUE(mr::readValues(std::string(dir) + "/micr.txt", values));
  ASSERT_EQ(values.size(), s.signal.samples.size());
  for (size_t i = 0; i < values.size(); ++i) ASSERT_EQ(values[i], s.signal.samples[i]) << i;
  // A file that cannot be opened is skipped, and the reading goes on.
  fNameDatiMICR = "/nonexistent-dir/raw.txt";
  std::snprintf(MyDev.cnfDir, sizeof MyDev.cnfDir, "%s", "/nonexistent-dir");
  Line again;
  Synth t = synthesise("1289", pvk::glyphs::Font::E13B);
  samples(t.signal.bytes, 1);
  EXPECT_EQ(read(again, t.guide, 0, t.to), out.n);
  // Nor do FIFOs that no one reads hold the reading up: they are skipped and stay FIFOs.
  const std::string fifo = std::string(dir) + "/raw.fifo", micr = std::string(dir) + "/micr.txt";
  ASSERT_TRUE(::mkfifo(fifo.c_str(), 0600) == 0 && ::unlink(micr.c_str()) == 0 && ::mkfifo(micr.c_str(), 0600) == 0);
  fNameDatiMICR = fifo.c_str();
  std::snprintf(MyDev.cnfDir, sizeof MyDev.cnfDir, "%s", dir);
  samples(t.signal.bytes, 1);
  EXPECT_EQ(pvk::testing::withDeadline(10, [&] { return read(again, t.guide, 0, t.to); }), out.n);
  EXPECT_EQ(pvk::testing::typeAt(fifo), static_cast<mode_t>(S_IFIFO));
  fNameDatiMICR = nullptr;
  (void)!std::system((std::string("rm -rf ") + dir).c_str());
}

TEST_F(MagLoop, ReplayedDumpsReadTheSameCodeline) {
  char dir[] = "/tmp/pvk_magloop_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  ms::Impairments imp;
  imp.noise = 1;
  Synth s = synthesise("3128", pvk::glyphs::Font::E13B, imp);
  samples(s.signal.bytes, 1);
  const std::string raw = std::string(dir) + "/raw.txt";
  fNameDatiMICR = raw.c_str();
  MyOcr.cdlMicr = 1;
  std::snprintf(MyDev.cnfDir, sizeof MyDev.cnfDir, "%s", dir);
  Line out, guide = s.guide;
  const int n = read(out, guide, 0, s.to);
  EXPECT_EQ(out.str(), "3128");
  fNameDatiMICR = nullptr;
  MyOcr.cdlMicr = 0;
  for (mr::DumpKind kind : {mr::DumpKind::Raw, mr::DumpKind::MicrTxt}) {
    mr::Fixture f;
    ASSERT_TRUE(mr::loadDump(kind == mr::DumpKind::Raw ? raw : std::string(dir) + "/micr.txt", kind, f));
    mr::install(f);
    Line again, g = s.guide;
    EXPECT_EQ(read(again, g, 0, s.to), n);
    EXPECT_EQ(again.str(), out.str());
  }
  (void)!std::system((std::string("rm -rf ") + dir).c_str());
}

TEST_F(MagLoop, ShortLinesOfEitherPolarityReadThroughTheInvertedSweep) {
  // Fewer than 20 strong characters send an E13B reading through a second, inverted sweep; a
  // line of either polarity must come out of it read, not rejected as two alike readings.
  for (bool inverted : {false, true})
    for (const char* text : {"1289", "3128", "9318"}) {
      ms::Impairments imp;
      imp.noise = 1;
      imp.inverted = inverted;
      Synth s = synthesise(text, pvk::glyphs::Font::E13B, imp);
      samples(s.signal.bytes, 1);
      Line out, guide = s.guide;
      read(out, guide, 0, s.to);
      EXPECT_EQ(out.str(), text) << (inverted ? "inverted " : "") << text;
      EXPECT_EQ(pvk::micr::magPassCount(), 86) << text;
      EXPECT_EQ(guide.n, 4) << text;
    }
}

TEST_F(MagLoop, EarlyStopAfterOneLowerCutOnlyForElevenCharactersEqualToTheGuide) {
  ms::Impairments imp;
  imp.noise = 1;
  // The first lower cut is the smoothing pass and seven upper cuts: 8 passes, the smallest
  // count whose rescale divides by passes / 4.
  struct Case {
    const char* text;
    bool wrongGuide;
    int passes;
  } cases[] = {{"0123456789:12", false, 8}, {"0123456789:12", true, 50}, {"0123456789", false, 50}};
  for (const Case& c : cases) {
    Synth s = synthesise(c.text, pvk::glyphs::Font::CMC7, imp);
    samples(s.signal.bytes, 1, 32);
    Line out, guide = s.guide;
    if (c.wrongGuide) guide.text[3] = '7';
    read(out, guide, 0, s.to);
    EXPECT_EQ(out.str(), c.text);
    EXPECT_EQ(pvk::micr::magPassCount(), c.passes) << c.text << (c.wrongGuide ? " wrong guide" : "");
    for (int i = 0; i < out.n; ++i) EXPECT_LE(out.conf[i], 100);
  }
}

TEST_F(MagLoop, AcceptanceMinimumAndTheFinalEqualsSign) {
  ms::Impairments imp;
  imp.noise = 1;
  struct Case {
    const char* text;
    const char* read;  // what comes back
    int guideN;        // the guide's count after the reading
  } cases[] = {
      {"12", "12", 2},   // two optical characters: the minimum is 2
      {"7", "", 1},      // one: rejected with fewer than two strong characters, the guide kept
  };
  for (const Case& c : cases) {
    Synth s = synthesise(c.text, pvk::glyphs::Font::CMC7, imp);
    samples(s.signal.bytes, 1, 32);
    Line out, guide = s.guide;
    read(out, guide, 0, s.to);
    EXPECT_EQ(out.str(), c.read) << c.text;
    EXPECT_EQ(guide.n, c.guideN) << c.text;
  }
  // A CMC7 line of more than four optical characters ending in '=' raises that one's optical
  // confidence by half, up to 100, where the head does not confirm it (confirmed characters go
  // to 100 anyway); four characters are not enough.
  struct Equals {
    const char* printed;
    const char* guide;
    int conf, after;
  } equals[] = {{"12345>", "12345=", 60, 90}, {"12345>", "12345=", 80, 100}, {"123>", "123=", 60, 60}};
  for (const Equals& c : equals) {
    Synth s = synthesise(c.printed, pvk::glyphs::Font::CMC7, imp);
    samples(s.signal.bytes, 1, 32);
    Line out, guide = s.guide;
    std::memcpy(guide.text, c.guide, std::strlen(c.guide));
    for (int i = 0; i < guide.n; ++i) guide.conf[i] = static_cast<char>(c.conf);
    read(out, guide, 0, s.to);
    EXPECT_EQ(out.str(), c.printed);
    ASSERT_EQ(guide.n, static_cast<int>(std::strlen(c.guide))) << c.guide;
    EXPECT_EQ(guide.conf[guide.n - 1], c.after) << c.guide << " at " << c.conf;
    EXPECT_EQ(guide.conf[0], 100) << "confirmed";
  }
}

TEST_F(MagLoop, FixturesOfTheFolderReadTheirCodelines) {
  const auto caps = mr::fixturesIn(PVK_MAG_FIXTURES);
  ASSERT_FALSE(caps.empty());
  for (const std::string& path : caps) {
    mr::Fixture f;
    std::string why;
    ASSERT_TRUE(mr::loadFixture(path, f, why)) << why;
    mr::install(f);
    Line out, guide;
    guide.n = static_cast<int>(f.guide.size());
    for (int i = 0; i < guide.n; ++i) {
      guide.text[i] = f.guide[i];
      guide.conf[i] = 60;
      guide.start[i] = f.guideStart[i];
      guide.end[i] = f.guideEnd[i];
    }
    read(out, guide, f.from, f.to);
    EXPECT_EQ(out.str(), f.expect) << f.name;
  }
}

}  // namespace
