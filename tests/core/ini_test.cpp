// INI reader and writer: missing pieces, line ends, whole-key matching, section ends, long and
// garbled lines, and rewrites that either succeed whole or leave the file as it was.
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <vector>

#include "core/ini.h"
#include "core_test_util.h"

using pvk::test::readFile;
using pvk::test::TempDirTest;
using pvk::test::writeFile;

namespace {

class Ini : public TempDirTest {
 protected:
  std::string get(const char* section, const char* key, const char* def = "dflt") {
    char buf[260];
    GetPrivateProfileString(section, key, def, buf, sizeof buf, ini().c_str());
    return buf;
  }
  int getInt(const char* section, const char* key, int def = 77) {
    return get_private_profile_int(section, key, def, ini().c_str());
  }
  int set(const char* section, const char* key, const char* value) {
    return WritePrivateProfileString(section, key, value, ini().c_str());
  }
  std::string ini() const { return path("t.ini"); }
  // Files left in the directory besides the INI file itself.
  int strayFiles() const {
    int n = 0;
    for (auto& e : std::filesystem::directory_iterator(dir_))
      if (e.path().filename() != "t.ini") ++n;
    return n;
  }
};

TEST_F(Ini, MissingFileSectionKeyOrEqualsGiveTheDefault) {
  EXPECT_EQ(get("General", "Log"), "dflt");
  EXPECT_EQ(getInt("General", "Log"), 77) << "a missing file gives the default";
  writeFile(ini(), "[General]\r\nLog=1\r\nNoEquals\r\n");
  EXPECT_EQ(get("Other", "Log"), "dflt");
  EXPECT_EQ(get("General", "Missing"), "dflt");
  EXPECT_EQ(get("General", "NoEquals"), "dflt");
  EXPECT_EQ(get("General", ""), "dflt");
  EXPECT_EQ(getInt("Other", "Log"), 77);
  EXPECT_EQ(getInt("General", "Missing"), 77);
  char buf[8];
  EXPECT_EQ(GetPrivateProfileString("General", "Log", "abc", buf, sizeof buf, nullptr), 3);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(GetPrivateProfileString("General", "Log", "abc", nullptr, 8, ini().c_str()), 0);
  EXPECT_EQ(GetPrivateProfileString("General", "Log", "abc", buf, 0, ini().c_str()), 0);
}

TEST_F(Ini, ReadsLfAndCrLfFilesAlike) {
  writeFile(ini(), "[General]\nA=1\nB=two\n[Ocr]\r\nC=3\r\n");
  EXPECT_EQ(get("General", "B"), "two");
  EXPECT_EQ(get("Ocr", "C"), "3");
  EXPECT_EQ(getInt("Ocr", "C"), 3);
  writeFile(ini(), "[General]\r\nLast=end");  // no line end at all
  EXPECT_EQ(get("General", "Last"), "end");
}

TEST_F(Ini, KeysMatchWholeNotAsPrefixOrSubstring) {
  writeFile(ini(),
            "[General]\r\nLogPath=/tmp\r\nDeskewMicr=1\r\nstatusDebug=1\r\nnPagesCur=9\r\n"
            "Log=0\r\nDeskew=0\r\nnPages=5\r\n");
  EXPECT_EQ(get("General", "Log"), "0");
  EXPECT_EQ(get("General", "Deskew"), "0");
  EXPECT_EQ(get("General", "Debug"), "dflt");
  EXPECT_EQ(getInt("General", "nPages"), 5);
  EXPECT_EQ(getInt("General", "nPagesCur"), 9);
  EXPECT_EQ(getInt("General", "Debug"), 77);
}

TEST_F(Ini, BlanksAroundTheKeyAreIgnoredAndTheValueKeptAsWritten) {
  writeFile(ini(), "[General]\r\n  key = 5\r\ntrail=x \r\n");
  EXPECT_EQ(get("General", "key"), " 5");
  EXPECT_EQ(getInt("General", "key"), 5);
  EXPECT_EQ(get("General", "trail"), "x ");
}

TEST_F(Ini, ASectionHeaderIsFoundBehindLeadingBytes) {
  // Editors may save a byte-order mark before the first section.
  writeFile(ini(), "\xEF\xBB\xBF[General]\r\nLog=0\r\n");
  EXPECT_EQ(get("General", "Log"), "0");
  EXPECT_EQ(getInt("General", "Log"), 0);
  ASSERT_EQ(set("General", "Log", "1"), 1);
  EXPECT_EQ(readFile(ini()), "\xEF\xBB\xBF[General]\r\n\r\nLog=1\r\n\r\n");
}

TEST_F(Ini, SectionsEndOnlyAtALineStartingWithABracket) {
  writeFile(ini(), "[General]\r\nName=x[1]\r\nAfter=2\r\n[Ocr]\r\nOnly=3\r\n");
  EXPECT_EQ(get("General", "After"), "2");
  EXPECT_EQ(get("General", "Only"), "dflt");
  EXPECT_EQ(getInt("General", "Only"), 77) << "the integer reader must not cross sections";
  EXPECT_EQ(get("Ocr", "Name"), "dflt");
}

TEST_F(Ini, ValueIsCutToTheBufferAndTheDefaultMayBeTheBuffer) {
  writeFile(ini(), "[S]\r\nK=123456\r\n");
  char buf[260];
  EXPECT_EQ(GetPrivateProfileString("S", "K", "", buf, 4, ini().c_str()), 3);
  EXPECT_STREQ(buf, "123");
  std::strcpy(buf, "fromBuf");
  EXPECT_EQ(GetPrivateProfileString("S", "Missing", buf, buf, sizeof buf, ini().c_str()), 7);
  EXPECT_STREQ(buf, "fromBuf");
  const std::string longDefault(300, 'd');
  EXPECT_EQ(GetPrivateProfileString("S", "Missing", longDefault.c_str(), buf, sizeof buf,
                                    ini().c_str()),
            255);
}

TEST_F(Ini, IntegerReaderTakesLeadingDigitsOnly) {
  writeFile(ini(), "[S]\r\nneg=-5\r\nmix=42abc\r\nempty=\r\nhuge=99999999999999\r\n");
  EXPECT_EQ(getInt("S", "neg"), 0);
  EXPECT_EQ(getInt("S", "mix"), 42);
  EXPECT_EQ(getInt("S", "empty"), 77);
  EXPECT_EQ(getInt("S", "huge"), 2147483647);
}

TEST_F(Ini, LongLinesReadAsEmptyAndAreSkipped) {
  const std::string longLine = "Long=" + std::string(300, 'v');
  writeFile(ini(), "[S]\r\n" + longLine + "\r\nNext=ok\r\n");
  EXPECT_EQ(get("S", "Long"), "dflt");
  EXPECT_EQ(get("S", "Next"), "ok");
  FILE* f = std::fopen(ini().c_str(), "rb");
  char buf[256];
  EXPECT_EQ(read_line(f, buf, sizeof buf), 5);
  EXPECT_STREQ(buf, "[S]\r\n");
  EXPECT_EQ(read_line(f, buf, sizeof buf), static_cast<int>(longLine.size() + 2));
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(read_line(f, buf, sizeof buf), 9);
  EXPECT_EQ(read_line(f, buf, sizeof buf), -1);
  std::fclose(f);
  EXPECT_EQ(read_line(nullptr, buf, sizeof buf), -1);
}

TEST_F(Ini, GarbledAndBinaryFilesGiveDefaults) {
  std::string bytes;
  for (int i = 0; i < 4096; ++i) bytes.push_back(static_cast<char>((i * 131 + 7) % 256));
  writeFile(ini(), bytes);
  EXPECT_EQ(get("General", "Log"), "dflt");
  EXPECT_EQ(getInt("General", "Log"), 77);
  writeFile(ini(), std::string("[General]\r\nLog=1\0\0\0=\r\n", 22) + "Key=\x01\x02\r\n");
  EXPECT_EQ(get("General", "Key"), "\x01\x02");
  // A NUL byte inside a value ends the text: the length returned is what the caller finds.
  writeFile(ini(), std::string("[General]\r\nNul=ab\0cd\r\n", 22));
  char buf[16];
  EXPECT_EQ(GetPrivateProfileString("General", "Nul", "", buf, sizeof buf, ini().c_str()), 2);
  EXPECT_STREQ(buf, "ab");
  EXPECT_EQ(set("General", "New", "1"), 1);
  EXPECT_EQ(get("General", "New"), "1");
}

TEST_F(Ini, WriterCreatesAFileWithTheSection) {
  ASSERT_EQ(set("General", "nPages", "5"), 1);
  EXPECT_EQ(readFile(ini()), "[General]\r\nnPages=5\r\n\r\n");
  EXPECT_EQ(strayFiles(), 0);
}

TEST_F(Ini, WriterReplacesAppendsAndAddsSections) {
  writeFile(ini(), "[General]\r\nnPagesCur=9\r\nnPages=5\r\n[Ocr]\r\nX=1\r\n");
  ASSERT_EQ(set("General", "nPages", "6"), 1);
  EXPECT_EQ(getInt("General", "nPages"), 6);
  EXPECT_EQ(getInt("General", "nPagesCur"), 9) << "a longer key must not be overwritten";
  ASSERT_EQ(set("General", "New", "n"), 1);
  EXPECT_EQ(get("General", "New"), "n");
  EXPECT_EQ(get("Ocr", "New"), "dflt");
  ASSERT_EQ(set("Image", "Color", "2"), 1);
  EXPECT_EQ(get("Image", "Color"), "2");
  EXPECT_EQ(getInt("Ocr", "X"), 1);
  EXPECT_EQ(strayFiles(), 0);
}

TEST_F(Ini, RewrittenLinesEndInCrLfAndEmptyLinesAreDropped) {
  writeFile(ini(), "[General]\nA=1\n\n[Ocr]\nB=2\n");
  ASSERT_EQ(set("General", "A", "3"), 1);
  EXPECT_EQ(readFile(ini()), "[General]\n\r\nA=3\r\n[Ocr]\n\r\nB=2\n\r\n\r\n");
  ASSERT_EQ(set("General", "A", "4"), 1);
  ASSERT_EQ(set("Ocr", "B", "5"), 1);
  EXPECT_EQ(get("General", "A"), "4");
  EXPECT_EQ(get("Ocr", "B"), "5");
  // A last line cut after its '\r' keeps its value through a rewrite of another key.
  writeFile(ini(), "[General]\r\nA=1\r\n[Ocr]\r\nB=2\r");
  ASSERT_EQ(set("General", "A", "3"), 1);
  EXPECT_EQ(get("Ocr", "B"), "2");
  EXPECT_EQ(readFile(ini()), "[General]\r\n\r\nA=3\r\n[Ocr]\r\n\r\nB=2\n\r\n\r\n");
}

// A last line just short enough for the readers (255 bytes at most, line end included) must
// stay so when the writer copies it, or the section it opens (and the key just written into it)
// is lost. One that no line end can keep readable is refused, and so is a section or key line
// that would be too long once written: the file then stays as it was.
TEST_F(Ini, TheWriterWritesOnlyLinesTheReadersReadBack) {
  const std::string p251(251, 'p'), v252(252, 'v');
  struct Case {
    std::string file, section, key, value;
    bool written;
  } cases[] = {
      {"[S]\r\nk=1\r\n[T]" + p251 + "\r", "T", "k", "2", true},  // 255 bytes, lone CR
      {"[S]\r\nk=1\r\n[T]" + p251 + "\r", "S", "k", "3", true},
      {"[U]\r\nk=" + v252 + "\r", "U", "n", "42", true},
      {"[S]\r\nk=1\r\n[T]" + p251.substr(1), "T", "k", "2", true},  // 253 bytes: "\r\n" fits
      {"[S]\r\nk=1\r\n[T]" + p251, "T", "k", "2", true},            // 254: only '\n' fits
      {"[S]\r\nk=1\r\n[T]" + p251, "S", "k", "2", true},
      {"[S]\r\nk=1\r\n[T]" + p251 + "p", "S", "k", "2", false},     // 255: no line end fits
      {"[S]\r\n", "S", "k", std::string(251, 'w'), true},          // "k=" + 251 + CR LF: 255
      {"[S]\r\n", "S", "k", v252, false},                          // 256
      {"[S]\r\n", std::string(251, 's'), "k", "1", true},          // "[" + 251 + "]" CR LF: 255
      {"[S]\r\n", std::string(252, 's'), "k", "1", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.file.size()) + " " + c.section.substr(0, 3) + " " + std::to_string(c.value.size()));
    writeFile(ini(), c.file);
    ASSERT_EQ(set(c.section.c_str(), c.key.c_str(), c.value.c_str()), c.written ? 1 : 0);
    EXPECT_EQ(strayFiles(), 0);
    if (!c.written) {
      EXPECT_EQ(readFile(ini()), c.file);
      continue;
    }
    ASSERT_EQ(set(c.section.c_str(), "n", "42"), 1);
    EXPECT_EQ(getInt(c.section.c_str(), "n"), 42);
    EXPECT_EQ(get(c.section.c_str(), c.key.c_str()), c.value);
    // What the readers saw before still reads: the other section's key, the long value.
    if (c.file.find("k=1") != std::string::npos && c.section != "S") {
      EXPECT_EQ(get("S", "k"), "1");
    }
    if (c.file.find(v252) != std::string::npos) {
      EXPECT_EQ(get("U", "k"), v252);
    }
  }
}

TEST_F(Ini, WritingTheSameValueLeavesTheFileUntouched) {
  const std::string text = "[General]\r\nA=1\r\nB=2";
  writeFile(ini(), text);
  struct stat before {};
  ::stat(ini().c_str(), &before);
  ASSERT_EQ(set("General", "B", "2"), 1);
  ASSERT_EQ(set("General", "A", "1"), 1);
  EXPECT_EQ(readFile(ini()), text);
  EXPECT_EQ(strayFiles(), 0);
}

TEST_F(Ini, LongLinesAreCopiedWholeByTheWriter) {
  const std::string longLine = "Long=" + std::string(400, 'v');
  writeFile(ini(), "[S]\r\n" + longLine + "\r\nK=1\r\n");
  ASSERT_EQ(set("S", "K", "2"), 1);
  EXPECT_NE(readFile(ini()).find(longLine + "\r\n"), std::string::npos);
  EXPECT_EQ(getInt("S", "K"), 2);
}

TEST_F(Ini, RoundTripOfManyKeys) {
  for (int i = 0; i < 40; ++i) {
    const std::string key = "k" + std::to_string(i);
    ASSERT_EQ(set(i % 2 ? "Odd" : "Even", key.c_str(), std::to_string(i * 7).c_str()), 1);
  }
  for (int i = 0; i < 40; ++i) {
    const std::string key = "k" + std::to_string(i);
    EXPECT_EQ(getInt(i % 2 ? "Odd" : "Even", key.c_str()), i * 7);
    EXPECT_EQ(getInt(i % 2 ? "Even" : "Odd", key.c_str()), 77);
  }
}

TEST_F(Ini, AFailedRewriteKeepsTheOriginalAndReportsFailure) {
  if (::geteuid() == 0) {
    // Root writes into read-only directories; a directory in place of the file still fails.
    std::filesystem::create_directory(ini());
    EXPECT_EQ(set("General", "A", "2"), 0);
    EXPECT_TRUE(std::filesystem::is_directory(ini()));
    EXPECT_EQ(strayFiles(), 0);
    return;
  }
  writeFile(ini(), "[General]\r\nA=1\r\n");
  ::chmod(dir_.c_str(), 0555);
  EXPECT_EQ(set("General", "A", "2"), 0);
  ::chmod(dir_.c_str(), 0755);
  EXPECT_EQ(readFile(ini()), "[General]\r\nA=1\r\n");
}

TEST_F(Ini, WriterRefusesMissingArguments) {
  EXPECT_EQ(WritePrivateProfileString(nullptr, "K", "V", ini().c_str()), 0);
  EXPECT_EQ(WritePrivateProfileString("S", nullptr, "V", ini().c_str()), 0);
  EXPECT_EQ(WritePrivateProfileString("S", "K", nullptr, ini().c_str()), 0);
  EXPECT_EQ(WritePrivateProfileString("S", "K", "V", nullptr), 0);
  EXPECT_FALSE(std::filesystem::exists(ini()));
}

TEST_F(Ini, TheWriterKeepsTheFileMode) {
  writeFile(ini(), "[S]\r\nK=1\r\n");
  ::chmod(ini().c_str(), 0640);
  ASSERT_EQ(set("S", "K", "2"), 1);
  struct stat st {};
  ::stat(ini().c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

}  // namespace

namespace {

// Random files of INI-like lines: whatever the reader meets, it answers without harm, and a
// key the writer sets reads back while every other section keeps its keys.
TEST_F(Ini, RandomFilesStayReadableAndWritable) {
  unsigned seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
  const std::string longLine(300, 'z');
  const char* pieces[] = {"[S]", "[T]", "k=1", "k = 2", "=", "[", "]", "x", "\r", "\n", "\r\n",
                          "key=", longLine.c_str(), "[S", "\0", "k=[3]"};
  for (int round = 0; round < 150; ++round) {
    std::string text;
    const int n = static_cast<int>(next() % 40);
    for (int i = 0; i < n; ++i) {
      const char* p = pieces[next() % std::size(pieces)];
      text += p[0] == '\0' ? std::string(1, '\0') : std::string(p);
      if (next() % 3 == 0) text += "\r\n";
    }
    writeFile(ini(), text);
    get("S", "k");
    getInt("T", "k");
    ASSERT_EQ(set("S", "fresh", "v9"), 1) << round;
    EXPECT_EQ(get("S", "fresh"), "v9") << round;
    ASSERT_EQ(set("U", "other", "7"), 1);
    EXPECT_EQ(get("S", "fresh"), "v9") << round;
    EXPECT_EQ(getInt("U", "other"), 7) << round;
    EXPECT_EQ(strayFiles(), 0);
  }
}

// Several keys in one rewrite leave the file as that many rewrites, one per key, would.
TEST_F(Ini, SeveralKeysInOneRewriteMatchOneRewriteEach) {
  struct Case {
    const char* name;
    bool exists;
    std::string text;
    std::vector<std::pair<const char*, const char*>> keys;
  };
  const std::string longLine = "Long=" + std::string(300, 'v');
  const Case cases[] = {
      {"no file", false, "", {{"nPages", "1"}, {"nPagesCur", "1"}}},
      {"empty file", true, "", {{"nPages", "1"}, {"nPagesCur", "1"}}},
      {"no such section", true, "[Other]\r\nx=1\r\n", {{"nPages", "5"}, {"nPagesCur", "6"}}},
      {"both present", true, "[General]\r\nnPages=4\r\nnPagesCur=2\r\n", {{"nPages", "5"}, {"nPagesCur", "3"}}},
      {"first unchanged", true, "[General]\r\nnPages=5\r\nnPagesCur=2", {{"nPages", "5"}, {"nPagesCur", "3"}}},
      {"second missing, section follows", true, "[General]\nnPages=4\n\n[Next]\nnPagesCur=9\n",
       {{"nPages", "5"}, {"nPagesCur", "3"}}},
      {"same key twice", true, "[General]\r\nK=1\r\n", {{"K", "2"}, {"K", "3"}}},
      {"lone CR and a long line", true, "[General]\r\n" + longLine + "\r\nA=1\r", {{"A", "2"}, {"B", "x"}}},
  };
  for (const Case& c : cases) {
    if (c.exists) writeFile(ini(), c.text);
    else std::filesystem::remove(ini());
    for (const auto& [k, v] : c.keys) ASSERT_EQ(set("General", k, v), 1) << c.name;
    const std::string oneEach = readFile(ini());
    if (c.exists) writeFile(ini(), c.text);
    else std::filesystem::remove(ini());
    std::vector<const char*> keys, values;
    for (const auto& [k, v] : c.keys) keys.push_back(k), values.push_back(v);
    ASSERT_EQ(WritePrivateProfileStrings("General", keys.data(), values.data(), static_cast<int>(keys.size()),
                                         ini().c_str()),
              1)
        << c.name;
    EXPECT_EQ(readFile(ini()), oneEach) << c.name;
    EXPECT_EQ(strayFiles(), 0) << c.name;
  }
}

TEST_F(Ini, SeveralKeysAlreadyHeldLeaveTheFileUntouchedAndBadListsAreRefused) {
  const std::string text = "[General]\r\nA=1\r\nB=2";
  writeFile(ini(), text);
  const char* keys[] = {"A", "B"};
  const char* values[] = {"1", "2"};
  EXPECT_EQ(WritePrivateProfileStrings("General", keys, values, 2, ini().c_str()), 1);
  EXPECT_EQ(readFile(ini()), text);
  const char* holed[] = {"A", nullptr};
  EXPECT_EQ(WritePrivateProfileStrings("General", holed, values, 2, ini().c_str()), 0);
  EXPECT_EQ(WritePrivateProfileStrings("General", keys, values, 0, ini().c_str()), 0);
  EXPECT_EQ(WritePrivateProfileStrings("General", nullptr, values, 1, ini().c_str()), 0);
  EXPECT_EQ(readFile(ini()), text);
}

}  // namespace
